/* The binding's own records: the iteration cursor and the slice record. */
#ifndef VELTA_RECORDS_H
#define VELTA_RECORDS_H

struct s_iter {
  double *ptr; /* next element to deliver */
  int len;     /* elements still to deliver */
};

typedef struct s_slice {
  int start;
  int step;
  int stop;
} VlmSlice;

#endif
