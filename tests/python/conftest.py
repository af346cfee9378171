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


def reentering(method, first, answer=None):
    """An object whose method (or property `this`) runs first() and then
    gives answer (called with the method's arguments when callable): Python
    code that runs while a call converts its arguments."""
    def run(self, *args):
        first()
        return answer(*args) if callable(answer) else answer
    attrs = {method: property(run) if method == "this" else run}
    if method == "__getitem__":
        attrs["__len__"] = lambda self: 2
    return type("Reentering", (), attrs)()


def owned(record):
    """Flat constructors hand out unowned records; let collection free these."""
    record.this.acquire()
    return record


def vec(*vals):
    """An owned vector holding vals."""
    return owned(velta.vlm_vector_new_from_array(list(vals)) if vals else velta.vlm_vector_new_zero(0))


def mat(rows):
    """An owned matrix holding rows."""
    return owned(velta.vlm_matrix_new_from_array(rows))


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
