/* Argument checks that keep the library from being handed what it cannot
 * take: null records, indexes outside a block, impossible sizes (checks.cpp). */

/* None is refused where a record is required. */
%define VELTA_RECORD_NOT_NULL(TYPE)
%typemap(check, noblock=1) TYPE {
  if (!$1 && !velta_null_ok("$symname", $argnum) && velta_null_fail("$symname", $argnum, "$type") < 0) SWIG_fail;
}
%enddef

VELTA_RECORD_NOT_NULL(struct s_vector *)
VELTA_RECORD_NOT_NULL(struct s_matrix *)
VELTA_RECORD_NOT_NULL(struct s_iter *)
VELTA_RECORD_NOT_NULL(struct s_slice *)
VELTA_RECORD_NOT_NULL(struct s_color *)
VELTA_RECORD_NOT_NULL(struct s_plot_data *)
VELTA_RECORD_NOT_NULL(struct s_coord_double *)
VELTA_RECORD_NOT_NULL(struct s_coord_int *)
VELTA_RECORD_NOT_NULL(struct s_canvas *)
VELTA_RECORD_NOT_NULL(struct s_figure *)

/* Library functions read through these: a null text or pointer is refused. */
VELTA_RECORD_NOT_NULL(char *)
VELTA_RECORD_NOT_NULL(double *val)

/* Sizes handed to constructors may not be negative. */
%typemap(check, noblock=1) int size {
  if (!velta_ends_with("$symname", "_set") && velta_size($1, "$symname", $argnum) < 0) SWIG_fail;
}

