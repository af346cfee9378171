/* The vector functions and the guards of every library operation that the
 * VlmVector methods share with them; the checks are in checks.cpp.
 *
 * One guard per library operation: VELTA_GUARD2 and VELTA_MADE2 wire the
 * check before the flat function and before the method that calls the same
 * operation. A null result is always velta_made's: MemoryError unless the
 * entry has said why already. CHECK is 0 where nothing is checked first. */

%define VELTA_GUARD(NAME, CHECK)
%exception NAME {
  VELTA_IN_USE
  if ((CHECK) < 0) SWIG_fail;
  $action
}
%enddef
%define VELTA_MADE(NAME, CHECK)
%exception NAME {
  VELTA_IN_USE
  if ((CHECK) < 0) SWIG_fail;
  $action
  if (velta_made(result) < 0 || velta_made_by(result, "$symname") < 0) SWIG_fail;
}
%enddef
/* Methods that report what went wrong with a Python exception of their own. */
%define VELTA_RAISED(NAME, CHECK)
%exception NAME {
  VELTA_IN_USE
  if ((CHECK) < 0) SWIG_fail;
  $action
  if (PyErr_Occurred()) SWIG_fail;
}
%enddef
%define VELTA_GUARD2(FLAT, METHOD, CHECK)
VELTA_GUARD(FLAT, CHECK)
VELTA_GUARD(METHOD, CHECK)
%enddef
%define VELTA_MADE2(FLAT, METHOD, CHECK)
VELTA_MADE(FLAT, CHECK)
VELTA_MADE(METHOD, CHECK)
%enddef

/* Constructors and copies. */
VELTA_MADE(vlm_vector_new, 0)
VELTA_MADE(vlm_vector_new_zero, 0)
VELTA_MADE(vlm_vector_new_constant, 0)
VELTA_MADE(vlm_vector_new_from_array, 0)
VELTA_MADE(vlm_vector_new_random, 0)
VELTA_MADE(vlm_vector_new_linspace, 0)
VELTA_MADE2(vlm_vector_new_copy, s_vector::copy, 0)
VELTA_MADE(vlm_vector_new_duplicate_size, 0)
VELTA_MADE(vlm_vector_new_from_matrix, 0)
VELTA_MADE(vlm_vector_new_arange, velta_arange_check(arg1, arg2, arg3))
VELTA_MADE(vlm_vector_new_arange_double, velta_arange_double_check(arg1, arg2, arg3))
VELTA_MADE(s_vector::toMatrix, 0)
VELTA_MADE(s_vector::__lshift__, 0)
VELTA_MADE(s_vector::__add__, 0)
VELTA_MADE(s_vector::__sub__, 0)
VELTA_MADE(s_vector::__mul__, 0)
VELTA_MADE(s_vector::__truediv__, 0)

/* Reads and writes of elements, ranges, extremes. */
VELTA_GUARD(vlm_vector_get_item, velta_vector_read_index(arg1, arg2))
VELTA_GUARD(s_vector::__getitem__, (velta_vector_class_fast(), velta_vector_read_index(arg1, arg2)))
VELTA_GUARD2(vlm_vector_set_item, s_vector::__setitem__, velta_vector_write_index(arg1, arg2))
VELTA_GUARD(vlm_vector_isexist, velta_vector_range(arg1, arg2, arg3))
VELTA_GUARD(s_vector::isexist, velta_vector_range(arg1, arg3, arg4))
VELTA_GUARD2(vlm_vector_min, s_vector::min, velta_vector_not_empty(arg1, "min"))
VELTA_GUARD2(vlm_vector_max, s_vector::max, velta_vector_not_empty(arg1, "max"))

/* Growing may move the block: not while it is lent out; pointer objects
 * into the old block are cleared, and the table learns the new one. */
%define VELTA_GROW(NAME, CHECK)
%exception NAME {
  VELTA_IN_USE
  if ((CHECK) < 0) SWIG_fail;
  velta_block_moving(arg1);
  errno = 0;
  $action
  velta_record_refresh(arg1);
  if (PyErr_Occurred() || velta_memory_spent() < 0) SWIG_fail;
}
%enddef
VELTA_GROW(vlm_vector_append_value, velta_vector_growable(arg1, 1))
VELTA_GROW(vlm_vector_append_vector, velta_vector_growable(arg1, arg2->size))
VELTA_GROW(s_vector::append, velta_export_check(arg1))
/* Fills by a temporary of the same size report exhausted memory. */
VELTA_RAISED(s_vector::random, 0)
VELTA_RAISED(s_vector::linspace, 0)

/* Releasing a record through the library clears the ownership flag of the
 * object passed, so its collection does not release it again. */
%exception vlm_vector_delete {
  VELTA_IN_USE
  if (velta_release(arg1, velta_type(VELTA_T_VECTOR), swig_obj[0]) < 0) SWIG_fail;
  $action
  velta_set_owned(swig_obj[0], 0);
}
%exception vlm_data_delete {
  VELTA_IN_USE
  if (velta_data_release(arg1) < 0) SWIG_fail;
  $action
  if (swig_obj[0] != Py_None) velta_set_owned(swig_obj[0], 0);
}

/* Variadic constructor: the Python arguments after the size are the values;
 * its record is handed out unowned like the other flat constructors'. */
%feature("action") vlm_vector_new_values {
  result = velta_new_values(arg1, varargs);
  if (!result || velta_made_by(result, "$symname") < 0) SWIG_fail;
}

/* A function pointer must be given. */
%typemap(check, noblock=1) void (*function)(double *) {
  if (!$1 && velta_null_fail("$symname", $argnum, "$type", 0, 0) < 0) SWIG_fail;
}

%newobject vlm_vector_to_string;
VELTA_MEMORY2(vlm_vector_to_string, s_vector::__str__, 0)
VELTA_MEMORY2(vlm_vector_print_full, s_vector::printFull, 0)
VELTA_MEMORY(vlm_vector_print, 0)
VELTA_MEMORY(vlm_vector_print_partial, 0)
