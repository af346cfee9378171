// The product's kernels, one per instruction set, as the tests reach them.
#ifndef VELTA_PRODUCT_H
#define VELTA_PRODUCT_H

#include <vector>

namespace velta {

// Names of the kernels this processor runs, widest first ("avx512",
// "avx2", "sse2"); the product uses the first.
std::vector<const char *> product_kernels();

// Makes products use the named kernel, one of product_kernels(), or the
// widest again for null; false (and no change) for another name. For tests:
// not to be called while a product runs.
bool use_product_kernel(const char *name);

}  // namespace velta

#endif
