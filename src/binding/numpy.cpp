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
  PyArrayObject *array;
  if (PyArray_Check(obj)) {
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

/* The dimensions of the array NumPy would make of obj from its buffer (as
 * NumPy reads it: a memoryview's request), or -1 without one. */
static int velta_buffer_dims(PyObject *obj) {
  Py_buffer view;
  if (!PyObject_CheckBuffer(obj) || PyBytes_Check(obj) || PyUnicode_Check(obj))
    return -1;
  if (PyObject_GetBuffer(obj, &view, PyBUF_FULL_RO) < 0) {
    PyErr_Clear();
    return -1;
  }
  int nd = view.ndim;
  PyBuffer_Release(&view);
  return nd;
}

/* What an element of a list or tuple adds to the dimensions NumPy finds
 * for the whole: 0 for a scalar, at least 1 for an array, a buffer, a list
 * or a tuple, -1 when only a conversion would tell (an object with an array
 * protocol, a float subclass, other sequences). Scalars are the types NumPy
 * takes as scalars before any protocol; their exact types have no
 * attributes to carry one. */
static int velta_item_dims(PyObject *item) {
  PyTypeObject *type = Py_TYPE(item);
  if (type == &PyFloat_Type || type == &PyLong_Type || type == &PyBool_Type || type == &PyComplex_Type ||
      type == &PyUnicode_Type || type == &PyBytes_Type || item == Py_None || PyArray_IsScalar(item, Generic))
    return 0;
  if (PyArray_Check(item))
    return PyArray_NDIM((PyArrayObject *)item);
  if (type == &PyList_Type || type == &PyTuple_Type)
    return 1;
  return velta_buffer_dims(item);
}

/* Overload test that picks only one-dimensional input, the way NumPy's
 * conversion would find it, without keeping a conversion: an array by its
 * dimensions; str and bytes never (NumPy takes them as scalars); a list or
 * tuple by its first element (empty: one dimension; a scalar: one, or the
 * conversion fails whichever candidate makes it; anything with dimensions:
 * two or more); a buffer by its own. Anything else is converted, looked at
 * and dropped. Not a sequence: never, like the two-dimensional test. */
int velta_array_like_1d(PyObject *obj) {
  if (PyArray_Check(obj))
    return PyArray_NDIM((PyArrayObject *)obj) == 1;
  PyTypeObject *type = Py_TYPE(obj);
  if (!PySequence_Check(obj) || type == &PyUnicode_Type || type == &PyBytes_Type)
    return 0;
  int nd = -1;
  if (type == &PyList_Type || type == &PyTuple_Type) {
    if (PySequence_Fast_GET_SIZE(obj) == 0)
      return 1;
    nd = velta_item_dims(PySequence_Fast_GET_ITEM(obj, 0));
    if (nd >= 0)
      return nd == 0;
  } else {
    nd = velta_buffer_dims(obj);
    if (nd >= 0)
      return nd == 1;
  }
  PyArrayObject *array = velta_as_double_array(obj);
  if (!array) {
    /* The candidate that converts it again reports NumPy's error. */
    PyErr_Clear();
    return 0;
  }
  nd = PyArray_NDIM(array);
  Py_DECREF(array);
  return nd == 1;
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
