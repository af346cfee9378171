/* Private helpers of the numeric core: number text and the text forms of
 * vectors and matrices. Not part of the public interface.
 *
 * Every number text here is byte for byte what printf writes in the C locale
 * ("%d" for integers, "%f" for doubles), but produced without stdio so that
 * long vectors render quickly and independently of the process locale.
 */
#ifndef VELTA_TEXT_INTERNAL_H
#define VELTA_TEXT_INTERNAL_H

#include <cstddef>
#include <cstdlib>

#include "vlm.h"

namespace velta {
namespace text {

/* Longest "%f" text of a double: sign, 309 integer digits, point, 6 decimals. */
constexpr int kMaxFixedLength = 320;
/* Longest "%d" text of a 32-bit int: sign and 10 digits. */
constexpr int kMaxIntLength = 11;

/* Number of characters of the "%f" text of v (no terminator). */
int fixed6_length(double v);
/* Writes the "%f" text of v at out (no terminator); returns the end. out
 * must have room for kMaxFixedLength characters. */
char *fixed6_write(char *out, double v);

/* Number of characters of the "%d" text of v (no terminator). */
int int_length(int v);
/* Writes the "%d" text of v at out (no terminator); returns the end. */
char *int_write(char *out, int v);

/* Appends text pieces to one heap block in a single pass. The block starts
 * at a size the caller estimates, grows by doubling when a piece might not
 * fit and, when small, is cut to the text's length at the end; untouched
 * pages of an over-estimate cost nothing. Once memory runs out, pieces are dropped and
 * finish() gives null. */
class Writer {
 public:
  explicit Writer(std::size_t estimate);
  ~Writer() { std::free(base_); }
  void lit(const char *s, std::size_t len) {
    if (!room(len)) return;
    for (std::size_t i = 0; i < len; ++i) pos_[i] = s[i];
    pos_ += len;
  }
  void num(double v) {
    if (room(kMaxFixedLength)) pos_ = fixed6_write(pos_, v);
  }
  void integer(int v) {
    if (room(kMaxIntLength)) pos_ = int_write(pos_, v);
  }
  /* The zero-terminated text (malloc), or null without memory. */
  char *finish();

 private:
  bool room(std::size_t len) { return static_cast<std::size_t>(end_ - pos_) > len || grow(len); }
  bool grow(std::size_t len);
  char *base_, *pos_, *end_;
};

/* All n values, ", " between them. */
template <class Sink>
void full_sequence(Sink &s, const double *p, long n) {
  for (long j = 0; j < n; ++j) {
    if (j > 0) s.lit(", ", 2);
    s.num(p[j]);
  }
}

/* The first four values, each followed by ", " (the fourth by ",..., "),
 * then the last value once more. Runs shorter than six repeat their last
 * value; that is the rule, not an accident. */
template <class Sink>
void abbreviated_sequence(Sink &s, const double *p, long n) {
  long head = n < 4 ? n : 4;
  for (long j = 0; j < head; ++j) {
    s.num(p[j]);
    if (j < 3)
      s.lit(", ", 2);
    else
      s.lit(",..., ", 6);
  }
  if (n >= 1) s.num(p[n - 1]);
}

/* Renders the text form described by emit(sink) in one pass, estimating
 * its length as estimate bytes, and returns the heap string (malloc),
 * zero-terminated, or null when there is no memory for it. */
template <class Emit>
char *render(std::size_t estimate, Emit emit) {
  Writer w(estimate);
  emit(w);
  return w.finish();
}

/* Writes a text made by vlm_vector_to_string or vlm_matrix_to_string to
 * stdout, flushes and releases it; a null text writes nothing. Returns null. */
void *print_text(char *text);

}  // namespace text
}  // namespace velta

#endif /* VELTA_TEXT_INTERNAL_H */
