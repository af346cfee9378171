/* The pointer index: every pointer object by the address it carries, from
 * its creation to its death, with the one object it keeps alive.
 *
 * The invariant: a pointer object's address is null or points at live
 * storage. Before storage goes or moves, every pointer object into it is
 * cleared to null (and what it kept alive let go); a later use of a cleared
 * object is refused with one message.
 *
 * Keep-parent: a result that points into another record (a canvas into its
 * figure, a colour into its canvas, a field's pointer into its record)
 * keeps that record's object alive, filed with the result's entry here. */
#include "ledger.h"

#include <map>
#include <vector>

namespace {
struct VeltaPointer {
  SwigPyObject *obj; /* borrowed: removed when it dies or is cleared */
  PyObject *parent;  /* what it keeps alive, or null */
};

std::multimap<uintptr_t, VeltaPointer> &velta_index(void) {
  static std::multimap<uintptr_t, VeltaPointer> *index = new std::multimap<uintptr_t, VeltaPointer>();
  return *index;
}

std::multimap<uintptr_t, VeltaPointer>::iterator velta_index_find(const SwigPyObject *sobj) {
  auto range = velta_index().equal_range((uintptr_t)sobj->ptr);
  for (auto it = range.first; it != range.second; ++it)
    if (it->second.obj == sobj)
      return it;
  return velta_index().end();
}

/* Clears every pointer object into the ranges; what they kept alive goes
 * once the index is consistent again. */
void velta_clear_ranges(const std::vector<VeltaRange> &ranges) {
  std::multimap<uintptr_t, VeltaPointer> &index = velta_index();
  std::vector<VeltaPointer> cleared;
  for (const VeltaRange &r : ranges) {
    if (r.begin >= r.end)
      continue;
    auto first = index.lower_bound(r.begin), last = index.lower_bound(r.end);
    for (auto it = first; it != last; ++it)
      cleared.push_back(it->second);
    index.erase(first, last);
  }
  for (const VeltaPointer &p : cleared) {
    p.obj->ptr = 0;
    velta_set_owned((PyObject *)p.obj, 0);
  }
  for (const VeltaPointer &p : cleared)
    Py_XDECREF(p.parent);
}

/* The last object of an unowned record an entry made goes while nothing
 * holds the record: Python's warning for what is left unclosed. */
void velta_leak_warning(const SwigPyObject *sobj) {
  const VeltaType *row = velta_type_row(sobj->ty);
  if (sobj->own == SWIG_POINTER_OWN || !row || !row->release)
    return;
  const VeltaLedgerView e = velta_ledger_find(sobj->ptr);
  if (!e.maker || e.lent > 0 || e.row != row || velta_index().count((uintptr_t)sobj->ptr) > 0)
    return;
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  if (PyErr_WarnFormat(PyExc_ResourceWarning, 1,
                       "unreleased %s made by %s: release it with %s or take ownership with "
                       ".this.acquire() (or thisown = True)",
                       row->name, e.maker, row->release) < 0)
    PyErr_WriteUnraisable(NULL);
  PyErr_Restore(type, value, traceback);
}

void velta_pointer_dealloc(PyObject *v) {
  SwigPyObject *sobj = (SwigPyObject *)v;
  PyObject *parent = 0;
  if (sobj->ptr) {
    auto it = velta_index_find(sobj);
    if (it != velta_index().end()) {
      parent = it->second.parent;
      velta_index().erase(it);
    }
    velta_leak_warning(sobj);
  }
  /* The objects appended go one after the other, not each inside the
   * last one's release (a long chain overflowed the stack). */
  PyObject *next = sobj->next;
  sobj->next = 0;
  velta_rt.pointer_dealloc(v);
  Py_XDECREF(parent);
  while (next) {
    PyObject *after = 0;
    if (Py_TYPE(next) == velta_rt.pointer_type && Py_REFCNT(next) == 1) {
      after = ((SwigPyObject *)next)->next;
      ((SwigPyObject *)next)->next = 0;
    }
    Py_DECREF(next);
    next = after;
  }
}
}  // namespace

/* Every pointer object the wrapper makes passes here. */
PyObject *velta_pointer_made(PyObject *obj) {
  SwigPyObject *sobj = obj ? velta_rt.get_this(obj) : 0;
  if (!sobj || !sobj->ptr)
    return obj;
  const VeltaType *row = velta_type_row(sobj->ty);
  /* Whole records, and what a constructor made (Python owns it). */
  int record = row && row->bytes > 0 && (row->whole || sobj->own == SWIG_POINTER_OWN);
  if (!record && velta_rt.fields_written && sobj->ty != velta_rt.pchar() && velta_room(sobj->ptr) == 0) {
    /* Read from a field that was written: it points at no live storage. */
    sobj->ptr = 0;
    return obj;
  }
  velta_index().insert({(uintptr_t)sobj->ptr, VeltaPointer{sobj, 0}});
  if (record && velta_ledger_list(sobj->ptr, sobj->ty))
    velta_set_owned((PyObject *)sobj, 1);
  return obj;
}

void velta_keep_parent(PyObject *result, PyObject *parent) {
  if (!result || result == Py_None || !parent || parent == Py_None || result == parent)
    return;
  SwigPyObject *sobj = velta_rt.get_this(result);
  auto it = sobj && sobj->ptr ? velta_index_find(sobj) : velta_index().end();
  if (it == velta_index().end())
    return;
  Py_INCREF(parent);
  Py_XSETREF(it->second.parent, parent);
}

/* ---- storage going or moving ---- */

void velta_storage_moving(const void *begin, size_t bytes) {
  velta_clear_ranges({{(uintptr_t)begin, (uintptr_t)begin + bytes}});
}

/* Before the library may move the record's block. */
void velta_block_moving(const void *record) {
  velta_clear_ranges({velta_ledger_find(record).block});
}

/* Before the record is released: refused (nothing changes) while lent out,
 * inside another record or no longer fitting its storage; otherwise every
 * pointer object into its storage is cleared and it leaves the ledger. */
int velta_release(const void *record, swig_type_info *ty, PyObject *input) {
  if (!record)
    return 0;
  SwigPyObject *self = input ? velta_rt.get_this(input) : 0;
  std::vector<VeltaRange> ranges;
  std::vector<PyObject *> held;
  if (velta_ledger_take(record, ty, self && Py_REFCNT((PyObject *)self) == 0, ranges, held) < 0)
    return -1;
  velta_clear_ranges(ranges);
  for (PyObject *obj : held)
    Py_DECREF(obj);
  return 0;
}

/* vlm_data_delete: a listed record by the same rules; storage inside a
 * listed record's is refused. */
int velta_data_release(const void *ptr) {
  if (!ptr)
    return 0;
  const VeltaLedgerView e = velta_ledger_find(ptr);
  if (e.row)
    return velta_release(ptr, velta_type(e.row->id), 0);
  const VeltaType *owner;
  if (velta_ledger_owner(ptr, &owner)) {
    PyErr_Format(PyExc_ValueError, "the block belongs to a %s: vlm_data_delete frees only blocks no record owns",
                 owner->name);
    return -1;
  }
  velta_storage_moving(ptr, 1);
  return 0;
}

void velta_pointers_start(void) {
  if (!velta_rt.pointer_dealloc) {
    velta_rt.pointer_dealloc = velta_rt.pointer_type->tp_dealloc;
    velta_rt.pointer_type->tp_dealloc = velta_pointer_dealloc;
  }
}
