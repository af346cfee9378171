/* Class method bodies longer than a line: fills through a temporary,
 * appends of arrays, and the operators that work on a copy. */
#include "binding.h"

/* Fills by a temporary of the same size; a temporary that could not be made
 * is MemoryError. */
template <typename Record>
static void velta_fill(Record *self, Record *temporary, void *(*copy)(Record *, Record *),
                       void (*release)(Record *)) {
  if (!temporary) {
    PyErr_NoMemory();
    return;
  }
  copy(temporary, self);
  release(temporary);
}

void velta_vector_fill(VlmVector *self, VlmVector *temporary) {
  velta_fill(self, temporary, vlm_vector_copy_elements, vlm_vector_delete);
}

void velta_matrix_fill(VlmMatrix *self, VlmMatrix *temporary) {
  velta_fill(self, temporary, vlm_matrix_copy_elements, vlm_matrix_delete);
}

void velta_vector_append_array(VlmVector *self, double *nums, int size) {
  if (velta_vector_can_grow(self, size) < 0)
    return;
  VlmVector *temporary = vlm_vector_new_from_array(nums, size);
  if (!temporary) {
    PyErr_NoMemory();
    return;
  }
  vlm_vector_append_vector(self, temporary);
  vlm_vector_delete(temporary);
}

/* VlmMatrix(mat_in): a zero matrix of mat_in's shape. */
VlmMatrix *velta_matrix_zero_like(VlmMatrix *mat_in) {
  if (velta_matrix_shape_of(mat_in) < 0)
    return NULL;
  VlmMatrix *result = vlm_matrix_new_duplicate_size(mat_in);
  if (result)
    vlm_matrix_change_elements_by_value(result, 0.0);
  return result;
}

/* VlmMatrix(sequence): a column matrix of the values. */
VlmMatrix *velta_matrix_from_array_1d(double *nums, int length) {
  VlmVector *temporary = vlm_vector_new_from_array(nums, length);
  if (!temporary)
    return NULL;
  VlmMatrix *result = vlm_matrix_new_from_vector(temporary);
  vlm_vector_delete(temporary);
  return result;
}

/* A copy made by the matrix's shape, which must be one a matrix can have. */
VlmMatrix *velta_matrix_copy(VlmMatrix *self) {
  return velta_matrix_shape_of(self) < 0 ? NULL : vlm_matrix_new_copy(self);
}

/* Operators with a number: a copy, then change(copy, val). */
VlmMatrix *velta_matrix_copy_then(VlmMatrix *self, void *(*change)(VlmMatrix *, double), double val) {
  VlmMatrix *result = velta_matrix_copy(self);
  if (result)
    change(result, val);
  return result;
}

/* m << other: a copy holding other's elements. */
VlmMatrix *velta_matrix_copy_from(VlmMatrix *self, VlmMatrix *mat_in) {
  VlmMatrix *result = velta_matrix_copy(self);
  if (result)
    vlm_matrix_copy_elements(mat_in, result);
  return result;
}

VlmVector *velta_vector_copy_then(VlmVector *self, void *(*change)(VlmVector *, double), double val) {
  VlmVector *result = vlm_vector_new_copy(self);
  if (result)
    change(result, val);
  return result;
}
