/* NumPy exchange: arrays in (copied by the library's constructors) and views
 * out (sharing a record's element block).
 *
 * Input: a float64, native-order, C-contiguous, aligned array is passed
 * through untouched; anything else goes through NumPy's conversion once.
 * Output: a view over the record's block whose base object holds the
 * record's Python object and counts as an export of the record (see
 * velta_export_* in checks.i), so the block cannot move or vanish under it. */

%{
#define SWIG_FILE_WITH_INIT

/* Iteration over a record's block (vector_class.i); declared here because
 * the iterator's methods are emitted with its record, ahead of that file. */
struct s_iter;
static void velta_iter_detach(const struct s_iter *it);
/* The end of iteration, carried from the method body to its wrapper. */
static int isErr = 0;
%}
/* `self` of the class methods. Hot methods (indexing, iteration) take a
 * short way to the pointer: the interned name "this" and an exact type
 * match, falling back to the runtime's full conversion for anything else.
 * Explicit release is refused while the block is lent out; the check comes
 * before the object passed gives up its ownership. */
%{
static void *velta_fast_self(PyObject *obj, swig_type_info *ty) {
  static PyObject *name = PyUnicode_InternFromString("this");
  PyObject *holder = obj;
  if (Py_TYPE(holder) != SwigPyObject_type()) {
    if (!name)
      return NULL;
    holder = PyObject_GetAttr(obj, name);
    if (!holder) {
      PyErr_Clear();
      return NULL;
    }
    /* The proxy keeps its pointer object alive. */
    Py_DECREF(holder);
    if (Py_TYPE(holder) != SwigPyObject_type())
      return NULL;
  }
  SwigPyObject *sobj = (SwigPyObject *)holder;
  return sobj->ty == ty ? sobj->ptr : NULL;
}
%}
/* Iteration steps through the iterator class's __next__. The generated
 * class holds an instance-method wrapper, which Python binds anew at every
 * step; a method descriptor is called without that. It is installed on the
 * iterator class when the first iterator is handed out, and the class's
 * next-item slot then calls the step directly instead of looking __next__
 * up at every element. Assigning __next__ on the class later resets the
 * slot to the ordinary lookup, and subclasses keep the ordinary lookup. */
%{
#ifdef __cplusplus
extern "C" {
#endif
SWIGINTERN PyObject *_wrap_s_iter___next__(PyObject *self, PyObject *args);
#ifdef __cplusplus
}
#endif
/* One step of an iterator (vector_class.i, where the record is complete). */
static PyObject *velta_iter_next_method(PyObject *self, PyObject *unused);

static PyObject *velta_iter_iternext(PyObject *self) {
  return velta_iter_next_method(self, NULL);
}

static PyMethodDef velta_iter_next_def = {
  "__next__", velta_iter_next_method, METH_NOARGS, "s_iter___next__(s_iter self) -> double"
};

static void velta_iter_class_fast(PyObject *obj) {
  static PyTypeObject *done = NULL;
  PyTypeObject *cls = obj ? Py_TYPE(obj) : NULL;
  if (!cls || cls == done || cls == SwigPyObject_type() || !(cls->tp_flags & Py_TPFLAGS_HEAPTYPE))
    return;
  PyObject *descr = PyDescr_NewMethod(cls, &velta_iter_next_def);
  if (descr && PyObject_SetAttrString((PyObject *)cls, "__next__", descr) == 0) {
    cls->tp_iternext = velta_iter_iternext;
    Py_INCREF(cls);
    Py_XDECREF(done);
    done = cls;
  } else {
    PyErr_Clear();
  }
  Py_XDECREF(descr);
}
%}

%define VELTA_SELF(TYPE)
%typemap(in, noblock=1) TYPE *self (void *argp = 0, int res = 0, int releasing = 0) {
  argp = $disown ? NULL : velta_fast_self($input, $descriptor);
  if (!argp) {
    res = SWIG_ConvertPtr($input, &argp, $descriptor, 0);
    if (!SWIG_IsOK(res)) {
      %argument_fail(res, "$type", $symname, $argnum);
    }
    /* The destructor: refused while the record is exported; the flag is
     * cleared (in balance) once the record is released. */
    if ($disown && velta_export_check(argp) < 0) SWIG_fail;
    releasing = $disown;
  }
  $1 = ($ltype)argp;
}
%typemap(argout, noblock=1) TYPE *self {
  if (releasing$argnum) velta_released($input);
}
%enddef
VELTA_SELF(struct s_iter)
VELTA_SELF(struct s_vector)
VELTA_SELF(struct s_matrix)

/* (Here rather than in vector_class.i: s_iter's methods are generated at
 * its record's place, records.i, and must find this typemap.)
 * Methods that may return the record they were called on give back the
 * same Python object rather than a second, unowned one. */
%typemap(out, noblock=1) struct s_vector *__iadd__, struct s_vector *__isub__,
    struct s_vector *__imul__, struct s_vector *__itruediv__, struct s_vector *__ilshift__,
    struct s_matrix *__iadd__, struct s_matrix *__isub__, struct s_matrix *__imul__,
    struct s_matrix *__itruediv__, struct s_matrix *__ilshift__, struct s_iter *__iter__ {
  if ((void *)$1 == (void *)arg1) {
    VELTA_RETURN_SELF($result);
  } else {
    $result = SWIG_NewPointerObj(SWIG_as_voidptr($1), $descriptor, $owner);
    velta_iter_class_fast($result);
  }
}

%include "numpy.i"
%init %{
  import_array();
%}

%{
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

/* Converts obj to a native float64 C-contiguous array of nd dimensions.
 * Returns the array with *is_new telling whether the caller holds a new
 * reference, or NULL with an exception set. */
static PyArrayObject *velta_input_array(PyObject *obj, int nd, int *is_new) {
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
    array = (PyArrayObject *)PyArray_FromAny(obj, PyArray_DescrFromType(NPY_DOUBLE), 0, 0,
                                             NPY_ARRAY_IN_ARRAY, NULL);
  } else {
    *is_new = 1;
    array = (PyArrayObject *)PyArray_FromAny(obj, PyArray_DescrFromType(NPY_DOUBLE), 0, 0,
                                             NPY_ARRAY_IN_ARRAY, NULL);
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

/* Overload test for array groups: an array or a sequence. */
static int velta_array_like(PyObject *obj) {
  return PyArray_Check(obj) || PySequence_Check(obj);
}

/* Overload test that picks only one-dimensional input. A sequence is
 * converted here to learn its dimensions, and the result is kept for the
 * candidate the dispatch calls next. */
static int velta_array_like_1d(PyObject *obj) {
  if (PyArray_Check(obj))
    return PyArray_NDIM((PyArrayObject *)obj) == 1;
  if (!PySequence_Check(obj))
    return 0;
  velta_pending_clear();
  PyObject *array = PyArray_FromAny(obj, PyArray_DescrFromType(NPY_DOUBLE), 0, 0,
                                    NPY_ARRAY_IN_ARRAY, NULL);
  if (!array) {
    /* The candidate that converts it again reports NumPy's error. */
    PyErr_Clear();
    return 0;
  }
  Py_INCREF(obj);
  velta_pending_source = obj;
  velta_pending_array = (PyArrayObject *)array;
  return PyArray_NDIM((PyArrayObject *)array) == 1;
}

/* ---- views ---- */

static const char velta_view_capsule[] = "velta.view";

/* Base object of a view: holds the record's Python object and one export
 * count of the record, both given up when the view dies. */
static void velta_view_release(PyObject *capsule) {
  void *record = PyCapsule_GetPointer(capsule, velta_view_capsule);
  PyObject *owner = (PyObject *)PyCapsule_GetContext(capsule);
  if (record)
    velta_export_release(record);
  Py_XDECREF(owner);
}

static PyObject *velta_make_view(PyObject *owner, void *record, double *data, int nd, npy_intp *dims) {
  if (!data) {
    /* An empty block may have no address; NumPy still wants one. */
    static double nothing;
    data = &nothing;
  }
  PyObject *array = PyArray_New(&PyArray_Type, nd, dims, NPY_DOUBLE, NULL, data, 0,
                                NPY_ARRAY_CARRAY, NULL);
  if (!array)
    return NULL;
  velta_export_acquire(record);
  PyObject *base = PyCapsule_New(record, velta_view_capsule, velta_view_release);
  if (!base) {
    velta_export_release(record);
    Py_DECREF(array);
    return NULL;
  }
  Py_INCREF(owner);
  if (PyCapsule_SetContext(base, owner) < 0) {
    Py_DECREF(owner);
    Py_DECREF(base);
    Py_DECREF(array);
    return NULL;
  }
  /* Steals base, also on failure. */
  if (PyArray_SetBaseObject((PyArrayObject *)array, base) < 0) {
    Py_DECREF(array);
    return NULL;
  }
  return array;
}

static PyObject *velta_vector_view(PyObject *owner, VlmVector *vec, double *data, int size) {
  if (size < 0) {
    PyErr_Format(PyExc_ValueError, "cannot view a vector of size %d", size);
    return NULL;
  }
  npy_intp dims[1] = {size};
  return velta_make_view(owner, vec, data, 1, dims);
}

static PyObject *velta_matrix_view(PyObject *owner, VlmMatrix *mat, double *data, int rows, int cols) {
  if (rows < 0 || cols < 0 || (long long)rows * cols > (long long)mat->size) {
    PyErr_Format(PyExc_ValueError, "cannot view a matrix of shape (%d, %d) holding %d elements",
                 rows, cols, mat->size);
    return NULL;
  }
  npy_intp dims[2] = {rows, cols};
  return velta_make_view(owner, mat, data, 2, dims);
}
%}

/* One-dimensional input group. */
%typemap(typecheck, precedence=SWIG_TYPECHECK_DOUBLE_ARRAY) (double *ndarray_in, int size) {
  $1 = velta_array_like($input);
}
%typemap(in) (double *ndarray_in, int size) (PyArrayObject *array = NULL, int is_new = 0) {
  array = velta_input_array($input, 1, &is_new);
  if (!array) SWIG_fail;
  $1 = (double *)PyArray_DATA(array);
  $2 = (int)PyArray_DIM(array, 0);
}
%typemap(freearg) (double *ndarray_in, int size) {
  if (is_new$argnum) Py_XDECREF(array$argnum);
}

/* One-dimensional input group that the dispatch takes only for
 * one-dimensional input (the matrix constructor's flat form). */
%typemap(typecheck, precedence=1089) (double *ndarray_in, int length) {
  $1 = velta_array_like_1d($input);
}
%typemap(in) (double *ndarray_in, int length) (PyArrayObject *array = NULL, int is_new = 0) {
  array = velta_input_array($input, 1, &is_new);
  if (!array) SWIG_fail;
  $1 = (double *)PyArray_DATA(array);
  $2 = (int)PyArray_DIM(array, 0);
}
%typemap(freearg) (double *ndarray_in, int length) {
  if (is_new$argnum) Py_XDECREF(array$argnum);
}

/* Two-dimensional input group. */
%typemap(typecheck, precedence=SWIG_TYPECHECK_DOUBLE_ARRAY) (double *ndarray_in, int row, int column) {
  $1 = velta_array_like($input);
}
%typemap(in) (double *ndarray_in, int row, int column) (PyArrayObject *array = NULL, int is_new = 0) {
  array = velta_input_array($input, 2, &is_new);
  if (!array) SWIG_fail;
  $1 = (double *)PyArray_DATA(array);
  $2 = (int)PyArray_DIM(array, 0);
  $3 = (int)PyArray_DIM(array, 1);
}
%typemap(freearg) (double *ndarray_in, int row, int column) {
  if (is_new$argnum) Py_XDECREF(array$argnum);
}

/* Views: the library reports the block and its dimensions; the entry
 * returns the view alone. The record is argument 1 in every user. */
%typemap(in, numinputs=0) (double **out_nums, int *out_size) (double *data = NULL, int count = 0) {
  $1 = &data;
  $2 = &count;
}
%typemap(argout) (double **out_nums, int *out_size) {
  {
    PyObject *view = velta_vector_view(swig_obj[0], arg1, data$argnum, count$argnum);
    if (!view) SWIG_fail;
    $result = SWIG_Python_AppendOutput($result, view);
  }
}

%typemap(in, numinputs=0) (double **out_nums, int *out_rows, int *out_cols)
    (double *data = NULL, int rows = 0, int cols = 0) {
  $1 = &data;
  $2 = &rows;
  $3 = &cols;
}
%typemap(argout) (double **out_nums, int *out_rows, int *out_cols) {
  {
    PyObject *view = velta_matrix_view(swig_obj[0], arg1, data$argnum, rows$argnum, cols$argnum);
    if (!view) SWIG_fail;
    $result = SWIG_Python_AppendOutput($result, view);
  }
}
