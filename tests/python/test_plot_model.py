"""Figures, canvases, series and the plotting records, as Python sees them."""
import contextlib
import gc
import os
import weakref

import pytest

import _velta
import velta
from conftest import mat, owned, run_python, vec
from velta import (VlmColor, VlmCoordDouble, VlmCoordInt, VlmPlotData, VlpCanvas, VlpFigure,
                   vlm_matrix_new_zero)


def full_collect():
    for _ in range(3):
        gc.collect()


def kinds_of_series():
    """(name, function adding one series to canvas index i of a figure)."""
    return {
        "plot": lambda fig, i: fig.plot(i, vec(1, 2, 3), vec(4, -1, 0)),
        "scatter": lambda fig, i: fig.scatter(i, vec(1, 2, 3), vec(4, -1, 0)),
        "imshow": lambda fig, i: fig.imshow(i, mat([[1, 2, 3], [4, 5, 6]])),
    }


# ---- figure construction and the series model ----

def test_figure_grid_and_ownership():
    fig = VlpFigure(2, 3)
    assert (fig.row, fig.col, fig.size) == (2, 3, 6)
    assert fig.this.own() is True
    assert [velta.vlp_set_canvas(fig, i).numOfVec for i in range(6)] == [0] * 6
    # Canvas 4 sits in grid row 1, column 1: the fifth record of the array.
    first = int(fig.p_r_canvas.this)
    assert int(velta.vlp_set_canvas(fig, 4).this) - first == 4 * (int(velta.vlp_set_canvas(fig, 1).this) - first)

    flat = velta.vlp_subplots(2, 2)
    assert flat.this.own() is False and flat.size == 4
    velta.vlp_figure_delete(flat)


def test_plot_sets_limits_once_and_clears_grid():
    fig = VlpFigure(2, 3)
    x, y = vec(1, 2, 3), vec(4, -1, 0)
    can = velta.vlp_set_canvas(fig, 5)
    velta.vlp_set_grid(can, 1)
    fig.plot(5, x, y)
    assert can.numOfVec == 1
    assert (can.min.x, can.min.y, can.max.x, can.max.y) == (1.0, -1.0, 3.0, 4.0)
    assert can.grid == 0
    colour = can.p_r_color
    assert (colour.r, colour.g, colour.b, colour.a, colour.val, colour.size) == (0, 0, 0, 1.0, 0.0, 0)

    fig.plot(5, vec(10, 20), vec(30, 40))
    assert can.numOfVec == 2
    assert (can.min.x, can.min.y, can.max.x, can.max.y) == (1.0, -1.0, 3.0, 4.0)
    velta.vlp_set_grid(can, 1)
    fig.scatter(5, vec(0), vec(0))
    assert can.grid == 0 and can.numOfVec == 3


def test_imshow_limits_and_outline():
    fig = VlpFigure(1, 1)
    fig.imshow(0, mat([[1, 2, 3], [4, 5, 6]]))
    can = velta.vlp_set_canvas(fig, 0)
    assert (can.min.x, can.min.y, can.max.x, can.max.y) == (-0.5, -0.5, 2.5, 1.5)
    outline = can.p_r_color_outside
    assert (outline.r, outline.g, outline.b, outline.a) == (0, 0, 0, 1.0)


def test_limits_set_before_the_first_series_are_overwritten():
    fig = VlpFigure(1, 1)
    can = velta.vlp_set_canvas(fig, 0)
    velta.vlp_xlim(can, 0, 10)
    velta.vlp_ylim(can, -5, 5)
    assert (can.min.x, can.max.x, can.min.y, can.max.y) == (0.0, 10.0, -5.0, 5.0)
    fig.scatter(0, vec(2, 3), vec(7, 8))
    assert (can.min.x, can.max.x, can.min.y, can.max.y) == (2.0, 3.0, 7.0, 8.0)
    velta.vlp_xlim(can, 0, 10)
    assert (can.min.x, can.max.x) == (0.0, 10.0)


def test_colour_setters_touch_only_rgba():
    fig = VlpFigure(1, 1)
    fig.scatter(0, vec(1, 2), vec(1, 2))
    can = velta.vlp_set_canvas(fig, 0)
    can.p_r_color.val = 7.5
    can.p_r_color.size = 4
    assert velta.vlp_set_color_alpha(can, 0, 0, 0, 255, 0.5) is None
    c = can.p_r_color
    assert (c.r, c.g, c.b, c.a, c.val, c.size) == (0, 0, 255, 0.5, 7.5, 4)
    velta.vlp_set_color_alpha_line(can, 0, 10, 20, 30, 0.25)
    o = can.p_r_color_outside
    assert (o.r, o.g, o.b, o.a) == (10, 20, 30, 0.25)
    assert (c.r, c.g, c.b) == (0, 0, 255)


def test_pallete_resize_on_image_series():
    fig = VlpFigure(1, 1)
    fig.plot(0, vec(0, 1), vec(0, 1))
    fig.imshow(0, mat([[0, 1]]))
    can = velta.vlp_set_canvas(fig, 0)
    pal = velta.vlp_color_pallete_canvas_set_size(can, 1, 3)
    assert isinstance(pal, VlmColor) and pal.this.own() is False
    assert pal.size == 3
    for i, value in enumerate((0.0, 4.5, 9.0)):
        assert velta.vlp_color_pallete_set(pal, i, 255, 255, 255, 1.0, value) is None
    assert pal.val == 0.0 and pal.size == 3
    # Replacing it again releases the palette filled above (checked under ASan).
    assert velta.vlp_color_pallete_canvas_set_size(can, 1, 2).size == 2


def test_colours_handed_out_are_cleared_when_their_block_moves_or_goes():
    # Adding a series moves the per-series colour arrays; resizing a palette
    # releases the old one. Colours read before were left pointing there.
    fig = VlpFigure(1, 1)
    fig.imshow(0, mat([[0, 1]]))
    can = velta.vlp_set_canvas(fig, 0)
    kept = velta.vlp_color_pallete_canvas_set_size(can, 0, 2)
    pal, col, out = velta.vlp_color_pallete_canvas_set_size(can, 0, 3), can.p_r_color, can.p_r_color_outside
    assert int(kept.this) == 0 and int(pal.this) != 0
    fig.plot(0, vec(0, 1), vec(0, 1))
    velta.vlp_scatter(can, vec(0, 1), vec(0, 1))
    velta.vlp_color_pallete_canvas_set_size(can, 0, 4)
    for use in [lambda v: setattr(v, "g", 7), lambda v: v.g] * 3:
        for view in (pal, col, out):
            with pytest.raises(ValueError, match="the VlmColor was released"):
                use(view)
    with pytest.raises(ValueError, match="the VlmColor was released"):
        velta.vlp_color_pallete_set(pal, 0, 1, 2, 3, 1.0, 0.0)
    assert can.p_r_color.g == 0


# ---- record classes ----

RECORD_FIELDS = [
    (VlmColor, {"r": 0, "g": 0, "b": 0, "a": 0.0, "val": 0.0, "size": 0}),
    (VlmCoordDouble, {"x": 0.0, "y": 0.0}),
    (VlmCoordInt, {"x": 0, "y": 0}),
    (VlmPlotData, {"vecx": None, "vecy": None}),
    (VlpCanvas, {"row": 0, "col": 0, "index": 0, "grid": 0, "numOfVec": 0, "p_r_type": None,
                 "p_r_linewidth": None, "p_r_radius": None, "p_r_vecx": None, "p_r_vecy": None,
                 "p_r_mat": None, "p_r_color": None, "p_r_color_outside": None,
                 "p_r_color_pallete": None}),
]


@pytest.mark.parametrize("cls,fields", RECORD_FIELDS, ids=lambda p: getattr(p, "__name__", ""))
def test_records_start_zero_filled(cls, fields):
    rec = cls()
    assert rec.this.own() is True
    for name, value in fields.items():
        got = getattr(rec, name)
        assert got == value and type(got) is type(value), name


def test_canvas_limits_are_zero_coordinates():
    can = VlpCanvas()
    assert (can.min.x, can.min.y, can.max.x, can.max.y) == (0.0, 0.0, 0.0, 0.0)


@pytest.mark.parametrize("cls,field,value,stored", [
    (VlmColor, "a", 1, 1.0),
    (VlmColor, "val", -2.5, -2.5),
    (VlmColor, "r", True, 1),
    (VlmCoordInt, "y", -7, -7),
    (VlmCoordDouble, "x", 3, 3.0),
    (VlpCanvas, "numOfVec", 0, 0),
    (VlpCanvas, "grid", 2, 2),
])
def test_numeric_fields_convert(cls, field, value, stored):
    rec = cls()
    setattr(rec, field, value)
    got = getattr(rec, field)
    assert got == stored and type(got) is type(stored)


@pytest.mark.parametrize("call,exc,message", [
    (lambda: setattr(VlmColor(), "r", 1.5), TypeError, "in method 'VlmColor_r_set', argument 2 of type 'int'"),
    (lambda: setattr(VlmColor(), "size", 2**31), OverflowError,
     "in method 'VlmColor_size_set', argument 2 of type 'int'"),
    (lambda: _velta.VlmColor_a_set(VlmCoordInt(), 1.0), TypeError,
     "in method 'VlmColor_a_set', argument 1 of type 'struct s_color *'"),
    (lambda: setattr(VlmCoordDouble(), "y", "1"), TypeError,
     "in method 'VlmCoordDouble_y_set', argument 2 of type 'double'"),
    (lambda: setattr(VlpCanvas(), "min", VlmCoordInt()), TypeError,
     "in method 'VlpCanvas_min_set', argument 2 of type 'VlmCoordDouble *'"),
    (lambda: setattr(VlmPlotData(), "vecx", VlmColor()), TypeError,
     "in method 'VlmPlotData_vecx_set', argument 2 of type 'VlmVector *'"),
])
def test_field_conversion_messages(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    assert str(info.value) == message


def test_canvas_limits_write_through_and_copy():
    fig = VlpFigure(1, 1)
    fig.plot(0, vec(1, 2), vec(3, 4))
    can = velta.vlp_set_canvas(fig, 0)
    can.min.x = -1.0
    assert velta.vlp_set_canvas(fig, 0).min.x == -1.0
    point = VlmCoordDouble()
    point.x, point.y = 5.0, 6.0
    can.max = point
    point.x = 0.0  # copied, not referenced
    assert (can.max.x, can.max.y) == (5.0, 6.0)
    assert point.this.own() is True


@pytest.mark.parametrize("field", ["min", "max"])
def test_canvas_limits_refuse_none(field):
    can = VlpCanvas()
    can.min.x = 1.5
    with pytest.raises((TypeError, ValueError)):
        setattr(can, field, None)
    assert can.min.x == 1.5


def test_pointer_field_setter_disowns_value():
    pd = VlmPlotData()
    v = vec(1, 2)
    pd.vecx = v
    assert v.this.own() is False
    assert pd.vecx.this == v.this and pd.vecx.this.own() is False
    pd.vecy = None
    assert pd.vecy is None
    velta.vlm_vector_delete(v)


def test_double_pointer_field_keeps_ownership():
    fig = VlpFigure(1, 2)
    fig.plot(0, vec(1, 2), vec(3, 4))
    src = velta.vlp_set_canvas(fig, 0)
    rec = VlpCanvas()
    arr = src.p_r_vecx
    assert repr(arr).startswith("<Swig Object of type 'VlmVector **'")
    rec.p_r_vecx = arr
    assert rec.p_r_vecx == arr


@pytest.mark.parametrize("setter,value", [
    (_velta.VlmColor_r_set, 3),
    (_velta.VlmCoordDouble_x_set, 1.0),
    (_velta.VlpCanvas_numOfVec_set, 2),
    (_velta.VlmPlotData_vecx_set, "vector"),
    (_velta.VlpCanvas_p_r_color_set, "colour"),
])
def test_setter_on_none_stores_nothing(setter, value):
    if value == "vector":
        value = vec(1.0)
    elif value == "colour":
        value = VlmColor()
    assert setter(None, value) is None
    if hasattr(value, "this"):
        assert value.this.own() is True


# ---- refused arguments ----

@pytest.mark.parametrize("index", [-1, 6, 2**31 - 1])
@pytest.mark.parametrize("kind", ["plot", "scatter", "imshow", "set_canvas", "set_title", "set_xlabel",
                                  "set_ylabel", "set_label", "legend", "set_palette"])
def test_canvas_index_out_of_range(kind, index):
    fig = VlpFigure(2, 3)
    x, y, m = vec(1, 2), vec(1, 2), mat([[1, 2]])
    calls = {
        "plot": lambda: fig.plot(index, x, y),
        "scatter": lambda: fig.scatter(index, x, y),
        "imshow": lambda: fig.imshow(index, m),
        "set_canvas": lambda: velta.vlp_set_canvas(fig, index),
        "set_title": lambda: fig.set_title(index, "t"),
        "set_xlabel": lambda: fig.set_xlabel(index, "t"),
        "set_ylabel": lambda: fig.set_ylabel(index, "t"),
        "set_label": lambda: fig.set_label(index, 0, "t"),
        "legend": lambda: fig.legend(index),
        "set_palette": lambda: fig.set_palette(index, 0, "viridis"),
    }
    with pytest.raises(IndexError, match="canvas index"):
        calls[kind]()
    assert [velta.vlp_set_canvas(fig, i).numOfVec for i in range(6)] == [0] * 6


def test_empty_figure_has_no_canvas():
    fig = VlpFigure(0, 3)
    assert fig.size == 0
    with pytest.raises(IndexError):
        fig.plot(0, vec(1), vec(1))


@pytest.mark.parametrize("dims", [(-1, 2), (2, -3), (65536, 65536)])
def test_impossible_figure_sizes(dims):
    with pytest.raises(ValueError):
        VlpFigure(*dims)
    with pytest.raises(ValueError):
        velta.vlp_subplots(*dims)



def test_figure_palette_or_picture_too_large_for_memory_is_memory_error():
    # The block failed to allocate and was written through anyway. In a
    # child with bounded memory, so that the block cannot be granted.
    script = ("import os, resource\n"
              "if os.environ.get('VELTA_SANITIZED') != '1':\n"
              "    resource.setrlimit(resource.RLIMIT_AS, (4 << 30, 4 << 30))\n"
              "import velta\n"
              "fig = velta.VlpFigure(1, 1); fig.imshow(0, velta.VlmMatrix(1, 1, 0.0))\n"
              "can = velta.vlp_set_canvas(fig, 0); pal = velta.vlp_color_pallete_canvas_set_size(can, 0, 2)\n"
              "n = 2 ** 31 - 1\n"
              "for make in (lambda: velta.VlpFigure(n, 1), lambda: velta.vlp_subplots(n, 1),\n"
              "             lambda: velta.vlp_figure_new(n, 1),\n"
              "             lambda: velta.vlp_color_pallete_canvas_set_size(can, 0, n),\n"
              "             lambda: fig.savefig(os.devnull, 32767, 32767, format='png')):\n"
              "    try: make()\n"
              "    except MemoryError: print('MemoryError')\n"
              "print(pal.size)\n")
    env = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":max_allocation_size_mb=1024")
    out = run_python(script, check=False, env=env)
    # A palette that cannot be replaced stays as it was.
    assert (out.returncode, out.stdout) == (0, "MemoryError\n" * 5 + "2\n"), out.stderr[-2000:]


SERIES_SETTERS = {
    "radius": lambda can, line: velta.vlp_set_radius(can, line, 9),
    "linewidth": lambda can, line: velta.vlp_set_linewidth(can, line, 9),
    "color_alpha": lambda can, line: velta.vlp_set_color_alpha(can, line, 9, 9, 9, 0.5),
    "color_alpha_line": lambda can, line: velta.vlp_set_color_alpha_line(can, line, 9, 9, 9, 0.5),
    "pallete_size": lambda can, line: velta.vlp_color_pallete_canvas_set_size(can, line, 3),
    "label": lambda can, line: velta.vlp_set_label(can, line, "a"),
    "palette": lambda can, line: velta.vlp_set_palette(can, line, "magma"),
}


@pytest.mark.parametrize("line", [-1, 1, 100])
@pytest.mark.parametrize("setter", sorted(SERIES_SETTERS))
def test_series_number_out_of_range(setter, line):
    fig = VlpFigure(1, 1)
    fig.imshow(0, mat([[1, 2]]))
    can = velta.vlp_set_canvas(fig, 0)
    with pytest.raises(IndexError, match="series"):
        SERIES_SETTERS[setter](can, line)
    c, o = can.p_r_color, can.p_r_color_outside
    assert (c.r, c.a, o.r, o.a, can.numOfVec) == (0, 1.0, 0, 1.0, 1)


@pytest.mark.parametrize("setter", sorted(SERIES_SETTERS))
def test_series_setters_on_empty_canvas(setter):
    with pytest.raises(IndexError):
        SERIES_SETTERS[setter](VlpCanvas(), 0)


CANVAS_CHANGES = {
    "size": lambda fig, can, size: velta.vlp_color_pallete_canvas_set_size(can, 0, size),
    "named": lambda fig, can, name: velta.vlp_set_palette(can, 0, name),
    "method": lambda fig, can, name: fig.set_palette(0, 0, name),
    "legend": lambda fig, can, loc: fig.legend(0, loc),
    "vlp_legend": lambda fig, can, loc: velta.vlp_set_legend(can, 1, loc),
}


@pytest.mark.parametrize("change,kind,arg,message", [
    ("size", "plot", 3, "not an image series"), ("size", "scatter", 3, "not an image series"),
    ("size", "imshow", 0, "at least 1 entry"), ("size", "imshow", -2, "must not be negative"),
    ("named", "plot", "viridis", "not an image series"),
    ("method", "scatter", "gray", "not an image series"),
    ("named", "imshow", "jet", "unknown palette 'jet': use one of viridis, magma, inferno, plasma, cividis, "
                               "gray \\(each reversed with _r\\)"),
    ("method", "imshow", "Viridis", "unknown palette 'Viridis'"),
    ("method", "imshow", "_r", "unknown palette '_r'"),
    ("legend", "plot", "best", "unknown legend location 'best': use one of upper right, upper left, lower left, "
                               "lower right, right, center left, center right, lower center, upper center, center"),
    ("vlp_legend", "scatter", "Upper Right", "unknown legend location 'Upper Right'"),
])
def test_canvas_change_refused(change, kind, arg, message):
    fig = VlpFigure(1, 1)
    kinds_of_series()[kind](fig, 0)
    can = velta.vlp_set_canvas(fig, 0)
    with pytest.raises(ValueError, match=message):
        CANVAS_CHANGES[change](fig, can, arg)
    assert can.numOfVec == 1 and can.p_r_color_pallete is not None


@pytest.mark.parametrize("index", [-1, 3])
def test_pallete_entry_out_of_range(index):
    fig = VlpFigure(1, 1)
    fig.imshow(0, mat([[1, 2]]))
    pal = velta.vlp_color_pallete_canvas_set_size(velta.vlp_set_canvas(fig, 0), 0, 3)
    with pytest.raises(IndexError):
        velta.vlp_color_pallete_set(pal, index, 1, 1, 1, 1.0, 1.0)
    single = VlmColor()
    velta.vlp_color_pallete_set(single, 0, 1, 2, 3, 0.5, 2.0)
    assert (single.r, single.g, single.b, single.a, single.val) == (1, 2, 3, 0.5, 2.0)
    with pytest.raises(IndexError):
        velta.vlp_color_pallete_set(single, 1, 1, 1, 1, 1.0, 1.0)


BAD_XY = [((), (1.0,)), ((1.0, 2.0, 3.0), (1.0, 2.0))]


@pytest.mark.parametrize("x,y", BAD_XY)
@pytest.mark.parametrize("form", ["method", "flat"])
@pytest.mark.parametrize("kind", ["plot", "scatter"])
def test_unusable_xy_data(kind, form, x, y):
    fig = VlpFigure(1, 1)
    can = velta.vlp_set_canvas(fig, 0)
    with pytest.raises(ValueError):
        if form == "method":
            getattr(fig, kind)(0, vec(*x), vec(*y))
        else:
            getattr(velta, "vlp_" + kind)(can, vec(*x), vec(*y))
    assert can.numOfVec == 0


@pytest.mark.parametrize("shape", [(0, 0), (0, 3), (2, 0)])
def test_image_without_elements(shape):
    fig = VlpFigure(1, 1)
    can = velta.vlp_set_canvas(fig, 0)
    empty = vlm_matrix_new_zero(*shape)
    empty.this.acquire()
    with pytest.raises(ValueError):
        fig.imshow(0, empty)
    with pytest.raises(ValueError):
        velta.vlp_imshow(can, empty)
    assert can.numOfVec == 0


def test_longer_y_is_accepted():
    fig = VlpFigure(1, 1)
    fig.plot(0, vec(1, 2), vec(5, 6, -100))
    can = velta.vlp_set_canvas(fig, 0)
    assert can.numOfVec == 1 and can.max.y == 6.0 and can.min.y == -100.0


NONE_CALLS = {
    "set_canvas": lambda fig, can, x: velta.vlp_set_canvas(None, 0),
    "figure_plot": lambda fig, can, x: _velta.VlpFigure_plot(None, 0, x, x),
    "figure_show": lambda fig, can, x: _velta.VlpFigure_show(None),
    "figure_savefig": lambda fig, can, x: _velta.VlpFigure_savefig(None, "/tmp/never.png", 10, 10),
    "plot_x": lambda fig, can, x: fig.plot(0, None, x),
    "scatter_y": lambda fig, can, x: fig.scatter(0, x, None),
    "imshow_mat": lambda fig, can, x: fig.imshow(0, None),
    "vlp_plot_can": lambda fig, can, x: velta.vlp_plot(None, x, x),
    "vlp_plot_y": lambda fig, can, x: velta.vlp_plot(can, x, None),
    "vlp_imshow": lambda fig, can, x: velta.vlp_imshow(can, None),
    "xlim": lambda fig, can, x: velta.vlp_xlim(None, 0, 1),
    "grid": lambda fig, can, x: velta.vlp_set_grid(None, 1),
    "colour": lambda fig, can, x: velta.vlp_color_pallete_set(None, 0, 1, 1, 1, 1.0, 0.0),
    "pallete_size": lambda fig, can, x: velta.vlp_color_pallete_canvas_set_size(None, 0, 2),
    "show": lambda fig, can, x: velta.vlp_show(None),
    "savefig": lambda fig, can, x: velta.vlp_savefig(None, "/tmp/never.png", 10, 10),
    "window_title": lambda fig, can, x: fig.set_window_title(None),
    "vlp_window_title": lambda fig, can, x: velta.vlp_set_window_title(fig, None),
    "vlp_window_size": lambda fig, can, x: velta.vlp_set_window_size(None, 10, 10),
    "figure_delete": lambda fig, can, x: velta.vlp_figure_delete(None),
    "delete_VlpFigure": lambda fig, can, x: _velta.delete_VlpFigure(None),
    "title_text": lambda fig, can, x: fig.set_title(0, None),
    "vlp_set_xlabel": lambda fig, can, x: velta.vlp_set_xlabel(None, "x"),
    "legend_loc": lambda fig, can, x: velta.vlp_set_legend(can, 1, None),
    "palette_name": lambda fig, can, x: velta.vlp_set_palette(can, 0, None),
}


@pytest.mark.parametrize("name", sorted(NONE_CALLS))
def test_none_records_refused(name):
    fig = VlpFigure(1, 1)
    can = velta.vlp_set_canvas(fig, 0)
    with pytest.raises((TypeError, ValueError)):
        NONE_CALLS[name](fig, can, vec(1, 2))
    assert can.numOfVec == 0


def test_plain_record_delete_of_none_does_nothing():
    assert _velta.delete_VlmColor(None) is None
    assert _velta.delete_VlpCanvas(None) is None


def test_canvas_of_a_figure_cannot_be_deleted_alone():
    fig = VlpFigure(1, 2)
    with pytest.raises(ValueError):
        _velta.delete_VlpCanvas(velta.vlp_set_canvas(fig, 1))


# ---- the figure keeps what it draws ----

def _alive(refs):
    return [r() is not None for r in refs]


@pytest.mark.parametrize("form", ["method", "flat", "owned results"])
@pytest.mark.parametrize("kind", ["plot", "scatter", "imshow"])
def test_figure_keeps_its_data_alive(tmp_path, kind, form):
    # owned results: the figure and the data are made by entries that hand
    # them out unowned, owned on request
    owning = form == "owned results"
    keep = (lambda record: record) if owning else owned
    with velta.owned_results() if owning else contextlib.nullcontext():
        fig = velta.vlp_subplots(1, 2) if owning else VlpFigure(1, 2)
        if kind == "imshow":
            data = [keep(velta.vlm_matrix_new_from_array([[1.0, 2.0], [3.0, 4.0]]))]
        else:
            data = [keep(velta.vlm_vector_new_from_array([0, 1, 2])), keep(velta.vlm_vector_new_from_array([2, 0, 1]))]
    assert [d.this.own() for d in data + [fig]] == [True] * (len(data) + 1)
    refs = [weakref.ref(d) for d in data]
    if form != "flat":
        getattr(fig, kind)(1, *data)
    else:
        can = velta.vlp_set_canvas(fig, 1)
        getattr(velta, "vlp_" + kind)(can, *data)
        del can
    del data
    full_collect()
    assert _alive(refs) == [True] * len(refs)
    fig.savefig(str(tmp_path / "kept.png"), 120, 90)
    del fig
    full_collect()
    assert _alive(refs) == [False] * len(refs)


def test_canvas_keeps_its_figure_alive(tmp_path):
    fig = VlpFigure(1, 1)
    fig_ref = weakref.ref(fig)
    can = velta.vlp_set_canvas(fig, 0)
    x = vec(1, 2, 3)
    x_ref = weakref.ref(x)
    velta.vlp_scatter(can, x, x)
    limits = can.min
    colour = can.p_r_color
    del fig, x, can
    full_collect()
    assert fig_ref() is not None and x_ref() is not None
    assert (limits.x, colour.a) == (1.0, 1.0)
    fig_ref().savefig(str(tmp_path / "canvas.png"), 50, 50)
    del limits, colour
    full_collect()
    assert fig_ref() is None and x_ref() is None


def test_standalone_canvas_keeps_data_until_deleted():
    can = VlpCanvas()
    x = vec(3, 4)
    x_ref = weakref.ref(x)
    velta.vlp_plot(can, x, x)
    del x
    full_collect()
    assert x_ref() is not None and can.numOfVec == 1
    del can
    full_collect()
    assert x_ref() is None


def test_flat_figure_delete_releases_data_and_disowns():
    fig = VlpFigure(1, 1)
    x = vec(1, 2)
    x_ref = weakref.ref(x)
    fig.plot(0, x, x)
    del x
    velta.vlp_figure_delete(fig)
    assert fig.this.own() is False
    full_collect()
    assert x_ref() is None


def test_unowned_figure_keeps_data_until_deleted():
    fig = velta.vlp_subplots(1, 1)
    m = mat([[1.0, 2.0]])
    m_ref = weakref.ref(m)
    velta.vlp_imshow(velta.vlp_set_canvas(fig, 0), m)
    pointer = fig.this  # the figure is not owned: its proxy may go
    del fig, m
    full_collect()
    assert m_ref() is not None
    velta.vlp_figure_delete(pointer)
    full_collect()
    assert m_ref() is None
