/* Argument checks that keep the library from being handed what it cannot
 * take: null records, indexes outside a block, impossible sizes (checks.cpp). */

/* None is refused where a record is required. */
%define VELTA_RECORD_NOT_NULL(TYPE)
%typemap(check, noblock=1) TYPE {
  if (!$1 && ((res$argnum & VELTA_CLEARED) || !velta_null_ok("$symname", $argnum)) &&
      velta_null_fail("$symname", $argnum, "$type", $descriptor, res$argnum & VELTA_CLEARED) < 0) SWIG_fail;
  if (velta_fields_written && velta_in_use("$symname", $1, $descriptor) < 0) SWIG_fail;
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

/* Library functions read through these: a null text or pointer is refused.
 * (A text is None when null: variadic entries name their inputs otherwise.) */
%typemap(check, noblock=1) char * {
  if (!$1 && !velta_null_ok("$symname", $argnum) && velta_null_fail("$symname", $argnum, "$type", 0, 0) < 0) SWIG_fail;
}
/* ... and it must point at an element inside a live block. */
%typemap(check, noblock=1) double *val {
  if (!$1 && velta_null_fail("$symname", $argnum, "$type", $descriptor, res$argnum & VELTA_CLEARED) < 0) SWIG_fail;
  if (velta_one_double($1) < 0) SWIG_fail;
}

/* A shape is copied from the array given: it must hold both entries. */
%typemap(check, noblock=1) int r_shape[ANY] {
  if ($1 && velta_room_check($1, sizeof(int) * $1_dim0, "the shape does not hold $1_dim0 ints inside a live block") < 0) SWIG_fail;
}

/* Count and pointer fields store what they are given (nothing without a
 * record), and note that they
 * were written: every later use checks the record against its storage. */
%typemap(memberin, noblock=1) int size, int len, int numOfVec, double *p_r_nums, double *ptr,
    VlpCanvas *p_r_canvas, int *p_r_type, int *p_r_linewidth, int *p_r_radius, VlmVector **p_r_vecx,
    VlmVector **p_r_vecy, VlmMatrix **p_r_mat, VlmColor *p_r_color, VlmColor *p_r_color_outside,
    VlmColor **p_r_color_pallete {
  if (arg1) {
    $1 = $input;
    velta_fields_written = 1;
  }
}

/* Sizes handed to constructors may not be negative. */
%typemap(check, noblock=1) int size {
  if (!velta_ends_with("$symname", "_set") && velta_size($1, "$symname", $argnum) < 0) SWIG_fail;
}


/* Operations that report exhausted memory only through the allocator's
 * errno, leaving their arguments as they were. */
%define VELTA_MEMORY(NAME, CHECK)
%exception NAME {
  if ((CHECK) < 0) SWIG_fail;
  errno = 0;
  $action
  if (velta_memory_spent() < 0) SWIG_fail;
}
%enddef
%define VELTA_MEMORY2(FLAT, METHOD, CHECK)
VELTA_MEMORY(FLAT, CHECK)
VELTA_MEMORY(METHOD, CHECK)
%enddef
