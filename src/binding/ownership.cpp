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

/* The text form of a pointer object shows the last of its type names.
 * This list moves to the type table. */
static void velta_name_types(void) {
  static const struct {
    const char *mangled;
    const char *names;
  } type_names[] = {
    {"_p_s_vector", "struct s_vector *|VlmVector *|s_vector *"},
    {"_p_s_matrix", "struct s_matrix *|VlmMatrix *|s_matrix *"},
    {"_p_s_slice", "struct s_slice *|VlmSlice *|s_slice *"},
    {"_p_s_iter", "struct s_iter *|s_iter *"},
    {"_p_s_color", "struct s_color *|VlmColor *|s_color *"},
    {"_p_s_plot_data", "struct s_plot_data *|s_plot_data *|VlmPlotData *"},
    {"_p_s_coord_double", "struct s_coord_double *|s_coord_double *|VlmCoordDouble *"},
    {"_p_s_coord_int", "struct s_coord_int *|s_coord_int *|VlmCoordInt *"},
    {"_p_s_canvas", "struct s_canvas *|s_canvas *|VlpCanvas *"},
    {"_p_s_figure", "struct s_figure *|s_figure *|VlpFigure *"},
    {"_p_p_s_vector", "struct s_vector **|VlmVector **"},
    {"_p_p_s_matrix", "struct s_matrix **|VlmMatrix **"},
    {"_p_p_s_color", "struct s_color **|VlmColor **"},
    {"_p_e_canvas_type", "enum e_canvas_type *|VlpCanvasType *"},
  };
  for (const auto &entry : type_names) {
    swig_type_info *type = SWIG_MangledTypeQueryModule(velta_rt.module, velta_rt.module, entry.mangled);
    if (type)
      type->str = entry.names;
  }
}

/* The module's functions call through their entries of the method table;
 * the runtime's corrections are installed first. */
int velta_start(const VeltaRuntime &rt, PyObject *d, PyMethodDef *methods) {
  velta_rt = rt;
  velta_name_types();
  if (velta_swig_fixes_install(d, methods) < 0 || velta_records_start() < 0 || velta_numpy_start() < 0 ||
      velta_calls_start(d, methods, rt.proxy_methods) < 0)
    return -1;
  return 0;
}
