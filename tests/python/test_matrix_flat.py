"""The flat vlm_matrix_ functions as Python reaches them: results, the
edge cases of the library, and the refusals that keep reads and writes
inside the element block."""
import ctypes
import math
import os
import random
import subprocess
import sys

import pytest

import _velta
import velta
from conftest import SANITIZED, owned


def matrix(rows):
    nr, nc = len(rows), len(rows[0]) if rows else 0
    mat = owned(velta.vlm_matrix_new_zero(nr, nc))
    for i, row in enumerate(rows):
        for j, x in enumerate(row):
            velta.vlm_matrix_set_item(mat, i, j, x)
    return mat


def shape(mat):
    return tuple(ctypes.cast(int(mat.r_shape), ctypes.POINTER(ctypes.c_int))[0:2])


def block(mat):
    """The element block in storage order (read by size, not by shape)."""
    vec = velta.vlm_vector_new_from_matrix(mat)
    try:
        return [velta.vlm_vector_get_item(vec, i) for i in range(vec.size)]
    finally:
        velta.vlm_vector_delete(vec)


def rows_of(mat):
    nr, nc = shape(mat)
    vals = block(mat)
    return [vals[i * nc:(i + 1) * nc] for i in range(nr)]


A23 = [[1, 2, 3], [4, 5, 6]]
M33 = [[1, 2, 3], [4, 5, 6], [7, 8, 9]]


# ---- construction -------------------------------------------------------------

@pytest.mark.parametrize("make, expected_shape, values", [
    (lambda: velta.vlm_matrix_new_zero(2, 3), (2, 3), [0.0] * 6),
    (lambda: velta.vlm_matrix_new_constant(3, 1, -2.5), (3, 1), [-2.5] * 3),
    (lambda: velta.vlm_matrix_new_identity(3), (3, 3), [1, 0, 0, 0, 1, 0, 0, 0, 1]),
    (lambda: velta.vlm_matrix_new_identity(0), (0, 0), []),
    (lambda: velta.vlm_matrix_new_zero(0, 5), (0, 5), []),
    (lambda: velta.vlm_matrix_new_constant(4, 0, 1.0), (4, 0), []),
])
def test_filled_constructors(make, expected_shape, values):
    mat = owned(make())
    assert shape(mat) == expected_shape
    assert mat.size == len(values)
    assert block(mat) == values


@pytest.mark.parametrize("rows, cols", [(1, 1), (2, 3), (0, 0), (7, 0)])
def test_uninitialised_constructors_have_shape_and_size(rows, cols):
    mat = owned(velta.vlm_matrix_new(rows, cols))
    assert (shape(mat), mat.size) == ((rows, cols), rows * cols)
    dup = owned(velta.vlm_matrix_new_duplicate_size(mat))
    assert (shape(dup), dup.size) == ((rows, cols), rows * cols)


def test_random_is_inside_its_bounds_and_row_major():
    mat = owned(velta.vlm_matrix_new_random(40, 25, -3.0, 5.0))
    vals = block(mat)
    assert shape(mat) == (40, 25) and len(vals) == 1000
    assert all(-3.0 <= x <= 5.0 for x in vals)
    assert len(set(vals)) > 100


def test_flat_constructors_are_not_owned():
    mat = velta.vlm_matrix_new_zero(1, 1)
    assert isinstance(mat, velta.VlmMatrix) and mat.this.own() is False
    velta.vlm_matrix_delete(mat)


def test_delete_disowns_an_owned_object():
    mat = velta.vlm_matrix_new_zero(2, 2)
    mat.this.acquire()
    assert velta.vlm_matrix_delete(mat) is None
    assert mat.this.own() is False


@pytest.mark.parametrize("call, exc, msg", [
    (lambda: velta.vlm_matrix_new(-1, 2), ValueError, "matrix dimensions must not be negative, got -1 x 2"),
    (lambda: velta.vlm_matrix_new_zero(3, -4), ValueError, "matrix dimensions must not be negative, got 3 x -4"),
    (lambda: velta.vlm_matrix_new_constant(-1, -1, 0.0), ValueError,
     "matrix dimensions must not be negative, got -1 x -1"),
    (lambda: velta.vlm_matrix_new_random(-2, 0, 0.0, 1.0), ValueError,
     "matrix dimensions must not be negative, got -2 x 0"),
    (lambda: velta.vlm_matrix_new(65536, 65536), OverflowError,
     "a 65536 x 65536 matrix would exceed 2147483647 elements"),
    (lambda: velta.vlm_matrix_new_zero(2147483647, 2), OverflowError,
     "a 2147483647 x 2 matrix would exceed 2147483647 elements"),
    (lambda: velta.vlm_matrix_new_constant(46341, 46341, 1.0), OverflowError,
     "a 46341 x 46341 matrix would exceed 2147483647 elements"),
    (lambda: velta.vlm_matrix_new_random(100000, 100000, 0.0, 1.0), OverflowError,
     "a 100000 x 100000 matrix would exceed 2147483647 elements"),
    (lambda: velta.vlm_matrix_new_identity(46341), OverflowError,
     "a 46341 x 46341 matrix would exceed 2147483647 elements"),
    (lambda: velta.vlm_matrix_new_identity(-1), ValueError,
     "in method 'vlm_matrix_new_identity', argument 1: size must not be negative, got -1"),
    (lambda: velta.vlm_matrix_new(2.0, 1), TypeError, "in method 'vlm_matrix_new', argument 1 of type 'int'"),
    (lambda: velta.vlm_matrix_new(1, 2**31), OverflowError, "in method 'vlm_matrix_new', argument 2 of type 'int'"),
    (lambda: velta.vlm_matrix_new_constant(1, 1, "x"), TypeError,
     "in method 'vlm_matrix_new_constant', argument 3 of type 'double'"),
    (lambda: velta.vlm_matrix_new_zero(1), TypeError, "vlm_matrix_new_zero expected 2 arguments, got 1"),
])
def test_constructor_refusals(call, exc, msg):
    with pytest.raises(exc) as info:
        call()
    assert str(info.value) == msg


def test_copies_refuse_a_shape_that_overflows():
    assert rows_of(owned(velta.vlm_matrix_new_copy(matrix(A23)))) == A23
    huge = owned(velta.vlm_matrix_new_zero(1, 2))
    ints = (ctypes.c_int * 2)(100000, 100000)
    ctypes.memmove(int(huge.r_shape), ints, ctypes.sizeof(ints))
    for func in (velta.vlm_matrix_new_copy, velta.vlm_matrix_new_duplicate_size):
        with pytest.raises(OverflowError):
            func(huge)


# ---- element access ----------------------------------------------------------

def test_get_and_index_follow_row_major_order():
    mat = matrix(A23)
    assert [velta.vlm_matrix_get_item(mat, i, j) for i in range(2) for j in range(3)] == [1, 2, 3, 4, 5, 6]
    assert velta.vlm_matrix_row_col_to_index(mat, 1, 2) == 5
    # A column beyond the column count lands in a later row.
    assert velta.vlm_matrix_get_item(mat, 0, 4) == 5.0
    assert velta.vlm_matrix_row_col_to_index(mat, 0, 4) == 4
    # So does a negative row whose computed index is inside the block.
    assert velta.vlm_matrix_get_item(mat, -1, 5) == 3.0


@pytest.mark.parametrize("row, col, index", [
    (1, 3, 6), (-1, 0, -3), (0, -1, -1), (5, 5, 20),
    (2147483647, 2147483647, -4), (-2147483648, 0, -2147483648),   # wraps as a 32-bit int
])
def test_row_col_to_index_is_plain_arithmetic(row, col, index):
    assert velta.vlm_matrix_row_col_to_index(matrix(A23), row, col) == index


@pytest.mark.parametrize("row, col", [(1, 3), (2, 0), (0, -1), (-1, 0), (-1, 2), (2147483647, 2147483647),
                                      (715827883, 1)])
def test_reads_outside_the_block_raise_index_error(row, col):
    mat = matrix(A23)
    with pytest.raises(IndexError) as info:
        velta.vlm_matrix_get_item(mat, row, col)
    assert str(info.value) == "index (%d, %d) is out of range for a 2 x 3 matrix of size 6" % (row, col)


@pytest.mark.parametrize("row, col, changed_index", [
    (0, 0, 0), (1, 2, 5), (0, 3, 3), (0, 5, 5),   # inside the block: written (column 3 of row 0 is (1, 0))
    (1, 3, None), (2, 0, None), (715827883, 1, None), (2147483647, 2147483647, None),  # at or past size: no change
])
def test_set_item_writes_inside_and_ignores_past_the_end(row, col, changed_index):
    mat = matrix(A23)
    assert velta.vlm_matrix_set_item(mat, row, col, -9.0) is None
    expected = [1.0, 2.0, 3.0, 4.0, 5.0, 6.0]
    if changed_index is not None:
        expected[changed_index] = -9.0
    assert block(mat) == expected


@pytest.mark.parametrize("row, col", [(0, -1), (-1, 2), (-2147483648, 0)])
def test_writes_before_the_block_raise_index_error(row, col):
    mat = matrix(A23)
    with pytest.raises(IndexError):
        velta.vlm_matrix_set_item(mat, row, col, 1.0)
    assert block(mat) == [1, 2, 3, 4, 5, 6]


# ---- in-place arithmetic ---------------------------------------------------------

@pytest.mark.parametrize("func, val, op", [
    (velta.vlm_matrix_add_by_value, 0.5, lambda x, v: x + v),
    (velta.vlm_matrix_substract_by_value, 2, lambda x, v: x - v),
    (velta.vlm_matrix_multiply_by_value, -3.0, lambda x, v: x * v),
    (velta.vlm_matrix_divide_by_value, 7.0, lambda x, v: x / v),
    (velta.vlm_matrix_change_elements_by_value, 4.25, lambda x, v: v),
])
def test_by_value_operations(func, val, op):
    mat = matrix(A23)
    assert func(mat, val) is None
    assert block(mat) == [op(float(x), val) for x in (1, 2, 3, 4, 5, 6)]


def test_division_by_zero_follows_ieee():
    mat = matrix([[1.0, -1.0, 0.0]])
    velta.vlm_matrix_divide_by_value(mat, 0.0)
    a, b, c = block(mat)
    assert a == math.inf and b == -math.inf and math.isnan(c)


# ---- shape and copying -------------------------------------------------------

def test_transpose():
    mat = matrix(A23)
    assert velta.vlm_matrix_transpose(mat) is None
    assert shape(mat) == (3, 2)
    assert block(mat) == [1, 4, 2, 5, 3, 6]
    assert rows_of(mat) == [[1, 4], [2, 5], [3, 6]]
    velta.vlm_matrix_transpose(mat)
    assert rows_of(mat) == A23


def test_transpose_row_keeps_the_block():
    mat = matrix([[1, 2, 3, 4]])
    velta.vlm_matrix_transpose(mat)
    assert shape(mat) == (4, 1) and block(mat) == [1, 2, 3, 4]


@pytest.mark.parametrize("rows, cols", [(1, 1), (7, 13), (33, 65), (64, 3)])
def test_transpose_moves_every_element(rows, cols):
    mat = matrix([[i * cols + j for j in range(cols)] for i in range(rows)])
    velta.vlm_matrix_transpose(mat)
    assert rows_of(mat) == [[i * cols + j for i in range(rows)] for j in range(cols)]


def test_transpose_of_a_shape_that_disagrees_swaps_only_the_shape():
    src, target = matrix([[1, 2]]), matrix([[1, 2], [3, 4]])
    velta.vlm_matrix_copy_shape(src, target)
    assert (shape(target), target.size) == ((1, 2), 4)
    velta.vlm_matrix_transpose(target)
    assert (shape(target), target.size, block(target)) == ((2, 1), 4, [1, 2, 3, 4])


def test_copy_shape_leaves_size_and_block():
    src, target = matrix([[1, 2], [3, 4], [5, 6]]), matrix([[9, 8], [7, 6]])
    assert velta.vlm_matrix_copy_shape(src, target) is None
    assert (shape(target), target.size, block(target)) == ((3, 2), 4, [9, 8, 7, 6])
    # The copy is made by the shape; elements are copied only when it matches the size.
    copy = owned(velta.vlm_matrix_new_copy(target))
    assert (shape(copy), copy.size) == ((3, 2), 6)


@pytest.mark.parametrize("src_rows, target_rows, expected", [
    (A23, [[0, 0], [0, 0], [0, 0]], [1, 2, 3, 4, 5, 6]),   # shapes are not compared
    (A23, [[0, 0], [0, 0]], [0, 0, 0, 0]),                 # different sizes: nothing
    ([[7]], [[0]], [7]),
])
def test_copy_elements(src_rows, target_rows, expected):
    target = matrix(target_rows)
    before = shape(target)
    assert velta.vlm_matrix_copy_elements(matrix(src_rows), target) is None
    assert block(target) == expected and shape(target) == before


def test_copy_elements_between_empty_matrices_does_nothing():
    velta.vlm_matrix_copy_elements(owned(velta.vlm_matrix_new_zero(0, 3)), owned(velta.vlm_matrix_new_zero(3, 0)))


def test_new_copy_is_independent():
    src = matrix(M33)
    copy = owned(velta.vlm_matrix_new_copy(src))
    velta.vlm_matrix_set_item(src, 0, 0, 100.0)
    assert rows_of(copy) == M33


# ---- product ------------------------------------------------------------------

def test_product_example():
    prod = owned(velta.vlm_matrix_new_multiplication(matrix(A23), matrix([[7, 8], [9, 10], [11, 12]])))
    assert rows_of(prod) == [[58, 64], [139, 154]]


@pytest.mark.parametrize("a, b", [
    (A23, A23), ([[1, 2]], [[1, 2]]), ([[1]], [[1, 2], [3, 4]]),
])
def test_product_of_mismatched_inner_sizes_is_none(a, b):
    assert velta.vlm_matrix_new_multiplication(matrix(a), matrix(b)) is None


def _ordered_product(a, b):
    n, p = len(b), len(b[0]) if b else 0
    out = []
    for row in a:
        out_row = []
        for j in range(p):
            s = 0.0
            for k in range(n):
                s += row[k] * b[k][j]
            out_row.append(s)
        out.append(out_row)
    return out


@pytest.mark.parametrize("m, n, p", [
    (1, 1, 1), (3, 7, 5), (13, 1, 17), (5, 300, 7), (17, 259, 3), (101, 9, 13), (4, 2, 2053),
])
def test_product_is_the_ordered_rounded_sum(m, n, p):
    """Bit for bit the left-to-right sum of rounded products; magnitudes vary
    widely so that another order or a fused multiply-add would show."""
    rng = random.Random(m * 10007 + n * 101 + p)
    def rand():
        return rng.uniform(-1, 1) * 10.0 ** rng.randint(-8, 8)
    a = [[rand() for _ in range(n)] for _ in range(m)]
    b = [[rand() for _ in range(p)] for _ in range(n)]
    prod = owned(velta.vlm_matrix_new_multiplication(matrix(a), matrix(b)))
    assert shape(prod) == (m, p)
    assert rows_of(prod) == _ordered_product(a, b)


@pytest.mark.parametrize("m, p", [(3, 4), (0, 2), (2, 0)])
def test_product_with_empty_inner_size_is_zero(m, p):
    a = owned(velta.vlm_matrix_new_constant(m, 0, 1.0))
    b = owned(velta.vlm_matrix_new_constant(0, p, 1.0))
    prod = owned(velta.vlm_matrix_new_multiplication(a, b))
    assert (shape(prod), block(prod)) == ((m, p), [0.0] * (m * p))


def test_product_refuses_an_operand_larger_than_its_block():
    a, b = matrix(M33), matrix([[1, 2], [3, 4]])
    velta.vlm_matrix_copy_shape(a, b)  # b claims 3 x 3 over 4 elements
    with pytest.raises(ValueError) as info:
        velta.vlm_matrix_new_multiplication(a, b)
    assert str(info.value) == "the matrix shape (3,3) describes more elements than its size 4"


# ---- vectors and extraction -------------------------------------------------------

def test_vector_conversions():
    vec = velta.vlm_vector_new_values(4, 1.0, 2.0, 3.0, 4.0)
    mat = owned(velta.vlm_matrix_new_from_vector(vec))
    velta.vlm_vector_delete(vec)
    assert (shape(mat), block(mat)) == ((1, 4), [1, 2, 3, 4])
    back = velta.vlm_vector_new_from_matrix(matrix([[1, 2], [3, 4]]))
    assert [velta.vlm_vector_get_item(back, i) for i in range(back.size)] == [1, 2, 3, 4]
    velta.vlm_vector_delete(back)
    empty = velta.vlm_vector_new_zero(0)
    assert shape(owned(velta.vlm_matrix_new_from_vector(empty))) == (1, 0)
    velta.vlm_vector_delete(empty)


@pytest.mark.parametrize("call, expected", [
    (lambda m: velta.vlm_matrix_new_extract_row_col(m, 0, 1, 1, 2), [[2, 3], [5, 6]]),
    (lambda m: velta.vlm_matrix_new_extract_row_col(m, 2, 2, 0, 0), [[7]]),
    (lambda m: velta.vlm_matrix_new_extract_row_col(m, 0, 2, 0, 2), M33),
    (lambda m: velta.vlm_matrix_new_extract_column(m, 1), [[2], [5], [8]]),
    (lambda m: velta.vlm_matrix_new_extract_row(m, 2), [[7, 8, 9]]),
    (lambda m: velta.vlm_matrix_new_extract_row(m, 0), [[1, 2, 3]]),
])
def test_extraction(call, expected):
    assert rows_of(owned(call(matrix(M33)))) == expected


@pytest.mark.parametrize("call, msg", [
    (lambda m: velta.vlm_matrix_new_extract_row(m, 3), "row 3 is out of range for a matrix of 3 rows"),
    (lambda m: velta.vlm_matrix_new_extract_row(m, -1), "row -1 is out of range for a matrix of 3 rows"),
    (lambda m: velta.vlm_matrix_new_extract_column(m, 3), "column 3 is out of range for a matrix of 3 columns"),
    (lambda m: velta.vlm_matrix_new_extract_column(m, -2147483648),
     "column -2147483648 is out of range for a matrix of 3 columns"),
    (lambda m: velta.vlm_matrix_new_extract_row_col(m, 1, 0, 0, 1), "row range 1..0 is reversed"),
    (lambda m: velta.vlm_matrix_new_extract_row_col(m, 0, 1, 2, 1), "column range 2..1 is reversed"),
    (lambda m: velta.vlm_matrix_new_extract_row_col(m, 0, 3, 0, 1), "row range 0..3 is out of range for 3 rows"),
    (lambda m: velta.vlm_matrix_new_extract_row_col(m, -1, 0, 0, 1), "row range -1..0 is out of range for 3 rows"),
    (lambda m: velta.vlm_matrix_new_extract_row_col(m, 0, 0, 1, 3),
     "column range 1..3 is out of range for 3 columns"),
    (lambda m: velta.vlm_matrix_new_extract_row_col(m, -2147483648, 2147483647, 0, 0),
     "row range -2147483648..2147483647 is out of range for 3 rows"),
])
def test_extraction_outside_the_matrix_raises_index_error(call, msg):
    with pytest.raises(IndexError) as info:
        call(matrix(M33))
    assert str(info.value) == msg


@pytest.mark.parametrize("call", [
    velta.vlm_matrix_to_array,
    lambda m: velta.vlm_matrix_new_extract_row(m, 2),
    lambda m: velta.vlm_matrix_new_extract_column(m, 0),
    lambda m: velta.vlm_matrix_new_extract_row_col(m, 2, 2, 0, 0),
])
def test_shape_walks_refuse_a_shape_larger_than_the_block(call):
    mat = matrix([[1, 2], [3, 4]])
    velta.vlm_matrix_copy_shape(matrix(M33), mat)
    with pytest.raises(ValueError) as info:
        call(mat)
    assert str(info.value) == "the matrix shape (3,3) describes more elements than its size 4"


# ---- minimum and maximum ----------------------------------------------------------

NAN = float("nan")


@pytest.mark.parametrize("vals, lo, hi", [
    ([3, -1, 2, -1, 7], -1, 7),
    ([NAN, 1, -5], NAN, NAN),          # NaN at index 0 is returned
    ([1, NAN, -5, NAN], -5, 1),        # later NaNs are passed over
    ([0.0, -0.0], 0.0, 0.0),           # -0.0 is not strictly smaller than 0.0
    ([-0.0, 0.0], -0.0, -0.0),
    ([-math.inf, math.inf], -math.inf, math.inf),
])
def test_min_max_rules(vals, lo, hi):
    mat = matrix([vals])
    for got, want in ((velta.vlm_matrix_min(mat), lo), (velta.vlm_matrix_max(mat), hi)):
        if math.isnan(want):
            assert math.isnan(got)
        else:
            assert got == want and math.copysign(1, got) == math.copysign(1, want)


@pytest.mark.parametrize("func, what", [(velta.vlm_matrix_min, "min"), (velta.vlm_matrix_max, "max")])
@pytest.mark.parametrize("rows, cols", [(0, 0), (0, 3), (4, 0)])
def test_min_max_of_an_empty_matrix_raise(func, what, rows, cols):
    with pytest.raises(ValueError) as info:
        func(owned(velta.vlm_matrix_new_zero(rows, cols)))
    assert str(info.value) == "%s of an empty matrix" % what


# ---- None and wrong types ------------------------------------------------------

MATRIX_CALLS = [
    ("vlm_matrix_new_copy", ()), ("vlm_matrix_new_duplicate_size", ()), ("vlm_matrix_delete", ()),
    ("vlm_matrix_get_item", (0, 0)), ("vlm_matrix_set_item", (0, 0, 1.0)), ("vlm_matrix_row_col_to_index", (0, 0)),
    ("vlm_matrix_to_string", (0,)), ("vlm_matrix_print", (0,)), ("vlm_matrix_print_partial", ()),
    ("vlm_matrix_print_full", ()), ("vlm_matrix_add_by_value", (1.0,)), ("vlm_matrix_substract_by_value", (1.0,)),
    ("vlm_matrix_multiply_by_value", (1.0,)), ("vlm_matrix_divide_by_value", (1.0,)),
    ("vlm_matrix_change_elements_by_value", (1.0,)), ("vlm_matrix_transpose", ()), ("vlm_matrix_min", ()),
    ("vlm_matrix_max", ()), ("vlm_matrix_new_extract_row", (0,)), ("vlm_matrix_new_extract_column", (0,)),
    ("vlm_matrix_new_extract_row_col", (0, 0, 0, 0)), ("vlm_vector_new_from_matrix", ()),
]


@pytest.mark.parametrize("name, rest", MATRIX_CALLS)
def test_none_matrix_is_a_type_error(capfd, name, rest):
    with pytest.raises(TypeError) as info:
        getattr(velta, name)(None, *rest)
    assert str(info.value).startswith("in method '%s', argument 1 of type 'VlmMatrix *'" % name)
    assert capfd.readouterr().out == ""


@pytest.mark.parametrize("name, args, position", [
    ("vlm_matrix_copy_elements", ("m", None), 2), ("vlm_matrix_copy_elements", (None, "m"), 1),
    ("vlm_matrix_copy_shape", ("m", None), 2), ("vlm_matrix_new_multiplication", ("m", None), 2),
    ("vlm_matrix_new_multiplication", (None, "m"), 1),
])
def test_none_as_either_matrix_is_a_type_error(name, args, position):
    mat = matrix(A23)
    args = [mat if a == "m" else a for a in args]
    with pytest.raises(TypeError) as info:
        getattr(velta, name)(*args)
    assert str(info.value).startswith("in method '%s', argument %d of type 'VlmMatrix *'" % (name, position))


@pytest.mark.parametrize("value", [3, "m", 1.5])
def test_non_record_is_a_type_error(value):
    with pytest.raises(TypeError) as info:
        velta.vlm_matrix_transpose(value)
    assert str(info.value) == "in method 'vlm_matrix_transpose', argument 1 of type 'VlmMatrix *'"


def test_a_vector_is_not_a_matrix():
    vec = velta.vlm_vector_new_zero(2)
    try:
        with pytest.raises(TypeError):
            velta.vlm_matrix_min(vec)
        with pytest.raises(TypeError):
            velta.vlm_matrix_new_from_vector(matrix(A23))
    finally:
        velta.vlm_vector_delete(vec)


# ---- record fields ----------------------------------------------------------------

def test_r_shape_is_an_int_pointer_into_the_record():
    mat = matrix(A23)
    ptr = _velta.VlmMatrix_r_shape_get(mat)
    assert repr(ptr).startswith("<Swig Object of type 'int *' at 0x")
    assert shape(mat) == (2, 3)
    other = matrix([[0] * 2] * 3)
    _velta.VlmMatrix_r_shape_set(mat, other.r_shape)
    assert shape(mat) == (3, 2) and mat.size == 6


def test_r_shape_set_refuses_none():
    mat = matrix(A23)
    with pytest.raises(ValueError) as info:
        _velta.VlmMatrix_r_shape_set(mat, None)
    assert str(info.value) == "invalid null reference in variable 'r_shape' of type 'int [2]'"
    assert shape(mat) == (2, 3)


def test_shape_set_through_the_field_is_guarded_like_copy_shape():
    mat = matrix(A23)
    ints = (ctypes.c_int * 2)(5, 5)
    ctypes.memmove(int(mat.r_shape), ints, ctypes.sizeof(ints))
    with pytest.raises(ValueError):
        velta.vlm_matrix_to_string(mat, 0)
    ints = (ctypes.c_int * 2)(-2, 3)
    ctypes.memmove(int(mat.r_shape), ints, ctypes.sizeof(ints))
    with pytest.raises(ValueError) as info:
        velta.vlm_matrix_print(mat, 1)
    assert str(info.value) == "the matrix shape (-2,3) is negative"


# ---- docstrings ---------------------------------------------------------------------

def test_matrix_row_multiply_col_is_not_exposed():
    assert not hasattr(_velta, "vlm_matrix_row_multiply_col")


# ---- exhausted memory -------------------------------------------------------------

_MEMORY_SCRIPT = r"""
import resource
resource.setrlimit(resource.RLIMIT_AS, (3 << 30, 3 << 30))
import velta
calls = [
    lambda: velta.vlm_matrix_new(28000, 28000),
    lambda: velta.vlm_matrix_new_zero(28000, 28000),
    lambda: velta.vlm_matrix_new_constant(28000, 28000, 1.0),
    lambda: velta.vlm_matrix_new_random(28000, 28000, 0.0, 1.0),
    lambda: velta.vlm_matrix_new_identity(28000),
    lambda: velta.vlm_matrix_new_multiplication(velta.vlm_matrix_new_zero(28000, 1),
                                                velta.vlm_matrix_new_zero(1, 28000)),
]
for call in calls:
    try:
        call()
        print("made")
    except MemoryError:
        print("MemoryError")
"""


@pytest.mark.skipif(SANITIZED, reason="the sanitizer reserves more address space than the limit")
def test_exhausted_memory_is_memory_error():
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    done = subprocess.run([sys.executable, "-c", _MEMORY_SCRIPT], env=env, capture_output=True, text=True,
                          timeout=120)
    assert (done.returncode, done.stdout) == (0, "MemoryError\n" * 6), done.stderr
