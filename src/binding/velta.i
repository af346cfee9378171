/* The velta extension module: interface description.
 *
 * The interface is split by job:
 * The binding's own code is in the C++ sources beside these files, behind
 * binding.h; the interface files hold directives and typemaps calling it.
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
 *   interop.i   Python protocols: NumPy's array protocol, pickling, repr
 * The library headers are wrapped whole, after the per-job directives.
 */
%module velta


%{
#include "vlm.h"
#include "vlp.h"
#include "binding.h"

#include <errno.h>
%}

%feature("autodoc", "3");

/* The generator's fast proxy mode installs a static-method helper that the
 * proxy module reads once at import; it is no entry of the extension. The
 * helper is put back for a reloaded proxy module and taken away again (one
 * of the runtime corrections listed in swig_fixes.cpp). */
%pythonbegin %{
from sys import modules as _modules
_ext = _modules.get((__package__ + "._velta") if __package__ else "_velta")
if _ext is not None and not hasattr(_ext, "SWIG_PyStaticMethod_New"):
    _ext.SWIG_PyStaticMethod_New = staticmethod
%}
%pythoncode %{
del _velta.SWIG_PyStaticMethod_New, _modules, _ext
%}

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

/* Python protocols of the classes above (last: it extends the wrapped records). */
%include "interop.i"
