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
#include <new>

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

constexpr std::size_t kSmallSort = 512;

// LSD radix sort of 64-bit keys by digits of Bits bits. Wider digits mean
// fewer passes over the keys but larger tables, cleared and summed on every
// sort: 8 bits (eight passes) for a few thousand keys, 11 (six) while the
// tables stay small beside the keys, 16 (four) for large sorts.
template <int Bits>
struct Radix {
  static constexpr int kPasses = (64 + Bits - 1) / Bits;
  static constexpr std::size_t kBuckets = std::size_t{1} << Bits;
  // Consecutive keys count into kCopies separate tables, summed at the end:
  // keys of one magnitude share their high digits, and with narrow digits
  // one table would make each count wait for the one before.
  static constexpr int kCopies = Bits <= 11 ? 4 : 1;

  // Digit histograms of all passes, gathered while the keys are made.
  std::uint32_t c[kCopies][kPasses][kBuckets];

  static std::size_t digit(std::uint64_t k, int pass) { return (k >> (pass * Bits)) & (kBuckets - 1); }
  void add(std::size_t i, std::uint64_t k) {
    std::uint32_t(&t)[kPasses][kBuckets] = c[i % kCopies];
    for (int p = 0; p < kPasses; ++p) ++t[p][digit(k, p)];
  }

  // Sorts keys[0, n) using scratch[0, n); the last pass writes the values
  // the keys stand for into out[0, n) (and so does a copy when no pass is
  // needed).
  void sort(std::uint64_t *keys, std::uint64_t *scratch, std::size_t n, double *out) {
    for (int q = 1; q < kCopies; ++q)
      for (int p = 0; p < kPasses; ++p)
        for (std::size_t b = 0; b < kBuckets; ++b) c[0][p][b] += c[q][p][b];
    // A digit shared by every key orders nothing.
    int passes[kPasses], count = 0;
    for (int p = 0; p < kPasses; ++p)
      if (c[0][p][digit(keys[0], p)] != n) passes[count++] = p;
    std::uint64_t *src = keys, *dst = scratch;
    for (int i = 0; i < count; ++i) {
      const int p = passes[i];
      std::uint32_t *at = c[0][p];
      std::uint32_t sum = 0;
      for (std::size_t b = 0; b < kBuckets; ++b) {
        const std::uint32_t t = at[b];
        at[b] = sum;
        sum += t;
      }
      if (i + 1 < count) {
        for (std::size_t j = 0; j < n; ++j) dst[at[digit(src[j], p)]++] = src[j];
        std::swap(src, dst);
      } else {
        for (std::size_t j = 0; j < n; ++j) {
          const std::uint64_t bits = from_key(src[j]);
          std::memcpy(&out[at[digit(src[j], p)]++], &bits, sizeof bits);
        }
        return;
      }
    }
    for (std::size_t j = 0; j < n; ++j) {
      const std::uint64_t bits = from_key(src[j]);
      std::memcpy(&out[j], &bits, sizeof bits);
    }
  }
};

// --- double ranges ---------------------------------------------------------
//
// The count of a double range is the number of times the running sum
// s = s + step can be taken before s passes max. Stepping one addition at a
// time is exact but may take 2^31 additions before a refusal; within one
// binade, though, the additions follow a fixed pattern, so the walk below
// takes each binade's stretch of equal increments in one jump and steps
// singly only near binade edges and the end of the range.
//
// Inside a binade of spacing u (u = 2^ue), with both the state t and the
// exact sum t + step in it, fl(t + step) - t depends on t only through the
// parity of t / u (ties round to even), and a tie's result is even; so after
// two additions inside the binade every later one adds the same d.

struct Binade {
  int ue;             // the spacing is 2^ue
  std::int64_t top;   // exact sums at most top * u stay in the binade
};

inline Binade binade_of(double s) {
  const int e = s == 0.0 ? -1075 : std::ilogb(s);
  if (e <= -1022) return {-1074, std::int64_t{1} << 53};  // subnormals and the lowest binade share one spacing
  return {e - 52, s > 0 ? (std::int64_t{1} << 53) : -(std::int64_t{1} << 52)};
}

// floor(x / 2^ue) clamped to +-2^62; x / 2^ue is exact wherever it matters.
inline std::int64_t units_floor(double x, int ue) {
  const double q = std::ldexp(x, -ue);
  constexpr double kLimit = 4611686018427387904.0;  // 2^62
  if (q >= kLimit) return std::int64_t{1} << 62;
  if (q <= -kLimit) return -(std::int64_t{1} << 62);
  return static_cast<std::int64_t>(std::floor(q));
}

}  // namespace

extern "C" long long vlm_arange_double_count(double min, double step, double max) {
  if (!(max >= min)) return 0;
  if (!(step > 0.0)) return -1;
  // An infinite step ends the count at once, but its first element would be
  // 0 * inf + min, NaN rather than min.
  if (std::isinf(step)) return -3;
  constexpr long long kMaxCount = std::numeric_limits<int>::max();
  long long n = 0;
  double s = min;
  int same = 0;  // additions in a row that stayed inside s's binade
  double prev = s;
  while (true) {
    const double next = s + step;
    if (next == s) return -1;  // the sum stopped moving at or below max
    const Binade here = binade_of(s);
    const double step_units = std::ldexp(step, -here.ue);
    const std::int64_t c = step_units < 4503599627370496.0 ? static_cast<std::int64_t>(std::ceil(step_units)) : -1;
    const bool inside = c >= 0 && binade_of(next).ue == here.ue && ((next > 0) == (s > 0) || here.ue == -1074) &&
                        units_floor(s, here.ue) <= here.top - c;
    same = inside ? same + 1 : 0;
    prev = s;
    s = next;
    ++n;
    if (!(s <= max)) return n;
    if (n >= kMaxCount) return -2;
    if (same >= 2) {
      // Jump: J more additions of d = s - prev, as long as every one starts
      // inside the binade and ends at most max.
      const int ue = here.ue;
      const std::int64_t S = units_floor(s, ue);
      const std::int64_t D = units_floor(s - prev, ue);
      const std::int64_t room = here.top - c - S;  // further starts allowed: S + i*D <= top - c
      const std::int64_t to_max = units_floor(max, ue) - S;
      if (D > 0 && room >= 0 && to_max >= D) {
        long long J = std::min<std::int64_t>(room / D + 1, to_max / D);
        J = std::min<long long>(J, kMaxCount - 1 - n);
        if (J > 0) {
          s = std::ldexp(static_cast<double>(S + J * D), ue);
          n += J;
          same = 0;
        }
      }
    }
  }
}

namespace {

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
  const long long n = vlm_arange_double_count(min, step, max);
  VlmVector *vec = vlm_vector_new(n > 0 ? static_cast<int>(n) : 0);
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
  // Room for typical numbers; longer ones grow the block.
  const std::size_t estimate = 32 + (full ? static_cast<std::size_t>(n > 0 ? n : 0) : 5) * 26;
  return velta::text::render(estimate, [&](auto &sink) {
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

// Keys and their radix scratch, kept per thread between sorts.
thread_local velta::Scratch sort_scratch;

// Radix sort on the ordered bit patterns; NaNs last, in their original order.
// False without memory for the keys.
template <int Bits>
bool sort_doubles(VlmVector *vec) {
  const std::size_t n = static_cast<std::size_t>(vec->size);
  double *p = vec->p_r_nums;
  const bool radix = n >= kSmallSort;
  // One block: the keys, the radix pass's second buffer, the digit counts.
  const std::size_t key_bytes = n * sizeof(std::uint64_t);
  char *block = static_cast<char *>(sort_scratch.get(radix ? 2 * key_bytes + sizeof(Radix<Bits>) : key_bytes));
  if (!block) return false;
  std::uint64_t *keys = reinterpret_cast<std::uint64_t *>(block);
  Radix<Bits> *counts = radix ? new (block + 2 * key_bytes) Radix<Bits>() : nullptr;
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
      if (radix) counts->add(m, k);
      keys[m++] = k;
    }
  }
  // The NaNs' keys sit at the back of keys, out of the radix passes' way.
  if (radix && m >= 2) {
    counts->sort(keys, keys + n, m, p);
  } else {
    std::sort(keys, keys + m);
    for (std::size_t i = 0; i < m; ++i) {
      const std::uint64_t bits = from_key(keys[i]);
      std::memcpy(&p[i], &bits, sizeof bits);
    }
  }
  for (std::size_t j = 0; j < nans; ++j) std::memcpy(&p[m + j], &keys[n - 1 - j], sizeof(double));
  return true;
}

bool sort_doubles(VlmVector *vec) {
  if (vec->size < 2) return true;
  if (vec->size < (1 << 12)) return sort_doubles<8>(vec);
  return vec->size < (1 << 19) ? sort_doubles<11>(vec) : sort_doubles<16>(vec);
}

}  // namespace

extern "C" {

void *vlm_vector_sort(VlmVector *vec) {
  if (!sort_doubles(vec)) {  // no room for the keys: sort in place instead
    double *p = vec->p_r_nums;
    double *mid = std::stable_partition(p, p + vec->size, [](double x) { return !std::isnan(x); });
    std::sort(p, mid);
  }
  return nullptr;
}

}  // extern "C"
