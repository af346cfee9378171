// Element blocks of vectors and matrices: malloc-family memory, released
// with free.
#ifndef VELTA_BLOCK_H
#define VELTA_BLOCK_H

#include <cstddef>
#include <cstdlib>
#include <sys/mman.h>

namespace velta {

// Blocks never have zero bytes: glibc's realloc(p, 0) frees p and returns
// null, and an empty vector must still own a valid block.
inline std::size_t block_bytes(long long count) {
  return count > 0 ? static_cast<std::size_t>(count) * sizeof(double) : 1;
}

// A new block for count doubles, or null. Large blocks are aligned to the
// huge-page size and marked for transparent huge pages, so that filling
// them takes a fault per 2 MiB rather than per 4 KiB; they are still
// released with free.
inline double *block_new(long long count) {
  constexpr std::size_t kHuge = std::size_t(2) << 20;
  const std::size_t bytes = block_bytes(count);
  if (bytes < 2 * kHuge) return static_cast<double *>(std::malloc(bytes));
  const std::size_t rounded = (bytes + kHuge - 1) / kHuge * kHuge;
  void *p = std::aligned_alloc(kHuge, rounded);
  if (p) madvise(p, rounded, MADV_HUGEPAGE);
  return static_cast<double *>(p);
}

}  // namespace velta

#endif
