// Vectors of doubles: construction, element access, growth, in-place
// arithmetic, generated sequences, reductions, sorting and the text form.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "block.h"
#include "text_internal.h"
#include "vlm.h"

namespace {

// --- sort ------------------------------------------------------------------
//
// Doubles are sorted as 64-bit keys whose unsigned order is the numeric
// order: negative values have all bits flipped, others get the sign bit set.
// NaNs have no place in that order; they are set aside and go last, in their
// original order. -0.0 lands before 0.0.

inline std::uint64_t to_key(std::uint64_t bits) {
  return (bits >> 63) ? ~bits : (bits | (std::uint64_t{1} << 63));
}

inline std::uint64_t from_key(std::uint64_t key) {
  return (key >> 63) ? (key & ~(std::uint64_t{1} << 63)) : ~key;
}

inline bool is_nan_bits(std::uint64_t bits) {
  return (bits & ~(std::uint64_t{1} << 63)) > (std::uint64_t{0x7ff} << 52);
}

constexpr int kRadixBits = 8;
constexpr int kRadixPasses = 8;
constexpr std::size_t kBuckets = std::size_t{1} << kRadixBits;
constexpr std::size_t kSmallSort = 512;

// Digit histograms of all radix passes, gathered while the keys are made.
struct RadixCounts {
  std::uint32_t c[kRadixPasses][kBuckets];
  void add(std::uint64_t k) {
    for (int p = 0; p < kRadixPasses; ++p) ++c[p][(k >> (p * kRadixBits)) & (kBuckets - 1)];
  }
};

// LSD radix sort of keys[0, n) using scratch[0, n); returns whichever of the
// two holds the sorted keys.
const std::uint64_t *radix_sort(std::uint64_t *keys, std::uint64_t *scratch, std::size_t n, RadixCounts &counts) {
  static_assert(kRadixBits * kRadixPasses >= 64, "passes must cover the key");
  std::uint64_t *src = keys, *dst = scratch;
  for (int p = 0; p < kRadixPasses; ++p) {
    std::uint32_t *c = counts.c[p];
    const int shift = p * kRadixBits;
    // A digit shared by every key orders nothing.
    if (c[(src[0] >> shift) & (kBuckets - 1)] == n) continue;
    std::uint32_t sum = 0;
    for (std::size_t b = 0; b < kBuckets; ++b) {
      const std::uint32_t t = c[b];
      c[b] = sum;
      sum += t;
    }
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint64_t k = src[i];
      dst[c[(k >> shift) & (kBuckets - 1)]++] = k;
    }
    std::swap(src, dst);
  }
  return src;
}

}  // namespace

extern "C" {

VlmVector *vlm_vector_new(int size) {
  if (size < 0) size = 0;
  VlmVector *vec = static_cast<VlmVector *>(std::malloc(sizeof(VlmVector)));
  if (!vec) return nullptr;
  vec->p_r_nums = velta::block_new(size);
  if (!vec->p_r_nums) {  // exhausted memory: no record at all
    std::free(vec);
    return nullptr;
  }
  vec->size = size;
  return vec;
}

void vlm_vector_delete(VlmVector *vec) {
  if (!vec) return;
  std::free(vec->p_r_nums);
  std::free(vec);
}

VlmVector *vlm_vector_new_zero(int size) { return velta::made_zero(vlm_vector_new(size)); }

VlmVector *vlm_vector_new_constant(int size, double val) { return velta::made_constant(vlm_vector_new(size), val); }

VlmVector *vlm_vector_new_random(int size, double min, double max) {
  return velta::made_random(vlm_vector_new(size), min, max);
}

VlmVector *vlm_vector_new_linspace(double min, double max, int size) {
  VlmVector *vec = vlm_vector_new(size);
  if (!vec) return nullptr;
  const double n = vec->size;
  for (int i = 0; i < vec->size; ++i) {
    const double q = static_cast<double>(i) / n;
    const double span = max - min;
    const double prod = q * span;
    vec->p_r_nums[i] = prod + min;
  }
  return vec;
}

VlmVector *vlm_vector_new_arange(int min, int step, int max) {
  if (min > max || step <= 0) return vlm_vector_new(0);
  // The running value min + n * step first exceeds max at this n; 64-bit
  // arithmetic keeps ranges that end near INT_MAX exact.
  const long long count = (static_cast<long long>(max) - min) / step + 1;
  if (count > std::numeric_limits<int>::max()) return vlm_vector_new(0);
  VlmVector *vec = vlm_vector_new(static_cast<int>(count));
  if (!vec) return nullptr;
  long long value = min;
  for (int k = 0; k < vec->size; ++k, value += step) vec->p_r_nums[k] = static_cast<double>(value);
  return vec;
}

VlmVector *vlm_vector_new_arange_double(double min, double step, double max) {
  if (!(max >= min)) return vlm_vector_new(0);
  // A step that is not positive, or too small to move the running sum
  // through the range in int-many steps, would never end the count.
  if (!(step > 0.0)) return vlm_vector_new(0);
  const double span = max - min;
  if (!(span / step < static_cast<double>(std::numeric_limits<int>::max() - 2)))
    return vlm_vector_new(0);
  long long n = 0;
  double s = min;
  do {
    const double next = s + step;
    if (next == s) return vlm_vector_new(0);  // the sum stopped moving
    s = next;
    ++n;
  } while (s <= max && n < std::numeric_limits<int>::max());
  if (s <= max) return vlm_vector_new(0);
  VlmVector *vec = vlm_vector_new(static_cast<int>(n));
  if (!vec) return nullptr;
  for (int k = 0; k < vec->size; ++k) {
    const double prod = static_cast<double>(k) * step;
    vec->p_r_nums[k] = prod + min;
  }
  return vec;
}

VlmVector *vlm_vector_new_values(int size, ...) {
  VlmVector *vec = vlm_vector_new(size);
  if (!vec) return nullptr;
  va_list ap;
  va_start(ap, size);
  for (int i = 0; i < vec->size; ++i) vec->p_r_nums[i] = va_arg(ap, double);
  va_end(ap);
  return vec;
}

VlmVector *vlm_vector_new_values_array(int size, const double *values) {
  return vlm_vector_new_from_array(const_cast<double *>(values), size);
}

VlmVector *vlm_vector_new_copy(VlmVector *vec) { return velta::made_from(vlm_vector_new(vec->size), vec->p_r_nums); }

VlmVector *vlm_vector_new_duplicate_size(VlmVector *vec) { return vlm_vector_new(vec->size); }

VlmVector *vlm_vector_new_from_array(double *ndarray_in, int size) {
  return velta::made_from(vlm_vector_new(size), ndarray_in);
}

double vlm_vector_get_item(VlmVector *vec, int index) {
  if (index < 0 || index >= vec->size) return std::numeric_limits<double>::quiet_NaN();
  return vec->p_r_nums[index];
}

void *vlm_vector_set_item(VlmVector *vec, int index, double val) {
  if (index >= 0 && index < vec->size) vec->p_r_nums[index] = val;
  return nullptr;
}

void *vlm_vector_to_array(VlmVector *vec, double **out_nums, int *out_size) {
  *out_nums = vec->p_r_nums;
  *out_size = vec->size;
  return nullptr;
}

p_vectorString_t vlm_vector_to_string(VlmVector *vec, int islong) {
  const double *p = vec->p_r_nums;
  const long n = vec->size;
  const bool full = islong == 1 || n <= 5;
  return velta::text::render([&](auto &sink) {
    sink.integer(vec->size);
    sink.lit(" [", 2);
    if (full)
      velta::text::full_sequence(sink, p, n);
    else
      velta::text::abbreviated_sequence(sink, p, n);
    sink.lit("]\n", 2);
  });
}

void *vlm_vector_print(VlmVector *vec, int islong) { return velta::text::print_text(vlm_vector_to_string(vec, islong)); }

void *vlm_vector_print_partial(VlmVector *vec) { return vlm_vector_print(vec, 0); }

void *vlm_vector_print_full(VlmVector *vec) { return vlm_vector_print(vec, 1); }

void *vlm_vector_append_value(VlmVector *vec, double val) {
  const int old = vec->size;
  double *grown = static_cast<double *>(std::realloc(vec->p_r_nums, velta::block_bytes(old + 1LL)));
  if (!grown) return nullptr;  // exhausted memory: the vector stays as it was
  vec->p_r_nums = grown;
  vec->p_r_nums[old] = val;
  vec->size = old + 1;
  return nullptr;
}

void *vlm_vector_append_vector(VlmVector *vec_target, VlmVector *vec_another) {
  const int old = vec_target->size;
  const int extra = vec_another->size;  // read before the target grows: it may be the same record
  double *grown =
      static_cast<double *>(std::realloc(vec_target->p_r_nums, velta::block_bytes(static_cast<long long>(old) + extra)));
  if (!grown) return nullptr;  // exhausted memory: the vector stays as it was
  vec_target->p_r_nums = grown;
  if (extra > 0) std::memmove(vec_target->p_r_nums + old, vec_another->p_r_nums, extra * sizeof(double));
  vec_target->size = old + extra;
  return nullptr;
}

void *vlm_vector_add_by_value(VlmVector *vec, double val) { return velta::add_each(vec, val); }

void *vlm_vector_substract_by_value(VlmVector *vec, double val) { return velta::substract_each(vec, val); }

void *vlm_vector_multiply_by_value(VlmVector *vec, double val) { return velta::multiply_each(vec, val); }

void *vlm_vector_divide_by_value(VlmVector *vec, double val) { return velta::divide_each(vec, val); }

void *vlm_vector_change_elements_by_value(VlmVector *vec, double val) { return velta::change_each(vec, val); }

void *vlm_vector_copy_elements(VlmVector *src, VlmVector *target) { return velta::copy_elements(src, target); }

void vlm_sin(double *val) { *val = std::sin(*val); }

void *vlm_vector_sin(VlmVector *vec) {
  velta::each_element(vec->p_r_nums, vec->size, [](double x) { return std::sin(x); });
  return nullptr;
}

void *vlm_vector_input_function(VlmVector *vec, void (*function)(double *)) {
  if (!function) return nullptr;
  for (int i = 0; i < vec->size; ++i) function(&vec->p_r_nums[i]);
  return nullptr;
}

double vlm_vector_min(VlmVector *vec) { return velta::min_of(vec); }

double vlm_vector_max(VlmVector *vec) { return velta::max_of(vec); }

int vlm_vector_isexist(VlmVector *vec, int idx1, int idx2, double val) {
  if (idx1 > idx2) return 0;
  // Indexes outside the vector hold nothing to find.
  const int lo = std::max(idx1, 0);
  const int hi = std::min(idx2, vec->size - 1);
  int found = 0;
  for (int i = lo; i <= hi; ++i)
    if (vec->p_r_nums[i] == val) found = 1;
  return found;
}

}  // extern "C"

namespace {

// Radix sort on the ordered bit patterns; NaNs last, in their original order.
void sort_doubles(VlmVector *vec) {
  const std::size_t n = vec->size > 0 ? static_cast<std::size_t>(vec->size) : 0;
  if (n < 2) return;
  double *p = vec->p_r_nums;
  std::unique_ptr<std::uint64_t[]> keys(new std::uint64_t[n]);
  const bool radix = n >= kSmallSort;
  std::unique_ptr<RadixCounts> counts(radix ? new RadixCounts() : nullptr);
  // Keys of ordinary values fill keys from the front; NaN bit patterns fill
  // it from the back, so they come out reversed.
  std::size_t m = 0, nans = 0;
  for (std::size_t i = 0; i < n; ++i) {
    std::uint64_t bits;
    std::memcpy(&bits, &p[i], sizeof bits);
    if (is_nan_bits(bits)) {
      keys[n - 1 - nans++] = bits;
    } else {
      const std::uint64_t k = to_key(bits);
      keys[m++] = k;
      if (radix) counts->add(k);
    }
  }
  const std::uint64_t *sorted = keys.get();
  std::unique_ptr<std::uint64_t[]> scratch;
  if (!radix || m < 2) {
    std::sort(keys.get(), keys.get() + m);
  } else {
    scratch.reset(new std::uint64_t[m]);
    sorted = radix_sort(keys.get(), scratch.get(), m, *counts);
  }
  for (std::size_t i = 0; i < m; ++i) {
    const std::uint64_t bits = from_key(sorted[i]);
    std::memcpy(&p[i], &bits, sizeof bits);
  }
  for (std::size_t j = 0; j < nans; ++j) std::memcpy(&p[m + j], &keys[n - 1 - j], sizeof(double));
}

}  // namespace

extern "C" {

void *vlm_vector_sort(VlmVector *vec) {
  try {
    sort_doubles(vec);
  } catch (const std::bad_alloc &) {  // no room for the keys: sort in place instead
    double *p = vec->p_r_nums;
    double *mid = std::stable_partition(p, p + vec->size, [](double x) { return !std::isnan(x); });
    std::sort(p, mid);
  }
  return nullptr;
}

}  // extern "C"
