// Element blocks of vectors and matrices: malloc-family memory, released
// with free, and the element-wise work that vectors and matrices share.
// A record here is a VlmVector or a VlmMatrix: both hold their elements in
// p_r_nums and their count in size.
#ifndef VELTA_BLOCK_H
#define VELTA_BLOCK_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sys/mman.h>

#include "vlm.h"

namespace velta {

// Blocks never have zero bytes: glibc's realloc(p, 0) frees p and returns
// null, and an empty vector must still own a valid block.
inline std::size_t block_bytes(long long count) {
  return count > 0 ? static_cast<std::size_t>(count) * sizeof(double) : 1;
}

// A new block for count doubles, or null. Blocks of 32 MiB and more, which
// malloc always maps afresh, are marked for transparent huge pages, so that
// filling them takes a fault per 2 MiB rather than per 4 KiB; smaller ones
// are plain malloc blocks, which malloc can hand out again without faults
// (zeroing a fresh huge page costs more than it saves at those sizes).
constexpr std::size_t kHugePage = std::size_t(2) << 20;
constexpr std::size_t kHugeFrom = 16 * kHugePage;

// Marks the whole huge pages inside [p, p + bytes) for transparent huge
// pages when the block is large; returns p.
inline void *huge_pages_inside(void *p, std::size_t bytes) {
  if (p && bytes >= kHugeFrom) {
    const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(p) + kHugePage - 1) / kHugePage * kHugePage;
    const std::uintptr_t last = (reinterpret_cast<std::uintptr_t>(p) + bytes) / kHugePage * kHugePage;
    if (last > first) madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE);
  }
  return p;
}

inline double *block_new(long long count) {
  const std::size_t bytes = block_bytes(count);
  return static_cast<double *>(huge_pages_inside(std::malloc(bytes), bytes));
}

// Working memory kept between calls, one per use and thread: a fresh block
// costs a page fault per 4 KiB on every call, which can outweigh the work.
// It only grows, so it holds what the largest call so far needed, uses huge
// pages when large (as blocks do), and is released when its thread (or the process) ends.
class Scratch {
 public:
  // At least bytes bytes, 64-byte aligned, or null without memory.
  void *get(std::size_t bytes) {
    if (bytes > capacity_) {
      std::free(data_);
      const std::size_t rounded = (bytes + 63) / 64 * 64;
      data_ = huge_pages_inside(std::aligned_alloc(64, rounded), rounded);
      capacity_ = data_ ? rounded : 0;
    }
    return data_;
  }
  Scratch() = default;
  Scratch(const Scratch &) = delete;
  Scratch &operator=(const Scratch &) = delete;
  ~Scratch() { std::free(data_); }

 private:
  void *data_ = nullptr;
  std::size_t capacity_ = 0;
};

// Replaces each of the count elements of p, in index order, by op of it.
template <class Op>
inline void each_element(double *p, long long count, Op op) {
  for (long long i = 0; i < count; ++i) p[i] = op(p[i]);
}

// In-place arithmetic by one value, the value always the right operand.
// The by-value functions of both vectors and matrices are these.
template <class Record>
void *add_each(Record *r, double val) {
  each_element(r->p_r_nums, r->size, [val](double x) { return x + val; });
  return nullptr;
}

template <class Record>
void *substract_each(Record *r, double val) {
  each_element(r->p_r_nums, r->size, [val](double x) { return x - val; });
  return nullptr;
}

template <class Record>
void *multiply_each(Record *r, double val) {
  each_element(r->p_r_nums, r->size, [val](double x) { return x * val; });
  return nullptr;
}

template <class Record>
void *divide_each(Record *r, double val) {
  each_element(r->p_r_nums, r->size, [val](double x) { return x / val; });
  return nullptr;
}

template <class Record>
void *change_each(Record *r, double val) {
  each_element(r->p_r_nums, r->size, [val](double) { return val; });
  return nullptr;
}

// Fills a record just made (or null, passed on) with zeros, a constant or
// draws of vlm_random.
template <class Record>
Record *made_zero(Record *r) {
  if (r) std::memset(r->p_r_nums, 0, block_bytes(r->size));
  return r;
}

template <class Record>
Record *made_constant(Record *r, double val) {
  if (r) change_each(r, val);
  return r;
}

template <class Record>
Record *made_random(Record *r, double min, double max) {
  if (r) each_element(r->p_r_nums, r->size, [min, max](double) { return vlm_random(min, max); });
  return r;
}

// Copies the elements of a record just made (or null, passed on) from
// values, which holds at least its size.
template <class Record>
Record *made_from(Record *r, const double *values) {
  if (r && r->size > 0) std::memcpy(r->p_r_nums, values, static_cast<std::size_t>(r->size) * sizeof(double));
  return r;
}

// Element-wise copy between records of equal, non-zero size; others are
// left alone. The blocks may be the same.
template <class Record>
void *copy_elements(const Record *src, Record *target) {
  if (src->size == target->size && src->size >= 1)
    std::memmove(target->p_r_nums, src->p_r_nums, static_cast<std::size_t>(src->size) * sizeof(double));
  return nullptr;
}

// Element 0, replaced in index order by each later element that lies
// strictly beyond the running one: the smallest with <, the largest with >.
// A NaN at 0 therefore stays and later NaNs never win. NaN when empty.
template <class Record, class Beyond>
double extreme(const Record *r, Beyond beyond) {
  if (r->size < 1) return std::numeric_limits<double>::quiet_NaN();
  const double *p = r->p_r_nums;
  double m = p[0];
  for (int i = 1; i < r->size; ++i)
    if (beyond(p[i], m)) m = p[i];
  return m;
}

template <class Record>
double min_of(const Record *r) {
  return extreme(r, [](double a, double b) { return a < b; });
}

template <class Record>
double max_of(const Record *r) {
  return extreme(r, [](double a, double b) { return a > b; });
}

}  // namespace velta

#endif
