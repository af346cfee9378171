// Matrix operations of the numeric core.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
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

Mat make(int rows, int cols, std::vector<double> values) {
  return Mat(vlm_matrix_new_from_array(values.data(), rows, cols));
}

std::vector<double> elements(const VlmMatrix *m) { return std::vector<double>(m->p_r_nums, m->p_r_nums + m->size); }

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

std::uint64_t bits_of(double d) {
  std::uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

void expect_shape(const VlmMatrix *m, int rows, int cols, int size) {
  EXPECT_EQ(m->r_shape[0], rows);
  EXPECT_EQ(m->r_shape[1], cols);
  EXPECT_EQ(m->size, size);
}

// Bit identity, except that any NaN matches any NaN.
void expect_same(const std::vector<double> &got, const std::vector<double> &want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    if (std::isnan(want[i]))
      EXPECT_TRUE(std::isnan(got[i])) << "index " << i;
    else
      EXPECT_EQ(bits_of(got[i]), bits_of(want[i])) << "index " << i << ": " << got[i] << " vs " << want[i];
  }
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
  Mat A = make(s.m, s.n, a), B = make(s.n, s.p, b);
  Mat C(vlm_matrix_new_multiplication(A.get(), B.get()));
  ASSERT_NE(C, nullptr);
  expect_shape(C.get(), s.m, s.p, s.m * s.p);
  expect_same(elements(C.get()), reference_product(a, b, s.m, s.n, s.p));
  // The single dot product agrees with the full product.
  if (s.m > 0 && s.p > 0) {
    EXPECT_EQ(bits_of(vlm_matrix_row_multiply_col(A.get(), B.get(), s.m - 1, s.p - 1)),
              bits_of(C->p_r_nums[static_cast<std::size_t>(s.m) * s.p - 1]));
    EXPECT_EQ(bits_of(vlm_matrix_row_multiply_col(A.get(), B.get(), 0, 0)), bits_of(C->p_r_nums[0]));
  }
}

// Shapes below, at and across the kernel's tile and block sizes.
INSTANTIATE_TEST_SUITE_P(Shapes, VlmMatrixProduct,
                         ::testing::Values(ProductShape{1, 1, 1}, ProductShape{3, 5, 7}, ProductShape{17, 33, 9},
                                           ProductShape{64, 65, 63}, ProductShape{8, 24, 24},
                                           ProductShape{4, 0, 3}, ProductShape{0, 3, 4}, ProductShape{3, 4, 0},
                                           ProductShape{1, 300, 1}, ProductShape{97, 257, 131},
                                           ProductShape{200, 513, 70}, ProductShape{5, 1, 2100}));

TEST(VlmMatrixProductEdges, MismatchedInnerSizesGiveNull) {
  Mat A(vlm_matrix_new_zero(2, 3)), B(vlm_matrix_new_zero(2, 3));
  EXPECT_EQ(vlm_matrix_new_multiplication(A.get(), B.get()), nullptr);
}

TEST(VlmMatrixProductEdges, SumsStartFromPositiveZero) {
  // -1 * 0 is -0.0; 0.0 + -0.0 is 0.0.
  Mat A = make(1, 1, {-1.0}), B = make(1, 1, {0.0});
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
  Mat A = make(9, 10, a), B = make(10, 11, b);
  Mat C(vlm_matrix_new_multiplication(A.get(), B.get()));
  expect_same(elements(C.get()), reference_product(a, b, 9, 10, 11));
}

TEST(VlmMatrixProductEdges, ZeroInnerSizeGivesZeros) {
  Mat A(vlm_matrix_new(2, 0)), B(vlm_matrix_new(0, 3));
  Mat C(vlm_matrix_new_multiplication(A.get(), B.get()));
  expect_shape(C.get(), 2, 3, 6);
  expect_same(elements(C.get()), std::vector<double>(6, 0.0));
}

// ---- transpose ------------------------------------------------------------------

TEST(VlmMatrixTranspose, TwoByThreeReordersTheBlockInPlace) {
  Mat m = make(2, 3, {1, 2, 3, 4, 5, 6});
  const double *block = m->p_r_nums;
  vlm_matrix_transpose(m.get());
  EXPECT_EQ(m->p_r_nums, block);
  expect_shape(m.get(), 3, 2, 6);
  expect_same(elements(m.get()), {1, 4, 2, 5, 3, 6});
}

class VlmMatrixTransposeShapes : public ::testing::TestWithParam<ProductShape> {};

TEST_P(VlmMatrixTransposeShapes, MovesEveryElement) {
  const int r = GetParam().m, c = GetParam().n;
  std::vector<double> v(static_cast<std::size_t>(r) * c);
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<double>(i);
  Mat m = make(r, c, v);
  vlm_matrix_transpose(m.get());
  expect_shape(m.get(), c, r, r * c);
  for (int i = 0; i < r; ++i)
    for (int j = 0; j < c; ++j)
      ASSERT_EQ(m->p_r_nums[static_cast<std::size_t>(j) * r + i], v[static_cast<std::size_t>(i) * c + j]);
  vlm_matrix_transpose(m.get());
  expect_shape(m.get(), r, c, r * c);
  expect_same(elements(m.get()), v);
}

INSTANTIATE_TEST_SUITE_P(Shapes, VlmMatrixTransposeShapes,
                         ::testing::Values(ProductShape{1, 1, 0}, ProductShape{1, 7, 0}, ProductShape{7, 1, 0},
                                           ProductShape{5, 5, 0}, ProductShape{33, 65, 0}, ProductShape{100, 37, 0},
                                           ProductShape{0, 3, 0}, ProductShape{3, 0, 0}));

TEST(VlmMatrixTranspose, ShapeDisagreeingWithSizeSwapsShapeOnly) {
  Mat m = make(2, 3, {1, 2, 3, 4, 5, 6});
  Mat other(vlm_matrix_new_zero(2, 2));
  vlm_matrix_copy_shape(other.get(), m.get());  // shape 2 x 2 over 6 elements
  vlm_matrix_transpose(m.get());
  expect_shape(m.get(), 2, 2, 6);
  expect_same(elements(m.get()), {1, 2, 3, 4, 5, 6});
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

// ---- constructors and conversions ------------------------------------------------

TEST(VlmMatrixConstructors, IdentityRandomAndEmpty) {
  Mat id(vlm_matrix_new_identity(3));
  expect_same(elements(id.get()), {1, 0, 0, 0, 1, 0, 0, 0, 1});
  Mat r(vlm_matrix_new_random(4, 5, 2.0, 2.0));
  expect_same(elements(r.get()), std::vector<double>(20, 2.0));
  Mat e(vlm_matrix_new_zero(0, 0));
  expect_shape(e.get(), 0, 0, 0);
  EXPECT_NE(e->p_r_nums, nullptr);
}

TEST(VlmMatrixConstructors, VectorConversionsKeepStorageOrder) {
  double v3[] = {7, 8, 9};
  Vec v(vlm_vector_new_from_array(v3, 3));
  Mat m(vlm_matrix_new_from_vector(v.get()));
  expect_shape(m.get(), 1, 3, 3);
  expect_same(elements(m.get()), {7, 8, 9});
  Mat two = make(2, 2, {1, 2, 3, 4});
  Vec back(vlm_vector_new_from_matrix(two.get()));
  ASSERT_EQ(back->size, 4);
  EXPECT_EQ(std::vector<double>(back->p_r_nums, back->p_r_nums + 4), (std::vector<double>{1, 2, 3, 4}));
}

TEST(VlmMatrixConstructors, CopyOnlyWhenShapeDescribesTheBlock) {
  Mat m = make(2, 3, {1, 2, 3, 4, 5, 6});
  Mat c(vlm_matrix_new_copy(m.get()));
  expect_shape(c.get(), 2, 3, 6);
  expect_same(elements(c.get()), {1, 2, 3, 4, 5, 6});
  Mat d(vlm_matrix_new_duplicate_size(m.get()));
  expect_shape(d.get(), 2, 3, 6);
  Mat small(vlm_matrix_new_zero(1, 2));
  vlm_matrix_copy_shape(small.get(), m.get());  // shape 1 x 2, size 6
  Mat c2(vlm_matrix_new_copy(m.get()));
  expect_shape(c2.get(), 1, 2, 2);  // elements left as allocated
}

TEST(VlmMatrixAccess, RowMajorIndexAndIgnoredStores) {
  Mat m = make(2, 3, {1, 2, 3, 4, 5, 6});
  EXPECT_EQ(vlm_matrix_row_col_to_index(m.get(), 1, 2), 5);
  EXPECT_EQ(vlm_matrix_row_col_to_index(m.get(), 0, 4), 4);  // past the row: next row
  EXPECT_EQ(vlm_matrix_get_item(m.get(), 1, 0), 4);
  EXPECT_EQ(vlm_matrix_get_item(m.get(), 0, 3), 4);
  vlm_matrix_set_item(m.get(), 0, 4, -5);  // lands at (1, 1)
  vlm_matrix_set_item(m.get(), 2, 0, 99);  // index 6: beyond size, ignored
  vlm_matrix_set_item(m.get(), 1, 3, 99);  // index 6 as well
  expect_same(elements(m.get()), {1, 2, 3, 4, -5, 6});
  double *block;
  int rows, cols;
  vlm_matrix_to_array(m.get(), &block, &rows, &cols);
  EXPECT_EQ(block, m->p_r_nums);
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(cols, 3);
}

TEST(VlmMatrixExtract, RowsColumnsAndBlocks) {
  Mat m = make(3, 4, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  Mat row(vlm_matrix_new_extract_row(m.get(), 1));
  expect_shape(row.get(), 1, 4, 4);
  expect_same(elements(row.get()), {5, 6, 7, 8});
  Mat col(vlm_matrix_new_extract_column(m.get(), 2));
  expect_shape(col.get(), 3, 1, 3);
  expect_same(elements(col.get()), {3, 7, 11});
  Mat blk(vlm_matrix_new_extract_row_col(m.get(), 1, 2, 1, 3));
  expect_shape(blk.get(), 2, 3, 6);
  expect_same(elements(blk.get()), {6, 7, 8, 10, 11, 12});
  Mat one(vlm_matrix_new_extract_row_col(m.get(), 0, 0, 3, 3));
  expect_shape(one.get(), 1, 1, 1);
  expect_same(elements(one.get()), {4});
}

// ---- element-wise and copying ------------------------------------------------------

struct MatByValueCase {
  const char *name;
  void *(*op)(VlmMatrix *, double);
  double val;
  std::vector<double> want;  // applied to the 2 x 2 matrix {1, -1, 0, 2.5}
};

class VlmMatrixByValue : public ::testing::TestWithParam<MatByValueCase> {};

TEST_P(VlmMatrixByValue, AppliesToEveryElement) {
  const auto &c = GetParam();
  Mat m = make(2, 2, {1, -1, 0, 2.5});
  EXPECT_EQ(c.op(m.get(), c.val), nullptr);
  expect_same(elements(m.get()), c.want);
}

INSTANTIATE_TEST_SUITE_P(
    Ops, VlmMatrixByValue,
    ::testing::Values(MatByValueCase{"add", vlm_matrix_add_by_value, 0.5, {1.5, -0.5, 0.5, 3}},
                      MatByValueCase{"substract", vlm_matrix_substract_by_value, 0.5, {0.5, -1.5, -0.5, 2}},
                      MatByValueCase{"multiply", vlm_matrix_multiply_by_value, -2, {-2, 2, -0.0, -5}},
                      MatByValueCase{"divide", vlm_matrix_divide_by_value, 0.0, {kInf, -kInf, kNaN, kInf}},
                      MatByValueCase{"change", vlm_matrix_change_elements_by_value, 3, {3, 3, 3, 3}}));

TEST(VlmMatrixCopy, ElementsBySizeNotShape) {
  Mat src = make(2, 3, {1, 2, 3, 4, 5, 6});
  Mat t(vlm_matrix_new_zero(3, 2));
  vlm_matrix_copy_elements(src.get(), t.get());
  expect_shape(t.get(), 3, 2, 6);
  expect_same(elements(t.get()), {1, 2, 3, 4, 5, 6});
  Mat other(vlm_matrix_new_constant(2, 2, 9));
  vlm_matrix_copy_elements(src.get(), other.get());
  expect_same(elements(other.get()), {9, 9, 9, 9});
  vlm_matrix_copy_shape(src.get(), other.get());
  expect_shape(other.get(), 2, 3, 4);
}

TEST(VlmMatrixMinMax, NaNRules) {
  Mat a = make(1, 3, {kNaN, -1, 5});
  EXPECT_TRUE(std::isnan(vlm_matrix_min(a.get())));
  EXPECT_TRUE(std::isnan(vlm_matrix_max(a.get())));
  Mat b = make(2, 2, {2, kNaN, -3, 8});
  EXPECT_EQ(vlm_matrix_min(b.get()), -3);
  EXPECT_EQ(vlm_matrix_max(b.get()), 8);
  Mat c = make(1, 1, {4});
  EXPECT_EQ(vlm_matrix_min(c.get()), 4);
  EXPECT_EQ(vlm_matrix_max(c.get()), 4);
}

}  // namespace
