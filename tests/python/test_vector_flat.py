"""Vectors through the flat library functions."""
import math
import random

import pytest

import velta
from conftest import run_python, values


@pytest.fixture
def make():
    """Builds vectors through the library and releases them after the test."""
    made = []

    def build(fn, *args):
        vec = fn(*args)
        made.append(vec)
        return vec
    yield build
    for vec in made:
        velta.vlm_vector_delete(vec)


def from_list(make, items):
    return make(velta.vlm_vector_new_values, len(items), *items)


@pytest.mark.parametrize("fn, args, expected", [
    (velta.vlm_vector_new_zero, (0,), []),
    (velta.vlm_vector_new_zero, (3,), [0.0, 0.0, 0.0]),
    (velta.vlm_vector_new_constant, (2, -1.5), [-1.5, -1.5]),
    (velta.vlm_vector_new_linspace, (0, 1, 4), [0, 0.25, 0.5, 0.75]),
    (velta.vlm_vector_new_linspace, (1, 2, 5), [(i / 5) * 1 + 1 for i in range(5)]),
    (velta.vlm_vector_new_arange, (0, 1, 3), [0, 1, 2, 3]),
    (velta.vlm_vector_new_arange, (0, 2, 5), [0, 2, 4]),
    (velta.vlm_vector_new_arange, (5, 1, 5), [5]),
    (velta.vlm_vector_new_arange, (1, 3, 0), []),
    (velta.vlm_vector_new_arange, (1, 0, 0), []),
    (velta.vlm_vector_new_arange, (2147483640, 3, 2147483647), [2147483640, 2147483643, 2147483646]),
    (velta.vlm_vector_new_arange, (-2147483648, 2147483647, 2147483647),
     [-2147483648, -1, 2147483646]),
    (velta.vlm_vector_new_arange_double, (0, 0.5, 2), [0, 0.5, 1, 1.5, 2]),
    (velta.vlm_vector_new_arange_double, (0, 0.1, 0.3), [0, 0.1, 0.2]),
    (velta.vlm_vector_new_arange_double, (1, 0.1, 1.3), [1, 1.1, 1.2]),
    (velta.vlm_vector_new_arange_double, (0, 0.1, 1.0), [k * 0.1 for k in range(11)]),
    (velta.vlm_vector_new_arange_double, (1, 0.5, 0), []),
    (velta.vlm_vector_new_arange_double, (math.nan, 1, 2), []),
    (velta.vlm_vector_new_arange_double, (1, -1.0, 0), []),
    (velta.vlm_vector_new_arange_double, (1.0, 2e-16, 1.0), [1.0]),
    (velta.vlm_vector_new_arange_double, (2.0 ** 53, 1.5, 2.0 ** 53), [9007199254740992.0]),
    (velta.vlm_vector_new_arange_double, (1e6, 1e-10, 1e6 + 1e-9), [k * 1e-10 + 1e6 for k in range(10)]),
    (velta.vlm_vector_new_values, (0, 4.0, 5.0), []),
    (velta.vlm_vector_new_values, (3, 1.0, 2, 3.5), [1.0, 2.0, 3.5]),
    (velta.vlm_vector_new_random, (4, 5, 5), [5.0] * 4),
])
def test_constructors(make, fn, args, expected):
    assert values(make(fn, *args)) == expected


def test_arange_double_keeps_product_rounding(make):
    vec = make(velta.vlm_vector_new_arange_double, 0, 0.1, 1.0)
    assert velta.vlm_vector_get_item(vec, 3) == 0.30000000000000004
    assert vec.size == 11 and values(vec)[-1] == 1.0


def test_random_draws_lie_between_the_bounds_and_vary(make):
    vec = make(velta.vlm_vector_new_random, 2000, -2.0, 3.0)
    got = values(vec)
    assert all(-2.0 <= x <= 3.0 for x in got)
    assert len(set(got)) > 100
    reversed_bounds = values(make(velta.vlm_vector_new_random, 50, 3.0, -2.0))
    assert all(-2.0 <= x <= 3.0 for x in reversed_bounds)


@pytest.mark.parametrize("fn, args", [
    (velta.vlm_vector_new, (-1,)),
    (velta.vlm_vector_new_zero, (-1,)),
    (velta.vlm_vector_new_constant, (-3, 1.0)),
    (velta.vlm_vector_new_random, (-1, 0, 1)),
    (velta.vlm_vector_new_linspace, (0, 1, -2)),
    (velta.vlm_vector_new_values, (-1,)),
    (velta.vlm_vector_new_arange, (0, 0, 3)),
    (velta.vlm_vector_new_arange, (0, -1, 3)),
    (velta.vlm_vector_new_arange, (-2147483648, 1, 2147483647)),
])
def test_constructors_refuse_what_cannot_finish(fn, args):
    with pytest.raises(ValueError):
        fn(*args)


@pytest.mark.parametrize("args, message", [
    ((0, 0.0, 1), "arange step must be positive, got 0"),
    ((0, -0.5, 1), "arange step must be positive, got -0.5"),
    ((0, -2.5e-7, 1), "arange step must be positive, got -2.5e-07"),
    ((0, math.nan, 1), "arange step must be positive, got nan"),
    ((0, 1, math.inf), "arange bounds must be finite"),
    ((-1.7e308, math.inf, 1.7e308), "arange step must be finite"),
    ((1e20, 1.0, 2e20), "arange step 1 is too small for the bounds"),
    ((1e300, 2.5e-7, 2e300), "arange step 2.5e-07 is too small for the bounds"),
    ((0, 1e-300, 1), "arange would make more than 2147483647 elements"),
    ((0, 1e-9, 3), "arange would make more than 2147483647 elements"),
])
def test_arange_double_refusal_names_its_cause(args, message):
    with pytest.raises(ValueError, match="^%s$" % message):
        velta.vlm_vector_new_arange_double(*args)


def test_variadic_constructor_needs_its_values():
    with pytest.raises(TypeError):
        velta.vlm_vector_new_values()
    with pytest.raises(TypeError, match="expected 3 values"):
        velta.vlm_vector_new_values(3, 1.0, 2.0)
    with pytest.raises(TypeError, match="argument 3 of type 'double'"):
        velta.vlm_vector_new_values(2, 1.0, "x")


def test_item_access_and_its_limits(make):
    vec = from_list(make, [1.0, 2.0, 3.0])
    velta.vlm_vector_set_item(vec, 1, 9.5)
    velta.vlm_vector_set_item(vec, 3, 7.0)  # at the size: nothing changes
    velta.vlm_vector_set_item(vec, 2 ** 31 - 1, 7.0)
    assert values(vec) == [1.0, 9.5, 3.0]
    for bad in (-1, 3, 2 ** 31 - 1, -(2 ** 31)):
        with pytest.raises(IndexError):
            velta.vlm_vector_get_item(vec, bad)
    with pytest.raises(IndexError):
        velta.vlm_vector_set_item(vec, -1, 0.0)
    assert values(vec) == [1.0, 9.5, 3.0]


@pytest.mark.parametrize("op, val, expected", [
    (velta.vlm_vector_add_by_value, 1.5, [2.5, 0.5, 1.5]),
    (velta.vlm_vector_substract_by_value, 1.0, [0.0, -2.0, -1.0]),
    (velta.vlm_vector_multiply_by_value, -2, [-2.0, 2.0, -0.0]),
    (velta.vlm_vector_change_elements_by_value, 4.0, [4.0, 4.0, 4.0]),
])
def test_in_place_scalar_operations(make, op, val, expected):
    vec = from_list(make, [1.0, -1.0, 0.0])
    assert op(vec, val) is None
    assert values(vec) == expected


def test_division_by_zero_follows_ieee(make):
    vec = from_list(make, [1.0, -1.0, 0.0])
    velta.vlm_vector_divide_by_value(vec, 0.0)
    got = values(vec)
    assert got[0] == math.inf and got[1] == -math.inf and math.isnan(got[2])


def test_sine(make):
    vec = from_list(make, [0.0, 1.0, -2.5])
    velta.vlm_vector_sin(vec)
    assert values(vec) == [math.sin(0.0), math.sin(1.0), math.sin(-2.5)]
    velta.vlm_sin(vec.p_r_nums)
    assert values(vec)[0] == math.sin(math.sin(0.0))


def test_input_function_refuses_python_callables(make):
    vec = from_list(make, [1.0])
    for fn in (lambda p: None, velta.vlm_sin, print):
        with pytest.raises(TypeError) as info:
            velta.vlm_vector_input_function(vec, fn)
        assert str(info.value) == \
            "in method 'vlm_vector_input_function', argument 2 of type 'void (*)(double *)'"


def test_append(make):
    vec = from_list(make, [1.0, 2.0])
    velta.vlm_vector_append_vector(vec, vec)
    assert values(vec) == [1.0, 2.0, 1.0, 2.0]
    velta.vlm_vector_append_value(vec, -3.0)
    other = from_list(make, [8.0])
    velta.vlm_vector_append_vector(vec, other)
    assert values(vec) == [1.0, 2.0, 1.0, 2.0, -3.0, 8.0]
    assert values(other) == [8.0]
    empty = make(velta.vlm_vector_new_zero, 0)
    velta.vlm_vector_append_vector(empty, empty)
    assert empty.size == 0


def test_copies(make):
    src = from_list(make, [1.0, 2.0, 3.0])
    four = make(velta.vlm_vector_new_zero, 4)
    velta.vlm_vector_copy_elements(src, four)
    assert values(four) == [0.0] * 4
    three = make(velta.vlm_vector_new_zero, 3)
    velta.vlm_vector_copy_elements(src, three)
    assert values(three) == [1.0, 2.0, 3.0]
    copy = make(velta.vlm_vector_new_copy, src)
    velta.vlm_vector_set_item(src, 0, 5.0)
    assert values(copy) == [1.0, 2.0, 3.0]
    assert make(velta.vlm_vector_new_duplicate_size, src).size == 3


@pytest.mark.parametrize("items, lo, hi", [
    ([math.nan, 1.0], math.nan, math.nan),
    ([1.0, math.nan], 1.0, 1.0),
    ([3.0, -2.0, 7.0, 0.5], -2.0, 7.0),
    ([4.0], 4.0, 4.0),
])
def test_min_max(make, items, lo, hi):
    vec = from_list(make, items)
    for fn, want in ((velta.vlm_vector_min, lo), (velta.vlm_vector_max, hi)):
        got = fn(vec)
        assert (math.isnan(got) and math.isnan(want)) or got == want


def test_min_max_of_an_empty_vector(make):
    vec = make(velta.vlm_vector_new_zero, 0)
    for fn in (velta.vlm_vector_min, velta.vlm_vector_max):
        with pytest.raises(ValueError):
            fn(vec)


@pytest.mark.parametrize("idx1, idx2, val, found", [
    (0, 2, 3.0, 1), (0, 1, 3.0, 0), (2, 0, 3.0, 0), (2, -5, 1.0, 0), (0, 2, -0.0, 0),
    (1, 1, 2.0, 1), (0, 2, math.nan, 0),
])
def test_isexist(make, idx1, idx2, val, found):
    vec = from_list(make, [1.0, 2.0, 3.0])
    assert velta.vlm_vector_isexist(vec, idx1, idx2, val) == found


def test_isexist_zero_signs_and_limits(make):
    vec = from_list(make, [0.0, math.nan])
    assert velta.vlm_vector_isexist(vec, 0, 1, -0.0) == 1
    assert velta.vlm_vector_isexist(vec, 0, 1, math.nan) == 0
    for a, b in ((-1, 1), (0, 2), (1, 5)):
        with pytest.raises(IndexError):
            velta.vlm_vector_isexist(vec, a, b, 0.0)


def _key(x):
    return (math.isnan(x), 0.0 if math.isnan(x) else x)


@pytest.mark.parametrize("items", [
    [], [1.0], [3.0, 1.0, 2.0], [-0.5, 7.0, 2.25, -3.0],
    [2.0, 1.0, 2.0, 1.0, 2.0],
    [math.nan, 1.0, math.inf, -math.inf, math.nan, 0.0],
    [random.Random(7).uniform(-1e6, 1e6) for _ in range(1001)],
    [float(random.Random(8).randint(0, 9)) for _ in range(500)],
])
def test_sort_is_ascending_keeps_repeats_and_puts_nan_last(make, items):
    vec = from_list(make, items)
    velta.vlm_vector_sort(vec)
    got = values(vec)
    want = sorted(items, key=_key)
    assert [_key(x) for x in got] == [_key(x) for x in want]


def test_random_source_is_seeded_once_per_process():
    out = run_python("import velta\n"
                     "print([velta.vlm_random(0, 32767) for _ in range(8)])\n")
    # Reseeding from the clock at every draw would repeat one value within a second.
    assert len(set(eval(out.stdout))) > 1
