/* The VlmMatrix class.
 *
 * Ownership as for VlmVector: constructors and __iter__ give owned results;
 * operators, copy, toVector, the extractions and @ give results Python does
 * not own; in-place operators hand back the object they were called on.
 * Everything that walks the matrix by its shape first checks that the shape
 * fits the block (the shape setter and copyShape can make it disagree). */


/* m[row, col]: the key stands for the row and column parameters. */
%typemap(in) (int pyrow, int pycol) {
  if (velta_matrix_key($input, &$1, &$2, "$symname") < 0) SWIG_fail;
}

/* getShape: the shape as a tuple (rows, columns). */
%typemap(in, numinputs=0) (int *shape_rows, int *shape_cols) (int rows = 0, int cols = 0) {
  $1 = &rows;
  $2 = &cols;
}
%typemap(argout) (int *shape_rows, int *shape_cols) {
  Py_DECREF($result);
  $result = Py_BuildValue("(ii)", rows$argnum, cols$argnum);
  if (!$result) SWIG_fail;
}

%exception s_matrix::__iter__ {
  VELTA_IN_USE
  $action
  if (velta_made(result) < 0) SWIG_fail;
  velta_iter_attach(result, arg1, swig_obj[0]);
}

%newobject s_matrix::s_matrix;

/* A NumPy array is never a record: the record candidates of the constructor
 * answer at once instead of looking for the array's "this" (a failed lookup
 * raises and clears an AttributeError, twice per array). */
%typemap(typecheck, precedence=SWIG_TYPECHECK_POINTER) VlmMatrix *mat_in, VlmVector *vec {
  void *vptr = 0;
  $1 = !velta_plain_array($input) && SWIG_CheckState(SWIG_ConvertPtr($input, &vptr, $descriptor, 0));
}

/* Every constructor candidate but the last is documented under the class
 * name (the generator would write the record's tag). */
%feature("autodoc", "VlmMatrix(int dim)\n\nParameters\n----------\ndim: int\n\n") s_matrix::s_matrix(int dim);
%feature("autodoc", "VlmMatrix(int row, int col)\n\nParameters\n----------\nrow: int\ncol: int\n\n")
    s_matrix::s_matrix(int row, int col);
%feature("autodoc", "VlmMatrix(int row, int col, double val)\n\nParameters\n----------\nrow: int\ncol: int\nval: double\n\n")
    s_matrix::s_matrix(int row, int col, double val);
%feature("autodoc", "VlmMatrix(double * ndarray_in)\n\nParameters\n----------\nndarray_in: double *\n\n")
    s_matrix::s_matrix(double *ndarray_in, int row, int column);
%feature("autodoc", "VlmMatrix(VlmMatrix mat_in)\n\nParameters\n----------\nmat_in: VlmMatrix *\n\n")
    s_matrix::s_matrix(VlmMatrix *mat_in);
%feature("autodoc", "VlmMatrix(VlmVector vec)\n\nParameters\n----------\nvec: VlmVector *\n")
    s_matrix::s_matrix(VlmVector *vec);
%newobject s_matrix::__iter__;
%newobject s_matrix::__str__;

%define VELTA_MATRIX_OPERATOR(NAME, INPLACE, FUNCTION)
  VlmMatrix *NAME(double val) {
    return velta_matrix_copy_then($self, FUNCTION, val);
  }
  VlmMatrix *INPLACE(double val) {
    FUNCTION($self, val);
    return $self;
  }
%enddef

/* min and max are methods, reached as attributes (v.min()): they shadow
 * none of Python's built-in names, which is what warning 321 is about. */
%warnfilter(SWIGWARN_PARSE_BUILTIN_NAME) s_matrix::min;
%warnfilter(SWIGWARN_PARSE_BUILTIN_NAME) s_matrix::max;

%extend s_matrix {
  s_matrix(int dim) {
    if (velta_matrix_dims(dim, dim) < 0)
      return NULL;
    return vlm_matrix_new_zero(dim, dim);
  }
  s_matrix(int row, int col) {
    if (velta_matrix_dims(row, col) < 0)
      return NULL;
    return vlm_matrix_new_zero(row, col);
  }
  s_matrix(int row, int col, double val) {
    if (velta_matrix_dims(row, col) < 0)
      return NULL;
    return vlm_matrix_new_constant(row, col, val);
  }
  s_matrix(double *ndarray_in, int row, int column) {
    return vlm_matrix_new_from_array(ndarray_in, row, column);
  }
  s_matrix(VlmMatrix *mat_in) {
    return velta_matrix_zero_like(mat_in);
  }
  s_matrix(VlmVector *vec) {
    return vlm_matrix_new_from_vector(vec);
  }
  s_matrix(double *ndarray_in, int length) {
    return velta_matrix_from_array_1d(ndarray_in, length);
  }
  ~s_matrix() {
    vlm_matrix_delete($self);
  }

  double __getitem__(int pyrow, int pycol) {
    return vlm_matrix_get_item($self, pyrow, pycol);
  }
  void __setitem__(int pyrow, int pycol, double value) {
    /* At or beyond the block the write changes nothing. */
    if (velta_matrix_flat_index($self, pyrow, pycol) < $self->size)
      vlm_matrix_set_item($self, pyrow, pycol, value);
  }
  int __len__() {
    return $self->size;
  }
  void getShape(int *shape_rows, int *shape_cols) {
    *shape_rows = $self->r_shape[0];
    *shape_cols = $self->r_shape[1];
  }
  int dims2index(int row, int col) {
    return vlm_matrix_row_col_to_index($self, row, col);
  }
  double min() {
    return vlm_matrix_min($self);
  }
  double max() {
    return vlm_matrix_max($self);
  }

  void constant(double val) {
    vlm_matrix_change_elements_by_value($self, val);
  }
  void random(double min, double max) {
    velta_matrix_fill($self, vlm_matrix_new_random($self->r_shape[0], $self->r_shape[1], min, max));
  }
  void transpose() {
    vlm_matrix_transpose($self);
  }
  void copyShape(VlmMatrix *mat_in) {
    vlm_matrix_copy_shape(mat_in, $self);
  }

  p_matrixString_t __str__() {
    return vlm_matrix_to_string($self, 0);
  }
  void printFull() {
    vlm_matrix_print_full($self);
  }
  void toNumpy(double **out_nums, int *out_rows, int *out_cols) {
    vlm_matrix_to_array($self, out_nums, out_rows, out_cols);
  }
  VlmVector *toVector() {
    return vlm_vector_new_from_matrix($self);
  }
  VlmMatrix *extractColumn(int col) {
    return vlm_matrix_new_extract_column($self, col);
  }
  VlmMatrix *extractRow(int row) {
    return vlm_matrix_new_extract_row($self, row);
  }
  VlmMatrix *extractRowCol(int row1, int row2, int col1, int col2) {
    return vlm_matrix_new_extract_row_col($self, row1, row2, col1, col2);
  }
  VlmMatrix *copy() {
    return velta_matrix_copy($self);
  }
  struct s_iter *__iter__() {
    return velta_iter_new($self->p_r_nums, $self->size);
  }

  VlmMatrix *__lshift__(double val) {
    return velta_matrix_copy_then($self, vlm_matrix_change_elements_by_value, val);
  }
  VlmMatrix *__lshift__(VlmMatrix *mat_in) {
    return velta_matrix_copy_from($self, mat_in);
  }
  VlmMatrix *__ilshift__(double val) {
    vlm_matrix_change_elements_by_value($self, val);
    return $self;
  }
  VlmMatrix *__ilshift__(VlmMatrix *mat_in) {
    vlm_matrix_copy_elements(mat_in, $self);
    return $self;
  }
  VELTA_MATRIX_OPERATOR(__add__, __iadd__, vlm_matrix_add_by_value)
  VELTA_MATRIX_OPERATOR(__sub__, __isub__, vlm_matrix_substract_by_value)
  VELTA_MATRIX_OPERATOR(__mul__, __imul__, vlm_matrix_multiply_by_value)
  VELTA_MATRIX_OPERATOR(__truediv__, __itruediv__, vlm_matrix_divide_by_value)
  VlmMatrix *__matmul__(VlmMatrix *mat2) {
    return vlm_matrix_new_multiplication($self, mat2);
  }
}
