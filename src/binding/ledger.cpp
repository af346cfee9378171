/* The ledger: one entry per live record the binding knows, and everything
 * about that record's life in that one entry.
 *
 * A record is listed when the binding hands it out as a whole: every result
 * of a type whose row says so (vectors, matrices, figures) and the records
 * of the other types that Python owns (made by a constructor). Its entry
 * keeps
 *   - what its storage is, as the library allocated it: the element block
 *     and its capacity (the count fields are writable and prove nothing),
 *     and for a figure's canvases or a stand-alone canvas the series arrays
 *     and palettes the binding saw the library make;
 *   - what it lends: a count of the leases out (NumPy views, unfinished
 *     iterators, figures drawing it), each a capsule returned on its death;
 *   - what it holds: objects stored into its fields, the leases of the
 *     records a figure or canvas draws, an iterator's source;
 *   - who made it, for the warning about an unowned result left behind.
 * A record with leases out cannot be grown or released; a released record's
 * entry goes, and what it held goes after it. Nothing here runs per element. */
#include "ledger.h"

#include <string.h>

#include <map>
#include <utility>
#include <vector>

namespace {
/* The series arrays of one canvas as the library allocated them. */
struct VeltaSeriesNote {
  int count = 0;
  const void *arrays[VLP_SERIES_ARRAY_COUNT] = {};
  std::vector<std::pair<const VlmColor *, int>> palettes; /* each series' palette and its entries */
};

struct VeltaEntry {
  const VeltaType *row = 0;     /* null: lent out only (a record listed nowhere else) */
  VeltaRange block = {0, 0};    /* the element block as allocated */
  VeltaRange walk = {0, 0};     /* an iterator: the block it walks */
  Py_ssize_t lent = 0;
  const char *maker = 0;        /* the entry that made it and handed it out unowned */
  bool own_next = false;        /* its next object owns it (owned results) */
  std::vector<std::pair<size_t, PyObject *>> held;
  std::vector<VeltaSeriesNote> canvases; /* a figure's, one per canvas; a canvas's own */
};

std::map<uintptr_t, VeltaEntry> &velta_entries(void) {
  static std::map<uintptr_t, VeltaEntry> *entries = new std::map<uintptr_t, VeltaEntry>();
  return *entries;
}

VeltaEntry *velta_entry_of(const void *record) {
  auto it = velta_entries().find((uintptr_t)record);
  return it == velta_entries().end() ? 0 : &it->second;
}

const size_t kSeriesItem[VLP_SERIES_ARRAY_COUNT] = {
#define VELTA_ITEM(field, type) sizeof(type),
    VLP_SERIES_ARRAYS(VELTA_ITEM)
#undef VELTA_ITEM
};

void velta_series_now(const VlpCanvas *can, VeltaSeriesNote &out) {
  const void *arrays[VLP_SERIES_ARRAY_COUNT] = {
#define VELTA_ARRAY(field, type) can->field,
      VLP_SERIES_ARRAYS(VELTA_ARRAY)
#undef VELTA_ARRAY
  };
  out.count = can->numOfVec;
  memcpy(out.arrays, arrays, sizeof arrays);
}

void velta_series_restore(VlpCanvas *can, const VeltaSeriesNote &note) {
  int i = 0;
  can->numOfVec = note.count;
#define VELTA_RESTORE(field, type) can->field = (type *)note.arrays[i++];
  VLP_SERIES_ARRAYS(VELTA_RESTORE)
#undef VELTA_RESTORE
}

/* Calls f with every range of storage the entry's record owns (the record
 * itself, its block as allocated, its canvases' series arrays and palettes)
 * until f says it is done; gives whether it did. */
template <typename F>
bool velta_each_range(uintptr_t addr, const VeltaEntry &e, F f) {
  if (f(VeltaRange{addr, addr + e.row->bytes}) || (e.block.begin && f(e.block)))
    return true;
  for (const VeltaSeriesNote &note : e.canvases) {
    size_t n = note.count > 0 ? (size_t)note.count : 0;
    for (int i = 0; i < VLP_SERIES_ARRAY_COUNT; ++i)
      if (note.arrays[i] && f(VeltaRange{(uintptr_t)note.arrays[i], (uintptr_t)note.arrays[i] + n * kSeriesItem[i]}))
        return true;
    for (const auto &pal : note.palettes)
      if (pal.first && f(VeltaRange{(uintptr_t)pal.first, (uintptr_t)pal.first + (size_t)pal.second * sizeof(VlmColor)}))
        return true;
  }
  return false;
}

/* The bytes from addr to the end of the entry's storage that holds it, or 0. */
size_t velta_room_in(uintptr_t addr, uintptr_t rec, const VeltaEntry &e) {
  size_t room = 0;
  velta_each_range(rec, e, [&](VeltaRange r) { return addr >= r.begin && addr < r.end && (room = r.end - addr); });
  return room;
}

/* The listed entry whose storage holds addr, or the end of the table: the
 * record just below addr first (a pointer into a record), then every one. */
std::map<uintptr_t, VeltaEntry>::iterator velta_owner_of(uintptr_t addr) {
  std::map<uintptr_t, VeltaEntry> &entries = velta_entries();
  auto below = entries.upper_bound(addr);
  if (below != entries.begin() && (--below)->second.row && velta_room_in(addr, below->first, below->second))
    return below;
  for (auto it = entries.begin(); it != entries.end(); ++it)
    if (it->second.row && velta_room_in(addr, it->first, it->second))
      return it;
  return entries.end();
}

/* The note of a canvas: its own entry's, or its figure's for the canvas at
 * its place in the figure's block; null if the ledger has none. */
VeltaSeriesNote *velta_note_of(const VlpCanvas *can) {
  VeltaEntry *own = velta_entry_of(can);
  if (own && own->row && own->row->id == VELTA_T_CANVAS)
    return own->canvases.empty() ? 0 : &own->canvases[0];
  auto owner = velta_owner_of((uintptr_t)can);
  if (owner == velta_entries().end() || owner->second.row->id != VELTA_T_FIGURE)
    return 0;
  const VeltaEntry &fig = owner->second;
  uintptr_t at = (uintptr_t)can - fig.block.begin;
  if ((uintptr_t)can < fig.block.begin || at % sizeof(VlpCanvas) != 0 || at / sizeof(VlpCanvas) >= fig.canvases.size())
    return 0;
  return &owner->second.canvases[at / sizeof(VlpCanvas)];
}

int velta_misfit(const char *what, const char *detail) {
  PyErr_Format(PyExc_ValueError, "the %s no longer fits its storage: %s was changed through its fields", what,
               detail);
  return -1;
}

/* The canvas's series count and arrays are those the library allocated,
 * and no palette claims more entries than it holds. With restore (the
 * record is being collected) the allocated ones are put back instead. */
int velta_canvas_check(VlpCanvas *can, const VeltaSeriesNote *noted, int restore) {
  static const VeltaSeriesNote none;
  const VeltaSeriesNote &note = noted ? *noted : none;
  VeltaSeriesNote now;
  velta_series_now(can, now);
  if (now.count != note.count || memcmp(now.arrays, note.arrays, sizeof now.arrays) != 0) {
    if (!restore)
      return velta_misfit("VlpCanvas", "its series count or a series array");
    velta_series_restore(can, note);
  }
  for (int i = 0; i < note.count && can->p_r_color_pallete; ++i) {
    VlmColor *pal = can->p_r_color_pallete[i];
    const auto &was = note.palettes[i];
    if (pal != was.first || (pal && pal->size > 1 && pal->size > was.second)) {
      if (!restore)
        return velta_misfit("VlpCanvas", "a palette or its entry count");
      can->p_r_color_pallete[i] = (VlmColor *)was.first;
      if (was.first)
        ((VlmColor *)was.first)->size = was.second;
    }
  }
  return 0;
}

/* The fields of a listed record still describe its storage: the block field
 * is the block it was made with and its count does not pass the capacity;
 * a figure's canvases are checked (or restored) by their notes. */
int velta_entry_fits(const void *record, const VeltaEntry &e, int restore) {
  const VeltaRange now = velta_block_now(record, e.row);
  if (!restore && now.begin != e.block.begin)
    return velta_misfit(e.row->name, "its element block");
  if (!restore && now.end - now.begin > e.block.end - e.block.begin)
    return velta_misfit(e.row->name, "its element count");
  /* (A stand-alone canvas's destructor frees the record alone.) */
  VlpCanvas *canvases = e.row->id == VELTA_T_FIGURE ? (VlpCanvas *)e.block.begin : 0;
  for (size_t c = 0; canvases && c < e.canvases.size(); ++c)
    if (velta_canvas_check(&canvases[c], &e.canvases[c], restore) < 0)
      return -1;
  return 0;
}

/* The block a record has when the library made or grew it (a negative
 * count there means none). */
VeltaRange velta_block_allocated(const void *record, const VeltaType *row) {
  VeltaRange block = velta_block_now(record, row);
  if (block.end == UINTPTR_MAX)
    block.end = block.begin;
  return block;
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
  /* Handed out again, the ledger knows it better than its fields. */
  if (e.row != row) {
    e.row = row;
    e.block = velta_block_allocated(record, row);
    if (row->id == VELTA_T_FIGURE)
      e.canvases.assign((e.block.end - e.block.begin) / sizeof(VlpCanvas), VeltaSeriesNote());
    else if (row->id == VELTA_T_CANVAS)
      e.canvases.assign(1, VeltaSeriesNote());
  }
  if (!e.own_next)
    return 0;
  e.own_next = false;
  e.maker = 0;
  return 1;
}

VeltaLedgerView velta_ledger_find(const void *record) {
  const VeltaEntry *e = velta_entry_of(record);
  return e ? VeltaLedgerView{e->row, e->maker, e->lent} : VeltaLedgerView{0, 0, 0};
}

/* An entry made the record and hands it out unowned: noted for the leak
 * warning, and, while this thread asks for owned results, its next object
 * owns it. */
int velta_made_by(const void *record, const char *entry) {
  if (record) {
    VeltaEntry &e = velta_entries()[(uintptr_t)record];
    e.maker = entry;
    e.own_next = velta_owning() != 0;
  }
  return 0;
}

/* Taking ownership: only of a listed record of the object's own type. */
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

/* A record grown or refilled by the library: its block is what it is now. */
void velta_record_refresh(const void *record) {
  VeltaEntry *e = velta_entry_of(record);
  if (e && e->row)
    e->block = velta_block_allocated(record, e->row);
}

VeltaRange velta_ledger_block(const void *record) {
  VeltaEntry *e = velta_entry_of(record);
  return e ? e->block : VeltaRange{0, 0};
}

const void *velta_ledger_owner(const void *addr, const VeltaType **row) {
  auto owner = velta_owner_of((uintptr_t)addr);
  if (owner == velta_entries().end())
    return 0;
  *row = owner->second.row;
  return (const void *)owner->first;
}

/* ---- what records lend ---- */

/* Fails with BufferError while the block is lent out or a running call
 * other than this one pins an address in it. */
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
  /* The pointer object the running call resolved rather than a proxy,
   * whose `this` may be replaced; a figure keeps the object it was given
   * too. */
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

const void *velta_lease_record(PyObject *lease) {
  return lease && PyCapsule_IsValid(lease, kLease) ? PyCapsule_GetPointer(lease, kLease) : 0;
}

namespace {
void velta_lease_returned(PyObject *lease) {
  const void *record = PyCapsule_GetPointer(lease, kLease);
  PyObject *holder = (PyObject *)PyCapsule_GetContext(lease);
  auto it = velta_entries().find((uintptr_t)record);
  if (it != velta_entries().end() && it->second.lent > 0 && --it->second.lent == 0 && !it->second.row)
    velta_entries().erase(it);
  Py_XDECREF(holder);
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
  if (key != VELTA_HOLD_DRAWN) {
    for (auto it = e->held.begin(); it != e->held.end(); ++it)
      if (it->first == key) {
        old = it->second;
        e->held.erase(it);
        break;
      }
  }
  if (obj) {
    Py_INCREF(obj);
    e->held.push_back({key, obj});
  }
  Py_XDECREF(old);
  return 0;
}

PyObject *velta_held(const void *record, size_t key) {
  VeltaEntry *e = velta_entry_of(record);
  for (size_t i = 0; e && i < e->held.size(); ++i)
    if (e->held[i].first == key)
      return e->held[i].second;
  return 0;
}

/* A pointer object stored into a field of a listed record: the record
 * keeps it (and so the record it points into) alive while it may use it. */
void velta_field_stored(const void *record, const void *field, PyObject *value) {
  VeltaEntry *e = velta_entry_of(record);
  if (record && e && e->row)
    velta_hold(record, 0, (uintptr_t)field - (uintptr_t)record, value == Py_None ? 0 : value);
}

/* ---- iterators ----
 * An iterator's entry holds a lease of the record it walks and the block it
 * walks, until it has delivered its last element or is released. */
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

/* An iterator about to step: its cursor and count stay inside the block of
 * the record it walks (its fields are writable). An iterator walking no
 * listed record delivers nothing more. */
int velta_iter_fits(const struct s_iter *it) {
  if (it->len <= 0)
    return 0;
  const VeltaEntry *e = velta_entry_of(it);
  const void *source = e ? velta_lease_record(velta_held(it, VELTA_HOLD_SOURCE)) : 0;
  const VeltaEntry *walked = source ? velta_entry_of(source) : 0;
  if (walked && (!walked->row || velta_entry_fits(source, *walked, 0) == 0)) {
    const double *begin = (const double *)e->walk.begin, *end = (const double *)e->walk.end;
    if (it->ptr >= begin && it->ptr <= end && it->len <= end - it->ptr)
      return 0;
  }
  PyErr_Clear();
  PyErr_SetString(PyExc_ValueError, "the iterator no longer fits the block it walks: its ptr or len was changed");
  return -1;
}

/* ---- canvases ---- */

/* After the binding added a series or replaced a palette: a canvas the
 * ledger has no note of gets an entry of its own. */
void velta_canvas_note(const VlpCanvas *can) {
  VeltaSeriesNote *note = velta_note_of(can);
  if (!note) {
    velta_ledger_list(can, velta_type(VELTA_T_CANVAS));
    note = &velta_entry_of(can)->canvases[0];
  }
  velta_series_now(can, *note);
  note->palettes.assign(note->count, {0, 0});
  for (int i = 0; can->p_r_color_pallete && i < note->count; ++i) {
    const VlmColor *pal = can->p_r_color_pallete[i];
    note->palettes[i] = {pal, pal ? (pal->size > 1 ? pal->size : 1) : 0};
  }
}

int velta_canvas_fits(const VlpCanvas *can) {
  return velta_canvas_check((VlpCanvas *)can, velta_note_of(can), 0);
}

/* ---- the fields of records in use ---- */

/* A listed record: its fields still describe its storage. */
int velta_record_fits(const void *record) {
  const VeltaEntry *e = record ? velta_entry_of(record) : 0;
  return e && e->row ? velta_entry_fits(record, *e, 0) : 0;
}

/* A record an entry is about to use (not a field accessor, which reads
 * only the record itself, nor a release): its fields describe its storage. */
int velta_in_use(const void *record, swig_type_info *ty) {
  if (!record)
    return 0;
  const VeltaType *row = velta_type_row(ty);
  if (row && row->id == VELTA_T_CANVAS)
    return velta_canvas_fits((const VlpCanvas *)record);
  if (row && row->id == VELTA_T_ITER)
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
  /* Collected or not, the library frees what the fields hold: they must be
   * what it allocated (a record being collected gets it back). */
  if (velta_entry_fits(record, e, dying) < 0)
    return -1;
  velta_each_range(it->first, e, [&](VeltaRange r) { return ranges.push_back(r), false; });
  for (const VeltaRange &r : ranges)
    if (velta_call_check(r.begin, r.end, e.row->name) < 0)
      return -1;
  if (dying)
    velta_block_restore((void *)record, e.row, e.block);
  for (auto &h : e.held)
    held.push_back(h.second);
  entries.erase(it);
  return 1;
}

/* The bytes from ptr to the end of the listed storage that holds it; 0
 * when no listed record's storage holds it. */
size_t velta_room(const void *ptr) {
  auto owner = velta_owner_of((uintptr_t)ptr);
  return owner == velta_entries().end() ? 0 : velta_room_in((uintptr_t)ptr, owner->first, owner->second);
}
