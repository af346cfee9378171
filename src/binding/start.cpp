/* The module start: the runtime handed over by the wrapper, then each unit
 * set up in the order of the layers (CONTRIBUTING.md), the runtime's
 * corrections before the entries are wrapped in their call frames. */
#include "binding.h"

int velta_start(const VeltaRuntime &rt, PyObject *d, PyMethodDef *methods) {
  velta_rt = rt;
  velta_types_start();
  velta_pointers_start();
  return velta_swig_fixes_install(d, methods) || velta_numpy_start() || velta_calls_start(d, methods, rt.proxy_methods)
             ? -1 : 0;
}
