"""The VlmVector class: construction, dispatch, access, operators, iteration, ownership."""
import gc

import numpy as np
import pytest

import _velta
from velta import VlmMatrix, VlmVector, s_iter

from conftest import SANITIZED

VECTOR_OVERLOADS = ("Wrong number or type of arguments for overloaded function 'new_VlmVector'.\n"
                    "  Possible C/C++ prototypes are:\n    s_vector::s_vector(int)\n"
                    "    s_vector::s_vector(int,double)\n    s_vector::s_vector(double *,int)\n")
APPEND_OVERLOADS = ("Wrong number or type of arguments for overloaded function 'VlmVector_append'.\n"
                    "  Possible C/C++ prototypes are:\n    s_vector::append(double)\n"
                    "    s_vector::append(VlmVector *)\n    s_vector::append(double *,int)\n")


@pytest.mark.parametrize("args, expected", [
    ((3,), [0.0, 0.0, 0.0]),
    ((True,), [0.0]),
    ((0,), []),
    ((3, 2.5), [2.5, 2.5, 2.5]),
    ((2, 7), [7.0, 7.0]),
    (([1, 2, 3],), [1.0, 2.0, 3.0]),
    ((np.array([1, 2, 3]),), [1.0, 2.0, 3.0]),
    (((4.0, 5.0),), [4.0, 5.0]),
])
def test_constructor_forms(args, expected):
    v = VlmVector(*args)
    assert list(v) == expected and len(v) == len(expected)
    assert v.this.own()


@pytest.mark.parametrize("args, exc, message", [
    ((3.0,), TypeError, VECTOR_OVERLOADS),
    ((None,), TypeError, VECTOR_OVERLOADS),
    ((2 ** 31,), TypeError, VECTOR_OVERLOADS),
    ((), TypeError, VECTOR_OVERLOADS),
    ((1, "x"), TypeError, VECTOR_OVERLOADS),
    ((1, 2, 3), TypeError, "new_VlmVector expected at most 2 arguments, got 3\nAdditional information:\n"
     + VECTOR_OVERLOADS),
    ((np.zeros((2, 2)),), TypeError, "Array must have 1 dimensions.  Given array has 2 dimensions"),
    (("abc",), ValueError, "could not convert string to float: 'abc'"),
])
def test_constructor_refusals(args, exc, message):
    with pytest.raises(exc) as info:
        VlmVector(*args)
    assert str(info.value) == message


def test_indexing_and_its_limits():
    v = VlmVector([1.0, 2.0, 3.0])
    v[1] = 5
    assert (v[0], v[1], v[2]) == (1.0, 5.0, 3.0)
    v[3] = 9.0  # at the size: changes nothing
    assert list(v) == [1.0, 5.0, 3.0]
    for bad in (3, -1):
        with pytest.raises(IndexError, match="out of range for a vector of size 3"):
            v[bad]
    with pytest.raises(IndexError):
        v[-1] = 0.0
    # Beyond 32 bits: refused, never truncated to an index inside the vector.
    for big in (2 ** 32 + 1, -2 ** 63):
        with pytest.raises(OverflowError, match=r"^in method 'VlmVector___getitem__', argument 2 of type 'int'$"):
            v[big]


@pytest.mark.parametrize("key", [1.0, slice(1, 2), "1", None])
def test_index_type_refused(key):
    v = VlmVector(3)
    with pytest.raises(TypeError, match=r"^in method 'VlmVector___getitem__', argument 2 of type 'int'$"):
        v[key]


def test_setitem_value_type_refused():
    with pytest.raises(TypeError, match=r"^in method 'VlmVector___setitem__', argument 3 of type 'double'$"):
        VlmVector(3)[1] = "x"


@pytest.mark.parametrize("val, idx1, idx2, expected", [
    (2.0, 0, 1, 1), (3.0, 0, 1, 0), (3.0, 0, 2, 1), (1.0, 1, 0, 0), (1.0, 0, 0, 1)])
def test_isexist_takes_value_first(val, idx1, idx2, expected):
    assert VlmVector([1.0, 2.0, 3.0]).isexist(val, idx1, idx2) == expected


def test_isexist_range_beyond_vector():
    with pytest.raises(IndexError):
        VlmVector(3).isexist(0.0, 0, 3)
    with pytest.raises(TypeError, match=r"in method 'VlmVector_isexist', argument 3 of type 'int'"):
        VlmVector(3).isexist(0.0, 0.5, 1)


def test_contains_min_max_sort():
    v = VlmVector([3.0, -1.0, 2.0])
    assert 2.0 in v and 2.5 not in v and 1.0 not in VlmVector(0)
    assert (v.min(), v.max()) == (-1.0, 3.0)
    v.sort()
    assert list(v) == [-1.0, 2.0, 3.0]
    with pytest.raises(ValueError):
        VlmVector(0).max()


def test_fills_keep_size():
    v = VlmVector(5)
    v.linspace(0.0, 1.0)
    made = _velta.vlm_vector_new_linspace(0.0, 1.0, 5)
    assert list(v) == list(made) and list(v) != [0.0] * 5
    _velta.vlm_vector_delete(made)
    v.random(2.0, 3.0)
    assert len(v) == 5 and all(2.0 <= x <= 3.0 for x in v)
    v.constant(4.0)
    assert list(v) == [4.0] * 5
    e = VlmVector(0)
    e.linspace(0.0, 1.0)
    e.random(0.0, 1.0)
    assert len(e) == 0


@pytest.mark.parametrize("arg, expected", [
    (4, [1.0, 2.0, 4.0]),
    (4.5, [1.0, 2.0, 4.5]),
    ([4, 5], [1.0, 2.0, 4.0, 5.0]),
    (np.array([6.0]), [1.0, 2.0, 6.0]),
    (VlmVector([7.0, 8.0]), [1.0, 2.0, 7.0, 8.0]),
])
def test_append_overloads(arg, expected):
    v = VlmVector([1.0, 2.0])
    assert v.append(arg) is None
    assert list(v) == expected


def test_append_self_doubles():
    v = VlmVector([1.0, 2.0])
    v.append(v)
    assert list(v) == [1.0, 2.0, 1.0, 2.0]


@pytest.mark.parametrize("arg, exc, message", [
    ("x", ValueError, "could not convert string to float: 'x'"),
    (np.zeros((1, 1)), TypeError, "Array must have 1 dimensions.  Given array has 2 dimensions"),
    ({}, TypeError, APPEND_OVERLOADS),
    (None, TypeError, "must not be None"),
])
def test_append_refusals_leave_vector(arg, exc, message):
    v = VlmVector([1.0])
    with pytest.raises(exc) as info:
        v.append(arg)
    assert message in str(info.value)
    assert list(v) == [1.0]


def test_append_argument_count():
    with pytest.raises(TypeError, match="VlmVector_append expected at most 2 arguments, got 3"):
        _velta.VlmVector_append(VlmVector(1), 1.0, 2.0)


@pytest.mark.parametrize("op, expected", [
    (lambda v: v + 1.0, [2.0, 3.0]),
    (lambda v: v - 1.0, [0.0, 1.0]),
    (lambda v: v * 3, [3.0, 6.0]),
    (lambda v: v / 2.0, [0.5, 1.0]),
    (lambda v: v << 7.0, [7.0, 7.0]),
    (lambda v: v.copy(), [1.0, 2.0]),
])
def test_new_result_operators(op, expected):
    v = VlmVector([1.0, 2.0])
    w = op(v)
    try:
        assert list(w) == expected and list(v) == [1.0, 2.0]
        assert not w.this.own() and w.this != v.this
    finally:
        _velta.vlm_vector_delete(w)


@pytest.mark.parametrize("op, expected", [
    ("v += 1.0", [2.0, 3.0]), ("v -= 1.0", [0.0, 1.0]), ("v *= 3", [3.0, 6.0]),
    ("v /= 2.0", [0.5, 1.0]), ("v <<= 7.0", [7.0, 7.0]),
])
def test_in_place_operators_keep_object(op, expected, collect):
    v = VlmVector([1.0, 2.0])
    before = v
    scope = {"v": v}
    exec(op, scope)
    assert scope["v"] is before and before.this.own()
    collect()
    assert list(before) == expected


def test_in_place_loop_stays_owned(collect):
    v = VlmVector(4)
    for i in range(5000):
        v += 1.0
        v *= 1.0
        gc.collect(0)
        if i % 500 == 0:
            collect()
    collect()
    assert list(v) == [5000.0] * 4 and v.this.own()


def test_divide_by_zero_is_ieee():
    w = VlmVector([1.0, 0.0]) / 0.0
    try:
        assert w[0] == float("inf") and w[1] != w[1]
    finally:
        _velta.vlm_vector_delete(w)


def test_no_reflected_or_vector_operands():
    v = VlmVector(2)
    with pytest.raises(TypeError):
        1.0 + v
    with pytest.raises(TypeError):
        v + v


def test_iteration_protocol():
    v = VlmVector([1.0, 2.0])
    it = iter(v)
    assert isinstance(it, s_iter) and iter(it) is it and it.this.own()
    assert list(iter(v)) == list(v) == [1.0, 2.0]
    assert next(it) == 1.0 and next(it) == 2.0
    for _ in range(2):
        with pytest.raises(StopIteration, match="^End of Iterator$"):
            next(it)
    assert list(iter(VlmVector(0))) == []


def test_iteration_reads_current_elements():
    v = VlmVector([1.0, 2.0])
    it = iter(v)
    v[1] = 5.0
    assert list(it) == [1.0, 5.0]


def test_iterator_keeps_vector_alive(collect):
    it = iter(VlmVector([1.0, 2.0, 3.0]))
    collect()
    junk = [VlmVector([9.0] * 3) for _ in range(20)]
    assert list(it) == [1.0, 2.0, 3.0]
    del junk
    assert [x for x in VlmVector([4.0, 5.0])] == [4.0, 5.0]


def test_plain_records():
    it, sl = s_iter(), _velta.new_VlmSlice()
    assert it.len == 0 and it.ptr is None and sl.own()
    with pytest.raises(StopIteration):
        next(it)


def test_text_forms(capfd):
    v = VlmVector([1.0, 2.0])
    text = str(v)
    assert isinstance(text, str) and text == _velta.vlm_vector_to_string(v, 0)
    v.printFull()
    assert capfd.readouterr().out == _velta.vlm_vector_to_string(v, 1)


@pytest.mark.skipif(SANITIZED, reason="the sanitizer's quarantine keeps released blocks resident")
@pytest.mark.parametrize("make", [lambda: VlmVector(np.arange(100.0)),
                                  lambda: VlmMatrix(np.arange(100.0).reshape(10, 10))],
                         ids=["vector", "matrix"])
def test_str_does_not_grow_memory(make):
    import resource
    record = make()
    for _ in range(20000):
        str(record)
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    for _ in range(1000000):
        str(record)
    assert resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before < 10000


def test_to_matrix_and_numpy():
    v = VlmVector([1.0, 2.0, 3.0])
    m = v.toMatrix()
    try:
        assert m.getShape() == (1, 3) and list(m) == [1.0, 2.0, 3.0] and not m.this.own()
    finally:
        _velta.vlm_matrix_delete(m)
    a = v.toNumpy()
    a[0] = 9.0
    assert v[0] == 9.0


@pytest.mark.parametrize("call", [
    lambda: _velta.VlmVector___len__(None),
    lambda: _velta.VlmVector_append(None, 1.0),
    lambda: _velta.delete_VlmVector(None),
])
def test_none_self_refused(call):
    with pytest.raises((TypeError, ValueError)):
        call()


def test_explicit_delete_disowns():
    v = VlmVector(2)
    _velta.delete_VlmVector(v)
    assert not v.this.own()
