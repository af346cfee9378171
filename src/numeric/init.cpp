// Console printing and number-to-text helpers, plus the number formatting
// shared by the text forms of vectors and matrices.
#include <charconv>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "text_internal.h"
#include "vlm.h"

namespace velta {
namespace text {
namespace {

// A double split for fixed-point output with six decimals.
struct Fixed {
  enum Kind { kFinite, kInf, kNan, kWide } kind;
  bool neg;
  std::uint64_t ip;  // integer part after rounding (kFinite)
  std::uint32_t fp;  // six decimals after rounding (kFinite)
};

// Rounds |v| * 10^6 to the nearest integer, ties to even, on the exact
// binary value -- the rounding printf performs in the default rounding mode.
// Values of 2^63 and above are left to the slow path (kWide).
inline Fixed decompose(double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  Fixed f;
  f.neg = (bits >> 63) != 0;
  f.ip = 0;
  f.fp = 0;
  const unsigned bexp = static_cast<unsigned>((bits >> 52) & 0x7ff);
  const std::uint64_t frac = bits & ((std::uint64_t{1} << 52) - 1);
  if (bexp == 0x7ff) {
    f.kind = frac ? Fixed::kNan : Fixed::kInf;
    return f;
  }
  f.kind = Fixed::kFinite;
  std::uint64_t m;
  int e;
  if (bexp == 0) {
    m = frac;
    e = -1074;
  } else {
    m = frac | (std::uint64_t{1} << 52);
    e = static_cast<int>(bexp) - 1075;
  }
  if (m == 0) return f;
  if (e >= 0) {
    if (e > 10) {
      f.kind = Fixed::kWide;
      return f;
    }
    f.ip = m << e;  // an integer below 2^63
    return f;
  }
  const int s = -e;
  // m * 10^6 < 2^73, so for s >= 75 the scaled value is below 1/4.
  if (s >= 75) return f;
  using u128 = unsigned __int128;
  const u128 n = static_cast<u128>(m) * 1000000u;
  u128 q = n >> s;
  const u128 rem = n - (q << s);
  const u128 half = static_cast<u128>(1) << (s - 1);
  if (rem > half || (rem == half && (q & 1))) ++q;
  if (q >> 64 == 0) {
    const std::uint64_t q64 = static_cast<std::uint64_t>(q);
    f.ip = q64 / 1000000u;
    f.fp = static_cast<std::uint32_t>(q64 % 1000000u);
  } else {
    f.ip = static_cast<std::uint64_t>(q / 1000000u);
    f.fp = static_cast<std::uint32_t>(q % 1000000u);
  }
  return f;
}

inline int digits_u64(std::uint64_t x) {
  int d = 1;
  while (x >= 10000) {
    x /= 10000;
    d += 4;
  }
  if (x >= 1000) return d + 3;
  if (x >= 100) return d + 2;
  if (x >= 10) return d + 1;
  return d;
}

const char kPairs[201] =
    "00010203040506070809"
    "10111213141516171819"
    "20212223242526272829"
    "30313233343536373839"
    "40414243444546474849"
    "50515253545556575859"
    "60616263646566676869"
    "70717273747576777879"
    "80818283848586878889"
    "90919293949596979899";

inline char *write_special(char *out, const Fixed &f) {
  if (f.neg) *out++ = '-';
  const char *word = f.kind == Fixed::kInf ? "inf" : "nan";
  out[0] = word[0];
  out[1] = word[1];
  out[2] = word[2];
  return out + 3;
}

}  // namespace

int fixed6_length(double v) {
  const Fixed f = decompose(v);
  switch (f.kind) {
    case Fixed::kFinite:
      return (f.neg ? 1 : 0) + digits_u64(f.ip) + 7;
    case Fixed::kInf:
    case Fixed::kNan:
      return (f.neg ? 1 : 0) + 3;
    case Fixed::kWide:
      break;
  }
  char buf[kMaxFixedLength];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
  return static_cast<int>(r.ptr - buf);
}

char *fixed6_write(char *out, double v) {
  const Fixed f = decompose(v);
  switch (f.kind) {
    case Fixed::kFinite: {
      if (f.neg) *out++ = '-';
      const int d = digits_u64(f.ip);
      std::uint64_t ip = f.ip;
      char *p = out + d;
      while (ip >= 100) {
        const unsigned pair = static_cast<unsigned>(ip % 100);
        ip /= 100;
        p -= 2;
        p[0] = kPairs[2 * pair];
        p[1] = kPairs[2 * pair + 1];
      }
      if (ip >= 10) {
        p -= 2;
        p[0] = kPairs[2 * ip];
        p[1] = kPairs[2 * ip + 1];
      } else {
        *--p = static_cast<char>('0' + ip);
      }
      out += d;
      *out++ = '.';
      const std::uint32_t fp = f.fp;
      const unsigned a = fp / 10000, b = (fp / 100) % 100, c = fp % 100;
      out[0] = kPairs[2 * a];
      out[1] = kPairs[2 * a + 1];
      out[2] = kPairs[2 * b];
      out[3] = kPairs[2 * b + 1];
      out[4] = kPairs[2 * c];
      out[5] = kPairs[2 * c + 1];
      return out + 6;
    }
    case Fixed::kInf:
    case Fixed::kNan:
      return write_special(out, f);
    case Fixed::kWide:
      break;
  }
  return std::to_chars(out, out + kMaxFixedLength, v, std::chars_format::fixed, 6).ptr;
}

int int_length(int v) {
  const std::uint64_t mag =
      v < 0 ? static_cast<std::uint64_t>(-static_cast<std::int64_t>(v)) : static_cast<std::uint64_t>(v);
  return (v < 0 ? 1 : 0) + digits_u64(mag);
}

char *int_write(char *out, int v) { return std::to_chars(out, out + kMaxIntLength, v).ptr; }

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
