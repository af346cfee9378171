// Number text checked against snprintf over millions of values, the text
// forms of long vectors and matrices whose numbers vary in length, and text
// building when memory runs out.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "test_util.h"
#include "vlm.h"

namespace {

using namespace velta_test;

std::string printf_f(double v) {
  char buf[400];
  std::snprintf(buf, sizeof buf, "%f", v);
  return buf;
}

// ---- number text ------------------------------------------------------------------

void expect_like_printf(double v) {
  const std::string want = printf_f(v);
  ASSERT_EQ(take(vlm_string_from_double(v)), want) << std::hexfloat << v;
  ASSERT_EQ(vlm_string_length_double(v), static_cast<int>(want.size())) << std::hexfloat << v;
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

// ---- long texts ---------------------------------------------------------------------

// Each text is measured first and then written: lengths that vary from
// element to element must all be measured, in vectors and in every row.
TEST(VlmLongText, EveryNumberIsMeasuredAndWritten) {
  std::mt19937_64 gen(5);
  std::uniform_real_distribution<double> mant(-1.0, 1.0);
  std::uniform_int_distribution<int> expo(-30, 80);
  std::vector<double> values(20000);
  for (auto &x : values) x = std::ldexp(mant(gen), expo(gen));
  // The text is written in one pass into a block sized for typical
  // numbers: 2^80 and the widest doubles make it grow, once and many times.
  std::vector<double> wide(3000, -1.7976931348623157e308);
  wide[1] = 1e300;
  for (const auto &set : {values, wide}) {
    Vec v = make_vector(set);
    std::string want = std::to_string(set.size()) + " [";
    for (std::size_t i = 0; i < set.size(); ++i) want += (i ? ", " : "") + printf_f(set[i]);
    want += "]\n";
    EXPECT_EQ(take(vlm_vector_to_string(v.get(), 1)), want);
  }
  std::string want;

  Mat m = make_matrix(200, 100, values);
  want = "shape (200,100)\n";
  for (int i = 0; i < 200; ++i) {
    want += "[";
    for (int j = 0; j < 100; ++j) want += (j ? ", " : "") + printf_f(values[i * 100 + j]);
    want += "]\n";
  }
  EXPECT_EQ(take(vlm_matrix_to_string(m.get(), 1)), want);
}

// ---- exhausted memory ------------------------------------------------------------------

// Runs body in a child process whose address space is capped a little above
// what it uses now; the child's exit status is body's result (0 for
// success), or a crash.
int in_capped_child(int (*body)()) {
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) {
    long pages = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
      std::fclose(f);
    }
    const rlim_t cap = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (rlim_t{64} << 20);
    const rlimit limit{cap, cap};
    if (pages == 0 || setrlimit(RLIMIT_AS, &limit) != 0) _exit(100);
    _exit(body());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 200 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

// Takes every byte malloc still has to give, smallest pieces last. The
// pieces pass through a volatile so that the calls are made.
void exhaust_memory() {
  void *volatile held = nullptr;
  for (std::size_t piece = std::size_t{1} << 24; piece > 0; piece /= 2)
    while ((held = std::malloc(piece)) != nullptr) {
    }
}

#if defined(__SANITIZE_ADDRESS__)
#define VELTA_SKIP_UNDER_ASAN() GTEST_SKIP() << "the sanitizer's allocator does not honour an address-space cap"
#else
#define VELTA_SKIP_UNDER_ASAN() (void)0
#endif

// Texts too long for the memory left are no text at all: null, nothing
// written, nothing printed.
TEST(VlmTextMemory, LongTextsWithoutMemoryAreNull) {
  VELTA_SKIP_UNDER_ASAN();
  EXPECT_EQ(in_capped_child([] {
              // Each -DBL_MAX takes 317 characters: some 190 MB of text.
              Vec v(vlm_vector_new_constant(600000, -DBL_MAX));
              Mat m(vlm_matrix_new_constant(600, 1000, -DBL_MAX));
              if (!v || !m) return 1;
              if (vlm_vector_to_string(v.get(), 1) != nullptr) return 2;
              if (vlm_matrix_to_string(m.get(), 1) != nullptr) return 3;
              vlm_vector_print_full(v.get());
              vlm_matrix_print(m.get(), 1);
              return 0;
            }),
            0);
}

TEST(VlmTextMemory, NumberTextsWithoutMemoryAreNull) {
  VELTA_SKIP_UNDER_ASAN();
  EXPECT_EQ(in_capped_child([] {
              char target[400] = "abc";
              exhaust_memory();
              if (vlm_string_from_integer(-5) != nullptr) return 1;
              if (vlm_string_from_double(2.5) != nullptr) return 2;
              if (vlm_string_from_double_set(const_cast<char *>("%.2f"), 2.5) != nullptr) return 3;
              // Appends need no memory of their own.
              vlm_string_append_integer(target, -5, 0);
              vlm_string_append_double(target, 2.5, 0);
              return std::strcmp(target, "abc-52.500000") == 0 ? 0 : 4;
            }),
            0);
}

}  // namespace
