import ctypes
import gc
import os
import subprocess
import sys

import pytest

import velta


SANITIZED = os.environ.get("VELTA_SANITIZED") == "1"


@pytest.fixture
def collect():
    """Runs a full collection, so that owned records are released now."""
    def run():
        for _ in range(3):
            gc.collect()
    return run


def run_python(source, check=True, **kwargs):
    """Runs source in a fresh interpreter that finds the same modules as this
    one; returns the finished process with its text output."""
    script = "import sys; sys.path[:0] = %r\n" % (sys.path,) + source
    return subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          check=check, **kwargs)


def values(vec):
    """The elements of a VlmVector record, read through the flat functions."""
    return [velta.vlm_vector_get_item(vec, i) for i in range(vec.size)]


_libc = ctypes.CDLL(None)


@pytest.fixture(autouse=True)
def flush_c_stdout():
    """Writes out what C stdio still buffers from earlier tests (for instance
    the runtime's leak warnings), so that it cannot land in a later test's
    captured output."""
    _libc.fflush(None)
    yield
