/* Figures, canvases, colours and the plotting functions.
 *
 * The library borrows the vectors and matrices that a figure draws and
 * checks none of its indexes. The binding therefore keeps the Python objects
 * given to plot, scatter and imshow alive for as long as the figure (or the
 * stand-alone canvas) that draws them, refuses canvas and series numbers
 * outside the records, and refuses series that could not be drawn.
 */

%{
#include "figure_io.h"
#include <map>
#include <vector>
#include <stdint.h>

/* ---- objects kept alive by figures and canvases ----
 *
 * Keyed by the first byte of a block of canvases: the canvas array of a
 * figure, or a single canvas made on its own. Each entry holds a Python list
 * of the objects that the canvases of the block draw. A figure's entry goes
 * when the figure is released; a stand-alone canvas's entry when the canvas
 * record is released. */
namespace {
struct VeltaKept {
  uintptr_t end;          /* one past the last byte of the block */
  const VlpFigure *fig;   /* the figure owning the block, or null */
  PyObject *objects;      /* list, made at the first series */
};
std::map<uintptr_t, VeltaKept> velta_kept;

/* Removes every entry for which drop() holds, releasing the lists only after
 * the map is consistent again: a release may run arbitrary finalisers. */
template <typename Pred>
void velta_kept_erase_if(Pred drop) {
  std::vector<PyObject *> lists;
  for (auto it = velta_kept.begin(); it != velta_kept.end();) {
    if (drop(it->first, it->second)) {
      lists.push_back(it->second.objects);
      it = velta_kept.erase(it);
    } else {
      ++it;
    }
  }
  for (PyObject *list : lists)
    Py_XDECREF(list);
}
}  // namespace

/* Makes the figure's canvas array known; called whenever a figure is made
 * or used, since its canvas array may have been replaced through the field. */
static void velta_figure_known(const VlpFigure *fig) {
  uintptr_t begin = (uintptr_t)fig->p_r_canvas;
  uintptr_t end = begin + (fig->size > 0 ? (uintptr_t)fig->size : 0) * sizeof(VlpCanvas);
  auto it = velta_kept.find(begin);
  if (it != velta_kept.end() && it->second.fig == fig && it->second.end == end)
    return;
  PyObject *objects = 0;
  /* The same figure with another block keeps its objects; entries left
   * behind by records released outside the binding are dropped. */
  for (auto &entry : velta_kept) {
    if (entry.second.fig == fig && !objects) {
      objects = entry.second.objects;
      entry.second.objects = 0;
    }
  }
  velta_kept_erase_if([&](uintptr_t b, const VeltaKept &k) {
    return k.fig == fig || (b < end && begin < k.end) || b == begin;
  });
  velta_kept[begin] = VeltaKept{end, fig, objects};
}

static void velta_figure_forget(const VlpFigure *fig) {
  velta_kept_erase_if([&](uintptr_t, const VeltaKept &k) { return k.fig == fig; });
}

static void velta_canvas_forget(const VlpCanvas *can) {
  uintptr_t begin = (uintptr_t)can;
  velta_kept_erase_if([&](uintptr_t b, const VeltaKept &k) { return b == begin && !k.fig; });
}

/* The entry whose block holds the canvas, or null. */
static VeltaKept *velta_kept_find(const VlpCanvas *can) {
  uintptr_t addr = (uintptr_t)can;
  auto it = velta_kept.upper_bound(addr);
  if (it == velta_kept.begin())
    return 0;
  --it;
  return addr < it->second.end ? &it->second : 0;
}

/* Keeps a and b (either may be null) alive as long as the block that holds
 * the canvas. A canvas outside every known figure is a block of its own. */
static int velta_keep(const VlpCanvas *can, PyObject *a, PyObject *b) {
  VeltaKept *kept = velta_kept_find(can);
  if (!kept) {
    uintptr_t begin = (uintptr_t)can;
    kept = &(velta_kept[begin] = VeltaKept{begin + sizeof(VlpCanvas), 0, 0});
  }
  if (!kept->objects && !(kept->objects = PyList_New(0)))
    return -1;
  if (a && PyList_Append(kept->objects, a) < 0)
    return -1;
  if (b && PyList_Append(kept->objects, b) < 0)
    return -1;
  return 0;
}

/* A result that points into another record keeps that record's Python
 * object alive: a canvas its figure, a colour or a limit its canvas. */
static void velta_keep_parent(PyObject *result, PyObject *parent) {
  if (!result || result == Py_None || !parent || parent == Py_None)
    return;
  if (PyObject_SetAttrString(result, "_velta_parent", parent) < 0)
    PyErr_Clear(); /* a bare pointer object has no attributes */
}

/* ---- colours handed out ----
 * A colour read from a canvas (p_r_color, p_r_color_outside) points into the
 * canvas's per-series array, which adding a series moves; a palette from
 * vlp_color_pallete_canvas_set_size is released when that series' palette
 * is resized again. The pointer objects handed out are listed by the block
 * they point into and cleared to null (then refused, or ignored by field
 * setters) before the block moves or goes. Objects no one else holds are
 * dropped from the lists as they grow. */
static std::map<const void *, std::vector<PyObject *>> velta_views;

static void velta_view_note(PyObject *result, const void *block) {
  SwigPyObject *sobj = result ? SWIG_Python_GetSwigThis(result) : 0;
  if (!sobj || !block)
    return;
  std::vector<PyObject *> &list = velta_views[block];
  for (size_t i = list.size(); i-- > 0;) {
    if (Py_REFCNT(list[i]) == 1) {
      Py_DECREF(list[i]);
      list.erase(list.begin() + i);
    }
  }
  Py_INCREF((PyObject *)sobj);
  list.push_back((PyObject *)sobj);
}

static void velta_views_clear(const void *block) {
  auto it = velta_views.find(block);
  if (!block || it == velta_views.end())
    return;
  std::vector<PyObject *> list;
  list.swap(it->second);
  velta_views.erase(it);
  for (PyObject *obj : list) {
    ((SwigPyObject *)obj)->ptr = 0;
    Py_DECREF(obj);
  }
}

/* Before a series is added to the canvas. */
static void velta_series_arrays_moving(const VlpCanvas *can) {
  if (can->numOfVec > 0) {
    velta_views_clear(can->p_r_color);
    velta_views_clear(can->p_r_color_outside);
  }
}

/* ---- checks ---- */

static int velta_figure_dims(int row, int col) {
  if (row < 0 || col < 0) {
    PyErr_Format(PyExc_ValueError, "a figure needs a non-negative number of rows and columns, got %d x %d",
                 row, col);
    return -1;
  }
  if ((long long)row * col > INT_MAX) {
    PyErr_Format(PyExc_ValueError, "a figure of %d x %d canvases is too large", row, col);
    return -1;
  }
  return 0;
}

static int velta_canvas_index(const VlpFigure *fig, int index) {
  if (index < 0 || index >= fig->size) {
    PyErr_Format(PyExc_IndexError, "canvas index %d is out of range for a figure of %d canvases", index,
                 fig->size);
    return -1;
  }
  return 0;
}

static int velta_series_index(const VlpCanvas *can, int line) {
  if (line < 0 || line >= can->numOfVec) {
    PyErr_Format(PyExc_IndexError, "series %d is out of range for a canvas of %d series", line,
                 can->numOfVec);
    return -1;
  }
  return 0;
}

/* Drawing walks the x vector and reads as many y values. */
static int velta_xy_usable(const VlmVector *vecx, const VlmVector *vecy) {
  if (vecx->size < 1) {
    PyErr_SetString(PyExc_ValueError, "the x vector of a series must not be empty");
    return -1;
  }
  if (vecy->size < vecx->size) {
    PyErr_Format(PyExc_ValueError, "the y vector has %d elements, fewer than the %d of the x vector",
                 vecy->size, vecx->size);
    return -1;
  }
  return 0;
}

static int velta_matrix_usable(const VlmMatrix *mat) {
  if (mat->size < 1 || mat->r_shape[0] < 1 || mat->r_shape[1] < 1) {
    PyErr_SetString(PyExc_ValueError, "a matrix without elements cannot be shown");
    return -1;
  }
  return 0;
}

/* Only image series hold a palette, and a palette has at least one entry. */
static int velta_pallete_resize(const VlpCanvas *can, int line, int size) {
  if (velta_series_index(can, line) < 0)
    return -1;
  if (can->p_r_type[line] != VLP_IMAGE) {
    PyErr_Format(PyExc_ValueError, "series %d is not an image series: only image series hold a palette",
                 line);
    return -1;
  }
  if (size < 1) {
    PyErr_Format(PyExc_ValueError, "a palette needs at least 1 entry, got %d", size);
    return -1;
  }
  return 0;
}

/* Entry 0 of a palette carries the entry count; a single colour has none. */
static int velta_pallete_index(const VlmColor *clr, int index) {
  int count = clr->size > 1 ? clr->size : 1;
  if (index < 0 || index >= count) {
    PyErr_Format(PyExc_IndexError, "palette index %d is out of range for a palette of %d entries", index,
                 count);
    return -1;
  }
  return 0;
}

/* ---- window and file export ---- */

static int velta_show(VlpFigure *fig) {
  if (vlp_show_checked(fig) < 0) {
    PyErr_SetString(PyExc_RuntimeError, "cannot show the figure: no display could be opened");
    return -1;
  }
  return 0;
}

static int velta_savefig(VlpFigure *fig, const char *filename, int width, int height) {
  if (width < 1 || height < 1) {
    PyErr_Format(PyExc_ValueError, "width and height must be at least 1, got %d x %d", width, height);
    return -1;
  }
  switch (vlp_savefig(fig, filename, width, height)) {
    case VLP_SAVEFIG_OK:
      return 0;
    case VLP_SAVEFIG_BAD_EXTENSION:
      PyErr_Format(PyExc_ValueError, "cannot tell the format of '%s': use .png, .svg or .pdf", filename);
      return -1;
    case VLP_SAVEFIG_BAD_SIZE:
      PyErr_Format(PyExc_ValueError, "width and height must be at least 1, got %d x %d", width, height);
      return -1;
    default:
      PyErr_Format(PyExc_OSError, "cannot write '%s'", filename);
      return -1;
  }
}
%}

/* ---- the figure class ----
 * Features go before the %extend block that they apply to. */

%exception s_figure::s_figure {
  if (velta_figure_dims(arg1, arg2) < 0) SWIG_fail;
  $action
  if (velta_made(result) < 0) SWIG_fail;
}

/* The series is added only when it can be drawn; the figure then keeps the
 * data objects (swig_obj[2], swig_obj[3]) alive. */
%define VELTA_SERIES_XY(NAME)
%exception s_figure::NAME {
  if (velta_canvas_index(arg1, arg2) < 0 || velta_xy_usable(arg3, arg4) < 0) SWIG_fail;
  velta_figure_known(arg1);
  if (velta_keep(vlp_set_canvas(arg1, arg2), swig_obj[2], swig_obj[3]) < 0) SWIG_fail;
  velta_series_arrays_moving(vlp_set_canvas(arg1, arg2));
  $action
}
%exception vlp_##NAME {
  if (velta_xy_usable(arg2, arg3) < 0) SWIG_fail;
  if (velta_keep(arg1, swig_obj[1], swig_obj[2]) < 0) SWIG_fail;
  velta_series_arrays_moving(arg1);
  $action
}
%enddef
VELTA_SERIES_XY(plot)
VELTA_SERIES_XY(scatter)

%exception s_figure::imshow {
  if (velta_canvas_index(arg1, arg2) < 0 || velta_matrix_usable(arg3) < 0) SWIG_fail;
  velta_figure_known(arg1);
  if (velta_keep(vlp_set_canvas(arg1, arg2), swig_obj[2], 0) < 0) SWIG_fail;
  velta_series_arrays_moving(vlp_set_canvas(arg1, arg2));
  $action
}
%exception vlp_imshow {
  if (velta_matrix_usable(arg2) < 0) SWIG_fail;
  if (velta_keep(arg1, swig_obj[1], 0) < 0) SWIG_fail;
  velta_series_arrays_moving(arg1);
  $action
}

%feature("action") s_figure::show {
  if (velta_show_figure(arg1) < 0) SWIG_fail;
}
%feature("kwargs") s_figure::savefig;
%feature("autodoc", "savefig(self, target, width=800, height=600, format=None)") s_figure::savefig;
%feature("autodoc", "_repr_png_(self) -> bytes") s_figure::_repr_png_;


%extend s_figure {
  s_figure(int dim1, int dim2) {
    VlpFigure *fig = vlp_subplots(dim1, dim2);
    if (fig)
      velta_figure_known(fig);
    return fig;
  }
  ~s_figure() {
    vlp_figure_delete($self);
    velta_figure_forget($self);
  }
  void plot(int canvas, VlmVector *vecx, VlmVector *vecy) {
    vlp_plot(vlp_set_canvas($self, canvas), vecx, vecy);
  }
  void scatter(int canvas, VlmVector *vecx, VlmVector *vecy) {
    vlp_scatter(vlp_set_canvas($self, canvas), vecx, vecy);
  }
  void imshow(int canvas, VlmMatrix *mat) {
    vlp_imshow(vlp_set_canvas($self, canvas), mat);
  }
  void show() {
    vlp_show($self);
  }
  PyObject *savefig(PyObject *target, int width = 800, int height = 600, PyObject *format = Py_None) {
    return velta_figure_savefig($self, target, width, height, format);
  }
  PyObject *_repr_png_() { return velta_figure_png($self); }
}

/* ---- the flat plotting functions ---- */

%exception vlp_figure_new {
  if (velta_figure_dims(arg1, arg2) < 0) SWIG_fail;
  $action
  if (velta_made(result) < 0) SWIG_fail;
  velta_figure_known(result);
}
%exception vlp_subplots {
  if (velta_figure_dims(arg1, arg2) < 0) SWIG_fail;
  $action
  if (velta_made(result) < 0) SWIG_fail;
  velta_figure_known(result);
}

/* Released explicitly: the object passed no longer owns the figure, and the
 * data the figure drew may go. */
%exception vlp_figure_delete {
  $action
  velta_figure_forget(arg1);
  velta_disown_object(swig_obj[0]);
}

%exception vlp_set_canvas {
  if (velta_canvas_index(arg1, arg2) < 0) SWIG_fail;
  velta_figure_known(arg1);
  $action
}

%define VELTA_PER_SERIES(NAME)
%exception NAME {
  if (velta_series_index(arg1, arg2) < 0) SWIG_fail;
  $action
}
%enddef
VELTA_PER_SERIES(vlp_set_radius)
VELTA_PER_SERIES(vlp_set_linewidth)
VELTA_PER_SERIES(vlp_set_color_alpha)
VELTA_PER_SERIES(vlp_set_color_alpha_line)

%exception vlp_color_pallete_canvas_set_size {
  if (velta_pallete_resize(arg1, arg2, arg3) < 0) SWIG_fail;
  const VlmColor *replaced = arg1->p_r_color_pallete[arg2];
  $action
  if (velta_made(result) < 0) SWIG_fail;
  velta_views_clear(replaced);
}
/* The name ends like a field setter's, but a palette must be given. */
%exception vlp_color_pallete_set {
  if (!arg1) VELTA_NULL_FAIL("vlp_color_pallete_set", 1, "VlmColor *");
  if (velta_pallete_index(arg1, arg2) < 0) SWIG_fail;
  $action
}

%feature("action") vlp_show {
  if (velta_show_figure(arg1) < 0) SWIG_fail;
}
%feature("action") vlp_savefig {
  if (velta_savefig_path(arg1, arg2, arg3, arg4) < 0) SWIG_fail;
}

/* A stand-alone canvas takes the objects it kept with it. A canvas inside a
 * figure is the figure's to release. */
%exception s_canvas::~s_canvas {
  if (arg1) {
    VeltaKept *kept = velta_kept_find(arg1);
    if (kept && kept->fig) {
      PyErr_SetString(PyExc_ValueError, "the canvas belongs to a figure and is released with it");
      SWIG_fail;
    }
    velta_canvas_forget(arg1);
  }
  $action
}

/* Results pointing into a figure or canvas keep it alive: canvases (from
 * vlp_set_canvas and VlpFigure.p_r_canvas), the per-series colours and
 * palettes, and the limits min and max. */
%typemap(ret, noblock=1) VlpCanvas *, VlmCoordDouble * {
  velta_keep_parent($result, swig_obj[0]);
}
%typemap(ret, noblock=1) VlmColor * {
  velta_keep_parent($result, swig_obj[0]);
  velta_view_note($result, result);
}

/* Pointer-field setters: the object stored gives up ownership. */
VELTA_DISOWNING_FIELD(VlmVector *vecx)
VELTA_DISOWNING_FIELD(VlmVector *vecy)
VELTA_DISOWNING_FIELD(int *p_r_type)
VELTA_DISOWNING_FIELD(int *p_r_linewidth)
VELTA_DISOWNING_FIELD(int *p_r_radius)
VELTA_DISOWNING_FIELD(VlmColor *p_r_color)
VELTA_DISOWNING_FIELD(VlmColor *p_r_color_outside)
VELTA_DISOWNING_FIELD(VlpCanvas *p_r_canvas)
VELTA_DISOWNING_FIELD(double *p_r_nums)

/* ---- pointer type names ----
 * The text form of a pointer object shows the last of its type names. */
%init %{
  {
    static const struct {
      swig_type_info **type;
      const char *names;
    } velta_type_names[] = {
      {&SWIGTYPE_p_s_vector, "struct s_vector *|VlmVector *|s_vector *"},
      {&SWIGTYPE_p_s_matrix, "struct s_matrix *|VlmMatrix *|s_matrix *"},
      {&SWIGTYPE_p_s_slice, "struct s_slice *|VlmSlice *|s_slice *"},
      {&SWIGTYPE_p_s_iter, "struct s_iter *|s_iter *"},
      {&SWIGTYPE_p_s_color, "struct s_color *|VlmColor *|s_color *"},
      {&SWIGTYPE_p_s_plot_data, "struct s_plot_data *|s_plot_data *|VlmPlotData *"},
      {&SWIGTYPE_p_s_coord_double, "struct s_coord_double *|s_coord_double *|VlmCoordDouble *"},
      {&SWIGTYPE_p_s_coord_int, "struct s_coord_int *|s_coord_int *|VlmCoordInt *"},
      {&SWIGTYPE_p_s_canvas, "struct s_canvas *|s_canvas *|VlpCanvas *"},
      {&SWIGTYPE_p_s_figure, "struct s_figure *|s_figure *|VlpFigure *"},
      {&SWIGTYPE_p_p_s_vector, "struct s_vector **|VlmVector **"},
      {&SWIGTYPE_p_p_s_matrix, "struct s_matrix **|VlmMatrix **"},
      {&SWIGTYPE_p_p_s_color, "struct s_color **|VlmColor **"},
      {&SWIGTYPE_p_e_canvas_type, "enum e_canvas_type *|VlpCanvasType *"},
    };
    for (size_t i = 0; i < sizeof(velta_type_names) / sizeof(velta_type_names[0]); ++i)
      (*velta_type_names[i].type)->str = velta_type_names[i].names;
  }
%}
