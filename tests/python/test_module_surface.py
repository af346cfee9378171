"""The contents of the extension module: every entry, the constants, the
pointer type names, the docstrings and the type stubs."""
import ast
import os
import subprocess
import sys
import tempfile
import types
import warnings
from importlib import metadata

import pytest

import _velta
import velta
from conftest import SANITIZED, owned

LIBRARY_FUNCTIONS = """
vlm_random vlm_data_delete vlm_print_integer vlm_print_double vlm_print_string
vlm_string_length_integer vlm_string_length_string vlm_string_length_double
vlm_string_from_integer vlm_string_from_double vlm_string_from_double_set
vlm_string_append_integer vlm_string_append_double vlm_print_values vlm_print_values_space
vlm_print_values_new_line
vlm_vector_new vlm_vector_new_zero vlm_vector_new_constant vlm_vector_new_random
vlm_vector_new_linspace vlm_vector_new_arange vlm_vector_new_arange_double vlm_vector_new_values
vlm_vector_new_copy vlm_vector_new_duplicate_size vlm_vector_new_from_array
vlm_vector_new_from_matrix vlm_vector_delete vlm_vector_get_item vlm_vector_set_item
vlm_vector_to_array vlm_vector_to_string vlm_vector_print vlm_vector_print_partial
vlm_vector_print_full vlm_vector_append_value vlm_vector_append_vector vlm_vector_add_by_value
vlm_vector_substract_by_value vlm_vector_multiply_by_value vlm_vector_divide_by_value
vlm_vector_change_elements_by_value vlm_vector_copy_elements vlm_vector_sin vlm_sin
vlm_vector_input_function vlm_vector_min vlm_vector_max vlm_vector_isexist vlm_vector_sort
vlm_matrix_new vlm_matrix_new_zero vlm_matrix_new_constant vlm_matrix_new_random
vlm_matrix_new_identity vlm_matrix_new_copy vlm_matrix_new_duplicate_size
vlm_matrix_new_from_vector vlm_matrix_new_from_array vlm_matrix_new_multiplication
vlm_matrix_new_extract_column vlm_matrix_new_extract_row vlm_matrix_new_extract_row_col
vlm_matrix_delete vlm_matrix_get_item vlm_matrix_set_item vlm_matrix_row_col_to_index
vlm_matrix_to_array vlm_matrix_to_string vlm_matrix_print vlm_matrix_print_partial
vlm_matrix_print_full vlm_matrix_add_by_value vlm_matrix_substract_by_value
vlm_matrix_multiply_by_value vlm_matrix_divide_by_value vlm_matrix_change_elements_by_value
vlm_matrix_copy_elements vlm_matrix_copy_shape vlm_matrix_transpose vlm_matrix_min vlm_matrix_max
vlp_figure_new vlp_subplots vlp_figure_delete vlp_set_canvas vlp_plot vlp_scatter vlp_imshow
vlp_xlim vlp_ylim vlp_set_grid vlp_set_radius vlp_set_linewidth vlp_set_color_alpha
vlp_set_color_alpha_line vlp_color_pallete_canvas_set_size vlp_color_pallete_set vlp_show
""".split()

FIELDS = {
    "s_iter": "ptr len",
    "VlmSlice": "start step stop",
    "VlmVector": "p_r_nums size",
    "VlmMatrix": "p_r_nums r_shape size",
    "VlmColor": "r g b a val size",
    "VlmPlotData": "vecx vecy",
    "VlmCoordDouble": "x y",
    "VlmCoordInt": "x y",
    "VlpCanvas": "p_r_type p_r_linewidth p_r_radius row col index grid min max p_r_vecx p_r_vecy "
                 "p_r_mat p_r_color p_r_color_outside p_r_color_pallete numOfVec",
    "VlpFigure": "row col size p_r_canvas",
}

METHODS = {
    "s_iter": "__iter__ __next__",
    "VlmVector": "__getitem__ __setitem__ __len__ __contains__ isexist min max constant random "
                 "linspace sort append __str__ printFull toNumpy toMatrix copy __iter__ __lshift__ "
                 "__ilshift__ __add__ __iadd__ __sub__ __isub__ __mul__ __imul__ __truediv__ "
                 "__itruediv__",
    "VlmMatrix": "__getitem__ __setitem__ __len__ getShape dims2index min max constant random "
                 "transpose copyShape __str__ printFull toNumpy toVector extractColumn extractRow "
                 "extractRowCol copy __iter__ __lshift__ __ilshift__ __add__ __sub__ __mul__ "
                 "__truediv__ __iadd__ __isub__ __imul__ __itruediv__ __matmul__",
    "VlpFigure": "plot scatter imshow show",
}

# Beyond the specified entries: the file export of figures and their picture
# for notebooks, the random source's seeding, the texts and named palettes of
# canvases, the window's title and size, and this thread's owned-results
# setting (behind velta.owned_results). (The static method helper of the
# generator's fast proxy mode is no entry.)
TEXTS = ["set_title", "set_xlabel", "set_ylabel", "set_label", "set_palette"]
ADDED = {"VlpFigure_savefig", "VlpFigure__repr_png_", "vlp_savefig", "vlm_random_seed",
         "VlpFigure_legend", "vlp_set_legend", "VlpFigure_set_window_title", "VlpFigure_set_window_size",
         "vlp_set_window_title", "vlp_set_window_size", "_owned_results"} | \
    {p + t for t in TEXTS for p in ("VlpFigure_", "vlp_")}


def specified_entries():
    names = ["SWIG_PyInstanceMethod_New"] + LIBRARY_FUNCTIONS
    for cls, fields in FIELDS.items():
        names += ["%s_%s_%s" % (cls, f, op) for f in fields.split() for op in ("get", "set")]
        names += [cls + "_" + m for m in METHODS.get(cls, "").split()]
        names += ["new_" + cls, "delete_" + cls, cls + "_swigregister", cls + "_swiginit"]
    return names


SPECIFIED = specified_entries()


def test_catalogue_counts():
    assert len(LIBRARY_FUNCTIONS) == len(set(LIBRARY_FUNCTIONS)) == 100
    assert sum(len(f.split()) for f in FIELDS.values()) == 42
    assert sum(len(m.split()) for m in METHODS.values()) == 65
    assert len(SPECIFIED) == len(set(SPECIFIED)) == 290


@pytest.mark.parametrize("name", SPECIFIED)
def test_entry_is_present_and_callable(name):
    assert callable(getattr(_velta, name, None)), name


def test_no_unexpected_entries():
    present = {k for k, v in vars(_velta).items() if callable(v) and not k.startswith("__")}
    assert present - set(SPECIFIED) == ADDED


def test_constants_and_module_doc():
    constants = [(k, v) for k, v in vars(_velta).items() if not callable(v) and not k.startswith("__")]
    assert constants == [("FALSE", 0), ("TRUE", 1), ("VRGB", 255), ("VLP_PLOT", 0),
                         ("VLP_SCATTER", 1), ("VLP_IMAGE", 2), ("VLP_CONTOUR", 3)]
    assert all(type(v) is int for _, v in constants)
    assert _velta.__doc__ is None


def test_installed_version_is_the_package_version():
    try:
        dist = metadata.distribution("velta")
    except metadata.PackageNotFoundError:
        dist = None
    if dist is None or os.path.realpath(dist.locate_file("velta.py")) != os.path.realpath(velta.__file__):
        pytest.skip("velta is imported from a build folder, not from an installed package")
    assert velta.__version__ == dist.version == metadata.version("velta")
    assert os.path.dirname(_velta.__file__) == os.path.dirname(velta.__file__)


def _canvas_with_series():
    fig = velta.VlpFigure(1, 1)
    m = velta.vlm_matrix_new_zero(1, 2)
    m.this.acquire()
    velta.vlm_matrix_set_item(m, 0, 1, 1.0)
    fig.imshow(0, m)
    return fig, velta.vlp_set_canvas(fig, 0)


POINTERS = {
    "s_vector *": lambda: owned(velta.vlm_vector_new_zero(1)).this,
    "s_matrix *": lambda: owned(velta.vlm_matrix_new_zero(1, 1)).this,
    "s_slice *": _velta.new_VlmSlice,
    "s_iter *": _velta.new_s_iter,
    "s_color *": _velta.new_VlmColor,
    "VlmPlotData *": _velta.new_VlmPlotData,
    "VlmCoordDouble *": _velta.new_VlmCoordDouble,
    "VlmCoordInt *": _velta.new_VlmCoordInt,
    "VlpCanvas *": _velta.new_VlpCanvas,
    "VlpFigure *": lambda: _velta.new_VlpFigure(1, 1),
    "VlmVector **": lambda: _canvas_with_series()[1].p_r_vecx,
    "VlmMatrix **": lambda: _canvas_with_series()[1].p_r_mat,
    "VlmColor **": lambda: _canvas_with_series()[1].p_r_color_pallete,
    "int *": lambda: _canvas_with_series()[1].p_r_type,
    "double *": lambda: owned(velta.vlm_vector_new_zero(1)).p_r_nums,
}


@pytest.mark.parametrize("shown", sorted(POINTERS))
def test_pointer_objects_show_their_type(shown):
    pointer = POINTERS[shown]()
    assert repr(pointer).startswith("<Swig Object of type '%s' at 0x" % shown)
    assert str(pointer) == repr(pointer)


def described(signature, *params):
    """A docstring as the generator writes it for an entry with parameters."""
    return "\n" + signature + "\n\nParameters\n----------\n" + "".join(p + "\n" for p in params) + "\n"


def overloads(*docs):
    """The docstring of an entry with several signatures, one after another."""
    return docs[0] + "".join(d[1:] for d in docs[1:])


DOCS = {
    "new_VlpFigure": "\nnew_VlpFigure(int dim1, int dim2) -> VlpFigure\n\nParameters\n----------\n"
                     "dim1: int\ndim2: int\n\n",
    "delete_VlpFigure": "delete_VlpFigure(VlpFigure self)",
    "VlpFigure_plot": "\nVlpFigure_plot(VlpFigure self, int canvas, VlmVector vecx, VlmVector vecy)\n\n"
                      "Parameters\n----------\ncanvas: int\nvecx: VlmVector *\nvecy: VlmVector *\n\n",
    "VlpFigure_imshow": "\nVlpFigure_imshow(VlpFigure self, int canvas, VlmMatrix mat)\n\n"
                        "Parameters\n----------\ncanvas: int\nmat: VlmMatrix *\n\n",
    "VlpFigure_show": "VlpFigure_show(VlpFigure self)",
    "VlpFigure_savefig": "savefig(self, target, width=800, height=600, format=None)",
    "VlpFigure__repr_png_": "_repr_png_(self) -> bytes",
    "VlpFigure_legend": "legend(self, canvas, loc='upper right', on=True)",
    "VlpFigure_set_label": described("VlpFigure_set_label(VlpFigure self, int canvas, int series, char const * text)",
        "canvas: int", "series: int", "text: char const *"),
    "vlp_set_palette": described("vlp_set_palette(VlpCanvas can, int line, char const * name) -> void *",
        "can: VlpCanvas *", "line: int", "name: char const *"),
    "vlp_savefig": "\nvlp_savefig(VlpFigure fig, char * filename, int width, int height)\n\n"
                   "Parameters\n----------\nfig: VlpFigure *\nfilename: char *\nwidth: int\nheight: int\n\n",
    "vlp_show": "\nvlp_show(VlpFigure fig)\n\nParameters\n----------\nfig: VlpFigure *\n\n",
    "VlpFigure_set_window_title": described("VlpFigure_set_window_title(VlpFigure self, char const * text)",
                                            "text: char const *"),
    "vlp_set_window_size": described("vlp_set_window_size(VlpFigure fig, int width, int height) -> void *",
                                     "fig: VlpFigure *", "width: int", "height: int"),
    "vlp_set_canvas": "\nvlp_set_canvas(VlpFigure fig, int index) -> VlpCanvas\n\nParameters\n----------\n"
                      "fig: VlpFigure *\nindex: int\n\n",
    "vlp_plot": "\nvlp_plot(VlpCanvas can, VlmVector vecx, VlmVector vecy) -> void *\n\nParameters\n"
                "----------\ncan: VlpCanvas *\nvecx: VlmVector *\nvecy: VlmVector *\n\n",
    "vlp_color_pallete_canvas_set_size":
        "\nvlp_color_pallete_canvas_set_size(VlpCanvas can, int line, int size) -> VlmColor\n\n"
        "Parameters\n----------\ncan: VlpCanvas *\nline: int\nsize: int\n\n",
    "new_VlmColor": "new_VlmColor() -> VlmColor",
    "delete_VlpCanvas": "delete_VlpCanvas(VlpCanvas self)",
    "VlmColor_r_get": "VlmColor_r_get(VlmColor self) -> int",
    "VlmColor_r_set": "\nVlmColor_r_set(VlmColor self, int r)\n\nParameters\n----------\nr: int\n\n",
    "VlpCanvas_min_get": "VlpCanvas_min_get(VlpCanvas self) -> VlmCoordDouble",
    "VlpCanvas_min_set": "\nVlpCanvas_min_set(VlpCanvas self, VlmCoordDouble min)\n\nParameters\n"
                         "----------\nmin: VlmCoordDouble *\n\n",
    "VlpCanvas_p_r_vecx_get": "VlpCanvas_p_r_vecx_get(VlpCanvas self) -> VlmVector **",
    "VlpFigure_p_r_canvas_get": "VlpFigure_p_r_canvas_get(VlpFigure self) -> VlpCanvas",
    "VlmPlotData_vecx_set": "\nVlmPlotData_vecx_set(VlmPlotData self, VlmVector vecx)\n\nParameters\n"
                            "----------\nvecx: VlmVector *\n\n",
    "VlmMatrix___getitem__": described("VlmMatrix___getitem__(VlmMatrix self, int pyrow) -> double", "pyrow: int"),
    "VlmMatrix___setitem__": described("VlmMatrix___setitem__(VlmMatrix self, int pyrow, double value)",
        "pyrow: int", "value: double"),
    "VlmMatrix___str__": "VlmMatrix___str__(VlmMatrix self) -> p_matrixString_t",
    "VlmMatrix_getShape": "VlmMatrix_getShape(VlmMatrix self)",
    "VlmMatrix_toVector": "VlmMatrix_toVector(VlmMatrix self) -> VlmVector",
    "VlmVector___getitem__": described("VlmVector___getitem__(VlmVector self, int index) -> double", "index: int"),
    "VlmVector___iter__": "VlmVector___iter__(VlmVector self) -> s_iter",
    "VlmVector___len__": "VlmVector___len__(VlmVector self) -> int",
    "VlmVector___str__": "VlmVector___str__(VlmVector self) -> p_vectorString_t",
    "VlmVector_append": overloads(
        described("VlmVector_append(VlmVector self, double val)", "val: double"),
        described("VlmVector_append(VlmVector self, VlmVector vec)", "vec: VlmVector *"),
        described("VlmVector_append(VlmVector self, double * ndarray_in)", "ndarray_in: double *"),
    ),
    "VlmVector_copy": "VlmVector_copy(VlmVector self) -> VlmVector",
    "VlmVector_isexist": described("VlmVector_isexist(VlmVector self, double val, int idx1, int idx2) -> int",
        "val: double", "idx1: int", "idx2: int"),
    "VlmVector_printFull": "VlmVector_printFull(VlmVector self)",
    "VlmVector_sort": "VlmVector_sort(VlmVector self)",
    "VlmVector_toMatrix": "VlmVector_toMatrix(VlmVector self) -> VlmMatrix",
    "VlmVector_toNumpy": "VlmVector_toNumpy(VlmVector self)",
    "delete_s_iter": "delete_s_iter(s_iter self)",
    "new_VlmMatrix": overloads(
        described("VlmMatrix(int dim)", "dim: int"),
        described("VlmMatrix(int row, int col)", "row: int", "col: int"),
        described("VlmMatrix(int row, int col, double val)", "row: int", "col: int", "val: double"),
        described("VlmMatrix(double * ndarray_in)", "ndarray_in: double *"),
        described("VlmMatrix(VlmMatrix mat_in)", "mat_in: VlmMatrix *"),
        described("VlmMatrix(VlmVector vec)", "vec: VlmVector *"),
        described("new_VlmMatrix(double * ndarray_in) -> VlmMatrix", "ndarray_in: double *"),
    ),
    "new_VlmSlice": "new_VlmSlice() -> VlmSlice",
    "new_VlmVector": overloads(
        described("VlmVector(int size)", "size: int"),
        described("VlmVector(int size, double val)", "size: int", "val: double"),
        described("new_VlmVector(double * ndarray_in) -> VlmVector", "ndarray_in: double *"),
    ),
    "s_iter___iter__": "s_iter___iter__(s_iter self) -> s_iter",
    "s_iter___next__": "s_iter___next__(s_iter self) -> double",
    "s_iter_ptr_get": "s_iter_ptr_get(s_iter self) -> double *",
    "vlm_data_delete": described("vlm_data_delete(void * __ptr)", "__ptr: void *"),
    "vlm_matrix_copy_elements": described("vlm_matrix_copy_elements(VlmMatrix src, VlmMatrix target) -> void *",
        "src: VlmMatrix *", "target: VlmMatrix *"),
    "vlm_matrix_copy_shape": described("vlm_matrix_copy_shape(VlmMatrix src, VlmMatrix target) -> void *",
        "src: VlmMatrix *", "target: VlmMatrix *"),
    "vlm_matrix_delete": described("vlm_matrix_delete(VlmMatrix mat)", "mat: VlmMatrix *"),
    "vlm_matrix_get_item": described("vlm_matrix_get_item(VlmMatrix mat, int row, int col) -> double",
        "mat: VlmMatrix *", "row: int", "col: int"),
    "vlm_matrix_min": described("vlm_matrix_min(VlmMatrix mat) -> double", "mat: VlmMatrix *"),
    "vlm_matrix_new": described("vlm_matrix_new(int row, int column) -> VlmMatrix", "row: int", "column: int"),
    "vlm_matrix_new_extract_row_col": described(
        "vlm_matrix_new_extract_row_col(VlmMatrix mat, int row1, int row2, int col1, int col2) -> VlmMatrix",
        "mat: VlmMatrix *", "row1: int", "row2: int", "col1: int", "col2: int"),
    "vlm_matrix_new_from_vector": described("vlm_matrix_new_from_vector(VlmVector vec) -> VlmMatrix",
        "vec: VlmVector *"),
    "vlm_matrix_new_identity": described("vlm_matrix_new_identity(int size) -> VlmMatrix", "size: int"),
    "vlm_matrix_new_multiplication": described(
        "vlm_matrix_new_multiplication(VlmMatrix mat1, VlmMatrix mat2) -> VlmMatrix",
        "mat1: VlmMatrix *", "mat2: VlmMatrix *"),
    "vlm_matrix_new_random": described(
        "vlm_matrix_new_random(int row, int column, double min, double max) -> VlmMatrix",
        "row: int", "column: int", "min: double", "max: double"),
    "vlm_matrix_new_zero": described("vlm_matrix_new_zero(int row, int col) -> VlmMatrix", "row: int", "col: int"),
    "vlm_matrix_print_full": described("vlm_matrix_print_full(VlmMatrix mat) -> void *", "mat: VlmMatrix *"),
    "vlm_matrix_row_col_to_index": described("vlm_matrix_row_col_to_index(VlmMatrix mat, int row, int col) -> int",
        "mat: VlmMatrix *", "row: int", "col: int"),
    "vlm_matrix_set_item": described("vlm_matrix_set_item(VlmMatrix mat, int row, int col, double val) -> void *",
        "mat: VlmMatrix *", "row: int", "col: int", "val: double"),
    "vlm_matrix_to_string": described("vlm_matrix_to_string(VlmMatrix mat, int islong) -> p_matrixString_t",
        "mat: VlmMatrix *", "islong: int"),
    "vlm_print_integer": described("vlm_print_integer(int val) -> void *", "val: int"),
    "vlm_random": described("vlm_random(double min, double max) -> double", "min: double", "max: double"),
    "vlm_string_append_integer": described(
        "vlm_string_append_integer(char * target, int val, int isInitial) -> void *",
        "target: char *", "val: int", "isInitial: int"),
    "vlm_string_from_double_set": described("vlm_string_from_double_set(char * fmt, double val) -> char *",
        "fmt: char *", "val: double"),
    "vlm_string_length_string": described("vlm_string_length_string(char * str) -> int", "str: char *"),
    "vlm_vector_append_vector": described(
        "vlm_vector_append_vector(VlmVector vec_target, VlmVector vec_another) -> void *",
        "vec_target: VlmVector *", "vec_another: VlmVector *"),
    "vlm_vector_new_from_array": described("vlm_vector_new_from_array(double * ndarray_in) -> VlmVector",
        "ndarray_in: double *"),
    "vlm_vector_new_from_matrix": described("vlm_vector_new_from_matrix(VlmMatrix mat) -> VlmVector",
        "mat: VlmMatrix *"),
    "vlm_vector_to_array": described("vlm_vector_to_array(VlmVector vec) -> void *", "vec: VlmVector *"),
}


@pytest.mark.parametrize("name", sorted(DOCS))
def test_docstrings(name):
    assert getattr(_velta, name).__doc__ == DOCS[name]


@pytest.mark.parametrize("name", LIBRARY_FUNCTIONS)
def test_library_functions_are_the_bare_entries(name):
    assert getattr(velta, name) is getattr(_velta, name)


@pytest.mark.parametrize("call,message", [
    (lambda: _velta.VlpFigure_plot(velta.VlpFigure(1, 1), 0, velta.vlm_vector_new_zero(1)),
     "VlpFigure_plot expected 4 arguments, got 3"),
    (lambda: _velta.vlp_savefig(velta.VlpFigure(1, 1), "a.png", 10),
     "vlp_savefig expected 4 arguments, got 3"),
    (lambda: _velta.new_VlpFigure(1), "new_VlpFigure expected 2 arguments, got 1"),
    (lambda: _velta.VlpFigure_plot(velta.VlpFigure(1, 1), 0.0, None, None),
     "in method 'VlpFigure_plot', argument 2 of type 'int'"),
    (lambda: _velta.VlpFigure_imshow(velta.VlpFigure(1, 1), 0, velta.vlm_vector_new_zero(1)),
     "in method 'VlpFigure_imshow', argument 3 of type 'VlmMatrix *'"),
    (lambda: _velta.vlp_plot(velta.VlpFigure(1, 1), None, None),
     "in method 'vlp_plot', argument 1 of type 'VlpCanvas *'"),
    (lambda: _velta.vlp_savefig(velta.VlpFigure(1, 1), b"a.png", 10, 10),
     "in method 'vlp_savefig', argument 2 of type 'char *'"),
])
def test_argument_messages(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


@pytest.mark.parametrize("name", ["VlpFigure_show", "VlmColor_r_get", "delete_VlmColor",
                                  "VlmColor_swigregister", "SWIG_PyInstanceMethod_New"])
def test_one_object_entries(name):
    with pytest.raises(TypeError):
        getattr(_velta, name)()


# ---- type stubs: the stub-only packages velta-stubs and _velta-stubs beside the modules

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
STUBS = {module: os.path.join(os.path.dirname(velta.__file__), module.__name__ + "-stubs", "__init__.pyi")
         for module in (velta, _velta)}
BOOKKEEPING = {"__module__", "__doc__", "__dict__", "__weakref__", "__swig_destroy__"}
MODULE_ATTRIBUTES = {"__doc__", "__file__", "__loader__", "__name__", "__package__", "__spec__",
                     "__builtins__", "__cached__"}


def public(name):
    """Names users call: no leading underscore, or Python's special names and
    IPython's display hooks."""
    return not name.startswith("_") or (name.startswith("__") and name.endswith("__")) or \
        name.startswith("_repr_")


def stub_contents(module):
    """The public names a stub defines at its top level, and per class."""
    with open(STUBS[module]) as source:
        tree = ast.parse(source.read())
    names, classes = set(), {}
    for node in tree.body:
        if isinstance(node, ast.ClassDef):
            classes[node.name] = {n.name for n in node.body if isinstance(n, ast.FunctionDef)} | \
                {n.target.id for n in node.body if isinstance(n, ast.AnnAssign)}
        if isinstance(node, (ast.ClassDef, ast.FunctionDef)):
            names.add(node.name)
        elif isinstance(node, ast.AnnAssign):
            names.add(node.target.id)
    return {n for n in names if public(n)}, classes


@pytest.mark.parametrize("module", [velta, _velta], ids=["velta", "_velta"])
def test_stubs_name_exactly_the_public_entries(module):
    names, _ = stub_contents(module)
    assert names == {n for n, v in vars(module).items()
                     if public(n) and not isinstance(v, types.ModuleType) and n not in MODULE_ATTRIBUTES}


@pytest.mark.parametrize("cls", [c for n, c in vars(velta).items() if isinstance(c, type) and public(n)],
                         ids=lambda c: c.__name__)
def test_stubs_name_exactly_the_public_members(cls):
    _, classes = stub_contents(velta)
    members = {n for n in vars(cls) if public(n)} - BOOKKEEPING
    assert {n for n in classes[cls.__name__] if public(n)} == members | {"this"}


@pytest.mark.parametrize("module", [velta, _velta], ids=["velta", "_velta"])
def test_stubs_type_every_entry(module):
    with open(STUBS[module]) as source:
        untyped = [line for line in source if "UNTYPED" in line]
    assert untyped == []


@pytest.mark.skipif(SANITIZED, reason="type checking runs no library code")
def test_examples_and_stubs_pass_strict_type_check():
    """mypy --strict (the settings in pyproject.toml) over the examples,
    which find velta through its stubs, and over the stubs themselves."""
    cache = os.path.join(tempfile.gettempdir(), "velta-mypy-cache-%d" % os.getuid())
    env = dict(os.environ, PYTHONPATH=os.path.dirname(velta.__file__))
    done = subprocess.run([sys.executable, "-m", "mypy", "--config-file", os.path.join(ROOT, "pyproject.toml"),
                           "--cache-dir", cache, os.path.join(ROOT, "examples")] + sorted(STUBS.values()),
                          capture_output=True, text=True, env=env, cwd=ROOT)
    assert done.returncode == 0, done.stdout + done.stderr


# ---- the API reference, built once with Sphinx (warnings are errors)

@pytest.fixture(scope="module")
def reference(tmp_path_factory):
    """The entries of the built reference: Sphinx's inventory of objects."""
    sys.path.insert(0, os.path.join(ROOT, "docs"))
    try:
        import reference as builder
    finally:
        del sys.path[0]
    from sphinx.util.inventory import InventoryFile
    out = str(tmp_path_factory.mktemp("reference"))
    with warnings.catch_warnings():  # Sphinx 5 and docutils 0.19 on Python 3.11 deprecate their own parts
        warnings.simplefilter("ignore", DeprecationWarning)
        assert builder.main(out) == 0
    with open(os.path.join(out, "html", "objects.inv"), "rb") as inventory:
        found = InventoryFile.load(inventory, "", os.path.join)
    return {name for kind, entries in found.items() if kind.startswith("py:") for name in entries}


@pytest.mark.skipif(SANITIZED, reason="the reference runs no library code")
def test_reference_has_an_entry_for_every_public_name(reference):
    names = {"velta." + n for n, v in vars(velta).items()
             if public(n) and not isinstance(v, types.ModuleType) and n not in MODULE_ATTRIBUTES}
    for cls in (c for n, c in vars(velta).items() if isinstance(c, type) and public(n)):
        # __init__ is the class's own entry, with its signatures
        names |= {"velta.%s.%s" % (cls.__name__, n) for n in vars(cls) if public(n)} - \
            {"velta.%s.%s" % (cls.__name__, n) for n in BOOKKEEPING | {"__init__"}}
    assert names - reference == set()
