// Text forms of vectors and matrices, and the "%f" number text they use.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "vlm.h"

namespace {

struct MatDeleter {
  void operator()(VlmMatrix *m) const { vlm_matrix_delete(m); }
};
using Mat = std::unique_ptr<VlmMatrix, MatDeleter>;
struct VecDeleter {
  void operator()(VlmVector *v) const { vlm_vector_delete(v); }
};
using Vec = std::unique_ptr<VlmVector, VecDeleter>;

std::string take(char *text) {
  std::string s(text);
  vlm_data_delete(text);
  return s;
}

std::string printf_f(double v) {
  char buf[400];
  std::snprintf(buf, sizeof buf, "%f", v);
  return buf;
}

// Values 1, 2, ... in a rows x cols matrix.
Mat counting(int rows, int cols) {
  Mat m(vlm_matrix_new(rows, cols));
  for (int i = 0; i < m->size; ++i) m->p_r_nums[i] = i + 1;
  return m;
}

Vec counting_vector(int n, double first = 0) {
  Vec v(vlm_vector_new(n));
  for (int i = 0; i < n; ++i) v->p_r_nums[i] = first + i;
  return v;
}

// ---- number text ------------------------------------------------------------------

void expect_like_printf(double v) {
  const std::string want = printf_f(v);
  ASSERT_EQ(take(vlm_string_from_double(v)), want) << std::hexfloat << v;
  ASSERT_EQ(vlm_string_length_double(v), static_cast<int>(want.size())) << std::hexfloat << v;
}

double from_bits(std::uint64_t b) {
  double d;
  std::memcpy(&d, &b, sizeof d);
  return d;
}

TEST(VlmNumberText, SpecialValuesAndBoundaries) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<double> values = {
      0.0, -0.0, 1.0, -1.0, 0.1234567, 2.5, -0.25, 1234.5, 1e-7, -1e-7, 5e-7, 4.9999999e-7, 0.0000005,
      0.9999995, 9.9999995, 99.9999995, 999999.9999995, 0.99999949999, nan, -nan, inf, -inf, DBL_MAX,
      -DBL_MAX, DBL_MIN, -DBL_MIN, from_bits(1), from_bits(0x8000000000000001ULL), DBL_TRUE_MIN, 1e308,
      -1e308, 1e22, 1e23, 4294967296.0, 9007199254740992.0, 9007199254740993.0, 18446744073709.551,
      18446744073709.552, 18446744073709.553, 9223372036854775808.0, 9223372036854774784.0,
      18446744073709551616.0, 1.8446744073709552e13, 123456789012345.67};
  for (double v : values) expect_like_printf(v);
  EXPECT_EQ(take(vlm_string_from_double(-nan)), "-nan");
}

// Exact ties at the sixth decimal are odd multiples of 2^-7; printf rounds
// them to even. Their neighbours round away from the tie.
TEST(VlmNumberText, HalfwayCasesAndNeighbours) {
  for (int k = 1; k < 4000; k += 2) {
    for (double whole : {0.0, 1.0, 17.0, 999999.0, 123456789.0}) {
      const double v = whole + k / 128.0;
      expect_like_printf(v);
      expect_like_printf(-v);
      expect_like_printf(std::nextafter(v, 0.0));
      expect_like_printf(std::nextafter(v, 1e300));
    }
  }
}

TEST(VlmNumberText, RandomBitPatterns) {
  std::mt19937_64 gen(2024);
  for (int i = 0; i < 300000; ++i) expect_like_printf(from_bits(gen()));
}

// Magnitudes where the six decimals carry information.
TEST(VlmNumberText, RandomModerateMagnitudes) {
  std::mt19937_64 gen(77);
  std::uniform_real_distribution<double> mant(-1.0, 1.0);
  std::uniform_int_distribution<int> expo(-25, 70);
  for (int i = 0; i < 300000; ++i) expect_like_printf(std::ldexp(mant(gen), expo(gen)));
}

// ---- vector text -----------------------------------------------------------------------

struct VectorTextCase {
  std::vector<double> values;
  int islong;
  const char *want;
};

class VlmVectorText : public ::testing::TestWithParam<VectorTextCase> {};

TEST_P(VlmVectorText, Exact) {
  const auto &c = GetParam();
  std::vector<double> values = c.values;
  Vec v(vlm_vector_new_from_array(values.data(), static_cast<int>(values.size())));
  EXPECT_EQ(take(vlm_vector_to_string(v.get(), c.islong)), c.want);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VlmVectorText,
    ::testing::Values(
        VectorTextCase{{1, 2, 3}, 0, "3 [1.000000, 2.000000, 3.000000]\n"},
        VectorTextCase{{}, 0, "0 []\n"}, VectorTextCase{{}, 1, "0 []\n"},
        VectorTextCase{{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 0,
                       "10 [0.000000, 1.000000, 2.000000, 3.000000,..., 9.000000]\n"},
        VectorTextCase{{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 2,
                       "10 [0.000000, 1.000000, 2.000000, 3.000000,..., 9.000000]\n"},
        VectorTextCase{{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 1,
                       "10 [0.000000, 1.000000, 2.000000, 3.000000, 4.000000, 5.000000, 6.000000, 7.000000, "
                       "8.000000, 9.000000]\n"},
        VectorTextCase{{1, 2, 3, 4, 5}, 0, "5 [1.000000, 2.000000, 3.000000, 4.000000, 5.000000]\n"},
        VectorTextCase{{1, 2, 3, 4, 5}, 7, "5 [1.000000, 2.000000, 3.000000, 4.000000, 5.000000]\n"},
        VectorTextCase{{1, 2, 3, 4, 5, 6}, 0, "6 [1.000000, 2.000000, 3.000000, 4.000000,..., 6.000000]\n"},
        VectorTextCase{{-0.25, 1234.5, -1e10, 0.1234567}, 0,
                       "4 [-0.250000, 1234.500000, -10000000000.000000, 0.123457]\n"},
        VectorTextCase{{7}, 0, "1 [7.000000]\n"}));

TEST(VlmVectorText, FullVariantOfAHundredElementsIsOneLine) {
  Vec v = counting_vector(100);
  const std::string text = take(vlm_vector_to_string(v.get(), 1));
  std::string want = "100 [";
  for (int i = 0; i < 100; ++i) want += (i ? ", " : "") + printf_f(i);
  want += "]\n";
  EXPECT_EQ(text, want);
}

TEST(VlmVectorText, LongTextIsComplete) {
  // Lengths that vary from element to element must all be measured.
  std::mt19937_64 gen(5);
  std::uniform_real_distribution<double> mant(-1.0, 1.0);
  std::uniform_int_distribution<int> expo(-30, 80);
  Vec v(vlm_vector_new(20000));
  std::string want = "20000 [";
  for (int i = 0; i < 20000; ++i) {
    v->p_r_nums[i] = std::ldexp(mant(gen), expo(gen));
    want += (i ? ", " : "") + printf_f(v->p_r_nums[i]);
  }
  want += "]\n";
  EXPECT_EQ(take(vlm_vector_to_string(v.get(), 1)), want);
}

// ---- matrix text -------------------------------------------------------------------------

struct MatrixTextCase {
  int rows, cols, islong;
  const char *want;  // for the counting matrix 1, 2, 3, ...
};

class VlmMatrixText : public ::testing::TestWithParam<MatrixTextCase> {};

TEST_P(VlmMatrixText, Exact) {
  const auto &c = GetParam();
  Mat m = counting(c.rows, c.cols);
  EXPECT_EQ(take(vlm_matrix_to_string(m.get(), c.islong)), c.want);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VlmMatrixText,
    ::testing::Values(
        MatrixTextCase{2, 3, 1, "shape (2,3)\n[1.000000, 2.000000, 3.000000]\n[4.000000, 5.000000, 6.000000]\n"},
        MatrixTextCase{2, 3, 0, "shape (2,3)\n[1.000000, 2.000000, 3.000000]\n[4.000000, 5.000000, 6.000000]\n"},
        MatrixTextCase{2, 3, 2, "shape (2,3)\n[1.000000, 2.000000, 3.000000]\n[4.000000, 5.000000, 6.000000]\n"},
        MatrixTextCase{0, 0, 0, "shape (0,0)\n"}, MatrixTextCase{0, 4, 2, "shape (0,4)\n"},
        MatrixTextCase{2, 0, 0, "shape (2,0)\n[]\n[]\n"},
        // 6 x 2, islong 0: rows 0..3, the marker line, row 5, in full.
        MatrixTextCase{6, 2, 0,
                       "shape (6,2)\n[1.000000, 2.000000]\n[3.000000, 4.000000]\n[5.000000, 6.000000]\n"
                       "[7.000000, 8.000000]\n\t...\n[11.000000, 12.000000]\n"},
        // 6 x 3, islong 2: rows abbreviated and every row repeats its last value.
        MatrixTextCase{6, 3, 2,
                       "shape (6,3)\n[1.000000, 2.000000, 3.000000, 3.000000]\n"
                       "[4.000000, 5.000000, 6.000000, 6.000000]\n[7.000000, 8.000000, 9.000000, 9.000000]\n"
                       "[10.000000, 11.000000, 12.000000, 12.000000]\n\t...\n"
                       "[16.000000, 17.000000, 18.000000, 18.000000]\n"},
        // 5 x 6, islong 0: all five rows, each abbreviated.
        MatrixTextCase{5, 6, 0,
                       "shape (5,6)\n[1.000000, 2.000000, 3.000000, 4.000000,..., 6.000000]\n"
                       "[7.000000, 8.000000, 9.000000, 10.000000,..., 12.000000]\n"
                       "[13.000000, 14.000000, 15.000000, 16.000000,..., 18.000000]\n"
                       "[19.000000, 20.000000, 21.000000, 22.000000,..., 24.000000]\n"
                       "[25.000000, 26.000000, 27.000000, 28.000000,..., 30.000000]\n"},
        // 5 x 6, islong 2: rows 0..3, the marker line although nothing is left out, row 4.
        MatrixTextCase{5, 6, 2,
                       "shape (5,6)\n[1.000000, 2.000000, 3.000000, 4.000000,..., 6.000000]\n"
                       "[7.000000, 8.000000, 9.000000, 10.000000,..., 12.000000]\n"
                       "[13.000000, 14.000000, 15.000000, 16.000000,..., 18.000000]\n"
                       "[19.000000, 20.000000, 21.000000, 22.000000,..., 24.000000]\n\t...\n"
                       "[25.000000, 26.000000, 27.000000, 28.000000,..., 30.000000]\n"},
        // 4 x 6, islong 2: row 3 is the last row; the marker line still follows it.
        MatrixTextCase{4, 6, 2,
                       "shape (4,6)\n[1.000000, 2.000000, 3.000000, 4.000000,..., 6.000000]\n"
                       "[7.000000, 8.000000, 9.000000, 10.000000,..., 12.000000]\n"
                       "[13.000000, 14.000000, 15.000000, 16.000000,..., 18.000000]\n"
                       "[19.000000, 20.000000, 21.000000, 22.000000,..., 24.000000]\n\t...\n"},
        // 2 x 7, islong 2: fewer than four rows, so no marker line.
        MatrixTextCase{2, 7, 2,
                       "shape (2,7)\n[1.000000, 2.000000, 3.000000, 4.000000,..., 7.000000]\n"
                       "[8.000000, 9.000000, 10.000000, 11.000000,..., 14.000000]\n"},
        // 6 x 5, islong -1: column runs of five and four values under the short-run rule.
        MatrixTextCase{6, 5, -1,
                       "shape (6,5)\n[1.000000, 2.000000, 3.000000, 4.000000,..., 5.000000]\n"
                       "[6.000000, 7.000000, 8.000000, 9.000000,..., 10.000000]\n"
                       "[11.000000, 12.000000, 13.000000, 14.000000,..., 15.000000]\n"
                       "[16.000000, 17.000000, 18.000000, 19.000000,..., 20.000000]\n\t...\n"
                       "[26.000000, 27.000000, 28.000000, 29.000000,..., 30.000000]\n"},
        MatrixTextCase{6, 4, 2,
                       "shape (6,4)\n[1.000000, 2.000000, 3.000000, 4.000000,..., 4.000000]\n"
                       "[5.000000, 6.000000, 7.000000, 8.000000,..., 8.000000]\n"
                       "[9.000000, 10.000000, 11.000000, 12.000000,..., 12.000000]\n"
                       "[13.000000, 14.000000, 15.000000, 16.000000,..., 16.000000]\n\t...\n"
                       "[21.000000, 22.000000, 23.000000, 24.000000,..., 24.000000]\n"},
        MatrixTextCase{7, 1, 3,
                       "shape (7,1)\n[1.000000, 1.000000]\n[2.000000, 2.000000]\n[3.000000, 3.000000]\n"
                       "[4.000000, 4.000000]\n\t...\n[7.000000, 7.000000]\n"}));

TEST(VlmMatrixText, PartialIdentityOfSeven) {
  Mat m(vlm_matrix_new_identity(7));
  EXPECT_EQ(take(vlm_matrix_to_string(m.get(), 0)),
            "shape (7,7)\n"
            "[1.000000, 0.000000, 0.000000, 0.000000,..., 0.000000]\n"
            "[0.000000, 1.000000, 0.000000, 0.000000,..., 0.000000]\n"
            "[0.000000, 0.000000, 1.000000, 0.000000,..., 0.000000]\n"
            "[0.000000, 0.000000, 0.000000, 1.000000,..., 0.000000]\n"
            "\t...\n"
            "[0.000000, 0.000000, 0.000000, 0.000000,..., 1.000000]\n");
}

TEST(VlmMatrixText, FullVariantWritesEveryRowAndNegativesUnaligned) {
  Mat m(vlm_matrix_new_constant(7, 6, -1.5));
  m->p_r_nums[0] = 123456.0;
  const std::string text = take(vlm_matrix_to_string(m.get(), 1));
  std::string row = "[-1.500000, -1.500000, -1.500000, -1.500000, -1.500000, -1.500000]\n";
  std::string want = "shape (7,6)\n[123456.000000" + row.substr(10);
  for (int i = 1; i < 7; ++i) want += row;
  EXPECT_EQ(text, want);
}

TEST(VlmMatrixText, TextIsIndependentOfLaterChanges) {
  Mat m = counting(1, 2);
  char *text = vlm_matrix_to_string(m.get(), 0);
  m->p_r_nums[0] = 42;
  EXPECT_EQ(take(text), "shape (1,2)\n[1.000000, 2.000000]\n");
}

}  // namespace
