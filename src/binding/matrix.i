/* The matrix functions and the guards that the VlmMatrix methods share with
 * them (the macros are vector.i's): shapes, indexes, blocks that the shape
 * must fit. */

/* Constructors: no negative or overflowing shape. Copies are made by the
 * source's shape, which the setters can make anything. */
VELTA_MADE(vlm_matrix_new, velta_matrix_dims(arg1, arg2))
VELTA_MADE(vlm_matrix_new_zero, velta_matrix_dims(arg1, arg2))
VELTA_MADE(vlm_matrix_new_constant, velta_matrix_dims(arg1, arg2))
VELTA_MADE(vlm_matrix_new_random, velta_matrix_dims(arg1, arg2))
VELTA_MADE(vlm_matrix_new_identity, velta_matrix_dims(arg1, arg1))
VELTA_MADE(vlm_matrix_new_from_array, velta_matrix_dims(arg2, arg3))
VELTA_MADE(vlm_matrix_new_copy, velta_matrix_shape_of(arg1))
VELTA_MADE(vlm_matrix_new_duplicate_size, velta_matrix_shape_of(arg1))
VELTA_MADE(vlm_matrix_new_from_vector, 0)
VELTA_MADE(s_matrix::s_matrix, 0)
VELTA_MADE(s_matrix::copy, 0)
VELTA_MADE(s_matrix::toVector, 0)
VELTA_MADE(s_matrix::__lshift__, 0)
VELTA_MADE(s_matrix::__add__, 0)
VELTA_MADE(s_matrix::__sub__, 0)
VELTA_MADE(s_matrix::__mul__, 0)
VELTA_MADE(s_matrix::__truediv__, 0)

/* Extraction reads inside the shape only, and the shape inside the block. */
VELTA_MADE2(vlm_matrix_new_extract_row, s_matrix::extractRow, velta_matrix_row(arg1, arg2))
VELTA_MADE2(vlm_matrix_new_extract_column, s_matrix::extractColumn, velta_matrix_column(arg1, arg2))
VELTA_MADE2(vlm_matrix_new_extract_row_col, s_matrix::extractRowCol, velta_matrix_block(arg1, arg2, arg3, arg4, arg5))

/* The product: a null result means mismatched inner sizes (None for Python)
 * unless the sizes matched, when only memory can have run out. */
%define VELTA_PRODUCT(NAME)
%exception NAME {
  VELTA_IN_USE
  if (velta_matrix_product(arg1, arg2) < 0) SWIG_fail;
  $action
  if (velta_product_made(result, arg1, arg2) < 0 || velta_made_by(result, "$symname") < 0) SWIG_fail;
}
%enddef
VELTA_PRODUCT(vlm_matrix_new_multiplication)
VELTA_PRODUCT(s_matrix::__matmul__)

VELTA_GUARD2(vlm_matrix_get_item, s_matrix::__getitem__, velta_matrix_read_index(arg1, arg2, arg3))
/* A write whose index lies at or beyond the size changes nothing: the call is
 * skipped, since the library's 32-bit index arithmetic could wrap into the
 * block. */
%exception vlm_matrix_set_item {
  VELTA_IN_USE
  if (velta_matrix_write_index(arg1, arg2, arg3) < 0) SWIG_fail;
  if (velta_matrix_flat_index(arg1, arg2, arg3) < arg1->size) {
    $action
  }
}
VELTA_GUARD(s_matrix::__setitem__, velta_matrix_write_index(arg1, arg2, arg3))
VELTA_GUARD2(vlm_matrix_min, s_matrix::min, velta_matrix_not_empty(arg1, "min"))
VELTA_GUARD2(vlm_matrix_max, s_matrix::max, velta_matrix_not_empty(arg1, "max"))
VELTA_GUARD(s_matrix::dims2index, velta_matrix_index_int(arg1, arg2, arg3))
VELTA_RAISED(s_matrix::random, velta_matrix_shape_of(arg1))

/* The text forms and the array view walk the shape. */
VELTA_GUARD2(vlm_matrix_to_array, s_matrix::toNumpy, velta_matrix_fits(arg1))
VELTA_MEMORY2(vlm_matrix_to_string, s_matrix::__str__, velta_matrix_fits(arg1))
VELTA_MEMORY2(vlm_matrix_print_full, s_matrix::printFull, velta_matrix_fits(arg1))
VELTA_MEMORY(vlm_matrix_print, velta_matrix_fits(arg1))
VELTA_MEMORY(vlm_matrix_print_partial, velta_matrix_fits(arg1))
/* Without room for its scratch block the matrix stays as it was. */
VELTA_MEMORY2(vlm_matrix_transpose, s_matrix::transpose, 0)

/* Releasing through the library clears the ownership flag of the object
 * passed, so its collection does not release the record again. */
%exception vlm_matrix_delete {
  VELTA_IN_USE
  if (velta_release(arg1, velta_type(VELTA_T_MATRIX), swig_obj[0]) < 0) SWIG_fail;
  $action
  velta_set_owned(swig_obj[0], 0);
}

%newobject vlm_matrix_to_string;
