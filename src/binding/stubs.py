"""Writes the type stubs of the proxy module velta or of the extension _velta,
read from the built modules:

    stubs.py VELTA_STUBS _VELTA_STUBS

Each argument is the folder of a stub-only package (PEP 561: the form a type
checker finds for a top-level module), velta-stubs and _velta-stubs, into
which the stub is written as __init__.pyi.

SWIG documents every wrapped entry with its C signature (autodoc level 3: the
declared type of each parameter and of the result, one line per overload);
the tables below map those C types to Python types. A few entries get from
Python something else than their C declaration says (a typemap folds or adds
arguments, or makes the result), and the methods written in Python carry no C
signature: SIGNATURES gives those. An entry that no rule types is written
with Any and the comment "# UNTYPED", which the surface test refuses: give it
a row here (or annotations, for a function written in Python).
"""
import inspect
import os
import re
import sys
from typing import get_overloads

# Python types of the declared C types of parameters.
PARAMETERS = {
    "int": "int",
    "unsigned int": "int",
    "long": "int",
    "bool": "bool",
    "double": "float",
    "float": "float",
    "char *": "str",
    "char const *": "str",
    "const char *": "str",
    "void *": "object",
    "PyObject *": "object",
    "void (*)(double *)": "Callable[[_SwigPyObject], None]",
}
# Results differ where the binding converts them: texts become str, and the
# untyped library results carry no value (Python sees None).
RESULTS = dict(PARAMETERS, **{
    "void *": "None",
    "p_vectorString_t": "str",
    "p_matrixString_t": "str",
    "bytes": "bytes",
})
# Parameters of these names are arrays (numpy.i folds data and dimensions
# into one array-like argument).
ARRAY_PARAMETERS = {"ndarray_in": "ArrayLike"}
ARRAY = "NDArray[float64]"

# Entries of _velta (by name; the proxy's methods are these entries) whose
# Python signature is not their C one.
SIGNATURES = {
    "VlmVector_toNumpy": "(self: VlmVector, /) -> %s" % ARRAY,
    "VlmMatrix_toNumpy": "(self: VlmMatrix, /) -> %s" % ARRAY,
    "vlm_vector_to_array": "(vec: VlmVector, /) -> %s" % ARRAY,
    "vlm_matrix_to_array": "(mat: VlmMatrix, /) -> %s" % ARRAY,
    "VlmMatrix_getShape": "(self: VlmMatrix, /) -> tuple[int, int]",
    "VlmMatrix___getitem__": "(self: VlmMatrix, key: tuple[int, int], /) -> float",
    "VlmMatrix___setitem__": "(self: VlmMatrix, key: tuple[int, int], value: float, /) -> None",
    # Mismatched inner sizes give None.
    "VlmMatrix___matmul__": "(self: VlmMatrix, mat2: VlmMatrix, /) -> VlmMatrix | None",
    "vlm_matrix_new_multiplication": "(mat1: VlmMatrix, mat2: VlmMatrix, /) -> VlmMatrix | None",
    "VlpFigure_savefig": "(self: VlpFigure, target: _Target, width: int = 800, height: int = 600, "
                         "format: str | None = None) -> None",
    "VlpFigure__repr_png_": "(self: VlpFigure, /) -> bytes",
    "VlpFigure_legend": "(self: VlpFigure, canvas: int, loc: str = 'upper right', on: int = 1) -> None",
    "SWIG_PyInstanceMethod_New": "(func: Callable[..., Any], /) -> Callable[..., Any]",
    # The variadic entries: the values follow the fixed arguments.
    "vlm_print_values": "(inbetween: str, end: str, fmt: str, /, *values: float | str) -> None",
    "vlm_print_values_space": "(fmt: str, /, *values: float | str) -> None",
    "vlm_print_values_new_line": "(fmt: str, /, *values: float | str) -> None",
    "vlm_vector_new_values": "(size: int, /, *values: float) -> VlmVector",
}
# The class entries every record has, by their suffix or prefix.
HOOKS = [
    (r"(\w+)_swigregister$", "(cls: type, /) -> None"),
    (r"(\w+)_swiginit$", "(self: %s, ptr: _SwigPyObject, /) -> None"),
    (r"new_(\w+)$", "(*args: Any) -> _SwigPyObject"),
]
# Methods written in Python (the proxy's protocols), for every class that has them.
PYTHON_METHODS = {
    "__array__": "(self, dtype: DTypeLike = None, copy: bool | None = None) -> NDArray[Any]",
    "__reduce__": "(self) -> tuple[Any, ...]",
    "__repr__": "(self) -> str",
}
REFUSED_REDUCE = "(self) -> NoReturn"

HEADER = '''# Written by src/binding/stubs.py from the built module; do not edit.
import contextlib
import os
from typing import Any, BinaryIO, Callable, NoReturn, Union, overload, type_check_only

from numpy import float64
from numpy.typing import ArrayLike, DTypeLike, NDArray
'''
POINTER = '''
@type_check_only
class _SwigPyObject:
    """The pointer object behind a record (its this attribute) or a bare pointer."""
    def own(self, flag: object = ..., /) -> bool: ...
    def acquire(self) -> None: ...
    def disown(self) -> None: ...
    def append(self, obj: _SwigPyObject, /) -> None: ...
    def next(self) -> _SwigPyObject | None: ...
    def __int__(self) -> int: ...

_Target = Union[str, bytes, os.PathLike[str], os.PathLike[bytes], BinaryIO]
'''

SIGNATURE_LINE = re.compile(r"^(\w+)\((.*)\)(?: -> (.+))?$")
UNTYPED = "(*args: Any, **kwargs: Any) -> Any: ...  # UNTYPED"


class Typing:
    """Maps C declarations to Python annotations; records are the proxy classes."""

    def __init__(self, velta):
        self.records = {name for name, value in vars(velta).items()
                        if inspect.isclass(value) and hasattr(value, "__swig_destroy__")}

    def python(self, ctype, table):
        ctype = ctype.strip()
        if ctype in table:
            return table[ctype]
        bare = ctype.replace("struct ", "").rstrip(" *")
        if bare in self.records and ctype.count("*") <= 1:
            return bare
        if "*" in ctype or "[" in ctype:  # other pointers and arrays: a pointer object
            return "_SwigPyObject"
        return None

    def parameter(self, text):
        """'double min' -> ('min', 'float'); None when the type is unknown."""
        ctype, _, name = text.rpartition(" ")
        kind = ARRAY_PARAMETERS.get(name) or self.python(ctype, PARAMETERS)
        return name, kind

    def signatures(self, doc):
        """The typed forms (parameters, result) of an autodoc docstring, or
        None when a type is unknown."""
        forms = []
        for line in (doc or "").splitlines():
            match = SIGNATURE_LINE.match(line.strip())
            if not match:
                continue
            params = [self.parameter(p) for p in match.group(2).split(", ") if p]
            result = self.python(match.group(3), RESULTS) if match.group(3) else "None"
            if result is None or any(kind is None for _, kind in params):
                return None
            form = (params, result)
            if form not in forms:
                forms.append(form)
        return forms or None

    def field(self, prop):
        """The annotation of a field property, from its doc 'name : TYPE'
        (TYPE in SWIG's notation: p.X a pointer to X, a(2).X an array)."""
        kind = (prop.__doc__ or "").partition(" : ")[2]
        if kind.startswith("p."):
            target = kind[2:]
            return (target if target in self.records else "_SwigPyObject") + " | None"
        if kind.startswith("a("):
            return "_SwigPyObject"
        return self.python(kind, PARAMETERS)


def written(params, result, self_type=None):
    """'(a: int, b: float, /) -> None' from typed parameters; a first
    parameter named self is typed self_type (or left bare in a class)."""
    parts = []
    for name, kind in params:
        if name == "self":
            parts.append("self" if self_type is None else "self: " + self_type)
        else:
            parts.append("%s: %s" % (name, kind))
    return "(%s) -> %s" % (", ".join(parts + ["/"]) if parts else "", result)


def in_class(signature):
    """A signature of a flat entry as the method of its class: self untyped."""
    return re.sub(r"^\(self: \w+", "(self", signature)


def flat_entry(typing, name, function):
    """The signatures of one _velta entry, as written in a stub."""
    if name in SIGNATURES:
        return [SIGNATURES[name]]
    for pattern, signature in HOOKS:
        match = re.match(pattern, name)
        if match:
            return [signature % match.group(1) if "%s" in signature else signature]
    forms = typing.signatures(function.__doc__)
    if forms is None:
        return None
    owner = next((r for r in typing.records if name.startswith(r + "_") or name == "delete_" + r), None)
    return [written(params, result, owner) for params, result in forms]


def define(name, signatures, indent=""):
    if signatures is not None:
        # an array-like form would also match the record forms: it goes last
        signatures = sorted(dict.fromkeys(signatures), key=lambda s: "ArrayLike" in s)
    if signatures is None:
        return ["%sdef %s%s" % (indent, name, UNTYPED)]
    if len(signatures) == 1:
        return ["%sdef %s%s: ..." % (indent, name, signatures[0])]
    return ["%s@overload\n%sdef %s%s: ..." % (indent, indent, name, s) for s in signatures]


def python_signature(function):
    """The signature of a function written in Python, when it is annotated
    throughout."""
    try:
        signature = inspect.signature(function)
    except (TypeError, ValueError):
        return None
    params = [p for p in signature.parameters.values() if p.name != "self"]
    if signature.return_annotation is inspect.Signature.empty or \
            any(p.annotation is inspect.Parameter.empty for p in params):
        return None
    return str(signature)


def class_lines(typing, cls):
    lines = ["", "class %s:" % cls.__name__, "    this: _SwigPyObject"]
    for attr, value in vars(cls).items():
        if attr in ("__module__", "__doc__", "__dict__", "__weakref__", "__swig_destroy__"):
            continue
        if isinstance(value, property):
            kind = "bool" if attr == "thisown" else typing.field(value)
            lines.append("    %s: %s" % (attr, kind) if kind else "    %s: Any  # UNTYPED" % attr)
        elif attr == "__init__":
            forms = typing.signatures(value.__doc__)
            signatures = None if forms is None else \
                [written([("self", None)] + [p for p in params if p[0] != "self"], "None") for params, _ in forms]
            lines += define(attr, signatures, "    ")
        elif inspect.isbuiltin(getattr(value, "__func__", None)):
            # a method that is an entry of the extension
            entry = flat_entry(typing, value.__func__.__name__, value.__func__)
            lines += define(attr, None if entry is None else [in_class(s) for s in entry], "    ")
        elif inspect.isfunction(value):
            if attr == "__reduce__" and "_refuse_pickle" in value.__code__.co_names:
                signature = REFUSED_REDUCE
            else:
                signature = python_signature(value) or PYTHON_METHODS.get(attr)
            lines += define(attr, None if signature is None else [signature], "    ")
        elif attr.startswith("_") and not attr.endswith("__"):
            lines.append("    %s: %s" % (attr, "tuple[str, ...]" if isinstance(value, tuple) else "Any"))
        else:
            lines.append("    %s: Any  # UNTYPED" % attr)
    return lines


def velta_stub(velta, typing):
    lines = [HEADER, POINTER]
    for name, value in vars(velta).items():
        if name.startswith("_") and name != "__version__":
            continue
        if inspect.isclass(value):
            lines += class_lines(typing, value)
        elif isinstance(value, (int, str)) and not isinstance(value, bool):
            lines.append("%s: %s" % (name, type(value).__name__))
        elif inspect.isbuiltin(value):
            lines += define(name, flat_entry(typing, name, value))
        elif inspect.isfunction(value):
            # a function with typing overloads is written with those
            signatures = [python_signature(f) for f in get_overloads(value) or [value]]
            lines += define(name, None if None in signatures else signatures)
        else:
            lines.append("%s: Any  # UNTYPED" % name)
    return lines


def extension_stub(extension, typing):
    lines = [HEADER, "from velta import %s" % ", ".join(sorted(typing.records)), POINTER]
    for name, value in vars(extension).items():
        if name.startswith("__"):
            continue
        if isinstance(value, int):
            lines.append("%s: int" % name)
        elif callable(value):
            lines += define(name, flat_entry(typing, name, value))
    return lines


def main(velta_stubs, extension_stubs):
    import _velta
    import velta
    typing = Typing(velta)
    for folder, lines in ((velta_stubs, velta_stub(velta, typing)),
                          (extension_stubs, extension_stub(_velta, typing))):
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "__init__.pyi"), "w") as out:
            out.write("\n".join(lines) + "\n")
        os.utime(folder)  # the build's output is the folder: now newer than its inputs


if __name__ == "__main__":
    main(*sys.argv[1:])
