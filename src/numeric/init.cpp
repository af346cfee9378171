// Console printing and number-to-text helpers; the number formatting itself
// lives in number_text.cpp.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "text_internal.h"
#include "vlm.h"

namespace velta {
namespace text {

void *print_text(char *text) {
  if (!text) return nullptr;
  std::fputs(text, stdout);
  std::fflush(stdout);
  std::free(text);
  return nullptr;
}

}  // namespace text
}  // namespace velta

namespace {

using velta::text::fixed6_length;
using velta::text::fixed6_write;
using velta::text::int_length;
using velta::text::int_write;

// Heap copy of [first, first + len) plus a terminator, or null when there is
// no memory for it.
char *heap_text(const char *first, std::size_t len) {
  char *s = static_cast<char *>(std::malloc(len + 1));
  if (!s) return nullptr;
  std::memcpy(s, first, len);
  s[len] = '\0';
  return s;
}

// printf's "%s" writes "(null)" for a null pointer; so do we.
const char *or_null_text(const char *s) { return s ? s : "(null)"; }

// Writes [buf, end) and a newline (end has room for it), then flushes.
void *print_line(char *buf, char *end) {
  *end++ = '\n';
  std::fwrite(buf, 1, static_cast<std::size_t>(end - buf), stdout);
  std::fflush(stdout);
  return nullptr;
}

// Puts the text [first, end) at the start of target when isInitial is 1,
// else after target's text. end has room for the terminator.
void *append_text(char *target, char *first, char *end, int isInitial) {
  *end = '\0';
  if (isInitial == 1)
    std::strcpy(target, first);
  else
    std::strcat(target, first);
  return nullptr;
}

// Writes one value of a value list followed by the separator: the single
// emitter behind vlm_print_values* and vlm_print_values_array.
void emit_value(char letter, const VlmPrintValue &v, const char *inbetween) {
  char buf[velta::text::kMaxFixedLength];
  switch (letter) {
    case 'd':
      std::fwrite(buf, 1, static_cast<std::size_t>(int_write(buf, v.i) - buf), stdout);
      break;
    case 'c':
      std::fputc(static_cast<unsigned char>(v.i), stdout);
      break;
    case 'f':
      std::fwrite(buf, 1, static_cast<std::size_t>(fixed6_write(buf, v.f) - buf), stdout);
      break;
    case 's':
      std::fputs(or_null_text(v.s), stdout);
      break;
    default:
      return;
  }
  std::fputs(or_null_text(inbetween), stdout);
}

inline bool takes_value(char c) { return c == 'd' || c == 'c' || c == 'f' || c == 's'; }

// Walks fmt, asking next(letter) for the value of each value letter; other
// characters are passed over. Then writes end and flushes.
template <class Next>
void print_list(const char *inbetween, const char *end, const char *fmt, Next next) {
  if (fmt) {
    for (const char *c = fmt; *c; ++c) {
      if (takes_value(*c)) emit_value(*c, next(*c), inbetween);
    }
  }
  std::fputs(or_null_text(end), stdout);
  std::fflush(stdout);
}

void *vlm_print_v(const char *inbetween, const char *end, const char *fmt, va_list args) {
  va_list ap;
  va_copy(ap, args);
  print_list(inbetween, end, fmt, [&ap](char letter) {
    VlmPrintValue v;
    switch (letter) {
      case 'd':
      case 'c':
        v.i = va_arg(ap, int);
        break;
      case 'f':
        v.f = va_arg(ap, double);
        break;
      default:
        v.s = va_arg(ap, const char *);
        break;
    }
    return v;
  });
  va_end(ap);
  return nullptr;
}

}  // namespace

extern "C" {

void *vlm_print_integer(int val) {
  char buf[velta::text::kMaxIntLength + 1];
  return print_line(buf, int_write(buf, val));
}

void *vlm_print_double(double val) {
  char buf[velta::text::kMaxFixedLength + 1];
  return print_line(buf, fixed6_write(buf, val));
}

void *vlm_print_string(char *val) {
  std::fputs(or_null_text(val), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
  return nullptr;
}

int vlm_string_length_integer(int val) { return int_length(val) + 1; }

int vlm_string_length_string(char *str) { return static_cast<int>(std::strlen(str)); }

int vlm_string_length_double(double val) { return fixed6_length(val); }

char *vlm_string_from_integer(int val) {
  char buf[velta::text::kMaxIntLength];
  return heap_text(buf, static_cast<std::size_t>(int_write(buf, val) - buf));
}

char *vlm_string_from_double(double val) {
  char buf[velta::text::kMaxFixedLength];
  return heap_text(buf, static_cast<std::size_t>(fixed6_write(buf, val) - buf));
}

char *vlm_string_from_double_set(char *fmt, double val) {
  const int len = std::snprintf(nullptr, 0, fmt, val);
  if (len < 0) return heap_text("", 0);
  char *s = static_cast<char *>(std::malloc(static_cast<std::size_t>(len) + 1));
  if (!s) return nullptr;
  std::snprintf(s, static_cast<std::size_t>(len) + 1, fmt, val);
  return s;
}

void *vlm_string_append_integer(char *target, int val, int isInitial) {
  char buf[velta::text::kMaxIntLength + 1];
  return append_text(target, buf, int_write(buf, val), isInitial);
}

void *vlm_string_append_double(char *target, double val, int isInitial) {
  char buf[velta::text::kMaxFixedLength + 1];
  return append_text(target, buf, fixed6_write(buf, val), isInitial);
}

void *vlm_print_values(char *inbetween, char *end, char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vlm_print_v(inbetween, end, fmt, ap);
  va_end(ap);
  return nullptr;
}

void *vlm_print_values_space(char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vlm_print_v(" ", "\n", fmt, ap);
  va_end(ap);
  return nullptr;
}

void *vlm_print_values_new_line(char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vlm_print_v("\n", " ", fmt, ap);
  va_end(ap);
  return nullptr;
}

int vlm_print_values_array(const char *inbetween, const char *end, const char *fmt,
                           const VlmPrintValue *values, int count) {
  int needed = 0;
  if (fmt) {
    for (const char *c = fmt; *c; ++c) needed += takes_value(*c) ? 1 : 0;
  }
  if (needed > count) return -1;
  int next = 0;
  print_list(inbetween, end, fmt, [values, &next](char) { return values[next++]; });
  return 0;
}

}  // extern "C"
