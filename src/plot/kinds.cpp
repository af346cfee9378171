/* velta plotting: the kinds of series. Each row says what a new series of
 * that kind keeps, its defaults, how the first series of a canvas sets the
 * limits, and which routine draws it. */
#include "vlp_draw.h"

namespace {

//                       type         xy     mat    width radius fill   outline palette shape  draw
const VlpSeriesKind kKinds[] = {
    {VLP_PLOT,    true,  false, 5, 0, true, false, false, false, vlp_draw_plot_series},
    {VLP_SCATTER, true,  false, 1, 5, true, true,  false, false, vlp_draw_scatter_series},
    {VLP_IMAGE,   false, true,  1, 0, true, true,  true,  true,  vlp_draw_image_series},
    {VLP_CONTOUR, true,  true,  0, 0, false, false, false, false, nullptr},
};

// Unknown types: kept like a contour series, under their own type number.
const VlpSeriesKind kUnknown = {-1, true, true, 0, 0, false, false, false, false, nullptr};

}  // namespace

const VlpSeriesKind *vlp_series_kind(int type) {
  for (const VlpSeriesKind &k : kKinds)
    if (k.type == type) return &k;
  return &kUnknown;
}
