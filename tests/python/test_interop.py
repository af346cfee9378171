"""Vectors and matrices among NumPy, pickle, copy, matplotlib and Dask; the
seedable random source."""
import copy
import gc
import os
import pickle
import struct
import subprocess
import sys

import matplotlib
import numpy as np
import pytest

import _velta
import velta
from conftest import owned

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
NAN_PAYLOAD = struct.unpack("<d", struct.pack("<Q", 0x7FF8000000000123))[0]
VEC = [0.0, 0.25, -0.5]
MAT = [[1.0, 2.0, 3.0], [4.0, 5.0, 6.5]]


@pytest.mark.parametrize("make, convert, want, shares, dtype", [
    (lambda: velta.VlmVector(VEC), np.asarray, VEC, True, np.float64),
    (lambda: velta.VlmMatrix(MAT), np.asarray, MAT, True, np.float64),
    (lambda: velta.VlmMatrix(MAT), lambda m: m.__array__(np.float64, copy=False), MAT, True, np.float64),
    (lambda: velta.VlmVector(VEC), np.array, VEC, False, np.float64),
    (lambda: velta.VlmMatrix(MAT), lambda m: m.__array__(copy=True), MAT, False, np.float64),
    (lambda: velta.VlmVector(VEC), lambda v: np.asarray(v, dtype=np.float32), VEC, False, np.float32),
    (lambda: velta.VlmMatrix(MAT), lambda m: np.asarray(m, dtype=">f8"), MAT, False, np.dtype(">f8")),
    (lambda: velta.VlmMatrix(MAT), lambda m: m.__array__(np.int32, copy=False), ValueError, None, None),
    (lambda: owned(velta.vlm_matrix_new_zero(0, 4)), np.asarray, np.zeros((0, 4)), True, np.float64),
    (lambda: velta.VlmVector(VEC), lambda v: plt.plot(v)[0].get_ydata(), VEC, False, np.float64),
    (lambda: velta.VlmMatrix(MAT), lambda m: plt.imshow(m).get_array(), MAT, False, np.float64),
])
def test_array_protocol(make, convert, want, shares, dtype):
    record = make()
    if want is ValueError:
        with pytest.raises(ValueError, match="needs a copy"):
            convert(record)
        return
    got = convert(record)
    np.testing.assert_array_equal(got, want)
    np.testing.assert_allclose(record, want)
    assert got.shape == np.shape(want) and got.dtype == dtype
    assert (type(got.base).__name__ == "PyCapsule") is shares  # the base of toNumpy's views
    if shares:
        # A view keeps the record alive and its block in place.
        with pytest.raises(BufferError):
            getattr(_velta, "delete_" + type(record).__name__)(record)
        del record
        gc.collect()
        np.testing.assert_array_equal(got, want)
    plt.close("all")


def _bits(record):
    return np.asarray(record).tobytes()


def _matrix_with_shape(rows, cols, donor_rows, donor_cols):
    mat = velta.VlmMatrix(rows, cols, 1.0)
    mat.copyShape(velta.VlmMatrix(donor_rows, donor_cols))
    return mat


def _windowed(fig):
    fig.set_window_title("a window of its own")
    fig.set_window_size(800, 600)
    return fig


@pytest.mark.parametrize("make, fields, refused", [
    (lambda: velta.VlmVector([-0.0, NAN_PAYLOAD, float("inf"), 5e-324]), None, None),
    (lambda: velta.VlmVector([]), None, None),
    (lambda: velta.VlmMatrix([[-0.0, NAN_PAYLOAD], [1.0, -2.5], [3.0, 7.0]]), None, None),
    (lambda: owned(velta.vlm_matrix_new_zero(0, 3)), None, None),
    (lambda: _matrix_with_shape(2, 3, 3, 4), None, (ValueError, r"shape \(3, 4\) does not describe its 6")),
    (lambda: _matrix_with_shape(2, 3, 1, 2), None, (ValueError, r"shape \(1, 2\) does not describe its 6")),
    (velta.VlmColor, dict(r=255, g=1, b=2, a=0.5, val=-3.25, size=7), None),
    (velta.VlmCoordDouble, dict(x=-0.0, y=1e300), None),
    (velta.VlmCoordInt, dict(x=-7, y=2 ** 31 - 1), None),
    (velta.VlmSlice, dict(start=1, step=-2, stop=9), None),
    (lambda: velta.VlpFigure(1, 2), None, (TypeError, "cannot pickle 'VlpFigure' object: a figure borrows")),
    (lambda: _windowed(velta.VlpFigure(1, 2)), None, (TypeError, "cannot pickle 'VlpFigure' object")),
    (velta.VlpCanvas, None, (TypeError, "cannot pickle 'VlpCanvas' object: a canvas belongs")),
    # Their texts are never shared with a copy: there is none.
    (lambda: _titled(velta.VlpCanvas()), None, (TypeError, "cannot pickle 'VlpCanvas' object")),
    (lambda: _titled(velta.vlp_set_canvas(velta.VlpFigure(1, 1), 0)), None, (TypeError, "cannot pickle")),
])
@pytest.mark.parametrize("copier", [
    lambda r: pickle.loads(pickle.dumps(r, 2)),
    lambda r: pickle.loads(pickle.dumps(r, pickle.HIGHEST_PROTOCOL)),
    copy.copy,
    copy.deepcopy,
], ids=["pickle2", "pickle5", "copy", "deepcopy"])
def test_pickle_and_copy(make, fields, refused, copier):
    record = make()
    for name, value in (fields or {}).items():
        setattr(record, name, value)
    if refused:
        with pytest.raises(refused[0], match=refused[1]):
            copier(record)
        return
    twin = copier(record)
    assert type(twin) is type(record) and twin.thisown and int(twin.this) != int(record.this)
    if fields:
        assert {name: getattr(twin, name) for name in fields} == fields
        return
    assert _bits(twin) == _bits(record) and np.shape(twin) == np.shape(record)
    if record.size:
        record.constant(9.0)
        assert _bits(twin) != _bits(record)


def _titled(can):
    velta.vlp_set_title(can, "title")
    velta.vlp_set_legend(can, 1, "center")
    return can


def _color(r, g, b, a, val, size):
    color = velta.VlmColor()
    color.r, color.g, color.b, color.a, color.val, color.size = r, g, b, a, val, size
    return color


def _proxy_of(cls, pointer):
    proxy = cls.__new__(cls)
    getattr(_velta, cls.__name__ + "_swiginit")(proxy, pointer)
    return proxy


def _figure_with_series():
    fig = velta.VlpFigure(2, 2)
    x = velta.VlmVector([0.0, 1.0])
    fig.plot(1, x, x)
    fig.scatter(1, x, x)
    fig.imshow(2, velta.VlmMatrix(MAT))
    return fig


def _released_vector():
    v = velta.VlmVector(2)
    velta.vlm_vector_delete(v)
    return v


@pytest.mark.parametrize("make, text, evaluable", [
    (lambda: velta.VlmVector([0.0, 0.25, 0.5]), "VlmVector([0.0, 0.25, 0.5])", True),
    (lambda: velta.VlmVector([-0.0, 0.1, 1e-300, 123456789.125]),
     "VlmVector([-0.0, 0.1, 1e-300, 123456789.125])", True),
    (lambda: velta.VlmVector([]), "VlmVector([])", True),
    (lambda: velta.VlmVector(np.arange(1000.0)), "VlmVector([%s])" % ", ".join(
        "%r" % float(i) for i in range(1000)), True),
    (lambda: velta.VlmVector(np.arange(1e6)),
     "VlmVector([0.0, 1.0, 2.0, ..., 999997.0, 999998.0, 999999.0], size=1000000)", False),
    (lambda: velta.VlmMatrix([[1.0, 2.0], [3.0, 4.0]]), "VlmMatrix([[1.0, 2.0],\n           [3.0, 4.0]])", True),
    (lambda: owned(velta.vlm_matrix_new_zero(0, 3)), "VlmMatrix(0, 3)", True),
    (lambda: velta.VlmMatrix(np.arange(2002.0).reshape(1, 2002)),
     "VlmMatrix([[0.0, 1.0, 2.0, ..., 1999.0, 2000.0, 2001.0]], shape=(1, 2002))", False),
    (lambda: velta.VlmMatrix(np.arange(4004.0).reshape(1001, 4)),
     "VlmMatrix([[0.0, 1.0, 2.0, 3.0],\n           [4.0, 5.0, 6.0, 7.0],\n           [8.0, 9.0, 10.0, 11.0],\n"
     "           ...,\n           [3992.0, 3993.0, 3994.0, 3995.0],\n           [3996.0, 3997.0, 3998.0, 3999.0],\n"
     "           [4000.0, 4001.0, 4002.0, 4003.0]], shape=(1001, 4))", False),
    (lambda: _matrix_with_shape(2, 3, 3, 4),
     "<VlmMatrix: the matrix shape (3, 4) does not describe its 6 elements>", False),
    (lambda: _color(255, 0, 0, 1.0, 0.0, 1), "VlmColor(r=255, g=0, b=0, a=1.0, val=0.0, size=1)", False),
    (velta.VlmSlice, "VlmSlice(start=0, step=0, stop=0)", False),
    (_figure_with_series, "VlpFigure(rows=2, cols=2, series=[0, 2, 1, 0])", False),
    (lambda: velta.VlmCoordInt.__new__(velta.VlmCoordInt), "<VlmCoordInt: no record>", False),
    (_released_vector, "<VlmVector: released>", False),
    (lambda: _proxy_of(velta.VlmColor, velta.VlmVector(1).p_r_nums),
     "<VlmColor: in method 'VlmColor_r_get', argument 1 of type 'struct s_color *'>", False),
])
def test_repr(make, text, evaluable):
    record = make()
    assert repr(record) == text
    if evaluable:
        again = eval(repr(record), vars(velta))
        assert type(again) is type(record) and _bits(again) == _bits(record)
        assert np.shape(again) == np.shape(record)
        # The specified text form stays as it was.
        kind = "vector" if isinstance(record, velta.VlmVector) else "matrix"
        assert str(record) == getattr(velta, "vlm_%s_to_string" % kind)(record, 0)


DRAWS = "import os, velta\ndef draws():\n    return [velta.vlm_random(0, 32767) for _ in range(8)]\n"
FORK = ("pid = os.fork()\nif pid:\n    os.waitpid(pid, 0)\nprint(draws(), flush=True)\n"
        "if pid == 0:\n    os._exit(0)\n")


@pytest.mark.parametrize("script, processes, same", [
    ("velta.vlm_random_seed(7)\nprint(draws())\n", 2, True),
    ("velta.vlm_random_seed(7)\nprint(draws())\nvelta.vlm_random_seed(7)\nprint(draws())\n", 1, True),
    ("velta.vlm_random_seed(7)\nprint(draws())\nvelta.vlm_random_seed(8)\nprint(draws())\n", 1, False),
    ("print(draws())\n", 2, False),
    ("draws()\n" + FORK, 1, False),
    ("velta.vlm_random_seed(7)\ndraws()\n" + FORK, 1, True),
], ids=["seed-two-processes", "reseed", "other-seed", "unseeded-two-processes", "fork-unseeded",
        "fork-seeded"])
def test_random_seed(script, processes, same):
    source = "import sys; sys.path[:0] = %r\n" % (sys.path,) + DRAWS + script
    children = [subprocess.Popen([sys.executable, "-c", source], stdout=subprocess.PIPE, text=True)
                for _ in range(processes)]
    lines = [line for child in children for line in child.communicate(timeout=120)[0].split("\n") if line]
    assert [child.returncode for child in children] == [0] * processes
    first, second = (eval(line) for line in lines)
    assert len(set(first)) > 1 and (first == second) is same


@pytest.mark.parametrize("size, blocks", [(64, 2), (45, 3)])
def test_scale_out_example(size, blocks):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    out = subprocess.run([sys.executable, os.path.join(ROOT, "examples", "scale_out.py"), "--size", str(size),
                          "--blocks", str(blocks), "--workers", "2"], env=env, capture_output=True, text=True,
                         timeout=300)
    assert out.returncode == 0, out.stderr[-3000:]
    assert "bit-identical to the in-process product: True" in out.stdout
    assert "in process:" in out.stdout and "distributed:" in out.stdout
