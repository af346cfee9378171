import ctypes
import gc
import os

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
