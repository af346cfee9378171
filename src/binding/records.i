/* The binding's own records: the iteration cursor and the slice record. */

VELTA_DISOWNING_FIELD(double *ptr)

%include "records.h"
