/* The velta extension module: interface description.
 *
 * The interface is split by job:
 *   runtime.i   pointer-object ownership, shared helpers, module start
 *   checks.i    argument checks: None records, ranges, sizes
 *   arrays.i    NumPy exchange typemaps
 *   records.i   the binding's own records s_iter and VlmSlice
 *   console.i   console printing and number-to-text functions
 *   vector.i    checks and conversions of the vector functions
 *   vector_class.i  the VlmVector class (extension methods) and s_iter's
 *   matrix.i    checks and conversions of the matrix functions
 *   matrix_class.i  the VlmMatrix class (extension methods)
 *   plot.i      figure, canvas and colour records and the plotting functions
 * The library headers are wrapped whole, after the per-job directives.
 */
%module velta


%{
#include "vlm.h"
#include "vlp.h"
#include "binding.h"
%}

%feature("autodoc", "3");

%include "runtime.i"
%include "checks.i"
%include "arrays.i"
%include "records.i"
%include "console.i"
%include "vector.i"
%include "vector_class.i"
%include "matrix.i"
%include "matrix_class.i"
%include "plot.i"

%include "vlm.h"
%include "vlp.h"

/* __version__ in the proxy module, written by the build. */
%include "version.i"

/* File export: not in the library header's wrapped part (it returns a status
 * that the binding turns into exceptions, see plot.i). */
void vlp_savefig(VlpFigure *fig, char *filename, int width, int height);
