/* Corrections of SWIG's Python runtime, in one place.
 *
 * Checked against SWIG 4.1.0 (`swig -version`), Python target, proxy
 * classes in -fastproxy mode, runtime compiled into the wrapper. Each fix
 * below names the stock behaviour it replaces; when SWIG is upgraded, read
 * the generated velta_wrap.cxx for the function named and drop the fix if
 * the runtime has come to do the same.
 *
 * Installed by velta_swig_fixes_install at module start:
 *   - acquire/disown/own of the pointer object: the stock ones flip the
 *     ownership flag without the type-table capsule reference an owned
 *     object holds (SwigPyObject_acquire/_disown/_own);
 *   - the pointer object's text form: the stock one shows the pointer
 *     object's own address, not the record's (SwigPyObject_repr);
 *   - append: the stock one links an object already in the chain, making a
 *     cycle (SwigPyObject_append);
 *   - <Class>_swiginit: the stock one releases a failed append's null
 *     result (SWIG_Python_InitShadowInstance);
 *   - <Class>_swigregister: the stock one takes any object and any
 *     __swig_destroy__, which SwigPyObject_dealloc then calls as a built-in
 *     function releasing a record of the object's type.
 * Called by the wrapper instead of the stock function:
 *   - velta_convert for SWIG_ConvertPtr: the stock conversion borrows each
 *     `this` it looks up and follows a `this` chain without end
 *     (SWIG_Python_GetSwigThis, SWIG_Python_ConvertPtrAndOwn).
 * One lives with the unit it serves, and is listed here to be found:
 *   - the pointer type's tp_dealloc is wrapped by the pointer index
 *     (pointers.cpp): the stock SwigPyObject_dealloc releases the objects
 *     appended to one inside each other's release, so a long chain
 *     overflowed the stack; the wrapper also takes the object out of the
 *     index and warns of an unowned record left behind.
 * Two live where the generator reads them, and are listed here to be found:
 *   - runtime.i's %header redefines SWIG_NewPointerObj and SWIG_ConvertPtr:
 *     the wrapper's calls reach the pointer index and velta_convert, which
 *     SWIG offers no other hook for;
 *   - velta.i's %pythonbegin puts SWIG_PyStaticMethod_New back into the
 *     extension for a reloaded proxy module: in -fastproxy mode the proxy
 *     reads that helper from the extension at import, and the binding takes
 *     it away after the first import (it is no entry of the extension).
 * The names pointer objects show are set by the type table (types.cpp). */
#include "binding.h"

#include <string.h>

/* ---- balanced ownership ----
 * An object created owned holds a reference to the runtime's shared
 * type-table capsule, and the death of every owned object drops one. The
 * stock acquire/own set the flag without taking that reference, so a few
 * "take ownership, then collect" cycles would free the type table. Every
 * change of the flag goes through here. */
void velta_set_owned(SwigPyObject *sobj, int owned) {
  if (owned && sobj->own != SWIG_POINTER_OWN) {
    Py_XINCREF(*velta_rt.capsule);
    sobj->own = SWIG_POINTER_OWN;
  } else if (!owned && sobj->own == SWIG_POINTER_OWN) {
    sobj->own = 0;
    Py_XDECREF(*velta_rt.capsule);
  }
}

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

static PyObject *velta_pointer_disown(PyObject *v, PyObject *) {
  velta_set_owned((SwigPyObject *)v, 0);
  Py_RETURN_NONE;
}

static PyObject *velta_pointer_acquire(PyObject *v, PyObject *) {
  if (velta_may_own((SwigPyObject *)v) < 0)
    return NULL;
  velta_set_owned((SwigPyObject *)v, 1);
  Py_RETURN_NONE;
}

static PyObject *velta_pointer_own(PyObject *v, PyObject *args) {
  PyObject *val = 0;
  if (!PyArg_UnpackTuple(args, "own", 0, 1, &val))
    return NULL;
  SwigPyObject *sobj = (SwigPyObject *)v;
  PyObject *was = PyBool_FromLong(sobj->own);
  if (val) {
    int truth = PyObject_IsTrue(val);
    if (truth < 0 || (truth && velta_may_own(sobj) < 0)) {
      Py_DECREF(was);
      return NULL;
    }
    velta_set_owned(sobj, truth);
  }
  return was;
}

/* ---- text form ----
 * The type and the address that the object carries (the value int() gives),
 * followed by the text forms of the objects appended to it. The stock form
 * shows the pointer object's own address: two objects for one record read
 * differently, and the record's address cannot be read off. */
static PyObject *velta_pointer_repr(PyObject *v) {
  SwigPyObject *sobj = (SwigPyObject *)v;
  const char *name = SWIG_TypePrettyName(sobj->ty);
  PyObject *repr = PyUnicode_FromFormat("<Swig Object of type '%s' at %p>", name ? name : "unknown", sobj->ptr);
  if (repr && sobj->next) {
    PyObject *rest = PyObject_Repr(sobj->next);
    PyObject *joined = rest ? PyUnicode_Concat(repr, rest) : NULL;
    Py_XDECREF(rest);
    Py_DECREF(repr);
    repr = joined;
  }
  return repr;
}

static PyObject *velta_pointer_repr_method(PyObject *v, PyObject *) {
  return velta_pointer_repr(v);
}

/* ---- append ----
 * Appending an object already in the chain (itself included) would make the
 * chain a cycle, which the runtime walks without end (text form,
 * deallocation); the stock append links it. */
static PyObject *velta_pointer_append(PyObject *v, PyObject *next) {
  for (PyObject *at = v; at && Py_TYPE(at) == velta_rt.pointer_type; at = ((SwigPyObject *)at)->next) {
    if (at == next) {
      PyErr_SetString(PyExc_TypeError, "the pointer object is in the chain already: appending it would make a cycle");
      return NULL;
    }
  }
  return velta_rt.append(v, next);
}

static PyMethodDef velta_pointer_methods[] = {
  {"append", velta_pointer_append, METH_O, "appends another 'this' object"},
  {"disown", velta_pointer_disown, METH_NOARGS, "releases ownership of the pointer"},
  {"acquire", velta_pointer_acquire, METH_NOARGS, "acquires ownership of the pointer"},
  {"own", velta_pointer_own, METH_VARARGS, "returns/sets ownership of the pointer"},
  {"__repr__", velta_pointer_repr_method, METH_NOARGS, "returns object representation"},
  {0, 0, 0, 0}
};

/* The methods above and the text form, on the pointer-object type. */
static int velta_install_pointer_methods(void) {
  PyTypeObject *type = velta_rt.pointer_type;
  type->tp_repr = velta_pointer_repr;
  for (PyMethodDef *def = velta_pointer_methods; def->ml_name; ++def) {
    PyObject *descr = PyDescr_NewMethod(type, def);
    if (!descr)
      return -1;
    int rc = PyDict_SetItemString(type->tp_dict, def->ml_name, descr);
    Py_DECREF(descr);
    if (rc < 0)
      return -1;
  }
  PyType_Modified(type);
  return 0;
}

/* ---- resolving `this` ----
 * An argument that is not a pointer object is asked for its `this`, which
 * may itself be an object with a `this`. The runtime borrowed each answer,
 * so a `this` made afresh at every lookup died before it was used, and an
 * object whose `this` led back to itself was followed for ever. Here each
 * step holds its own reference, a chain that comes back or runs deeper
 * than any proxy would is refused with TypeError, and the running call
 * holds the answer until it ends (calls.cpp). */
static const int velta_this_depth = 16;

/* The interned name "this", made once (null if it could not be). */
static PyObject *velta_this_name(void) {
  static PyObject *name = PyUnicode_InternFromString("this");
  return name;
}

/* A new reference to the pointer object behind obj, obj itself (new
 * reference) when it has no `this`, or null with TypeError set. */
static PyObject *velta_resolve_this(PyObject *obj) {
  PyObject *name = velta_this_name();
  PyObject *seen[velta_this_depth];
  PyObject *cur = obj;
  Py_INCREF(cur);
  for (int depth = 0; depth < velta_this_depth; ++depth) {
    if (cur == Py_None || PyObject_TypeCheck(cur, velta_rt.pointer_type))
      return cur;
    seen[depth] = cur;
    PyObject *next = name ? PyObject_GetAttr(cur, name) : NULL;
    if (!next) {
      PyErr_Clear();
      return cur;
    }
    for (int i = 0; i <= depth; ++i) {
      if (seen[i] == next) {
        Py_DECREF(next);
        Py_DECREF(cur);
        PyErr_Format(PyExc_TypeError, "the 'this' of a '%.100s' object leads back to itself",
                     Py_TYPE(obj)->tp_name);
        return NULL;
      }
    }
    Py_DECREF(cur);
    cur = next;
  }
  Py_DECREF(cur);
  PyErr_Format(PyExc_TypeError, "the 'this' of a '%.100s' object is nested more than %d deep",
               Py_TYPE(obj)->tp_name, velta_this_depth);
  return NULL;
}

/* `self` of the class methods. Hot methods (indexing, iteration) take a
 * short way to the pointer: the interned name "this" and an exact type
 * match; null sends the caller to the runtime's full conversion. *found is
 * the pointer object (borrowed), for the running call to hold. */
void *velta_fast_self(PyObject *obj, swig_type_info *ty, PyObject **found) {
  PyObject *name = velta_this_name();
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

/* SWIG_ConvertPtr of the wrapper, through the resolution above. */
int velta_convert(PyObject *obj, void **ptr, swig_type_info *ty, int flags) {
  /* None, or a pointer object being collected (its destructor converts it). */
  if (obj == Py_None || Py_REFCNT(obj) == 0)
    return velta_rt.convert(obj, ptr, ty, flags, 0);
  PyObject *held = Py_TYPE(obj) == velta_rt.pointer_type ? (Py_INCREF(obj), obj) : velta_resolve_this(obj);
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

/* ---- <Class>_swiginit ----
 * (proxy, pointer object) gives the proxy its pointer object, or appends it
 * to the one the proxy holds. The runtime's version releases the append's
 * result unchecked: anything but a pointer object as the second argument
 * released a null reference. */
static PyObject *velta_init_shadow_instance(PyObject *, PyObject *args) {
  PyObject *obj[2];
  if (!SWIG_Python_UnpackTuple(args, "swiginit", 2, 2, obj))
    return NULL;
  SwigPyObject *sthis = velta_rt.get_this(obj[0]);
  if (sthis) {
    PyObject *appended = velta_pointer_append((PyObject *)sthis, obj[1]);
    if (!appended)
      return NULL;
    Py_DECREF(appended);
  } else if (velta_rt.set_this(obj[0], obj[1]) != 0) {
    return NULL;
  }
  Py_RETURN_NONE;
}

/* ---- <Class>_swigregister ----
 * (class) names the class that wraps the records of one type and, through
 * its __swig_destroy__, how they are released. The runtime's version took
 * anything: a __swig_destroy__ that is not a built-in function was called
 * as one, another type's destructor released records of this type, and a
 * class without tp_new was called through a null pointer. The replacement
 * takes a class that can make instances and whose __swig_destroy__, if it
 * has one, is this type's own delete_<Class> entry; registering again (a
 * reloaded proxy module) replaces the class. It then calls the original
 * entry (its self). */
static PyObject *velta_register_checked(PyObject *original, PyObject *args) {
  if (PyTuple_GET_SIZE(args) == 1) {
    PyObject *klass = PyTuple_GET_ITEM(args, 0);
    if (!PyType_Check(klass) || !((PyTypeObject *)klass)->tp_new) {
      PyErr_SetString(PyExc_TypeError, "swigregister: expected a class that can make instances");
      return NULL;
    }
    PyObject *destroy = PyObject_GetAttrString(klass, "__swig_destroy__");
    if (!destroy) {
      PyErr_Clear();
    } else {
      /* "<Class>_swigregister" -> "delete_<Class>" */
      const char *name = ((PyCFunctionObject *)original)->m_ml->ml_name;
      char entry[128];
      snprintf(entry, sizeof entry, "delete_%.*s", (int)(strlen(name) - strlen("_swigregister")), name);
      PyObject *own = PyObject_GetAttrString(PyCFunction_GET_SELF(original), entry);
      int usable = own && destroy == own;
      Py_DECREF(destroy);
      Py_XDECREF(own);
      if (!usable) {
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "swigregister: __swig_destroy__ must be _velta.%s", entry);
        return NULL;
      }
    }
  }
  return PyObject_Call(original, args, NULL);
}

/* The pointer type's methods and text form; in the method table, the
 * swiginit entries; in the module dict d, the swigregister entries, by
 * functions that carry the original as their self. */
int velta_swig_fixes_install(PyObject *d, PyMethodDef *methods) {
  if (velta_install_pointer_methods() < 0)
    return -1;
  for (PyMethodDef *def = methods; def->ml_name; ++def) {
    if (velta_ends_with(def->ml_name, "_swiginit"))
      def->ml_meth = velta_init_shadow_instance;
    if (!velta_ends_with(def->ml_name, "_swigregister"))
      continue;
    PyObject *original = PyDict_GetItemString(d, def->ml_name);
    PyMethodDef *checked = new PyMethodDef{def->ml_name, velta_register_checked, METH_VARARGS, def->ml_doc};
    PyObject *name = PyUnicode_FromString("_velta");
    PyObject *replacement = original && name ? PyCFunction_NewEx(checked, original, name) : NULL;
    Py_XDECREF(name);
    if (!replacement || PyDict_SetItemString(d, def->ml_name, replacement) < 0) {
      Py_XDECREF(replacement);
      return -1;
    }
    Py_DECREF(replacement);
  }
  return 0;
}
