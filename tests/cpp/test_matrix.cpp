// Matrix operations of the numeric core: the product against the plain
// loop, bit for bit, across the kernel's block sizes; transposition; and
// records the binding would refuse.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "product.h"
#include "test_util.h"
#include "vlm.h"

namespace {

using namespace velta_test;

void expect_shape(const VlmMatrix *m, int rows, int cols, int size) {
  EXPECT_EQ(m->r_shape[0], rows);
  EXPECT_EQ(m->r_shape[1], cols);
  EXPECT_EQ(m->size, size);
}

// The plain ordered triple loop. The volatile product is rounded on its own
// whatever the compiler would like to fuse.
std::vector<double> reference_product(const std::vector<double> &a, const std::vector<double> &b, int m, int n,
                                      int p) {
  std::vector<double> c(static_cast<std::size_t>(m) * p);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < p; ++j) {
      double sum = 0.0;
      for (int k = 0; k < n; ++k) {
        volatile double prod = a[static_cast<std::size_t>(i) * n + k] * b[static_cast<std::size_t>(k) * p + j];
        sum = sum + prod;
      }
      c[static_cast<std::size_t>(i) * p + j] = sum;
    }
  return c;
}

// Values over many magnitudes and both signs, so that the order of the
// additions shows in the rounded sums.
std::vector<double> spread_values(std::size_t count, unsigned seed) {
  std::mt19937_64 gen(seed);
  std::uniform_real_distribution<double> mant(-1.0, 1.0);
  std::uniform_int_distribution<int> expo(-30, 30);
  std::vector<double> v(count);
  for (auto &x : v) x = std::ldexp(mant(gen), expo(gen));
  return v;
}

// ---- product ---------------------------------------------------------------------

struct ProductShape {
  int m, n, p;
};

class VlmMatrixProduct : public ::testing::TestWithParam<ProductShape> {};

TEST_P(VlmMatrixProduct, BitIdenticalToOrderedTripleLoop) {
  const auto s = GetParam();
  std::vector<double> a = spread_values(static_cast<std::size_t>(s.m) * s.n, 11u + s.m);
  std::vector<double> b = spread_values(static_cast<std::size_t>(s.n) * s.p, 29u + s.p);
  Mat A = make_matrix(s.m, s.n, a), B = make_matrix(s.n, s.p, b);
  const std::vector<double> expected = reference_product(a, b, s.m, s.n, s.p);
  // Every kernel this processor runs (one per instruction set, each its own
  // tile), and large products shared among threads (as many as
  // OMP_NUM_THREADS allows and the processors give): the same bits.
  for (const char *kernel : velta::product_kernels()) {
    ASSERT_TRUE(velta::use_product_kernel(kernel));
    for (const char *threads : {"1", "2", "3"}) {
      SCOPED_TRACE(std::string(kernel) + ", threads " + threads);
      setenv("OMP_NUM_THREADS", threads, 1);
      Mat C(vlm_matrix_new_multiplication(A.get(), B.get()));
      ASSERT_NE(C, nullptr);
      expect_shape(C.get(), s.m, s.p, s.m * s.p);
      expect_same(elements(C.get()), expected);
    }
  }
  velta::use_product_kernel(nullptr);
  unsetenv("OMP_NUM_THREADS");
  Mat C(vlm_matrix_new_multiplication(A.get(), B.get()));
  expect_same(elements(C.get()), expected);
  // The single dot product agrees with the full product.
  if (s.m > 0 && s.p > 0) {
    EXPECT_EQ(bits_of(vlm_matrix_row_multiply_col(A.get(), B.get(), s.m - 1, s.p - 1)),
              bits_of(C->p_r_nums[static_cast<std::size_t>(s.m) * s.p - 1]));
    EXPECT_EQ(bits_of(vlm_matrix_row_multiply_col(A.get(), B.get(), 0, 0)), bits_of(C->p_r_nums[0]));
  }
}

// Shapes below, at and across the kernel's tile and block sizes.
INSTANTIATE_TEST_SUITE_P(Shapes, VlmMatrixProduct,
                         ::testing::Values(ProductShape{3, 5, 7}, ProductShape{17, 33, 9}, ProductShape{64, 65, 63},
                                           ProductShape{8, 24, 24}, ProductShape{6, 9, 32},
                                           ProductShape{35, 40, 95}, ProductShape{0, 3, 4},
                                           ProductShape{1, 300, 1}, ProductShape{97, 257, 131},
                                           ProductShape{200, 513, 70}, ProductShape{5, 1, 2100},
                                           // past every block size, then small again: the kept
                                           // panels are reused; an empty inner dimension gives zeros
                                           ProductShape{40, 600, 2100}, ProductShape{2, 3, 2}, ProductShape{3, 0, 4},
                                           // threads: blocks of rows and slices of columns, the last short
                                           ProductShape{601, 130, 111}, ProductShape{70, 150, 1001}));

TEST(VlmMatrixProductEdges, SumsStartFromPositiveZero) {
  // -1 * 0 is -0.0; 0.0 + -0.0 is 0.0.
  Mat A = make_matrix(1, 1, {-1.0}), B = make_matrix(1, 1, {0.0});
  Mat C(vlm_matrix_new_multiplication(A.get(), B.get()));
  EXPECT_EQ(bits_of(C->p_r_nums[0]), bits_of(0.0));
  EXPECT_EQ(bits_of(vlm_matrix_row_multiply_col(A.get(), B.get(), 0, 0)), bits_of(0.0));
}

TEST(VlmMatrixProductEdges, InfinitiesAndNaNsPropagateAsInTheLoop) {
  std::vector<double> a = spread_values(9 * 10, 3), b = spread_values(10 * 11, 4);
  a[5] = kInf;
  a[40] = kNaN;
  b[17] = -kInf;
  b[60] = 0.0;
  Mat A = make_matrix(9, 10, a), B = make_matrix(10, 11, b);
  Mat C(vlm_matrix_new_multiplication(A.get(), B.get()));
  expect_same(elements(C.get()), reference_product(a, b, 9, 10, 11));
}

// ---- transpose ------------------------------------------------------------------

class VlmMatrixTransposeShapes : public ::testing::TestWithParam<ProductShape> {};

TEST_P(VlmMatrixTransposeShapes, MovesEveryElement) {
  const int r = GetParam().m, c = GetParam().n;
  std::vector<double> v(static_cast<std::size_t>(r) * c);
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<double>(i);
  Mat m = make_matrix(r, c, v);
  const double *block = m->p_r_nums;
  vlm_matrix_transpose(m.get());
  EXPECT_EQ(m->p_r_nums, block);  // reordered in place
  expect_shape(m.get(), c, r, r * c);
  for (int i = 0; i < r; ++i)
    for (int j = 0; j < c; ++j)
      ASSERT_EQ(m->p_r_nums[static_cast<std::size_t>(j) * r + i], v[static_cast<std::size_t>(i) * c + j]);
  vlm_matrix_transpose(m.get());
  expect_shape(m.get(), r, c, r * c);
  expect_same(elements(m.get()), v);
}

INSTANTIATE_TEST_SUITE_P(Shapes, VlmMatrixTransposeShapes,
                         ::testing::Values(ProductShape{2, 3, 0}, ProductShape{1, 7, 0}, ProductShape{7, 1, 0},
                                           ProductShape{100, 37, 0}, ProductShape{0, 3, 0}, ProductShape{3, 0, 0}));

TEST(VlmMatrixTranspose, ShapeDisagreeingWithSizeSwapsShapeOnly) {
  Mat m = make_matrix(2, 3, {1, 2, 3, 4, 5, 6});
  Mat wide(vlm_matrix_new_zero(4, 3));
  vlm_matrix_copy_shape(wide.get(), m.get());  // 12 > 6: nothing may be read past the block
  vlm_matrix_transpose(m.get());
  expect_shape(m.get(), 3, 4, 6);
  expect_same(elements(m.get()), {1, 2, 3, 4, 5, 6});
  Mat row5(vlm_matrix_new_zero(1, 5));
  vlm_matrix_copy_shape(row5.get(), m.get());
  vlm_matrix_transpose(m.get());
  expect_shape(m.get(), 5, 1, 6);
  expect_same(elements(m.get()), {1, 2, 3, 4, 5, 6});
}

// ---- records the binding refuses ------------------------------------------------

TEST(VlmMatrixUnchecked, EmptyAndNegativeShapesKeepABlock) {
  Mat e(vlm_matrix_new_zero(0, 0));
  expect_shape(e.get(), 0, 0, 0);
  EXPECT_NE(e->p_r_nums, nullptr);
  Mat neg(vlm_matrix_new(-2, 3));  // no elements; the shape is kept as given
  expect_shape(neg.get(), -2, 3, 0);
  EXPECT_NE(neg->p_r_nums, nullptr);
}

// Extraction reads by flat index: an index inside the block gives its
// element, one outside gives NaN, and nothing outside the block is read.
TEST(VlmMatrixUnchecked, ExtractionOutsideTheBlockGivesNaN) {
  Mat m = make_matrix(3, 4, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  Mat row(vlm_matrix_new_extract_row(m.get(), 3));
  expect_shape(row.get(), 1, 4, 4);
  expect_same(elements(row.get()), {kNaN, kNaN, kNaN, kNaN});
  Mat col(vlm_matrix_new_extract_column(m.get(), -1));  // the end of the previous row
  expect_same(elements(col.get()), {kNaN, 4, 8});
  Mat blk(vlm_matrix_new_extract_row_col(m.get(), 2, 3, 2, 5));
  expect_shape(blk.get(), 2, 4, 8);
  expect_same(elements(blk.get()), {11, 12, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN});
  Mat before(vlm_matrix_new_extract_row_col(m.get(), -1, -1, 0, 1));
  expect_same(elements(before.get()), {kNaN, kNaN});
}

}  // namespace
