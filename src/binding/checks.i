/* Argument checks that keep the library from being handed what it cannot
 * take: null records, indexes outside a block, impossible sizes (checks.cpp). */

/* None is refused where a record is required; a pointer object whose
 * storage was released is refused everywhere. Field setters are the
 * exception, below. */
%define VELTA_RECORD_NOT_NULL(TYPE)
%typemap(check, noblock=1) TYPE {
  if (!$1 && velta_null_fail("$symname", $argnum, "$type", $descriptor, res$argnum & VELTA_CLEARED) < 0) SWIG_fail;
  if (velta_rt.fields_written && velta_in_use($1, $descriptor) < 0) SWIG_fail;
}
%enddef
/* The same for self, which a destructor may also be given as None when
 * releasing a null record does nothing (NULL_RELEASE 1; $disown set the
 * self typemap's releasing flag). The record is checked against its storage
 * by VELTA_IN_USE, below, unless it is being released. */
%define VELTA_SELF_NOT_NULL(TYPE, NULL_RELEASE)
VELTA_RECORD_NOT_NULL(TYPE)
%typemap(check, noblock=1) TYPE self {
  if (!$1 && ((res$argnum & VELTA_CLEARED) || !(NULL_RELEASE && releasing$argnum)) &&
      velta_null_fail("$symname", $argnum, "$type", $descriptor, res$argnum & VELTA_CLEARED) < 0) SWIG_fail;
  if (!releasing$argnum) {
    velta_self$argnum = $1;
    velta_self_type$argnum = $descriptor;
  }
}
%enddef

/* A method's self is checked against its storage where the entry runs the
 * library: in its %exception code, which every function, method,
 * constructor and destructor has and the field accessors (which read or
 * write only the record itself) do not. The self typemaps declare
 * velta_self1 and velta_self_type1; an entry without a record self sees
 * the null ones of the wrapper's header (runtime.i). Every %exception
 * block starts with this line. */
%define VELTA_IN_USE
  if (velta_rt.fields_written && velta_in_use(velta_self1, velta_self_type1) < 0) SWIG_fail;
%enddef
%exception {
  VELTA_IN_USE
  $action
}

/* One line per record type: its self conversion (runtime.i, or arrays.i's
 * with a short way for the hot classes) and these checks. */
%define VELTA_PLAIN_RECORD(TYPE, NULL_RELEASE)
VELTA_PLAIN_SELF(TYPE)
VELTA_SELF_NOT_NULL(TYPE *, NULL_RELEASE)
%enddef
VELTA_SELF_NOT_NULL(struct s_vector *, 0)
VELTA_SELF_NOT_NULL(struct s_matrix *, 0)
VELTA_SELF_NOT_NULL(struct s_iter *, 1)
VELTA_PLAIN_RECORD(struct s_figure, 0)
VELTA_PLAIN_RECORD(struct s_slice, 1)
VELTA_PLAIN_RECORD(struct s_color, 1)
VELTA_PLAIN_RECORD(struct s_plot_data, 1)
VELTA_PLAIN_RECORD(struct s_coord_double, 1)
VELTA_PLAIN_RECORD(struct s_coord_int, 1)
VELTA_PLAIN_RECORD(struct s_canvas, 1)

/* Field setters, (self, field): with None as self nothing is stored (the
 * setters' memberin below); a released pointer object is still refused. The
 * value is not checked against anything but what its kind needs:
 *   VELTA_FIELD         a number or pointer, stored as given;
 *   VELTA_LINK_FIELD    a record pointer, stored as given (None stores null);
 *   VELTA_COPIED_FIELD  a record copied into the field: it must exist.
 * The shape setter copies into the record without looking at self, so its
 * self must exist, and the shape is copied from the array given: it must
 * hold both entries. */
%define VELTA_SETTER_SELF
  if (!$1 && (res1 & VELTA_CLEARED) && velta_null_fail("$symname", 1, "$1_type", $1_descriptor, 1) < 0) SWIG_fail;
%enddef
%define VELTA_FIELD(CLASS, FIELD)
%typemap(check, noblock=1) (CLASS *self, FIELD) {
  VELTA_SETTER_SELF
}
%enddef
%define VELTA_LINK_FIELD(CLASS, FIELD)
%typemap(check, noblock=1) (CLASS *self, FIELD) {
  VELTA_SETTER_SELF
  if (!$2 && (res2 & VELTA_CLEARED) && velta_null_fail("$symname", 2, "$2_type", $2_descriptor, 1) < 0) SWIG_fail;
}
%enddef
%define VELTA_COPIED_FIELD(CLASS, FIELD)
%typemap(check, noblock=1) (CLASS *self, FIELD) {
  VELTA_SETTER_SELF
  if (!$2 && velta_null_fail("$symname", 2, "$2_type", $2_descriptor, res2 & VELTA_CLEARED) < 0) SWIG_fail;
}
%enddef
%typemap(check, noblock=1) (struct s_matrix *self, int r_shape[ANY]) {
  if (!$1 && velta_null_fail("$symname", 1, "$1_type", $1_descriptor, res1 & VELTA_CLEARED) < 0) SWIG_fail;
  if ($2 && velta_room_check($2, sizeof(int) * $2_dim0, "the shape does not hold $2_dim0 ints inside a live block") < 0) SWIG_fail;
}

VELTA_FIELD(struct s_vector, double *p_r_nums) VELTA_FIELD(struct s_vector, int size)
VELTA_FIELD(struct s_matrix, double *p_r_nums) VELTA_FIELD(struct s_matrix, int size)
VELTA_FIELD(struct s_iter, double *ptr) VELTA_FIELD(struct s_iter, int len)
VELTA_FIELD(struct s_slice, int start) VELTA_FIELD(struct s_slice, int step) VELTA_FIELD(struct s_slice, int stop)
VELTA_FIELD(struct s_color, int r) VELTA_FIELD(struct s_color, int g) VELTA_FIELD(struct s_color, int b)
VELTA_FIELD(struct s_color, double a) VELTA_FIELD(struct s_color, double val) VELTA_FIELD(struct s_color, int size)
VELTA_LINK_FIELD(struct s_plot_data, VlmVector *vecx) VELTA_LINK_FIELD(struct s_plot_data, VlmVector *vecy)
VELTA_FIELD(struct s_coord_double, double x) VELTA_FIELD(struct s_coord_double, double y)
VELTA_FIELD(struct s_coord_int, int x) VELTA_FIELD(struct s_coord_int, int y)
VELTA_FIELD(struct s_canvas, int *p_r_type) VELTA_FIELD(struct s_canvas, int *p_r_linewidth)
VELTA_FIELD(struct s_canvas, int *p_r_radius) VELTA_FIELD(struct s_canvas, int row) VELTA_FIELD(struct s_canvas, int col)
VELTA_FIELD(struct s_canvas, int index) VELTA_FIELD(struct s_canvas, int grid)
VELTA_COPIED_FIELD(struct s_canvas, VlmCoordDouble *min) VELTA_COPIED_FIELD(struct s_canvas, VlmCoordDouble *max)
VELTA_FIELD(struct s_canvas, VlmVector **p_r_vecx) VELTA_FIELD(struct s_canvas, VlmVector **p_r_vecy)
VELTA_FIELD(struct s_canvas, VlmMatrix **p_r_mat) VELTA_LINK_FIELD(struct s_canvas, VlmColor *p_r_color)
VELTA_LINK_FIELD(struct s_canvas, VlmColor *p_r_color_outside)
VELTA_FIELD(struct s_canvas, VlmColor **p_r_color_pallete) VELTA_FIELD(struct s_canvas, int numOfVec)
VELTA_FIELD(struct s_figure, int row) VELTA_FIELD(struct s_figure, int col) VELTA_FIELD(struct s_figure, int size)
VELTA_LINK_FIELD(struct s_figure, VlpCanvas *p_r_canvas)

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
 * record), and note that they
 * were written: every later use checks the record against its storage. */
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
%define VELTA_MEMORY2(FLAT, METHOD, CHECK)
VELTA_MEMORY(FLAT, CHECK)
VELTA_MEMORY(METHOD, CHECK)
%enddef
