// Mapping, palette lookup, tick guards, and the pictures vlp_savefig writes.
#include "vlp_draw.h"

#include <cairo-script.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <limits>
#include <iterator>
#include <regex>
#include <sstream>
#include <tuple>
#include <string>
#include <vector>

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// cairo keeps font faces, and fontconfig its configuration, in static caches;
// release them at the end so a leak checker reports only real leaks.
// fontconfig is reached through cairo, so it is looked up rather than linked.
class CairoStaticData : public ::testing::Environment {
 public:
  void TearDown() override {
    cairo_debug_reset_static_data();
    if (void *fc_fini = dlsym(RTLD_DEFAULT, "FcFini")) reinterpret_cast<void (*)()>(fc_fini)();
  }
};
const ::testing::Environment *const kCairoStaticData =
    ::testing::AddGlobalTestEnvironment(new CairoStaticData);

VlmVector *vec(std::vector<double> v) {
  return vlm_vector_new_from_array(v.data(), static_cast<int>(v.size()));
}

VlmMatrix *mat(int rows, int cols, std::vector<double> v) {
  return vlm_matrix_new_from_array(v.data(), rows, cols);
}

// ---- mapping ----

struct MapCase {
  VlmCoordInt plo, phi;
  VlmCoordDouble dlo, dhi, p;
  int x, y;
};

class DataToCanvas : public ::testing::TestWithParam<MapCase> {};

TEST_P(DataToCanvas, MapsAndTruncatesTowardZero) {
  MapCase c = GetParam();
  VlmCoordInt out = {12345, 12345};
  vlp_data_to_canvas(&c.plo, &c.phi, c.p, &out, &c.dlo, &c.dhi);
  EXPECT_EQ(out.x, c.x);
  EXPECT_EQ(out.y, c.y);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, DataToCanvas,
    ::testing::Values(MapCase{{-400, -300}, {400, 300}, {0, 0}, {10, 5}, {5, 2.5}, 0, 0},
                      MapCase{{-400, -300}, {400, 300}, {0, 0}, {10, 5}, {0, 0}, -400, 300},
                      MapCase{{-400, -300}, {400, 300}, {0, 0}, {10, 5}, {10, 5}, 400, -300},
                      MapCase{{-400, -300}, {400, 300}, {0, 0}, {10, 5}, {2.5, 1.25}, -200, 150},
                      MapCase{{-100, -100}, {100, 100}, {0, 0}, {3, 3}, {1, 1}, -33, 33},
                      MapCase{{-100, -100}, {100, 100}, {0, 0}, {3, 3}, {2, 2}, 33, -33},
                      // reversed limits mirror the axis
                      MapCase{{-100, -100}, {100, 100}, {10, 0}, {0, 3}, {10, 3}, -100, -100}));

// ---- palette lookup ----

struct Entry {
  int r, g, b;
  double a, val;
};

std::vector<VlmColor> pallete(const std::vector<Entry> &entries) {
  std::vector<VlmColor> p(entries.size());
  for (size_t k = 0; k < entries.size(); k++) {
    p[k] = VlmColor{entries[k].r, entries[k].g, entries[k].b, entries[k].a, entries[k].val, 0};
  }
  p[0].size = static_cast<int>(entries.size());
  return p;
}

struct LookupCase {
  const char *name;
  std::vector<Entry> entries;
  double x;
  int r, g, b;
  double a;
};

class PalleteLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(PalleteLookup, Colour) {
  const LookupCase &c = GetParam();
  std::vector<VlmColor> p = pallete(c.entries);
  VlmColor out = {-1, -1, -1, -1.0, 42.0, 42};
  double x = c.x;
  vlp_select_color_pallete(&x, p.data(), &out);
  EXPECT_EQ(out.r, c.r);
  EXPECT_EQ(out.g, c.g);
  EXPECT_EQ(out.b, c.b);
  EXPECT_DOUBLE_EQ(out.a, c.a);
  EXPECT_EQ(out.val, 42.0);  // not written
}

const std::vector<Entry> kBlackRed = {{0, 0, 0, 1.0, 0}, {255, 0, 0, 1.0, 10}};
const std::vector<Entry> kRedBlack = {{255, 0, 0, 1.0, 10}, {0, 0, 0, 1.0, 0}};
const std::vector<Entry> kThree = {{0, 0, 0, 1.0, 0}, {10, 200, 30, 0.5, 5}, {255, 0, 255, 1.0, 10}};

INSTANTIATE_TEST_SUITE_P(
    Cases, PalleteLookup,
    ::testing::Values(
        LookupCase{"mid", kBlackRed, 5, 127, 0, 0, 1.0},
        LookupCase{"top", kBlackRed, 10, 255, 0, 0, 1.0},
        LookupCase{"bottom", kBlackRed, 0, 0, 0, 0, 1.0},
        LookupCase{"reversed_mid", kRedBlack, 5, 127, 0, 0, 1.0},
        LookupCase{"reversed_top", kRedBlack, 10, 255, 0, 0, 1.0},
        LookupCase{"reversed_bottom", kRedBlack, 0, 0, 0, 0, 1.0},
        // 200/3 = 66.67 truncates to 66, not 67
        LookupCase{"truncates", {{0, 0, 0, 1.0, 0}, {100, 200, 50, 1.0, 3}}, 2, 66, 133, 33, 1.0},
        LookupCase{"alpha", {{0, 0, 0, 0.0, -1}, {0, 0, 0, 1.0, 1}}, 0.5, 0, 0, 0, 0.75},
        LookupCase{"inner_boundary", kThree, 5, 10, 200, 30, 0.5},
        LookupCase{"below_inner", kThree, 2.5, 5, 100, 15, 0.75},
        LookupCase{"above_inner", kThree, 7.5, 132, 100, 142, 0.75},
        LookupCase{"clamp_below", kBlackRed, -3, 0, 0, 0, 1.0},
        LookupCase{"clamp_above", kBlackRed, 1e9, 255, 0, 0, 1.0},
        LookupCase{"nan_transparent", kBlackRed, kNaN, 0, 0, 0, 0.0},
        // all-equal image: both entries hold the value; the pair's lower
        // entry is the highest-index holder, so no 0/0
        LookupCase{"equal_values", {{0, 0, 0, 1.0, 3}, {255, 0, 0, 1.0, 3}}, 3, 255, 0, 0, 1.0},
        LookupCase{"equal_values_below", {{0, 0, 0, 1.0, 3}, {255, 0, 0, 1.0, 3}}, 2, 255, 0, 0,
                   1.0},
        // repeated inner value: the upper interval (5, 10) starts at entry 2
        LookupCase{"repeated_inner",
                   {{0, 0, 0, 1.0, 0}, {1, 1, 1, 1.0, 5}, {7, 7, 7, 1.0, 5}, {9, 9, 9, 1.0, 10}},
                   5, 7, 7, 7, 1.0},
        LookupCase{"single_entry", {{4, 5, 6, 0.5, 1}}, 100, 4, 5, 6, 0.5}),
    [](const ::testing::TestParamInfo<LookupCase> &info) { return std::string(info.param.name); });

// ---- ticks ----

TEST(Ticks, ElevenFromZeroToOneNoneWhenCountingCouldNotEnd) {
  VlmVector *t = vlp_ticks_new(0, 1);
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->size, 11);
  EXPECT_EQ(t->p_r_nums[3], 3 * 0.1);
  EXPECT_EQ(t->p_r_nums[10], 1.0);
  vlm_vector_delete(t);
  // A step of 0.8 ulp still moves the running sum by one ulp each time: nine
  // ticks over a span of eight ulps, not none.
  const double ulp = std::nextafter(1.0, 2.0) - 1.0;
  t = vlp_ticks_new(1, 1 + 8 * ulp);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->size, 9);
  vlm_vector_delete(t);
  const double inf = std::numeric_limits<double>::infinity();
  // reversed, NaN, infinite, step below half an ulp of the ends, overflowing span
  for (auto [lo, hi] : std::vector<std::pair<double, double>>{
           {1, 0}, {kNaN, 1}, {0, kNaN}, {0, inf}, {1e20, 1e20 + 1e4}, {-1.7e308, 1.7e308}})
    EXPECT_EQ(vlp_ticks_new(lo, hi), nullptr) << lo << " " << hi;
}

// ---- colour bar, as a cairo script ----

// The operations of one colour bar, recorded as text: its steps and its
// labels with their canvas positions (the context is moved so that every
// canvas point lands on the surface).
struct BarScript {
  int steps = 0;
  std::vector<std::string> labels;
  std::vector<std::pair<int, int>> at;
};

BarScript colourbar_script(int rows, VlmCoordDouble dlo, VlmCoordDouble dhi) {
  char name[] = "/tmp/velta-bar-XXXXXX";
  const int fd = mkstemp(name);
  close(fd);
  cairo_device_t *dev = cairo_script_create(name);
  cairo_surface_t *s = cairo_script_surface_create(dev, CAIRO_CONTENT_COLOR_ALPHA, 2000, 2000);
  cairo_t *cr = cairo_create(s);
  cairo_translate(cr, 1000, 1000);
  std::vector<double> v(rows);
  for (int k = 0; k < rows; k++) v[k] = k;
  VlmMatrix *m = mat(rows, 1, v);
  VlmCoordInt plo = {-400, -300}, phi = {400, 300};
  VlmColor pal[2] = {{0, 0, 0, 1.0, 0, 2}, {255, 0, 0, 1.0, rows - 1.0, 0}};
  VlmColor outline = {0, 0, 0, 1.0, 0, 0};
  vlp_create_colorbar(cr, m, &plo, &phi, &dlo, &dhi, 1, pal, &outline);
  cairo_destroy(cr);
  cairo_surface_finish(s);
  cairo_surface_destroy(s);
  cairo_device_finish(dev);
  cairo_device_destroy(dev);
  vlm_matrix_delete(m);
  std::ifstream in(name, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  std::remove(name);
  BarScript bar;
  for (size_t p = 0; (p = text.find(" rectangle\n", p)) != std::string::npos; p++) bar.steps++;
  const std::regex label(R"(\(([-0-9.]+)\) \[(-?[0-9]+) (-?[0-9]+) )");
  for (std::sregex_iterator it(text.begin(), text.end(), label), end; it != end; ++it) {
    bar.labels.push_back((*it)[1]);
    bar.at.emplace_back(std::stoi((*it)[2]) - 1000, std::stoi((*it)[3]) - 1000);
  }
  return bar;
}

TEST(ColourBar, StepsByRunningSumLabelsEveryTenthAndTheTop) {
  // 100 rows: s = 1, 100 steps from y = -1; labels at steps 0, 10, ..., 90
  // on their lower edges, then the top.
  BarScript bar = colourbar_script(100, {-0.5, -0.5}, {0.5, 99.5});
  EXPECT_EQ(bar.steps, 100);
  const std::vector<std::string> want = {"0.0",  "9.9",  "19.8", "29.7", "39.6", "49.5",
                                         "59.4", "69.3", "79.2", "89.1", "99.0"};
  EXPECT_EQ(bar.labels, want);
  // x1 = 0.54 -> 432; y -1 -> 303, y 89 -> -237 (negated); the top, y 99, -297.
  ASSERT_EQ(bar.at.size(), 11u);
  EXPECT_EQ(bar.at[0], std::make_pair(432, 303));
  EXPECT_EQ(bar.at[9], std::make_pair(432, -237));
  EXPECT_EQ(bar.at[10].second, -297);
  // Lower boxes take more steps, as the running sum decides: 105 for 10
  // rows, 149 for one.
  bar = colourbar_script(10, {-0.5, -0.5}, {0.5, 9.5});
  EXPECT_EQ(bar.steps, 105);
  EXPECT_EQ(bar.labels.size(), 12u);
  EXPECT_EQ(colourbar_script(1, {-0.5, -0.5}, {0.5, 0.5}).steps, 149);
}

// ---- pictures ----

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
};
std::ostream &operator<<(std::ostream &os, const Rgb &c) {
  return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}
const Rgb kWhite = {255, 255, 255}, kBlack = {0, 0, 0}, kRed = {255, 0, 0};

struct Png {
  int w = 0, h = 0;
  std::vector<uint32_t> px;  // opaque ARGB32
  Rgb at(int x, int y) const {
    const uint32_t p = px[static_cast<size_t>(y) * w + x];
    return Rgb{int(p >> 16 & 255), int(p >> 8 & 255), int(p & 255)};
  }
  bool white(int x, int y) const { return at(x, y) == kWhite; }
  int grey(int x, int y) const { return (at(x, y).r + at(x, y).g + at(x, y).b) / 3; }
  // Runs of non-white pixels along a row (or a column).
  int runs(int fixed, int from, int to, bool along_row) const {
    int n = 0;
    for (int i = from, prev = 0; i < to; i++) {
      const int dark = !(along_row ? white(i, fixed) : white(fixed, i));
      n += dark && !prev;
      prev = dark;
    }
    return n;
  }
  int dark_in(int x0, int y0, int x1, int y1) const {
    int n = 0;
    for (int y = y0; y < y1; y++)
      for (int x = x0; x < x1; x++) n += !white(x, y);
    return n;
  }
};

class SaveFig : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velta-plot-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    if (fig_) vlp_figure_delete(fig_);
    for (VlmVector *v : vecs_) vlm_vector_delete(v);
    for (VlmMatrix *m : mats_) vlm_matrix_delete(m);
    for (const std::string &f : files_) std::remove(f.c_str());
    rmdir(dir_.c_str());
  }
  VlmVector *V(std::vector<double> v) { return vecs_.emplace_back(vec(std::move(v))); }
  VlmMatrix *M(int r, int c, std::vector<double> v) { return mats_.emplace_back(mat(r, c, v)); }
  std::string path(const std::string &name) { return files_.emplace_back(dir_ + "/" + name); }
  Png render(int w, int h) {
    const std::string f = path("out.png");
    EXPECT_EQ(vlp_savefig(fig_, f.c_str(), w, h), VLP_SAVEFIG_OK);
    cairo_surface_t *s = cairo_image_surface_create_from_png(f.c_str());
    Png png;
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
      png.w = cairo_image_surface_get_width(s);
      png.h = cairo_image_surface_get_height(s);
      for (int y = 0; y < png.h; y++) {
        auto row = reinterpret_cast<const uint32_t *>(cairo_image_surface_get_data(s) +
                                                      y * cairo_image_surface_get_stride(s));
        png.px.insert(png.px.end(), row, row + png.w);
      }
    }
    cairo_surface_destroy(s);
    EXPECT_EQ(png.w, w);
    EXPECT_EQ(png.h, h);
    return png;
  }

  std::string dir_;
  VlpFigure *fig_ = nullptr;
  std::vector<VlmVector *> vecs_;
  std::vector<VlmMatrix *> mats_;
  std::vector<std::string> files_;
};

TEST_F(SaveFig, DataBoxCornersAxesAndMargins) {
  fig_ = vlp_subplots(1, 1);
  VlpCanvas *can = vlp_set_canvas(fig_, 0);
  vlp_scatter(can, V({0, 1}), V({0, 1}));
  vlp_set_radius(can, 0, 4);
  vlp_set_color_alpha(can, 0, 255, 0, 0, 1.0);
  vlp_set_color_alpha_line(can, 0, 255, 0, 0, 1.0);
  const Png png = render(800, 600);
  // (min.x, min.y) at device (80, 540), (max.x, max.y) at (720, 60): the
  // 3.2 px circles there cover the four pixels meeting at each corner.
  for (int dx : {-1, 0})
    for (int dy : {-1, 0}) {
      EXPECT_EQ(png.at(80 + dx, 540 + dy), kRed);
      EXPECT_EQ(png.at(720 + dx, 60 + dy), kRed);
    }
  EXPECT_TRUE(png.white(726, 60) && png.white(720, 54));
  // Bottom and left axes, 2.4 px wide, centred on y 540 and x 80; no top or
  // right side.
  for (int i : {150, 300, 450}) {
    EXPECT_TRUE(png.at(i + 50, 539) == kBlack && png.at(i + 50, 540) == kBlack) << i;
    EXPECT_TRUE(png.at(79, i) == kBlack && png.at(80, i) == kBlack) << i;
    EXPECT_TRUE(png.white(i + 50, 536) && png.white(84, i)) << i;
  }
  EXPECT_TRUE(png.white(400, 60) && png.white(720, 300));
  for (auto [x, y] : std::vector<std::pair<int, int>>{
           {0, 0}, {799, 0}, {0, 599}, {799, 599}, {400, 20}, {770, 300}, {400, 300}})
    EXPECT_TRUE(png.white(x, y)) << x << "," << y;
  // The x tick at 0.5 points down: device x 400, 1.6 px wide, 9.6 px long.
  EXPECT_TRUE(png.grey(399, 546) < 60 && png.grey(400, 546) < 60 && png.white(402, 546));
}

class SaveFigGrid : public SaveFig, public ::testing::WithParamInterface<int> {};

TEST_P(SaveFigGrid, GridLinesOnlyForOne) {
  fig_ = vlp_subplots(1, 1);
  VlpCanvas *can = vlp_set_canvas(fig_, 0);
  vlp_xlim(can, 0, 1);
  vlp_ylim(can, 0, 1);
  vlp_set_grid(can, GetParam());
  const Png png = render(800, 600);
  // Vertical lines at x = 80 + 64 k (counted on row 230, between horizontal
  // ones), horizontal at y = 540 - 48 k (counted on column 368); the axes
  // themselves are left out of the ranges.
  const int want = GetParam() == 1 ? 10 : 0;
  EXPECT_EQ(png.runs(230, 85, 790, true), want);
  EXPECT_EQ(png.runs(368, 40, 535, false), want);
  if (GetParam() == 1) {  // faint: alpha 0.2 over white
    EXPECT_LT(std::min(png.grey(144, 230), png.grey(143, 230)), 250);
    EXPECT_GT(png.grey(144, 230) + png.grey(143, 230), 2 * 200);
  }
}

INSTANTIATE_TEST_SUITE_P(Values, SaveFigGrid, ::testing::Values(0, 1, 2));

TEST_F(SaveFig, ImageCellsAndColourBar) {
  fig_ = vlp_subplots(1, 1);
  vlp_imshow(vlp_set_canvas(fig_, 0), M(1, 3, {0, 5, 10}));
  const Png png = render(800, 600);
  // Cells centred on data x 0, 1, 2 (device x 187, 400, 613), y 0 (300);
  // black outline between the middle and right cells at x 506.4.
  EXPECT_EQ(png.at(187, 300), kBlack);
  EXPECT_EQ(png.at(400, 300), (Rgb{127, 0, 0}));
  EXPECT_EQ(png.at(613, 300), kRed);
  EXPECT_LT(png.grey(506, 300), 60);
  // The bar: x from 732.8 to 745.6; the step of 5.0 spans y 535.2 to 540.
  EXPECT_EQ(png.at(739, 537), (Rgb{127, 0, 0}));
  EXPECT_TRUE(png.white(728, 537) && png.white(725, 400));
  // Steps past the hundredth sample above the largest value: top colour.
  EXPECT_EQ(png.at(739, 70), kRed);
}

TEST_F(SaveFig, NanCellsKeepTheirOutlineAndFlatImagesDraw) {
  fig_ = vlp_subplots(1, 2);
  vlp_imshow(vlp_set_canvas(fig_, 0), M(1, 3, {0, kNaN, 10}));
  vlp_imshow(vlp_set_canvas(fig_, 1), M(1, 1, {7}));
  const Png png = render(800, 600);
  // The NaN cell (centre of the left canvas) has no fill but its outline:
  // dark on its top edge at y 60, like the neighbour's.
  EXPECT_TRUE(png.white(200, 300) && png.white(200, 62));
  EXPECT_LT(png.grey(200, 60), 200);
  EXPECT_LT(png.grey(93, 60), 200);
  EXPECT_EQ(png.at(93, 300), kBlack);
  EXPECT_EQ(png.at(307, 300), kRed);
  EXPECT_EQ(png.at(600, 300), kRed);  // equal palette values: upper colour
}

TEST_F(SaveFig, ScatterFillAndOutline) {
  fig_ = vlp_subplots(1, 1);
  VlpCanvas *can = vlp_set_canvas(fig_, 0);
  vlp_scatter(can, V({0, 5, 10}), V({0, 5, 10}));
  vlp_set_radius(can, 0, 20);     // 16 px
  vlp_set_linewidth(can, 0, 10);  // 8 px; its outer half shows, 16 to 20 px
  vlp_set_color_alpha(can, 0, 0, 0, 255, 1.0);
  vlp_set_color_alpha_line(can, 0, 0, 255, 0, 1.0);
  const Png png = render(800, 600);
  const Rgb blue = {0, 0, 255}, green = {0, 255, 0};
  EXPECT_TRUE(png.at(400, 300) == blue && png.at(412, 300) == blue);
  EXPECT_TRUE(png.at(417, 300) == green && png.at(400, 282) == green);
  EXPECT_TRUE(png.white(425, 300) && png.white(400, 275));
}

TEST_F(SaveFig, CanvasesInTheirCellsAndLayoutWritten) {
  fig_ = vlp_subplots(2, 3);
  const Rgb colours[6] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255},
                          {255, 255, 0}, {0, 255, 255}, {255, 0, 255}};
  for (int i = 0; i < 6; i++) {
    VlpCanvas *can = vlp_set_canvas(fig_, i);
    vlp_scatter(can, V({1.0 * i}), V({-2.0 * i}));  // equal limits: padded
    vlp_set_radius(can, 0, 30);
    vlp_set_color_alpha(can, 0, colours[i].r, colours[i].g, colours[i].b, 1.0);
    can->row = can->col = can->index = -7;
  }
  const Png png = render(900, 600);
  for (int i = 0; i < 6; i++) {
    const VlpCanvas *can = &fig_->p_r_canvas[i];
    EXPECT_TRUE(can->row == 2 && can->col == 3 && can->index == i) << i;
    // hw = hh = 150: the point at the cell centre, axes 120 px from it.
    const int cx = 150 + 300 * (i % 3), cy = 150 + 300 * (i / 3);
    EXPECT_EQ(png.at(cx, cy), colours[i]) << i;
    EXPECT_TRUE(png.at(cx - 120, cy) == kBlack && png.at(cx, cy + 119) == kBlack) << i;
  }
}

TEST_F(SaveFig, CanvasWithoutLimitsIsBlankAndUnknownKindsShowAxesOnly) {
  fig_ = vlp_subplots(2, 2);
  VlmVector *x = V({0, 1}), *y = V({0, 1});
  vlp_plot(vlp_set_canvas(fig_, 0), x, y);
  vlp_scatter(vlp_set_canvas(fig_, 1), x, y);
  vlp_allocation(vlp_set_canvas(fig_, 2), x, y, nullptr, VLP_CONTOUR);
  const Png png = render(800, 600);
  EXPECT_EQ(png.dark_in(400, 300, 800, 600), 0);
  // Contour canvas (bottom left): box x 40..360, y 330..570, empty inside.
  EXPECT_TRUE(png.at(200, 569) == kBlack && png.at(40, 450) == kBlack);
  EXPECT_TRUE(png.white(200, 450));
}

TEST_F(SaveFig, DegenerateLimitsFinishQuickly) {
  fig_ = vlp_subplots(1, 4);
  VlpCanvas *a = vlp_set_canvas(fig_, 0);
  vlp_plot(a, V({1, 2}), V({3, 4}));
  vlp_xlim(a, 1e20, 1e20 + 1e4);  // x tick step below one ulp
  VlpCanvas *b = vlp_set_canvas(fig_, 1);
  vlp_imshow(b, M(2, 2, {1, 2, 3, 4}));
  vlp_ylim(b, 1e18, 1e18 + 1);  // colour bar step lost against its offset
  vlp_plot(vlp_set_canvas(fig_, 2), V({kNaN, 1, 2}), V({0, 1, 2}));  // NaN limit
  VlmMatrix *wide = M(1, 2, {0, 10});
  vlp_imshow(vlp_set_canvas(fig_, 3), wide);
  wide->r_shape[0] = wide->r_shape[1] = 1 << 30;  // describes cells the block does not hold
  const auto t0 = std::chrono::steady_clock::now();
  const Png png = render(800, 200);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 5.0);
  EXPECT_EQ(png.dark_in(400, 0, 600, 200), 0);
}

TEST_F(SaveFig, ColourBarOfAShortBox) {
  fig_ = vlp_subplots(1, 2);
  // 0 to 1e-4: half a million steps from half a unit below; the last hundred
  // or so lie in the box and sample far above the largest value.
  VlpCanvas *a = vlp_set_canvas(fig_, 0);
  vlp_imshow(a, M(1, 2, {0, 10}));
  vlp_ylim(a, 0, 1e-4);
  // Reversed and less than half a unit apart: the steps walk away for ever.
  VlpCanvas *b = vlp_set_canvas(fig_, 1);
  vlp_imshow(b, M(1, 2, {0, 10}));
  vlp_ylim(b, 0.3, 0);
  const auto t0 = std::chrono::steady_clock::now();
  const Png png = render(1600, 600);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 5.0);
  // Left canvas as in an 800 x 600 window: the strip spans x 732.8 to 745.6,
  // red steps 4.8 px high between thin outlines over the box's height.
  int red = 0;
  for (int y = 60; y < 540; y++) red += png.at(739, y) == kRed;
  EXPECT_GT(red, 300);
}

// A large PNG is drawn and compressed in bands of rows: its pixels are those
// of the figure drawn onto one whole surface. In one row of canvases, so
// that every band cuts through each: an image of more cells than pixels with
// NaN cells and its colour bar, a scatter, a line over a grid, a small image.
class SaveFigBands : public SaveFig, public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(SaveFigBands, HaveThePixelsOfOneSurface) {
  const auto [w, h] = GetParam();
  fig_ = vlp_subplots(1, 4);
  std::vector<double> cells(60 * 200), xs(500), ys(500);
  for (size_t i = 0; i < cells.size(); i++) cells[i] = i % 37 == 0 ? kNaN : std::sin(0.37 * i) * 5 + 2;
  for (size_t i = 0; i < xs.size(); i++) xs[i] = std::fmod(0.618 * i, 1.0), ys[i] = std::cos(1.3 * i);
  vlp_imshow(vlp_set_canvas(fig_, 0), M(60, 200, cells));
  vlp_scatter(vlp_set_canvas(fig_, 1), V(xs), V(ys));
  vlp_plot(vlp_set_canvas(fig_, 2), V(xs), V(ys));
  vlp_set_grid(vlp_set_canvas(fig_, 2), TRUE);
  vlp_imshow(vlp_set_canvas(fig_, 3), M(40, 60, std::vector<double>(cells.begin(), cells.begin() + 2400)));
  const Png png = render(w, h);

  cairo_surface_t *whole = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t *cr = cairo_create(whole);
  vlp_place_canvases(fig_);
  vlp_draw_figure(cr, fig_, w, h);
  cairo_destroy(cr);
  cairo_surface_flush(whole);
  int differ = 0;
  for (int y = 0; y < h; y++) {
    auto row = reinterpret_cast<const uint32_t *>(cairo_image_surface_get_data(whole) +
                                                  y * cairo_image_surface_get_stride(whole));
    for (int x = 0; x < w; x++) differ += row[x] != png.px[static_cast<size_t>(y) * w + x];
  }
  cairo_surface_destroy(whole);
  EXPECT_EQ(differ, 0);
}

// One band below 2^19 pixels, then 2, 4 and 8 bands; uneven band heights.
INSTANTIATE_TEST_SUITE_P(Sizes, SaveFigBands,
                         ::testing::Values(std::pair{801, 599}, std::pair{1031, 601}, std::pair{257, 4101},
                                           std::pair{1500, 1400}, std::pair{4000, 141}));

TEST_F(SaveFig, FormatsByExtensionAndStatusCodes) {
  fig_ = vlp_subplots(1, 2);
  vlp_plot(vlp_set_canvas(fig_, 0), V({0, 1, 2}), V({2, 0, 1}));
  vlp_imshow(vlp_set_canvas(fig_, 1), M(2, 2, {1, 2, 3, 4}));
  auto slurp = [](const std::string &f) {
    std::ifstream in(f, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::string svg = path("fig.SVG"), pdf = path("fig.Pdf"), png = path("fig.PnG");
  ASSERT_EQ(vlp_savefig(fig_, svg.c_str(), 640, 320), VLP_SAVEFIG_OK);
  ASSERT_EQ(vlp_savefig(fig_, pdf.c_str(), 640, 320), VLP_SAVEFIG_OK);
  ASSERT_EQ(vlp_savefig(fig_, png.c_str(), 64, 32), VLP_SAVEFIG_OK);
  const std::string s = slurp(svg), p = slurp(pdf);
  EXPECT_EQ(s.rfind("<?xml", 0), 0u);
  EXPECT_NE(s.find("width=\"640"), std::string::npos);
  EXPECT_NE(s.find("</svg>", s.size() - 16), std::string::npos);
  EXPECT_EQ(p.rfind("%PDF-", 0), 0u);
  EXPECT_NE(p.find("/MediaBox [ 0 0 640 320 ]"), std::string::npos);
  EXPECT_NE(p.find("%%EOF", p.size() - 16), std::string::npos);
  EXPECT_EQ(slurp(png).substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));

  const std::string missing = "/nonexistent-velta-dir/";
  const std::vector<std::tuple<std::string, int, int, int>> cases = {
      {path("a.jpg"), 10, 10, VLP_SAVEFIG_BAD_EXTENSION},
      {path("noext"), 10, 10, VLP_SAVEFIG_BAD_EXTENSION},
      {path("dir.png") + "/x", 10, 10, VLP_SAVEFIG_BAD_EXTENSION},
      {path("a.png."), 10, 10, VLP_SAVEFIG_BAD_EXTENSION},
      {path("z.png"), 0, 10, VLP_SAVEFIG_BAD_SIZE},
      {path("z.svg"), 10, -1, VLP_SAVEFIG_BAD_SIZE},
      {missing + "a.png", 10, 10, VLP_SAVEFIG_WRITE_ERROR},
      {missing + "a.svg", 10, 10, VLP_SAVEFIG_WRITE_ERROR},
      {missing + "a.pdf", 10, 10, VLP_SAVEFIG_WRITE_ERROR},
      {path("w.png"), VLP_PNG_MAX_SIZE + 1, 10, VLP_SAVEFIG_TOO_LARGE},
      {path("h.svg"), 10, VLP_VECTOR_MAX_SIZE + 1, VLP_SAVEFIG_TOO_LARGE},
      {path("w.pdf"), VLP_VECTOR_MAX_SIZE + 1, 600, VLP_SAVEFIG_TOO_LARGE},
  };
  for (const auto &[name, w, h, status] : cases) {
    EXPECT_EQ(vlp_savefig(fig_, name.c_str(), w, h), status) << name;
    EXPECT_NE(access(name.c_str(), F_OK), 0) << name << " should not exist";
  }
}

}  // namespace
