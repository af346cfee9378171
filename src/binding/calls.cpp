/* Running calls: every entry of the module runs inside a call frame that
 * holds, until the entry returns, each pointer object its arguments resolved
 * to, and pins the address it carries.
 *
 * Converting an argument may run Python code (__index__, __getitem__, a
 * `this` property, __fspath__, a file's write, a signal handler, another
 * thread taking the interpreter lock meanwhile). The frames make what the
 * call has converted safe from it: the objects held cannot die under the
 * call, and a release or move of storage holding a pinned address, asked for
 * by any other call, is refused with BufferError naming the running call.
 * A `this` made afresh at every lookup lives until the call ends, however
 * many are made.
 *
 * The rule sits here once: the entries are wrapped when the module starts,
 * and the conversions (velta_convert, and the self typemap's short way)
 * hold what they resolve. Nothing is held outside a call, so the short ways of v[i] and
 * next(it) pay one thread-local read. */
#include "binding.h"

#include <stdint.h>
#include <string.h>

#include <new>
#include <vector>

namespace {
const char kOriginal[] = "velta.entry";

struct VeltaCall {
  const char *name;  /* the entry's */
  VeltaCall *outer;  /* the call of this thread it runs inside, or null */
  VeltaCall *prev, *next; /* every running call, all threads */
  struct Held {
    PyObject *obj;
    uintptr_t addr;
  };
  std::vector<Held> held;
};

/* This thread's running call and its owned-results setting. */
struct VeltaThread {
  VeltaCall *current = 0;
  int owning = 0;
};
thread_local VeltaThread velta_thread;
VeltaCall *velta_running = 0; /* every running call, all threads */

/* Opens a frame for the entry, runs it, then closes the frame: it leaves the
 * list first, and the objects held go only then (their finalisers may call
 * entries again). */
template <typename Run>
PyObject *velta_in_frame(const char *name, Run run) {
  VeltaCall call;
  call.name = name;
  call.outer = velta_thread.current;
  call.prev = 0;
  call.next = velta_running;
  if (velta_running)
    velta_running->prev = &call;
  velta_running = &call;
  velta_thread.current = &call;
  PyObject *result = run();
  velta_thread.current = call.outer;
  if (call.prev)
    call.prev->next = call.next;
  else
    velta_running = call.next;
  if (call.next)
    call.next->prev = call.prev;
  for (const VeltaCall::Held &h : call.held)
    Py_DECREF(h.obj);
  return result;
}

const char *velta_name_of(PyObject *entry) {
  return ((PyCFunctionObject *)entry)->m_ml->ml_name;
}

/* The function object's original entry and its self. */
PyObject *velta_entry_plain(PyObject *self, PyObject *args) {
  PyObject *entry = velta_original(self);
  return !entry ? NULL : velta_in_frame(velta_name_of(entry), [&] {
    return PyCFunction_GET_FUNCTION(entry)(PyCFunction_GET_SELF(entry), args);
  });
}

PyObject *velta_entry_keywords(PyObject *self, PyObject *args, PyObject *kwargs) {
  PyObject *entry = velta_original(self);
  return !entry ? NULL : velta_in_frame(velta_name_of(entry), [&] {
    return ((PyCFunctionWithKeywords)(void (*)(void))PyCFunction_GET_FUNCTION(entry))(PyCFunction_GET_SELF(entry),
                                                                                        args, kwargs);
  });
}

/* The frame's entry for an entry of these flags. */
PyCFunction velta_frame_for(int flags) {
  return flags & METH_KEYWORDS ? (PyCFunction)(void (*)(void))velta_entry_keywords : velta_entry_plain;
}

/* SWIG's own entries (registration, the proxy's method helpers) hold nothing
 * and keep the module as their self, which their messages name. */
int velta_wrapped(const char *name) {
  return !(velta_ends_with(name, "_swiginit") || velta_ends_with(name, "_swigregister") ||
           velta_ends_with(name, "Method_New"));
}
}  // namespace

int velta_ends_with(const char *s, const char *suffix) {
  size_t n = strlen(s), m = strlen(suffix);
  return n >= m && strcmp(s + n - m, suffix) == 0;
}

/* Owned results on request, per thread: while on, the records that entries
 * make and hand out unowned are owned by their objects (the ledger notes
 * them as they are made). */
int velta_owned_results(int on) {
  int previous = velta_thread.owning;
  velta_thread.owning = on != 0;
  return previous;
}

int velta_owning(void) {
  return velta_thread.owning;
}

/* A pointer object an argument resolved to (borrowed): held until the call
 * ends, and the address it carries pinned. Outside a call, or for an
 * object being collected (its destructor converts it), nothing is held.
 * MemoryError when the frame cannot grow (no exception may leave for the
 * interpreter's C frames). */
int velta_call_hold(PyObject *obj, const void *addr) {
  if (!velta_thread.current || Py_REFCNT(obj) <= 0)
    return 0;
  try {
    velta_thread.current->held.push_back({obj, (uintptr_t)addr});
  } catch (const std::bad_alloc &) {
    PyErr_NoMemory();
    return -1;
  }
  Py_INCREF(obj);
  return 0;
}

/* The pointer object through which the current call resolved addr
 * (borrowed), or null. */
PyObject *velta_call_holder(const void *addr) {
  if (!velta_thread.current)
    return 0;
  for (const VeltaCall::Held &h : velta_thread.current->held)
    if (h.addr == (uintptr_t)addr)
      return h.obj;
  return 0;
}

/* Refused while a call other than the current one pins an address in
 * [begin, end): BufferError naming that call, for the record named what. */
int velta_call_check(uintptr_t begin, uintptr_t end, const char *what) {
  for (VeltaCall *call = velta_running; call; call = call->next) {
    if (call == velta_thread.current)
      continue;
    for (const VeltaCall::Held &h : call->held) {
      if (h.addr >= begin && h.addr < end) {
        PyErr_Format(PyExc_BufferError, "the %s is in use by a running call to %s: it cannot be resized or released",
                     what, call->name);
        return -1;
      }
    }
  }
  return 0;
}

/* An entry of the wrapper called from the binding's own short ways. */
PyObject *velta_call_entry(PyCFunction meth, const char *name, PyObject *args) {
  return velta_in_frame(name, [&] { return meth(NULL, args); });
}

/* The original wrapper function behind a module function, or null. */
PyCFunction velta_entry_function(PyObject *func) {
  if (!PyCFunction_Check(func))
    return 0;
  PyCFunction meth = PyCFunction_GET_FUNCTION(func);
  PyObject *self = PyCFunction_GET_SELF(func);
  if ((meth == velta_entry_plain || meth == (PyCFunction)(void (*)(void))velta_entry_keywords) && self &&
      PyCapsule_IsValid(self, kOriginal))
    return PyCFunction_GET_FUNCTION(velta_original(self));
  return meth;
}

/* The original entry a replacement calls, kept in a capsule as the
 * replacement's self: reached as __self__, the original itself would run
 * outside a frame (or a registration unchecked). */
PyObject *velta_original(PyObject *self) {
  return (PyObject *)PyCapsule_GetPointer(self, kOriginal);
}

/* Replaces d[def->ml_name] by a function of the same name, flags and text
 * that calls meth with the original's capsule as its self. */
int velta_replace_entry(PyObject *d, const PyMethodDef *def, PyCFunction meth, int flags) {
  static PyObject *module_name = PyUnicode_InternFromString("_velta");
  PyObject *original = PyDict_GetItemString(d, def->ml_name);
  if (!original)
    return 0;
  PyObject *self = PyCapsule_New(Py_NewRef(original), kOriginal,
                                 [](PyObject *c) { Py_DECREF((PyObject *)PyCapsule_GetPointer(c, kOriginal)); });
  PyMethodDef *entry = new PyMethodDef{def->ml_name, meth, flags, def->ml_doc};
  PyObject *replacement = self && module_name ? PyCFunction_NewEx(entry, self, module_name) : 0;
  int rc = replacement ? PyDict_SetItemString(d, def->ml_name, replacement) : -1;
  if (!self)
    Py_DECREF(original);
  Py_XDECREF(self);
  Py_XDECREF(replacement);
  return rc;
}

/* Every entry of the module dict d but SWIG's own runs its original in a
 * frame. The proxy classes' methods are made by SWIG_PyInstanceMethod_New from
 * the second table (its texts for the proxy), with the module function's
 * self, which is now the original's capsule: that table's entries become the
 * frame's too. */
int velta_calls_start(PyObject *d, PyMethodDef *methods, PyMethodDef *proxy_methods) {
  for (PyMethodDef *def = proxy_methods; def->ml_name; ++def)
    if (velta_wrapped(def->ml_name))
      def->ml_meth = velta_frame_for(def->ml_flags);
  for (PyMethodDef *def = methods; def->ml_name; ++def)
    if (velta_wrapped(def->ml_name) && velta_replace_entry(d, def, velta_frame_for(def->ml_flags), def->ml_flags) < 0)
      return -1;
  return 0;
}
