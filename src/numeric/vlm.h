/* velta numeric core: dense vectors and matrices of doubles.
 *
 * Plain C interface. Records and their element blocks come from malloc and
 * are released with free (the *_delete functions, or vlm_data_delete for
 * texts). No function checks its arguments: indexes, sizes and shapes are
 * the caller's to respect. Functions declared with a void * result return a
 * null pointer; the result carries no information.
 */
#ifndef VELTA_VLM_H
#define VELTA_VLM_H

#ifdef __cplusplus
extern "C" {
#endif

#ifndef FALSE
#define FALSE 0
#endif
#ifndef TRUE
#define TRUE 1
#endif

/* Text forms of vectors and matrices: heap strings released with vlm_data_delete. */
typedef char *p_vectorString_t;
typedef char *p_matrixString_t;

/* ---- console printing and number-to-text (unit init) ---- */
void *vlm_print_integer(int val);
void *vlm_print_double(double val);
void *vlm_print_string(char *val);
int vlm_string_length_integer(int val);
int vlm_string_length_string(char *str);
int vlm_string_length_double(double val);
char *vlm_string_from_integer(int val);
char *vlm_string_from_double(double val);
char *vlm_string_from_double_set(char *fmt, double val);
void *vlm_string_append_integer(char *target, int val, int isInitial);
void *vlm_string_append_double(char *target, double val, int isInitial);
void *vlm_print_values(char *inbetween, char *end, char *fmt, ...);
void *vlm_print_values_space(char *fmt, ...);
void *vlm_print_values_new_line(char *fmt, ...);

/* ---- random source and generic release (unit standard) ---- */
double vlm_random(double min, double max);
/* Seeds the random source: the draws that follow are the same in every
 * process and run given the same seed, and no draw reseeds from the clock
 * (also in processes forked afterwards). Without it the first draw of each
 * process seeds from the clock, the process id and the sub-second time. */
void vlm_random_seed(unsigned int seed);
void vlm_data_delete(void *__ptr);

/* ---- vectors (unit vector) ---- */
typedef struct s_vector {
  double *p_r_nums; /* exactly size doubles */
  int size;
} VlmVector;

VlmVector *vlm_vector_new(int size);
VlmVector *vlm_vector_new_zero(int size);
VlmVector *vlm_vector_new_constant(int size, double val);
VlmVector *vlm_vector_new_random(int size, double min, double max);
VlmVector *vlm_vector_new_linspace(double min, double max, int size);
VlmVector *vlm_vector_new_arange(int min, int step, int max);
VlmVector *vlm_vector_new_arange_double(double min, double step, double max);
VlmVector *vlm_vector_new_values(int size, ...);
VlmVector *vlm_vector_new_copy(VlmVector *vec);
VlmVector *vlm_vector_new_duplicate_size(VlmVector *vec);
VlmVector *vlm_vector_new_from_array(double *ndarray_in, int size);
void vlm_vector_delete(VlmVector *vec);
double vlm_vector_get_item(VlmVector *vec, int index);
void *vlm_vector_set_item(VlmVector *vec, int index, double val);
void *vlm_vector_to_array(VlmVector *vec, double **out_nums, int *out_size);
p_vectorString_t vlm_vector_to_string(VlmVector *vec, int islong);
void *vlm_vector_print(VlmVector *vec, int islong);
void *vlm_vector_print_partial(VlmVector *vec);
void *vlm_vector_print_full(VlmVector *vec);
void *vlm_vector_append_value(VlmVector *vec, double val);
void *vlm_vector_append_vector(VlmVector *vec_target, VlmVector *vec_another);
void *vlm_vector_add_by_value(VlmVector *vec, double val);
void *vlm_vector_substract_by_value(VlmVector *vec, double val);
void *vlm_vector_multiply_by_value(VlmVector *vec, double val);
void *vlm_vector_divide_by_value(VlmVector *vec, double val);
void *vlm_vector_change_elements_by_value(VlmVector *vec, double val);
void *vlm_vector_copy_elements(VlmVector *src, VlmVector *target);
void *vlm_vector_sin(VlmVector *vec);
void vlm_sin(double *val);
void *vlm_vector_input_function(VlmVector *vec, void (*function)(double *));
double vlm_vector_min(VlmVector *vec);
double vlm_vector_max(VlmVector *vec);
int vlm_vector_isexist(VlmVector *vec, int idx1, int idx2, double val);
void *vlm_vector_sort(VlmVector *vec);

/* ---- matrices (unit matrix) ---- */
typedef struct s_matrix {
  double *p_r_nums; /* row-major: (row, col) at row * r_shape[1] + col */
  int r_shape[2];   /* rows, columns */
  int size;
} VlmMatrix;

VlmMatrix *vlm_matrix_new(int row, int column);
VlmMatrix *vlm_matrix_new_zero(int row, int col);
VlmMatrix *vlm_matrix_new_constant(int row, int column, double val);
VlmMatrix *vlm_matrix_new_random(int row, int column, double min, double max);
VlmMatrix *vlm_matrix_new_identity(int size);
VlmMatrix *vlm_matrix_new_copy(VlmMatrix *mat);
VlmMatrix *vlm_matrix_new_duplicate_size(VlmMatrix *mat);
VlmMatrix *vlm_matrix_new_from_vector(VlmVector *vec);
VlmMatrix *vlm_matrix_new_from_array(double *ndarray_in, int row, int column);
VlmVector *vlm_vector_new_from_matrix(VlmMatrix *mat);
VlmMatrix *vlm_matrix_new_multiplication(VlmMatrix *mat1, VlmMatrix *mat2);
VlmMatrix *vlm_matrix_new_extract_column(VlmMatrix *mat, int col);
VlmMatrix *vlm_matrix_new_extract_row(VlmMatrix *mat, int row);
VlmMatrix *vlm_matrix_new_extract_row_col(VlmMatrix *mat, int row1, int row2, int col1, int col2);
void vlm_matrix_delete(VlmMatrix *mat);
double vlm_matrix_get_item(VlmMatrix *mat, int row, int col);
void *vlm_matrix_set_item(VlmMatrix *mat, int row, int col, double val);
int vlm_matrix_row_col_to_index(VlmMatrix *mat, int row, int col);
void *vlm_matrix_to_array(VlmMatrix *mat, double **out_nums, int *out_rows, int *out_cols);
p_matrixString_t vlm_matrix_to_string(VlmMatrix *mat, int islong);
void *vlm_matrix_print(VlmMatrix *mat, int islong);
void *vlm_matrix_print_partial(VlmMatrix *mat);
void *vlm_matrix_print_full(VlmMatrix *mat);
void *vlm_matrix_add_by_value(VlmMatrix *mat, double val);
void *vlm_matrix_substract_by_value(VlmMatrix *mat, double val);
void *vlm_matrix_multiply_by_value(VlmMatrix *mat, double val);
void *vlm_matrix_divide_by_value(VlmMatrix *mat, double val);
void *vlm_matrix_change_elements_by_value(VlmMatrix *mat, double val);
void *vlm_matrix_copy_elements(VlmMatrix *src, VlmMatrix *target);
void *vlm_matrix_copy_shape(VlmMatrix *src, VlmMatrix *target);
void *vlm_matrix_transpose(VlmMatrix *mat);
double vlm_matrix_min(VlmMatrix *mat);
double vlm_matrix_max(VlmMatrix *mat);

#ifndef SWIG
/* Library routines without a Python wrapper. */
double vlm_matrix_row_multiply_col(VlmMatrix *mat1, VlmMatrix *mat2, int row, int col);

/* Non-variadic twins of the variadic functions, for callers that hold their
 * values in an array (the Python binding). vlm_vector_new_values_array reads
 * exactly size doubles. vlm_print_values_array reads one value per letter
 * d, c, f or s of fmt, in order; count is the number of values available and
 * the function writes nothing and returns -1 when fmt asks for more, else 0. */
typedef union u_print_value {
  int i;        /* d and c */
  double f;     /* f */
  const char *s; /* s */
} VlmPrintValue;
VlmVector *vlm_vector_new_values_array(int size, const double *values);

/* Size of vlm_vector_new_arange_double(min, step, max) without building it:
 * -1 when the running sum stops moving (s + step == s) while still at most
 * max, or step is not positive; -2 when the count would pass 2147483647;
 * -3 for an infinite step, whose first element would be NaN rather than min.
 * vlm_vector_new_arange_double gives an empty vector in these cases. */
long long vlm_arange_double_count(double min, double step, double max);
int vlm_print_values_array(const char *inbetween, const char *end, const char *fmt,
                           const VlmPrintValue *values, int count);
#endif

#ifdef __cplusplus
}
#endif

#endif /* VELTA_VLM_H */
