/* The type table: one row per record type the binding wraps (its columns:
 * VeltaType, ledger.h), and the only place that spells SWIG's mangled type
 * names; everything else asks by row (VELTA_T_*) or by swig_type_info. */
#include "ledger.h"

#include <stddef.h>

/* The module's state: the runtime the wrapper handed over, the rows
 * resolved, the few flags (binding.h). */
VeltaRuntime velta_rt;

namespace {
#define VELTA_NO_BLOCK 0, 0, 0
const VeltaType kTypes[VELTA_TYPE_COUNT] = {
  /* row            mangled            names shown by pointer objects (last) and messages (the Vl one) */
  {VELTA_T_VECTOR, "_p_s_vector", "struct s_vector *|VlmVector *|s_vector *", "VlmVector", sizeof(VlmVector),
   offsetof(VlmVector, p_r_nums), offsetof(VlmVector, size), sizeof(double), true, "vlm_vector_delete"},
  {VELTA_T_MATRIX, "_p_s_matrix", "struct s_matrix *|VlmMatrix *|s_matrix *", "VlmMatrix", sizeof(VlmMatrix),
   offsetof(VlmMatrix, p_r_nums), offsetof(VlmMatrix, size), sizeof(double), true, "vlm_matrix_delete"},
  {VELTA_T_FIGURE, "_p_s_figure", "struct s_figure *|s_figure *|VlpFigure *", "VlpFigure", sizeof(VlpFigure),
   offsetof(VlpFigure, p_r_canvas), offsetof(VlpFigure, size), sizeof(VlpCanvas), true, "vlp_figure_delete"},
  {VELTA_T_CANVAS, "_p_s_canvas", "struct s_canvas *|s_canvas *|VlpCanvas *", "VlpCanvas", sizeof(VlpCanvas),
   VELTA_NO_BLOCK, false, 0},
  {VELTA_T_COLOR, "_p_s_color", "struct s_color *|VlmColor *|s_color *", "VlmColor", sizeof(VlmColor),
   VELTA_NO_BLOCK, false, 0},
  {VELTA_T_ITER, "_p_s_iter", "struct s_iter *|s_iter *", "s_iter", sizeof(struct s_iter), VELTA_NO_BLOCK, false, 0},
  {VELTA_T_SLICE, "_p_s_slice", "struct s_slice *|VlmSlice *|s_slice *", "VlmSlice", sizeof(VlmSlice),
   VELTA_NO_BLOCK, false, 0},
  {VELTA_T_PLOT_DATA, "_p_s_plot_data", "struct s_plot_data *|s_plot_data *|VlmPlotData *", "VlmPlotData",
   sizeof(VlmPlotData), VELTA_NO_BLOCK, false, 0},
  {VELTA_T_COORD_DOUBLE, "_p_s_coord_double", "struct s_coord_double *|s_coord_double *|VlmCoordDouble *",
   "VlmCoordDouble", sizeof(VlmCoordDouble), VELTA_NO_BLOCK, false, 0},
  {VELTA_T_COORD_INT, "_p_s_coord_int", "struct s_coord_int *|s_coord_int *|VlmCoordInt *", "VlmCoordInt",
   sizeof(VlmCoordInt), VELTA_NO_BLOCK, false, 0},
  /* Pointers to pointers and the kind enum: names only, no records. */
  {VELTA_T_VECTORS, "_p_p_s_vector", "struct s_vector **|VlmVector **", "VlmVector **", 0, VELTA_NO_BLOCK, false, 0},
  {VELTA_T_MATRICES, "_p_p_s_matrix", "struct s_matrix **|VlmMatrix **", "VlmMatrix **", 0, VELTA_NO_BLOCK, false, 0},
  {VELTA_T_COLORS, "_p_p_s_color", "struct s_color **|VlmColor **", "VlmColor **", 0, VELTA_NO_BLOCK, false, 0},
  {VELTA_T_KIND, "_p_e_canvas_type", "enum e_canvas_type *|VlpCanvasType *", "VlpCanvasType", 0, VELTA_NO_BLOCK,
   false, 0},
};
#undef VELTA_NO_BLOCK
}  // namespace

/* Resolves the rows against the wrapper's type table and gives each type
 * the names its pointer objects show. */
void velta_types_start(void) {
  for (const VeltaType &row : kTypes) {
    swig_type_info *ty = SWIG_MangledTypeQueryModule(velta_rt.module, velta_rt.module, row.mangled);
    velta_rt.types[row.id] = ty;
    if (ty)
      ty->str = row.names;
  }
}

swig_type_info *velta_type(VeltaTypeId id) {
  return velta_rt.types[id];
}

const VeltaType *velta_type_row(const swig_type_info *ty) {
  for (int id = 0; ty && id < VELTA_TYPE_COUNT; ++id)
    if (velta_rt.types[id] == ty)
      return &kTypes[id];
  return 0;
}

const char *velta_type_name(const swig_type_info *ty) {
  const VeltaType *row = velta_type_row(ty);
  const char *pretty = ty ? SWIG_TypePrettyName(ty) : 0;
  return row ? row->name : pretty ? pretty : "record";
}

size_t velta_record_bytes(const swig_type_info *ty) {
  const VeltaType *row = velta_type_row(ty);
  return row ? row->bytes : 0;
}
