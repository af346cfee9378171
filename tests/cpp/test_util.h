// Helpers shared by the numeric-core tests: owning handles for records and
// texts, and bit-exact comparison of doubles.
#ifndef VELTA_TEST_UTIL_H
#define VELTA_TEST_UTIL_H

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "vlm.h"

namespace velta_test {

struct MatDeleter {
  void operator()(VlmMatrix *m) const { vlm_matrix_delete(m); }
};
using Mat = std::unique_ptr<VlmMatrix, MatDeleter>;
struct VecDeleter {
  void operator()(VlmVector *v) const { vlm_vector_delete(v); }
};
using Vec = std::unique_ptr<VlmVector, VecDeleter>;

inline Vec make_vector(std::vector<double> values) {
  return Vec(vlm_vector_new_from_array(values.data(), static_cast<int>(values.size())));
}

inline Mat make_matrix(int rows, int cols, std::vector<double> values) {
  return Mat(vlm_matrix_new_from_array(values.data(), rows, cols));
}

inline std::vector<double> elements(const VlmVector *v) {
  return std::vector<double>(v->p_r_nums, v->p_r_nums + v->size);
}

inline std::vector<double> elements(const VlmMatrix *m) {
  return std::vector<double>(m->p_r_nums, m->p_r_nums + m->size);
}

// A library text as a string; the text is released.
inline std::string take(char *text) {
  std::string s(text);
  vlm_data_delete(text);
  return s;
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

inline std::uint64_t bits_of(double d) {
  std::uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

inline double from_bits(std::uint64_t b) {
  double d;
  std::memcpy(&d, &b, sizeof d);
  return d;
}

// Element-wise identity of doubles, bit for bit (tells -0.0 from 0.0), except
// that any NaN wanted matches any NaN.
inline void expect_same(const std::vector<double> &got, const std::vector<double> &want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    if (std::isnan(want[i]))
      EXPECT_TRUE(std::isnan(got[i])) << "index " << i;
    else
      EXPECT_EQ(bits_of(got[i]), bits_of(want[i])) << "index " << i << ": " << got[i] << " vs " << want[i];
  }
}

// Bit identity for every element, NaNs included.
inline void expect_bits(const std::vector<double> &got, const std::vector<double> &want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i)
    EXPECT_EQ(bits_of(got[i]), bits_of(want[i])) << "index " << i << ": " << got[i] << " vs " << want[i];
}

}  // namespace velta_test

#endif
