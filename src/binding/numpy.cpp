/* NumPy exchange: arrays in (copied by the library's constructors) and views
 * out (sharing a record's element block).
 *
 * Input: a float64, native-order, C-contiguous, aligned array is passed
 * through untouched; anything else goes through NumPy's conversion once.
 * Output: a view over the record's block whose base object holds the
 * record's Python object and counts as an export of the record, so the
 * block cannot move or vanish under it. */
#include "ledger.h"

#include <limits.h>

#include <numpy/arrayobject.h>

int velta_numpy_start(void) {
  import_array1(-1);
  return 0;
}

/* A conversion made by an overload check, handed on to the candidate that
 * the dispatch then calls, so that a sequence is converted only once. */
static PyObject *velta_pending_source = NULL;
static PyArrayObject *velta_pending_array = NULL;

static void velta_pending_clear(void) {
  Py_CLEAR(velta_pending_source);
  Py_CLEAR(velta_pending_array);
}

/* Takes the pending conversion if it was made from obj (new reference). */
static PyArrayObject *velta_pending_take(PyObject *obj) {
  PyArrayObject *array = NULL;
  if (velta_pending_source == obj) {
    array = velta_pending_array;
    velta_pending_array = NULL;
  }
  velta_pending_clear();
  return array;
}

static int velta_dims_fit(int nd, const npy_intp *dims) {
  long long total = 1;
  for (int i = 0; i < nd; ++i) {
    if (dims[i] > INT_MAX) {
      PyErr_Format(PyExc_ValueError, "array dimension %lld exceeds 2147483647 elements",
                   (long long)dims[i]);
      return -1;
    }
    total *= dims[i];
    if (total > INT_MAX) {
      PyErr_SetString(PyExc_ValueError, "array exceeds 2147483647 elements");
      return -1;
    }
  }
  return 0;
}

static int velta_require_dims(PyArrayObject *array, int nd) {
  if (PyArray_NDIM(array) != nd) {
    PyErr_Format(PyExc_TypeError, "Array must have %d dimensions.  Given array has %d dimensions",
                 nd, PyArray_NDIM(array));
    return -1;
  }
  return velta_dims_fit(nd, PyArray_DIMS(array));
}

static int velta_is_plain_double(PyArrayObject *array) {
  return PyArray_TYPE(array) == NPY_DOUBLE && PyArray_ISNOTSWAPPED(array) &&
         PyArray_IS_C_CONTIGUOUS(array) && PyArray_ISALIGNED(array);
}

static PyArrayObject *velta_as_double_array(PyObject *obj) {
  return (PyArrayObject *)PyArray_FromAny(obj, PyArray_DescrFromType(NPY_DOUBLE), 0, 0, NPY_ARRAY_IN_ARRAY,
                                          NULL);
}

/* Converts obj to a native float64 C-contiguous array of nd dimensions.
 * Returns the array with *is_new telling whether the caller holds a new
 * reference, or NULL with an exception set. */
static PyArrayObject *velta_converted(PyObject *obj, int nd, int *is_new) {
  *is_new = 0;
  PyArrayObject *array = velta_pending_take(obj);
  if (array) {
    *is_new = 1;
  } else if (PyArray_Check(obj)) {
    PyArrayObject *given = (PyArrayObject *)obj;
    PyArray_Descr *want = PyArray_DescrFromType(NPY_DOUBLE);
    int castable = PyArray_CanCastTypeTo(PyArray_DESCR(given), want, NPY_SAFE_CASTING);
    Py_DECREF(want);
    /* Refuse before copying what would be refused after it. */
    if (castable && velta_require_dims(given, nd) < 0)
      return NULL;
    if (velta_is_plain_double(given))
      return given;
    *is_new = 1;
    array = velta_as_double_array(obj);
  } else {
    *is_new = 1;
    array = velta_as_double_array(obj);
  }
  if (!array) {
    *is_new = 0;
    return NULL;
  }
  if (velta_require_dims(array, nd) < 0) {
    Py_DECREF(array);
    *is_new = 0;
    return NULL;
  }
  return array;
}

PyObject *velta_input_array(PyObject *obj, int nd, int *is_new, double **data, int *dims) {
  PyArrayObject *array = velta_converted(obj, nd, is_new);
  if (!array)
    return NULL;
  *data = (double *)PyArray_DATA(array);
  for (int i = 0; i < nd; ++i)
    dims[i] = (int)PyArray_DIM(array, i);
  return (PyObject *)array;
}

/* Whether obj is an ndarray itself (not a subclass): it has no attributes
 * of its own, so it cannot be a record's proxy. */
int velta_plain_array(PyObject *obj) { return PyArray_CheckExact(obj); }

/* Overload test for array groups: an array or a sequence. */
int velta_array_like(PyObject *obj) {
  return PyArray_Check(obj) || PySequence_Check(obj);
}

/* Overload test that picks only one-dimensional input. A sequence is
 * converted here to learn its dimensions, and the result is kept for the
 * candidate the dispatch calls next. */
int velta_array_like_1d(PyObject *obj) {
  if (PyArray_Check(obj))
    return PyArray_NDIM((PyArrayObject *)obj) == 1;
  if (!PySequence_Check(obj))
    return 0;
  velta_pending_clear();
  PyArrayObject *array = velta_as_double_array(obj);
  if (!array) {
    /* The candidate that converts it again reports NumPy's error. */
    PyErr_Clear();
    return 0;
  }
  Py_INCREF(obj);
  velta_pending_source = obj;
  velta_pending_array = array;
  return PyArray_NDIM(array) == 1;
}

/* ---- views ---- */

/* The view's base object is a lease of the record from the ledger: it holds
 * the record's object and counts as a loan until the view dies. */
static PyObject *velta_make_view(PyObject *owner, void *record, double *data, int nd, npy_intp *dims) {
  if (!data) {
    /* An empty block may have no address; NumPy still wants one. */
    static double nothing;
    data = &nothing;
  }
  PyObject *array = PyArray_New(&PyArray_Type, nd, dims, NPY_DOUBLE, NULL, data, 0, NPY_ARRAY_CARRAY, NULL);
  if (!array)
    return NULL;
  PyObject *lease = velta_lend(record, owner, 0);
  /* Steals the lease, also on failure. */
  if (!lease || PyArray_SetBaseObject((PyArrayObject *)array, lease) < 0) {
    Py_DECREF(array);
    return NULL;
  }
  return array;
}

PyObject *velta_vector_view(PyObject *owner, VlmVector *vec, double *data, int size) {
  if (size < 0) {
    PyErr_Format(PyExc_ValueError, "cannot view a vector of size %d", size);
    return NULL;
  }
  npy_intp dims[1] = {size};
  return velta_make_view(owner, vec, data, 1, dims);
}

PyObject *velta_matrix_view(PyObject *owner, VlmMatrix *mat, double *data, int rows, int cols) {
  if (rows < 0 || cols < 0 || (long long)rows * cols > (long long)mat->size) {
    PyErr_Format(PyExc_ValueError, "cannot view a matrix of shape (%d, %d) holding %d elements",
                 rows, cols, mat->size);
    return NULL;
  }
  npy_intp dims[2] = {rows, cols};
  return velta_make_view(owner, mat, data, 2, dims);
}
