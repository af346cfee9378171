/* NumPy exchange typemaps (numpy.cpp): arrays in, copied by the library's
 * constructors, and views out, sharing a record's element block. */

/* (Here rather than in vector_class.i: s_iter's methods are generated at
 * its record's place, records.i, and must find this typemap.)
 * Methods that may return the record they were called on give back the
 * same Python object rather than a second, unowned one. */
%typemap(out, noblock=1) struct s_vector *__iadd__, struct s_vector *__isub__,
    struct s_vector *__imul__, struct s_vector *__itruediv__, struct s_vector *__ilshift__,
    struct s_matrix *__iadd__, struct s_matrix *__isub__, struct s_matrix *__imul__,
    struct s_matrix *__itruediv__, struct s_matrix *__ilshift__, struct s_iter *__iter__ {
  if ((void *)$1 == (void *)arg1) {
    VELTA_RETURN_SELF($result);
  } else {
    $result = SWIG_NewPointerObj(SWIG_as_voidptr($1), $descriptor, $owner);
    velta_iter_class_fast($result);
  }
}


/* One-dimensional input group. */
%typemap(typecheck, precedence=SWIG_TYPECHECK_DOUBLE_ARRAY) (double *ndarray_in, int size) {
  $1 = velta_array_like($input);
}
%typemap(in) (double *ndarray_in, int size) (PyObject *array = NULL, int is_new = 0) {
  array = velta_input_array($input, 1, &is_new, &$1, &$2);
  if (!array) SWIG_fail;
}
%typemap(freearg) (double *ndarray_in, int size) {
  if (is_new$argnum) Py_XDECREF(array$argnum);
}

/* One-dimensional input group that the dispatch takes only for
 * one-dimensional input (the matrix constructor's flat form). */
%typemap(typecheck, precedence=1089) (double *ndarray_in, int length) {
  $1 = velta_array_like_1d($input);
}
%typemap(in) (double *ndarray_in, int length) (PyObject *array = NULL, int is_new = 0) {
  array = velta_input_array($input, 1, &is_new, &$1, &$2);
  if (!array) SWIG_fail;
}
%typemap(freearg) (double *ndarray_in, int length) {
  if (is_new$argnum) Py_XDECREF(array$argnum);
}

/* Two-dimensional input group. */
%typemap(typecheck, precedence=SWIG_TYPECHECK_DOUBLE_ARRAY) (double *ndarray_in, int row, int column) {
  $1 = velta_array_like($input);
}
%typemap(in) (double *ndarray_in, int row, int column) (PyObject *array = NULL, int is_new = 0, int dims[2]) {
  array = velta_input_array($input, 2, &is_new, &$1, dims);
  if (!array) SWIG_fail;
  $2 = dims[0];
  $3 = dims[1];
}
%typemap(freearg) (double *ndarray_in, int row, int column) {
  if (is_new$argnum) Py_XDECREF(array$argnum);
}

/* Views: the library reports the block and its dimensions; the entry
 * returns the view alone. The record is argument 1 in every user. */
%typemap(in, numinputs=0) (double **out_nums, int *out_size) (double *data = NULL, int count = 0) {
  $1 = &data;
  $2 = &count;
}
%typemap(argout) (double **out_nums, int *out_size) {
  {
    PyObject *view = velta_vector_view(swig_obj[0], arg1, data$argnum, count$argnum);
    if (!view) SWIG_fail;
    $result = SWIG_Python_AppendOutput($result, view);
  }
}

%typemap(in, numinputs=0) (double **out_nums, int *out_rows, int *out_cols)
    (double *data = NULL, int rows = 0, int cols = 0) {
  $1 = &data;
  $2 = &rows;
  $3 = &cols;
}
%typemap(argout) (double **out_nums, int *out_rows, int *out_cols) {
  {
    PyObject *view = velta_matrix_view(swig_obj[0], arg1, data$argnum, rows$argnum, cols$argnum);
    if (!view) SWIG_fail;
    $result = SWIG_Python_AppendOutput($result, view);
  }
}
