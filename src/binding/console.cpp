/* Console printing and number-to-text functions: the value lists of the
 * variadic print functions and the vector constructor, room for the append
 * functions, and the one format that vlm_string_from_double_set takes from
 * Python. */
#include "binding.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

static int velta_is_value_letter(char c) {
  return c == 'd' || c == 'c' || c == 'f' || c == 's';
}

/* The Python arguments after the fixed ones are the values, one per letter
 * d, c, f or s of fmt, in order: d and c take an int, f a float or an int,
 * s a str. Values beyond those letters are accepted and ignored. The library
 * is called through its non-variadic twin, so it reads exactly the values
 * converted here. */
int velta_print_values(const char *symname, int fixed, const char *inbetween, const char *end, const char *fmt,
                       PyObject *values) {
  int needed = 0;
  for (const char *c = fmt; *c; ++c)
    needed += velta_is_value_letter(*c);
  Py_ssize_t given = PyTuple_Size(values);
  if (given < needed) {
    PyErr_Format(PyExc_TypeError, "%s expected %d value%s after the format, got %zd", symname, needed,
                 needed == 1 ? "" : "s", given);
    return -1;
  }
  VlmPrintValue *list = (VlmPrintValue *)malloc(sizeof(VlmPrintValue) * (needed > 0 ? needed : 1));
  if (!list) {
    PyErr_NoMemory();
    return -1;
  }
  int n = 0;
  for (const char *c = fmt; *c; ++c) {
    if (!velta_is_value_letter(*c))
      continue;
    PyObject *item = PyTuple_GET_ITEM(values, n);
    const int argnum = fixed + n + 1;
    int res = SWIG_OK;
    const char *type = "int";
    if (*c == 'd' || *c == 'c') {
      res = velta_rt.as_int(item, &list[n].i);
    } else if (*c == 'f') {
      type = "double";
      res = velta_rt.as_double(item, &list[n].f);
    } else {
      type = "char *";
      list[n].s = PyUnicode_Check(item) ? PyUnicode_AsUTF8(item) : NULL;
      if (!list[n].s) {
        PyErr_Clear();
        res = SWIG_TypeError;
      }
    }
    if (!SWIG_IsOK(res)) {
      free(list);
      PyErr_Format(res == SWIG_OverflowError ? PyExc_OverflowError : PyExc_TypeError,
                   "in method '%s', argument %d of type '%s' (value for '%c' of the format)", symname, argnum,
                   type, *c);
      return -1;
    }
    ++n;
  }
  /* The strings live in the argument tuple, which outlives the call. */
  vlm_print_values_array(inbetween, end, fmt, list, n);
  free(list);
  return 0;
}

/* Variadic constructor: the Python arguments after the size are the values. */
VlmVector *velta_new_values(int size, PyObject *values) {
  Py_ssize_t given = PyTuple_Size(values);
  if (given < size) {
    PyErr_Format(PyExc_TypeError, "vlm_vector_new_values expected %d values after the size, got %zd",
                 size, given);
    return NULL;
  }
  double *nums = (double *)malloc(sizeof(double) * (size > 0 ? size : 1));
  if (!nums)
    return (VlmVector *)PyErr_NoMemory();
  for (int i = 0; i < size; ++i) {
    if (!SWIG_IsOK(velta_rt.as_double(PyTuple_GET_ITEM(values, i), &nums[i]))) {
      free(nums);
      PyErr_Format(PyExc_TypeError, "in method 'vlm_vector_new_values', argument %d of type 'double'", i + 2);
      return NULL;
    }
  }
  VlmVector *vec = vlm_vector_new_values_array(size, nums);
  free(nums);
  if (!vec)
    PyErr_NoMemory();
  return vec;
}

/* ---- append targets ------------------------------------------------------
 * The library appends into the target without measuring it. A str target is
 * copied into a temporary with room for the longest number text ("%f" of a
 * double: sign, 309 digits, point, six decimals); what is written there is
 * dropped with the temporary, as for every char * argument. A char *
 * pointer object carries no size, so it is refused rather than written past
 * its end. */
enum { VELTA_APPEND_ROOM = 320 };

int velta_append_target(PyObject *obj, const char *symname, char **out) {
  *out = NULL;
  if (obj == Py_None)
    return 0; /* refused by the check that follows, as every null text */
  if (PyUnicode_Check(obj)) {
    Py_ssize_t len = 0;
    const char *utf8 = PyUnicode_AsUTF8AndSize(obj, &len);
    if (!utf8) {
      PyErr_Clear();
      PyErr_Format(PyExc_TypeError, "in method '%s', argument 1 of type 'char *'", symname);
      return -1;
    }
    char *buf = (char *)malloc((size_t)len + 1 + VELTA_APPEND_ROOM);
    if (!buf) {
      PyErr_NoMemory();
      return -1;
    }
    memcpy(buf, utf8, (size_t)len + 1);
    *out = buf;
    return 0;
  }
  void *vptr = 0;
  swig_type_info *pchar = velta_rt.pchar();
  if (pchar && SWIG_IsOK(velta_rt.convert(obj, &vptr, pchar, 0, 0)))
    PyErr_Format(PyExc_TypeError,
                 "in method '%s', argument 1 of type 'char *': a char * pointer has no known room to append to; "
                 "pass a str",
                 symname);
  else
    PyErr_Format(PyExc_TypeError, "in method '%s', argument 1 of type 'char *'", symname);
  return -1;
}

/* ---- the caller's format -------------------------------------------------
 * vlm_string_from_double_set hands fmt to the C formatter with one double.
 * Any other conversion in fmt would read arguments that were never passed
 * (or write through %n), so fmt must hold exactly one double conversion:
 * flags, width, precision and an "l" are allowed, no "*"; "%%" is literal. */
int velta_double_format_check(const char *fmt) {
  int conversions = 0;
  const char *bad = NULL;
  for (const char *c = fmt; *c; ++c) {
    if (*c != '%')
      continue;
    const char *start = c++;
    if (*c == '%')
      continue;
    while (*c && strchr("-+ #0", *c))
      ++c;
    long long width = 0, precision = 0;
    while (*c >= '0' && *c <= '9' && width <= INT_MAX)
      width = width * 10 + (*c++ - '0');
    if (*c == '.') {
      ++c;
      while (*c >= '0' && *c <= '9' && precision <= INT_MAX)
        precision = precision * 10 + (*c++ - '0');
    }
    if (*c == 'l')
      ++c;
    if (width > INT_MAX || precision > INT_MAX || !*c || !strchr("fFeEgGaA", *c)) {
      bad = start;
      break; /* c may be at the terminator: the loop must not step past it */
    }
    ++conversions;
  }
  if (bad || conversions != 1) {
    PyErr_Format(PyExc_ValueError,
                 "in method 'vlm_string_from_double_set', argument 1: the format must hold exactly one double "
                 "conversion (%%f, %%F, %%e, %%E, %%g, %%G, %%a or %%A), got '%s'",
                 fmt);
    return -1;
  }
  return 0;
}
