"""Console printing and number-to-text functions, as Python reaches them.

The library writes through C stdio, so output is read with capfd (file
descriptor capture) and compared whole.
"""
import math
import random
import struct

import pytest

import velta


# ---- single values ---------------------------------------------------------

@pytest.mark.parametrize("call, out", [
    (lambda: velta.vlm_print_integer(0), "0\n"),
    (lambda: velta.vlm_print_integer(-2147483648), "-2147483648\n"),
    (lambda: velta.vlm_print_integer(True), "1\n"),
    (lambda: velta.vlm_print_double(2.5), "2.500000\n"),
    (lambda: velta.vlm_print_double(-0.0), "-0.000000\n"),
    (lambda: velta.vlm_print_double(7), "7.000000\n"),
    (lambda: velta.vlm_print_double(float("inf")), "inf\n"),
    (lambda: velta.vlm_print_string(""), "\n"),
    (lambda: velta.vlm_print_string("grüße %d %s"), "grüße %d %s\n"),
])
def test_single_value_prints(capfd, call, out):
    assert call() is None
    assert capfd.readouterr().out == out


@pytest.mark.parametrize("call, exc, msg", [
    (lambda: velta.vlm_print_integer(1.0), TypeError, "in method 'vlm_print_integer', argument 1 of type 'int'"),
    (lambda: velta.vlm_print_integer(2**31), OverflowError, "in method 'vlm_print_integer', argument 1 of type 'int'"),
    (lambda: velta.vlm_print_double("1"), TypeError, "in method 'vlm_print_double', argument 1 of type 'double'"),
    (lambda: velta.vlm_print_string(b"ab"), TypeError, "in method 'vlm_print_string', argument 1 of type 'char *'"),
    (lambda: velta.vlm_print_string("\udc80"), TypeError, "in method 'vlm_print_string', argument 1 of type 'char *'"),
    (lambda: velta.vlm_string_length_string(b"abc"), TypeError,
     "in method 'vlm_string_length_string', argument 1 of type 'char *'"),
    (lambda: velta.vlm_string_from_double_set("%f"), TypeError, "vlm_string_from_double_set expected 2 arguments, got 1"),
])
def test_argument_refusals(capfd, call, exc, msg):
    with pytest.raises(exc) as info:
        call()
    assert str(info.value) == msg
    assert capfd.readouterr().out == ""


@pytest.mark.parametrize("func", [velta.vlm_print_string, velta.vlm_string_length_string])
def test_null_text_is_refused(capfd, func):
    with pytest.raises(TypeError):
        func(None)
    assert capfd.readouterr().out == ""


# ---- lengths and number texts ------------------------------------------------

@pytest.mark.parametrize("val, length", [(0, 2), (-15, 4), (7, 2), (2147483647, 11), (-2147483648, 12)])
def test_length_integer_counts_the_terminator(val, length):
    assert velta.vlm_string_length_integer(val) == length
    assert velta.vlm_string_from_integer(val) == str(val)


@pytest.mark.parametrize("text, length", [("", 0), ("abc", 3), ("é", 2), ("a b\tc", 5)])
def test_length_string_counts_utf8_bytes(text, length):
    assert velta.vlm_string_length_string(text) == length


@pytest.mark.parametrize("val, text", [
    (1.0, "1.000000"), (0.1234567, "0.123457"), (-1, "-1.000000"), (2.5, "2.500000"),
    (-0.25, "-0.250000"), (1234.5, "1234.500000"), (0.0000005, "0.000000"), (0.0000015, "0.000002"),
])
def test_from_double_examples(val, text):
    assert velta.vlm_string_from_double(val) == text
    assert velta.vlm_string_length_double(val) == len(text)


def _special_values():
    vals = [0.0, -0.0, 1e300, -1e300, 1.7976931348623157e308, -1.7976931348623157e308, 5e-324, -5e-324,
            2.0**63, 2.0**63 - 1024, 2.0**64, 2.0**53 + 1, 9007199254740993.0, 0.5, 1.5, 2.5,
            0.0000005, 0.0000025, 0.1, 123456.7890125, 1e15 + 0.3, 4.35, 1e-7, 999999.9999995,
            float("inf"), float("-inf")]
    vals += [k / 2**20 for k in range(-40, 40)]  # exact halfway cases at the sixth decimal
    rng = random.Random(20240501)
    for _ in range(3000):
        x = struct.unpack("<d", struct.pack("<Q", rng.getrandbits(64)))[0]
        if not math.isnan(x):
            vals.append(x)
    for _ in range(2000):
        vals.append(rng.uniform(-1e6, 1e6))
    return vals


def test_number_text_matches_printf_f():
    """Every double's text is what "%f" gives in the C locale (Python's %-format
    follows the same rounding on the exact binary value)."""
    wrong = [(x, velta.vlm_string_from_double(x), "%f" % x) for x in _special_values()
             if velta.vlm_string_from_double(x) != "%f" % x
             or velta.vlm_string_length_double(x) != len("%f" % x)]
    assert wrong == []


def test_nan_text_keeps_the_sign_as_printf_does():
    nan = float("nan")
    assert velta.vlm_string_from_double(math.copysign(nan, 1.0)) == "nan"
    assert velta.vlm_string_from_double(math.copysign(nan, -1.0)) == "-nan"
    assert velta.vlm_string_length_double(math.copysign(nan, -1.0)) == 4


@pytest.mark.parametrize("fmt, val, text", [
    ("%.1f", 2.26, "2.3"), ("%.2f", 10, "10.00"), ("%f", 0.1234567, "0.123457"),
    ("%e", 12345.678, "1.234568e+04"), ("%+08.2f", 3.14159, "+0003.14"), ("%g", 1e-5, "1e-05"),
    ("%a", 1.0, "0x1p+0"), ("%lf", 1.5, "1.500000"), ("%.2f%%", 12.345, "12.35%"),
    ("x=%-6.1Fy", 2.0, "x=2.0   y"), ("%%%E%%", 0.5, "%5.000000E-01%"), ("%.1f", float("-inf"), "-inf"),
    ("%400.1f", 1.0, " " * 397 + "1.0"),
])
def test_from_double_set_formats(fmt, val, text):
    assert velta.vlm_string_from_double_set(fmt, val) == text


def test_from_double_set_f_equals_from_double():
    for x in (0.0, -3.75, 1e300, 123.4567891):
        assert velta.vlm_string_from_double_set("%f", x) == velta.vlm_string_from_double(x)


@pytest.mark.parametrize("fmt", ["", "abc", "%d", "%s", "%n", "%p", "%x", "%c", "%f%f", "%f %e", "%*f", "%.*f",
                                 "%%f", "%Lf", "%hf", "%", "%5", "ab%", "%f%", "%99999999999f", "%.99999999999f",
                                 "%1$f"])
def test_from_double_set_refuses_other_formats(fmt):
    with pytest.raises(ValueError) as info:
        velta.vlm_string_from_double_set(fmt, 1.0)
    assert str(info.value) == (
        "in method 'vlm_string_from_double_set', argument 1: the format must hold exactly one double "
        "conversion (%f, %F, %e, %E, %g, %G, %a or %A), got '" + fmt + "'")


# ---- append ------------------------------------------------------------------

@pytest.mark.parametrize("func, val", [
    (velta.vlm_string_append_integer, 7), (velta.vlm_string_append_integer, -2147483648),
    (velta.vlm_string_append_double, -1.7976931348623157e308), (velta.vlm_string_append_double, 5e-324),
    (velta.vlm_string_append_double, float("nan")),
])
@pytest.mark.parametrize("target", ["", "abc", "x" * 1000, "é" * 7])
@pytest.mark.parametrize("initial", [0, 1, 2])
def test_append_stays_inside_its_buffer(func, val, target, initial):
    # The longest number texts appended to targets of every kind: the
    # sanitizer build catches any write past the temporary.
    assert func(target, val, initial) is None


@pytest.mark.parametrize("func", [velta.vlm_string_append_integer, velta.vlm_string_append_double])
@pytest.mark.parametrize("target, exc", [(None, TypeError), (b"abc", TypeError), (3, TypeError),
                                         ("\udc80", TypeError)])
def test_append_refuses_targets(func, target, exc):
    with pytest.raises(exc) as info:
        func(target, 1, 0)
    assert str(info.value).startswith("in method '%s', argument 1 of type 'char *'" % func.__name__)


# ---- value lists -------------------------------------------------------------

@pytest.mark.parametrize("call, out", [
    (lambda: velta.vlm_print_values_space("dfs", 3, 2.5, "ab"), "3 2.500000 ab \n"),
    (lambda: velta.vlm_print_values_new_line("dd", 1, 2), "1\n2\n "),
    (lambda: velta.vlm_print_values(", ", ";", "d-d", 1, 2), "1, 2, ;"),
    (lambda: velta.vlm_print_values_space(""), "\n"),
    (lambda: velta.vlm_print_values_space("", 5), "\n"),
    (lambda: velta.vlm_print_values_space("d", 5, "surplus", None), "5 \n"),
    (lambda: velta.vlm_print_values_new_line(""), " "),
    (lambda: velta.vlm_print_values_new_line(" -x?", 1, 2), " "),
    (lambda: velta.vlm_print_values("<", ">", "", 1), ">"),
    (lambda: velta.vlm_print_values("", "", "cccc", 118, 101, 108, 0x74), "velt"),
    (lambda: velta.vlm_print_values("|", "\n", "fdf", 1, -2, float("-inf")), "1.000000|-2|-inf|\n"),
    (lambda: velta.vlm_print_values("", "", "s s", "%d%n", "€"), "%d%n€"),
    (lambda: velta.vlm_print_values_space("dd", True, 2147483647), "1 2147483647 \n"),
])
def test_value_lists(capfd, call, out):
    assert call() is None
    assert capfd.readouterr().out == out


@pytest.mark.parametrize("args, exc, msg", [
    (("d",), TypeError, "vlm_print_values_space expected 1 value after the format, got 0"),
    (("ddf", 1, 2), TypeError, "vlm_print_values_space expected 3 values after the format, got 2"),
    (("d", 1.5), TypeError, "in method 'vlm_print_values_space', argument 2 of type 'int' (value for 'd' of the format)"),
    (("c", "a"), TypeError, "in method 'vlm_print_values_space', argument 2 of type 'int' (value for 'c' of the format)"),
    (("df", 1, "2"), TypeError,
     "in method 'vlm_print_values_space', argument 3 of type 'double' (value for 'f' of the format)"),
    (("s", 3), TypeError, "in method 'vlm_print_values_space', argument 2 of type 'char *' (value for 's' of the format)"),
    (("s", b"ab"), TypeError,
     "in method 'vlm_print_values_space', argument 2 of type 'char *' (value for 's' of the format)"),
    (("s", "\udc80"), TypeError,
     "in method 'vlm_print_values_space', argument 2 of type 'char *' (value for 's' of the format)"),
    (("d", 2**31), OverflowError,
     "in method 'vlm_print_values_space', argument 2 of type 'int' (value for 'd' of the format)"),
    ((), TypeError, "vlm_print_values_space expected 1 argument, got 0"),
    ((5,), TypeError, "in method 'vlm_print_values_space', argument 1 of type 'char *'"),
])
def test_value_list_refusals_print_nothing(capfd, args, exc, msg):
    with pytest.raises(exc) as info:
        velta.vlm_print_values_space(*args)
    assert str(info.value) == msg
    assert capfd.readouterr().out == ""


def test_print_values_counts_values_after_its_three_fixed_arguments(capfd):
    with pytest.raises(TypeError) as info:
        velta.vlm_print_values(",", ".", "dd", 1)
    assert str(info.value) == "vlm_print_values expected 2 values after the format, got 1"
    with pytest.raises(TypeError) as info:
        velta.vlm_print_values(",", ".", "d", "x")
    assert str(info.value) == "in method 'vlm_print_values', argument 4 of type 'int' (value for 'd' of the format)"
    with pytest.raises(TypeError) as info:
        velta.vlm_print_values(",", ".")
    assert str(info.value) == "vlm_print_values expected 3 arguments, got 2"
    assert capfd.readouterr().out == ""
