/* Argument checks that keep the library from being handed what it cannot
 * take: null records, indexes outside a block, impossible sizes. */
#include "binding.h"

#include <errno.h>
#include <limits.h>
#include <math.h>
#include <string.h>

/* A null record where one is required: a cleared pointer object (not None)
 * was released or moved. */
int velta_null_fail(const char *symname, int argnum, const char *type, swig_type_info *ty, int cleared) {
  if (cleared && velta_record_bytes(ty) > 0) {
    PyErr_Format(PyExc_ValueError, "the %s was released", velta_type_name(ty));
    return -1;
  }
  if (cleared) {
    const char *name = SWIG_TypePrettyName(ty);
    PyErr_Format(PyExc_ValueError, "the storage behind this '%s' was released or moved", name ? name : "pointer");
    return -1;
  }
  PyErr_Format(PyExc_TypeError, "in method '%s', argument %d of type '%s' must not be None", symname, argnum,
               type);
  return -1;
}

/* What is read or written through ptr: bytes inside one live block. */
int velta_room_check(const void *ptr, size_t bytes, const char *message) {
  if (velta_room(ptr) >= bytes)
    return 0;
  PyErr_SetString(PyExc_ValueError, message);
  return -1;
}

int velta_one_double(const void *ptr) {
  return velta_room_check(ptr, sizeof(double), "the pointer does not point at an element inside a live block");
}

/* Constructors report exhausted memory with a null record; a method that
 * refused its arguments has said why already. */
int velta_made(const void *record) {
  if (record)
    return 0;
  if (!PyErr_Occurred())
    PyErr_NoMemory();
  return -1;
}

/* The library reports exhausted memory by leaving its arguments as they
 * were; the allocator's ENOMEM (errno cleared before the call) says so. */
int velta_memory_spent(void) {
  if (errno != ENOMEM)
    return 0;
  errno = 0;
  if (!PyErr_Occurred())
    PyErr_NoMemory();
  return -1;
}

/* Sizes handed to constructors may not be negative. */
int velta_size(int size, const char *symname, int argnum) {
  if (size >= 0)
    return 0;
  PyErr_Format(PyExc_ValueError, "in method '%s', argument %d: size must not be negative, got %d", symname,
               argnum, size);
  return -1;
}

/* ---- vectors ---- */

static int velta_vector_index_fail(const VlmVector *v, int index) {
  PyErr_Format(PyExc_IndexError, "index %d is out of range for a vector of size %d", index, v->size);
  return -1;
}

/* A read must land inside the block. */
int velta_vector_read_index(const VlmVector *v, int index) {
  return index < 0 || index >= v->size ? velta_vector_index_fail(v, index) : 0;
}

/* A write at or beyond the size changes nothing; a negative one is refused. */
int velta_vector_write_index(const VlmVector *v, int index) {
  return index < 0 ? velta_vector_index_fail(v, index) : 0;
}

/* An inclusive index range idx1..idx2 must lie inside the block; a reversed
 * range reads nothing and is allowed. */
int velta_vector_range(const VlmVector *v, int idx1, int idx2) {
  if (idx1 <= idx2 && (idx1 < 0 || idx2 >= v->size)) {
    PyErr_Format(PyExc_IndexError, "index range %d..%d is out of range for a vector of size %d",
                 idx1, idx2, v->size);
    return -1;
  }
  return 0;
}

int velta_vector_not_empty(const VlmVector *v, const char *what) {
  if (v->size < 1) {
    PyErr_Format(PyExc_ValueError, "%s of an empty vector", what);
    return -1;
  }
  return 0;
}

/* Growing by extra elements must keep the size a 32-bit count. */
int velta_vector_can_grow(const VlmVector *v, long long extra) {
  if ((long long)v->size + extra > INT_MAX) {
    PyErr_SetString(PyExc_OverflowError, "vector would exceed 2147483647 elements");
    return -1;
  }
  return 0;
}

/* Growing may move the block: not while it is lent out. */
int velta_vector_growable(const VlmVector *v, long long extra) {
  return velta_export_check(v) < 0 ? -1 : velta_vector_can_grow(v, extra);
}

/* Stepped integer ranges: a reversed range is empty; otherwise the step must
 * be positive and the count representable. */
int velta_arange_check(int min, int step, int max) {
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

/* A refused double step, shown as "%g" shows it in the C locale (PyErr_Format
 * knows no floating conversion); format holds one "%s" for it. */
static int velta_step_refused(const char *format, double step) {
  char *text = PyOS_double_to_string(step, 'g', 6, 0, NULL);
  if (text) {
    PyErr_Format(PyExc_ValueError, format, text);
    PyMem_Free(text);
  }
  return -1;
}

/* Stepped double ranges: as above, and the counting loop must end: the
 * running sum has to keep moving until it passes max, within int-many steps. */
int velta_arange_double_check(double min, double step, double max) {
  if (!(max >= min))
    return 0;
  if (!(step > 0))
    return velta_step_refused("arange step must be positive, got %s", step);
  if (!isfinite(min) || !isfinite(max)) {
    PyErr_SetString(PyExc_ValueError, "arange bounds must be finite");
    return -1;
  }
  const long long n = vlm_arange_double_count(min, step, max);
  if (n == -1)
    return velta_step_refused("arange step %s is too small for the bounds", step);
  if (n == -3) {
    PyErr_SetString(PyExc_ValueError, "arange step must be finite");
    return -1;
  }
  if (n < 0) {
    PyErr_SetString(PyExc_ValueError, "arange would make more than 2147483647 elements");
    return -1;
  }
  return 0;
}

/* ---- matrices ---- */

/* Shapes given to a constructor: no negative count, and the element count
 * rows * columns must stay a 32-bit count. */
int velta_matrix_dims(long long rows, long long cols) {
  if (rows < 0 || cols < 0) {
    PyErr_Format(PyExc_ValueError, "matrix dimensions must not be negative, got %lld x %lld", rows, cols);
    return -1;
  }
  if (rows * cols > INT_MAX) {
    PyErr_Format(PyExc_OverflowError, "a %lld x %lld matrix would exceed 2147483647 elements", rows, cols);
    return -1;
  }
  return 0;
}

/* Matrices made from a shape: no negative or overflowing shape. */
int velta_matrix_shape_of(const VlmMatrix *m) {
  return velta_matrix_dims(m->r_shape[0], m->r_shape[1]);
}

/* Element (row, col) lives at row * columns + col; computed in 64 bits so
 * that no product wraps into the block. */
long long velta_matrix_flat_index(const VlmMatrix *m, int row, int col) {
  return (long long)row * m->r_shape[1] + col;
}

int velta_matrix_index_int(const VlmMatrix *m, int row, int col) {
  long long index = velta_matrix_flat_index(m, row, col);
  if (index < INT_MIN || index > INT_MAX) {
    PyErr_Format(PyExc_OverflowError, "index of (%d, %d) exceeds the 32-bit range", row, col);
    return -1;
  }
  return 0;
}

static int velta_matrix_index_fail(const VlmMatrix *m, int row, int col) {
  PyErr_Format(PyExc_IndexError, "index (%d, %d) is out of range for a %d x %d matrix of size %d", row, col,
               m->r_shape[0], m->r_shape[1], m->size);
  return -1;
}

/* A read must land inside the block. */
int velta_matrix_read_index(const VlmMatrix *m, int row, int col) {
  long long index = velta_matrix_flat_index(m, row, col);
  return index < 0 || index >= m->size ? velta_matrix_index_fail(m, row, col) : 0;
}

/* A write at or beyond the size changes nothing; one before the block is
 * refused. */
int velta_matrix_write_index(const VlmMatrix *m, int row, int col) {
  return velta_matrix_flat_index(m, row, col) < 0 ? velta_matrix_index_fail(m, row, col) : 0;
}

/* Operations that walk rows and columns read r_shape[0] * r_shape[1]
 * elements: the shape must not be negative nor describe more elements than
 * the block holds (vlm_matrix_copy_shape or the shape setter can leave it
 * so). */
int velta_matrix_fits(const VlmMatrix *m) {
  if (m->r_shape[0] < 0 || m->r_shape[1] < 0) {
    PyErr_Format(PyExc_ValueError, "the matrix shape (%d,%d) is negative", m->r_shape[0], m->r_shape[1]);
    return -1;
  }
  if ((long long)m->r_shape[0] * m->r_shape[1] > m->size) {
    PyErr_Format(PyExc_ValueError, "the matrix shape (%d,%d) describes more elements than its size %d",
                 m->r_shape[0], m->r_shape[1], m->size);
    return -1;
  }
  return 0;
}

/* Inclusive bounds first..last of one axis of count entries. */
static int velta_matrix_span(const char *axis, int first, int last, int count) {
  if (first > last) {
    PyErr_Format(PyExc_IndexError, "%s range %d..%d is reversed", axis, first, last);
    return -1;
  }
  if (first < 0 || last >= count) {
    PyErr_Format(PyExc_IndexError, "%s range %d..%d is out of range for %d %ss", axis, first, last, count, axis);
    return -1;
  }
  return 0;
}

/* Extraction of rows row1..row2 and columns col1..col2 (inclusive). */
int velta_matrix_block(const VlmMatrix *m, int row1, int row2, int col1, int col2) {
  if (velta_matrix_span("row", row1, row2, m->r_shape[0]) < 0 ||
      velta_matrix_span("column", col1, col2, m->r_shape[1]) < 0)
    return -1;
  return velta_matrix_fits(m);
}

int velta_matrix_row(const VlmMatrix *m, int row) {
  if (row < 0 || row >= m->r_shape[0]) {
    PyErr_Format(PyExc_IndexError, "row %d is out of range for a matrix of %d rows", row, m->r_shape[0]);
    return -1;
  }
  return velta_matrix_fits(m);
}

int velta_matrix_column(const VlmMatrix *m, int col) {
  if (col < 0 || col >= m->r_shape[1]) {
    PyErr_Format(PyExc_IndexError, "column %d is out of range for a matrix of %d columns", col, m->r_shape[1]);
    return -1;
  }
  return velta_matrix_fits(m);
}

/* The product reads both operands by their shapes and makes a
 * rows(a) x columns(b) result; mismatched inner sizes are the library's
 * null result, not an error. */
int velta_matrix_product(const VlmMatrix *a, const VlmMatrix *b) {
  if (a->r_shape[1] != b->r_shape[0])
    return 0;
  if (velta_matrix_fits(a) < 0 || velta_matrix_fits(b) < 0)
    return -1;
  return velta_matrix_dims(a->r_shape[0], b->r_shape[1]);
}

/* A null product means mismatched inner sizes (None for Python) unless the
 * sizes matched, when only memory can have run out. */
int velta_product_made(const VlmMatrix *result, const VlmMatrix *a, const VlmMatrix *b) {
  return !result && a->r_shape[1] == b->r_shape[0] ? velta_made(result) : 0;
}

int velta_matrix_not_empty(const VlmMatrix *m, const char *what) {
  if (m->size < 1) {
    PyErr_Format(PyExc_ValueError, "%s of an empty matrix", what);
    return -1;
  }
  return 0;
}

/* A (row, col) key: a tuple whose first two items are integers. */
int velta_matrix_key(PyObject *key, int *row, int *col, const char *symname) {
  if (!PyTuple_Check(key) || PyTuple_GET_SIZE(key) < 2) {
    PyErr_Format(PyExc_TypeError, "in method '%s', the key must be a (row, col) tuple of integers", symname);
    return -1;
  }
  int *targets[2] = {row, col};
  for (int i = 0; i < 2; ++i) {
    PyObject *item = PyTuple_GET_ITEM(key, i);
    long value = -1;
    if (PyIndex_Check(item))
      value = PyLong_AsLong(item);
    else
      PyErr_SetString(PyExc_TypeError, "");
    /* What __index__ raised of its own (a refused release, say) goes as it is. */
    if (PyErr_Occurred() && !PyErr_ExceptionMatches(PyExc_TypeError) && !PyErr_ExceptionMatches(PyExc_OverflowError))
      return -1;
    if (PyErr_Occurred() || value < INT_MIN || value > INT_MAX) {
      PyObject *kind = PyExc_TypeError;
      if (!PyErr_Occurred() || PyErr_ExceptionMatches(PyExc_OverflowError))
        kind = PyExc_OverflowError;
      PyErr_Clear();
      PyErr_Format(kind, "in method '%s', argument %d of type 'int'", symname, i + 2);
      return -1;
    }
    *targets[i] = (int)value;
  }
  return 0;
}
