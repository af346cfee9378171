/* Corrections of SWIG's Python runtime, checked against SWIG 4.1.0 (proxy
 * classes in -fastproxy mode, runtime in the wrapper). On an upgrade, read the
 * stock function named in the generated velta_wrap.cxx and drop a fix it has
 * come to make. Stock function: what it does wrong.
 *   - SwigPyObject_acquire/_disown/_own: flag changed without the capsule reference;
 *   - SwigPyObject_repr: the pointer object's own address, not the record's;
 *   - SwigPyObject_append: links an object already in the chain (a cycle);
 *   - SWIG_Python_InitShadowInstance (<Class>_swiginit): releases a failed append's null;
 *   - <Class>_swigregister: takes any object and any __swig_destroy__;
 *   - SWIG_Python_GetSwigThis, _ConvertPtrAndOwn: borrow each `this`, follow a chain for ever;
 * and where they must live:
 *   - SwigPyObject_dealloc: releases a chain recursively (pointers.cpp wraps tp_dealloc);
 *   - SWIG_NewPointerObj, SWIG_ConvertPtr: no hook but runtime.i's %header redefining them;
 *   - SWIG_PyStaticMethod_New: put back for a reloaded proxy module (velta.i's %pythonbegin).
 * The names pointer objects show are set by the type table (types.cpp). */
#include "binding.h"

#include <string.h>

#include <algorithm>

/* ---- balanced ownership ----
 * An owned object holds a reference to the runtime's shared type-table
 * capsule, dropped when it dies; a few "take ownership, then collect" cycles
 * without it would free the table. obj is a pointer object or a proxy. The
 * runtime's collection calls delete_<Class> with the dying object (no
 * references left) and drops its capsule reference itself. */
void velta_set_owned(PyObject *obj, int owned) {
  SwigPyObject *sobj = velta_rt.get_this(obj);
  if (!sobj || (sobj->own == SWIG_POINTER_OWN) == (owned != 0))
    return;
  sobj->own = owned ? SWIG_POINTER_OWN : 0;
  if (owned)
    Py_XINCREF(*velta_rt.capsule);
  else if (Py_REFCNT((PyObject *)sobj) > 0)
    Py_XDECREF(*velta_rt.capsule);
}

/* disown(), acquire() (Owned 0, 1) and own([flag]) (Owned -1, giving the
 * previous flag). truth is the flag asked for: -1 when its truth test failed,
 * -2 when none was given. Ownership is taken only where the ledger allows it. */
template <int Owned> static PyObject *velta_pointer_flag(PyObject *v, PyObject *args) {
  PyObject *val = 0;
  if (Owned < 0 && !PyArg_UnpackTuple(args, "own", 0, 1, &val))
    return NULL;
  int was = ((SwigPyObject *)v)->own, truth = Owned >= 0 ? Owned : val ? PyObject_IsTrue(val) : -2;
  if (truth == -1 || (truth > 0 && velta_may_own((SwigPyObject *)v) < 0))
    return NULL;
  if (truth >= 0)
    velta_set_owned(v, truth);
  return Owned < 0 ? PyBool_FromLong(was) : Py_NewRef(Py_None);
}

/* ---- text form ----
 * The type and the address carried (the value int() gives), then the forms of
 * the objects appended: two objects for one record read alike. */
static PyObject *velta_pointer_repr(PyObject *v) {
  SwigPyObject *sobj = (SwigPyObject *)v;
  const char *name = SWIG_TypePrettyName(sobj->ty);
  const char *form = sobj->next ? "<Swig Object of type '%s' at %p>%R" : "<Swig Object of type '%s' at %p>";
  return PyUnicode_FromFormat(form, name ? name : "unknown", sobj->ptr, sobj->next);
}

static PyObject *velta_pointer_repr_method(PyObject *v, PyObject *) { return velta_pointer_repr(v); }

/* ---- append ----
 * A cycle in the chain would be walked without end (text form, deallocation). */
static PyObject *velta_pointer_append(PyObject *v, PyObject *next) {
  for (PyObject *at = v; at && Py_TYPE(at) == velta_rt.pointer_type; at = ((SwigPyObject *)at)->next)
    if (at == next) {
      PyErr_SetString(PyExc_TypeError, "the pointer object is in the chain already: appending it would make a cycle");
      return NULL;
    }
  return velta_rt.append(v, next);
}

static PyMethodDef velta_pointer_methods[] = {
  {"append", velta_pointer_append, METH_O, "appends another 'this' object"},
  {"disown", velta_pointer_flag<0>, METH_NOARGS, "releases ownership of the pointer"},
  {"acquire", velta_pointer_flag<1>, METH_NOARGS, "acquires ownership of the pointer"},
  {"own", velta_pointer_flag<-1>, METH_VARARGS, "returns/sets ownership of the pointer"},
  {"__repr__", velta_pointer_repr_method, METH_NOARGS, "returns object representation"},
  {0, 0, 0, 0}
};

/* ---- resolving `this` ----
 * Each step holds its own reference (a `this` made afresh at every lookup
 * died before use), a chain that comes back or runs deeper than any proxy's
 * is refused with TypeError, and the running call holds the answer (calls.cpp). */
static const int velta_this_depth = 16;

/* obj's `this` (new reference), or null with no error set. */
static PyObject *velta_this_of(PyObject *obj) {
  static PyObject *name = PyUnicode_InternFromString("this");
  PyObject *found = name ? PyObject_GetAttr(obj, name) : NULL;
  if (!found)
    PyErr_Clear();
  return found;
}

/* A new reference to the pointer object behind obj, obj itself when it has no
 * `this`, or null with TypeError set. */
static PyObject *velta_resolve_this(PyObject *obj) {
  PyObject *seen[velta_this_depth];
  PyObject *cur = Py_NewRef(obj);
  int back = 0;
  for (int depth = 0; depth < velta_this_depth && !back; ++depth) {
    if (cur == Py_None || PyObject_TypeCheck(cur, velta_rt.pointer_type))
      return cur;
    seen[depth] = cur;
    PyObject *next = velta_this_of(cur);
    if (!next)
      return cur;
    Py_SETREF(cur, next);
    back = std::count(seen, seen + depth + 1, next) > 0;
  }
  Py_DECREF(cur);
  PyErr_Format(PyExc_TypeError, back ? "the 'this' of a '%.100s' object leads back to itself"
                                     : "the 'this' of a '%.100s' object is nested more than %d deep",
               Py_TYPE(obj)->tp_name, velta_this_depth);
  return NULL;
}

/* `self` of the hot class methods (indexing, iteration): one lookup and an
 * exact type match, or null for the full conversion. *found is the pointer
 * object (borrowed), for the running call to hold. */
void *velta_fast_self(PyObject *obj, swig_type_info *ty, PyObject **found) {
  PyObject *h = Py_TYPE(obj) == velta_rt.pointer_type ? Py_NewRef(obj) : velta_this_of(obj);
  /* The proxy keeps its pointer object alive; one made afresh by the lookup
   * takes the full conversion, which holds it. */
  int usable = h && Py_TYPE(h) == velta_rt.pointer_type && Py_REFCNT(h) > 1 && ((SwigPyObject *)h)->ty == ty;
  Py_XDECREF(h);
  if (!usable)
    return NULL;
  *found = h;
  return ((SwigPyObject *)h)->ptr;
}

/* SWIG_ConvertPtr of the wrapper, through the resolution above. */
int velta_convert(PyObject *obj, void **ptr, swig_type_info *ty, int flags) {
  /* A pointer object being collected (its destructor converts it). */
  if (Py_REFCNT(obj) == 0)
    return velta_rt.convert(obj, ptr, ty, flags, 0);
  PyObject *held = velta_resolve_this(obj);
  if (!held)
    return SWIG_TypeError;
  int res = velta_rt.convert(held, ptr, ty, flags, 0);
  if (SWIG_IsOK(res) && ptr && !*ptr && held != Py_None)
    res |= VELTA_CLEARED;
  if (SWIG_IsOK(res) && ptr && *ptr && velta_call_hold(held, *ptr) < 0)
    res = SWIG_MemoryError;
  Py_DECREF(held);
  return res;
}

/* ---- <Class>_swiginit(proxy, pointer object) ----
 * Sets the proxy's `this`, or appends to it through the checked append (the
 * stock one released a refused append's null result). */
static PyObject *velta_init_shadow_instance(PyObject *, PyObject *args) {
  PyObject *obj[2];
  if (!SWIG_Python_UnpackTuple(args, "swiginit", 2, 2, obj))
    return NULL;
  if (SwigPyObject *sthis = velta_rt.get_this(obj[0]))
    return velta_pointer_append((PyObject *)sthis, obj[1]);
  return velta_rt.set_this(obj[0], obj[1]) != 0 ? NULL : Py_NewRef(Py_None);
}

/* ---- <Class>_swigregister(class) ----
 * Passed on to the original (registering again replaces the class)
 * only for a class with tp_new (the stock entry called a null one) and with no
 * __swig_destroy__ or this type's own delete_<Class> (it called any as a
 * built-in function, so another type's destructor released these records). */
static PyObject *velta_register_checked(PyObject *self, PyObject *args) {
  PyObject *original = velta_original(self);
  if (!original)
    return NULL;
  PyObject *klass = PyTuple_GET_SIZE(args) == 1 ? PyTuple_GET_ITEM(args, 0) : NULL;
  if (klass && (!PyType_Check(klass) || !((PyTypeObject *)klass)->tp_new)) {
    PyErr_SetString(PyExc_TypeError, "swigregister: expected a class that can make instances");
    return NULL;
  }
  if (PyObject *destroy = klass ? PyObject_GetAttrString(klass, "__swig_destroy__") : NULL) {
    const char *name = ((PyCFunctionObject *)original)->m_ml->ml_name; /* <Class>_swigregister */
    char entry[128];
    snprintf(entry, sizeof entry, "delete_%.*s", (int)(strrchr(name, '_') - name), name);
    PyObject *own = PyObject_GetAttrString(PyCFunction_GET_SELF(original), entry);
    int usable = destroy == own;
    Py_DECREF(destroy);
    Py_XDECREF(own);
    if (!usable) {
      PyErr_Clear();
      PyErr_Format(PyExc_TypeError, "swigregister: __swig_destroy__ must be _velta.%s", entry);
      return NULL;
    }
  }
  PyErr_Clear();
  return PyObject_Call(original, args, NULL);
}

/* Into the class's own dict: the pointer type is static, which setattr
 * refuses, and the callers set any slot themselves. */
int velta_put_method(PyTypeObject *cls, PyTypeObject *owner, PyMethodDef *def) {
  PyObject *descr = PyDescr_NewMethod(owner, def);
  int rc = descr ? PyDict_SetItemString(cls->tp_dict, def->ml_name, descr) : -1;
  Py_XDECREF(descr);
  PyType_Modified(cls);
  return rc;
}

/* swiginit calls the runtime's append itself, not the method; the registration
 * check runs before the original reads __swig_destroy__, and only the entry's
 * name tells the type. The proxy's table is fixed too: SWIG_PyInstanceMethod_New
 * makes methods from its entries with the module function's self. */
int velta_swig_fixes_install(PyObject *d, PyMethodDef *methods) {
  velta_rt.pointer_type->tp_repr = velta_pointer_repr;
  for (PyMethodDef *def = velta_pointer_methods; def->ml_name; ++def)
    if (velta_put_method(velta_rt.pointer_type, velta_rt.pointer_type, def) < 0)
      return -1;
  for (PyMethodDef *table : {methods, velta_rt.proxy_methods}) {
    for (PyMethodDef *def = table; def->ml_name; ++def) {
      if (velta_ends_with(def->ml_name, "_swiginit"))
        def->ml_meth = velta_init_shadow_instance;
      else if (!velta_ends_with(def->ml_name, "_swigregister"))
        continue;
      else if (table != methods)
        *def = PyMethodDef{def->ml_name, velta_register_checked, METH_VARARGS, def->ml_doc};
      else if (velta_replace_entry(d, def, velta_register_checked, METH_VARARGS) < 0)
        return -1;
    }
  }
  return 0;
}
