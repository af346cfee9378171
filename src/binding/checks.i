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
