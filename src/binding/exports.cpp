/* Iteration, and the short ways of v[i] and next(it). An iterator's ledger
 * entry holds a lease of the record it walks until it has delivered its last
 * element or is released (ledger.cpp). */
#include "binding.h"

#include <stdlib.h>

struct s_iter *velta_iter_new(double *nums, int count) {
  struct s_iter *it = (struct s_iter *)malloc(sizeof(struct s_iter));
  if (it)
    *it = {nums, count > 0 ? count : 0};
  return it;
}

double velta_iter_step(struct s_iter *it) {
  if (it->len <= 0) {
    PyErr_SetString(PyExc_StopIteration, "End of Iterator");
    return 0.0;
  }
  double val = *it->ptr++;
  if (--it->len == 0)
    velta_iter_detach(it);
  return val;
}

/* The generated __next__ is an instance-method wrapper, bound anew at every
 * step; a method descriptor is not, and the class's next-item slot then calls
 * the step without looking __next__ up. Installed on the iterator class with
 * the first iterator handed out; assigning __next__ later resets the slot, and
 * subclasses keep the ordinary lookup. While elements remain the step is taken
 * here; the end, and anything not an iterator, go through the entry. */
static PyObject *velta_iter_next_method(PyObject *self, PyObject *) {
  PyObject *found;
  struct s_iter *it = (struct s_iter *)velta_fast_self(self, velta_type(VELTA_T_ITER), &found);
  if (it && it->len > 0 && !velta_rt.fields_written)
    return PyFloat_FromDouble(velta_iter_step(it));
  return velta_call_entry(velta_rt.iter_next_entry, "s_iter___next__", self);
}

static PyObject *velta_iter_iternext(PyObject *self) { return velta_iter_next_method(self, NULL); }

static PyMethodDef velta_iter_next_def = {"__next__", velta_iter_next_method, METH_NOARGS,
                                          "s_iter___next__(s_iter self) -> double"};

void velta_iter_class_fast(PyObject *obj) {
  PyTypeObject *cls = obj ? Py_TYPE(obj) : NULL;
  if (!cls || cls == velta_rt.fast_iter_class || !(cls->tp_flags & Py_TPFLAGS_HEAPTYPE)) /* a proxy class */
    return;
  if (velta_put_method(cls, cls, &velta_iter_next_def) < 0)
    return PyErr_Clear();
  cls->tp_iternext = velta_iter_iternext;
  Py_XSETREF(velta_rt.fast_iter_class, (PyTypeObject *)Py_NewRef(cls));
}

/* v[i]: the proxy's __getitem__ becomes a one-argument method descriptor,
 * called with self and the key as they are (no bound method, no tuple). An
 * exact int key inside the vector is read at once; anything else goes through
 * the entry, with its checks and messages. Declared for any object (as the
 * entry takes any self), installed only over the generated forwarder. */
static PyObject *velta_vector_getitem_o(PyObject *self, PyObject *key) {
  PyObject *found;
  int overflow;
  VlmVector *v = PyLong_CheckExact(key) && !velta_rt.fields_written
                     ? (VlmVector *)velta_fast_self(self, velta_type(VELTA_T_VECTOR), &found)
                     : NULL;
  long index = v ? PyLong_AsLongAndOverflow(key, &overflow) : -1; /* -1 on overflow too */
  if (index >= 0 && index < v->size)
    return PyFloat_FromDouble(vlm_vector_get_item(v, (int)index));
  PyObject *args = PyTuple_Pack(2, self, key);
  PyObject *result = args ? velta_call_entry(velta_rt.vector_getitem_entry, "VlmVector___getitem__", args) : NULL;
  Py_XDECREF(args);
  return result;
}

static PyMethodDef velta_vector_getitem_def = {
  "__getitem__", velta_vector_getitem_o, METH_O,
  "\nVlmVector___getitem__(VlmVector self, int index) -> double\n\nParameters\n----------\nindex: int\n\n"
};

/* Once the proxy class is registered. */
void velta_vector_class_fast(void) {
  SwigPyClientData *data = (SwigPyClientData *)velta_type(VELTA_T_VECTOR)->clientdata;
  if (velta_rt.fast_vector_class || !data || !data->klass || !PyType_Check(data->klass))
    return;
  velta_rt.fast_vector_class = 1;
  PyTypeObject *cls = (PyTypeObject *)data->klass;
  PyObject *current = PyDict_GetItemString(cls->tp_dict, "__getitem__");
  if (!current || !PyInstanceMethod_Check(current) ||
      velta_entry_function(PyInstanceMethod_GET_FUNCTION(current)) != velta_rt.vector_getitem_entry)
    return;
  if (velta_put_method(cls, &PyBaseObject_Type, &velta_vector_getitem_def) < 0)
    PyErr_Clear();
}
