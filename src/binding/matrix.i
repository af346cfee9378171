/* The matrix functions: checks around the library calls (shapes, indexes,
 * blocks that the shape must fit), releases that disown, and text results.
 * The helpers live in checks.i; VELTA_GUARD and VELTA_MADE come from vector.i. */

/* Constructors: no negative or overflowing shape; exhausted memory becomes
 * MemoryError. */
%define VELTA_MATRIX_MADE(NAME, CHECK)
%exception NAME {
  if ((CHECK) < 0) SWIG_fail;
  $action
  if (velta_made(result) < 0) SWIG_fail;
}
%enddef
VELTA_MATRIX_MADE(vlm_matrix_new, velta_matrix_dims(arg1, arg2))
VELTA_MATRIX_MADE(vlm_matrix_new_zero, velta_matrix_dims(arg1, arg2))
VELTA_MATRIX_MADE(vlm_matrix_new_constant, velta_matrix_dims(arg1, arg2))
VELTA_MATRIX_MADE(vlm_matrix_new_random, velta_matrix_dims(arg1, arg2))
VELTA_MATRIX_MADE(vlm_matrix_new_identity, velta_matrix_dims(arg1, arg1))
VELTA_MATRIX_MADE(vlm_matrix_new_from_array, velta_matrix_dims(arg2, arg3))
/* Copies are made by the source's shape, which the setters can make anything. */
VELTA_MATRIX_MADE(vlm_matrix_new_copy, velta_matrix_dims(arg1->r_shape[0], arg1->r_shape[1]))
VELTA_MATRIX_MADE(vlm_matrix_new_duplicate_size, velta_matrix_dims(arg1->r_shape[0], arg1->r_shape[1]))
VELTA_MADE(vlm_matrix_new_from_vector)

/* Extraction reads inside the shape only, and the shape inside the block. */
VELTA_MATRIX_MADE(vlm_matrix_new_extract_row, velta_matrix_row(arg1, arg2))
VELTA_MATRIX_MADE(vlm_matrix_new_extract_column, velta_matrix_column(arg1, arg2))
VELTA_MATRIX_MADE(vlm_matrix_new_extract_row_col, velta_matrix_block(arg1, arg2, arg3, arg4, arg5))

/* The product: a null result means mismatched inner sizes (None for Python)
 * unless the sizes matched, when only memory can have run out. */
%exception vlm_matrix_new_multiplication {
  if (velta_matrix_product(arg1, arg2) < 0) SWIG_fail;
  $action
  if (!result && arg1->r_shape[1] == arg2->r_shape[0] && velta_made(result) < 0) SWIG_fail;
}

VELTA_GUARD(vlm_matrix_get_item, velta_matrix_read_index(arg1, arg2, arg3))
/* A write whose index lies at or beyond the size changes nothing: the call is
 * skipped, since the library's 32-bit index arithmetic could wrap into the
 * block. */
%exception vlm_matrix_set_item {
  if (velta_matrix_write_index(arg1, arg2, arg3) < 0) SWIG_fail;
  if (velta_matrix_flat_index(arg1, arg2, arg3) < arg1->size) {
    $action
  }
}
VELTA_GUARD(vlm_matrix_min, velta_matrix_not_empty(arg1, "min"))
VELTA_GUARD(vlm_matrix_max, velta_matrix_not_empty(arg1, "max"))

/* The text forms and the array view walk the shape. */
VELTA_GUARD(vlm_matrix_to_array, velta_matrix_fits(arg1))
VELTA_GUARD(vlm_matrix_to_string, velta_matrix_fits(arg1))
VELTA_GUARD(vlm_matrix_print, velta_matrix_fits(arg1))
VELTA_GUARD(vlm_matrix_print_partial, velta_matrix_fits(arg1))
VELTA_GUARD(vlm_matrix_print_full, velta_matrix_fits(arg1))

/* Releasing through the library clears the ownership flag of the object
 * passed, so its collection does not release the record again. */
%exception vlm_matrix_delete {
  if (velta_export_check(arg1) < 0) SWIG_fail;
  $action
  velta_disown_object(swig_obj[0]);
}

%newobject vlm_matrix_to_string;
