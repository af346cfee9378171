"""A tiny run of the benchmark suite, so that it keeps working. No timings are asserted."""
import os
import subprocess
import sys

import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


@pytest.mark.skipif(os.environ.get("VELTA_SANITIZED") == "1", reason="timings mean nothing under ASan")
def test_benchmark_smoke_run():
    peers = os.environ.get("VELTA_BENCH_PEERS", os.path.join(ROOT, "build", "velta_bench_peers"))
    out = subprocess.run([sys.executable, os.path.join(ROOT, "benchmarks", "run.py"), "--smoke",
                          "--peers", peers], capture_output=True, text=True, timeout=600)
    assert out.returncode == 0, out.stderr
    rows = [line for line in out.stdout.splitlines() if line.startswith("| ") and "---" not in line]
    # Header plus every case, each with a ratio.
    assert len(rows) >= 1 + (8 if os.path.exists(peers) else 6)
    assert all(row.count("|") == 7 for row in rows)
