/* The vector functions: checks around the library calls, the variadic
 * constructor, releases that disown, and text results. */

%define VELTA_GUARD(NAME, CHECK)
%exception NAME {
  if ((CHECK) < 0) SWIG_fail;
  $action
}
%enddef

/* Constructors: exhausted memory becomes MemoryError. */
%define VELTA_MADE(NAME)
%exception NAME {
  $action
  if (velta_made(result) < 0) SWIG_fail;
}
%enddef
VELTA_MADE(vlm_vector_new)
VELTA_MADE(vlm_vector_new_zero)
VELTA_MADE(vlm_vector_new_constant)
VELTA_MADE(vlm_vector_new_random)
VELTA_MADE(vlm_vector_new_linspace)
VELTA_MADE(vlm_vector_new_copy)
VELTA_MADE(vlm_vector_new_duplicate_size)
VELTA_MADE(vlm_vector_new_from_matrix)

%exception vlm_vector_new_arange {
  if (velta_arange_check(arg1, arg2, arg3) < 0) SWIG_fail;
  $action
  if (velta_made(result) < 0) SWIG_fail;
}
%exception vlm_vector_new_arange_double {
  if (velta_arange_double_check(arg1, arg2, arg3) < 0) SWIG_fail;
  $action
  if (velta_made(result) < 0) SWIG_fail;
}

VELTA_GUARD(vlm_vector_get_item, velta_vector_read_index(arg1, arg2))
VELTA_GUARD(vlm_vector_set_item, velta_vector_write_index(arg1, arg2))
VELTA_GUARD(vlm_vector_isexist, velta_vector_range(arg1, arg2, arg3))
VELTA_GUARD(vlm_vector_min, velta_vector_not_empty(arg1, "min"))
VELTA_GUARD(vlm_vector_max, velta_vector_not_empty(arg1, "max"))
/* Growing may move the block: not while it is lent out. */
VELTA_GUARD(vlm_vector_append_value, velta_export_check(arg1) < 0 ? -1 : velta_vector_can_grow(arg1, 1))
VELTA_GUARD(vlm_vector_append_vector, velta_export_check(arg1) < 0 ? -1 : velta_vector_can_grow(arg1, arg2->size))

/* Releasing a record through the library clears the ownership flag of the
 * object passed, so its collection does not release it again. */
%exception vlm_vector_delete {
  if (velta_export_check(arg1) < 0) SWIG_fail;
  $action
  velta_disown_object(swig_obj[0]);
}
%exception vlm_data_delete {
  if (velta_export_check(arg1) < 0) SWIG_fail;
  $action
  if (swig_obj[0] != Py_None) velta_disown_object(swig_obj[0]);
}

/* Variadic constructor: the Python arguments after the size are the values. */
%{
static VlmVector *velta_new_values(int size, PyObject *values) {
  Py_ssize_t given = PyTuple_Size(values);
  if (given < size) {
    PyErr_Format(PyExc_TypeError, "vlm_vector_new_values expected %d values after the size, got %zd",
                 size, given);
    return NULL;
  }
  double *nums = (double *)malloc(sizeof(double) * (size > 0 ? size : 1));
  if (!nums)
    return (VlmVector *)PyErr_NoMemory();
  for (int i = 0; i < size; ++i) {
    if (!SWIG_IsOK(SWIG_AsVal_double(PyTuple_GET_ITEM(values, i), &nums[i]))) {
      free(nums);
      PyErr_Format(PyExc_TypeError, "in method 'vlm_vector_new_values', argument %d of type 'double'", i + 2);
      return NULL;
    }
  }
  VlmVector *vec = vlm_vector_new_values_array(size, nums);
  free(nums);
  if (!vec)
    PyErr_NoMemory();
  return vec;
}
%}
%feature("action") vlm_vector_new_values {
  result = velta_new_values(arg1, varargs);
  if (!result) SWIG_fail;
}

/* A function pointer must be given. */
%typemap(check, noblock=1) void (*function)(double *) {
  if (!$1) VELTA_NULL_FAIL("$symname", $argnum, "$type");
}

%newobject vlm_vector_to_string;
