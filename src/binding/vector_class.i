/* The VlmVector class and the iterator record s_iter.
 *
 * Ownership: constructors and __iter__ give owned results; operators, copy
 * and toMatrix give results Python does not own. In-place operators (and
 * s_iter.__iter__) hand back the very object they were called on.
 *
 * Iterators lend out the block they walk, like NumPy views: the iterator
 * holds the Python object it came from and one export count of the record
 * until it has delivered its last element or dies. */

/* ---- s_iter ---- */

VELTA_RAISED(s_iter::__next__, velta_rt.fields_written ? velta_iter_fits(arg1) : 0)

%extend s_iter {
  struct s_iter *__iter__() {
    return $self;
  }
  double __next__() {
    return velta_iter_step($self);
  }
  ~s_iter() {
    velta_iter_detach($self);
    free($self);
  }
}

/* ---- VlmVector ---- */

%exception s_vector::s_vector {
  VELTA_IN_USE
  $action
  if (velta_made(result) < 0) SWIG_fail;
  velta_vector_class_fast();
}

%exception s_vector::__iter__ {
  VELTA_IN_USE
  $action
  if (velta_made(result) < 0) SWIG_fail;
  velta_iter_attach(result, arg1, swig_obj[0]);
}

%newobject s_vector::s_vector;
/* Every constructor candidate but the last is documented under the class
 * name (the generator would write the record's tag). */
%feature("autodoc", "VlmVector(int size)\n\nParameters\n----------\nsize: int\n\n") s_vector::s_vector(int size);
%feature("autodoc", "VlmVector(int size, double val)\n\nParameters\n----------\nsize: int\nval: double\n")
    s_vector::s_vector(int size, double val);

/* min and max are methods, reached as attributes (v.min()): they shadow
 * none of Python's built-in names, which is what warning 321 is about. */
%warnfilter(SWIGWARN_PARSE_BUILTIN_NAME) s_vector::min;
%warnfilter(SWIGWARN_PARSE_BUILTIN_NAME) s_vector::max;

%newobject s_vector::__iter__;
%newobject s_vector::__str__;

%extend s_vector {
  s_vector(int size) {
    return vlm_vector_new_zero(size);
  }
  s_vector(int size, double val) {
    return vlm_vector_new_constant(size, val);
  }
  s_vector(double *ndarray_in, int size) {
    return vlm_vector_new_from_array(ndarray_in, size);
  }
  ~s_vector() {
    vlm_vector_delete($self);
  }

  double __getitem__(int index) {
    return vlm_vector_get_item($self, index);
  }
  void __setitem__(int index, double value) {
    vlm_vector_set_item($self, index, value);
  }
  int __len__() {
    return $self->size;
  }
  int __contains__(double val) {
    return vlm_vector_isexist($self, 0, $self->size - 1, val);
  }
  int isexist(double val, int idx1, int idx2) {
    return vlm_vector_isexist($self, idx1, idx2, val);
  }
  double min() {
    return vlm_vector_min($self);
  }
  double max() {
    return vlm_vector_max($self);
  }

  void constant(double val) {
    vlm_vector_change_elements_by_value($self, val);
  }
  void random(double min, double max) {
    velta_vector_fill($self, vlm_vector_new_random($self->size, min, max));
  }
  void linspace(double min, double max) {
    velta_vector_fill($self, vlm_vector_new_linspace(min, max, $self->size));
  }
  void sort() {
    vlm_vector_sort($self);
  }
  void append(double val) {
    if (velta_vector_can_grow($self, 1) == 0)
      vlm_vector_append_value($self, val);
  }
  void append(VlmVector *vec) {
    if (velta_vector_can_grow($self, vec->size) == 0)
      vlm_vector_append_vector($self, vec);
  }
  void append(double *ndarray_in, int size) {
    velta_vector_append_array($self, ndarray_in, size);
  }

  p_vectorString_t __str__() {
    return vlm_vector_to_string($self, 0);
  }
  void printFull() {
    vlm_vector_print_full($self);
  }
  void toNumpy(double **out_nums, int *out_size) {
    vlm_vector_to_array($self, out_nums, out_size);
  }
  VlmMatrix *toMatrix() {
    return vlm_matrix_new_from_vector($self);
  }
  VlmVector *copy() {
    return vlm_vector_new_copy($self);
  }
  struct s_iter *__iter__() {
    return velta_iter_new($self->p_r_nums, $self->size);
  }

  VlmVector *__lshift__(double val) {
    return velta_vector_copy_then($self, vlm_vector_change_elements_by_value, val);
  }
  VlmVector *__ilshift__(double val) {
    vlm_vector_change_elements_by_value($self, val);
    return $self;
  }
  VlmVector *__add__(double val) {
    return velta_vector_copy_then($self, vlm_vector_add_by_value, val);
  }
  VlmVector *__iadd__(double val) {
    vlm_vector_add_by_value($self, val);
    return $self;
  }
  VlmVector *__sub__(double val) {
    return velta_vector_copy_then($self, vlm_vector_substract_by_value, val);
  }
  VlmVector *__isub__(double val) {
    vlm_vector_substract_by_value($self, val);
    return $self;
  }
  VlmVector *__mul__(double val) {
    return velta_vector_copy_then($self, vlm_vector_multiply_by_value, val);
  }
  VlmVector *__imul__(double val) {
    vlm_vector_multiply_by_value($self, val);
    return $self;
  }
  VlmVector *__truediv__(double val) {
    return velta_vector_copy_then($self, vlm_vector_divide_by_value, val);
  }
  VlmVector *__itruediv__(double val) {
    vlm_vector_divide_by_value($self, val);
    return $self;
  }
}
