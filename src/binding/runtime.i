/* Pointer objects, ownership and the module start (start.cpp; the
 * corrections of SWIG's runtime are swig_fixes.cpp's). */

/* The binding's sources take the runtime's statics and the two entries with
 * short ways; the registration entries of the method table are replaced. */
%fragment("SWIG_AsVal_int"); %fragment("SWIG_AsVal_double"); %fragment("SWIG_pchar_descriptor");
%init %{
  if (velta_start({&swig_module, SwigPyObject_type(), &Swig_Capsule_global, SWIG_Python_GetSwigThis,
                   SWIG_Python_SetSwigThis, SwigPyObject_append, SWIG_Python_ConvertPtrAndOwn, SWIG_AsVal_int,
                   SWIG_AsVal_double, SWIG_pchar_descriptor, _wrap_s_iter___next__, _wrap_VlmVector___getitem__,
                   SwigMethods_proxydocs}, d, SwigMethods) < 0)
    return NULL;
%}

/* Every pointer object the wrapper makes is listed in the record table;
 * every argument's `this` is resolved by velta_convert. Why the stock
 * functions are replaced: swig_fixes.cpp's header. */
%header %{
/* What VELTA_IN_USE (checks.i) sees in an entry without a record self. */
static void *const velta_self1 = 0;
static swig_type_info *const velta_self_type1 = 0;
#undef SWIG_NewPointerObj
#define SWIG_NewPointerObj(ptr, type, flags) velta_pointer_made(SWIG_Python_NewPointerObj(self, ptr, type, flags))
#undef SWIG_ConvertPtr
#define SWIG_ConvertPtr(obj, pptr, type, flags) velta_convert(obj, pptr, type, flags)
%}

/* Pointers into a record, read from its fields, keep it alive. */
%typemap(ret, noblock=1) double *, int *, int [ANY], struct s_vector **, struct s_matrix **, struct s_color ** {
  velta_keep_parent($result, swig_obj[0]);
}

/* self of every record: the exact-type short way (held for the call), else
 * the full conversion. $disown is set in destructors only: the release is
 * refused while the record is exported (or not the binding's to release);
 * the flag is cleared (in balance) once it is released, so a refused release
 * leaves it as it was. VELTA_IN_USE (checks.i) checks velta_self. */
%define VELTA_SELF(TYPE)
%typemap(in, noblock=1) TYPE *self (void *argp = 0, int res = 0, int releasing = 0, PyObject *found = 0,
                                     void *velta_self = 0, swig_type_info *velta_self_type = 0) {
  argp = $disown ? NULL : velta_fast_self($input, $descriptor, &found);
  if (argp && velta_call_hold(found, argp) < 0) SWIG_fail;
  if (!argp) {
    res = SWIG_ConvertPtr($input, &argp, $descriptor, 0);
    if (!SWIG_IsOK(res)) %argument_fail(res, "$type", $symname, $argnum);
    if ($disown && velta_release(argp, $descriptor, $input) < 0) SWIG_fail;
    releasing = $disown;
  }
  $1 = ($ltype)argp;
  velta_self = releasing ? 0 : argp;
  velta_self_type = $descriptor;
  (void)velta_self, (void)velta_self_type;
}
%typemap(argout, noblock=1) TYPE *self {
  if (releasing$argnum) velta_set_owned($input, 0);
}
%enddef

/* Setters of single-pointer fields: the object stored gives up its ownership
 * (balanced), the record now referring to what it pointed to; None as self
 * changes nothing. $disown is set in member setters only, so a function
 * parameter of the same name converts as usual. HOLD 1: the record holds
 * the object stored (0 where plotting functions' arg1 has no such field). */
%define VELTA_DISOWNING(DECL, HOLD)
%typemap(in, noblock=1) DECL (void *argp = 0, int res = 0) {
  res = SWIG_ConvertPtr($input, &argp, $descriptor, 0);
  if (!SWIG_IsOK(res)) %argument_fail(res, "$type", $symname, $argnum);
  $1 = ($ltype)argp;
  if (($disown) && arg1) {
    velta_set_owned($input, 0);
%#if HOLD
    velta_field_stored(arg1, &arg1->$1_name, $input);
%#endif
  }
}
%enddef

/* Texts made by the library are copied into a str and released. A text of
 * 2^31 bytes or more cannot become a str: it is handed out as a char *
 * pointer object instead and stays allocated for vlm_data_delete. */
%typemap(newfree, noblock=1) char * {
  if (!resultobj || !SwigPyObject_Check(resultobj)) free($1);
}

/* Owned results on request (calls.cpp keeps the setting, the ledger applies
 * it): this thread's setting, set to on, the previous one given back. The
 * proxy's owned_results is the way in. */
%rename(_owned_results) velta_owned_results;
int velta_owned_results(int on);

%pythoncode %{
import contextlib as _contextlib
import typing as _typing


@_typing.overload
def owned_results(on: bool) -> bool: ...
@_typing.overload
def owned_results() -> _contextlib.AbstractContextManager[None]: ...
def owned_results(on: bool | None = None) -> bool | _contextlib.AbstractContextManager[None]:
    """owned_results(on) sets whether the records that entries make and hand
    out unowned are owned by their Python objects instead (released when the
    object goes) in this thread, and returns the previous setting;
    owned_results() is a context manager under which they are, the previous
    setting restored after. Each thread starts with it off."""
    if on is not None:
        return bool(_velta._owned_results(bool(on)))
    return _owning()


@_contextlib.contextmanager
def _owning():
    previous = _velta._owned_results(True)
    try:
        yield
    finally:
        _velta._owned_results(previous)
%}
