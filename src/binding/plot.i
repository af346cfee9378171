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
 * then keeps the data objects alive. Series kinds, one line each, for the
 * library entry vlp_NAME: the figure method NAME taking a canvas number, and
 * the checks of both. */
%define VELTA_SERIES(NAME, CHECK, CANVAS)
%exception NAME {
  VELTA_IN_USE
  if ((CHECK) < 0) SWIG_fail;
  $action
  velta_canvas_note(CANVAS);
}
%enddef
%define VELTA_SERIES_XY(NAME)
VELTA_SERIES(s_figure::NAME, velta_series_xy(arg1, arg2, 0, arg3, arg4, swig_obj[2], swig_obj[3]),
             vlp_set_canvas(arg1, arg2))
VELTA_SERIES(vlp_##NAME, velta_series_xy(0, 0, arg1, arg2, arg3, swig_obj[1], swig_obj[2]), arg1)
%extend s_figure {
  void NAME(int canvas, VlmVector *vecx, VlmVector *vecy) {
    vlp_##NAME(vlp_set_canvas($self, canvas), vecx, vecy);
  }
}
%enddef
%define VELTA_SERIES_IMAGE(NAME)
VELTA_SERIES(s_figure::NAME, velta_series_image(arg1, arg2, 0, arg3, swig_obj[2]), vlp_set_canvas(arg1, arg2))
VELTA_SERIES(vlp_##NAME, velta_series_image(0, 0, arg1, arg2, swig_obj[1]), arg1)
%extend s_figure {
  void NAME(int canvas, VlmMatrix *mat) {
    vlp_##NAME(vlp_set_canvas($self, canvas), mat);
  }
}
%enddef
VELTA_SERIES_XY(plot)
VELTA_SERIES_XY(scatter)
VELTA_SERIES_IMAGE(imshow)

/* The window's title and size live beside the record, not in its fields;
 * a title that cannot be copied raises MemoryError. */
%ignore s_figure::p_window;
VELTA_MEMORY2(vlp_set_window_title, s_figure::set_window_title, 0)
VELTA_MEMORY2(vlp_set_window_size, s_figure::set_window_size, velta_window_size(arg2, arg3))

%feature("action") s_figure::show {
  if (velta_show(arg1) < 0) SWIG_fail;
}
%feature("kwargs") s_figure::savefig;
%feature("autodoc", "savefig(self, target, width=800, height=600, format=None)") s_figure::savefig;
%feature("autodoc", "_repr_png_(self) -> bytes") s_figure::_repr_png_;

/* Entries that replace the palette of series LINE of CANVAS: pointer
 * objects into the old one are cleared, and the canvas's palettes noted. */
%define VELTA_PALLETE_REPLACED(NAME, CHECK, CANVAS, LINE)
%exception NAME {
  VELTA_IN_USE
  if ((CHECK) < 0) SWIG_fail;
  const VlmColor *replaced = (CANVAS)->p_r_color_pallete[LINE];
  int replaced_count = replaced ? (replaced->size > 1 ? replaced->size : 1) : 0;
  $action
  if (velta_made((CANVAS)->p_r_color_pallete[LINE] != replaced ? (CANVAS) : 0) < 0) SWIG_fail;
  velta_colors_moving(replaced, replaced_count);
  velta_canvas_note(CANVAS);
}
%enddef

/* Texts of a canvas and named palettes (figure_text.cpp checks them). */
VELTA_PALLETE_REPLACED(s_figure::set_palette, velta_figure_palette(arg1, arg2, arg3, arg4),
                       (&arg1->p_r_canvas[arg2]), arg3)
VELTA_GUARD(s_figure::set_title, velta_canvas_index(arg1, arg2))
VELTA_GUARD(s_figure::set_xlabel, velta_canvas_index(arg1, arg2))
VELTA_GUARD(s_figure::set_ylabel, velta_canvas_index(arg1, arg2))
VELTA_GUARD(s_figure::set_label, velta_figure_series(arg1, arg2, arg3))
VELTA_GUARD(s_figure::legend, velta_figure_legend(arg1, arg2, arg3))
%feature("kwargs") s_figure::legend;
%feature("autodoc", "legend(self, canvas, loc='upper right', on=True)") s_figure::legend;


%extend s_figure {
  s_figure(int dim1, int dim2) { return vlp_subplots(dim1, dim2); }
  ~s_figure() { vlp_figure_delete($self); }
  void show() {
    vlp_show($self);
  }
  void set_window_title(const char *text) { vlp_set_window_title($self, text); }
  void set_window_size(int width, int height) { vlp_set_window_size($self, width, height); }
  PyObject *savefig(PyObject *target, int width = 800, int height = 600, PyObject *format = Py_None) {
    return velta_figure_savefig($self, target, width, height, format);
  }
  PyObject *_repr_png_() { return velta_figure_png($self); }
  void set_title(int canvas, const char *text) { vlp_set_title(vlp_set_canvas($self, canvas), text); }
  void set_xlabel(int canvas, const char *text) { vlp_set_xlabel(vlp_set_canvas($self, canvas), text); }
  void set_ylabel(int canvas, const char *text) { vlp_set_ylabel(vlp_set_canvas($self, canvas), text); }
  void set_label(int canvas, int series, const char *text) {
    vlp_set_label(vlp_set_canvas($self, canvas), series, text);
  }
  void legend(int canvas, const char *loc = "upper right", int on = 1) {
    vlp_set_legend(vlp_set_canvas($self, canvas), on, loc);
  }
  void set_palette(int canvas, int series, const char *name) {
    vlp_set_palette(vlp_set_canvas($self, canvas), series, name);
  }
}

/* ---- the flat plotting functions ---- */

VELTA_MADE(vlp_figure_new, velta_figure_dims(arg1, arg2))
VELTA_MADE(vlp_subplots, velta_figure_dims(arg1, arg2))

/* Released explicitly: the object passed no longer owns the figure, and the
 * data the figure drew may go. */
%exception vlp_figure_delete {
  VELTA_IN_USE
  if (velta_release(arg1, velta_type(VELTA_T_FIGURE), swig_obj[0]) < 0) SWIG_fail;
  $action
  velta_set_owned(swig_obj[0], 0);
}

VELTA_GUARD(vlp_set_canvas, velta_canvas_index(arg1, arg2))

VELTA_GUARD(vlp_set_radius, velta_series_index(arg1, arg2))
VELTA_GUARD(vlp_set_linewidth, velta_series_index(arg1, arg2))
VELTA_GUARD(vlp_set_color_alpha, velta_series_index(arg1, arg2))
VELTA_GUARD(vlp_set_color_alpha_line, velta_series_index(arg1, arg2))

VELTA_PALLETE_REPLACED(vlp_color_pallete_canvas_set_size, velta_pallete_resize(arg1, arg2, arg3), arg1, arg2)
VELTA_PALLETE_REPLACED(vlp_set_palette, velta_palette_named(arg1, arg2, arg3), arg1, arg2)
VELTA_GUARD(vlp_set_label, velta_series_index(arg1, arg2))
VELTA_GUARD(vlp_set_legend, velta_legend_loc_known(arg3))
/* The canvas's texts are its own, freed with it; Python does not see them. */
%ignore s_canvas::p_labels;
/* The name ends like a field setter's, but a palette must be given. */
%exception vlp_color_pallete_set {
  VELTA_IN_USE
  if (!arg1 ? velta_null_fail("vlp_color_pallete_set", 1, "VlmColor *", velta_type(VELTA_T_COLOR), res1 & VELTA_CLEARED) : velta_pallete_index(arg1, arg2)) SWIG_fail;
  $action
}

%feature("action") vlp_show {
  if (velta_show(arg1) < 0) SWIG_fail;
}
%feature("action") vlp_savefig {
  if (velta_savefig(arg1, swig_obj[1], arg3, arg4) < 0) SWIG_fail;  // the path object, NUL and all
}

/* A canvas's texts are freed with it (a canvas inside a figure is the
 * figure's to release, refused before this). */
%exception s_canvas::~s_canvas {
  VELTA_IN_USE
  vlp_canvas_labels_delete(arg1);
  $action
}

/* Results pointing into a figure or canvas keep it alive: canvases (from
 * vlp_set_canvas and VlpFigure.p_r_canvas), the per-series colours and
 * palettes, and the limits min and max. */
%typemap(ret, noblock=1) VlpCanvas *, VlmCoordDouble *, VlmColor * {
  velta_keep_parent($result, swig_obj[0]);
}

/* Pointer-field setters: the object stored gives up ownership. */
VELTA_DISOWNING(VlmVector *vecx, 0) VELTA_DISOWNING(VlmVector *vecy, 0)
VELTA_DISOWNING(int *p_r_type, 1) VELTA_DISOWNING(int *p_r_linewidth, 1) VELTA_DISOWNING(int *p_r_radius, 1)
VELTA_DISOWNING(VlmColor *p_r_color, 1) VELTA_DISOWNING(VlmColor *p_r_color_outside, 1)
VELTA_DISOWNING(VlpCanvas *p_r_canvas, 1) VELTA_DISOWNING(double *p_r_nums, 1)
