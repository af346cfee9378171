/* velta plotting: figures, canvases, series and palettes. The kinds of
 * series (what one keeps, how it is drawn, its entry point) are in kinds.cpp,
 * the drawing primitives in draw.cpp, the window in window.cpp and file
 * export in export.cpp. */
#include "vlp.h"
#include "vlp_draw.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

namespace {

/* Calls f with the address of each per-series array of the canvas, in the
 * order of the record. */
template <typename F>
void each_series_array(VlpCanvas *can, F f) {
#define VLP_EACH(field, type)                                                  \
  static_assert(std::is_same_v<decltype(can->field), type *>, #field);        \
  f(&can->field);
  VLP_SERIES_ARRAYS(VLP_EACH)
#undef VLP_EACH
}

template <typename T>
void grow(T **arr, int count) {
  *arr = static_cast<T *>(std::realloc(*arr, sizeof(T) * static_cast<size_t>(count)));
  std::memset(&(*arr)[count - 1], 0, sizeof(T));
}

const VlmColor kBlack = {0, 0, 0, 1.0, 0.0, 0};

/* Colour and alpha; val and size stay as they are. */
void set_rgba(VlmColor *c, int r, int g, int b, double a) {
  c->r = r;
  c->g = g;
  c->b = b;
  c->a = a;
}

}  // namespace

extern "C" {

/* ---- palettes ---- */

VlmColor *vlp_color_pallete_new(int size) {
  // Entry 0 always exists, since it carries the count.
  const size_t n = size > 1 ? static_cast<size_t>(size) : 1;
  VlmColor *clr = static_cast<VlmColor *>(std::calloc(n, sizeof(VlmColor)));
  if (!clr) return nullptr;
  clr[0].size = size;
  return clr;
}

void vlp_color_pallete_delete(VlmColor *clr) { std::free(clr); }

void *vlp_color_pallete_set(VlmColor *clr, int index, int r, int g, int b, double a, double val) {
  clr[index].r = r;
  clr[index].g = g;
  clr[index].b = b;
  clr[index].a = a;
  clr[index].val = val;
  return nullptr;
}

/* ---- figures ---- */

VlpFigure *vlp_figure_new(int row, int col) {
  VlpFigure *fig = static_cast<VlpFigure *>(std::malloc(sizeof(VlpFigure)));
  if (!fig) return nullptr;
  fig->row = row;
  fig->col = col;
  fig->size = row * col;
  fig->p_window = nullptr;
  const size_t n = fig->size > 0 ? static_cast<size_t>(fig->size) : 0;
  fig->p_r_canvas = static_cast<VlpCanvas *>(std::calloc(n > 0 ? n : 1, sizeof(VlpCanvas)));
  if (!fig->p_r_canvas) {  // out of memory: no figure
    std::free(fig);
    return nullptr;
  }
  const double unset = std::numeric_limits<double>::quiet_NaN();
  for (size_t i = 0; i < n; i++) {
    VlpCanvas *can = &fig->p_r_canvas[i];
    can->numOfVec = 0;
    // Limits are unset until the first series or xlim/ylim; NaN marks them
    // so that such a canvas is drawn blank.
    can->min.x = can->min.y = can->max.x = can->max.y = unset;
  }
  // row, col and index stay 0 until the figure is shown or saved.
  return fig;
}

VlpFigure *vlp_subplots(int row, int col) { return vlp_figure_new(row, col); }

void vlp_figure_delete(VlpFigure *fig) {
  if (!fig) return;
  for (int i = 0; i < fig->size; i++) {
    VlpCanvas *can = &fig->p_r_canvas[i];
    vlp_canvas_labels_delete(can);
    if (can->numOfVec == 0) continue;
    // Palettes are held by image series; a slot of another series is null
    // unless a palette was stored there, which the canvas then owns too.
    for (int k = 0; k < can->numOfVec; k++) vlp_color_pallete_delete(can->p_r_color_pallete[k]);
    each_series_array(can, [](auto **arr) { std::free(*arr); });
  }
  std::free(fig->p_r_canvas);
  vlp_window_options_delete(fig->p_window);
  std::free(fig);
}

VlpCanvas *vlp_set_canvas(VlpFigure *fig, int index) { return &fig->p_r_canvas[index]; }

/* ---- series ---- */

void vlp_allocation(VlpCanvas *can, VlmVector *vecx, VlmVector *vecy, VlmMatrix *mat, int type) {
  const VlpSeriesKind *kind = vlp_series_kind(type);
  if (can->numOfVec == 0) {
    each_series_array(can, [](auto **arr) { *arr = nullptr; });
    if (kind->limits_from_shape) {
      can->min.x = -0.5;
      can->min.y = -0.5;
      can->max.x = mat->r_shape[1] - 0.5;
      can->max.y = mat->r_shape[0] - 0.5;
    } else if (vecx && vecy) {
      can->min.x = vlm_vector_min(vecx);
      can->min.y = vlm_vector_min(vecy);
      can->max.x = vlm_vector_max(vecx);
      can->max.y = vlm_vector_max(vecy);
    }
  }
  const int count = can->numOfVec + 1;
  can->numOfVec = count;
  each_series_array(can, [count](auto **arr) { grow(arr, count); });

  const int n = count - 1;
  can->p_r_type[n] = type;
  if (kind->keeps_xy) {
    can->p_r_vecx[n] = vecx;
    can->p_r_vecy[n] = vecy;
  }
  if (kind->keeps_mat) can->p_r_mat[n] = mat;
  can->p_r_linewidth[n] = kind->linewidth;
  can->p_r_radius[n] = kind->radius;
  if (kind->black_fill) can->p_r_color[n] = kBlack;
  if (kind->black_outline) can->p_r_color_outside[n] = kBlack;
  if (kind->pallete) {
    VlmColor *pal = vlp_color_pallete_new(2);
    vlp_color_pallete_set(pal, 0, 0, 0, 0, 1.0, vlm_matrix_min(mat));
    vlp_color_pallete_set(pal, 1, VRGB, 0, 0, 1.0, vlm_matrix_max(mat));
    can->p_r_color_pallete[n] = pal;
  }
  can->grid = 0;
}

VlmColor *vlp_color_pallete_canvas_set_size(VlpCanvas *can, int line, int size) {
  VlmColor *pal = vlp_color_pallete_new(size);
  if (!pal) return nullptr;  // out of memory: the old palette stays
  vlp_color_pallete_delete(can->p_r_color_pallete[line]);
  can->p_r_color_pallete[line] = pal;
  return pal;
}

/* ---- attributes ---- */

void *vlp_xlim(VlpCanvas *can, double min, double max) {
  can->min.x = min;
  can->max.x = max;
  return nullptr;
}

void *vlp_ylim(VlpCanvas *can, double min, double max) {
  can->min.y = min;
  can->max.y = max;
  return nullptr;
}

void *vlp_set_grid(VlpCanvas *can, int boolean) {
  can->grid = boolean;
  return nullptr;
}

void *vlp_set_radius(VlpCanvas *can, int line, int radius) {
  can->p_r_radius[line] = radius;
  return nullptr;
}

void *vlp_set_linewidth(VlpCanvas *can, int line, int linewidth) {
  can->p_r_linewidth[line] = linewidth;
  return nullptr;
}

void *vlp_set_color_alpha(VlpCanvas *can, int line, int red, int green, int blue, double alpha) {
  set_rgba(&can->p_r_color[line], red, green, blue, alpha);
  return nullptr;
}

void *vlp_set_color_alpha_line(VlpCanvas *can, int line, int red, int green, int blue,
                               double alpha) {
  set_rgba(&can->p_r_color_outside[line], red, green, blue, alpha);
  return nullptr;
}

}  // extern "C"
