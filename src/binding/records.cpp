/* The table of the records the binding knows, and the pointer objects that
 * refer to them or into them.
 *
 * A record is listed when the binding hands it out as a whole: every vector,
 * matrix and figure result, and the records of the other types that Python
 * owns (made by a constructor). Each entry keeps the record's element block
 * and that block's capacity as the library allocated it (the count fields
 * are writable and prove nothing), and the number of exports of the block:
 * NumPy views, unfinished iterators and the figures that draw the record.
 *
 * Every pointer object is indexed by the address it carries, from its
 * creation to its death. The invariant: that address is either null or
 * points at live storage. Before a record's storage goes or moves, every
 * pointer object into it is cleared to null, and a later use of a cleared
 * object is refused with one message. Everything here runs at creation,
 * release, move and export time, never per element. */
#include "binding.h"

#include <stdint.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

namespace {
struct VeltaRecord {
  swig_type_info *type;  /* null: only exports noted (a record made outside the binding) */
  const void *block;     /* the element block the library allocated */
  size_t capacity;       /* its bytes */
  Py_ssize_t exports;
  std::map<size_t, PyObject *> held; /* pointer objects stored into its fields, by offset */
  const char *maker;                 /* the entry that made it and handed it out unowned, or null */
};

std::map<uintptr_t, VeltaRecord> &velta_records(void) {
  static std::map<uintptr_t, VeltaRecord> *records = new std::map<uintptr_t, VeltaRecord>();
  return *records;
}

/* Pointer objects by the address they carry (borrowed: each removes itself
 * when it dies or is cleared). */
std::multimap<uintptr_t, SwigPyObject *> &velta_pointers(void) {
  static std::multimap<uintptr_t, SwigPyObject *> *pointers = new std::multimap<uintptr_t, SwigPyObject *>();
  return *pointers;
}

swig_type_info *velta_type(const char *mangled) {
  return SWIG_MangledTypeQueryModule(velta_rt.module, velta_rt.module, mangled);
}

std::string velta_type_name(swig_type_info *ty);

struct VeltaTypes {
  swig_type_info *vector, *matrix, *figure, *canvas, *color, *iter;
};
const VeltaTypes &velta_types(void) {
  static VeltaTypes types = {velta_type("_p_s_vector"), velta_type("_p_s_matrix"), velta_type("_p_s_figure"),
                             velta_type("_p_s_canvas"), velta_type("_p_s_color"), velta_type("_p_s_iter")};
  return types;
}

/* The bytes of one record of the type (the records the binding wraps). */
size_t velta_record_bytes(swig_type_info *ty) {
  static const struct {
    const char *mangled;
    size_t bytes;
  } sizes[] = {
    {"_p_s_vector", sizeof(VlmVector)},          {"_p_s_matrix", sizeof(VlmMatrix)},
    {"_p_s_figure", sizeof(VlpFigure)},          {"_p_s_canvas", sizeof(VlpCanvas)},
    {"_p_s_color", sizeof(VlmColor)},            {"_p_s_iter", sizeof(struct s_iter)},
    {"_p_s_slice", sizeof(VlmSlice)},            {"_p_s_plot_data", sizeof(VlmPlotData)},
    {"_p_s_coord_double", sizeof(VlmCoordDouble)}, {"_p_s_coord_int", sizeof(VlmCoordInt)},
  };
  for (const auto &entry : sizes)
    if (ty && strcmp(ty->name, entry.mangled) == 0)
      return entry.bytes;
  return 0;
}

/* The element block of a record as its fields give it now (a negative
 * count claims more than any block holds). */
void velta_block_now(const void *rec, swig_type_info *ty, const void **block, size_t *bytes) {
  const VeltaTypes &t = velta_types();
  *block = 0;
  *bytes = 0;
  if (ty == t.vector) {
    const VlmVector *v = (const VlmVector *)rec;
    *block = v->p_r_nums;
    *bytes = v->size >= 0 ? (size_t)v->size * sizeof(double) : SIZE_MAX;
  } else if (ty == t.matrix) {
    const VlmMatrix *m = (const VlmMatrix *)rec;
    *block = m->p_r_nums;
    *bytes = m->size >= 0 ? (size_t)m->size * sizeof(double) : SIZE_MAX;
  } else if (ty == t.figure) {
    const VlpFigure *f = (const VlpFigure *)rec;
    *block = f->p_r_canvas;
    *bytes = f->size >= 0 ? (size_t)f->size * sizeof(VlpCanvas) : SIZE_MAX;
  }
}

/* A record being collected gets back the block it was made with, so that
 * its release frees what the library allocated for it. */
void velta_block_restore(const void *rec, swig_type_info *ty, const void *block, size_t bytes) {
  const VeltaTypes &t = velta_types();
  if (ty == t.vector) {
    ((VlmVector *)rec)->p_r_nums = (double *)block;
  } else if (ty == t.matrix) {
    ((VlmMatrix *)rec)->p_r_nums = (double *)block;
  } else if (ty == t.figure) {
    ((VlpFigure *)rec)->p_r_canvas = (VlpCanvas *)block;
    ((VlpFigure *)rec)->size = (int)(bytes / sizeof(VlpCanvas));
  }
}

struct VeltaRange {
  uintptr_t begin, end;
};

void velta_canvas_ranges(const VlpCanvas *can, std::vector<VeltaRange> &out);
/* Every range of storage that the listed record owns: the record itself,
 * its block as allocated, and for figures and canvases the arrays inside. */
void velta_storage(uintptr_t addr, const VeltaRecord &rec, std::vector<VeltaRange> &out) {
  const VeltaTypes &t = velta_types();
  out.push_back({addr, addr + velta_record_bytes(rec.type)});
  if (rec.block)
    out.push_back({(uintptr_t)rec.block, (uintptr_t)rec.block + rec.capacity});
  if (rec.type == t.figure) {
    const VlpCanvas *canvases = (const VlpCanvas *)rec.block;
    for (size_t c = 0; canvases && c < rec.capacity / sizeof(VlpCanvas); ++c)
      velta_canvas_ranges(&canvases[c], out);
  } else if (rec.type == t.canvas) {
    velta_canvas_ranges((const VlpCanvas *)addr, out);
  }
}

/* Clears to null, in balance, every pointer object into [begin, end). */
void velta_clear_range(uintptr_t begin, uintptr_t end) {
  std::multimap<uintptr_t, SwigPyObject *> &pointers = velta_pointers();
  if (begin >= end)
    return;
  auto first = pointers.lower_bound(begin), last = pointers.lower_bound(end);
  std::vector<SwigPyObject *> cleared;
  for (auto it = first; it != last; ++it)
    cleared.push_back(it->second);
  pointers.erase(first, last);
  for (SwigPyObject *sobj : cleared) {
    sobj->ptr = 0;
    velta_disown_object((PyObject *)sobj);
  }
}

/* The listed record whose storage holds addr, or the end of the table. */
std::map<uintptr_t, VeltaRecord>::iterator velta_owner_of(uintptr_t addr) {
  std::map<uintptr_t, VeltaRecord> &records = velta_records();
  std::vector<VeltaRange> ranges;
  for (auto it = records.begin(); it != records.end(); ++it) {
    if (!it->second.type)
      continue;
    ranges.clear();
    velta_storage(it->first, it->second, ranges);
    for (const VeltaRange &r : ranges)
      if (addr >= r.begin && addr < r.end)
        return it;
  }
  return records.end();
}

/* The series arrays of every canvas the binding added a series to, as the
 * library allocated them: their count, the arrays and each palette's
 * entries. A canvas not listed has none. */
struct VeltaSeries {
  int count;
  const void *arrays[9];
  std::vector<const VlmColor *> palettes;
  std::vector<int> palette_sizes;
};
std::map<uintptr_t, VeltaSeries> &velta_series(void) {
  static std::map<uintptr_t, VeltaSeries> *series = new std::map<uintptr_t, VeltaSeries>();
  return *series;
}

void velta_series_now(const VlpCanvas *can, VeltaSeries &out) {
  const void *arrays[9] = {can->p_r_type,    can->p_r_linewidth, can->p_r_radius,
                           can->p_r_vecx,    can->p_r_vecy,      can->p_r_mat,
                           can->p_r_color,   can->p_r_color_outside, can->p_r_color_pallete};
  out.count = can->numOfVec;
  memcpy(out.arrays, arrays, sizeof arrays);
}

/* The arrays a canvas owns, as noted (its fields may say anything). */
void velta_canvas_ranges(const VlpCanvas *can, std::vector<VeltaRange> &out) {
  auto it = velta_series().find((uintptr_t)can);
  if (it == velta_series().end())
    return;
  const VeltaSeries &note = it->second;
  size_t n = note.count > 0 ? (size_t)note.count : 0;
  const size_t element[9] = {sizeof(int), sizeof(int), sizeof(int), sizeof(void *), sizeof(void *),
                             sizeof(void *), sizeof(VlmColor), sizeof(VlmColor), sizeof(void *)};
  for (int i = 0; i < 9; ++i)
    if (note.arrays[i])
      out.push_back({(uintptr_t)note.arrays[i], (uintptr_t)note.arrays[i] + n * element[i]});
  for (size_t i = 0; i < note.palettes.size(); ++i)
    if (note.palettes[i])
      out.push_back({(uintptr_t)note.palettes[i],
                     (uintptr_t)note.palettes[i] + (size_t)note.palette_sizes[i] * sizeof(VlmColor)});
}

/* Parents that bare pointer objects keep alive (strong references). */
std::map<const SwigPyObject *, PyObject *> &velta_parents(void) {
  static std::map<const SwigPyObject *, PyObject *> *parents = new std::map<const SwigPyObject *, PyObject *>();
  return *parents;
}

destructor velta_original_dealloc = 0;

/* The last object for an unowned record that an entry made goes away while
 * the record is allocated and nothing the binding knows holds it: Python's
 * warning for what is left unclosed. The record stays allocated. */
void velta_leak_warning(const SwigPyObject *sobj) {
  const VeltaTypes &t = velta_types();
  const char *release = sobj->ty == t.vector   ? "vlm_vector_delete"
                        : sobj->ty == t.matrix ? "vlm_matrix_delete"
                        : sobj->ty == t.figure ? "vlp_figure_delete"
                                               : 0;
  if (sobj->own == SWIG_POINTER_OWN || !release)
    return;
  auto it = velta_records().find((uintptr_t)sobj->ptr);
  if (it == velta_records().end() || !it->second.maker || it->second.exports > 0 || it->second.type != sobj->ty ||
      velta_pointers().count((uintptr_t)sobj->ptr) > 0)
    return;
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  if (PyErr_WarnFormat(PyExc_ResourceWarning, 1,
                       "unreleased %s made by %s: release it with %s or take ownership with "
                       ".this.acquire() (or thisown = True)",
                       velta_type_name(sobj->ty).c_str(), it->second.maker, release) < 0)
    PyErr_WriteUnraisable(NULL);
  PyErr_Restore(type, value, traceback);
}

void velta_pointer_dealloc(PyObject *v) {
  SwigPyObject *sobj = (SwigPyObject *)v;
  if (sobj->ptr) {
    std::multimap<uintptr_t, SwigPyObject *> &pointers = velta_pointers();
    auto range = pointers.equal_range((uintptr_t)sobj->ptr);
    for (auto it = range.first; it != range.second; ++it) {
      if (it->second == sobj) {
        pointers.erase(it);
        break;
      }
    }
  }
  PyObject *parent = 0;
  auto held = velta_parents().find(sobj);
  if (held != velta_parents().end()) {
    parent = held->second;
    velta_parents().erase(held);
  }
  if (sobj->ptr)
    velta_leak_warning(sobj);
  /* The objects appended to it go one after the other, not each inside the
   * last one's release: a long chain would overflow the stack. */
  PyObject *next = sobj->next;
  sobj->next = 0;
  velta_original_dealloc(v);
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

/* The class name of a record type: the second of its names, "VlmVector *"
 * of "struct s_vector *|VlmVector *|s_vector *". */
std::string velta_type_name(swig_type_info *ty) {
  std::string names = ty && ty->str ? ty->str : "record";
  std::string name = names.substr(names.rfind('|') + 1);
  for (size_t at = 0; at < names.size(); at = names.find('|', at) + 1) {
    if (names.compare(at, 2, "Vl") == 0) {
      name = names.substr(at, names.find('|', at) - at);
      break;
    }
    if (names.find('|', at) == std::string::npos)
      break;
  }
  if (name.size() > 2 && name.compare(name.size() - 2, 2, " *") == 0)
    name.resize(name.size() - 2);
  return name;
}
}  // namespace

/* Owned results on request, per thread: while on, the record an entry made
 * is noted here and its pointer object, the next one the wrapper makes, is
 * given ownership. */
static thread_local int velta_owning = 0;
static thread_local const void *velta_to_own = 0;

int velta_owned_results(int on) {
  int previous = velta_owning;
  velta_owning = on != 0;
  return previous;
}

/* Every pointer object the wrapper makes passes here. */
PyObject *velta_pointer_made(PyObject *obj) {
  SwigPyObject *sobj = obj ? velta_rt.get_this(obj) : 0;
  const void *to_own = velta_to_own;
  velta_to_own = 0;
  if (!sobj || !sobj->ptr)
    return obj;
  if (to_own == sobj->ptr)
    velta_own_object((PyObject *)sobj);
  uintptr_t addr = (uintptr_t)sobj->ptr;
  const VeltaTypes &t = velta_types();
  swig_type_info *ty = sobj->ty;
  /* Vector, matrix and figure results are whole records; of the other
   * types only what a constructor made (Python owns it). */
  int record = ty == t.vector || ty == t.matrix || ty == t.figure ||
               (sobj->own == SWIG_POINTER_OWN && velta_record_bytes(ty) > 0);
  auto listed = velta_records().find(addr);
  if (!record && velta_fields_written && ty != velta_rt.pchar() && velta_room(sobj->ptr) == 0) {
    /* Read from a field that was written: it points at no live storage. */
    sobj->ptr = 0;
    return obj;
  }
  velta_pointers().insert(std::make_pair(addr, sobj));
  if (listed != velta_records().end() && listed->second.type == ty)
    return obj; /* handed out again: the table knows it better than its fields */
  if (record) {
    VeltaRecord &rec = velta_records()[addr];
    rec.type = ty;
    velta_block_now(sobj->ptr, ty, &rec.block, &rec.capacity);
    if (rec.capacity == SIZE_MAX)
      rec.capacity = 0;
  }
  return obj;
}

/* A result that points into another record keeps that record's Python
 * object alive, as a view does: a canvas its figure, a colour or a limit its
 * canvas, a field's pointer its record. */
void velta_keep_parent(PyObject *result, PyObject *parent) {
  if (!result || result == Py_None || !parent || parent == Py_None || result == parent)
    return;
  if (Py_TYPE(result) == velta_rt.pointer_type) {
    PyObject *&slot = velta_parents()[(SwigPyObject *)result];
    Py_INCREF(parent);
    Py_XSETREF(slot, parent);
  } else if (PyObject_SetAttrString(result, "_velta_parent", parent) < 0) {
    PyErr_Clear();
  }
}

/* An entry made the record and hands it out unowned: noted for the leak
 * warning (owned results never warn), and to be owned by its object while
 * this thread asked for owned results. */
int velta_made_by(const void *record, const char *entry) {
  if (record) {
    velta_records()[(uintptr_t)record].maker = entry;
    if (velta_owning)
      velta_to_own = record;
  }
  return 0;
}

/* A record grown or refilled by the library: its block is what it is now. */
void velta_record_refresh(const void *record) {
  auto it = velta_records().find((uintptr_t)record);
  if (it != velta_records().end() && it->second.type) {
    velta_block_now(record, it->second.type, &it->second.block, &it->second.capacity);
    if (it->second.capacity == SIZE_MAX)
      it->second.capacity = 0;
  }
}

/* Before the library may move the record's block: every pointer object
 * into the old block is cleared. */
void velta_block_moving(const void *record) {
  auto it = velta_records().find((uintptr_t)record);
  if (it != velta_records().end() && it->second.block)
    velta_clear_range((uintptr_t)it->second.block, (uintptr_t)it->second.block + it->second.capacity);
}

void velta_storage_moving(const void *begin, size_t bytes) {
  velta_clear_range((uintptr_t)begin, (uintptr_t)begin + bytes);
}

/* ---- exports ---- */

void velta_export_acquire(const void *record) {
  if (record)
    ++velta_records()[(uintptr_t)record].exports;
}

void velta_export_release(const void *record) {
  std::map<uintptr_t, VeltaRecord> &records = velta_records();
  auto it = records.find((uintptr_t)record);
  if (it != records.end() && it->second.exports > 0 && --it->second.exports == 0 && !it->second.type)
    records.erase(it);
}

/* Call before anything that grows or releases the record: fails with
 * BufferError while the block is lent out. */
int velta_export_check(const void *record) {
  auto it = velta_records().find((uintptr_t)record);
  if (!record || it == velta_records().end())
    return 0;
  if (it->second.exports > 0) {
    PyErr_SetString(PyExc_BufferError,
                    "the elements are in use by a NumPy view, an iterator or a figure: "
                    "the record cannot be resized or released");
    return -1;
  }
  /* A running call may hold a pointer into the block. */
  const uintptr_t block = (uintptr_t)it->second.block;
  return velta_call_check(block, block + it->second.capacity, velta_type_name(it->second.type).c_str());
}

/* No running call pins an address in the ranges of a record of type ty. */
static int velta_pins_check(const std::vector<VeltaRange> &ranges, swig_type_info *ty) {
  for (const VeltaRange &r : ranges)
    if (velta_call_check(r.begin, r.end, velta_type_name(ty).c_str()) < 0)
      return -1;
  return 0;
}

/* ---- fields written ----
 * Count and pointer fields store what they are given. Once any was written,
 * every use of a record first checks that its fields still describe the
 * storage the library allocated for it; until then the check is one load. */
int velta_fields_written = 0;

static int velta_misfit(const std::string &what, const char *detail) {
  PyErr_Format(PyExc_ValueError, "the %s no longer fits its storage: %s was changed through its fields",
               what.c_str(), detail);
  return -1;
}

/* A listed vector, matrix or figure: its block field is the block it was
 * made with, and its count does not pass that block's capacity. */
int velta_record_fits(const void *record) {
  auto it = velta_records().find((uintptr_t)record);
  if (!record || it == velta_records().end() || !it->second.type)
    return 0;
  const void *block;
  size_t bytes;
  velta_block_now(record, it->second.type, &block, &bytes);
  if (block != it->second.block)
    return velta_misfit(velta_type_name(it->second.type), "its element block");
  if (bytes > it->second.capacity)
    return velta_misfit(velta_type_name(it->second.type), "its element count");
  return 0;
}

/* After the binding added a series or replaced a palette. */
void velta_canvas_note(const VlpCanvas *can) {
  VeltaSeries &note = velta_series()[(uintptr_t)can];
  velta_series_now(can, note);
  note.palettes.assign(note.count, 0);
  note.palette_sizes.assign(note.count, 0);
  for (int i = 0; can->p_r_color_pallete && i < note.count; ++i) {
    const VlmColor *pal = can->p_r_color_pallete[i];
    note.palettes[i] = pal;
    note.palette_sizes[i] = pal ? (pal->size > 1 ? pal->size : 1) : 0;
  }
}

/* The canvas's series count and arrays are those the library allocated,
 * and no palette claims more entries than it holds. With restore (the
 * record is being collected) the allocated ones are put back instead. */
static int velta_canvas_check(VlpCanvas *can, int restore) {
  auto it = velta_series().find((uintptr_t)can);
  VeltaSeries none = {0, {0}, {}, {}};
  const VeltaSeries &note = it == velta_series().end() ? none : it->second;
  VeltaSeries now;
  velta_series_now(can, now);
  if (now.count != note.count || memcmp(now.arrays, note.arrays, sizeof now.arrays) != 0) {
    if (!restore)
      return velta_misfit("VlpCanvas", "its series count or a series array");
    can->numOfVec = note.count;
    void **fields[9] = {(void **)&can->p_r_type,  (void **)&can->p_r_linewidth, (void **)&can->p_r_radius,
                        (void **)&can->p_r_vecx,  (void **)&can->p_r_vecy,      (void **)&can->p_r_mat,
                        (void **)&can->p_r_color, (void **)&can->p_r_color_outside,
                        (void **)&can->p_r_color_pallete};
    for (int i = 0; i < 9; ++i)
      *fields[i] = (void *)note.arrays[i];
  }
  for (int i = 0; i < note.count && can->p_r_color_pallete; ++i) {
    VlmColor *pal = can->p_r_color_pallete[i];
    if (pal != note.palettes[i] || (pal && pal->size > 1 && pal->size > note.palette_sizes[i])) {
      if (!restore)
        return velta_misfit("VlpCanvas", "a palette or its entry count");
      can->p_r_color_pallete[i] = (VlmColor *)note.palettes[i];
      if (note.palettes[i])
        ((VlmColor *)note.palettes[i])->size = note.palette_sizes[i];
    }
  }
  return 0;
}

int velta_canvas_fits(const VlpCanvas *can) {
  return velta_canvas_check((VlpCanvas *)can, 0);
}

/* Every canvas of a figure (by the block it was made with). */
static int velta_figure_canvases(const void *record, const VeltaRecord &rec, int restore) {
  VlpCanvas *canvases = (VlpCanvas *)rec.block;
  for (size_t c = 0; canvases && c < rec.capacity / sizeof(VlpCanvas); ++c)
    if (velta_canvas_check(&canvases[c], restore) < 0)
      return -1;
  (void)record;
  return 0;
}

/* A record about to be used by an entry other than its field accessors and
 * destructor (which do not call this but for the getters, which read only
 * the record itself): its fields must still describe its storage. */
int velta_in_use(const char *symname, const void *record, swig_type_info *ty) {
  if (!record || velta_ends_with(symname, "_get"))
    return 0;
  const VeltaTypes &t = velta_types();
  if (ty == t.canvas)
    return velta_canvas_fits((const VlpCanvas *)record);
  if (ty == t.iter)
    return velta_iter_fits((const struct s_iter *)record);
  if (velta_record_fits(record) < 0)
    return -1;
  if (ty == t.figure) {
    auto it = velta_records().find((uintptr_t)record);
    if (it != velta_records().end())
      return velta_figure_canvases(record, it->second, 0);
  }
  return 0;
}

/* The cells from ptr on, up to the end of the listed storage that holds it;
 * 0 when no listed record's storage holds it. */
size_t velta_room(const void *ptr) {
  auto owner = velta_owner_of((uintptr_t)ptr);
  if (owner == velta_records().end())
    return 0;
  std::vector<VeltaRange> ranges;
  velta_storage(owner->first, owner->second, ranges);
  for (const VeltaRange &r : ranges)
    if ((uintptr_t)ptr >= r.begin && (uintptr_t)ptr < r.end)
      return r.end - (uintptr_t)ptr;
  return 0;
}

/* What is read or written through ptr: bytes inside one live block. */
int velta_room_check(const void *ptr, size_t bytes, const char *message) {
  if (velta_room(ptr) >= bytes)
    return 0;
  PyErr_SetString(PyExc_ValueError, message);
  return -1;
}

/* A library function that reads or writes one double through ptr. */
int velta_one_double(const void *ptr) {
  return velta_room_check(ptr, sizeof(double), "the pointer does not point at an element inside a live block");
}

/* ---- release ---- */

/* Before the record of type ty is released: refused (nothing changes) while
 * it is exported, when it lives inside another record, or when its block
 * field no longer holds the block the library allocated for it; otherwise
 * every pointer object into its storage is cleared and it leaves the table.
 * Null (a cleared object) is the caller's to refuse. */
int velta_release(const void *record, swig_type_info *ty, PyObject *input) {
  if (!record)
    return 0;
  SwigPyObject *self = input ? velta_rt.get_this(input) : 0;
  int dying = self && Py_REFCNT((PyObject *)self) == 0;
  if (velta_export_check(record) < 0)
    return -1;
  std::map<uintptr_t, VeltaRecord> &records = velta_records();
  auto it = records.find((uintptr_t)record);
  if (it == records.end() || !it->second.type) {
    auto owner = velta_owner_of((uintptr_t)record);
    if (owner != records.end()) {
      PyErr_Format(PyExc_ValueError, "the %s lives inside a %s and is released with it", velta_type_name(ty).c_str(),
                   velta_type_name(owner->second.type).c_str());
      return -1;
    }
    /* Not handed out by the binding: released as it is. */
    return velta_pins_check({{(uintptr_t)record, (uintptr_t)record + velta_record_bytes(ty)}}, ty);
  }
  /* Collected or not, the library frees what the fields hold: they must be
   * what it allocated (a record being collected gets it back). */
  if (!dying && velta_record_fits(record) < 0)
    return -1;
  const VeltaTypes &t = velta_types();
  /* A figure's release frees its canvases' arrays (a stand-alone canvas's
   * destructor frees the record alone). */
  if (it->second.type == t.figure && velta_figure_canvases(record, it->second, dying) < 0)
    return -1;
  std::vector<VeltaRange> ranges;
  velta_storage(it->first, it->second, ranges);
  if (velta_pins_check(ranges, it->second.type) < 0)
    return -1;
  if (dying)
    velta_block_restore(record, it->second.type, it->second.block, it->second.capacity);
  if (it->second.type == t.figure) {
    VlpCanvas *canvases = (VlpCanvas *)it->second.block;
    for (size_t c = 0; canvases && c < it->second.capacity / sizeof(VlpCanvas); ++c)
      velta_series().erase((uintptr_t)&canvases[c]);
  }
  velta_series().erase((uintptr_t)record);
  std::map<size_t, PyObject *> held;
  held.swap(it->second.held);
  records.erase(it);
  for (const VeltaRange &r : ranges)
    velta_clear_range(r.begin, r.end);
  for (auto &entry : held)
    Py_DECREF(entry.second);
  return 0;
}

/* A pointer object stored into a field of a listed record: the record keeps
 * it (and so the record it points into) alive while it may use it. */
void velta_field_stored(const void *record, const void *field, PyObject *value) {
  auto it = velta_records().find((uintptr_t)record);
  if (!record || it == velta_records().end() || !it->second.type)
    return;
  size_t offset = (uintptr_t)field - (uintptr_t)record;
  PyObject *old = 0;
  auto slot = it->second.held.find(offset);
  if (slot != it->second.held.end()) {
    old = slot->second;
    it->second.held.erase(slot);
  }
  if (value && value != Py_None) {
    Py_INCREF(value);
    it->second.held[offset] = value;
  }
  Py_XDECREF(old);
}

/* vlm_data_delete: a listed record is released by the same rules; storage
 * that lives inside or belongs to a listed record is refused. */
int velta_data_release(const void *ptr) {
  if (!ptr)
    return 0;
  auto it = velta_records().find((uintptr_t)ptr);
  if (it != velta_records().end())
    return velta_release(ptr, it->second.type, 0);
  auto owner = velta_owner_of((uintptr_t)ptr);
  if (owner != velta_records().end()) {
    PyErr_Format(PyExc_ValueError, "the block belongs to a %s: vlm_data_delete frees only blocks no record owns",
                 velta_type_name(owner->second.type).c_str());
    return -1;
  }
  velta_clear_range((uintptr_t)ptr, (uintptr_t)ptr + 1);
  return 0;
}

/* Taking ownership: only of a listed record of the object's own type. */
int velta_may_own(const SwigPyObject *sobj) {
  if (!sobj->ptr) {
    PyErr_Format(PyExc_ValueError, "the %s was released", velta_type_name(sobj->ty).c_str());
    return -1;
  }
  auto it = velta_records().find((uintptr_t)sobj->ptr);
  if (it != velta_records().end() && it->second.type == sobj->ty) {
    it->second.maker = 0;
    return 0;
  }
  PyErr_Format(PyExc_ValueError, "the %s lives inside another record: it cannot be owned",
               velta_type_name(sobj->ty).c_str());
  return -1;
}

/* A null record where one is required: a cleared pointer object (not None)
 * was released or moved. */
int velta_null_fail(const char *symname, int argnum, const char *type, swig_type_info *ty, int cleared) {
  if (cleared && velta_record_bytes(ty) > 0) {
    PyErr_Format(PyExc_ValueError, "the %s was released", velta_type_name(ty).c_str());
    return -1;
  }
  if (cleared) {
    const char *name = SWIG_TypePrettyName(ty);
    PyErr_Format(PyExc_ValueError, "the storage behind this '%s' was released or moved", name ? name : "pointer");
    return -1;
  }
  PyErr_Format(PyExc_TypeError, "in method '%s', argument %d of type '%s' must not be None", symname, argnum,
               type);
  return -1;
}

int velta_records_start(void) {
  if (!velta_original_dealloc) {
    velta_original_dealloc = velta_rt.pointer_type->tp_dealloc;
    velta_rt.pointer_type->tp_dealloc = velta_pointer_dealloc;
  }
  return 0;
}
