/* Records whose element block is lent out (NumPy views, unfinished
 * iterators), iteration itself, and the short ways of v[i] and next(it). */
#include "binding.h"

#include <stdlib.h>


/* ---- iterators ----
 * An iterator's entry in the ledger holds a lease of the record it walks
 * until it has delivered its last element or is released (ledger.cpp). */

struct s_iter *velta_iter_new(double *nums, int count) {
  struct s_iter *it = (struct s_iter *)calloc(1, sizeof(struct s_iter));
  if (it) {
    it->ptr = nums;
    it->len = count > 0 ? count : 0;
  }
  return it;
}

/* One element, or StopIteration raised at the end. */
double velta_iter_step(struct s_iter *it) {
  if (it->len > 0) {
    double val = *it->ptr;
    ++it->ptr;
    if (--it->len == 0)
      velta_iter_detach(it);
    return val;
  }
  PyErr_SetString(PyExc_StopIteration, "End of Iterator");
  return 0.0;
}

/* Iteration steps through the iterator class's __next__. The generated
 * class holds an instance-method wrapper, which Python binds anew at every
 * step; a method descriptor is called without that. It is installed on the
 * iterator class when the first iterator is handed out, and the class's
 * next-item slot then calls the step directly instead of looking __next__
 * up at every element. Assigning __next__ on the class later resets the
 * slot to the ordinary lookup, and subclasses keep the ordinary lookup.
 * While elements remain, the step is taken here; the end of iteration and
 * anything that is not an iterator go through the entry. */
static PyObject *velta_iter_next_method(PyObject *self, PyObject *) {
  PyObject *found;
  struct s_iter *it = (struct s_iter *)velta_fast_self(self, velta_type(VELTA_T_ITER), &found);
  if (it && it->len > 0 && !velta_rt.fields_written)
    return PyFloat_FromDouble(velta_iter_step(it));
  return velta_call_entry(velta_rt.iter_next_entry, "s_iter___next__", self);
}

static PyObject *velta_iter_iternext(PyObject *self) {
  return velta_iter_next_method(self, NULL);
}

static PyMethodDef velta_iter_next_def = {
  "__next__", velta_iter_next_method, METH_NOARGS, "s_iter___next__(s_iter self) -> double"
};

void velta_iter_class_fast(PyObject *obj) {
  PyTypeObject *cls = obj ? Py_TYPE(obj) : NULL;
  if (!cls || cls == velta_rt.fast_iter_class || cls == velta_rt.pointer_type || !(cls->tp_flags & Py_TPFLAGS_HEAPTYPE))
    return;
  PyObject *descr = PyDescr_NewMethod(cls, &velta_iter_next_def);
  if (descr && PyObject_SetAttrString((PyObject *)cls, "__next__", descr) == 0) {
    cls->tp_iternext = velta_iter_iternext;
    Py_INCREF(cls);
    Py_XSETREF(velta_rt.fast_iter_class, cls);
  } else {
    PyErr_Clear();
  }
  Py_XDECREF(descr);
}

/* v[i] from Python. The proxy class's __getitem__ is replaced by a
 * one-argument method descriptor, which the interpreter calls with self and
 * the key as they are: no bound method, no argument tuple. An exact int key
 * inside the vector is read at once; every other call goes through the
 * module entry itself, with its checks and messages. The descriptor is
 * declared for any object (as the entry takes any self) and is installed
 * only over the generated forwarding method, never over a replacement. */
static PyObject *velta_vector_getitem_o(PyObject *self, PyObject *key) {
  if (PyLong_CheckExact(key) && !velta_rt.fields_written) {
    PyObject *found;
    VlmVector *v = (VlmVector *)velta_fast_self(self, velta_type(VELTA_T_VECTOR), &found);
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
  PyObject *result = velta_call_entry(velta_rt.vector_getitem_entry, "VlmVector___getitem__", args);
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
  return velta_entry_function(PyInstanceMethod_GET_FUNCTION(attr)) == meth;
}

/* Once the proxy class is registered: installs the descriptor on it. */
void velta_vector_class_fast(void) {
  SwigPyClientData *data = (SwigPyClientData *)velta_type(VELTA_T_VECTOR)->clientdata;
  if (velta_rt.fast_vector_class || !data || !data->klass || !PyType_Check(data->klass))
    return;
  velta_rt.fast_vector_class = 1;
  PyTypeObject *cls = (PyTypeObject *)data->klass;
  PyObject *current = PyDict_GetItemString(cls->tp_dict, "__getitem__");
  if (!velta_is_forwarder(current, velta_rt.vector_getitem_entry))
    return;
  PyObject *descr = PyDescr_NewMethod(&PyBaseObject_Type, &velta_vector_getitem_def);
  if (!descr || PyObject_SetAttrString((PyObject *)cls, "__getitem__", descr) < 0)
    PyErr_Clear();
  Py_XDECREF(descr);
}
