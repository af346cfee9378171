/* The binding's own records: the iteration cursor and the slice record. */

VELTA_DISOWNING(double *ptr, 1)

%include "records.h"
