/* The binding's private interface: what the generated wrapper calls in the
 * binding's own sources, and what those sources take from the wrapper.
 *
 * The sources are compiled against SWIG's external runtime header, which
 * gives them the runtime's types and its pure helpers. Everything that lives
 * in the wrapper's own statics (the pointer-object type, the type-table
 * capsule, the conversions) is handed over once at module start through
 * VeltaRuntime. Every function returning int gives 0 on success and -1 with
 * a Python exception set. */
#ifndef VELTA_BINDING_H
#define VELTA_BINDING_H

#include <Python.h>
#include <stdint.h>
#ifndef SWIG_RUNTIME_VERSION /* not inside the generated wrapper */
#include "velta_swigrt.h"
#endif
#include "records.h"
#include "vlm.h"
#include "vlp.h"

/* The rows of the type table (types.cpp). */
enum VeltaTypeId {
  VELTA_T_VECTOR, VELTA_T_MATRIX, VELTA_T_FIGURE, VELTA_T_CANVAS, VELTA_T_COLOR, VELTA_T_ITER, VELTA_T_SLICE,
  VELTA_T_PLOT_DATA, VELTA_T_COORD_DOUBLE, VELTA_T_COORD_INT, VELTA_T_VECTORS, VELTA_T_MATRICES, VELTA_T_COLORS,
  VELTA_T_KIND, VELTA_TYPE_COUNT
};

/* ---- the module's state (types.cpp) and start (start.cpp) ---- */
struct VeltaRuntime {
  swig_module_info *module;  /* the wrapper's type table */
  PyTypeObject *pointer_type;
  PyObject **capsule;        /* the runtime's shared type-table capsule */
  SwigPyObject *(*get_this)(PyObject *);
  int (*set_this)(PyObject *, PyObject *);
  PyObject *(*append)(PyObject *, PyObject *);
  int (*convert)(PyObject *, void **, swig_type_info *, int, int *);
  int (*as_int)(PyObject *, int *);
  int (*as_double)(PyObject *, double *);
  swig_type_info *(*pchar)(void);
  PyCFunction iter_next_entry;      /* the wrapper entry s_iter___next__ */
  PyCFunction vector_getitem_entry; /* the wrapper entry VlmVector___getitem__ */
  PyMethodDef *proxy_methods;       /* the method table with the proxy classes' texts */
  /* Filled at module start: */
  destructor pointer_dealloc;               /* the runtime's, called by the index's */
  swig_type_info *types[VELTA_TYPE_COUNT];  /* the type table's rows resolved */
  PyTypeObject *fast_iter_class;            /* the iterator class given the short way of next() */
  int fast_vector_class;                    /* VlmVector's v[i] short way installed */
  /* Set once a count or pointer field was written: from then on every use
   * of a record first checks its fields against its storage (ledger.cpp). */
  int fields_written;
};
extern VeltaRuntime velta_rt;
/* Takes the runtime, patches the pointer type and the registration entries
 * of the method table in the module dict d, names the pointer types. */
int velta_start(const VeltaRuntime &rt, PyObject *d, PyMethodDef *methods);

/* ---- corrections of SWIG's runtime (swig_fixes.cpp) ---- */
void *velta_fast_self(PyObject *obj, swig_type_info *ty, PyObject **found); /* exact-type short way, or null */
int velta_swig_fixes_install(PyObject *d, PyMethodDef *methods); /* pointer type, swiginit, swigregister */
int velta_put_method(PyTypeObject *cls, PyTypeObject *owner, PyMethodDef *def); /* cls's method descriptor of def */
/* The ownership flag of obj's pointer object, the capsule count balanced. */
void velta_set_owned(PyObject *obj, int owned);
/* The wrapper's SWIG_ConvertPtr: `this` resolved with a reference held, cycles refused. */
int velta_convert(PyObject *obj, void **ptr, swig_type_info *ty, int flags);

/* ---- running calls (calls.cpp) ---- */
int velta_ends_with(const char *s, const char *suffix);
int velta_calls_start(PyObject *d, PyMethodDef *methods, PyMethodDef *proxy_methods); /* wraps the entries */
/* d[def->ml_name] replaced by meth, with a capsule of the original as its self. */
int velta_replace_entry(PyObject *d, const PyMethodDef *def, PyCFunction meth, int flags);
PyObject *velta_original(PyObject *self); /* the entry a replacement calls, or null */
int velta_owned_results(int on); /* this thread's owned-results setting: sets it, gives the previous */
int velta_owning(void);          /* this thread's owned-results setting */
int velta_call_hold(PyObject *obj, const void *addr);     /* held and pinned until the call ends */
PyObject *velta_call_holder(const void *addr);            /* what the current call resolved addr through */
/* BufferError while another running call pins an address in [begin, end). */
int velta_call_check(uintptr_t begin, uintptr_t end, const char *what);
PyObject *velta_call_entry(PyCFunction meth, const char *name, PyObject *args); /* in a frame */
PyCFunction velta_entry_function(PyObject *func); /* the wrapper function behind a module function */

/* ---- argument checks (checks.cpp) ---- */
/* A null record: refused as None (TypeError) or as a cleared object of type ty (ValueError). */
int velta_null_fail(const char *symname, int argnum, const char *type, swig_type_info *ty, int cleared);
int velta_room_check(const void *ptr, size_t bytes, const char *message); /* bytes inside one live block */
int velta_one_double(const void *ptr);
int velta_made(const void *record); /* null result: MemoryError unless an error is pending */
int velta_memory_spent(void);         /* MemoryError if the allocator failed since errno was cleared */
int velta_size(int size, const char *symname, int argnum);
int velta_vector_read_index(const VlmVector *v, int index);
int velta_vector_write_index(const VlmVector *v, int index);
int velta_vector_range(const VlmVector *v, int idx1, int idx2);
int velta_vector_not_empty(const VlmVector *v, const char *what);
int velta_vector_can_grow(const VlmVector *v, long long extra);
int velta_vector_growable(const VlmVector *v, long long extra); /* not exported, and can grow */
int velta_arange_check(int min, int step, int max);
int velta_arange_double_check(double min, double step, double max);
int velta_matrix_dims(long long rows, long long cols);
int velta_matrix_shape_of(const VlmMatrix *m);
long long velta_matrix_flat_index(const VlmMatrix *m, int row, int col);
int velta_matrix_index_int(const VlmMatrix *m, int row, int col);
int velta_matrix_read_index(const VlmMatrix *m, int row, int col);
int velta_matrix_write_index(const VlmMatrix *m, int row, int col);
int velta_matrix_fits(const VlmMatrix *m);
int velta_matrix_block(const VlmMatrix *m, int row1, int row2, int col1, int col2);
int velta_matrix_row(const VlmMatrix *m, int row);
int velta_matrix_column(const VlmMatrix *m, int col);
int velta_matrix_product(const VlmMatrix *a, const VlmMatrix *b);
int velta_product_made(const VlmMatrix *result, const VlmMatrix *a, const VlmMatrix *b);
int velta_matrix_not_empty(const VlmMatrix *m, const char *what);
int velta_matrix_key(PyObject *key, int *row, int *col, const char *symname);

/* ---- the type table (types.cpp) ---- */
void velta_types_start(void); /* resolves the rows, names the pointer types */
swig_type_info *velta_type(VeltaTypeId id);
const char *velta_type_name(const swig_type_info *ty); /* the class name in messages */
size_t velta_record_bytes(const swig_type_info *ty);   /* 0: not a record type */

/* ---- the ledger of live records (ledger.cpp) ---- */
int velta_made_by(const void *record, const char *entry); /* for the leak warning and owned results; gives 0 */
void velta_record_refresh(const void *record); /* after the library grew or refilled it */
int velta_export_check(const void *record); /* BufferError while lent out or pinned by another call */
void velta_field_stored(const void *record, const void *field, PyObject *value);
int velta_may_own(const SwigPyObject *sobj);
int velta_record_fits(const void *record);
void velta_canvas_note(const VlpCanvas *can); /* after the binding changed its series */
int velta_canvas_fits(const VlpCanvas *can);
size_t velta_room(const void *ptr); /* bytes from ptr to the end of the known storage holding it */
int velta_in_use(const void *record, swig_type_info *ty);
void velta_iter_attach(struct s_iter *it, const void *record, PyObject *owner);
void velta_iter_detach(const struct s_iter *it);
int velta_iter_fits(const struct s_iter *it);

/* ---- the pointer index (pointers.cpp) ---- */
void velta_pointers_start(void);
PyObject *velta_pointer_made(PyObject *obj); /* every pointer object made by the wrapper */
void velta_keep_parent(PyObject *result, PyObject *parent); /* result keeps parent alive */
void velta_block_moving(const void *record);   /* before the library may move its block */
void velta_storage_moving(const void *begin, size_t bytes);
/* Before a release (input: the object passed, dying when collected): refused, or cleared. */
int velta_release(const void *record, swig_type_info *ty, PyObject *input);
int velta_data_release(const void *ptr);                    /* before vlm_data_delete */
/* Set in a conversion's result when the object was a cleared pointer object (not None). */
#define VELTA_CLEARED 0x1000

/* ---- iteration (exports.cpp) ---- */
struct s_iter *velta_iter_new(double *nums, int count);
double velta_iter_step(struct s_iter *it); /* one element, or StopIteration raised */
void velta_iter_class_fast(PyObject *obj);
void velta_vector_class_fast(void);

/* ---- NumPy exchange (numpy.cpp) ---- */
int velta_numpy_start(void);
/* An input array of nd dimensions: returns the array (a new reference when
 * *is_new) with its data and dimensions, or null with an exception set. */
PyObject *velta_input_array(PyObject *obj, int nd, int *is_new, double **data, int *dims);
int velta_array_like(PyObject *obj);
int velta_plain_array(PyObject *obj);
int velta_array_like_1d(PyObject *obj);
PyObject *velta_vector_view(PyObject *owner, VlmVector *vec, double *data, int size);
PyObject *velta_matrix_view(PyObject *owner, VlmMatrix *mat, double *data, int rows, int cols);

/* ---- console (console.cpp) ---- */
int velta_print_values(const char *symname, int fixed, const char *inbetween, const char *end,
                       const char *fmt, PyObject *values);
int velta_append_target(PyObject *obj, const char *symname, char **out);
int velta_double_format_check(const char *fmt);
VlmVector *velta_new_values(int size, PyObject *values);

/* ---- class method bodies longer than a line (methods.cpp) ---- */
void velta_vector_fill(VlmVector *self, VlmVector *temporary); /* copies and releases temporary */
void velta_matrix_fill(VlmMatrix *self, VlmMatrix *temporary);
void velta_vector_append_array(VlmVector *self, double *nums, int size);
VlmMatrix *velta_matrix_zero_like(VlmMatrix *mat_in);
VlmMatrix *velta_matrix_from_array_1d(double *nums, int length);
VlmMatrix *velta_matrix_copy(VlmMatrix *self);
VlmMatrix *velta_matrix_copy_then(VlmMatrix *self, void *(*change)(VlmMatrix *, double), double val);
VlmMatrix *velta_matrix_copy_from(VlmMatrix *self, VlmMatrix *mat_in);
VlmVector *velta_vector_copy_then(VlmVector *self, void *(*change)(VlmVector *, double), double val);

/* ---- figures (figures.cpp) ---- */
int velta_keep(const VlpCanvas *can, PyObject *obj, const void *rec);
void velta_colors_moving(const VlmColor *block, int count);
void velta_series_arrays_moving(const VlpCanvas *can);
int velta_figure_dims(int row, int col);
int velta_canvas_index(const VlpFigure *fig, int index);
int velta_series_index(const VlpCanvas *can, int line);
int velta_xy_usable(const VlmVector *vecx, const VlmVector *vecy);
int velta_matrix_usable(const VlmMatrix *mat);
int velta_pallete_resize(const VlpCanvas *can, int line, int size);
int velta_pallete_index(const VlmColor *clr, int index);
/* Every series of the figure can still be drawn (its data may have changed
 * since it was added). */
int velta_figure_drawable(const VlpFigure *fig);
/* ---- texts and named palettes of canvases (figure_text.cpp) ---- */
int velta_figure_series(const VlpFigure *fig, int canvas, int line);
int velta_legend_loc_known(const char *loc);
int velta_figure_legend(const VlpFigure *fig, int canvas, const char *loc);
int velta_palette_named(const VlpCanvas *can, int line, const char *name);
int velta_figure_palette(const VlpFigure *fig, int canvas, int line, const char *name);
/* ---- figures leaving the process (figure_io.cpp) ---- */
/* Shows the figure until its window is closed, or until a signal handler
 * raises (Ctrl-C: KeyboardInterrupt), which closes the window. */
int velta_show(VlpFigure *fig);
/* A size the window can take: 1 to VLP_WINDOW_MAX_SIZE a side, or 0 x 0. */
int velta_window_size(int width, int height);
/* vlp_savefig(fig, filename, width, height), with filename the str the
 * caller gave (SWIG has checked its type). */
int velta_savefig(VlpFigure *fig, PyObject *filename, int width, int height);
/* VlpFigure.savefig(target, width=800, height=600, format=None): None, or
 * null with the exception set. */
PyObject *velta_figure_savefig(VlpFigure *fig, PyObject *target, int width, int height,
                               PyObject *format);
/* The PNG bytes savefig writes at 800 x 600, for IPython's display. */
PyObject *velta_figure_png(VlpFigure *fig);
/* A series added through a figure (canvas number) or to a canvas. */
int velta_series_xy(VlpFigure *fig, int canvas, VlpCanvas *can, VlmVector *x, VlmVector *y,
                    PyObject *ox, PyObject *oy);
int velta_series_image(VlpFigure *fig, int canvas, VlpCanvas *can, VlmMatrix *mat, PyObject *omat);

/* ---- wiring macros for the interface files ---- */
/* Hands back the Python object a method was called on. */
#define VELTA_RETURN_SELF(result) \
  do {                            \
    Py_INCREF(swig_obj[0]);       \
    result = swig_obj[0];         \
  } while (0)

#endif
