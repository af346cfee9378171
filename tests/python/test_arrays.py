"""NumPy exchange: arrays into the library's constructors, views out of records."""

import numpy as np
import pytest

import _velta
from velta import VlmMatrix, VlmVector

from conftest import values


DIMS_1_2 = "Array must have 1 dimensions.  Given array has 2 dimensions"


@pytest.mark.parametrize("given, expected", [
    (np.arange(3), [0.0, 1.0, 2.0]),
    ([1, 2.5], [1.0, 2.5]),
    ((True, False), [1.0, 0.0]),
    ([], []),
    (np.arange(6.0)[::2], [0.0, 2.0, 4.0]),
    (np.array([1.0, 2.0, 3.0], dtype=">f8"), [1.0, 2.0, 3.0]),
    (np.array([1.5, 2.5], dtype=np.float32), [1.5, 2.5]),
])
def test_vector_from_array_values(given, expected):
    vec = _velta.vlm_vector_new_from_array(given)
    try:
        assert values(vec) == expected
    finally:
        _velta.vlm_vector_delete(vec)


@pytest.mark.parametrize("given, exc, message", [
    (np.zeros((2, 2)), TypeError, DIMS_1_2),
    (3.0, TypeError, "Array must have 1 dimensions.  Given array has 0 dimensions"),
    (np.array([1j]), TypeError, "Cannot cast array data from dtype('complex128')"),
    (np.array([1.0], dtype=object), TypeError, "Cannot cast array data from dtype('O')"),
    (["x"], ValueError, "could not convert string to float"),
])
def test_vector_from_array_refused(given, exc, message):
    with pytest.raises(exc) as info:
        _velta.vlm_vector_new_from_array(given)
    assert str(info.value).startswith(message)


@pytest.mark.parametrize("given, message", [
    ([1.0, 2.0], "Array must have 2 dimensions.  Given array has 1 dimensions"),
    (np.zeros((1, 1, 1)), "Array must have 2 dimensions.  Given array has 3 dimensions"),
])
def test_matrix_from_array_dimension_message(given, message):
    with pytest.raises(TypeError) as info:
        _velta.vlm_matrix_new_from_array(given)
    assert str(info.value) == message


@pytest.mark.parametrize("make", [np.ascontiguousarray, np.asfortranarray,
                                  lambda x: x.astype(">f8"), lambda x: x.tolist()])
def test_matrix_from_array_layouts(make):
    x = np.arange(6.0).reshape(2, 3)
    mat = _velta.vlm_matrix_new_from_array(make(x))
    try:
        assert _velta.vlm_matrix_to_array(mat).tolist() == x.tolist()
    finally:
        _velta.vlm_matrix_delete(mat)


@pytest.mark.parametrize("shape, strides, make", [
    ((2 ** 31,), (0,), VlmVector),
    ((2 ** 31,), (0,), _velta.vlm_vector_new_from_array),
    ((2 ** 16, 2 ** 16), (0, 0), VlmMatrix),
    ((2 ** 31, 1), (0, 0), _velta.vlm_matrix_new_from_array),
])
def test_oversized_dimensions_refused_without_copy(shape, strides, make):
    huge = np.lib.stride_tricks.as_strided(np.zeros(1), shape=shape, strides=strides)
    with pytest.raises(ValueError, match="2147483647"):
        make(huge)


def test_input_is_copied():
    a = np.array([1.0, 2.0, 3.0])
    v = VlmVector(a)
    a[0] = 99.0
    assert list(v) == [1.0, 2.0, 3.0]


@pytest.mark.parametrize("to_array", [_velta.vlm_vector_to_array, _velta.VlmVector_toNumpy])
def test_vector_view_shares_storage(to_array):
    v = VlmVector([1.0, 2.0, 3.0])
    a = to_array(v)
    assert isinstance(a, np.ndarray) and type(a) is np.ndarray
    assert a.shape == (3,) and a.dtype == np.float64 and a.dtype.isnative
    assert a.flags.c_contiguous and a.flags.writeable and a.flags.aligned
    assert not a.flags.owndata
    a[0] = 9.0
    assert v[0] == 9.0
    _velta.vlm_vector_set_item(v, 1, 4.0)
    assert a[1] == 4.0


@pytest.mark.parametrize("to_array", [_velta.vlm_matrix_to_array, _velta.VlmMatrix_toNumpy])
def test_matrix_view_shape_and_elements(to_array):
    m = VlmMatrix([[1, 2, 3], [4, 5, 6]])
    a = to_array(m)
    assert a.shape == (2, 3) and not a.flags.owndata
    assert a[1, 2] == 6.0
    a[0, 1] = 7.0
    assert m[0, 1] == 7.0


def test_empty_vector_view():
    a = VlmVector(0).toNumpy()
    assert a.shape == (0,)


@pytest.mark.parametrize("make", [
    lambda: VlmVector([1.0, 2.0, 3.0]).toNumpy(),
    lambda: _velta.vlm_vector_to_array(VlmVector([1.0, 2.0, 3.0])),
    lambda: VlmMatrix([[1.0, 2.0, 3.0]]).toNumpy(),
    lambda: _velta.vlm_matrix_to_array(VlmMatrix([[1.0, 2.0, 3.0]])),
])
def test_view_keeps_its_record_alive(make, collect):
    a = make()
    assert a.base is not None
    collect()
    junk = [VlmVector([-1.0] * 3) for _ in range(50)]
    assert a.ravel().tolist() == [1.0, 2.0, 3.0]
    del junk


def vector_growers(v):
    return [
        lambda: v.append(1.0),
        lambda: v.append([1.0, 2.0]),
        lambda: v.append(v),
        lambda: _velta.vlm_vector_append_value(v, 1.0),
        lambda: _velta.vlm_vector_append_vector(v, v),
        lambda: _velta.vlm_vector_delete(v),
        lambda: _velta.vlm_data_delete(v),
        lambda: _velta.delete_VlmVector(v),
    ]


@pytest.mark.parametrize("which", range(8))
@pytest.mark.parametrize("export", ["view", "flat view", "iterator"])
def test_exported_vector_cannot_grow_or_go(which, export, collect):
    v = VlmVector([1.0, 2.0])
    held = {"view": v.toNumpy, "flat view": lambda: _velta.vlm_vector_to_array(v),
            "iterator": lambda: iter(v)}[export]()
    with pytest.raises(BufferError):
        vector_growers(v)[which]()
    assert list(v) == [1.0, 2.0] and v.this.own()
    del held
    collect()
    v.append(3.0)
    assert list(v) == [1.0, 2.0, 3.0]


@pytest.mark.parametrize("release", [_velta.vlm_matrix_delete, _velta.delete_VlmMatrix, _velta.vlm_data_delete])
@pytest.mark.parametrize("export", ["view", "iterator"])
def test_exported_matrix_cannot_be_released(release, export):
    m = VlmMatrix([[1.0, 2.0]])
    held = m.toNumpy() if export == "view" else iter(m)
    with pytest.raises(BufferError):
        release(m)
    assert m.this.own() and list(m) == [1.0, 2.0]
    del held


def test_exhausted_iterator_no_longer_holds_the_vector():
    v = VlmVector([1.0, 2.0])
    it = iter(v)
    assert list(it) == [1.0, 2.0]
    v.append(3.0)
    assert len(v) == 3


@pytest.mark.parametrize("to_array", [_velta.vlm_matrix_to_array, _velta.VlmMatrix_toNumpy])
def test_matrix_view_refuses_shape_beyond_block(to_array):
    m = VlmMatrix(2, 2)
    m.copyShape(VlmMatrix(3, 3))
    with pytest.raises(ValueError):
        to_array(m)
    m.copyShape(VlmMatrix(1, 3))
    assert to_array(m).shape == (1, 3)


def test_view_entries_refuse_other_records():
    with pytest.raises(TypeError, match=r"in method 'vlm_vector_to_array', argument 1 of type 'VlmVector \*'"):
        _velta.vlm_vector_to_array(VlmMatrix(1))
    with pytest.raises(TypeError, match=r"in method 'VlmVector_toNumpy', argument 1 of type 'struct s_vector \*'"):
        _velta.VlmVector_toNumpy(VlmMatrix(1))
