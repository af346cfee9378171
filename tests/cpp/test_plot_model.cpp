// Figure, canvas, series and palette records of the plotting library.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "vlp.h"

namespace {

VlmVector *vec(std::vector<double> v) {
  return vlm_vector_new_from_array(v.data(), static_cast<int>(v.size()));
}

VlmMatrix *mat(int rows, int cols, std::vector<double> v) {
  return vlm_matrix_new_from_array(v.data(), rows, cols);
}

void expect_color(const VlmColor &c, int r, int g, int b, double a) {
  EXPECT_EQ(c.r, r);
  EXPECT_EQ(c.g, g);
  EXPECT_EQ(c.b, b);
  EXPECT_EQ(c.a, a);
}

TEST(PlotModel, SubplotsBuildsEmptyCanvasesRowMajor) {
  VlpFigure *fig = vlp_subplots(2, 3);
  EXPECT_EQ(fig->row, 2);
  EXPECT_EQ(fig->col, 3);
  EXPECT_EQ(fig->size, 6);
  for (int i = 0; i < 6; i++) EXPECT_EQ(fig->p_r_canvas[i].numOfVec, 0) << i;
  EXPECT_EQ(vlp_set_canvas(fig, 4), &fig->p_r_canvas[4]);
  vlp_figure_delete(fig);
}

TEST(PlotModel, FirstSeriesSetsLimitsLaterSeriesDoNot) {
  VlmVector *x = vec({1, 2, 3}), *y = vec({4, -1, 0});
  VlmVector *x2 = vec({10, 20}), *y2 = vec({-50, 50});
  VlpFigure *fig = vlp_subplots(1, 1);
  VlpCanvas *can = vlp_set_canvas(fig, 0);
  vlp_set_grid(can, 1);
  EXPECT_EQ(vlp_plot(can, x, y), nullptr);
  EXPECT_EQ(can->numOfVec, 1);
  EXPECT_EQ(can->min.x, 1);
  EXPECT_EQ(can->min.y, -1);
  EXPECT_EQ(can->max.x, 3);
  EXPECT_EQ(can->max.y, 4);
  EXPECT_EQ(can->p_r_linewidth[0], 5);
  EXPECT_EQ(can->grid, 0);

  vlp_set_linewidth(can, 0, 9);
  vlp_plot(can, x2, y2);
  EXPECT_EQ(can->numOfVec, 2);
  EXPECT_EQ(can->min.x, 1);
  EXPECT_EQ(can->min.y, -1);
  EXPECT_EQ(can->max.x, 3);
  EXPECT_EQ(can->max.y, 4);
  // Growing the arrays keeps the first series as it was.
  EXPECT_EQ(can->p_r_vecx[0], x);
  EXPECT_EQ(can->p_r_vecy[0], y);
  EXPECT_EQ(can->p_r_linewidth[0], 9);
  EXPECT_EQ(can->p_r_vecx[1], x2);
  EXPECT_EQ(can->p_r_linewidth[1], 5);

  vlp_figure_delete(fig);
  // The vectors are borrowed: still ours after the figure is gone.
  EXPECT_EQ(x->p_r_nums[2], 3);
  EXPECT_EQ(y2->p_r_nums[1], 50);
  vlm_vector_delete(x);
  vlm_vector_delete(y);
  vlm_vector_delete(x2);
  vlm_vector_delete(y2);
}

struct KindDefaults {
  int type;
  int linewidth;
  int radius;          // -1: not read for the kind
  bool has_outline;    // outline colour black
  bool has_pallete;
};

class PlotDefaults : public ::testing::TestWithParam<KindDefaults> {};

TEST_P(PlotDefaults, NewSeriesTakesItsKindsDefaults) {
  const KindDefaults d = GetParam();
  VlmVector *x = vec({0, 1}), *y = vec({2, 3});
  VlmMatrix *m = mat(2, 3, {4, -2, 9, 1, 0, 3});
  VlpFigure *fig = vlp_subplots(1, 2);
  VlpCanvas *can = vlp_set_canvas(fig, 1);
  // A plot series first, so the series under test is number 1 of a grown canvas.
  vlp_plot(can, x, y);
  vlp_set_grid(can, 1);
  switch (d.type) {
    case VLP_PLOT: vlp_plot(can, x, y); break;
    case VLP_SCATTER: vlp_scatter(can, x, y); break;
    case VLP_IMAGE: vlp_imshow(can, m); break;
  }
  ASSERT_EQ(can->numOfVec, 2);
  EXPECT_EQ(can->grid, 0);
  EXPECT_EQ(can->p_r_type[1], d.type);
  EXPECT_EQ(can->p_r_linewidth[1], d.linewidth);
  if (d.radius >= 0) {
    EXPECT_EQ(can->p_r_radius[1], d.radius);
  }
  expect_color(can->p_r_color[1], 0, 0, 0, 1.0);
  EXPECT_EQ(can->p_r_color[1].val, 0.0);
  EXPECT_EQ(can->p_r_color[1].size, 0);
  if (d.has_outline) expect_color(can->p_r_color_outside[1], 0, 0, 0, 1.0);
  if (d.type == VLP_IMAGE) {
    EXPECT_EQ(can->p_r_mat[1], m);
  } else {
    EXPECT_EQ(can->p_r_vecx[1], x);
    EXPECT_EQ(can->p_r_vecy[1], y);
  }
  if (d.has_pallete) {
    const VlmColor *p = can->p_r_color_pallete[1];
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0].size, 2);
    expect_color(p[0], 0, 0, 0, 1.0);
    EXPECT_EQ(p[0].val, -2);
    expect_color(p[1], 255, 0, 0, 1.0);
    EXPECT_EQ(p[1].val, 9);
  } else {
    EXPECT_EQ(can->p_r_color_pallete[1], nullptr);
  }
  // Limits came from the first (plot) series only.
  EXPECT_EQ(can->min.x, 0);
  EXPECT_EQ(can->max.y, 3);
  vlp_figure_delete(fig);
  vlm_vector_delete(x);
  vlm_vector_delete(y);
  vlm_matrix_delete(m);
}

INSTANTIATE_TEST_SUITE_P(Kinds, PlotDefaults,
                         ::testing::Values(KindDefaults{VLP_PLOT, 5, -1, false, false},
                                           KindDefaults{VLP_SCATTER, 1, 5, true, false},
                                           KindDefaults{VLP_IMAGE, 1, -1, true, true}));

TEST(PlotModel, ImageAsFirstSeriesFramesItsCells) {
  VlmMatrix *m = mat(2, 3, {1, 2, 3, 4, 5, 6});
  VlpFigure *fig = vlp_subplots(1, 1);
  VlpCanvas *can = vlp_set_canvas(fig, 0);
  vlp_imshow(can, m);
  EXPECT_EQ(can->min.x, -0.5);
  EXPECT_EQ(can->min.y, -0.5);
  EXPECT_EQ(can->max.x, 2.5);
  EXPECT_EQ(can->max.y, 1.5);
  vlp_figure_delete(fig);
  vlm_matrix_delete(m);
}

TEST(PlotModel, LimitsStickOnlyAfterTheFirstSeries) {
  VlmVector *x = vec({1, 2}), *y = vec({3, 4});
  VlpFigure *fig = vlp_subplots(1, 1);
  VlpCanvas *can = vlp_set_canvas(fig, 0);
  vlp_xlim(can, 0, 10);
  vlp_ylim(can, -5, 5);
  EXPECT_EQ(can->min.x, 0);
  EXPECT_EQ(can->max.y, 5);
  vlp_scatter(can, x, y);
  EXPECT_EQ(can->min.x, 1);
  EXPECT_EQ(can->max.x, 2);
  EXPECT_EQ(can->min.y, 3);
  EXPECT_EQ(can->max.y, 4);
  vlp_xlim(can, 0, 10);
  vlp_ylim(can, -5, 5);
  vlp_scatter(can, x, y);
  EXPECT_EQ(can->min.x, 0);
  EXPECT_EQ(can->max.x, 10);
  EXPECT_EQ(can->min.y, -5);
  EXPECT_EQ(can->max.y, 5);
  vlp_figure_delete(fig);
  vlm_vector_delete(x);
  vlm_vector_delete(y);
}

TEST(PlotModel, SettersWriteOnlyTheirSeriesAndFields) {
  VlmVector *x = vec({1, 2}), *y = vec({3, 4});
  VlpFigure *fig = vlp_subplots(1, 1);
  VlpCanvas *can = vlp_set_canvas(fig, 0);
  vlp_scatter(can, x, y);
  vlp_scatter(can, x, y);
  can->p_r_color[1].val = 2.5;
  can->p_r_color[1].size = 7;
  EXPECT_EQ(vlp_set_color_alpha(can, 1, 0, 0, 255, 0.5), nullptr);
  expect_color(can->p_r_color[1], 0, 0, 255, 0.5);
  EXPECT_EQ(can->p_r_color[1].val, 2.5);
  EXPECT_EQ(can->p_r_color[1].size, 7);
  expect_color(can->p_r_color[0], 0, 0, 0, 1.0);
  expect_color(can->p_r_color_outside[1], 0, 0, 0, 1.0);

  vlp_set_color_alpha_line(can, 0, 10, 20, 30, 0.25);
  expect_color(can->p_r_color_outside[0], 10, 20, 30, 0.25);
  expect_color(can->p_r_color[0], 0, 0, 0, 1.0);

  vlp_set_radius(can, 1, 12);
  vlp_set_linewidth(can, 0, 4);
  EXPECT_EQ(can->p_r_radius[0], 5);
  EXPECT_EQ(can->p_r_radius[1], 12);
  EXPECT_EQ(can->p_r_linewidth[0], 4);
  EXPECT_EQ(can->p_r_linewidth[1], 1);

  vlp_set_grid(can, 2);
  EXPECT_EQ(can->grid, 2);
  vlp_figure_delete(fig);
  vlm_vector_delete(x);
  vlm_vector_delete(y);
}

TEST(PlotModel, PalleteReplacementAndEntries) {
  VlmMatrix *m = mat(1, 2, {0, 1});
  VlpFigure *fig = vlp_subplots(1, 1);
  VlpCanvas *can = vlp_set_canvas(fig, 0);
  vlp_imshow(can, m);
  VlmColor *p = vlp_color_pallete_canvas_set_size(can, 0, 3);
  EXPECT_EQ(can->p_r_color_pallete[0], p);
  EXPECT_EQ(p[0].size, 3);
  EXPECT_EQ(vlp_color_pallete_set(p, 2, 1, 2, 3, 0.5, 8.0), nullptr);
  expect_color(p[2], 1, 2, 3, 0.5);
  EXPECT_EQ(p[2].val, 8.0);
  vlp_color_pallete_set(p, 0, 9, 9, 9, 1.0, -1.0);
  EXPECT_EQ(p[0].size, 3);  // the count survives writing entry 0
  EXPECT_EQ(p[0].val, -1.0);
  // Replacing again releases the previous palette (checked under ASan).
  VlmColor *q = vlp_color_pallete_canvas_set_size(can, 0, 4);
  EXPECT_EQ(q[0].size, 4);
  vlp_figure_delete(fig);
  vlm_matrix_delete(m);

  VlmColor *own = vlp_color_pallete_new(5);
  EXPECT_EQ(own[0].size, 5);
  vlp_color_pallete_delete(own);
}

TEST(PlotModel, DeleteReleasesWhatTheFigureOwns) {
  VlmVector *x = vec({1, 2}), *y = vec({3, 4});
  VlmMatrix *m = mat(2, 2, {1, 2, 3, 4});
  // No series anywhere: only the canvas array and the record.
  vlp_figure_delete(vlp_subplots(3, 2));
  // Mixed canvases, some empty, palettes replaced on one of them.
  VlpFigure *fig = vlp_subplots(2, 2);
  vlp_plot(vlp_set_canvas(fig, 0), x, y);
  vlp_imshow(vlp_set_canvas(fig, 0), m);
  vlp_imshow(vlp_set_canvas(fig, 3), m);
  vlp_scatter(vlp_set_canvas(fig, 3), x, y);
  vlp_color_pallete_canvas_set_size(vlp_set_canvas(fig, 3), 0, 6);
  vlp_figure_delete(fig);
  EXPECT_EQ(m->p_r_nums[3], 4);
  vlm_matrix_delete(m);
  vlm_vector_delete(x);
  vlm_vector_delete(y);
}

}  // namespace
