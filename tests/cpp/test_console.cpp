// Console printing and appends: the variadic value lists, which Python
// reaches only through the array form, and the text the appends leave.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "vlm.h"

namespace {

// Runs fn with the process's standard output sent to a temporary file and
// returns what reached the file. Nothing flushes stdout after fn, so output
// that an operation leaves in the stdio buffer does not count.
std::string captured(const std::function<void()> &fn) {
  std::fflush(stdout);
  FILE *sink = std::tmpfile();
  const int saved = dup(STDOUT_FILENO);
  dup2(fileno(sink), STDOUT_FILENO);
  fn();
  const long reached = lseek(STDOUT_FILENO, 0, SEEK_CUR);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  std::fflush(stdout);  // anything left behind goes to the real stdout now
  std::string out(static_cast<std::size_t>(reached), '\0');
  std::rewind(sink);
  const std::size_t got = std::fread(&out[0], 1, out.size(), sink);
  out.resize(got);
  std::fclose(sink);
  return out;
}

char *cs(const char *s) { return const_cast<char *>(s); }

// ---- value lists ---------------------------------------------------------------------

TEST(VlmConsole, VariadicValuesWithSeparatorAfterEveryValue) {
  EXPECT_EQ(captured([] { vlm_print_values(cs(", "), cs(";"), cs("d-d"), 1, 2); }), "1, 2, ;");
  EXPECT_EQ(captured([] { vlm_print_values_space(cs("dfs"), 3, 2.5, "ab"); }), "3 2.500000 ab \n");
  EXPECT_EQ(captured([] { vlm_print_values_new_line(cs("dd"), 1, 2); }), "1\n2\n ");
  EXPECT_EQ(captured([] { vlm_print_values(cs("|"), cs("."), cs("c c"), 'x', 'y'); }), "x|y|.");
  EXPECT_EQ(captured([] { vlm_print_values(cs("|"), cs("END"), cs("x-y! D")); }), "END");
}

TEST(VlmConsole, ArrayFormRefusesTooFewValues) {
  std::vector<VlmPrintValue> values(4);
  values[0].i = -7;
  values[1].f = 0.1234567;
  values[2].s = "str";
  values[3].i = 'Z';
  int rc = 1;
  // Asking for more values than given writes nothing at all.
  EXPECT_EQ(captured([&] { rc = vlm_print_values_array(", ", "!\n", "dfscd", values.data(), 4); }), "");
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(captured([&] { rc = vlm_print_values_array(" ", "\n", "", nullptr, 0); }), "\n");
  EXPECT_EQ(rc, 0);
}

// ---- appends -------------------------------------------------------------------------

struct AppendCase {
  bool is_double;
  int isInitial;
  const char *want;
};

class VlmStringAppend : public ::testing::TestWithParam<AppendCase> {};

TEST_P(VlmStringAppend, ReplacesOnlyWhenInitialIsOne) {
  const auto &c = GetParam();
  char target[64] = "abc";
  if (c.is_double)
    vlm_string_append_double(target, -0.5, c.isInitial);
  else
    vlm_string_append_integer(target, 7, c.isInitial);
  EXPECT_STREQ(target, c.want);
}

INSTANTIATE_TEST_SUITE_P(Cases, VlmStringAppend,
                         ::testing::Values(AppendCase{false, 1, "7"}, AppendCase{false, 0, "abc7"},
                                           AppendCase{false, 2, "abc7"}, AppendCase{false, -1, "abc7"},
                                           AppendCase{true, 1, "-0.500000"}, AppendCase{true, 0, "abc-0.500000"},
                                           AppendCase{true, 2, "abc-0.500000"}));

TEST(VlmNumberHelpers, MeasuredAppendsFillExactly) {
  // Measuring with the length helpers and appending never overruns: the
  // integer length already counts the terminator.
  const int len = vlm_string_length_integer(-42) + vlm_string_length_double(3.5);
  std::vector<char> buf(static_cast<std::size_t>(len), '#');
  buf[0] = '\0';
  vlm_string_append_integer(buf.data(), -42, 1);
  vlm_string_append_double(buf.data(), 3.5, 0);
  EXPECT_EQ(std::string(buf.data()), "-423.500000");
  EXPECT_EQ(std::strlen(buf.data()) + 1, buf.size());
}

}  // namespace
