/* Argument checks that keep the library from being handed what it cannot
 * take: null records, indexes outside a block, impossible sizes (checks.cpp). */

/* Per record type: its self conversion (runtime.i) and null checks. None,
 * and a pointer object whose storage was released, are refused where a
 * record is required; a record argument is checked against its storage once
 * fields were written (self is, by VELTA_IN_USE). A destructor takes None as
 * self where releasing a null record does nothing (NULL_RELEASE 1). */
%define VELTA_RECORD(TAG, NULL_RELEASE)
VELTA_SELF(struct TAG)
%typemap(check, noblock=1) struct TAG * {
  if (!$1 && velta_null_fail("$symname", $argnum, "$type", $descriptor, res$argnum & VELTA_CLEARED) < 0) SWIG_fail;
  if (velta_rt.fields_written && velta_in_use($1, $descriptor) < 0) SWIG_fail;
}
%typemap(check, noblock=1) struct TAG *self {
  if (!$1 && ((res$argnum & VELTA_CLEARED) || !(NULL_RELEASE && releasing$argnum)) &&
      velta_null_fail("$symname", $argnum, "$type", $descriptor, res$argnum & VELTA_CLEARED) < 0) SWIG_fail;
}
%enddef
VELTA_RECORD(s_vector, 0) VELTA_RECORD(s_matrix, 0) VELTA_RECORD(s_figure, 0) VELTA_RECORD(s_iter, 1)
VELTA_RECORD(s_slice, 1) VELTA_RECORD(s_color, 1) VELTA_RECORD(s_plot_data, 1) VELTA_RECORD(s_canvas, 1)
VELTA_RECORD(s_coord_double, 1) VELTA_RECORD(s_coord_int, 1)

/* A method's self is checked against its storage where the entry runs the
 * library: in its %exception code, which the field accessors (reading or
 * writing only the record) lack. An entry without a record self sees the
 * null velta_self1 of the wrapper's header (runtime.i). Every %exception
 * block starts with this line. */
%define VELTA_IN_USE
  if (velta_rt.fields_written && velta_in_use(velta_self1, velta_self_type1) < 0) SWIG_fail;
%enddef
%exception {
  VELTA_IN_USE
  $action
}

/* Field setters, (self, field): None as self stores nothing (SWIG's setters
 * and the memberin below test arg1), a released pointer object is refused; a
 * field in no list here refuses None as self. Values: numbers and pointers
 * are stored as given (a negative size too), and a linked record (None
 * stores null); a record copied in must exist. The shape setter copies into
 * self without testing it (self must exist) from the array given (it must
 * hold both entries). */
%define VELTA_SETTER_SELF
  if (!$1 && (res1 & VELTA_CLEARED) && velta_null_fail("$symname", 1, "$1_type", $1_descriptor, 1) < 0) SWIG_fail;
%enddef
%define VELTA_F(TAG, FIELD) (struct TAG *self, FIELD) %enddef
%typemap(check, noblock=1) VELTA_F(s_vector, double *p_r_nums), VELTA_F(s_vector, int size),
    VELTA_F(s_matrix, double *p_r_nums), VELTA_F(s_matrix, int size), VELTA_F(s_iter, double *ptr),
    VELTA_F(s_iter, int len), VELTA_F(s_slice, int start), VELTA_F(s_slice, int step),
    VELTA_F(s_slice, int stop), VELTA_F(s_color, int r), VELTA_F(s_color, int g), VELTA_F(s_color, int b),
    VELTA_F(s_color, double a), VELTA_F(s_color, double val), VELTA_F(s_color, int size),
    VELTA_F(s_coord_double, double x), VELTA_F(s_coord_double, double y), VELTA_F(s_coord_int, int x),
    VELTA_F(s_coord_int, int y), VELTA_F(s_canvas, int *p_r_type), VELTA_F(s_canvas, int *p_r_linewidth),
    VELTA_F(s_canvas, int *p_r_radius), VELTA_F(s_canvas, int row), VELTA_F(s_canvas, int col),
    VELTA_F(s_canvas, int index), VELTA_F(s_canvas, int grid), VELTA_F(s_canvas, VlmVector **p_r_vecx),
    VELTA_F(s_canvas, VlmVector **p_r_vecy), VELTA_F(s_canvas, VlmMatrix **p_r_mat),
    VELTA_F(s_canvas, VlmColor **p_r_color_pallete), VELTA_F(s_canvas, int numOfVec),
    VELTA_F(s_figure, int row), VELTA_F(s_figure, int col), VELTA_F(s_figure, int size) {
  VELTA_SETTER_SELF
}
%typemap(check, noblock=1) VELTA_F(s_plot_data, VlmVector *vecx), VELTA_F(s_plot_data, VlmVector *vecy),
    VELTA_F(s_canvas, VlmColor *p_r_color), VELTA_F(s_canvas, VlmColor *p_r_color_outside),
    VELTA_F(s_figure, VlpCanvas *p_r_canvas) {
  VELTA_SETTER_SELF
  if (!$2 && (res2 & VELTA_CLEARED) && velta_null_fail("$symname", 2, "$2_type", $2_descriptor, 1) < 0) SWIG_fail;
}
%typemap(check, noblock=1) VELTA_F(s_canvas, VlmCoordDouble *min), VELTA_F(s_canvas, VlmCoordDouble *max) {
  VELTA_SETTER_SELF
  if (!$2 && velta_null_fail("$symname", 2, "$2_type", $2_descriptor, res2 & VELTA_CLEARED) < 0) SWIG_fail;
}
%typemap(check, noblock=1) (struct s_matrix *self, int r_shape[ANY]) {
  if (!$1 && velta_null_fail("$symname", 1, "$1_type", $1_descriptor, res1 & VELTA_CLEARED) < 0) SWIG_fail;
  if ($2 && velta_room_check($2, sizeof(int) * $2_dim0, "the shape does not hold $2_dim0 ints inside a live block") < 0) SWIG_fail;
}

/* Library functions read through these: a null text or pointer is refused. */
%typemap(check, noblock=1) char * {
  if (!$1 && velta_null_fail("$symname", $argnum, "$type", 0, 0) < 0) SWIG_fail;
}
/* ... and it must point at an element inside a live block. */
%typemap(check, noblock=1) double *val {
  if (!$1 && velta_null_fail("$symname", $argnum, "$type", $descriptor, res$argnum & VELTA_CLEARED) < 0) SWIG_fail;
  if (velta_one_double($1) < 0) SWIG_fail;
}

/* Count and pointer fields store what they are given (nothing without a
 * record) and note that fields were written: from then on every use checks
 * the record against its storage. */
%typemap(memberin, noblock=1) int size, int len, int numOfVec, double *p_r_nums, double *ptr,
    VlpCanvas *p_r_canvas, int *p_r_type, int *p_r_linewidth, int *p_r_radius, VlmVector **p_r_vecx,
    VlmVector **p_r_vecy, VlmMatrix **p_r_mat, VlmColor *p_r_color, VlmColor *p_r_color_outside,
    VlmColor **p_r_color_pallete {
  if (arg1) {
    $1 = $input;
    velta_rt.fields_written = 1;
  }
}

/* Sizes handed to constructors may not be negative. */
%typemap(check, noblock=1) int size {
  if (velta_size($1, "$symname", $argnum) < 0) SWIG_fail;
}

/* Operations that report exhausted memory only through the allocator's
 * errno, leaving their arguments as they were. */
%define VELTA_MEMORY(NAME, CHECK)
%exception NAME {
  VELTA_IN_USE
  if ((CHECK) < 0) SWIG_fail;
  errno = 0;
  $action
  if (velta_memory_spent() < 0) SWIG_fail;
}
%enddef
%define VELTA_MEMORY2(FLAT, METHOD, CHECK) VELTA_MEMORY(FLAT, CHECK) VELTA_MEMORY(METHOD, CHECK) %enddef
