/* Argument checks that keep the library from being handed what it cannot
 * take: null records, indexes outside a block, impossible sizes. */

%{
/* Field setters accept None as the record and store nothing; freeing a null
 * plain record does nothing. Everything else refuses a null record. The
 * matrix shape setter writes through the record unconditionally, so it is
 * not among the setters that may take None. */
static int velta_ends_with(const char *s, const char *suffix) {
  size_t n = strlen(s), m = strlen(suffix);
  return n >= m && strcmp(s + n - m, suffix) == 0;
}

static int velta_null_ok(const char *symname, int argnum) {
  if (velta_ends_with(symname, "_set")) {
    if (strcmp(symname, "VlmMatrix_r_shape_set") == 0)
      return 0;
    if (argnum == 1)
      return 1;
    /* Record-valued fields are copied from the value: it must exist. */
    return !(velta_ends_with(symname, "_min_set") || velta_ends_with(symname, "_max_set"));
  }
  if (strncmp(symname, "delete_", 7) == 0)
    return strcmp(symname, "delete_VlmVector") != 0 && strcmp(symname, "delete_VlmMatrix") != 0 &&
           strcmp(symname, "delete_VlpFigure") != 0;
  return 0;
}

#define VELTA_NULL_FAIL(symname, argnum, type)                                           \
  do {                                                                                   \
    PyErr_Format(PyExc_TypeError, "in method '%s', argument %d of type '%s' must not be None", \
                 symname, argnum, type);                                                 \
    SWIG_fail;                                                                           \
  } while (0)

/* Raises IndexError with the common wording. */
#define VELTA_INDEX_FAIL(...)               \
  do {                                      \
    PyErr_Format(PyExc_IndexError, __VA_ARGS__); \
    SWIG_fail;                              \
  } while (0)

#define VELTA_VALUE_FAIL(...)               \
  do {                                      \
    PyErr_Format(PyExc_ValueError, __VA_ARGS__); \
    SWIG_fail;                              \
  } while (0)
%}

/* None is refused where a record is required. */
%define VELTA_RECORD_NOT_NULL(TYPE)
%typemap(check, noblock=1) TYPE {
  if (!$1 && !velta_null_ok("$symname", $argnum)) VELTA_NULL_FAIL("$symname", $argnum, "$type");
}
%enddef

VELTA_RECORD_NOT_NULL(struct s_vector *)
VELTA_RECORD_NOT_NULL(struct s_matrix *)
VELTA_RECORD_NOT_NULL(struct s_iter *)
VELTA_RECORD_NOT_NULL(struct s_slice *)
VELTA_RECORD_NOT_NULL(struct s_color *)
VELTA_RECORD_NOT_NULL(struct s_plot_data *)
VELTA_RECORD_NOT_NULL(struct s_coord_double *)
VELTA_RECORD_NOT_NULL(struct s_coord_int *)
VELTA_RECORD_NOT_NULL(struct s_canvas *)
VELTA_RECORD_NOT_NULL(struct s_figure *)

/* Library functions read through these: a null text or pointer is refused. */
VELTA_RECORD_NOT_NULL(char *)
VELTA_RECORD_NOT_NULL(double *val)

/* Sizes handed to constructors may not be negative. */
%typemap(check, noblock=1) int size {
  if ($1 < 0 && !velta_ends_with("$symname", "_set")) VELTA_VALUE_FAIL("in method '%s', argument %d: size must not be negative, got %d", "$symname", $argnum, $1);
}

%{
#include <limits.h>
#include <math.h>

/* ---- vectors ---- */

/* A read must land inside the block. */
static int velta_vector_read_index(const VlmVector *v, int index) {
  if (index < 0 || index >= v->size) {
    PyErr_Format(PyExc_IndexError, "index %d is out of range for a vector of size %d", index, v->size);
    return -1;
  }
  return 0;
}

/* A write at or beyond the size changes nothing; a negative one is refused. */
static int velta_vector_write_index(const VlmVector *v, int index) {
  if (index < 0) {
    PyErr_Format(PyExc_IndexError, "index %d is out of range for a vector of size %d", index, v->size);
    return -1;
  }
  return 0;
}

/* An inclusive index range idx1..idx2 must lie inside the block; a reversed
 * range reads nothing and is allowed. */
static int velta_vector_range(const VlmVector *v, int idx1, int idx2) {
  if (idx1 <= idx2 && (idx1 < 0 || idx2 >= v->size)) {
    PyErr_Format(PyExc_IndexError, "index range %d..%d is out of range for a vector of size %d",
                 idx1, idx2, v->size);
    return -1;
  }
  return 0;
}

static int velta_vector_not_empty(const VlmVector *v, const char *what) {
  if (v->size < 1) {
    PyErr_Format(PyExc_ValueError, "%s of an empty vector", what);
    return -1;
  }
  return 0;
}

/* Growing by extra elements must keep the size a 32-bit count. */
static int velta_vector_can_grow(const VlmVector *v, long long extra) {
  if ((long long)v->size + extra > INT_MAX) {
    PyErr_SetString(PyExc_OverflowError, "vector would exceed 2147483647 elements");
    return -1;
  }
  return 0;
}

/* Stepped integer ranges: a reversed range is empty; otherwise the step must
 * be positive and the count representable. */
static int velta_arange_check(int min, int step, int max) {
  if (min > max)
    return 0;
  if (step <= 0) {
    PyErr_Format(PyExc_ValueError, "arange step must be positive, got %d", step);
    return -1;
  }
  if (((long long)max - min) / step + 1 > INT_MAX) {
    PyErr_SetString(PyExc_ValueError, "arange would make more than 2147483647 elements");
    return -1;
  }
  return 0;
}

/* Stepped double ranges: as above, and the running sum must advance at every
 * step (finite bounds, a step of at least one unit in the last place of the
 * largest magnitude reached). */
static int velta_arange_double_check(double min, double step, double max) {
  if (!(max >= min))
    return 0;
  if (!(step > 0)) {
    PyErr_Format(PyExc_ValueError, "arange step must be positive, got %f", step);
    return -1;
  }
  if (!isfinite(min) || !isfinite(max)) {
    PyErr_SetString(PyExc_ValueError, "arange bounds must be finite");
    return -1;
  }
  double big = fmax(fabs(min), fabs(max));
  if (nextafter(big, INFINITY) - big > step) {
    PyErr_Format(PyExc_ValueError, "arange step %g is too small for the bounds", step);
    return -1;
  }
  if ((max - min) / step + 2 > (double)INT_MAX) {
    PyErr_SetString(PyExc_ValueError, "arange would make more than 2147483647 elements");
    return -1;
  }
  return 0;
}

/* Constructors report exhausted memory with a null record. */
static int velta_made(const void *record) {
  if (!record) {
    PyErr_NoMemory();
    return -1;
  }
  return 0;
}
%}
