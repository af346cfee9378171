/* Figures, canvases and colours: the objects a figure keeps alive, the
 * colours handed out, the checks of the plotting functions, the window and
 * file export.
 *
 * The library borrows the vectors and matrices that a figure draws and
 * checks none of its indexes. The binding therefore keeps the Python objects
 * given to plot, scatter and imshow alive for as long as the figure (or the
 * stand-alone canvas) that draws them, refuses canvas and series numbers
 * outside the records, and refuses series that could not be drawn. */
#include "ledger.h"

#include <limits.h>
#include <stdint.h>

/* Keeps obj, the object of the record rec, alive with a lease of rec as
 * long as the canvas's drawer (its figure, or the stand-alone canvas): rec
 * cannot be released or grown while drawn. Runs no Python code (the lease
 * keeps the pointer object the running call resolved). */
int velta_keep(const VlpCanvas *can, PyObject *obj, const void *rec) {
  const VeltaType *row = 0;
  const void *figure = velta_ledger_owner(can, &row);
  PyObject *lease = velta_lend(rec, obj, 1);
  int rc = lease ? velta_hold(figure && row->id == VELTA_T_FIGURE ? figure : can, velta_type(VELTA_T_CANVAS),
                              VELTA_HOLD_DRAWN, lease)
                 : -1;
  Py_XDECREF(lease);
  return rc;
}

/* ---- colours handed out ----
 * A colour read from a canvas (p_r_color, p_r_color_outside) points into the
 * canvas's per-series array, which adding a series moves; a palette from
 * vlp_color_pallete_canvas_set_size is released when that series' palette
 * is resized again. The pointer objects into them are cleared (then refused,
 * or ignored by field setters) before the block moves or goes. */
void velta_colors_moving(const VlmColor *block, int count) {
  if (block && count > 0)
    velta_storage_moving(block, (size_t)count * sizeof(VlmColor));
}

/* Before a series is added to the canvas. */
void velta_series_arrays_moving(const VlpCanvas *can) {
  velta_colors_moving(can->p_r_color, can->numOfVec);
  velta_colors_moving(can->p_r_color_outside, can->numOfVec);
}

/* ---- checks ---- */

int velta_figure_dims(int row, int col) {
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

/* An index of one of count records, refused with the message fmt (index,
 * count). */
static int velta_count_index(int index, int count, const char *fmt) {
  if (index < 0 || index >= count) {
    PyErr_Format(PyExc_IndexError, fmt, index, count);
    return -1;
  }
  return 0;
}

int velta_canvas_index(const VlpFigure *fig, int index) {
  return velta_count_index(index, fig->size, "canvas index %d is out of range for a figure of %d canvases");
}

int velta_series_index(const VlpCanvas *can, int line) {
  return velta_count_index(line, can->numOfVec, "series %d is out of range for a canvas of %d series");
}

/* Drawing walks the x vector and reads as many y values. */
int velta_xy_usable(const VlmVector *vecx, const VlmVector *vecy) {
  if (velta_record_fits(vecx) < 0 || velta_record_fits(vecy) < 0)
    return -1;
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

/* Drawing walks the matrix by its shape, which must fit the block. */
int velta_matrix_usable(const VlmMatrix *mat) {
  if (velta_record_fits(mat) < 0)
    return -1;
  if (mat->size < 1 || mat->r_shape[0] < 1 || mat->r_shape[1] < 1) {
    PyErr_SetString(PyExc_ValueError, "a matrix without elements cannot be shown");
    return -1;
  }
  return velta_matrix_fits(mat);
}

/* The data of a series may have changed since it was added (a vector grown
 * or a shape set): every series is checked again before it is drawn. */
int velta_figure_drawable(const VlpFigure *fig) {
  if (velta_record_fits(fig) < 0)
    return -1;
  for (int c = 0; fig->p_r_canvas && c < fig->size; ++c) {
    const VlpCanvas *can = &fig->p_r_canvas[c];
    if (velta_canvas_fits(can) < 0)
      return -1;
    for (int line = 0; can->p_r_type && line < can->numOfVec; ++line) {
      const VlmMatrix *mat = can->p_r_mat ? can->p_r_mat[line] : 0;
      const VlmVector *x = can->p_r_vecx ? can->p_r_vecx[line] : 0;
      const VlmVector *y = can->p_r_vecy ? can->p_r_vecy[line] : 0;
      if (vlp_series_keeps_matrix(can->p_r_type[line]) ? mat && velta_matrix_usable(mat) < 0
                                                             : x && y && velta_xy_usable(x, y) < 0)
        return -1;
      for (const void *record : {(const void *)mat, (const void *)x, (const void *)y})
        if (record && velta_record_fits(record) < 0)
          return -1;
    }
  }
  return 0;
}

/* Only image series hold a palette, and a palette has at least one entry. */
int velta_pallete_resize(const VlpCanvas *can, int line, int size) {
  if (velta_series_index(can, line) < 0)
    return -1;
  if (!vlp_series_keeps_matrix(can->p_r_type[line])) {
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

/* Entry 0 of a palette carries the entry count; a single colour has none.
 * The count is a writable field: a colour inside storage the binding knows
 * (a free-standing colour, a canvas's palette or colours) has no more
 * entries than that storage holds from it on. */
int velta_pallete_index(const VlmColor *clr, int index) {
  int entries = clr->size > 1 ? clr->size : 1;
  const size_t room = velta_room(clr) / sizeof(VlmColor);
  if (room > 0 && (size_t)entries > room)
    entries = (int)room;
  return velta_count_index(index, entries, "palette index %d is out of range for a palette of %d entries");
}

/* Before a series is added, through a figure and canvas number (fig set) or
 * to a canvas: the series must be drawable, and the canvas's block then keeps
 * the data objects alive. */
static VlpCanvas *velta_series_canvas(VlpFigure *fig, int canvas, VlpCanvas *can) {
  return fig ? vlp_set_canvas(fig, canvas) : can;
}

int velta_series_xy(VlpFigure *fig, int canvas, VlpCanvas *can, VlmVector *x, VlmVector *y, PyObject *ox,
                    PyObject *oy) {
  if ((fig && velta_canvas_index(fig, canvas) < 0) || velta_xy_usable(x, y) < 0)
    return -1;
  can = velta_series_canvas(fig, canvas, can);
  if (velta_canvas_fits(can) < 0 || velta_keep(can, ox, x) < 0 || velta_keep(can, oy, y) < 0)
    return -1;
  velta_series_arrays_moving(can);
  return 0;
}

int velta_series_image(VlpFigure *fig, int canvas, VlpCanvas *can, VlmMatrix *mat, PyObject *omat) {
  if ((fig && velta_canvas_index(fig, canvas) < 0) || velta_matrix_usable(mat) < 0)
    return -1;
  can = velta_series_canvas(fig, canvas, can);
  if (velta_canvas_fits(can) < 0 || velta_keep(can, omat, mat) < 0)
    return -1;
  velta_series_arrays_moving(can);
  return 0;
}
