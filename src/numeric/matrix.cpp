// Row-major matrices of doubles: construction, element access, in-place
// arithmetic, shape operations, the product, extraction and the text form.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "block.h"
#include "product.h"
#include "text_internal.h"
#include "threads.h"
#include "vlm.h"

namespace {

inline long long count_of(int rows, int cols) {
  return rows > 0 && cols > 0 ? static_cast<long long>(rows) * cols : 0;
}

// Element at a flat index, or NaN for an index outside the block.
inline double element_or_nan(const VlmMatrix *mat, long long index) {
  return index >= 0 && index < mat->size ? mat->p_r_nums[index] : std::numeric_limits<double>::quiet_NaN();
}

// --- product -----------------------------------------------------------------
//
// Every result element is the sum, from 0.0 and in order k = 0 .. n-1, of
// the rounded products a(i,k) * b(k,j) -- exactly what the plain triple loop
// gives. The blocked kernel below keeps that order per element: blocks of k
// are visited in order and each element's partial sum lives in C between
// blocks. On the first block the sums start from +0.0 in registers, so C is
// neither zeroed nor read (0.0 + x is what the plain loop's first step
// gives). Multiplication and addition stay separate operations (the unit is
// compiled with -ffp-contract=off; there is no fused multiply-add here).
//
// Blocking: B is packed in KC x NR panels, A in MR x KC panels; the micro
// kernel keeps an MR x NR tile of C in registers, as vectors of W doubles.
// Vector lanes never mix, so an element's sum does not depend on where its
// tile or block falls: large products are shared among threads in items of
// whole tiles (blocks of C's rows, slices of its columns, never k), with the
// same bits for any number of threads.

constexpr int kKC = 256;
constexpr int kMC = 96;
constexpr int kNC = 2048;

// Threads: a product of fewer multiplications than this per thread uses
// fewer threads (starting one, and waking its processor, costs tens of
// microseconds), and no more threads than C has kMinRows-row blocks along
// its longer side. The threads of a product pack each panel of B once,
// together, then take blocks of C's rows against it in turn, about
// kItemsPerThread each, so that a thread on a busier processor takes fewer.
constexpr double kWorkPerThread = 4.0e6;
constexpr std::size_t kMinRows = 96;
constexpr std::size_t kItemsPerThread = 8;

// Packing panels of a product, kept by the calling thread between calls
// (see velta::Scratch): two for panels of B (the second for threads only),
// one per thread for its blocks of A, and the counters of the panels. The
// threads a call starts find theirs allocated.
struct Panels {
  velta::Scratch a[velta::kMaxThreads], b[2], counts;
};
thread_local Panels panels;

// The tickets of one panel of B: its strips to pack, then its items to
// compute, each counted out and counted done.
struct PanelCount {
  std::atomic<std::size_t> strip_next{0}, strips_done{0}, item_next{0}, items_done{0};
};

// Spins briefly, then gives the processor away until done() holds: on a
// shared machine the thread waited for may need it.
template <class Done>
void wait_until(Done done) {
  for (int spins = 0; !done(); ++spins) {
    if (spins < 2000) {
#if defined(__x86_64__) || defined(__i386__)
      __builtin_ia32_pause();
#endif
    } else {
      std::this_thread::yield();
    }
  }
}

// What the threads of one product C (m x p) = A (m x n) * B (n x p) share:
// all row-major and contiguous, n >= 1. The panels of B (kc rows, nc
// columns) are taken in order. Each thread, for each panel, takes strips of
// it to pack, in turn, then items (a block of mc rows of C and a slice of
// the panel's strips), in turn, each packing the block of A it needs. Nobody
// waits for the others to arrive: a strip is packed once the last items that
// read its buffer are done, an item computed once its panel's strips are all
// packed and the same item of the panel before (the same elements of C, the
// k before) is done. So a thread that starts late (or is descheduled) joins
// wherever the others are, and one that runs out of items of a panel packs
// the next (into the other buffer) while the rest finish theirs. Whichever
// thread takes an item, each element's sum runs over k in order through the
// same kernel, so the bits do not depend on the number of threads.
struct Team {
  const double *A, *B;
  double *C;
  std::size_t m, n, p;
  std::size_t mc, slices;  // rows of a block; slices of the strips per block
  std::size_t buffers;     // panels of B in turn: 1, or 2 for threads
  double *bpack[2];
  double *apack[velta::kMaxThreads];
  PanelCount *count;  // one per panel, in order
  // Per item of a column panel, two sets for column panels in turn (the
  // last items of one may still run as the next one's start): one more than
  // the last panel that item was computed for.
  std::atomic<std::size_t> *progress;
  std::size_t progress_set;  // items in a set
};

typedef double v2d __attribute__((vector_size(16)));
typedef double v4d __attribute__((vector_size(32)));
typedef double v8d __attribute__((vector_size(64)));

// b * *a, each lane rounded on its own. AVX-512 takes a from memory as an
// embedded broadcast: on Zen 4 a separate broadcast into a 512-bit register
// goes through the vector pipes the multiplies and adds need (a 12 x 16 tile
// ran at 65% of the multiply-plus-add peak with it, 98% without). The
// instruction is written out, since the compiler would rather broadcast once
// into a register and reuse it.
// (Arguments by reference: vectors by value would change the calling
// convention with the instruction set.)
template <class V>
__attribute__((always_inline)) inline void times(V &prod, const V &b, const double *a) {
  prod = b * *a;
}
#if defined(__x86_64__)
template <>
__attribute__((always_inline)) inline void times<v8d>(v8d &prod, const v8d &b, const double *a) {
  asm("vmulpd %1%{1to8%}, %2, %0" : "=v"(prod) : "m"(*a), "v"(b));
}
#endif

template <class V, int W, int MR, int NV, bool First>
__attribute__((always_inline)) inline void micro_kernel(int kc, const double *ap, const double *bp, double *c,
                                                        std::size_t ldc) {
  constexpr int NR = W * NV;
  V acc[MR][NV];
  for (int r = 0; r < MR; ++r)
    for (int v = 0; v < NV; ++v) {
      if (First)
        acc[r][v] = V{};  // +0.0 in every lane
      else
        std::memcpy(&acc[r][v], c + r * ldc + v * W, sizeof(V));
    }
  for (int k = 0; k < kc; ++k) {
    V b[NV];
    for (int v = 0; v < NV; ++v) std::memcpy(&b[v], bp + k * NR + v * W, sizeof(V));
    for (int r = 0; r < MR; ++r) {
      for (int v = 0; v < NV; ++v) {
        V prod;
        times(prod, b[v], ap + k * MR + r);
        acc[r][v] = acc[r][v] + prod;
      }
    }
  }
  for (int r = 0; r < MR; ++r)
    for (int v = 0; v < NV; ++v) std::memcpy(c + r * ldc + v * W, &acc[r][v], sizeof(V));
}

// The kernel on the h x w tile of C at c; an edge tile goes through a copy
// whose padded lanes are dropped.
template <class V, int W, int MR, int NV, bool First>
__attribute__((always_inline)) inline void tile_kernel(int kc, const double *ap, const double *bp, double *c,
                                                       std::size_t ldc, std::size_t h, std::size_t w) {
  constexpr std::size_t NR = static_cast<std::size_t>(W) * NV;
  if (h == static_cast<std::size_t>(MR) && w == NR) {
    micro_kernel<V, W, MR, NV, First>(kc, ap, bp, c, ldc);
    return;
  }
  alignas(64) double tile[MR * NR];
  if (!First)
    for (std::size_t r = 0; r < h; ++r)
      for (std::size_t j = 0; j < w; ++j) tile[r * NR + j] = c[r * ldc + j];
  micro_kernel<V, W, MR, NV, First>(kc, ap, bp, tile, NR);
  for (std::size_t r = 0; r < h; ++r)
    for (std::size_t j = 0; j < w; ++j) c[r * ldc + j] = tile[r * NR + j];
}

// Thread t's share of the team's product.
template <class V, int W, int MR, int NV>
__attribute__((always_inline)) inline void team_work(Team &tm, std::size_t t) {
  constexpr std::size_t NR = static_cast<std::size_t>(W) * NV;
  const double *A = tm.A, *B = tm.B;
  double *C = tm.C;
  const std::size_t m = tm.m, n = tm.n, p = tm.p;
  double *apack = tm.apack[t];
  const std::size_t blocks = (m + tm.mc - 1) / tm.mc;
  std::size_t g = 0;              // the panel
  std::size_t items_before[2]{};  // the items of the last two panels
  for (std::size_t jc = 0; jc < p; jc += kNC) {
    const std::size_t nc = std::min<std::size_t>(kNC, p - jc);
    const std::size_t strips = (nc + NR - 1) / NR;
    const std::size_t slices = std::min(tm.slices, strips);
    const std::size_t items = blocks * slices;
    for (std::size_t pc = 0; pc < n; pc += kKC, ++g) {
      const int kc = static_cast<int>(std::min<std::size_t>(kKC, n - pc));
      PanelCount &count = tm.count[g];
      double *bpack = tm.bpack[g % tm.buffers];
      // Pack B(pc.., jc..) into column strips of NR, zero padded, once the
      // panel that used this buffer last has been read.
      bool buffer_free = g < tm.buffers;
      for (std::size_t s; (s = count.strip_next.fetch_add(1, std::memory_order_relaxed)) < strips;) {
        if (!buffer_free) {
          const PanelCount &last = tm.count[g - tm.buffers];
          const std::size_t last_items = items_before[(g - tm.buffers) % 2];
          wait_until([&] { return last.items_done.load(std::memory_order_acquire) == last_items; });
          buffer_free = true;
        }
        const std::size_t js = s * NR;
        double *dst = bpack + js * kc;
        const std::size_t w = std::min(NR, nc - js);
        for (int k = 0; k < kc; ++k) {
          const double *src = B + (pc + k) * p + jc + js;
          double *d = dst + static_cast<std::size_t>(k) * NR;
          std::size_t j = 0;
          for (; j < w; ++j) d[j] = src[j];
          for (; j < NR; ++j) d[j] = 0.0;
        }
        count.strips_done.fetch_add(1, std::memory_order_release);
      }
      items_before[g % 2] = items;
      bool panel_packed = false;
      std::size_t packed = items;  // the block of A in apack, none yet
      for (std::size_t item; (item = count.item_next.fetch_add(1, std::memory_order_relaxed)) < items;) {
        if (!panel_packed) {
          wait_until([&] { return count.strips_done.load(std::memory_order_acquire) == strips; });
          panel_packed = true;
        }
        std::atomic<std::size_t> &done = tm.progress[jc / kNC % 2 * tm.progress_set + item];
        if (pc > 0) wait_until([&] { return done.load(std::memory_order_acquire) == g; });
        const std::size_t block = item / slices, slice = item % slices;
        const std::size_t ic = block * tm.mc, mc = std::min(tm.mc, m - ic);
        if (block != packed) {
          packed = block;
          // Pack A(ic.., pc..) into row strips of MR, zero padded.
          for (std::size_t is = 0; is < mc; is += MR) {
            double *dst = apack + is * kc;
            const std::size_t h = std::min<std::size_t>(MR, mc - is);
            // k outer: the panel is written in order, the MR rows read side
            // by side (a row at a time writes MR apart, and costs more than
            // the kernel's work on it when C is narrow).
            const double *row[MR];
            for (std::size_t r = 0; r < h; ++r) row[r] = A + (ic + is + r) * n + pc;
            if (h == static_cast<std::size_t>(MR)) {
              for (int k = 0; k < kc; ++k)
                for (int r = 0; r < MR; ++r) dst[static_cast<std::size_t>(k) * MR + r] = row[r][k];
            } else {
              for (int k = 0; k < kc; ++k)
                for (std::size_t r = 0; r < static_cast<std::size_t>(MR); ++r)
                  dst[static_cast<std::size_t>(k) * MR + r] = r < h ? row[r][k] : 0.0;
            }
          }
        }
        const std::size_t s0 = strips * slice / slices, s1 = strips * (slice + 1) / slices;
        const std::size_t js_end = std::min(nc, s1 * NR);
        for (std::size_t js = s0 * NR; js < js_end; js += NR) {
          const std::size_t w = std::min(NR, nc - js);
          const double *bp = bpack + js * kc;
          for (std::size_t is = 0; is < mc; is += MR) {
            const std::size_t h = std::min<std::size_t>(MR, mc - is);
            const double *ap = apack + is * kc;
            double *c = C + (ic + is) * p + jc + js;
            // The next tile's rows of C (below this one, or atop the next
            // strip) are fetched while this one computes, every line of them.
            const double *next = c + MR * p;
            std::size_t rows = std::min<std::size_t>(MR, mc - std::min(mc, is + MR)), width = w;
            if (rows == 0 && js + NR < js_end) {
              next = C + ic * p + jc + js + NR;
              rows = std::min<std::size_t>(MR, mc);
              width = std::min(NR, nc - js - NR);
            }
            for (std::size_t r = 0; r < rows; ++r)
              for (std::size_t j = 0; j < width + 7; j += 8)
                __builtin_prefetch(next + r * p + std::min(j, width - 1), 1, 3);
            if (pc == 0)
              tile_kernel<V, W, MR, NV, true>(kc, ap, bp, c, p, h, w);
            else
              tile_kernel<V, W, MR, NV, false>(kc, ap, bp, c, p, h, w);
          }
        }
        done.store(g + 1, std::memory_order_release);
        count.items_done.fetch_add(1, std::memory_order_release);
      }
    }
  }
}

// Tiles: 6 x 32 in 24 of AVX-512's 32 registers (four for B's row, one for
// the product); 6 x 8 in 12 of AVX2's 16 (the separate multiply and add need
// one more for the product); 4 x 4 in SSE2's. Each is written once, here: the
// kernel and the cutting of C into chunks both read it. On Zen 4, 6 x 32
// matched 12 x 16 and 8 x 24 on cached panels (98% of the multiply-plus-add
// peak) and beat both in whole products; it also wastes least at the edges
// of 64-wide and 64-tall matrices (64 rows cut into 66, 64 columns exactly).
template <class Vector, int Width, int Rows, int Vectors>
struct Tile {
  using V = Vector;
  static constexpr int W = Width, MR = Rows, NV = Vectors;
};
using Avx512Tile = Tile<v8d, 8, 6, 4>;
using Avx2Tile = Tile<v4d, 4, 6, 2>;
using Sse2Tile = Tile<v2d, 2, 4, 2>;

template <class T>
__attribute__((always_inline)) inline void work_of(Team &tm, std::size_t t) {
  team_work<typename T::V, T::W, T::MR, T::NV>(tm, t);
}

__attribute__((target("avx512f"))) void work_avx512(Team &tm, std::size_t t) { work_of<Avx512Tile>(tm, t); }

__attribute__((target("avx2"))) void work_avx2(Team &tm, std::size_t t) { work_of<Avx2Tile>(tm, t); }

void work_generic(Team &tm, std::size_t t) { work_of<Sse2Tile>(tm, t); }

struct Kernel {
  const char *name;
  void (*work)(Team &, std::size_t);
  std::size_t mr, nr;  // its tile
};

template <class T>
Kernel kernel_of(const char *name, void (*work)(Team &, std::size_t)) {
  return Kernel{name, work, T::MR, static_cast<std::size_t>(T::W) * T::NV};
}

// The kernels this processor runs, widest first, found once.
const std::vector<Kernel> &kernels() {
  static const std::vector<Kernel> found = [] {
    std::vector<Kernel> k;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) k.push_back(kernel_of<Avx512Tile>("avx512", work_avx512));
    if (__builtin_cpu_supports("avx2")) k.push_back(kernel_of<Avx2Tile>("avx2", work_avx2));
#endif
    k.push_back(kernel_of<Sse2Tile>("sse2", work_generic));
    return k;
  }();
  return found;
}

std::atomic<const Kernel *> chosen_kernel{nullptr};  // null: the widest

const Kernel &kernel() {
  const Kernel *k = chosen_kernel.load(std::memory_order_relaxed);
  return k ? *k : kernels().front();
}

// C (m x p) = A (m x n) * B (n x p), all row-major and contiguous, n >= 1,
// on the calling thread and, for a large product, others it starts. False
// without memory for the panels (nothing is started then).
bool multiply(const double *A, const double *B, double *C, std::size_t m, std::size_t n, std::size_t p) {
  const Kernel &k = kernel();
  const std::size_t length = std::max(m, p);
  const double work = static_cast<double>(m) * static_cast<double>(n) * static_cast<double>(p);
  // (The budget is asked only of products large enough for a second thread.)
  const std::size_t threads =
      work < 2 * kWorkPerThread
          ? 1
          : std::max<std::size_t>(1, std::min({velta::thread_budget(), (length + kMinRows - 1) / kMinRows,
                                               static_cast<std::size_t>(work / kWorkPerThread)}));
  Team tm;
  tm.A = A;
  tm.B = B;
  tm.C = C;
  tm.m = m;
  tm.n = n;
  tm.p = p;
  tm.buffers = threads > 1 ? 2 : 1;
  tm.mc = kMC;
  tm.slices = 1;
  if (threads > 1) {
    // Blocks of at most kMC rows, as many for each thread; slices of the
    // strips make up about kItemsPerThread items each.
    const std::size_t blocks = threads * ((m + threads * kMC - 1) / (threads * kMC));
    tm.mc = ((m + blocks - 1) / blocks + k.mr - 1) / k.mr * k.mr;
    const std::size_t made = (m + tm.mc - 1) / tm.mc;
    tm.slices = (threads * kItemsPerThread + made - 1) / made;
  }
  const std::size_t kc_max = std::min<std::size_t>(kKC, n);
  const std::size_t b_bytes = kc_max * std::min<std::size_t>(kNC, (p + k.nr - 1) / k.nr * k.nr) * sizeof(double);
  const std::size_t a_bytes = kc_max * std::min<std::size_t>(tm.mc, (m + k.mr - 1) / k.mr * k.mr) * sizeof(double);
  for (std::size_t i = 0; i < tm.buffers; ++i)
    if (!(tm.bpack[i] = static_cast<double *>(panels.b[i].get(b_bytes)))) return false;
  for (std::size_t t = 0; t < threads; ++t)
    if (!(tm.apack[t] = static_cast<double *>(panels.a[t].get(a_bytes)))) return false;
  const std::size_t count = (p + kNC - 1) / kNC * ((n + kKC - 1) / kKC);
  tm.progress_set = (m + tm.mc - 1) / tm.mc * std::min(tm.slices, (std::min<std::size_t>(kNC, p) + k.nr - 1) / k.nr);
  tm.count = static_cast<PanelCount *>(
      panels.counts.get(count * sizeof(PanelCount) + 2 * tm.progress_set * sizeof(*tm.progress)));
  if (!tm.count) return false;
  for (std::size_t g = 0; g < count; ++g) new (tm.count + g) PanelCount;
  tm.progress = reinterpret_cast<std::atomic<std::size_t> *>(tm.count + count);
  for (std::size_t i = 0; i < 2 * tm.progress_set; ++i) new (tm.progress + i) std::atomic<std::size_t>(0);
  velta::on_threads(threads, [&tm, &k](std::size_t t) { k.work(tm, t); });
  return true;
}

}  // namespace

std::vector<const char *> velta::product_kernels() {
  std::vector<const char *> names;
  for (const Kernel &k : kernels()) names.push_back(k.name);
  return names;
}

bool velta::use_product_kernel(const char *name) {
  if (!name) {
    chosen_kernel.store(nullptr);
    return true;
  }
  for (const Kernel &k : kernels())
    if (std::strcmp(k.name, name) == 0) {
      chosen_kernel.store(&k);
      return true;
    }
  return false;
}

extern "C" {

VlmMatrix *vlm_matrix_new(int row, int column) {
  VlmMatrix *mat = static_cast<VlmMatrix *>(std::malloc(sizeof(VlmMatrix)));
  if (!mat) return nullptr;
  const long long n = count_of(row, column);
  mat->p_r_nums = velta::block_new(n);
  if (!mat->p_r_nums) {  // exhausted memory: no record at all
    std::free(mat);
    return nullptr;
  }
  mat->r_shape[0] = row;
  mat->r_shape[1] = column;
  mat->size = static_cast<int>(n);
  return mat;
}

void vlm_matrix_delete(VlmMatrix *mat) {
  if (!mat) return;
  std::free(mat->p_r_nums);
  std::free(mat);
}

VlmMatrix *vlm_matrix_new_zero(int row, int col) { return velta::made_zero(vlm_matrix_new(row, col)); }

VlmMatrix *vlm_matrix_new_constant(int row, int column, double val) {
  return velta::made_constant(vlm_matrix_new(row, column), val);
}

VlmMatrix *vlm_matrix_new_random(int row, int column, double min, double max) {
  return velta::made_random(vlm_matrix_new(row, column), min, max);
}

VlmMatrix *vlm_matrix_new_identity(int size) {
  VlmMatrix *mat = vlm_matrix_new_zero(size, size);
  if (!mat) return nullptr;
  for (int i = 0; i < size; ++i) mat->p_r_nums[static_cast<std::size_t>(i) * size + i] = 1.0;
  return mat;
}

VlmMatrix *vlm_matrix_new_duplicate_size(VlmMatrix *mat) { return vlm_matrix_new(mat->r_shape[0], mat->r_shape[1]); }

VlmMatrix *vlm_matrix_new_copy(VlmMatrix *mat) {
  VlmMatrix *copy = vlm_matrix_new(mat->r_shape[0], mat->r_shape[1]);
  if (!copy) return nullptr;
  if (copy->size == mat->size && copy->size >= 1)
    std::memcpy(copy->p_r_nums, mat->p_r_nums, copy->size * sizeof(double));
  return copy;
}

VlmMatrix *vlm_matrix_new_from_vector(VlmVector *vec) {
  return velta::made_from(vlm_matrix_new(1, vec->size), vec->p_r_nums);
}

VlmMatrix *vlm_matrix_new_from_array(double *ndarray_in, int row, int column) {
  return velta::made_from(vlm_matrix_new(row, column), ndarray_in);
}

VlmVector *vlm_vector_new_from_matrix(VlmMatrix *mat) {
  return velta::made_from(vlm_vector_new(mat->size), mat->p_r_nums);
}

int vlm_matrix_row_col_to_index(VlmMatrix *mat, int row, int col) {
  return static_cast<int>(static_cast<long long>(row) * mat->r_shape[1] + col);
}

void *vlm_matrix_set_item(VlmMatrix *mat, int row, int col, double val) {
  const long long index = static_cast<long long>(row) * mat->r_shape[1] + col;
  if (index >= 0 && index < mat->size) mat->p_r_nums[index] = val;
  return nullptr;
}

double vlm_matrix_get_item(VlmMatrix *mat, int row, int col) {
  return element_or_nan(mat, static_cast<long long>(row) * mat->r_shape[1] + col);
}

void *vlm_matrix_to_array(VlmMatrix *mat, double **out_nums, int *out_rows, int *out_cols) {
  *out_nums = mat->p_r_nums;
  *out_rows = mat->r_shape[0];
  *out_cols = mat->r_shape[1];
  return nullptr;
}

VlmMatrix *vlm_matrix_new_extract_row(VlmMatrix *mat, int row) {
  const int nc = mat->r_shape[1];
  VlmMatrix *out = vlm_matrix_new(1, nc);
  if (!out) return nullptr;
  const long long base = static_cast<long long>(row) * nc;
  for (int j = 0; j < out->size; ++j) out->p_r_nums[j] = element_or_nan(mat, base + j);
  return out;
}

VlmMatrix *vlm_matrix_new_extract_column(VlmMatrix *mat, int col) {
  const int nr = mat->r_shape[0], nc = mat->r_shape[1];
  VlmMatrix *out = vlm_matrix_new(nr, 1);
  if (!out) return nullptr;
  for (int i = 0; i < out->size; ++i) out->p_r_nums[i] = element_or_nan(mat, static_cast<long long>(i) * nc + col);
  return out;
}

VlmMatrix *vlm_matrix_new_extract_row_col(VlmMatrix *mat, int row1, int row2, int col1, int col2) {
  const int rows = row2 - row1 + 1, cols = col2 - col1 + 1;
  const int nc = mat->r_shape[1];
  VlmMatrix *out = vlm_matrix_new(rows, cols);
  if (!out) return nullptr;
  if (out->size == 0) return out;
  double *d = out->p_r_nums;
  for (int i = 0; i < rows; ++i) {
    const long long base = static_cast<long long>(row1 + i) * nc + col1;
    if (base >= 0 && base + cols <= mat->size) {
      std::memcpy(d, mat->p_r_nums + base, cols * sizeof(double));
    } else {
      for (int j = 0; j < cols; ++j) d[j] = element_or_nan(mat, base + j);
    }
    d += cols;
  }
  return out;
}

VlmMatrix *vlm_matrix_new_multiplication(VlmMatrix *mat1, VlmMatrix *mat2) {
  const int n = mat1->r_shape[1];
  if (n != mat2->r_shape[0]) return nullptr;
  // The product writes every element; only an empty inner dimension leaves
  // the sums at their start, 0.0.
  VlmMatrix *out = n > 0 ? vlm_matrix_new(mat1->r_shape[0], mat2->r_shape[1])
                         : vlm_matrix_new_zero(mat1->r_shape[0], mat2->r_shape[1]);
  if (!out) return nullptr;
  if (out->size > 0 && n > 0 &&
      !multiply(mat1->p_r_nums, mat2->p_r_nums, out->p_r_nums, static_cast<std::size_t>(out->r_shape[0]),
                static_cast<std::size_t>(n), static_cast<std::size_t>(out->r_shape[1]))) {
    vlm_matrix_delete(out);  // no room for the packed panels
    return nullptr;
  }
  return out;
}

double vlm_matrix_row_multiply_col(VlmMatrix *mat1, VlmMatrix *mat2, int row, int col) {
  const int n = mat1->r_shape[1];
  const std::size_t p = static_cast<std::size_t>(mat2->r_shape[1]);
  const double *a = mat1->p_r_nums + static_cast<std::size_t>(row) * n;
  const double *b = mat2->p_r_nums + col;
  double sum = 0.0;
  for (int k = 0; k < n; ++k) {
    const double prod = a[k] * b[k * p];
    sum = sum + prod;
  }
  return sum;
}

void *vlm_matrix_add_by_value(VlmMatrix *mat, double val) { return velta::add_each(mat, val); }

void *vlm_matrix_substract_by_value(VlmMatrix *mat, double val) { return velta::substract_each(mat, val); }

void *vlm_matrix_multiply_by_value(VlmMatrix *mat, double val) { return velta::multiply_each(mat, val); }

void *vlm_matrix_divide_by_value(VlmMatrix *mat, double val) { return velta::divide_each(mat, val); }

void *vlm_matrix_change_elements_by_value(VlmMatrix *mat, double val) { return velta::change_each(mat, val); }

void *vlm_matrix_copy_elements(VlmMatrix *src, VlmMatrix *target) { return velta::copy_elements(src, target); }

void *vlm_matrix_copy_shape(VlmMatrix *src, VlmMatrix *target) {
  target->r_shape[0] = src->r_shape[0];
  target->r_shape[1] = src->r_shape[1];
  return nullptr;
}

void *vlm_matrix_transpose(VlmMatrix *mat) {
  const int r = mat->r_shape[0], c = mat->r_shape[1];
  const long long n = static_cast<long long>(r) * c;
  // The elements move only when the shape describes the whole block; the
  // shape is swapped either way.
  if (n == mat->size && n >= 1) {
    // Without room for the scratch block the matrix stays as it is.
    std::unique_ptr<double[]> scratch(new (std::nothrow) double[static_cast<std::size_t>(n)]);
    if (!scratch) return nullptr;
    const double *src = mat->p_r_nums;
    constexpr int kTile = 32;
    for (int i0 = 0; i0 < r; i0 += kTile)
      for (int j0 = 0; j0 < c; j0 += kTile) {
        const int i1 = std::min(i0 + kTile, r), j1 = std::min(j0 + kTile, c);
        for (int i = i0; i < i1; ++i)
          for (int j = j0; j < j1; ++j)
            scratch[static_cast<std::size_t>(j) * r + i] = src[static_cast<std::size_t>(i) * c + j];
      }
    std::memcpy(mat->p_r_nums, scratch.get(), static_cast<std::size_t>(n) * sizeof(double));
  }
  mat->r_shape[0] = c;
  mat->r_shape[1] = r;
  return nullptr;
}

double vlm_matrix_min(VlmMatrix *mat) { return velta::min_of(mat); }

double vlm_matrix_max(VlmMatrix *mat) { return velta::max_of(mat); }

p_matrixString_t vlm_matrix_to_string(VlmMatrix *mat, int islong) {
  const int nr = mat->r_shape[0], nc = mat->r_shape[1];
  bool rows_abbreviated, cols_abbreviated;
  if (islong == 1) {
    rows_abbreviated = cols_abbreviated = false;
  } else if (islong == 0) {
    rows_abbreviated = nr > 5;
    cols_abbreviated = nc > 5;
  } else {
    rows_abbreviated = cols_abbreviated = nr > 5 || nc > 5;
  }
  const double *p = mat->p_r_nums;
  // Room for typical numbers; longer ones grow the block.
  const std::size_t rows_shown = rows_abbreviated ? 5 : static_cast<std::size_t>(nr > 0 ? nr : 0);
  const std::size_t cols_shown = cols_abbreviated ? 5 : static_cast<std::size_t>(nc > 0 ? nc : 0);
  const std::size_t estimate = 48 + rows_shown * (8 + cols_shown * 26);
  return velta::text::render(estimate, [&](auto &sink) {
    sink.lit("shape (", 7);
    sink.integer(nr);
    sink.lit(",", 1);
    sink.integer(nc);
    sink.lit(")\n", 2);
    auto row = [&](int i) {
      const double *first = p + static_cast<std::size_t>(i) * (nc > 0 ? nc : 0);
      sink.lit("[", 1);
      if (cols_abbreviated)
        velta::text::abbreviated_sequence(sink, first, nc);
      else
        velta::text::full_sequence(sink, first, nc);
      sink.lit("]\n", 2);
    };
    if (!rows_abbreviated) {
      for (int i = 0; i < nr; ++i) row(i);
    } else {
      const int head = std::min(nr, 4);
      for (int i = 0; i < head; ++i) row(i);
      if (nr >= 4) sink.lit("\t...\n", 5);
      if (nr - 1 >= 4) row(nr - 1);
    }
  });
}

void *vlm_matrix_print(VlmMatrix *mat, int islong) { return velta::text::print_text(vlm_matrix_to_string(mat, islong)); }

void *vlm_matrix_print_partial(VlmMatrix *mat) { return vlm_matrix_print(mat, 0); }

void *vlm_matrix_print_full(VlmMatrix *mat) { return vlm_matrix_print(mat, 1); }

}  // extern "C"
