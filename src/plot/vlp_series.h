/* The per-series arrays of a canvas, one entry per array in the order of the
 * record: X(field, element type). Everything that allocates, grows, frees,
 * checks or restores them walks this list, so a new per-series array is one
 * line here (and its field in struct s_canvas). C-compatible. */
#ifndef VELTA_VLP_SERIES_H
#define VELTA_VLP_SERIES_H

#define VLP_SERIES_ARRAYS(X)                                                      \
  X(p_r_type, int)                                                                \
  X(p_r_linewidth, int)                                                           \
  X(p_r_radius, int)                                                              \
  X(p_r_vecx, VlmVector *)                                                        \
  X(p_r_vecy, VlmVector *)                                                        \
  X(p_r_mat, VlmMatrix *)                                                         \
  X(p_r_color, VlmColor)                                                          \
  X(p_r_color_outside, VlmColor)                                                  \
  X(p_r_color_pallete, VlmColor *)

/* Their number. */
#define VLP_SERIES_ONE(field, type) +1
enum { VLP_SERIES_ARRAY_COUNT = 0 VLP_SERIES_ARRAYS(VLP_SERIES_ONE) };
#undef VLP_SERIES_ONE

#endif
