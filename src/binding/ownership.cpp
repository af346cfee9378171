/* The module start, and the ownership flag of the binding's own records
 * (the corrections of the runtime's pointer objects are swig_fixes.cpp's). */
#include "binding.h"

VeltaRuntime velta_rt;

/* Clears the ownership flag of the pointer object behind obj (a pointer
 * object or a proxy instance), keeping the capsule count balanced. Used when
 * a record is released explicitly, so that its collection does not free it
 * a second time. */
void velta_disown_object(PyObject *obj) {
  SwigPyObject *sobj = velta_rt.get_this(obj);
  if (sobj)
    velta_set_owned(sobj, 0);
}

/* Sets it, the same way: a result handed out owned on request. */
void velta_own_object(PyObject *obj) {
  SwigPyObject *sobj = velta_rt.get_this(obj);
  if (sobj)
    velta_set_owned(sobj, 1);
}

/* Explicit release through delete_<Class> clears the flag of the object
 * passed in balance. The runtime's collection calls the same entry with the
 * dying object (no references left) and drops the capsule reference itself,
 * so then only the flag is cleared. */
void velta_released(PyObject *obj) {
  SwigPyObject *sobj = velta_rt.get_this(obj);
  if (!sobj)
    return;
  if (Py_REFCNT((PyObject *)sobj) > 0)
    velta_set_owned(sobj, 0);
  else
    sobj->own = 0;
}

/* `self` of the class methods. Hot methods (indexing, iteration) take a
 * short way to the pointer: the interned name "this" and an exact type
 * match; null sends the caller to the runtime's full conversion. *found is
 * the pointer object (borrowed), for the running call to hold. */
void *velta_fast_self(PyObject *obj, swig_type_info *ty, PyObject **found) {
  static PyObject *name = PyUnicode_InternFromString("this");
  PyObject *holder = obj;
  if (Py_TYPE(holder) != velta_rt.pointer_type) {
    if (!name)
      return NULL;
    holder = PyObject_GetAttr(obj, name);
    if (!holder) {
      PyErr_Clear();
      return NULL;
    }
    /* The proxy keeps its pointer object alive; one made afresh by the
     * lookup takes the full conversion, which holds it. */
    int usable = Py_TYPE(holder) == velta_rt.pointer_type && Py_REFCNT(holder) > 1;
    Py_DECREF(holder);
    if (!usable)
      return NULL;
  }
  SwigPyObject *sobj = (SwigPyObject *)holder;
  if (sobj->ty != ty)
    return NULL;
  *found = holder;
  return sobj->ptr;
}

/* The module's functions call through their entries of the method table;
 * the runtime's corrections are installed first. */
int velta_start(const VeltaRuntime &rt, PyObject *d, PyMethodDef *methods) {
  velta_rt = rt;
  velta_types_start();
  velta_pointers_start();
  if (velta_swig_fixes_install(d, methods) < 0 || velta_numpy_start() < 0 ||
      velta_calls_start(d, methods, rt.proxy_methods) < 0)
    return -1;
  return 0;
}
