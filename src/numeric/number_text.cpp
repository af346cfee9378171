// Number text without stdio: "%f" and "%d" exactly as printf writes them in
// the C locale, for the text forms, the console functions and the
// number-to-text functions.
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "block.h"
#include "text_internal.h"

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

namespace {

// A block of at least bytes bytes for text, with huge pages when large (as
// element blocks). Released with free.
char *text_block(std::size_t bytes) {
  return static_cast<char *>(huge_pages_inside(std::malloc(bytes), bytes));
}

}  // namespace

constexpr std::size_t kKeepRoomFrom = std::size_t(1) << 20;

Writer::Writer(std::size_t estimate) {
  const std::size_t cap = estimate + kMaxFixedLength + 1;
  base_ = pos_ = text_block(cap);
  end_ = base_ ? base_ + cap : nullptr;
}

bool Writer::grow(std::size_t len) {
  if (!base_) return false;
  const std::size_t used = static_cast<std::size_t>(pos_ - base_);
  const std::size_t cap = 2 * static_cast<std::size_t>(end_ - base_) + len;
  char *bigger = text_block(cap);
  if (!bigger) {
    std::free(base_);
    base_ = pos_ = end_ = nullptr;
    return false;
  }
  std::memcpy(bigger, base_, used);
  std::free(base_);
  base_ = bigger;
  pos_ = bigger + used;
  end_ = bigger + cap;
  return true;
}

char *Writer::finish() {
  if (!base_) return nullptr;
  *pos_ = '\0';  // room() always leaves a byte past the text
  const std::size_t len = static_cast<std::size_t>(pos_ - base_) + 1;
  char *text = base_;
  base_ = nullptr;
  // Give back the unused tail of a small block; shrinking in place keeps the
  // text where it is. A large block keeps its room (its untouched pages cost
  // nothing): malloc maps a large block afresh unless one at least as large
  // was given back before, so a block cut down to its text's length would
  // make the next text of the same estimate come as fresh pages, a fault per
  // 4 KiB, which cost more than writing the text.
  if (len < kKeepRoomFrom) {
    if (char *cut = static_cast<char *>(std::realloc(text, len))) text = cut;
  }
  return text;
}

}  // namespace text
}  // namespace velta
