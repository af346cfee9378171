/* Console printing and number-to-text functions (console.cpp): the value lists of the
 * variadic print functions, room for the append functions, the one format
 * that vlm_string_from_double_set takes from Python, and text results. */

/* ---- value lists ---------------------------------------------------------
 * The Python arguments after the fixed ones are the values, one per letter
 * d, c, f or s of fmt, in order: d and c take an int, f a float or an int,
 * s a str. Values beyond those letters are accepted and ignored. The library
 * is called through its non-variadic twin, so it reads exactly the values
 * converted here. */

/* The actions here and the vector's read the variadic part from varargs;
 * the placeholder argument SWIG declares for "..." is marked used. */
%typemap(arginit, noblock=1) (...) {
  (void)$1;
}

%feature("action") vlm_print_values {
  if (velta_print_values("vlm_print_values", 3, arg1, arg2, arg3, varargs) < 0) SWIG_fail;
  result = NULL;
}
%feature("action") vlm_print_values_space {
  if (velta_print_values("vlm_print_values_space", 1, " ", "\n", arg1, varargs) < 0) SWIG_fail;
  result = NULL;
}
%feature("action") vlm_print_values_new_line {
  if (velta_print_values("vlm_print_values_new_line", 1, "\n", " ", arg1, varargs) < 0) SWIG_fail;
  result = NULL;
}

/* ---- append targets ------------------------------------------------------
 * The library appends into the target without measuring it. A str target is
 * copied into a temporary with room for the longest number text ("%f" of a
 * double: sign, 309 digits, point, six decimals); what is written there is
 * dropped with the temporary, as for every char * argument. A char *
 * pointer object carries no size, so it is refused rather than written past
 * its end. */

%typemap(in, noblock=1) char *target {
  if (velta_append_target($input, "$symname", &$1) < 0) SWIG_fail;
}
%typemap(freearg, noblock=1) char *target {
  free($1);
}

/* ---- the caller's format -------------------------------------------------
 * vlm_string_from_double_set hands fmt to the C formatter with one double.
 * Any other conversion in fmt would read arguments that were never passed
 * (or write through %n), so fmt must hold exactly one double conversion:
 * flags, width, precision and an "l" are allowed, no "*"; "%%" is literal. */
VELTA_MEMORY(vlm_string_from_double_set, velta_double_format_check(arg1))
VELTA_MEMORY(vlm_string_from_integer, 0)
VELTA_MEMORY(vlm_string_from_double, 0)

/* Text results are copied into a str and the library's buffer released. */
%newobject vlm_string_from_integer;
%newobject vlm_string_from_double;
%newobject vlm_string_from_double_set;
