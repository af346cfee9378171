/* Figures, canvases, colours and the plotting functions.
 *
 * The library borrows the vectors and matrices that a figure draws and
 * checks none of its indexes. The binding therefore keeps the Python objects
 * given to plot, scatter and imshow alive for as long as the figure (or the
 * stand-alone canvas) that draws them, refuses canvas and series numbers
 * outside the records, and refuses series that could not be drawn.
 */

/* The records kept alive, the colours handed out and the checks are
 * figures.cpp's. */

/* ---- the figure class ----
 * Features go before the %extend block that they apply to. */

VELTA_MADE(s_figure::s_figure, velta_figure_dims(arg1, arg2))

/* The series is added only when it can be drawn; the figure (or canvas)
 * then keeps the data objects alive. Series kinds, one line each: the entry
 * taking a figure and canvas number, then the one taking a canvas. */
%define VELTA_SERIES(NAME, CHECK, CANVAS)
%exception NAME {
  if ((CHECK) < 0) SWIG_fail;
  $action
  velta_canvas_note(CANVAS);
}
%enddef
%define VELTA_SERIES_XY(NAME)
VELTA_SERIES(s_figure::NAME, velta_series_xy(arg1, arg2, 0, arg3, arg4, swig_obj[2], swig_obj[3]),
             vlp_set_canvas(arg1, arg2))
VELTA_SERIES(vlp_##NAME, velta_series_xy(0, 0, arg1, arg2, arg3, swig_obj[1], swig_obj[2]), arg1)
%enddef
%define VELTA_SERIES_IMAGE(NAME)
VELTA_SERIES(s_figure::NAME, velta_series_image(arg1, arg2, 0, arg3, swig_obj[2]), vlp_set_canvas(arg1, arg2))
VELTA_SERIES(vlp_##NAME, velta_series_image(0, 0, arg1, arg2, swig_obj[1]), arg1)
%enddef
VELTA_SERIES_XY(plot)
VELTA_SERIES_XY(scatter)
VELTA_SERIES_IMAGE(imshow)

%feature("action") s_figure::show {
  if (velta_show(arg1) < 0) SWIG_fail;
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

/* Figures made: the binding learns their canvas block at once. */
%define VELTA_FIGURE_MADE(NAME)
%exception NAME {
  if (velta_figure_dims(arg1, arg2) < 0) SWIG_fail;
  $action
  if (velta_made(result) < 0 || velta_made_by(result, "$symname") < 0) SWIG_fail;
  velta_figure_known(result);
}
%enddef
VELTA_FIGURE_MADE(vlp_figure_new)
VELTA_FIGURE_MADE(vlp_subplots)

/* Released explicitly: the object passed no longer owns the figure, and the
 * data the figure drew may go. */
%exception vlp_figure_delete {
  if (velta_release(arg1, SWIGTYPE_p_s_figure, swig_obj[0]) < 0) SWIG_fail;
  $action
  velta_figure_forget(arg1);
  velta_disown_object(swig_obj[0]);
}

%exception vlp_set_canvas {
  if (velta_canvas_index(arg1, arg2) < 0) SWIG_fail;
  velta_figure_known(arg1);
  $action
}

VELTA_GUARD(vlp_set_radius, velta_series_index(arg1, arg2))
VELTA_GUARD(vlp_set_linewidth, velta_series_index(arg1, arg2))
VELTA_GUARD(vlp_set_color_alpha, velta_series_index(arg1, arg2))
VELTA_GUARD(vlp_set_color_alpha_line, velta_series_index(arg1, arg2))

%exception vlp_color_pallete_canvas_set_size {
  if (velta_pallete_resize(arg1, arg2, arg3) < 0) SWIG_fail;
  const VlmColor *replaced = arg1->p_r_color_pallete[arg2];
  int replaced_count = replaced ? (replaced->size > 1 ? replaced->size : 1) : 0;
  $action
  if (velta_made(result) < 0) SWIG_fail;
  velta_colors_moving(replaced, replaced_count);
  velta_canvas_note(arg1);
}
/* The name ends like a field setter's, but a palette must be given. */
%exception vlp_color_pallete_set {
  if (!arg1 ? velta_null_fail("vlp_color_pallete_set", 1, "VlmColor *", SWIGTYPE_p_s_color, res1 & VELTA_CLEARED) : velta_pallete_index(arg1, arg2)) SWIG_fail;
  $action
}

%feature("action") vlp_show {
  if (velta_show(arg1) < 0) SWIG_fail;
}
%feature("action") vlp_savefig {
  if (velta_savefig(arg1, arg2, arg3, arg4) < 0) SWIG_fail;
}

/* A stand-alone canvas takes the objects it kept with it. A canvas inside a
 * figure is the figure's to release. */
%exception s_canvas::~s_canvas {
  $action
  velta_canvas_release(arg1);
}

/* Results pointing into a figure or canvas keep it alive: canvases (from
 * vlp_set_canvas and VlpFigure.p_r_canvas), the per-series colours and
 * palettes, and the limits min and max. */
%typemap(ret, noblock=1) VlpCanvas *, VlmCoordDouble *, VlmColor * {
  velta_keep_parent($result, swig_obj[0]);
}

/* Pointer-field setters: the object stored gives up ownership. */
VELTA_DISOWNING_PARAM(VlmVector *vecx)
VELTA_DISOWNING_PARAM(VlmVector *vecy)
VELTA_DISOWNING_FIELD(int *p_r_type)
VELTA_DISOWNING_FIELD(int *p_r_linewidth)
VELTA_DISOWNING_FIELD(int *p_r_radius)
VELTA_DISOWNING_FIELD(VlmColor *p_r_color)
VELTA_DISOWNING_FIELD(VlmColor *p_r_color_outside)
VELTA_DISOWNING_FIELD(VlpCanvas *p_r_canvas)
VELTA_DISOWNING_FIELD(double *p_r_nums)
