// Vector operations of the numeric core.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "vlm.h"

namespace {

struct VecDeleter {
  void operator()(VlmVector *v) const { vlm_vector_delete(v); }
};
using Vec = std::unique_ptr<VlmVector, VecDeleter>;

Vec make(std::vector<double> values) {
  return Vec(vlm_vector_new_from_array(values.data(), static_cast<int>(values.size())));
}

std::vector<double> elements(const VlmVector *v) { return std::vector<double>(v->p_r_nums, v->p_r_nums + v->size); }

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

std::uint64_t bits_of(double d) {
  std::uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

// Element-wise identity of doubles, bit for bit (tells -0.0 from 0.0).
void expect_same_bits(const std::vector<double> &got, const std::vector<double> &want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i)
    EXPECT_EQ(bits_of(got[i]), bits_of(want[i])) << "index " << i << ": " << got[i] << " vs " << want[i];
}

TEST(VlmVectorBasics, ZeroSizeVectorIsValidAndReleasable) {
  Vec v(vlm_vector_new_zero(0));
  EXPECT_EQ(v->size, 0);
  EXPECT_NE(v->p_r_nums, nullptr);
}

TEST(VlmVectorBasics, ValuesFromVariableArgumentsAndArray) {
  Vec v(vlm_vector_new_values(3, 1.5, -2.0, 3.25));
  expect_same_bits(elements(v.get()), {1.5, -2.0, 3.25});
  const double arr[] = {4.0, 5.0};
  Vec w(vlm_vector_new_values_array(2, arr));
  expect_same_bits(elements(w.get()), {4.0, 5.0});
  Vec e(vlm_vector_new_values_array(0, nullptr));
  EXPECT_EQ(e->size, 0);
}

TEST(VlmVectorBasics, SetAndGetItemIgnoreIndexesOutsideTheVector) {
  Vec v = make({1, 2, 3});
  vlm_vector_set_item(v.get(), 1, 7.5);
  EXPECT_EQ(vlm_vector_get_item(v.get(), 1), 7.5);
  for (int bad : {3, 4, -1, INT_MAX, INT_MIN}) {
    EXPECT_EQ(vlm_vector_set_item(v.get(), bad, 99.0), nullptr);
    EXPECT_TRUE(std::isnan(vlm_vector_get_item(v.get(), bad))) << bad;
  }
  expect_same_bits(elements(v.get()), {1, 7.5, 3});
}

// ---- generated sequences ----------------------------------------------------

struct LinspaceCase {
  double min, max;
  int size;
  std::vector<double> want;
};

class VlmLinspace : public ::testing::TestWithParam<LinspaceCase> {};

TEST_P(VlmLinspace, MatchesQuotientFirstFormula) {
  const auto &c = GetParam();
  Vec v(vlm_vector_new_linspace(c.min, c.max, c.size));
  expect_same_bits(elements(v.get()), c.want);
}

// The -1.3 .. 2.9 case tells the quotient-first order from i * span / size
// and from min + i * (span / size).
INSTANTIATE_TEST_SUITE_P(
    Cases, VlmLinspace,
    ::testing::Values(LinspaceCase{0, 1, 4, {0, 0.25, 0.5, 0.75}}, LinspaceCase{1, 2, 5, {1, 1.2, 1.4, 1.6, 1.8}},
                      LinspaceCase{3, 7, 1, {3}}, LinspaceCase{3, 7, 0, {}},
                      LinspaceCase{-1.3,
                                   2.9,
                                   9,
                                   {-1.3, -0.8333333333333334, -0.3666666666666667, 0.09999999999999987,
                                    0.5666666666666667, 1.0333333333333334, 1.4999999999999998, 1.966666666666667,
                                    2.4333333333333336}},
                      LinspaceCase{0.3,
                                   1.1,
                                   7,
                                   {0.3, 0.41428571428571426, 0.5285714285714286, 0.6428571428571428,
                                    0.7571428571428571, 0.8714285714285714, 0.9857142857142858}},
                      LinspaceCase{2, 1, 2, {2, 1.5}}));

struct ArangeCase {
  int min, step, max;
  std::vector<double> want;
};

class VlmArange : public ::testing::TestWithParam<ArangeCase> {};

TEST_P(VlmArange, Values) {
  const auto &c = GetParam();
  Vec v(vlm_vector_new_arange(c.min, c.step, c.max));
  expect_same_bits(elements(v.get()), c.want);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VlmArange,
    ::testing::Values(ArangeCase{0, 1, 3, {0, 1, 2, 3}}, ArangeCase{0, 2, 5, {0, 2, 4}}, ArangeCase{5, 1, 5, {5}},
                      ArangeCase{1, 3, 0, {}}, ArangeCase{-3, 2, 2, {-3, -1, 1}},
                      // A step that never moves forward gives nothing instead of looping.
                      ArangeCase{0, 0, 3, {}}, ArangeCase{0, -1, 3, {}},
                      // Running values past INT_MAX stay exact.
                      ArangeCase{INT_MAX - 2, 1, INT_MAX, {INT_MAX - 2.0, INT_MAX - 1.0, double(INT_MAX)}},
                      ArangeCase{INT_MAX - 5, 2, INT_MAX, {INT_MAX - 5.0, INT_MAX - 3.0, INT_MAX - 1.0}},
                      ArangeCase{INT_MAX, INT_MAX, INT_MAX, {double(INT_MAX)}},
                      ArangeCase{INT_MIN, INT_MAX, INT_MAX, {double(INT_MIN), -1.0, INT_MAX - 1.0}}));

struct ArangeDoubleCase {
  double min, step, max;
  std::vector<double> want;
};

class VlmArangeDouble : public ::testing::TestWithParam<ArangeDoubleCase> {};

TEST_P(VlmArangeDouble, CountFromRunningSumValuesFromProduct) {
  const auto &c = GetParam();
  Vec v(vlm_vector_new_arange_double(c.min, c.step, c.max));
  expect_same_bits(elements(v.get()), c.want);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VlmArangeDouble,
    ::testing::Values(
        ArangeDoubleCase{0, 0.5, 2, {0, 0.5, 1, 1.5, 2}}, ArangeDoubleCase{0, 0.1, 0.3, {0, 0.1, 0.2}},
        ArangeDoubleCase{1, 0.1, 1.3, {1, 1.1, 1.2}},
        ArangeDoubleCase{0, 0.1, 1.0, {0, 0.1, 0.2, 0.30000000000000004, 0.4, 0.5, 0.6000000000000001,
                                       0.7000000000000001, 0.8, 0.9, 1.0}},
        ArangeDoubleCase{2, 1, 2, {2}}, ArangeDoubleCase{3, 1, 2, {}}, ArangeDoubleCase{0, 1, kNaN, {}},
        ArangeDoubleCase{kNaN, 1, 2, {}}, ArangeDoubleCase{0, 0, 1, {}}, ArangeDoubleCase{0, -0.5, 1, {}},
        ArangeDoubleCase{0, kNaN, 1, {}},
        // Ranges the running sum could not cross in int-many steps, or
        // at all, give nothing instead of looping.
        ArangeDoubleCase{0, 1e-300, 1, {}}, ArangeDoubleCase{1e20, 1, 1e20 + 1e6, {}},
        ArangeDoubleCase{0, 1, kInf, {}}, ArangeDoubleCase{-kInf, 1, 0, {}}));

TEST(VlmRandom, EqualBoundsGiveThatValue) {
  Vec v(vlm_vector_new_random(50, 5.0, 5.0));
  for (double x : elements(v.get())) EXPECT_EQ(x, 5.0);
}

TEST(VlmRandom, DrawsStayBetweenTheBoundsInEitherOrder) {
  Vec up(vlm_vector_new_random(2000, -2.0, 3.0));
  Vec down(vlm_vector_new_random(2000, 3.0, -2.0));
  for (const Vec *v : {&up, &down}) {
    std::vector<double> e = elements(v->get());
    for (double x : e) {
      EXPECT_GE(x, -2.0);
      EXPECT_LE(x, 3.0);
    }
    // 2000 draws from 32768 levels are not all alike.
    EXPECT_LT(*std::min_element(e.begin(), e.end()), -1.0);
    EXPECT_GT(*std::max_element(e.begin(), e.end()), 2.0);
  }
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

// ---- growth and copying ---------------------------------------------------------

TEST(VlmVectorGrowth, AppendValue) {
  Vec v(vlm_vector_new(0));
  vlm_vector_append_value(v.get(), 1.5);
  vlm_vector_append_value(v.get(), -2.0);
  expect_same_bits(elements(v.get()), {1.5, -2.0});
}

TEST(VlmVectorGrowth, AppendVectorToItselfDoubles) {
  Vec v = make({1, 2});
  vlm_vector_append_vector(v.get(), v.get());
  expect_same_bits(elements(v.get()), {1, 2, 1, 2});
}

TEST(VlmVectorGrowth, AppendVectorLeavesTheOtherUnchanged) {
  Vec a = make({1});
  Vec b = make({2, 3});
  vlm_vector_append_vector(a.get(), b.get());
  expect_same_bits(elements(a.get()), {1, 2, 3});
  expect_same_bits(elements(b.get()), {2, 3});
  Vec e1(vlm_vector_new(0)), e2(vlm_vector_new(0));
  vlm_vector_append_vector(e1.get(), e2.get());
  EXPECT_EQ(e1->size, 0);
  EXPECT_NE(e1->p_r_nums, nullptr);  // still a block to release
}

TEST(VlmVectorGrowth, CopyElementsOnlyBetweenEqualNonEmptySizes) {
  Vec src = make({1, 2, 3});
  Vec four = make({9, 9, 9, 9});
  vlm_vector_copy_elements(src.get(), four.get());
  expect_same_bits(elements(four.get()), {9, 9, 9, 9});
  Vec three = make({0, 0, 0});
  vlm_vector_copy_elements(src.get(), three.get());
  expect_same_bits(elements(three.get()), {1, 2, 3});
  Vec e1(vlm_vector_new(0)), e2(vlm_vector_new(0));
  vlm_vector_copy_elements(e1.get(), e2.get());
  EXPECT_EQ(e2->size, 0);
}

// ---- in-place arithmetic -------------------------------------------------------------

struct ByValueCase {
  const char *name;
  void *(*op)(VlmVector *, double);
  double val;
  std::vector<double> want;  // applied to {1, -1, 0, 2.5}
};

class VlmVectorByValue : public ::testing::TestWithParam<ByValueCase> {};

TEST_P(VlmVectorByValue, AppliesToEveryElement) {
  const auto &c = GetParam();
  Vec v = make({1, -1, 0, 2.5});
  EXPECT_EQ(c.op(v.get(), c.val), nullptr);
  std::vector<double> got = elements(v.get());
  ASSERT_EQ(got.size(), c.want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    if (std::isnan(c.want[i]))
      EXPECT_TRUE(std::isnan(got[i])) << c.name << " " << i;
    else
      EXPECT_EQ(got[i], c.want[i]) << c.name << " " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Ops, VlmVectorByValue,
    ::testing::Values(ByValueCase{"add", vlm_vector_add_by_value, 0.5, {1.5, -0.5, 0.5, 3}},
                      ByValueCase{"substract", vlm_vector_substract_by_value, 0.5, {0.5, -1.5, -0.5, 2}},
                      ByValueCase{"multiply", vlm_vector_multiply_by_value, -2, {-2, 2, -0.0, -5}},
                      ByValueCase{"divide", vlm_vector_divide_by_value, 4, {0.25, -0.25, 0, 0.625}},
                      ByValueCase{"divide_by_zero", vlm_vector_divide_by_value, 0.0, {kInf, -kInf, kNaN, kInf}},
                      ByValueCase{"change", vlm_vector_change_elements_by_value, 7, {7, 7, 7, 7}}));

// ---- queries -------------------------------------------------------------------

struct MinMaxCase {
  std::vector<double> in;
  double min, max;  // NaN: a NaN is expected
};

class VlmVectorMinMax : public ::testing::TestWithParam<MinMaxCase> {};

TEST_P(VlmVectorMinMax, StartsAtElementZeroAndReplacesOnStrictCompare) {
  const auto &c = GetParam();
  Vec v = make(c.in);
  const double lo = vlm_vector_min(v.get()), hi = vlm_vector_max(v.get());
  if (std::isnan(c.min))
    EXPECT_TRUE(std::isnan(lo));
  else
    EXPECT_EQ(bits_of(lo), bits_of(c.min));
  if (std::isnan(c.max))
    EXPECT_TRUE(std::isnan(hi));
  else
    EXPECT_EQ(bits_of(hi), bits_of(c.max));
}

INSTANTIATE_TEST_SUITE_P(Cases, VlmVectorMinMax,
                         ::testing::Values(MinMaxCase{{kNaN, 1}, kNaN, kNaN}, MinMaxCase{{1, kNaN}, 1, 1},
                                           MinMaxCase{{4}, 4, 4}, MinMaxCase{{3, -1, kNaN, 8, 2}, -1, 8},
                                           // equal values never replace the running one
                                           MinMaxCase{{0.0, -0.0}, 0.0, 0.0}, MinMaxCase{{-0.0, 0.0}, -0.0, -0.0},
                                           MinMaxCase{{-kInf, kInf}, -kInf, kInf}));

struct IsExistCase {
  std::vector<double> in;
  int idx1, idx2;
  double val;
  int want;
};

class VlmVectorIsExist : public ::testing::TestWithParam<IsExistCase> {};

TEST_P(VlmVectorIsExist, SearchesTheInclusiveRange) {
  const auto &c = GetParam();
  Vec v = make(c.in);
  EXPECT_EQ(vlm_vector_isexist(v.get(), c.idx1, c.idx2, c.val), c.want);
}

INSTANTIATE_TEST_SUITE_P(Cases, VlmVectorIsExist,
                         ::testing::Values(IsExistCase{{1, 2, 3}, 0, 2, 3, 1}, IsExistCase{{1, 2, 3}, 0, 1, 3, 0},
                                           IsExistCase{{1, 2, 3}, 2, 0, 3, 0}, IsExistCase{{1, 2, 3}, 1, 1, 2, 1},
                                           IsExistCase{{1, kNaN, 3}, 0, 2, kNaN, 0},
                                           IsExistCase{{1, -0.0, 3}, 0, 2, 0.0, 1},
                                           IsExistCase{{5, 5, 5}, 0, 2, 5, 1}));

// ---- sort ------------------------------------------------------------------------

struct SortCase {
  std::vector<double> in, want;
};

class VlmVectorSortFixed : public ::testing::TestWithParam<SortCase> {};

TEST_P(VlmVectorSortFixed, Ascending) {
  Vec v = make(GetParam().in);
  vlm_vector_sort(v.get());
  expect_same_bits(elements(v.get()), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VlmVectorSortFixed,
    ::testing::Values(SortCase{{3, 1, 2}, {1, 2, 3}}, SortCase{{-0.5, 7, 2.25, -3}, {-3, -0.5, 2.25, 7}},
                      SortCase{{}, {}}, SortCase{{4}, {4}}, SortCase{{2, 1, 2, 1}, {1, 1, 2, 2}},
                      SortCase{{kInf, -kInf, 0, -1e-310, 1e-310}, {-kInf, -1e-310, 0, 1e-310, kInf}},
                      SortCase{{0.0, -0.0, 1, -0.0}, {-0.0, -0.0, 0.0, 1}}));

TEST(VlmVectorSort, NaNsGoLastKeepingTheirBits) {
  const double neg_nan = -std::numeric_limits<double>::quiet_NaN();
  Vec v = make({kNaN, 2, neg_nan, -1, kNaN, 0});
  vlm_vector_sort(v.get());
  expect_same_bits(elements(v.get()), {-1, 0, 2, kNaN, neg_nan, kNaN});
}

// Zeros of both signs compare equal; they come out in one consistent order
// (negative first) whichever sort handles the size.
TEST(VlmVectorSort, SignedZerosInOneOrderForSmallAndLargeInputs) {
  for (int n : {6, 2000}) {
    std::vector<double> in;
    for (int i = 0; i < n; ++i) in.push_back(i % 2 ? -0.0 : 0.0);
    Vec v = make(in);
    vlm_vector_sort(v.get());
    std::vector<double> want(static_cast<std::size_t>(n / 2), -0.0);
    want.resize(static_cast<std::size_t>(n), 0.0);
    expect_same_bits(elements(v.get()), want);
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
    else if (k < 9) {
      std::uint64_t b = any_bits(gen);
      std::memcpy(&x, &b, sizeof x);  // any pattern, NaNs included
    } else
      x = wide(gen);
  }
  Vec v = make(in);
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

INSTANTIATE_TEST_SUITE_P(Sizes, VlmVectorSortRandom, ::testing::Values(2, 3, 10, 100, 511, 512, 513, 4097, 200000));

}  // namespace
