/* Checks of the entries that set the texts of a canvas (title, axis and
 * series labels, legend) and give an image series a named palette. */
#include "binding.h"

int velta_figure_series(const VlpFigure *fig, int canvas, int line) {
  if (velta_canvas_index(fig, canvas) < 0)
    return -1;
  return velta_series_index(&fig->p_r_canvas[canvas], line);
}

int velta_legend_loc_known(const char *loc) {
  if (vlp_legend_loc(loc) >= 0)
    return 0;
  PyErr_Format(PyExc_ValueError, "unknown legend location '%s': use one of %s", loc, vlp_legend_locs());
  return -1;
}

int velta_figure_legend(const VlpFigure *fig, int canvas, const char *loc) {
  return velta_canvas_index(fig, canvas) < 0 ? -1 : velta_legend_loc_known(loc);
}

/* An image series whose matrix can still be drawn (its values spread the
 * palette), and a name the library knows. */
int velta_palette_named(const VlpCanvas *can, int line, const char *name) {
  if (velta_pallete_resize(can, line, 1) < 0 || velta_matrix_usable(can->p_r_mat[line]) < 0)
    return -1;
  if (vlp_palette_known(name))
    return 0;
  PyErr_Format(PyExc_ValueError, "unknown palette '%s': use one of %s", name, vlp_palette_names());
  return -1;
}

int velta_figure_palette(const VlpFigure *fig, int canvas, int line, const char *name) {
  return velta_canvas_index(fig, canvas) < 0 ? -1 : velta_palette_named(&fig->p_r_canvas[canvas], line, name);
}
