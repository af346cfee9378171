// Mapping, palette lookup, tick guards, and the pictures vlp_savefig writes.
#include "vlp_draw.h"

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
#include <random>
#include <sstream>
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
  EXPECT_EQ(out.size, 42);
  // The prepared form used by the renderer agrees.
  VlmColor fast = {-1, -1, -1, -1.0, 0, 0};
  VlpPalleteLookup(p.data()).select(c.x, &fast);
  EXPECT_EQ(fast.r, out.r);
  EXPECT_EQ(fast.g, out.g);
  EXPECT_EQ(fast.b, out.b);
  EXPECT_EQ(fast.a, out.a);
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

// Literal lookup: sorted copy, last enclosing adjacent pair, highest-index
// entries, interpolation. Valid for pairwise distinct values spanning x.
VlmColor reference_lookup(double x, const std::vector<VlmColor> &p) {
  const int n = p[0].size;
  std::vector<double> s;
  for (int k = 0; k < n; k++) s.push_back(p[k].val);
  std::sort(s.begin(), s.end());
  int ia = -1, ib = -1;
  for (int k = 0; k + 1 < n; k++) {
    if (s[k] <= x && x <= s[k + 1]) {
      for (int e = 0; e < n; e++) {
        if (p[e].val == s[k]) ia = e;
        if (p[e].val == s[k + 1]) ib = e;
      }
    }
  }
  const VlmColor &A = p[ia], &B = p[ib];
  const double d = B.val - A.val, t = x - A.val;
  VlmColor o = {};
  o.r = static_cast<int>((static_cast<double>(B.r) - static_cast<double>(A.r)) / d * t + A.r);
  o.g = static_cast<int>((static_cast<double>(B.g) - static_cast<double>(A.g)) / d * t + A.g);
  o.b = static_cast<int>((static_cast<double>(B.b) - static_cast<double>(A.b)) / d * t + A.b);
  o.a = (B.a - A.a) / d * t + A.a;
  return o;
}

TEST(PalleteLookupRandom, MatchesLiteralLookupOnShuffledPalletes) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> chan(0, 255), count(2, 7);
  std::uniform_real_distribution<double> val(-50, 50), unit(0, 1);
  for (int trial = 0; trial < 300; trial++) {
    const int n = count(rng);
    std::vector<VlmColor> p(n);
    for (int k = 0; k < n; k++) p[k] = VlmColor{chan(rng), chan(rng), chan(rng), unit(rng), val(rng), 0};
    p[0].size = n;
    double lo = p[0].val, hi = p[0].val;
    for (const VlmColor &c : p) lo = std::min(lo, c.val), hi = std::max(hi, c.val);
    const VlpPalleteLookup prepared(p.data());
    std::vector<double> xs = {lo, hi};
    for (int k = 0; k < n; k++) xs.push_back(p[k].val);  // every boundary
    for (int k = 0; k < 20; k++) xs.push_back(lo + (hi - lo) * unit(rng));
    for (double x : xs) {
      VlmColor want = reference_lookup(x, p), got = {}, fast = {};
      vlp_select_color_pallete(&x, p.data(), &got);
      prepared.select(x, &fast);
      ASSERT_EQ(got.r, want.r) << "trial " << trial << " x " << x;
      ASSERT_EQ(got.g, want.g);
      ASSERT_EQ(got.b, want.b);
      ASSERT_EQ(got.a, want.a);
      ASSERT_EQ(fast.r, want.r);
      ASSERT_EQ(fast.a, want.a);
    }
  }
}

// ---- ticks ----

TEST(Ticks, ElevenFromZeroToOne) {
  VlmVector *t = vlp_ticks_new(0, 1);
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->size, 11);
  EXPECT_EQ(t->p_r_nums[0], 0.0);
  EXPECT_EQ(t->p_r_nums[3], 3 * 0.1);
  EXPECT_EQ(t->p_r_nums[10], 1.0);
  vlm_vector_delete(t);
}

TEST(Ticks, AxesWithoutTicks) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<std::pair<double, double>> cases = {
      {1, 0}, {kNaN, 1}, {0, kNaN}, {0, inf}, {-inf, 0},
      {1e20, 1e20 + 1e4},  // step below one unit in the last place
      {-1.7e308, 1.7e308}, // span overflows
  };
  for (auto [lo, hi] : cases) EXPECT_EQ(vlp_ticks_new(lo, hi), nullptr) << lo << " " << hi;
}

// ---- pictures ----

struct Png {
  int w = 0, h = 0;
  std::vector<uint32_t> px;
  struct Rgb {
    int r, g, b;
    bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
  };
  Rgb at(int x, int y) const {
    const uint32_t p = px[static_cast<size_t>(y) * w + x];
    return Rgb{static_cast<int>((p >> 16) & 255), static_cast<int>((p >> 8) & 255),
               static_cast<int>(p & 255)};
  }
  bool white(int x, int y) const { return at(x, y) == Rgb{255, 255, 255}; }
  int grey(int x, int y) const {
    const Rgb c = at(x, y);
    return (c.r + c.g + c.b) / 3;
  }
};

std::ostream &operator<<(std::ostream &os, const Png::Rgb &c) {
  return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}

class SaveFig : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velta-plot-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    fig_ = nullptr;
  }
  void TearDown() override {
    if (fig_) vlp_figure_delete(fig_);
    for (VlmVector *v : vecs_) vlm_vector_delete(v);
    for (VlmMatrix *m : mats_) vlm_matrix_delete(m);
    for (const std::string &f : files_) std::remove(f.c_str());
    rmdir(dir_.c_str());
  }
  VlmVector *V(std::vector<double> v) { return vecs_.emplace_back(vec(std::move(v))); }
  VlmMatrix *M(int r, int c, std::vector<double> v) {
    return mats_.emplace_back(mat(r, c, std::move(v)));
  }
  std::string path(const std::string &name) {
    files_.push_back(dir_ + "/" + name);
    return files_.back();
  }
  Png render(int w, int h) {
    const std::string f = path("out.png");
    EXPECT_EQ(vlp_savefig(fig_, f.c_str(), w, h), VLP_SAVEFIG_OK);
    cairo_surface_t *s = cairo_image_surface_create_from_png(f.c_str());
    Png png;
    EXPECT_EQ(cairo_surface_status(s), CAIRO_STATUS_SUCCESS);
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
      png.w = cairo_image_surface_get_width(s);
      png.h = cairo_image_surface_get_height(s);
      const int stride = cairo_image_surface_get_stride(s);
      const unsigned char *data = cairo_image_surface_get_data(s);
      png.px.resize(static_cast<size_t>(png.w) * png.h);
      for (int y = 0; y < png.h; y++) {
        const uint32_t *row = reinterpret_cast<const uint32_t *>(data + y * stride);
        std::copy(row, row + png.w, png.px.begin() + static_cast<long>(y) * png.w);
      }
    }
    cairo_surface_destroy(s);
    return png;
  }
  std::string slurp(const std::string &f) {
    std::ifstream in(f, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  std::string dir_;
  VlpFigure *fig_;
  std::vector<VlmVector *> vecs_;
  std::vector<VlmMatrix *> mats_;
  std::vector<std::string> files_;
};

const Png::Rgb kRed = {255, 0, 0};
const Png::Rgb kBlack = {0, 0, 0};

TEST_F(SaveFig, DataBoxCornersAxesAndMargins) {
  fig_ = vlp_subplots(1, 1);
  VlpCanvas *can = vlp_set_canvas(fig_, 0);
  vlp_scatter(can, V({0, 1}), V({0, 1}));
  vlp_set_radius(can, 0, 4);
  vlp_set_color_alpha(can, 0, 255, 0, 0, 1.0);
  vlp_set_color_alpha_line(can, 0, 255, 0, 0, 1.0);
  const Png png = render(800, 600);
  ASSERT_EQ(png.w, 800);
  ASSERT_EQ(png.h, 600);
  // (min.x, min.y) at device (80, 540), (max.x, max.y) at (720, 60): the
  // circles around them cover the four pixels meeting at each corner.
  for (int dx : {-1, 0})
    for (int dy : {-1, 0}) {
      EXPECT_EQ(png.at(80 + dx, 540 + dy), kRed);
      EXPECT_EQ(png.at(720 + dx, 60 + dy), kRed);
    }
  EXPECT_TRUE(png.white(726, 60));
  EXPECT_TRUE(png.white(720, 54));
  // Bottom and left axis lines, 2.4 pixels wide, centred on 540 and 80.
  for (int x : {200, 400, 600}) {
    EXPECT_EQ(png.at(x, 539), kBlack) << x;
    EXPECT_EQ(png.at(x, 540), kBlack) << x;
    EXPECT_TRUE(png.white(x, 536)) << x;
  }
  for (int y : {150, 300, 450}) {
    EXPECT_EQ(png.at(79, y), kBlack) << y;
    EXPECT_EQ(png.at(80, y), kBlack) << y;
    EXPECT_TRUE(png.white(84, y)) << y;
  }
  // No top or right side; white margins and corners.
  EXPECT_TRUE(png.white(400, 60));
  EXPECT_TRUE(png.white(720, 300));
  for (auto [x, y] : std::vector<std::pair<int, int>>{{0, 0}, {799, 0}, {0, 599}, {799, 599},
                                                      {400, 20}, {770, 300}, {400, 300}})
    EXPECT_TRUE(png.white(x, y)) << x << "," << y;
  // The x tick at 0.5 points down out of the box: device x 400, 1.6 px wide
  // (pixels 399 and 400 each 80 % covered), 9.6 px long.
  for (int x : {399, 400}) EXPECT_LT(png.grey(x, 546), 60) << x;
  EXPECT_TRUE(png.white(402, 546));
}

class SaveFigGrid : public SaveFig, public ::testing::WithParamInterface<int> {};

TEST_P(SaveFigGrid, GridLinesOnlyForOne) {
  fig_ = vlp_subplots(1, 1);
  VlpCanvas *can = vlp_set_canvas(fig_, 0);
  vlp_xlim(can, 0, 1);
  vlp_ylim(can, 0, 1);
  vlp_set_grid(can, GetParam());
  const Png png = render(800, 600);
  // Along device row 230 (between horizontal grid lines) vertical lines sit
  // at x = 80 + 64 k; count the runs of non-white pixels right of the axis.
  int runs = 0;
  bool in_run = false;
  for (int x = 85; x < 790; x++) {
    const bool dark = !png.white(x, 230);
    if (dark && !in_run) runs++;
    in_run = dark;
  }
  // Down column 400 - 32 (between vertical lines) horizontal lines sit at
  // y = 540 - 48 k.
  int hruns = 0;
  in_run = false;
  for (int y = 40; y < 535; y++) {
    const bool dark = !png.white(368, y);
    if (dark && !in_run) hruns++;
    in_run = dark;
  }
  if (GetParam() == 1) {
    EXPECT_EQ(runs, 10);
    EXPECT_EQ(hruns, 10);
    // Faint: alpha 0.2 over white.
    EXPECT_GT(png.grey(144, 230) + png.grey(143, 230), 2 * 200);
    EXPECT_LT(std::min(png.grey(144, 230), png.grey(143, 230)), 250);
  } else {
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(hruns, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Values, SaveFigGrid, ::testing::Values(0, 1, 2));

TEST_F(SaveFig, ImageCellsAndColourBar) {
  fig_ = vlp_subplots(1, 1);
  vlp_imshow(vlp_set_canvas(fig_, 0), M(1, 3, {0, 5, 10}));
  const Png png = render(800, 600);
  // Cells centred on data x 0, 1, 2 (device x 187, 400, 613), y 0 (300).
  EXPECT_EQ(png.at(187, 300), kBlack);
  EXPECT_EQ(png.at(400, 300), (Png::Rgb{127, 0, 0}));
  EXPECT_EQ(png.at(613, 300), kRed);
  // Cell outline: black between the middle and right cells (x = 506.4).
  EXPECT_LT(png.grey(506, 300), 60);
  // The bar: x from 732.8 to 745.6; the step for 5.0 spans y 535.2 to 540.
  EXPECT_EQ(png.at(739, 537), (Png::Rgb{127, 0, 0}));
  EXPECT_TRUE(png.white(728, 537));
  EXPECT_TRUE(png.white(725, 400));
  // Steps above the hundredth sample beyond the largest value: top colour.
  EXPECT_EQ(png.at(739, 70), kRed);
}

TEST_F(SaveFig, NanCellsStayTransparentAndFlatImagesDraw) {
  fig_ = vlp_subplots(1, 2);
  vlp_imshow(vlp_set_canvas(fig_, 0), M(1, 3, {0, kNaN, 10}));
  vlp_imshow(vlp_set_canvas(fig_, 1), M(1, 1, {7}));
  const Png png = render(800, 600);
  // Left cell: 400 wide, hw = 200; the NaN cell is centred on x 200.
  EXPECT_TRUE(png.white(200, 300));
  EXPECT_EQ(png.at(93, 300), kBlack);
  EXPECT_EQ(png.at(307, 300), kRed);
  // One-element image: both palette values equal; drawn in the upper colour.
  EXPECT_EQ(png.at(600, 300), kRed);
}

TEST_F(SaveFig, ScatterFillAndOutline) {
  fig_ = vlp_subplots(1, 1);
  VlpCanvas *can = vlp_set_canvas(fig_, 0);
  vlp_scatter(can, V({0, 5, 10}), V({0, 5, 10}));
  vlp_set_radius(can, 0, 20);     // 16 px
  vlp_set_linewidth(can, 0, 10);  // 8 px, outer half visible: 16 to 20 px
  vlp_set_color_alpha(can, 0, 0, 0, 255, 1.0);
  vlp_set_color_alpha_line(can, 0, 0, 255, 0, 1.0);
  const Png png = render(800, 600);
  const Png::Rgb blue = {0, 0, 255}, green = {0, 255, 0};
  EXPECT_EQ(png.at(400, 300), blue);
  EXPECT_EQ(png.at(412, 300), blue);
  EXPECT_EQ(png.at(417, 300), green);
  EXPECT_EQ(png.at(400, 282), green);
  EXPECT_TRUE(png.white(425, 300));
  EXPECT_TRUE(png.white(400, 275));
}

TEST_F(SaveFig, LineSeriesAcrossTheBox) {
  fig_ = vlp_subplots(1, 1);
  VlpCanvas *can = vlp_set_canvas(fig_, 0);
  vlp_plot(can, V({0, 10}), V({5, 5}));
  vlp_ylim(can, 0, 10);
  vlp_set_color_alpha(can, 0, 0, 0, 255, 1.0);
  const Png png = render(800, 600);
  // Horizontal line at data y 5 (device y 300), 4 px wide.
  EXPECT_EQ(png.at(400, 299), (Png::Rgb{0, 0, 255}));
  EXPECT_EQ(png.at(400, 300), (Png::Rgb{0, 0, 255}));
  EXPECT_TRUE(png.white(400, 296));
  EXPECT_TRUE(png.white(400, 304));
}

TEST_F(SaveFig, CanvasesInTheirCellsAndLayoutWritten) {
  fig_ = vlp_subplots(2, 3);
  const Png::Rgb colours[6] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255},
                               {255, 255, 0}, {0, 255, 255}, {255, 0, 255}};
  for (int i = 0; i < 6; i++) {
    VlpCanvas *can = vlp_set_canvas(fig_, i);
    // One point: equal limits on both axes, drawn padded around it.
    vlp_scatter(can, V({1.0 * i}), V({-2.0 * i}));
    vlp_set_radius(can, 0, 30);
    vlp_set_color_alpha(can, 0, colours[i].r, colours[i].g, colours[i].b, 1.0);
    can->row = can->col = can->index = -7;
  }
  const Png png = render(900, 600);
  for (int i = 0; i < 6; i++) {
    const VlpCanvas *can = &fig_->p_r_canvas[i];
    EXPECT_EQ(can->row, 2);
    EXPECT_EQ(can->col, 3);
    EXPECT_EQ(can->index, i);
    const int cx = 150 + 300 * (i % 3), cy = 150 + 300 * (i / 3);
    EXPECT_EQ(png.at(cx, cy), colours[i]) << i;
    // hw = hh = 150: the axis box spans 120 px each way from the centre.
    EXPECT_EQ(png.at(cx - 120, cy), kBlack) << i;
    EXPECT_EQ(png.at(cx, cy + 119), kBlack) << i;
  }
}

TEST_F(SaveFig, CanvasWithoutLimitsIsBlankAndUnknownKindsShowAxesOnly) {
  fig_ = vlp_subplots(2, 2);
  VlmVector *x = V({0, 1}), *y = V({0, 1});
  vlp_plot(vlp_set_canvas(fig_, 0), x, y);
  vlp_scatter(vlp_set_canvas(fig_, 1), x, y);
  vlp_allocation(vlp_set_canvas(fig_, 2), x, y, nullptr, VLP_CONTOUR);
  const Png png = render(800, 600);
  int dark = 0;
  for (int yy = 300; yy < 600; yy++)
    for (int xx = 400; xx < 800; xx++) dark += !png.white(xx, yy);
  EXPECT_EQ(dark, 0);
  // Contour canvas (bottom left): hw = 200, hh = 150, box x 40..360, y 330..570.
  EXPECT_EQ(png.at(200, 569), kBlack);
  EXPECT_EQ(png.at(40, 450), kBlack);
  EXPECT_TRUE(png.white(200, 450));
}

TEST_F(SaveFig, DegenerateLimitsFinishQuickly) {
  fig_ = vlp_subplots(1, 3);
  VlpCanvas *a = vlp_set_canvas(fig_, 0);
  vlp_plot(a, V({1, 2}), V({3, 4}));
  vlp_xlim(a, 1e20, 1e20 + 1e4);  // no ticks on x
  VlpCanvas *b = vlp_set_canvas(fig_, 1);
  vlp_imshow(b, M(2, 2, {1, 2, 3, 4}));
  vlp_ylim(b, 1e18, 1e18 + 1);  // colour bar step lost against its offset
  VlpCanvas *c = vlp_set_canvas(fig_, 2);
  vlp_plot(c, V({kNaN, 1, 2}), V({0, 1, 2}));  // NaN limits: blank
  const auto t0 = std::chrono::steady_clock::now();
  const Png png = render(600, 200);
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(secs, 5.0);
  int dark = 0;
  for (int yy = 0; yy < 200; yy++)
    for (int xx = 400; xx < 600; xx++) dark += !png.white(xx, yy);
  EXPECT_EQ(dark, 0);
}

TEST_F(SaveFig, VectorFormatsAreComplete) {
  fig_ = vlp_subplots(1, 2);
  vlp_plot(vlp_set_canvas(fig_, 0), V({0, 1, 2}), V({2, 0, 1}));
  vlp_imshow(vlp_set_canvas(fig_, 1), M(2, 2, {1, 2, 3, 4}));
  const std::string svg = path("fig.SVG"), pdf = path("fig.Pdf"), png = path("fig.PnG");
  ASSERT_EQ(vlp_savefig(fig_, svg.c_str(), 640, 320), VLP_SAVEFIG_OK);
  ASSERT_EQ(vlp_savefig(fig_, pdf.c_str(), 640, 320), VLP_SAVEFIG_OK);
  ASSERT_EQ(vlp_savefig(fig_, png.c_str(), 64, 32), VLP_SAVEFIG_OK);
  const std::string s = slurp(svg), p = slurp(pdf), n = slurp(png);
  EXPECT_EQ(s.rfind("<?xml", 0), 0u);
  EXPECT_NE(s.find("<svg"), std::string::npos);
  EXPECT_NE(s.find("width=\"640"), std::string::npos);
  EXPECT_NE(s.find("</svg>"), std::string::npos);
  EXPECT_EQ(p.rfind("%PDF-", 0), 0u);
  EXPECT_NE(p.find("%%EOF", p.size() > 32 ? p.size() - 32 : 0), std::string::npos);
  EXPECT_NE(p.find("/MediaBox [ 0 0 640 320 ]"), std::string::npos);
  EXPECT_EQ(n.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
}

TEST_F(SaveFig, StatusCodes) {
  fig_ = vlp_subplots(1, 1);
  vlp_plot(vlp_set_canvas(fig_, 0), V({0, 1}), V({0, 1}));
  struct Case {
    std::string name;
    int w, h, status;
  };
  const std::string missing = "/nonexistent-velta-dir/";
  const std::vector<Case> cases = {
      {path("a.jpg"), 10, 10, VLP_SAVEFIG_BAD_EXTENSION},
      {path("noext"), 10, 10, VLP_SAVEFIG_BAD_EXTENSION},
      {path("dir.png") + "/x", 10, 10, VLP_SAVEFIG_BAD_EXTENSION},
      {path("a.png."), 10, 10, VLP_SAVEFIG_BAD_EXTENSION},
      {path("z.png"), 0, 10, VLP_SAVEFIG_BAD_SIZE},
      {path("z.svg"), 10, -1, VLP_SAVEFIG_BAD_SIZE},
      {missing + "a.png", 10, 10, VLP_SAVEFIG_WRITE_ERROR},
      {missing + "a.svg", 10, 10, VLP_SAVEFIG_WRITE_ERROR},
      {missing + "a.pdf", 10, 10, VLP_SAVEFIG_WRITE_ERROR},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(vlp_savefig(fig_, c.name.c_str(), c.w, c.h), c.status) << c.name;
    EXPECT_NE(access(c.name.c_str(), F_OK), 0) << c.name << " should not exist";
  }
}

}  // namespace
