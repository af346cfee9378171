/* The binding's safety layer, bottom up: the type table (types.cpp), the
 * ledger of live records (ledger.cpp), the pointer index (pointers.cpp).
 * Each unit calls only the ones before it (and the running calls of
 * calls.cpp, which call nothing). C++ only; the wrapper sees binding.h. */
#ifndef VELTA_LEDGER_H
#define VELTA_LEDGER_H

#include "binding.h"

#include <stddef.h>
#include <stdint.h>

#include <vector>

/* ---- the type table (types.cpp) ---- */
struct VeltaType {
  VeltaTypeId id;
  const char *mangled; /* SWIG's name of the pointer type: written here only */
  const char *names;   /* the names a pointer object shows (the last) */
  const char *name;    /* the class name in messages */
  size_t bytes;        /* one record; 0: not a record */
  size_t block_at, count_at, item; /* its element block and count fields, an element's bytes; item 0: none */
  bool whole;          /* every result of the type is a record of its own */
  const char *release; /* the flat function that releases an unowned one, for the leak warning */
};
struct VeltaRange {
  uintptr_t begin, end;
};
const VeltaType *velta_type_row(const swig_type_info *ty); /* null: not in the table */

/* ---- the ledger (ledger.cpp) ----
 * Lists a record handed out as a whole. Gives 1, once, when an entry made
 * it while its thread asked for owned results: its new object owns it. */
int velta_ledger_list(const void *record, swig_type_info *ty);
/* What the ledger knows of a record: its row (null: not listed), maker,
 * leases out and block as made. */
struct VeltaLedgerView {
  const VeltaType *row;
  const char *maker;
  Py_ssize_t lent;
  VeltaRange block;
};
VeltaLedgerView velta_ledger_find(const void *record);
/* The listed record whose storage holds addr: its address and row, or 0. */
const void *velta_ledger_owner(const void *addr, const VeltaType **row);
/* Before a release: refusal (-1), nothing listed (0), or the entry taken
 * out (1): the ranges its storage covered and the objects it held, for the
 * caller to clear and to drop once the table is consistent. */
int velta_ledger_take(const void *record, swig_type_info *ty, int dying, std::vector<VeltaRange> &ranges,
                      std::vector<PyObject *> &held);
/* Lends the record to a view, an iterator or a figure: a capsule holding
 * the record's pointer object (and with keep_obj the object given, obj)
 * and one count of the record, returned when the capsule goes. */
PyObject *velta_lend(const void *record, PyObject *obj, int keep_obj);
/* Holds obj (a new reference is taken) on the entry of record under key,
 * replacing what was there; null obj lets go. Creates the entry of a
 * record not listed yet as one of type ty. The keys: a field's offset, or: */
enum : size_t { VELTA_HOLD_DRAWN = SIZE_MAX, VELTA_HOLD_SOURCE = SIZE_MAX - 1 };
int velta_hold(const void *record, swig_type_info *ty, size_t key, PyObject *obj);

#endif
