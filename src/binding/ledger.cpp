/* The ledger: one entry per live record the binding knows, holding all of
 * that record's life. A record is listed when the binding hands it out as a
 * whole (every result of a type whose row says so, and what a constructor
 * made). Its entry keeps
 *   - its storage as the library made it: pins on the writable fields that
 *     describe storage (block pointers, counts, a canvas's series arrays and
 *     palettes) with the values they may hold, and the ranges they lead to;
 *   - what it lends: a count of leases out (NumPy views, unfinished
 *     iterators, figures drawing it), capsules that give it back on death;
 *   - what it holds: objects stored into its fields, the leases of what a
 *     figure or canvas draws, an iterator's source;
 *   - who made it, for the warning about an unowned result left behind.
 * A record with leases out cannot be grown or released; a released record's
 * entry goes, and what it held after it. Nothing here runs per element. */
#include "ledger.h"

#include <limits.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

namespace {
/* A field that describes storage holds a value in [lo, hi]. */
struct VeltaPin {
  uintptr_t at;
  intptr_t lo, hi;
  bool wide; /* a pointer, else an int */
  const char *detail;
};
/* The pins on one record's fields (the record's own, or a canvas's in its
 * figure's block) and the storage they lead to. */
struct VeltaNote {
  uintptr_t rec;
  const char *what;
  std::vector<VeltaPin> pins;
  std::vector<VeltaRange> ranges;
};

struct VeltaEntry {
  const VeltaType *row = 0;  /* null: lent out only (a record listed nowhere else) */
  VeltaRange block = {0, 0}; /* the element block as made */
  VeltaRange walk = {0, 0};  /* an iterator: the block it walks */
  Py_ssize_t lent = 0;
  const char *maker = 0;     /* the entry that made it and handed it out unowned */
  bool own_next = false;     /* its next object owns it (owned results) */
  std::vector<std::pair<size_t, PyObject *>> held;
  std::vector<VeltaNote> notes; /* its own fields and bytes, then its canvases' */
};

std::map<uintptr_t, VeltaEntry> &velta_entries(void) {
  static std::map<uintptr_t, VeltaEntry> *entries = new std::map<uintptr_t, VeltaEntry>();
  return *entries;
}

VeltaEntry *velta_entry_of(const void *record) {
  auto it = velta_entries().find((uintptr_t)record);
  return it == velta_entries().end() ? 0 : &it->second;
}

intptr_t velta_word(uintptr_t at, bool wide) {
  intptr_t p = 0;
  return wide ? (memcpy(&p, (const void *)at, sizeof p), p) : *(const int *)at;
}

void velta_pin(VeltaNote &n, const void *at, bool wide, intptr_t lo, intptr_t hi, const char *detail) {
  n.pins.push_back({(uintptr_t)at, lo, hi, wide, detail});
}

void velta_range(VeltaNote &n, const void *begin, size_t bytes) {
  if (begin)
    n.ranges.push_back({(uintptr_t)begin, (uintptr_t)begin + bytes});
}

const char kSeries[] = "its series count or a series array", kPalette[] = "a palette or its entry count";

/* A canvas's pins, with the values of `as`: the canvas, or a blank one. */
VeltaNote velta_canvas_pins(const VlpCanvas *can, const VlpCanvas &as) {
  VeltaNote n{(uintptr_t)can, "VlpCanvas", {}, {}};
  const size_t count = as.numOfVec > 0 ? (size_t)as.numOfVec : 0;
  velta_pin(n, &can->numOfVec, false, as.numOfVec, as.numOfVec, kSeries);
#define VELTA_PIN_ARRAY(field, type)                                              \
  velta_pin(n, &can->field, true, (intptr_t)as.field, (intptr_t)as.field, kSeries); \
  velta_range(n, as.field, count * sizeof(type));
  VLP_SERIES_ARRAYS(VELTA_PIN_ARRAY)
#undef VELTA_PIN_ARRAY
  for (size_t i = 0; as.p_r_color_pallete && i < count; ++i) {
    const VlmColor *pal = as.p_r_color_pallete[i];
    velta_pin(n, &as.p_r_color_pallete[i], true, (intptr_t)pal, (intptr_t)pal, kPalette);
    const int entries = pal && pal->size > 1 ? pal->size : 1; /* entry 0 carries the count */
    if (pal)
      velta_pin(n, &pal->size, false, INT_MIN, entries, kPalette);
    velta_range(n, pal, entries * sizeof(VlmColor));
  }
  return n;
}

/* The notes of a record from its fields, just after the library made or
 * grew it: block and count (negative: none), a figure's canvases, a
 * stand-alone canvas's series. */
void velta_note(uintptr_t rec, VeltaEntry &e) {
  const VeltaType *row = e.row;
  e.notes.resize(1); /* the first note's storage is reused: a vector is noted again at every growth */
  VeltaNote &own = e.notes[0];
  own.rec = rec;
  own.what = row->name;
  own.pins.clear();
  own.ranges.reserve(2);
  own.ranges.assign(1, {rec, rec + row->bytes});
  if (!row->item) {
    if (row->id == VELTA_T_CANVAS)
      e.notes.push_back(velta_canvas_pins((const VlpCanvas *)rec, *(const VlpCanvas *)rec));
    return;
  }
  own.pins.reserve(2);
  const uintptr_t block = (uintptr_t)velta_word(rec + row->block_at, true);
  const int count = std::max((int)velta_word(rec + row->count_at, false), 0);
  velta_pin(own, (const void *)(rec + row->block_at), true, (intptr_t)block, (intptr_t)block, "its element block");
  velta_pin(own, (const void *)(rec + row->count_at), false, 0, count, "its element count");
  velta_range(own, (const void *)block, (size_t)count * row->item);
  e.block = {block, block + (size_t)count * row->item};
  for (int c = 0; row->id == VELTA_T_FIGURE && c < count; ++c)
    e.notes.push_back(velta_canvas_pins((const VlpCanvas *)block + c, ((const VlpCanvas *)block)[c]));
}

/* The pinned fields hold what they may; with restore (a release that
 * cannot be refused) what they held is put back instead. */
int velta_holds(const VeltaNote &n, int restore) {
  for (const VeltaPin &p : n.pins) {
    const intptr_t now = velta_word(p.at, p.wide);
    if (now >= p.lo && now <= p.hi)
      continue;
    if (!restore) {
      PyErr_Format(PyExc_ValueError, "the %s no longer fits its storage: %s was changed through its fields", n.what,
                   p.detail);
      return -1;
    }
    if (p.wide)
      memcpy((void *)p.at, &p.hi, sizeof p.hi);
    else
      *(int *)p.at = (int)p.hi;
  }
  return 0;
}

int velta_entry_holds(const VeltaEntry &e, int restore) {
  for (const VeltaNote &n : e.notes)
    if (velta_holds(n, restore) < 0)
      return -1;
  return 0;
}

/* f on every range the record owns until f says done. */
template <typename F>
bool velta_each_range(const VeltaEntry &e, F f) {
  for (const VeltaNote &n : e.notes)
    for (const VeltaRange &r : n.ranges)
      if (f(r))
        return true;
  return false;
}

/* The bytes from addr to the end of the entry's storage that holds it, or 0. */
size_t velta_room_in(uintptr_t addr, const VeltaEntry &e) {
  size_t room = 0;
  velta_each_range(e, [&](VeltaRange r) { return addr >= r.begin && addr < r.end && (room = r.end - addr); });
  return room;
}

/* The listed entry whose storage holds addr (the record just below addr
 * tried first), or the end of the table. */
std::map<uintptr_t, VeltaEntry>::iterator velta_owner_of(uintptr_t addr) {
  std::map<uintptr_t, VeltaEntry> &entries = velta_entries();
  auto below = entries.upper_bound(addr);
  if (below != entries.begin() && (--below)->second.row && velta_room_in(addr, below->second))
    return below;
  for (auto it = entries.begin(); it != entries.end(); ++it)
    if (it->second.row && velta_room_in(addr, it->second))
      return it;
  return entries.end();
}

/* The note of a canvas, in its own entry or its figure's; null if none. */
VeltaNote *velta_canvas_note_of(const VlpCanvas *can) {
  auto it = velta_entries().find((uintptr_t)can);
  if (it == velta_entries().end() || !it->second.row)
    it = velta_owner_of((uintptr_t)can);
  for (size_t i = 1; it != velta_entries().end() && i < it->second.notes.size(); ++i)
    if (it->second.notes[i].rec == (uintptr_t)can)
      return &it->second.notes[i];
  return 0;
}

void velta_lease_returned(PyObject *lease);
const char kLease[] = "velta.lease";
}  // namespace

/* ---- listing ---- */

int velta_ledger_list(const void *record, swig_type_info *ty) {
  const VeltaType *row = velta_type_row(ty);
  if (!row)
    return 0;
  VeltaEntry &e = velta_entries()[(uintptr_t)record];
  if (e.row != row) {
    e.row = row;
    velta_note((uintptr_t)record, e);
  }
  if (!e.own_next)
    return 0;
  e.own_next = false;
  e.maker = 0;
  return 1;
}

VeltaLedgerView velta_ledger_find(const void *record) {
  const VeltaEntry *e = velta_entry_of(record);
  return e ? VeltaLedgerView{e->row, e->maker, e->lent, e->block} : VeltaLedgerView{0, 0, 0, {0, 0}};
}

int velta_made_by(const void *record, const char *entry) {
  if (record) {
    VeltaEntry &e = velta_entries()[(uintptr_t)record];
    e.maker = entry;
    e.own_next = velta_owning() != 0;
  }
  return 0;
}

/* Ownership is taken only of a listed record of the object's own type. */
int velta_may_own(const SwigPyObject *sobj) {
  if (!sobj->ptr) {
    PyErr_Format(PyExc_ValueError, "the %s was released", velta_type_name(sobj->ty));
    return -1;
  }
  VeltaEntry *e = velta_entry_of(sobj->ptr);
  if (e && e->row && e->row == velta_type_row(sobj->ty)) {
    e->maker = 0;
    return 0;
  }
  PyErr_Format(PyExc_ValueError, "the %s lives inside another record: it cannot be owned", velta_type_name(sobj->ty));
  return -1;
}

void velta_record_refresh(const void *record) {
  VeltaEntry *e = velta_entry_of(record);
  if (e && e->row)
    velta_note((uintptr_t)record, *e);
}

const void *velta_ledger_owner(const void *addr, const VeltaType **row) {
  auto owner = velta_owner_of((uintptr_t)addr);
  if (owner == velta_entries().end())
    return 0;
  *row = owner->second.row;
  return (const void *)owner->first;
}

/* ---- what records lend ---- */

int velta_export_check(const void *record) {
  const VeltaEntry *e = velta_entry_of(record);
  if (!record || !e)
    return 0;
  if (e->lent > 0) {
    PyErr_SetString(PyExc_BufferError,
                    "the elements are in use by a NumPy view, an iterator or a figure: "
                    "the record cannot be resized or released");
    return -1;
  }
  return velta_call_check(e->block.begin, e->block.end, e->row ? e->row->name : "record");
}

PyObject *velta_lend(const void *record, PyObject *obj, int keep_obj) {
  /* The pointer object the call resolved (a proxy's `this` may change). */
  PyObject *holder = velta_call_holder(record);
  PyObject *kept = !holder ? (Py_INCREF(obj), obj)
                   : keep_obj && obj != holder ? PyTuple_Pack(2, obj, holder)
                                               : (Py_INCREF(holder), holder);
  PyObject *lease = kept ? PyCapsule_New((void *)record, kLease, velta_lease_returned) : NULL;
  if (!lease || PyCapsule_SetContext(lease, kept) < 0) {
    Py_XDECREF(kept);
    Py_XDECREF(lease);
    return NULL;
  }
  ++velta_entries()[(uintptr_t)record].lent;
  return lease;
}

namespace {
/* The record a lease was given for, or null. */
const void *velta_lease_record(PyObject *lease) {
  return lease && PyCapsule_IsValid(lease, kLease) ? PyCapsule_GetPointer(lease, kLease) : 0;
}

void velta_lease_returned(PyObject *lease) {
  auto it = velta_entries().find((uintptr_t)PyCapsule_GetPointer(lease, kLease));
  if (it != velta_entries().end() && it->second.lent > 0 && --it->second.lent == 0 && !it->second.row)
    velta_entries().erase(it);
  Py_XDECREF((PyObject *)PyCapsule_GetContext(lease));
}
}  // namespace

/* ---- what records hold ---- */

int velta_hold(const void *record, swig_type_info *ty, size_t key, PyObject *obj) {
  VeltaEntry *e = velta_entry_of(record);
  if (!e || !e->row) {
    if (!obj || !ty)
      return 0;
    velta_ledger_list(record, ty);
    e = velta_entry_of(record);
  }
  PyObject *old = 0;
  for (auto it = e->held.begin(); key != VELTA_HOLD_DRAWN && it != e->held.end(); ++it)
    if (it->first == key) {
      old = it->second;
      e->held.erase(it);
      break;
    }
  if (obj) {
    Py_INCREF(obj);
    e->held.push_back({key, obj});
  }
  Py_XDECREF(old);
  return 0;
}

/* The object held on record under key (borrowed), or null. */
static PyObject *velta_held(const void *record, size_t key) {
  VeltaEntry *e = velta_entry_of(record);
  for (size_t i = 0; e && i < e->held.size(); ++i)
    if (e->held[i].first == key)
      return e->held[i].second;
  return 0;
}

/* A pointer object stored into a field: the record keeps it alive. */
void velta_field_stored(const void *record, const void *field, PyObject *value) {
  VeltaEntry *e = velta_entry_of(record);
  if (record && e && e->row)
    velta_hold(record, 0, (uintptr_t)field - (uintptr_t)record, value == Py_None ? 0 : value);
}

/* ---- iterators ----
 * An iterator's entry holds a lease of the record it walks, and the block
 * walked, until its last element is delivered or it is released. */
void velta_iter_attach(struct s_iter *it, const void *record, PyObject *owner) {
  if (it->len <= 0)
    return;
  PyObject *lease = velta_lend(record, owner, 0);
  if (!lease) {
    PyErr_Clear();
    return;
  }
  velta_hold(it, velta_type(VELTA_T_ITER), VELTA_HOLD_SOURCE, lease);
  Py_DECREF(lease);
  velta_entry_of(it)->walk = {(uintptr_t)it->ptr, (uintptr_t)(it->ptr + it->len)};
}

void velta_iter_detach(const struct s_iter *it) {
  velta_hold(it, 0, VELTA_HOLD_SOURCE, 0);
}

/* An iterator about to step stays inside the block it walks; one walking
 * no listed record delivers nothing more. */
int velta_iter_fits(const struct s_iter *it) {
  if (it->len <= 0)
    return 0;
  const VeltaEntry *e = velta_entry_of(it);
  const void *source = e ? velta_lease_record(velta_held(it, VELTA_HOLD_SOURCE)) : 0;
  const VeltaEntry *walked = source ? velta_entry_of(source) : 0;
  if (walked && velta_entry_holds(*walked, 0) == 0) {
    const double *begin = (const double *)e->walk.begin, *end = (const double *)e->walk.end;
    if (it->ptr >= begin && it->ptr <= end && it->len <= end - it->ptr)
      return 0;
  }
  PyErr_Clear();
  PyErr_SetString(PyExc_ValueError, "the iterator no longer fits the block it walks: its ptr or len was changed");
  return -1;
}

/* ---- the fields of records in use ---- */

/* After the binding added a series or replaced a palette (a canvas with
 * no note is listed). */
void velta_canvas_note(const VlpCanvas *can) {
  VeltaNote *n = velta_canvas_note_of(can);
  if (n)
    *n = velta_canvas_pins(can, *can);
  else
    velta_ledger_list(can, velta_type(VELTA_T_CANVAS));
}

int velta_canvas_fits(const VlpCanvas *can) {
  const VeltaNote *n = velta_canvas_note_of(can);
  return velta_holds(n ? *n : velta_canvas_pins(can, VlpCanvas()), 0);
}

int velta_record_fits(const void *record) {
  const VeltaEntry *e = record ? velta_entry_of(record) : 0;
  return e && e->row ? velta_entry_holds(*e, 0) : 0;
}

/* A record an entry is about to use (not by a field accessor, which reads
 * only the record, nor by a release) still fits its storage. */
int velta_in_use(const void *record, swig_type_info *ty) {
  if (!record)
    return 0;
  if (ty == velta_type(VELTA_T_CANVAS))
    return velta_canvas_fits((const VlpCanvas *)record);
  if (ty == velta_type(VELTA_T_ITER))
    return velta_iter_fits((const struct s_iter *)record);
  return velta_record_fits(record);
}

/* ---- release ---- */

int velta_ledger_take(const void *record, swig_type_info *ty, int dying, std::vector<VeltaRange> &ranges,
                      std::vector<PyObject *> &held) {
  if (velta_export_check(record) < 0)
    return -1;
  std::map<uintptr_t, VeltaEntry> &entries = velta_entries();
  auto it = entries.find((uintptr_t)record);
  if (it == entries.end() || !it->second.row) {
    auto owner = velta_owner_of((uintptr_t)record);
    if (owner != entries.end()) {
      PyErr_Format(PyExc_ValueError, "the %s lives inside a %s and is released with it", velta_type_name(ty),
                   owner->second.row->name);
      return -1;
    }
    /* Not handed out by the binding: released as it is. */
    uintptr_t begin = (uintptr_t)record;
    return velta_call_check(begin, begin + velta_record_bytes(ty), velta_type_name(ty));
  }
  VeltaEntry &e = it->second;
  /* The library frees what the fields hold: what it made (given back to a
   * record being collected, or a stand-alone canvas, freed alone). */
  if (velta_entry_holds(e, dying || e.row->id == VELTA_T_CANVAS) < 0)
    return -1;
  velta_each_range(e, [&](VeltaRange r) { return ranges.push_back(r), false; });
  for (const VeltaRange &r : ranges)
    if (velta_call_check(r.begin, r.end, e.row->name) < 0)
      return -1;
  for (auto &h : e.held)
    held.push_back(h.second);
  entries.erase(it);
  return 1;
}

size_t velta_room(const void *ptr) {
  auto owner = velta_owner_of((uintptr_t)ptr);
  return owner == velta_entries().end() ? 0 : velta_room_in((uintptr_t)ptr, owner->second);
}
