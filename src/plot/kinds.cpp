/* velta plotting: the kinds of series, all of each kind in this file: its
 * draw routine and legend sample, its row of kKinds (what a new series of the
 * kind keeps, its defaults, how the first series of a canvas sets the limits,
 * and those two routines), and its entry point. The drawing primitives they
 * are built from are draw.cpp's; the model that reads the rows is plot.cpp's. */
#include <algorithm>
#include <cmath>

#include "vlp_draw.h"

namespace {

/* ---- lines: vlp_plot ---- */

void draw_line(cairo_t *cr, const VlpCanvas *can, int i, VlpFrame *f) {
  if (!can->p_r_vecx[i] || !can->p_r_vecy[i]) return;
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_BEVEL);
  const VlpBoxCut cut(cr, f);  // after the cap and join, which stay set
  vlp_set_source(cr, &can->p_r_color[i]);
  vlp_create_multiline(cr, can->p_r_vecx[i], can->p_r_vecy[i], &f->plo, &f->phi, &f->dlo, &f->dhi,
                       can->p_r_linewidth[i]);
}

/* A stroke across the box, as wide as the line (within the box). */
void line_sample(cairo_t *cr, const VlpCanvas *can, int i, double x, double y, double w,
                 double h) {
  const double mid = y + h / 2;
  const double width = std::clamp(0.8 * can->p_r_linewidth[i], 0.0, 0.6 * h);
  if (width <= 0) return;
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_width(cr, width);
  vlp_set_source(cr, &can->p_r_color[i]);
  cairo_move_to(cr, x + width / 2, mid);
  cairo_line_to(cr, x + w - width / 2, mid);
  cairo_stroke(cr);
}

/* ---- markers: vlp_scatter ---- */

void draw_markers(cairo_t *cr, const VlpCanvas *can, int i, VlpFrame *f) {
  if (!can->p_r_vecx[i] || !can->p_r_vecy[i]) return;
  const VlpBoxCut cut(cr, f);
  vlp_create_multicircle(cr, can->p_r_vecx[i], can->p_r_vecy[i], &f->plo, &f->phi, &f->dlo,
                         &f->dhi, static_cast<double>(can->p_r_radius[i]), can->p_r_linewidth[i],
                         &can->p_r_color[i], &can->p_r_color_outside[i]);
}

/* One marker in the middle of the box, no larger than the box allows. */
void marker_sample(cairo_t *cr, const VlpCanvas *can, int i, double x, double y, double w,
                   double h) {
  const double mid = y + h / 2;
  const double r = std::clamp(0.8 * can->p_r_radius[i], 0.0, 0.4 * h);
  const double width = std::clamp(0.8 * can->p_r_linewidth[i], 0.0, r);
  cairo_arc(cr, x + w / 2, mid, r, 0, 2 * M_PI);
  cairo_set_line_width(cr, width);
  vlp_set_source(cr, &can->p_r_color_outside[i]);
  if (width > 0) cairo_stroke_preserve(cr);
  vlp_set_source(cr, &can->p_r_color[i]);
  cairo_fill(cr);
}

/* ---- images: vlp_imshow ---- */

void draw_image(cairo_t *cr, const VlpCanvas *can, int i, VlpFrame *f) {
  VlmMatrix *mat = can->p_r_mat[i];
  if (!mat || mat->size < 1) return;
  // One sorted palette serves every cell and the colour bar.
  const VlpPalleteLookup lookup(can->p_r_color_pallete[i]);
  {
    const VlpBoxCut cut(cr, f);
    vlp_create_multirectangle(cr, mat, &f->plo, &f->phi, &f->dlo, &f->dhi, can->p_r_linewidth[i],
                              lookup, &can->p_r_color_outside[i]);
  }
  vlp_create_colorbar(cr, mat, &f->plo, &f->phi, &f->blo, &f->bhi, can->p_r_linewidth[i], lookup,
                      &can->p_r_color_outside[i], f->texts);
}

/* The palette from the smallest value to the largest, in slices, outlined. */
void image_sample(cairo_t *cr, const VlpCanvas *can, int i, double x, double y, double w,
                  double h) {
  VlmMatrix *mat = can->p_r_mat[i];
  if (!mat || mat->size < 1) return;
  const VlpPalleteLookup lookup(can->p_r_color_pallete[i]);
  const double lo = vlm_matrix_min(mat), hi = vlm_matrix_max(mat);
  const int slices = 12;
  const double top = y + 0.15 * h, tall = 0.7 * h;
  for (int k = 0; k < slices; k++) {
    VlmColor c = VlmColor();
    lookup.select(lo + (hi - lo) * (k + 0.5) / slices, &c);
    vlp_set_source(cr, &c);
    cairo_rectangle(cr, x + w * k / slices, top, w / slices + 0.01, tall);
    cairo_fill(cr);
  }
  cairo_set_line_width(cr, 1);
  vlp_set_source(cr, &can->p_r_color_outside[i]);
  cairo_rectangle(cr, x + 0.5, top + 0.5, w - 1, tall - 1);
  cairo_stroke(cr);
}

//   type         xy     mat   width radius fill  outline palette shape draw          sample
const VlpSeriesKind kKinds[] = {
    {VLP_PLOT,    true,  false, 5, 0, true, false, false, false, draw_line,    line_sample},
    {VLP_SCATTER, true,  false, 1, 5, true, true,  false, false, draw_markers, marker_sample},
    {VLP_IMAGE,   false, true,  1, 0, true, true,  true,  true,  draw_image,   image_sample},
    {VLP_CONTOUR, true,  true,  0, 0, false, false, false, false, nullptr,     nullptr},
};

// Unknown types: kept like a contour series, under their own type number.
const VlpSeriesKind kUnknown = {-1, true, true, 0, 0, false, false, false, false, nullptr, nullptr};

}  // namespace

const VlpSeriesKind *vlp_series_kind(int type) {
  for (const VlpSeriesKind &k : kKinds)
    if (k.type == type) return &k;
  return &kUnknown;
}

/* ---- entry points: each adds a series of its kind ---- */

extern "C" void *vlp_plot(VlpCanvas *can, VlmVector *vecx, VlmVector *vecy) {
  vlp_allocation(can, vecx, vecy, nullptr, VLP_PLOT);
  return nullptr;
}

extern "C" void *vlp_scatter(VlpCanvas *can, VlmVector *vecx, VlmVector *vecy) {
  vlp_allocation(can, vecx, vecy, nullptr, VLP_SCATTER);
  return nullptr;
}

extern "C" void *vlp_imshow(VlpCanvas *can, VlmMatrix *mat) {
  vlp_allocation(can, nullptr, nullptr, mat, VLP_IMAGE);
  return nullptr;
}

extern "C" int vlp_series_keeps_matrix(int type) {
  const VlpSeriesKind *kind = vlp_series_kind(type);
  return kind->keeps_mat && kind->pallete;
}
