"""Text forms of vectors and matrices: every rule of the abbreviation table,
the worked examples, and the print functions (read from the C stdout)."""
import pytest

import velta


def vector(vals):
    vec = velta.vlm_vector_new_values(len(vals), *vals)
    vec.this.acquire()
    return vec


def matrix(rows, cols, fill=None):
    """A rows x cols matrix; element (i, j) is fill(i, j), by default i*10+j+1."""
    fill = fill or (lambda i, j: i * 10 + j + 1)
    mat = velta.vlm_matrix_new_zero(rows, cols)
    mat.this.acquire()
    for i in range(rows):
        for j in range(cols):
            velta.vlm_matrix_set_item(mat, i, j, fill(i, j))
    return mat


def f(x):
    return "%f" % x


# ---- vectors -----------------------------------------------------------------

@pytest.mark.parametrize("n, islong, text", [
    (0, 0, "0 []\n"),
    (0, 1, "0 []\n"),
    (0, 7, "0 []\n"),
    (3, 0, "3 [1.000000, 2.000000, 3.000000]\n"),
    (5, 0, "5 [1.000000, 2.000000, 3.000000, 4.000000, 5.000000]\n"),
    (5, 2, "5 [1.000000, 2.000000, 3.000000, 4.000000, 5.000000]\n"),
    (5, -1, "5 [1.000000, 2.000000, 3.000000, 4.000000, 5.000000]\n"),
    (6, 0, "6 [1.000000, 2.000000, 3.000000, 4.000000,..., 6.000000]\n"),
    (6, 2, "6 [1.000000, 2.000000, 3.000000, 4.000000,..., 6.000000]\n"),
    (6, 1, "6 [1.000000, 2.000000, 3.000000, 4.000000, 5.000000, 6.000000]\n"),
    (10, 0, "10 [1.000000, 2.000000, 3.000000, 4.000000,..., 10.000000]\n"),
    (10, -5, "10 [1.000000, 2.000000, 3.000000, 4.000000,..., 10.000000]\n"),
    (10, 1, "10 [" + ", ".join(f(k) for k in range(1, 11)) + "]\n"),
])
def test_vector_text(n, islong, text):
    vec = vector([float(k) for k in range(1, n + 1)])
    assert velta.vlm_vector_to_string(vec, islong) == text


def test_vector_ten_values_from_zero():
    vec = vector([float(k) for k in range(10)])
    assert velta.vlm_vector_to_string(vec, 0) == "10 [0.000000, 1.000000, 2.000000, 3.000000,..., 9.000000]\n"


@pytest.mark.parametrize("call, islong", [
    (velta.vlm_vector_print_partial, 0), (velta.vlm_vector_print_full, 1),
    (lambda v: velta.vlm_vector_print(v, 3), 3),
])
def test_vector_prints_write_the_text(capfd, call, islong):
    vec = vector([0.5 * k - 7 for k in range(100)])
    assert call(vec) is None
    assert capfd.readouterr().out == velta.vlm_vector_to_string(vec, islong)


def test_vector_print_full_writes_one_line_of_100_elements(capfd):
    vec = vector([float(k) for k in range(100)])
    velta.vlm_vector_print_full(vec)
    assert capfd.readouterr().out == "100 [" + ", ".join(f(k) for k in range(100)) + "]\n"


# ---- matrices: worked examples -------------------------------------------------

IDENTITY_7 = (
    "shape (7,7)\n"
    "[1.000000, 0.000000, 0.000000, 0.000000,..., 0.000000]\n"
    "[0.000000, 1.000000, 0.000000, 0.000000,..., 0.000000]\n"
    "[0.000000, 0.000000, 1.000000, 0.000000,..., 0.000000]\n"
    "[0.000000, 0.000000, 0.000000, 1.000000,..., 0.000000]\n"
    "\t...\n"
    "[0.000000, 0.000000, 0.000000, 0.000000,..., 1.000000]\n"
)


def test_identity_7_partial(capfd):
    mat = velta.vlm_matrix_new_identity(7)
    mat.this.acquire()
    assert velta.vlm_matrix_to_string(mat, 0) == IDENTITY_7
    velta.vlm_matrix_print_partial(mat)
    assert capfd.readouterr().out == IDENTITY_7


@pytest.mark.parametrize("islong", [0, 1, 2, -3])
def test_two_by_three_is_written_whole(islong):
    mat = matrix(2, 3, lambda i, j: i * 3 + j + 1)
    assert velta.vlm_matrix_to_string(mat, islong) == (
        "shape (2,3)\n[1.000000, 2.000000, 3.000000]\n[4.000000, 5.000000, 6.000000]\n")


@pytest.mark.parametrize("rows, cols, text", [
    (0, 0, "shape (0,0)\n"),
    (0, 4, "shape (0,4)\n"),
    (3, 0, "shape (3,0)\n[]\n[]\n[]\n"),
])
@pytest.mark.parametrize("islong", [0, 1, 2])
def test_empty_matrices(rows, cols, text, islong):
    assert velta.vlm_matrix_to_string(matrix(rows, cols), islong) == text


def test_six_by_three_partial_and_other():
    mat = matrix(6, 3, lambda i, j: i * 3 + j + 1)
    assert velta.vlm_matrix_to_string(mat, 0) == (
        "shape (6,3)\n"
        "[1.000000, 2.000000, 3.000000]\n"
        "[4.000000, 5.000000, 6.000000]\n"
        "[7.000000, 8.000000, 9.000000]\n"
        "[10.000000, 11.000000, 12.000000]\n"
        "\t...\n"
        "[16.000000, 17.000000, 18.000000]\n")
    # Short rows abbreviated repeat their last value.
    assert velta.vlm_matrix_to_string(mat, 2) == (
        "shape (6,3)\n"
        "[1.000000, 2.000000, 3.000000, 3.000000]\n"
        "[4.000000, 5.000000, 6.000000, 6.000000]\n"
        "[7.000000, 8.000000, 9.000000, 9.000000]\n"
        "[10.000000, 11.000000, 12.000000, 12.000000]\n"
        "\t...\n"
        "[16.000000, 17.000000, 18.000000, 18.000000]\n")


def test_five_by_six_partial_and_other():
    mat = matrix(5, 6, lambda i, j: i * 6 + j)
    rows = ["[%s, %s, %s, %s,..., %s]\n" % tuple(f(i * 6 + j) for j in (0, 1, 2, 3, 5)) for i in range(5)]
    assert velta.vlm_matrix_to_string(mat, 0) == "shape (5,6)\n" + "".join(rows)
    # islong 2: rows 0..3, the marker line (nothing is left out), then row 4.
    assert velta.vlm_matrix_to_string(mat, 2) == "shape (5,6)\n" + "".join(rows[:4]) + "\t...\n" + rows[4]


def test_six_by_two_partial():
    mat = matrix(6, 2, lambda i, j: -1.5 * (i * 2 + j))
    rows = ["[%s, %s]\n" % (f(-1.5 * (i * 2)), f(-1.5 * (i * 2 + 1))) for i in range(6)]
    assert velta.vlm_matrix_to_string(mat, 0) == "shape (6,2)\n" + "".join(rows[:4]) + "\t...\n" + rows[5]
    assert velta.vlm_matrix_to_string(mat, 1) == "shape (6,2)\n" + "".join(rows)


def test_six_by_six_partial():
    mat = matrix(6, 6)
    rows = {i: "[%s, %s, %s, %s,..., %s]\n" % tuple(f(i * 10 + j + 1) for j in (0, 1, 2, 3, 5)) for i in range(6)}
    expected = "shape (6,6)\n" + rows[0] + rows[1] + rows[2] + rows[3] + "\t...\n" + rows[5]
    assert velta.vlm_matrix_to_string(mat, 0) == expected
    assert velta.vlm_matrix_to_string(mat, 4) == expected


# ---- matrices: the whole table --------------------------------------------------

def _run(vals, abbreviated):
    """The abbreviated or full sequence rule, written from its description."""
    if not abbreviated:
        return ", ".join(f(x) for x in vals)
    out = ""
    n = len(vals)
    for j in range(n):
        if j <= 3:
            out += f(vals[j]) + (", " if j < 3 else ",..., ")
        if j == n - 1:
            out += f(vals[j])
    return out


def _expected(rows, cols, islong, fill):
    if islong == 1:
        row_abbr = col_abbr = False
    elif islong == 0:
        row_abbr, col_abbr = rows > 5, cols > 5
    else:
        row_abbr = col_abbr = rows > 5 or cols > 5
    text = "shape (%d,%d)\n" % (rows, cols)
    for i in range(rows):
        if row_abbr and not (i <= 3 or i == rows - 1):
            continue
        text += "[" + _run([fill(i, j) for j in range(cols)], col_abbr) + "]\n"
        if row_abbr and i == 3:
            text += "\t...\n"
    return text


@pytest.mark.parametrize("rows", [1, 2, 4, 5, 6, 9])
@pytest.mark.parametrize("cols", [1, 3, 4, 5, 6, 11])
@pytest.mark.parametrize("islong", [0, 1, 2, -1])
def test_table_of_row_and_column_rules(rows, cols, islong):
    fill = lambda i, j: (i - 2) * 1000.25 + j * -0.5  # noqa: E731
    mat = matrix(rows, cols, fill)
    assert velta.vlm_matrix_to_string(mat, islong) == _expected(rows, cols, islong, fill)


@pytest.mark.parametrize("call, islong", [
    (velta.vlm_matrix_print_partial, 0), (velta.vlm_matrix_print_full, 1),
    (lambda m: velta.vlm_matrix_print(m, 2), 2), (lambda m: velta.vlm_matrix_print(m, 0), 0),
])
def test_matrix_prints_write_the_text(capfd, call, islong):
    mat = matrix(8, 7, lambda i, j: (i - 4) * 1e10 / 3 + j)
    assert call(mat) is None
    assert capfd.readouterr().out == velta.vlm_matrix_to_string(mat, islong)


def test_large_magnitudes_and_specials_are_written_by_f():
    vals = [1e300, -1e-300, float("inf"), -0.0, 123456789.125]
    mat = matrix(1, 5, lambda i, j: vals[j])
    assert velta.vlm_matrix_to_string(mat, 0) == "shape (1,5)\n[" + ", ".join("%f" % x for x in vals) + "]\n"


def test_text_is_a_snapshot():
    mat = matrix(2, 2)
    text = velta.vlm_matrix_to_string(mat, 0)
    velta.vlm_matrix_set_item(mat, 0, 0, 99.0)
    assert text == "shape (2,2)\n[1.000000, 2.000000]\n[11.000000, 12.000000]\n"
    assert velta.vlm_matrix_to_string(mat, 0).startswith("shape (2,2)\n[99.000000")


# ---- records whose shape and size disagree ---------------------------------------

@pytest.mark.parametrize("call", [
    lambda m: velta.vlm_matrix_to_string(m, 0), lambda m: velta.vlm_matrix_to_string(m, 1),
    lambda m: velta.vlm_matrix_print(m, 2), velta.vlm_matrix_print_partial, velta.vlm_matrix_print_full,
])
def test_shape_larger_than_block_is_refused(capfd, call):
    big, small = matrix(3, 3), matrix(2, 2)
    velta.vlm_matrix_copy_shape(big, small)
    with pytest.raises(ValueError) as info:
        call(small)
    assert str(info.value) == "the matrix shape (3,3) describes more elements than its size 4"
    assert capfd.readouterr().out == ""


def test_shape_smaller_than_block_reads_the_start():
    wide, target = matrix(1, 3), matrix(2, 2)
    velta.vlm_matrix_copy_shape(wide, target)
    assert velta.vlm_matrix_to_string(target, 1) == "shape (1,3)\n[1.000000, 2.000000, 11.000000]\n"


@pytest.mark.parametrize("func", [velta.vlm_matrix_to_string, velta.vlm_matrix_print])
def test_none_matrix_is_refused(func):
    with pytest.raises(TypeError):
        func(None, 0)
