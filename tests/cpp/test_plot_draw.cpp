// Mapping, palette lookup, tick guards, and the pictures vlp_savefig writes.
#include "vlp_draw.h"

#include <cairo-script.h>
#include <pango/pangocairo.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
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
// release them at the end so a leak checker reports only real leaks. Pango's
// font map, which holds cairo's faces, goes first. fontconfig is reached
// through cairo, so it is looked up rather than linked.
class CairoStaticData : public ::testing::Environment {
 public:
  void TearDown() override {
    pango_cairo_font_map_set_default(nullptr);
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
  // The picture through views (one per canvas), or through the canvases'
  // own limits.
  Png render(int w, int h, const VlpView *views = nullptr) {
    const std::string f = path("out.png");
    EXPECT_EQ(vlp_savefig_view(fig_, f.c_str(), VLP_FORMAT_PNG, w, h, views), VLP_SAVEFIG_OK);
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

TEST_F(SaveFig, AViewMovesTheAxesAndCutsTheSeriesButNotTheColourBar) {
  fig_ = vlp_subplots(1, 1);
  vlp_imshow(vlp_set_canvas(fig_, 0), M(1, 3, {0, 5, 10}));
  const Png records = render(800, 600);
  const VlpView inactive = {false, {0.5, -0.5}, {1.5, 0.5}};
  EXPECT_EQ(render(800, 600, &inactive).px, records.px);
  // The middle cell fills the box; the left one, uncut, would cover the
  // margin left of it.
  const VlpView view = {true, {0.5, -0.5}, {1.5, 0.5}};
  const Png png = render(800, 600, &view);
  for (int x : {100, 400, 700}) EXPECT_EQ(png.at(x, 300), (Rgb{127, 0, 0})) << x;
  EXPECT_TRUE(png.white(70, 310) && png.white(60, 200));
  // The bar where the canvas's limits put it (ImageCellsAndColourBar).
  for (auto [x, y] : std::vector<std::pair<int, int>>{{739, 537}, {739, 70}, {728, 537}, {760, 300}})
    EXPECT_EQ(png.at(x, y), records.at(x, y)) << x << "," << y;
}

TEST(FramePoint, InvertsTheMappingOfTheFrameAndItsView) {
  VlpCanvas can = VlpCanvas();
  can.row = can.col = 1;
  can.min = {0, 0};
  can.max = {10, 5};
  const VlpView view = {true, {-10, 0}, {10, 1}};
  const struct {
    const VlpView *view;
    double x, y, data_x, data_y;
  } cases[] = {{nullptr, 80, 540, 0, 0}, {nullptr, 720, 60, 10, 5}, {nullptr, 400, 300, 5, 2.5},
               {&view, 400, 300, 0, 0.5}, {&view, 80, 60, -10, 1}};
  for (const auto &c : cases) {
    VlpFrame f;
    ASSERT_TRUE(vlp_canvas_frame(&can, 800, 600, c.view, &f));
    const VlmCoordDouble p = vlp_frame_point(&f, c.x, c.y);
    EXPECT_DOUBLE_EQ(p.x, c.data_x) << c.x << "," << c.y;
    EXPECT_DOUBLE_EQ(p.y, c.data_y) << c.x << "," << c.y;
  }
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
  // Neither a contour (a matrix, but no palette) nor an unknown type is an image.
  EXPECT_EQ(vlp_series_keeps_matrix(VLP_CONTOUR) + vlp_series_keeps_matrix(99), 0);
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

// ---- texts of canvases ----

struct TextsCase {
  int w, h, rows, cols;
  bool all_shown;  // room for every text in every canvas
  const char *title;
};

class SaveFigTexts : public SaveFig, public ::testing::WithParamInterface<TextsCase> {};

// Every text and legend changes only pixels of its own canvas's cell that
// nothing else drew: outside the plot box none that the figure drew without
// texts, inside it (the legend) none of the frame's axes, ticks and labels.
TEST_P(SaveFigTexts, InTheMarginsAndTheBoxClearOfTheFrame) {
  const TextsCase &c = GetParam();
  const int n = c.rows * c.cols;
  auto make = [&](bool series) {
    if (fig_) vlp_figure_delete(fig_);
    fig_ = vlp_subplots(c.rows, c.cols);
    for (int i = 0; i < n; i++) {
      VlpCanvas *can = vlp_set_canvas(fig_, i);
      if (i == n - 1 && n > 1) {
        if (series) vlp_imshow(can, M(3, 4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
        vlp_xlim(can, -0.5, 3.5);
        vlp_ylim(can, -0.5, 2.5);
        continue;
      }
      if (series) {
        std::vector<double> x, y;
        for (int k = 0; k <= 40; k++) x.push_back(k * 0.15), y.push_back(std::sin(k * 0.15));
        vlp_plot(can, V(x), V(y));
        vlp_scatter(can, V({1, 2, 3}), V({-0.5, 0, 0.5}));
      }
      vlp_xlim(can, 0, 6);
      vlp_ylim(can, -1, 1);
    }
  };
  make(false);
  const Png frame = render(c.w, c.h);
  make(true);
  const Png plain = render(c.w, c.h);
  const char *locs[] = {"upper right", "lower left", "center", "upper left", "lower right"};
  for (int i = 0; i < n; i++) {
    VlpCanvas *can = vlp_set_canvas(fig_, i);
    vlp_set_title(can, c.title);
    vlp_set_xlabel(can, "time (s)");
    vlp_set_ylabel(can, "amplitude (µV)");
    vlp_set_label(can, 0, i == n - 1 && n > 1 ? "cells" : "sin t");
    if (can->numOfVec > 1) vlp_set_label(can, 1, "three points");
    vlp_set_legend(can, 1, locs[i % 5]);
  }
  const Png texts = render(c.w, c.h);
  // Per canvas: changed pixels above, below, left of and inside the box.
  std::vector<std::array<int, 4>> seen(n, {0, 0, 0, 0});
  for (int y = 0; y < c.h; y++)
    for (int x = 0; x < c.w; x++) {
      if (texts.at(x, y) == plain.at(x, y)) continue;
      int col = 0, row = 0, cx = 0, cy = 0, cw = 0, ch = 0;
      while (col + 1 < c.cols && (vlp_cell_span(c.w, c.cols, col + 1, &cx, &cw), cx <= x)) col++;
      while (row + 1 < c.rows && (vlp_cell_span(c.h, c.rows, row + 1, &cy, &ch), cy <= y)) row++;
      vlp_cell_span(c.w, c.cols, col, &cx, &cw);
      vlp_cell_span(c.h, c.rows, row, &cy, &ch);
      const int hw = c.w / (2 * c.cols), hh = c.h / (2 * c.rows);
      const int u = x - cx, v = y - cy;
      ASSERT_TRUE(u < 2 * hw && v < 2 * hh) << "outside the canvas at " << x << "," << y;
      const double bx0 = hw - 0.8 * hw, bx1 = hw + 0.8 * hw, by0 = hh - 0.8 * hh, by1 = hh + 0.8 * hh;
      const bool inside = u > bx0 && u < bx1 && v > by0 && v < by1;
      if (inside)
        ASSERT_TRUE(frame.white(x, y)) << "legend over the frame at " << x << "," << y;
      else
        ASSERT_TRUE(plain.white(x, y)) << "text over the figure at " << x << "," << y;
      auto &s = seen[row * c.cols + col];
      s[0] += v < by0;
      s[1] += v > by1;
      s[2] += u < bx0;
      s[3] += inside;
    }
  if (c.all_shown)
    for (int i = 0; i < n; i++)
      EXPECT_TRUE(seen[i][0] > 0 && seen[i][1] > 0 && seen[i][2] > 0 && seen[i][3] > 0) << i;
  // Empty (or null) texts and a hidden legend remove them all.
  for (int i = 0; i < n; i++) {
    VlpCanvas *can = vlp_set_canvas(fig_, i);
    for (auto set : {vlp_set_title, vlp_set_xlabel, vlp_set_ylabel}) set(can, i % 2 ? "" : nullptr);
    vlp_set_label(can, 0, "");
    vlp_set_label(can, 1, "");
    vlp_set_legend(can, 0, "center");
    EXPECT_EQ(can->p_labels, nullptr);
  }
  EXPECT_EQ(render(c.w, c.h).px, plain.px);
}

const char *const kLongTitle = "A title far too long for the canvas it is given, cut short";

INSTANTIATE_TEST_SUITE_P(
    Sizes, SaveFigTexts,
    ::testing::Values(TextsCase{200, 150, 1, 1, false, "Response"},
                      TextsCase{200, 150, 2, 2, false, "Response"},
                      TextsCase{320, 240, 1, 2, false, kLongTitle},
                      TextsCase{800, 600, 1, 1, true, "Response ∂y/∂t"},
                      TextsCase{800, 600, 2, 2, true, kLongTitle},
                      TextsCase{1200, 900, 2, 2, true, "Response"},
                      TextsCase{257, 1031, 3, 1, false, "Response"},
                      TextsCase{1600, 300, 1, 3, false, "Ответ"}));

// ---- image cells written into the pixels, against cairo's own drawing ----
//
// Drawn inside a group, a figure's cells go through cairo's stroke and fill
// (the group is not the picture's surface); the group, opaque, is then
// painted over unchanged. Drawn straight, in one, two or three bands of rows
// as the PNG export draws them, the pixels must be the same bytes.

struct CellsCase {
  const char *name;
  int rows, cols, w, h, width;
  int canvases;                  // in one row; the image in the last
  void (*adjust)(VlpCanvas *can);  // then applied to the image's canvas
};
void PrintTo(const CellsCase &c, std::ostream *os) { *os << c.name; }

std::vector<uint32_t> draw_in_bands(VlpFigure *fig, int w, int h, int bands, bool group) {
  std::vector<uint32_t> px(static_cast<size_t>(w) * h);
  for (int t = 0; t < bands; t++) {
    const int y0 = h * t / bands, y1 = h * (t + 1) / bands;
    cairo_surface_t *s = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char *>(px.data() + static_cast<size_t>(y0) * w),
        CAIRO_FORMAT_ARGB32, w, y1 - y0, w * 4);
    cairo_surface_set_device_offset(s, 0, -y0);
    cairo_t *cr = cairo_create(s);
    if (group) cairo_push_group(cr);
    vlp_draw_figure(cr, fig, w, h);
    if (group) {
      cairo_pop_group_to_source(cr);
      cairo_paint(cr);
    }
    EXPECT_EQ(cairo_status(cr), CAIRO_STATUS_SUCCESS);
    cairo_destroy(cr);
    cairo_surface_destroy(s);
  }
  return px;
}

class CellPixels : public ::testing::TestWithParam<CellsCase> {};

TEST_P(CellPixels, SameBytesAsCairoAtOneTwoAndThreeBands) {
  const CellsCase c = GetParam();
  VlpFigure *fig = vlp_subplots(1, c.canvases);
  std::vector<double> cells(static_cast<size_t>(c.rows) * c.cols);
  uint32_t seed = 12345;
  for (double &v : cells) {
    seed = seed * 1103515245u + 12345u;
    v = (seed >> 8) % 1000 == 0 ? kNaN : ((seed >> 8) & 0xffff) / 6553.6;
  }
  VlmMatrix *m = mat(c.rows, c.cols, cells);
  for (int i = 0; i + 1 < c.canvases; i++) {
    VlpCanvas *other = vlp_set_canvas(fig, i);
    vlp_imshow(other, m);
    vlp_set_linewidth(other, 0, i + 2);
  }
  VlpCanvas *can = vlp_set_canvas(fig, c.canvases - 1);
  vlp_imshow(can, m);
  vlp_set_linewidth(can, 0, c.width);
  if (c.adjust) c.adjust(can);
  vlp_place_canvases(fig);
  const std::vector<uint32_t> cairo = draw_in_bands(fig, c.w, c.h, 1, true);
  for (int bands : {1, 2, 3}) {
    const std::vector<uint32_t> straight = draw_in_bands(fig, c.w, c.h, bands, false);
    size_t first = 0;
    while (first < cairo.size() && cairo[first] == straight[first]) first++;
    EXPECT_EQ(first, cairo.size()) << c.name << ", " << bands << " bands: first difference at x "
                                   << first % c.w << ", y " << first / c.w;
  }
  vlp_figure_delete(fig);
  vlm_matrix_delete(m);
}

void three_colours_green_outline(VlpCanvas *can) {
  VlmColor *p = vlp_color_pallete_canvas_set_size(can, 0, 3);
  vlp_color_pallete_set(p, 0, 0, 0, 255, 1.0, 0.0);
  vlp_color_pallete_set(p, 1, 255, 255, 0, 1.0, 4.0);
  vlp_color_pallete_set(p, 2, 200, 30, 90, 1.0, 10.0);
  vlp_set_color_alpha_line(can, 0, 0, 255, 0, 1.0);
}
void reversed_limits(VlpCanvas *can) {
  vlp_xlim(can, 40, -3);
  vlp_ylim(can, 25, -2);
}
void zoomed_in(VlpCanvas *can) {
  vlp_xlim(can, 3.3, 7.9);
  vlp_ylim(can, -1.2, 4.1);
}
void image_line_image(VlpCanvas *can) {  // the line leaves round caps and bevel joins
  static VlmVector *const x = vec({0, 5, 9}), *const y = vec({1, 8, 2});  // kept for the run
  vlp_plot(can, x, y);
  vlp_imshow(can, can->p_r_mat[0]);
}
void translucent_entry(VlpCanvas *can) {
  VlmColor *p = vlp_color_pallete_canvas_set_size(can, 0, 2);
  vlp_color_pallete_set(p, 0, 0, 0, 0, 1.0, 0.0);
  vlp_color_pallete_set(p, 1, 255, 0, 0, 0.5, 10.0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CellPixels,
    ::testing::Values(
        CellsCase{"2 x 3, wide cells", 2, 3, 800, 600, 1, 1, nullptr},
        CellsCase{"50 x 50", 50, 50, 800, 600, 1, 1, nullptr},
        CellsCase{"400 x 400", 400, 400, 800, 600, 1, 1, nullptr},
        CellsCase{"800 x 800, cells below a pixel", 800, 800, 800, 600, 1, 1, nullptr},
        CellsCase{"odd sizes, width 3", 37, 53, 641, 397, 3, 1, nullptr},
        CellsCase{"no outline", 20, 30, 400, 300, 0, 1, nullptr},
        CellsCase{"outline wider than the cells", 10, 10, 300, 200, 17, 1, nullptr},
        CellsCase{"negative width", 6, 7, 300, 200, -4, 1, nullptr},
        CellsCase{"three colours, green outline", 30, 20, 500, 400, 2, 1,
                  three_colours_green_outline},
        CellsCase{"reversed limits", 25, 40, 600, 500, 1, 1, reversed_limits},
        CellsCase{"zoomed in past the box", 12, 15, 700, 500, 5, 1, zoomed_in},
        CellsCase{"four canvases in a row", 60, 90, 1001, 300, 1, 4, nullptr},
        CellsCase{"image, line, image (cairo draws the second)", 9, 11, 400, 300, 1, 1,
                  image_line_image},
        CellsCase{"translucent colour (cairo draws)", 9, 11, 400, 300, 1, 1,
                  translucent_entry}),
    [](const ::testing::TestParamInfo<CellsCase> &info) {
      std::string n = info.param.name;
      for (char &ch : n)
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return n;
    });

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
