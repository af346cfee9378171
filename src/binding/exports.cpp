/* Records whose element block is lent out (NumPy views, unfinished
 * iterators), iteration itself, and the short ways of v[i] and next(it). */
#include "binding.h"

#include <stdlib.h>

#include <unordered_map>

/* ---- iterators ----
 * An iterator holds the Python object it came from and one export count of
 * the record until it has delivered its last element or dies. */

struct velta_iter_source {
  const void *record;
  PyObject *owner;
  const double *begin, *end; /* the block walked, fixed while exported */
};

static std::unordered_map<const struct s_iter *, velta_iter_source> &velta_iter_sources(void) {
  static std::unordered_map<const struct s_iter *, velta_iter_source> *sources =
      new std::unordered_map<const struct s_iter *, velta_iter_source>();
  return *sources;
}

struct s_iter *velta_iter_new(double *nums, int count) {
  struct s_iter *it = (struct s_iter *)calloc(1, sizeof(struct s_iter));
  if (it) {
    it->ptr = nums;
    it->len = count > 0 ? count : 0;
  }
  return it;
}

/* Ties a new iterator to the record and the Python object it walks. */
void velta_iter_attach(struct s_iter *it, const void *record, PyObject *owner) {
  if (it->len <= 0)
    return;
  /* The pointer object rather than the proxy, whose `this` may be replaced. */
  PyObject *holder = velta_call_holder(record);
  if (holder)
    owner = holder;
  velta_iter_source source = {record, owner, it->ptr, it->ptr + it->len};
  Py_INCREF(owner);
  velta_iter_sources()[it] = source;
  velta_export_acquire(record);
}

/* Lets go of the record once the iterator is done with it. */
void velta_iter_detach(const struct s_iter *it) {
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

/* An iterator about to step: its cursor and count must stay inside the
 * block of the record it walks (its fields are writable). An iterator not
 * walking a listed record delivers nothing more. */
int velta_iter_fits(const struct s_iter *it) {
  if (it->len <= 0)
    return 0;
  auto found = velta_iter_sources().find(it);
  if (found != velta_iter_sources().end() && velta_record_fits(found->second.record) == 0) {
    const velta_iter_source &source = found->second;
    if (it->ptr >= source.begin && it->ptr <= source.end && it->len <= source.end - it->ptr)
      return 0;
  }
  PyErr_Clear();
  PyErr_SetString(PyExc_ValueError, "the iterator no longer fits the block it walks: its ptr or len was changed");
  return -1;
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
  static swig_type_info *iter_type = SWIG_MangledTypeQueryModule(velta_rt.module, velta_rt.module, "_p_s_iter");
  PyObject *found;
  struct s_iter *it = (struct s_iter *)velta_fast_self(self, iter_type, &found);
  if (it && it->len > 0 && !velta_fields_written)
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
  static PyTypeObject *done = NULL;
  PyTypeObject *cls = obj ? Py_TYPE(obj) : NULL;
  if (!cls || cls == done || cls == velta_rt.pointer_type || !(cls->tp_flags & Py_TPFLAGS_HEAPTYPE))
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

/* v[i] from Python. The proxy class's __getitem__ is replaced by a
 * one-argument method descriptor, which the interpreter calls with self and
 * the key as they are: no bound method, no argument tuple. An exact int key
 * inside the vector is read at once; every other call goes through the
 * module entry itself, with its checks and messages. The descriptor is
 * declared for any object (as the entry takes any self) and is installed
 * only over the generated forwarding method, never over a replacement. */
static swig_type_info *velta_vector_type(void) {
  static swig_type_info *type = SWIG_MangledTypeQueryModule(velta_rt.module, velta_rt.module, "_p_s_vector");
  return type;
}

static PyObject *velta_vector_getitem_o(PyObject *self, PyObject *key) {
  if (PyLong_CheckExact(key) && !velta_fields_written) {
    PyObject *found;
    VlmVector *v = (VlmVector *)velta_fast_self(self, velta_vector_type(), &found);
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
  static int done = 0;
  SwigPyClientData *data = (SwigPyClientData *)velta_vector_type()->clientdata;
  if (done || !data || !data->klass || !PyType_Check(data->klass))
    return;
  done = 1;
  PyTypeObject *cls = (PyTypeObject *)data->klass;
  PyObject *current = PyDict_GetItemString(cls->tp_dict, "__getitem__");
  if (!velta_is_forwarder(current, velta_rt.vector_getitem_entry))
    return;
  PyObject *descr = PyDescr_NewMethod(&PyBaseObject_Type, &velta_vector_getitem_def);
  if (!descr || PyObject_SetAttrString((PyObject *)cls, "__getitem__", descr) < 0)
    PyErr_Clear();
  Py_XDECREF(descr);
}
