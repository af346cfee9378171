// Vector operations of the numeric core: what the Python binding cannot
// reach (variadic constructors, arguments the binding refuses, bit patterns)
// and the sort across its size thresholds.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

#include "test_util.h"
#include "vlm.h"

namespace {

using namespace velta_test;

TEST(VlmVectorBasics, ValuesFromVariableArgumentsAndArray) {
  Vec v(vlm_vector_new_values(3, 1.5, -2.0, 3.25));
  expect_same(elements(v.get()), {1.5, -2.0, 3.25});
  const double arr[] = {4.0, 5.0};
  Vec w(vlm_vector_new_values_array(2, arr));
  expect_same(elements(w.get()), {4.0, 5.0});
  Vec e(vlm_vector_new_values_array(0, nullptr));
  EXPECT_EQ(e->size, 0);
  // Either side of the size from which blocks take huge pages (32 MiB).
  for (int n : {(4 << 20) - 1, (4 << 20) + 3}) {
    std::mt19937_64 gen(static_cast<unsigned>(n));
    std::vector<double> big(static_cast<std::size_t>(n));
    for (auto &x : big) x = from_bits(gen());
    Vec b(vlm_vector_new_values_array(n, big.data()));
    ASSERT_NE(b, nullptr);
    expect_bits(elements(b.get()), big);
  }
}

// Empty records still own a block, so that growth and release work on them.
TEST(VlmVectorBasics, EmptyVectorsKeepABlock) {
  Vec v(vlm_vector_new_zero(0)), w(vlm_vector_new(0));
  EXPECT_NE(v->p_r_nums, nullptr);
  vlm_vector_append_vector(v.get(), w.get());
  EXPECT_EQ(v->size, 0);
  EXPECT_NE(v->p_r_nums, nullptr);
  Vec neg(vlm_vector_new(-3));  // a negative size is an empty vector
  EXPECT_EQ(neg->size, 0);
}

// Indexes the binding refuses: reads give NaN, writes and searches touch
// nothing outside the block.
TEST(VlmVectorBasics, IndexesOutsideTheVectorAreHarmless) {
  Vec v = make_vector({1, 2, 3});
  for (int bad : {3, 4, -1, INT_MAX, INT_MIN}) {
    EXPECT_EQ(vlm_vector_set_item(v.get(), bad, 99.0), nullptr);
    EXPECT_TRUE(std::isnan(vlm_vector_get_item(v.get(), bad))) << bad;
  }
  expect_same(elements(v.get()), {1, 2, 3});
  EXPECT_EQ(vlm_vector_isexist(v.get(), -5, 10, 3.0), 1);
  EXPECT_EQ(vlm_vector_isexist(v.get(), INT_MIN, INT_MAX, 99.0), 0);
  EXPECT_EQ(vlm_vector_isexist(v.get(), 3, INT_MAX, 3.0), 0);
}

// ---- generated sequences ----------------------------------------------------

struct SequenceCase {
  const char *name;
  std::function<VlmVector *()> make;
  std::vector<double> want;
};

TEST(VlmVectorSequences, ValuesBitForBit) {
  const std::vector<SequenceCase> cases = {
      // linspace: the -1.3 .. 2.9 case tells the quotient-first order
      // (i / size) * span + min from i * span / size and from
      // min + i * (span / size).
      {"linspace -1.3..2.9", [] { return vlm_vector_new_linspace(-1.3, 2.9, 9); },
       {-1.3, -0.8333333333333334, -0.3666666666666667, 0.09999999999999987, 0.5666666666666667,
        1.0333333333333334, 1.4999999999999998, 1.966666666666667, 2.4333333333333336}},
      {"linspace 0.3..1.1", [] { return vlm_vector_new_linspace(0.3, 1.1, 7); },
       {0.3, 0.41428571428571426, 0.5285714285714286, 0.6428571428571428, 0.7571428571428571, 0.8714285714285714,
        0.9857142857142858}},
      {"linspace one", [] { return vlm_vector_new_linspace(3, 7, 1); }, {3}},
      {"linspace none", [] { return vlm_vector_new_linspace(3, 7, 0); }, {}},
      {"linspace down", [] { return vlm_vector_new_linspace(2, 1, 2); }, {2, 1.5}},
      {"arange negative start", [] { return vlm_vector_new_arange(-3, 2, 2); }, {-3, -1, 1}},
      // A step that never moves forward gives nothing instead of looping.
      {"arange step 0", [] { return vlm_vector_new_arange(0, 0, 3); }, {}},
      {"arange step -1", [] { return vlm_vector_new_arange(0, -1, 3); }, {}},
      // Running values past INT_MAX stay exact and end the range.
      {"arange to INT_MAX", [] { return vlm_vector_new_arange(INT_MAX - 2, 1, INT_MAX); },
       {INT_MAX - 2.0, INT_MAX - 1.0, double(INT_MAX)}},
      {"arange INT_MAX step", [] { return vlm_vector_new_arange(INT_MAX, INT_MAX, INT_MAX); }, {double(INT_MAX)}},
      {"arange_double one", [] { return vlm_vector_new_arange_double(2, 1, 2); }, {2}},
      {"arange_double NaN max", [] { return vlm_vector_new_arange_double(0, 1, kNaN); }, {}},
      {"arange_double first sum past max", [] { return vlm_vector_new_arange_double(1, 2e-16, 1); }, {1}},
      {"arange_double 2^53", [] { return vlm_vector_new_arange_double(0x1p53, 1.5, 0x1p53); }, {0x1p53}},
      // Steps and ranges the running sum could not cross in int-many steps,
      // or at all, give nothing instead of looping.
      {"arange_double step 0", [] { return vlm_vector_new_arange_double(0, 0, 1); }, {}},
      {"arange_double step < 0", [] { return vlm_vector_new_arange_double(0, -0.5, 1); }, {}},
      {"arange_double NaN step", [] { return vlm_vector_new_arange_double(0, kNaN, 1); }, {}},
      {"arange_double tiny step", [] { return vlm_vector_new_arange_double(0, 1e-300, 1); }, {}},
      {"arange_double stuck sum", [] { return vlm_vector_new_arange_double(1e20, 1, 1e20 + 1e6); }, {}},
      {"arange_double to inf", [] { return vlm_vector_new_arange_double(0, 1, kInf); }, {}},
      {"arange_double from -inf", [] { return vlm_vector_new_arange_double(-kInf, 1, 0); }, {}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    Vec v(c.make());
    ASSERT_NE(v, nullptr);
    expect_same(elements(v.get()), c.want);
  }
}

// The one-addition-at-a-time count, for ranges that end within limit steps.
long long naive_arange_count(double min, double step, double max, long long limit) {
  long long n = 0;
  double s = min;
  do {
    const double next = s + step;
    if (next == s) return -1;
    s = next;
    ++n;
  } while (s <= max && n < limit);
  return s <= max ? -3 : n;
}

// The range count jumps along binades; it must agree with the plain loop
// across binade edges, zero, subnormals and steps that tie at half a unit.
TEST(VlmVectorSequences, ArangeDoubleCountMatchesThePlainLoop) {
  struct Range {
    double min, step, max;
  };
  std::vector<Range> ranges = {
      {1.0, 2e-16, 1.0},          {9007199254740992.0, 1.5, 9007199254740992.0},
      {1e6, 1e-10, 1e6 + 1e-9},   {-3.0, 0x1p-36, -2.9999},
      {-1e-6, 1e-12, 1e-6},       {-0x1p-1060, 0x1p-1074, 0x1p-1065},
      {0.5, 0x1.8p-53, 0.5 + 1e-11}, {1.0, 0x1.8p-52, 1.0 + 1e-10},
      {0x1p52 - 7, 0.5, 0x1p52 + 9}, {0x1p53 - 40, 1.5, 0x1p53 + 100},
  };
  std::mt19937_64 gen(7);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_int_distribution<int> expo(-60, 60);
  for (int i = 0; i < 300; ++i) {
    const double min = std::ldexp(unit(gen), expo(gen));
    const double ulp = std::nextafter(std::fabs(min), INFINITY) - std::fabs(min);
    const double step = ulp * (0.5 + std::floor(std::fabs(unit(gen)) * 8) * 0.5);  // whole and half units
    ranges.push_back({min, step, min + step * 20000 * std::fabs(unit(gen))});
  }
  for (const auto &r : ranges) {
    SCOPED_TRACE(::testing::Message() << std::hexfloat << r.min << " " << r.step << " " << r.max);
    const long long want = naive_arange_count(r.min, r.step, r.max, 50000000);
    ASSERT_NE(want, -3) << "case too long for the plain loop";
    EXPECT_EQ(vlm_arange_double_count(r.min, r.step, r.max), want);
  }
  EXPECT_EQ(vlm_arange_double_count(0, 1e-9, 3), -2);
  EXPECT_EQ(vlm_arange_double_count(1e20, 1, 2e20), -1);
  EXPECT_EQ(vlm_arange_double_count(-1.7e308, INFINITY, 1.7e308), -3);
}

TEST(VlmRandom, LaterDrawsDoNotReseed) {
  vlm_random(0, 1);  // the first draw of the process, if not done before
  // Draws made after a known seed follow the generator without reseeding:
  // with min 0 and max 32767 every draw is the 15-bit integer itself.
  std::srand(12345u);
  std::vector<double> got;
  for (int i = 0; i < 20; ++i) got.push_back(vlm_random(0.0, 32767.0));
  std::srand(12345u);
  std::vector<double> again;
  for (int i = 0; i < 20; ++i) again.push_back(vlm_random(0.0, 32767.0));
  EXPECT_EQ(got, again);
  for (double x : got) {
    EXPECT_EQ(x, std::floor(x));
    EXPECT_GE(x, 0.0);
    EXPECT_LE(x, 32767.0);
  }
}

// ---- queries -------------------------------------------------------------------

// Equal values never replace the running one, so the sign of a zero depends
// on which comes first.
TEST(VlmVectorMinMax, SignedZerosAndInfinities) {
  Vec a = make_vector({0.0, -0.0}), b = make_vector({-0.0, 0.0}), c = make_vector({-kInf, kInf});
  expect_same({vlm_vector_min(a.get()), vlm_vector_max(a.get())}, {0.0, 0.0});
  expect_same({vlm_vector_min(b.get()), vlm_vector_max(b.get())}, {-0.0, -0.0});
  expect_same({vlm_vector_min(c.get()), vlm_vector_max(c.get())}, {-kInf, kInf});
  Vec e(vlm_vector_new(0));
  EXPECT_TRUE(std::isnan(vlm_vector_min(e.get())));
  EXPECT_TRUE(std::isnan(vlm_vector_max(e.get())));
}

// ---- sort ------------------------------------------------------------------------

TEST(VlmVectorSort, NaNsGoLastKeepingTheirBitsAndOrder) {
  const double neg_nan = -kNaN;
  Vec v = make_vector({kNaN, 2, neg_nan, -1, kNaN, 0});
  vlm_vector_sort(v.get());
  expect_bits(elements(v.get()), {-1, 0, 2, kNaN, neg_nan, kNaN});
  Vec w = make_vector({kInf, -kInf, 0, -1e-310, 1e-310});
  vlm_vector_sort(w.get());
  expect_bits(elements(w.get()), {-kInf, -1e-310, 0, 1e-310, kInf});
}

// Zeros of both signs compare equal; they come out in one consistent order
// (negative first) whichever sort handles the size.
TEST(VlmVectorSort, SignedZerosInOneOrderForSmallAndLargeInputs) {
  for (int n : {6, 2000}) {
    std::vector<double> in;
    for (int i = 0; i < n; ++i) in.push_back(i % 2 ? -0.0 : 0.0);
    Vec v = make_vector(in);
    vlm_vector_sort(v.get());
    std::vector<double> want(static_cast<std::size_t>(n / 2), -0.0);
    want.resize(static_cast<std::size_t>(n), 0.0);
    expect_bits(elements(v.get()), want);
  }
}

class VlmVectorSortRandom : public ::testing::TestWithParam<int> {};

// Compared with std::sort of the same values; sizes cross the switch
// between the small-input sort and the radix sort.
TEST_P(VlmVectorSortRandom, AgreesWithStdSortWithRepeatsAndNaNs) {
  const int n = GetParam();
  std::mt19937_64 gen(static_cast<unsigned>(n) * 7919u + 1);
  std::uniform_int_distribution<int> kind(0, 19);
  std::uniform_real_distribution<double> wide(-1e6, 1e6);
  std::uniform_int_distribution<std::uint64_t> any_bits;
  std::vector<double> in(static_cast<std::size_t>(n));
  for (auto &x : in) {
    const int k = kind(gen);
    if (k == 0)
      x = kNaN;
    else if (k < 6)
      x = static_cast<double>(static_cast<int>(wide(gen)) % 7);  // repeats
    else if (k < 9)
      x = from_bits(any_bits(gen));  // any pattern, NaNs included
    else
      x = wide(gen);
  }
  Vec v = make_vector(in);
  vlm_vector_sort(v.get());
  std::vector<double> got = elements(v.get());

  std::vector<double> plain;
  std::size_t nans = 0;
  for (double x : in) {
    if (std::isnan(x))
      ++nans;
    else
      plain.push_back(x);
  }
  std::sort(plain.begin(), plain.end());
  ASSERT_EQ(got.size(), in.size());
  for (std::size_t i = 0; i < plain.size(); ++i) ASSERT_EQ(got[i], plain[i]) << "index " << i;
  for (std::size_t i = plain.size(); i < got.size(); ++i) ASSERT_TRUE(std::isnan(got[i])) << "index " << i;
  EXPECT_EQ(got.size() - plain.size(), nans);
  // Nothing is lost or invented: the same multiset of bit patterns.
  std::vector<std::uint64_t> a, b;
  for (double x : in) a.push_back(bits_of(x));
  for (double x : got) b.push_back(bits_of(x));
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  EXPECT_EQ(a, b);
}

// Sizes either side of the radix sort and of each change of its digits
// (2^12 and 2^19 keys).
INSTANTIATE_TEST_SUITE_P(Sizes, VlmVectorSortRandom,
                         ::testing::Values(2, 3, 10, 100, 511, 512, 513, 4095, 4097, 200000, 600, 524287,
                                           524288));

}  // namespace
