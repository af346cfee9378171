/* The VlmVector class and the iterator record s_iter.
 *
 * Ownership: constructors and __iter__ give owned results; operators, copy
 * and toMatrix give results Python does not own. In-place operators (and
 * s_iter.__iter__) hand back the very object they were called on.
 *
 * Iterators lend out the block they walk, like NumPy views: the iterator
 * holds the Python object it came from and one export count of the record
 * until it has delivered its last element or dies. */

%{
struct velta_iter_source {
  const void *record;
  PyObject *owner;
};

static std::unordered_map<const struct s_iter *, velta_iter_source> &velta_iter_sources(void) {
  static std::unordered_map<const struct s_iter *, velta_iter_source> *sources =
      new std::unordered_map<const struct s_iter *, velta_iter_source>();
  return *sources;
}

static struct s_iter *velta_iter_new(double *nums, int count) {
  struct s_iter *it = (struct s_iter *)calloc(1, sizeof(struct s_iter));
  if (it) {
    it->ptr = nums;
    it->len = count > 0 ? count : 0;
  }
  return it;
}

/* Ties a new iterator to the record and the Python object it walks. */
static void velta_iter_attach(struct s_iter *it, const void *record, PyObject *owner) {
  if (it->len <= 0)
    return;
  velta_iter_source source = {record, owner};
  Py_INCREF(owner);
  velta_iter_sources()[it] = source;
  velta_export_acquire(record);
}

/* Lets go of the record once the iterator is done with it. */
static void velta_iter_detach(const struct s_iter *it) {
  std::unordered_map<const struct s_iter *, velta_iter_source> &sources = velta_iter_sources();
  if (sources.empty())
    return;
  std::unordered_map<const struct s_iter *, velta_iter_source>::iterator found = sources.find(it);
  if (found == sources.end())
    return;
  velta_iter_source source = found->second;
  sources.erase(found);
  velta_export_release(source.record);
  Py_DECREF(source.owner);
}

/* A step of iteration (s_iter's __next__ descriptor, arrays.i). While
 * elements remain, the step is taken here; the end of iteration and anything
 * that is not an iterator go through the entry. */
SWIGINTERN double s_iter___next__(struct s_iter *self);

static PyObject *velta_iter_next_method(PyObject *self, PyObject *SWIGUNUSEDPARM(unused)) {
  struct s_iter *it = (struct s_iter *)velta_fast_self(self, SWIGTYPE_p_s_iter);
  if (it && it->len > 0)
    return PyFloat_FromDouble(s_iter___next__(it));
  return _wrap_s_iter___next__(NULL, self);
}

/* v[i] from Python. The proxy class's __getitem__ is replaced by a
 * one-argument method descriptor, which the interpreter calls with self and
 * the key as they are: no bound method, no argument tuple. An exact int key
 * inside the vector is read at once; every other call goes through the
 * module entry itself, with its checks and messages. The descriptor is
 * declared for any object (as the entry takes any self) and is installed
 * only over the generated forwarding method, never over a replacement. */
#ifdef __cplusplus
extern "C" {
#endif
SWIGINTERN PyObject *_wrap_VlmVector___getitem__(PyObject *self, PyObject *args);
#ifdef __cplusplus
}
#endif

static PyObject *velta_vector_getitem_o(PyObject *self, PyObject *key) {
  if (PyLong_CheckExact(key)) {
    VlmVector *v = (VlmVector *)velta_fast_self(self, SWIGTYPE_p_s_vector);
    if (v) {
      int overflow = 0;
      long index = PyLong_AsLongAndOverflow(key, &overflow);
      if (index >= 0 && index < v->size)
        return PyFloat_FromDouble(vlm_vector_get_item(v, (int)index));
    }
  }
  PyObject *args = PyTuple_Pack(2, self, key);
  if (!args)
    return NULL;
  PyObject *result = _wrap_VlmVector___getitem__(NULL, args);
  Py_DECREF(args);
  return result;
}

static PyMethodDef velta_vector_getitem_def = {
  "__getitem__", velta_vector_getitem_o, METH_O,
  "\nVlmVector___getitem__(VlmVector self, int index) -> double\n\nParameters\n----------\nindex: int\n\n"
};

/* True when attr is the generated forwarding method of the entry meth. */
static int velta_is_forwarder(PyObject *attr, PyCFunction meth) {
  if (!attr || !PyInstanceMethod_Check(attr))
    return 0;
  PyObject *func = PyInstanceMethod_GET_FUNCTION(attr);
  return PyCFunction_Check(func) && PyCFunction_GET_FUNCTION(func) == meth;
}

/* Once the proxy class is registered: installs the descriptor on it. */
static void velta_vector_class_fast(void) {
  static int done = 0;
  SwigPyClientData *data = (SwigPyClientData *)SWIGTYPE_p_s_vector->clientdata;
  if (done || !data || !data->klass || !PyType_Check(data->klass))
    return;
  done = 1;
  PyTypeObject *cls = (PyTypeObject *)data->klass;
  PyObject *current = PyDict_GetItemString(cls->tp_dict, "__getitem__");
  if (!velta_is_forwarder(current, (PyCFunction)_wrap_VlmVector___getitem__))
    return;
  PyObject *descr = PyDescr_NewMethod(&PyBaseObject_Type, &velta_vector_getitem_def);
  if (!descr || PyObject_SetAttrString((PyObject *)cls, "__getitem__", descr) < 0)
    PyErr_Clear();
  Py_XDECREF(descr);
}

/* Hands back the Python object a method was called on. */
#define VELTA_RETURN_SELF(result) \
  do {                            \
    Py_INCREF(swig_obj[0]);       \
    result = swig_obj[0];         \
  } while (0)
%}



/* ---- s_iter ---- */

%exception s_iter::__next__ {
  $action
  if (isErr) {
    isErr = 0;
    PyErr_SetString(PyExc_StopIteration, "End of Iterator");
    SWIG_fail;
  }
}

%extend s_iter {
  struct s_iter *__iter__() {
    return $self;
  }
  double __next__() {
    if ($self->len > 0) {
      double val = *$self->ptr;
      ++$self->ptr;
      if (--$self->len == 0)
        velta_iter_detach($self);
      return val;
    }
    isErr = 1;
    return 0.0;
  }
  ~s_iter() {
    velta_iter_detach($self);
    free($self);
  }
}

/* ---- VlmVector ---- */

%exception s_vector::s_vector {
  $action
  if (velta_made(result) < 0) SWIG_fail;
  velta_vector_class_fast();
}

%define VELTA_VECTOR_RESULT(NAME)
%exception s_vector::NAME {
  $action
  if (velta_made(result) < 0) SWIG_fail;
}
%enddef
VELTA_VECTOR_RESULT(copy)
VELTA_VECTOR_RESULT(toMatrix)
VELTA_VECTOR_RESULT(__lshift__)
VELTA_VECTOR_RESULT(__add__)
VELTA_VECTOR_RESULT(__sub__)
VELTA_VECTOR_RESULT(__mul__)
VELTA_VECTOR_RESULT(__truediv__)

%exception s_vector::__iter__ {
  $action
  if (velta_made(result) < 0) SWIG_fail;
  velta_iter_attach(result, arg1, swig_obj[0]);
}

%exception s_vector::__getitem__ {
  velta_vector_class_fast();
  if (velta_vector_read_index(arg1, arg2) < 0) SWIG_fail;
  $action
}
%exception s_vector::__setitem__ {
  if (velta_vector_write_index(arg1, arg2) < 0) SWIG_fail;
  $action
}
%exception s_vector::isexist {
  if (velta_vector_range(arg1, arg3, arg4) < 0) SWIG_fail;
  $action
}
%exception s_vector::min {
  if (velta_vector_not_empty(arg1, "min") < 0) SWIG_fail;
  $action
}
%exception s_vector::max {
  if (velta_vector_not_empty(arg1, "max") < 0) SWIG_fail;
  $action
}
/* Fills by a temporary of the same size report exhausted memory. */
%exception s_vector::random {
  $action
  if (PyErr_Occurred()) SWIG_fail;
}
%exception s_vector::linspace {
  $action
  if (PyErr_Occurred()) SWIG_fail;
}
%exception s_vector::append {
  if (velta_export_check(arg1) < 0) SWIG_fail;
  $action
  if (PyErr_Occurred()) SWIG_fail;
}

%newobject s_vector::s_vector;
/* Every constructor candidate but the last is documented under the class
 * name (the generator would write the record's tag). */
%feature("autodoc", "VlmVector(int size)\n\nParameters\n----------\nsize: int\n\n") s_vector::s_vector(int size);
%feature("autodoc", "VlmVector(int size, double val)\n\nParameters\n----------\nsize: int\nval: double\n")
    s_vector::s_vector(int size, double val);

%newobject s_vector::__iter__;
%newobject s_vector::__str__;

%extend s_vector {
  s_vector(int size) {
    return vlm_vector_new_zero(size);
  }
  s_vector(int size, double val) {
    return vlm_vector_new_constant(size, val);
  }
  s_vector(double *ndarray_in, int size) {
    return vlm_vector_new_from_array(ndarray_in, size);
  }
  ~s_vector() {
    vlm_vector_delete($self);
  }

  double __getitem__(int index) {
    return vlm_vector_get_item($self, index);
  }
  void __setitem__(int index, double value) {
    vlm_vector_set_item($self, index, value);
  }
  int __len__() {
    return $self->size;
  }
  int __contains__(double val) {
    return vlm_vector_isexist($self, 0, $self->size - 1, val);
  }
  int isexist(double val, int idx1, int idx2) {
    return vlm_vector_isexist($self, idx1, idx2, val);
  }
  double min() {
    return vlm_vector_min($self);
  }
  double max() {
    return vlm_vector_max($self);
  }

  void constant(double val) {
    vlm_vector_change_elements_by_value($self, val);
  }
  void random(double min, double max) {
    VlmVector *temporary = vlm_vector_new_random($self->size, min, max);
    if (!temporary) {
      PyErr_NoMemory();
      return;
    }
    vlm_vector_copy_elements(temporary, $self);
    vlm_vector_delete(temporary);
  }
  void linspace(double min, double max) {
    VlmVector *temporary = vlm_vector_new_linspace(min, max, $self->size);
    if (!temporary) {
      PyErr_NoMemory();
      return;
    }
    vlm_vector_copy_elements(temporary, $self);
    vlm_vector_delete(temporary);
  }
  void sort() {
    vlm_vector_sort($self);
  }
  void append(double val) {
    if (velta_vector_can_grow($self, 1) == 0)
      vlm_vector_append_value($self, val);
  }
  void append(VlmVector *vec) {
    if (velta_vector_can_grow($self, vec->size) == 0)
      vlm_vector_append_vector($self, vec);
  }
  void append(double *ndarray_in, int size) {
    if (velta_vector_can_grow($self, size) < 0)
      return;
    VlmVector *temporary = vlm_vector_new_from_array(ndarray_in, size);
    if (!temporary) {
      PyErr_NoMemory();
      return;
    }
    vlm_vector_append_vector($self, temporary);
    vlm_vector_delete(temporary);
  }

  p_vectorString_t __str__() {
    return vlm_vector_to_string($self, 0);
  }
  void printFull() {
    vlm_vector_print_full($self);
  }
  void toNumpy(double **out_nums, int *out_size) {
    vlm_vector_to_array($self, out_nums, out_size);
  }
  VlmMatrix *toMatrix() {
    return vlm_matrix_new_from_vector($self);
  }
  VlmVector *copy() {
    return vlm_vector_new_copy($self);
  }
  struct s_iter *__iter__() {
    return velta_iter_new($self->p_r_nums, $self->size);
  }

  VlmVector *__lshift__(double val) {
    VlmVector *result = vlm_vector_new_copy($self);
    if (result)
      vlm_vector_change_elements_by_value(result, val);
    return result;
  }
  VlmVector *__ilshift__(double val) {
    vlm_vector_change_elements_by_value($self, val);
    return $self;
  }
  VlmVector *__add__(double val) {
    VlmVector *result = vlm_vector_new_copy($self);
    if (result)
      vlm_vector_add_by_value(result, val);
    return result;
  }
  VlmVector *__iadd__(double val) {
    vlm_vector_add_by_value($self, val);
    return $self;
  }
  VlmVector *__sub__(double val) {
    VlmVector *result = vlm_vector_new_copy($self);
    if (result)
      vlm_vector_substract_by_value(result, val);
    return result;
  }
  VlmVector *__isub__(double val) {
    vlm_vector_substract_by_value($self, val);
    return $self;
  }
  VlmVector *__mul__(double val) {
    VlmVector *result = vlm_vector_new_copy($self);
    if (result)
      vlm_vector_multiply_by_value(result, val);
    return result;
  }
  VlmVector *__imul__(double val) {
    vlm_vector_multiply_by_value($self, val);
    return $self;
  }
  VlmVector *__truediv__(double val) {
    VlmVector *result = vlm_vector_new_copy($self);
    if (result)
      vlm_vector_divide_by_value(result, val);
    return result;
  }
  VlmVector *__itruediv__(double val) {
    vlm_vector_divide_by_value($self, val);
    return $self;
  }
}
