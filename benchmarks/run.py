"""Benchmark table: velta against NumPy, plain C loops and matplotlib.

Every case is timed several times; the table shows velta's median, the
peer's median measured in the same run, and their ratio (velta / peer, so
below 1.0 means velta is faster; for GFLOP/s rows the ratio is velta's rate
over the peer's). Usage:

    PYTHONPATH=build/src/binding /usr/bin/python3 benchmarks/run.py [--smoke] [--peers PATH]

--smoke runs every case once on tiny sizes, to keep the suite from rotting.
"""
import os

# One thread on both sides unless a row says otherwise: OMP_NUM_THREADS caps
# the threads of velta's product, OPENBLAS_NUM_THREADS OpenBLAS's.
os.environ["OPENBLAS_NUM_THREADS"] = "1"
os.environ["OMP_NUM_THREADS"] = "1"
os.environ.setdefault("MPLBACKEND", "Agg")

import argparse  # noqa: E402
import statistics  # noqa: E402
import subprocess  # noqa: E402
import sys  # noqa: E402
import tempfile  # noqa: E402
import time  # noqa: E402

import numpy  # noqa: E402

import velta  # noqa: E402
from velta import VlmMatrix, VlmVector, VlpFigure  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))


def blas_libraries():
    """The BLAS libraries NumPy loaded, read from the process's mappings."""
    try:
        with open("/proc/self/maps") as maps:
            return {line.split()[-1] for line in maps if "blas" in line.lower()}
    except OSError:
        return set()


def openblas():
    """The OpenBLAS library NumPy loaded, through ctypes, or None."""
    import ctypes
    for lib in blas_libraries():
        if "openblas" in lib:
            try:
                handle = ctypes.CDLL(lib)
                handle.openblas_get_corename.restype = ctypes.c_char_p
                return handle
            except (OSError, AttributeError):
                pass
    return None


def blas_name():
    names = ", ".join(sorted(os.path.basename(lib) for lib in blas_libraries())) or "unknown"
    handle = openblas()
    if handle is not None:
        names += " (OpenBLAS kernel %s)" % handle.openblas_get_corename().decode()
    return names


class Threads:
    """Within it, velta's product and OpenBLAS may use count threads (in this
    interpreter and in the fresh ones of cold calls)."""

    def __init__(self, count):
        self.count = count

    def set(self, count):
        os.environ["OMP_NUM_THREADS"] = os.environ["OPENBLAS_NUM_THREADS"] = str(count)
        handle = openblas()
        if handle is not None:
            handle.openblas_set_num_threads(count)

    def __enter__(self):
        self.set(self.count)

    def __exit__(self, *exc):
        self.set(1)


def median_time(fn, repeats):
    return alternating([fn], repeats)[0]


def alternating(fns, repeats, skip=0):
    """Median seconds of each of fns over repeats rounds, the calls of a
    round one after another, so that a burst of load on a shared machine
    falls on all of them; the first skip rounds are not counted."""
    times = [[] for _ in fns]
    for _ in range(repeats + skip):
        for fn, out in zip(fns, times):
            t0 = time.perf_counter()
            fn()
            out.append(time.perf_counter() - t0)
    return [statistics.median(t[skip:]) for t in times]


def in_turn(fns, repeats, skip=1, gap=0.5):
    """Median seconds of each of fns over repeats calls after skip, all of
    one's calls before the next's, gap seconds apart. For threaded calls:
    OpenBLAS's threads spin for a while after a call, on the processors the
    next call would use, and a processor that has been idle runs slowly at
    first."""
    medians = []
    for fn in fns:
        time.sleep(gap)
        medians.append(alternating([fn], repeats, skip)[0])
    return medians


def peer_times(peers, kind, n, repeats):
    """The plain C peer's (median, first) seconds."""
    out = subprocess.run([peers, kind, str(n), str(repeats)], capture_output=True, text=True, check=True)
    median, first = out.stdout.split()
    return float(median), float(first)


def peer_time(peers, kind, n, repeats):
    return peer_times(peers, kind, n, repeats)[0]


def first_call(setup, call):
    """Seconds of the first run of the statement call after setup, in a
    fresh interpreter: the cold call, with no pages or scratch memory left
    by anything measured before it."""
    code = ("import time, numpy, velta\nfrom velta import VlmMatrix, VlmVector\n" + setup +
            "\nt0 = time.perf_counter()\n" + call + "\nprint(time.perf_counter() - t0)\n")
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    return float(out.stdout)


def cold_warm(setup, ours, theirs, repeats, timer=alternating):
    """(cold, warm) ratios of ours to theirs, two statements run after setup:
    their first calls, each in a fresh interpreter, and the medians of later
    calls in this one, alternating so that a burst of load on a shared
    machine falls on both."""
    cold = first_call(setup, ours) / first_call(setup, theirs)
    scope = {"numpy": numpy, "velta": velta, "VlmMatrix": VlmMatrix, "VlmVector": VlmVector}
    exec(setup, scope)
    warm_ours, warm_theirs = timer([eval("lambda: " + stmt, scope) for stmt in (ours, theirs)], repeats, 1)
    return cold, warm_ours / warm_theirs


class Table:
    def __init__(self):
        self.rows = []

    def add(self, case, ours, peer_name, theirs, unit="s", target=""):
        ratio = ours / theirs
        self.rows.append((case, ours, peer_name, theirs, ratio, unit, target))
        fmt = "{:.3g}"
        print("| {} | {} {} | {} | {} {} | {:.3f}x | {} |".format(
            case, fmt.format(ours), unit, peer_name, fmt.format(theirs), unit, ratio, target), flush=True)


def bench_matmul(table, n, repeats, peers):
    rng = numpy.random.default_rng(1)
    a_np, b_np = rng.uniform(-1, 1, (n, n)), rng.uniform(-1, 1, (n, n))
    a, b = VlmMatrix(a_np), VlmMatrix(b_np)

    def ours():
        c = a @ b
        c.this.acquire()

    flops = 2.0 * n ** 3
    t_ours, t_np = alternating([ours, lambda: a_np @ b_np], repeats)
    table.add("`VlmMatrix @` %dx%d" % (n, n), flops / t_ours / 1e9, "numpy `a @ b`",
              flops / t_np / 1e9, "GFLOP/s", ">= 0.35x")
    if peers:
        t_loop = peer_time(peers, "matmul", n, max(1, repeats // 2))
        table.add("`VlmMatrix @` %dx%d" % (n, n), flops / t_ours / 1e9, "plain i-j-k loop (C)",
                  flops / t_loop / 1e9, "GFLOP/s", ">= 20x")


def sort_cases(n):
    """velta's copy-and-sort of n doubles and numpy.sort of the same values."""
    data = numpy.random.default_rng(2).uniform(-1e6, 1e6, n)
    v = VlmVector(data)

    def ours():
        w = v.copy()
        w.this.acquire()
        w.sort()
    return ours, lambda: numpy.sort(data)


def bench_sort(table, n, repeats):
    t_ours, t_np = alternating(sort_cases(n), repeats)
    table.add("`sort()` %d doubles (incl. copy)" % n, t_ours, "`numpy.sort`", t_np, target="<= 1.0x")


def bench_text(table, n, repeats, peers):
    v = VlmVector(numpy.random.default_rng(3).uniform(-1e6, 1e6, n))
    t_ours = median_time(lambda: velta.vlm_vector_to_string(v, 1), repeats)
    if peers:
        table.add("full text of %d elements" % n, t_ours, "C `snprintf(\"%f\")` loop",
                  peer_time(peers, "text", n, repeats), target="<= 0.25x")


def bench_from_numpy(table, n, repeats):
    vec_data = numpy.random.default_rng(4).uniform(size=n)
    mat_data = vec_data.reshape(n // 1000, 1000) if n >= 1000 else vec_data.reshape(1, n)
    t_vec, t_copy = alternating([lambda: VlmVector(vec_data), lambda: numpy.copy(vec_data)], repeats)
    table.add("`VlmVector(np_array)` %d" % n, t_vec, "`numpy.copy`", t_copy, target="<= 1.2x")
    t_mat, t_copy = alternating([lambda: VlmMatrix(mat_data), lambda: numpy.copy(mat_data)], repeats)
    table.add("`VlmMatrix(np_array)` %d" % n, t_mat, "`numpy.copy`", t_copy, target="<= 1.2x")


def bench_indexing(table, n, repeats):
    data = numpy.random.default_rng(5).uniform(size=n)
    v = VlmVector(data)
    idx = range(n)

    def ours():
        for i in idx:
            v[i]

    def theirs():
        for i in idx:
            data[i]
    t_ours, t_np = alternating([ours, theirs], repeats)
    table.add("`v[i]` %d reads" % n, t_ours, "NumPy `a[i]`", t_np, target="<= 1.0x")

    def ours_iter():
        for _ in v:
            pass

    def theirs_iter():
        for _ in data:
            pass
    t_ours, t_np = alternating([ours_iter, theirs_iter], repeats)
    table.add("`for x in v` %d" % n, t_ours, "`for x in a` NumPy", t_np, target="<= 1.0x")


def bench_array_protocol(table, n, repeats, calls=1000):
    """numpy.asarray of a vector is a view of its block: per call, against
    toNumpy (the view itself) and against NumPy's iteration fallback."""
    v = VlmVector(numpy.random.default_rng(7).uniform(size=n))

    def per_call(fn):
        return median_time(lambda: [fn() for _ in range(calls)], repeats) / calls
    table.add("`numpy.asarray(v)` %d (a view)" % n, per_call(lambda: numpy.asarray(v)), "`v.toNumpy()`",
              per_call(v.toNumpy), target="<= 10x")


def pyplot(rows):
    """matplotlib's pyplot on the Agg backend, or None (said) without it."""
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("matplotlib is not installed: %s rows skipped" % rows)
        return None
    return plt


def bench_line(table, line_n, repeats, workdir):
    plt = pyplot("line")
    if plt is None:
        return
    ours_png = os.path.join(workdir, "ours.png")
    theirs_png = os.path.join(workdir, "theirs.png")
    x = numpy.linspace(0, 100, line_n)
    y = numpy.sin(x)
    vx, vy = VlmVector(x), VlmVector(y)

    def ours_line():
        fig = VlpFigure(1, 1)
        fig.plot(0, vx, vy)
        fig.savefig(ours_png, 800, 600)

    def theirs_line():
        fig = plt.figure(figsize=(8, 6), dpi=100)
        plt.plot(x, y)
        fig.savefig(theirs_png)
        plt.close(fig)
    t_ours, t_mpl = alternating([ours_line, theirs_line], repeats)
    table.add("line plot of %d points to PNG" % line_n, t_ours, "matplotlib plot+savefig", t_mpl, target="<= 1.0x")


# --- scaling table -------------------------------------------------------
# Each row: one size, the ratio to the peer for the first call (cold: fresh
# scratch memory, fresh pages) and for later calls (warm), both measured in
# the same run. The product's ratio is velta's rate over OpenBLAS's (higher
# is better); every other ratio is velta's time over the peer's.

def scaling_row(case, size, peer, cold, warm, target):
    """cold may be None: not measured."""
    cold = "-" if cold is None else "{:.3f}x".format(cold)
    print("| {} | {} | {} | {} | {:.3f}x | {} |".format(case, size, peer, cold, warm, target), flush=True)


def product_setup(m, k, n):
    """Statements making a_np (m x k), b_np (k x n) and their VlmMatrix twins a, b."""
    return ("rng = numpy.random.default_rng(11)\n"
            "a_np, b_np = rng.uniform(-1, 1, (%d, %d)), rng.uniform(-1, 1, (%d, %d))\n"
            "a, b = VlmMatrix(a_np), VlmMatrix(b_np)" % (m, k, k, n))


def scale_product(shapes, repeats):
    for m, k, n in shapes:
        setup = product_setup(m, k, n)
        reps = max(repeats, min(50, int(2e9 / (2.0 * m * n * k))))
        # Rates: the ratio of their time to ours.
        cold, warm = cold_warm(setup, "a_np @ b_np", "(a @ b).this.acquire()", reps)
        target = ">= 0.5x" if m < 256 and k < 256 else ">= 0.7x" if max(m, k, n) < 512 else ">= 1.0x"
        scaling_row("product (rate ratio)", "%dx%d @ %dx%d" % (m, k, k, n), "OpenBLAS, 1 thread",
                    cold, warm, target)


def scale_product_threads(shapes, repeats, threads):
    """Large products on every processor: velta against OpenBLAS on as many
    threads, and against itself on one."""
    for m, k, n in shapes:
        setup = product_setup(m, k, n)
        reps = max(repeats, min(15, int(4e9 / (2.0 * m * n * k))))
        size = "%dx%d @ %dx%d" % (m, k, k, n)
        with Threads(threads):
            cold, warm = cold_warm(setup, "a_np @ b_np", "(a @ b).this.acquire()", reps, in_turn)
        scaling_row("product, %d threads (rate ratio)" % threads, size, "OpenBLAS, %d threads" % threads,
                    cold, warm, "")
        scope = {"numpy": numpy, "VlmMatrix": VlmMatrix}
        exec(setup, scope)
        product = eval("lambda: (a @ b).this.acquire()", scope)

        def on(count):
            def call():
                os.environ["OMP_NUM_THREADS"] = str(count)
                product()
            return call
        time.sleep(0.5)
        many, one = alternating([on(threads), on(1)], reps, 1)
        os.environ["OMP_NUM_THREADS"] = "1"
        scaling_row("product, %d threads over 1 (rate ratio)" % threads, size, "velta, 1 thread",
                    None, one / many, ">= 1.8x")


def scale_sort(sizes, repeats):
    for n in sizes:
        setup = ("data = numpy.random.default_rng(2).uniform(-1e6, 1e6, %d)\nv = VlmVector(data)\n"
                 "def ours():\n    w = v.copy()\n    w.this.acquire()\n    w.sort()" % n)
        cold, warm = cold_warm(setup, "ours()", "numpy.sort(data)", repeats)
        scaling_row("`sort()` incl. copy", n, "`numpy.sort`", cold, warm, "<= 0.3x at 1e6")


def scale_text(sizes, repeats, peers):
    if not peers:
        return
    for n in sizes:
        v = VlmVector(numpy.random.default_rng(3).uniform(-1e6, 1e6, n))
        reps = repeats if n < 5_000_000 else max(2, repeats // 2)
        times = [median_time(lambda: velta.vlm_vector_to_string(v, 1), 1) for _ in range(reps + 1)]
        cold_o, warm_o = times[0], statistics.median(times[1:])
        warm_p, cold_p = peer_times(peers, "text", n, reps + 1)
        scaling_row("full text", n, "C `snprintf(\"%f\")` loop", cold_o / cold_p, warm_o / warm_p,
                    "<= 0.08x at 1e6")


def scale_copies(sizes, repeats):
    for n in sizes:
        setup = "data = numpy.random.default_rng(4).uniform(size=%d)" % n
        cold, warm = cold_warm(setup, "VlmVector(data)", "numpy.copy(data)", repeats)
        scaling_row("`VlmVector(np_array)`", n, "`numpy.copy`", cold, warm,
                    "<= 1.5x" if n < 100_000 else "<= 1.2x")


def scaling(smoke, peers):
    print()
    print("| case | size | peer | cold ratio | warm ratio | target |")
    print("|---|---|---|---|---|---|")
    if smoke:
        scale_product([(8, 8, 8)], 1)
        scale_product_threads([(8, 8, 8)], 1, 2)
        scale_sort([600], 1)
        scale_text([50], 1, peers)
        scale_copies([50], 1)
        scale_pictures([4], 1)
        return
    scale_product([(64, 64, 64), (128, 128, 128), (256, 256, 256), (512, 512, 512), (1024, 1024, 1024),
                   (2048, 2048, 2048), (64, 4096, 64), (4096, 64, 4096)], 3)
    processors = len(os.sched_getaffinity(0))
    if processors > 1:
        scale_product_threads([(256, 256, 256), (512, 512, 512), (1024, 1024, 1024), (2048, 2048, 2048),
                               (4096, 64, 4096)], 7, processors)
    scale_sort([10_000, 100_000, 1_000_000, 10_000_000], 5)
    scale_text([1000, 10_000, 100_000, 1_000_000, 10_000_000], 5, peers)
    scale_copies([1000, 10_000, 100_000, 1_000_000, 10_000_000], 9)
    scale_pictures([50, 100, 200, 400, 800], 3)


PICTURE_SETUP = """
import os, matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt
from velta import VlpFigure
path = os.path.join({workdir!r}, "picture.png")
data = numpy.random.default_rng({n}).uniform(0, 10, ({n}, {n}))
mat = VlmMatrix(data)
def ours():
    fig = VlpFigure(1, 1)
    fig.imshow(0, mat)
    fig.savefig(path, 800, 600)
def theirs():
    fig = plt.figure(figsize=(8, 6), dpi=100)
    plt.colorbar(plt.imshow(data))
    fig.savefig(path)
    plt.close(fig)
"""


def scale_pictures(sizes, repeats):
    """Image figures of growing cell counts, each with its colour bar, to an
    800 x 600 PNG, against matplotlib's imshow + colorbar + savefig."""
    if pyplot("picture") is None:
        return
    with tempfile.TemporaryDirectory() as workdir:
        for n in sizes:
            cold, warm = cold_warm(PICTURE_SETUP.format(workdir=workdir, n=n), "ours()", "theirs()", repeats)
            target = {200: "<= 0.5x", 400: "<= 1.0x", 800: "<= 2.0x"}.get(n, "")
            scaling_row("image + colour bar, PNG", "%d^2 cells" % n, "matplotlib imshow+colorbar+savefig",
                        cold, warm, target)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--smoke", action="store_true", help="tiny sizes, one run each")
    parser.add_argument("--only", choices=("table", "scaling"), help="one of the two tables")
    parser.add_argument("--peers", default=os.path.join(HERE, "..", "build", "velta_bench_peers"),
                        help="the plain C peers executable")
    args = parser.parse_args()
    peers = args.peers if os.path.exists(args.peers) else None
    if peers is None:
        print("plain C peers not found at %s: those rows are skipped" % args.peers)
    smoke = args.smoke
    r = 1 if smoke else 5
    numpy.ones((2, 2)) @ numpy.ones((2, 2))
    print("NumPy %s, BLAS: %s, OPENBLAS_NUM_THREADS=%s" % (
        numpy.__version__, blas_name(), os.environ["OPENBLAS_NUM_THREADS"]))
    print()
    if args.only != "scaling":
        main_table(smoke, r, peers)
    if args.only != "table":
        scaling(smoke, peers)
    return 0


def main_table(smoke, r, peers):
    print("| case | velta | peer | peer's time | ratio | target |")
    print("|---|---|---|---|---|---|")
    table = Table()
    bench_matmul(table, 8 if smoke else 1024, 1 if smoke else 3, peers)
    bench_sort(table, 100 if smoke else 1_000_000, r)
    bench_text(table, 100 if smoke else 1_000_000, r, peers)
    bench_from_numpy(table, 2000 if smoke else 10_000_000, r)
    bench_indexing(table, 100 if smoke else 1_000_000, r)
    bench_array_protocol(table, 100 if smoke else 1_000_000, r, 10 if smoke else 1000)
    with tempfile.TemporaryDirectory() as workdir:
        bench_line(table, 10 if smoke else 100_000, r, workdir)


if __name__ == "__main__":
    sys.exit(main())
