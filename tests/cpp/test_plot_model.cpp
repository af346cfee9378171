// Figure, canvas, series and palette records of the plotting library.
#include <gtest/gtest.h>

#include <vector>

#include "vlp.h"

namespace {

VlmVector *vec(std::vector<double> v) { return vlm_vector_new_from_array(v.data(), (int)v.size()); }

void expect_color(const VlmColor &c, int r, int g, int b, double a) {
  EXPECT_EQ(c.r, r);
  EXPECT_EQ(c.g, g);
  EXPECT_EQ(c.b, b);
  EXPECT_EQ(c.a, a);
}

TEST(PlotModel, FirstSeriesSetsLimitsLaterSeriesGrowTheArrays) {
  VlmVector *x = vec({1, 2, 3}), *y = vec({4, -1, 0}), *x2 = vec({10, 20}), *y2 = vec({-50, 50});
  VlpFigure *fig = vlp_subplots(2, 3);
  EXPECT_EQ(fig->size, 6);
  for (int i = 0; i < 6; i++) EXPECT_EQ(fig->p_r_canvas[i].numOfVec, 0);
  VlpCanvas *can = vlp_set_canvas(fig, 4);
  EXPECT_EQ(can, &fig->p_r_canvas[4]);
  vlp_set_grid(can, 1);
  EXPECT_EQ(vlp_plot(can, x, y), nullptr);
  EXPECT_EQ(can->grid, 0);
  EXPECT_EQ(can->p_r_linewidth[0], 5);
  vlp_set_linewidth(can, 0, 9);
  vlp_plot(can, x2, y2);
  EXPECT_EQ(can->numOfVec, 2);
  EXPECT_EQ(can->min.x, 1);  // untouched by the second series
  EXPECT_EQ(can->min.y, -1);
  EXPECT_EQ(can->max.x, 3);
  EXPECT_EQ(can->max.y, 4);
  EXPECT_EQ(can->p_r_vecx[0], x);  // growth keeps series 0
  EXPECT_EQ(can->p_r_linewidth[0], 9);
  EXPECT_EQ(can->p_r_vecy[1], y2);
  vlp_figure_delete(fig);
  EXPECT_EQ(y2->p_r_nums[1], 50);  // borrowed, not released
  for (VlmVector *v : {x, y, x2, y2}) vlm_vector_delete(v);
}

struct KindDefaults {
  int type;
  // The kind's entry point: from x and y vectors, or from a matrix.
  void *(*xy)(VlpCanvas *can, VlmVector *vecx, VlmVector *vecy);
  void *(*image)(VlpCanvas *can, VlmMatrix *mat);
  int linewidth, radius;  // radius -1: not read for the kind
  bool outline, pallete;
};

class PlotDefaults : public ::testing::TestWithParam<KindDefaults> {};

TEST_P(PlotDefaults, NewSeriesTakesItsKindsDefaults) {
  const KindDefaults d = GetParam();
  VlmVector *x = vec({0, 1}), *y = vec({2, 3});
  double cells[] = {4, -2, 9, 1, 0, 3};
  VlmMatrix *m = vlm_matrix_new_from_array(cells, 2, 3);
  VlpFigure *fig = vlp_subplots(1, 1);
  VlpCanvas *can = vlp_set_canvas(fig, 0);
  vlp_plot(can, x, y);  // the series under test is number 1 of a grown canvas
  vlp_set_grid(can, 1);
  EXPECT_EQ(d.xy ? d.xy(can, x, y) : d.image(can, m), nullptr);
  ASSERT_EQ(can->numOfVec, 2);
  EXPECT_EQ(can->grid, 0);
  EXPECT_EQ(can->p_r_type[1], d.type);
  EXPECT_EQ(can->p_r_linewidth[1], d.linewidth);
  if (d.radius >= 0) {
    EXPECT_EQ(can->p_r_radius[1], d.radius);
  }
  expect_color(can->p_r_color[1], 0, 0, 0, 1.0);
  if (d.outline) expect_color(can->p_r_color_outside[1], 0, 0, 0, 1.0);
  EXPECT_EQ(can->p_r_mat[1], d.image ? m : nullptr);
  EXPECT_EQ(can->p_r_vecx[1], d.image ? nullptr : x);
  EXPECT_EQ(vlp_series_keeps_matrix(d.type), d.image ? 1 : 0);
  const VlmColor *p = can->p_r_color_pallete[1];
  if (d.pallete) {
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0].size, 2);
    expect_color(p[0], 0, 0, 0, 1.0);
    EXPECT_EQ(p[0].val, -2);
    expect_color(p[1], 255, 0, 0, 1.0);
    EXPECT_EQ(p[1].val, 9);
  } else {
    EXPECT_EQ(p, nullptr);
  }
  EXPECT_EQ(can->max.y, 3);  // limits from the first series only
  vlp_figure_delete(fig);
  vlm_vector_delete(x);
  vlm_vector_delete(y);
  vlm_matrix_delete(m);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, PlotDefaults,
    ::testing::Values(KindDefaults{VLP_PLOT, vlp_plot, nullptr, 5, -1, false, false},
                      KindDefaults{VLP_SCATTER, vlp_scatter, nullptr, 1, 5, true, false},
                      KindDefaults{VLP_IMAGE, nullptr, vlp_imshow, 1, -1, true, true}));

TEST(PlotModel, LimitsFromImagesAndStickyOnlyAfterTheFirstSeries) {
  double cells[] = {1, 2, 3, 4, 5, 6};
  VlmMatrix *m = vlm_matrix_new_from_array(cells, 2, 3);
  VlpFigure *fig = vlp_subplots(1, 1);
  VlpCanvas *can = vlp_set_canvas(fig, 0);
  vlp_xlim(can, 0, 10);
  vlp_ylim(can, -5, 5);
  vlp_imshow(can, m);
  EXPECT_EQ(can->min.x, -0.5);
  EXPECT_EQ(can->min.y, -0.5);
  EXPECT_EQ(can->max.x, 2.5);
  EXPECT_EQ(can->max.y, 1.5);
  vlp_xlim(can, 0, 10);
  vlp_ylim(can, -5, 5);
  vlp_imshow(can, m);
  EXPECT_EQ(can->min.x, 0);
  EXPECT_EQ(can->max.x, 10);
  EXPECT_EQ(can->min.y, -5);
  EXPECT_EQ(can->max.y, 5);
  vlp_figure_delete(fig);
  vlm_matrix_delete(m);
}

TEST(PlotModel, ColoursAndPalletesKeepValAndSize) {
  double cells[] = {0, 1};
  VlmMatrix *m = vlm_matrix_new_from_array(cells, 1, 2);
  VlpFigure *fig = vlp_subplots(1, 1);
  VlpCanvas *can = vlp_set_canvas(fig, 0);
  vlp_imshow(can, m);
  vlp_imshow(can, m);
  can->p_r_color[1].val = 2.5;
  can->p_r_color[1].size = 7;
  vlp_set_color_alpha(can, 1, 0, 0, 255, 0.5);
  expect_color(can->p_r_color[1], 0, 0, 255, 0.5);
  EXPECT_EQ(can->p_r_color[1].val, 2.5);
  EXPECT_EQ(can->p_r_color[1].size, 7);
  expect_color(can->p_r_color_outside[1], 0, 0, 0, 1.0);

  VlmColor *p = vlp_color_pallete_canvas_set_size(can, 0, 3);
  EXPECT_EQ(can->p_r_color_pallete[0], p);
  EXPECT_EQ(p[0].size, 3);
  vlp_color_pallete_set(p, 0, 9, 9, 9, 1.0, -1.0);
  EXPECT_EQ(p[0].size, 3);
  EXPECT_EQ(p[0].val, -1.0);
  // Replacing again releases the previous palette (checked under ASan/LSan).
  EXPECT_EQ(vlp_color_pallete_canvas_set_size(can, 0, 4)[0].size, 4);
  vlp_figure_delete(fig);
  vlm_matrix_delete(m);
}

TEST(PlotModel, DeleteReleasesOnlyWhatTheFigureOwns) {
  VlmVector *x = vec({1, 2}), *y = vec({3, 4});
  double cells[] = {1, 2, 3, 4};
  VlmMatrix *m = vlm_matrix_new_from_array(cells, 2, 2);
  vlp_figure_delete(vlp_subplots(3, 2));  // no series at all
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
