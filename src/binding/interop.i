/* Python protocols of the record classes: the NumPy array protocol, pickling
 * and copying, and evaluable text forms (repr). All of it is Python code on
 * top of the wrapped entries; views go through toNumpy, so they carry its
 * keep-alive and its export count.
 *
 * Vectors and matrices pickle to their elements as little-endian float64
 * bytes and rebuild through the array constructors, so the copy is a new,
 * owned record, equal bit for bit. Plain records pickle by their fields.
 * Figures and canvases borrow the data they draw and refuse.
 *
 * Text forms: up to _REPR_FULL elements are written in full with Python's
 * float repr, so that eval() in this module rebuilds an equal record;
 * longer records show _REPR_EDGE elements (matrices: rows, and columns of
 * each row) at each end and their size or shape. Matrix rows go one per
 * line, aligned under the first. */

%define VELTA_FIELD_RECORD(TAG, FIELDS)
%extend TAG {
%pythoncode %{
    _fields = FIELDS

    def __reduce__(self):
        return _rebuild_record, (type(self), tuple(getattr(self, name) for name in self._fields))

    def __repr__(self):
        return _repr(self, _describe_fields)
%}
}
%enddef
VELTA_FIELD_RECORD(s_color, ("r", "g", "b", "a", "val", "size"))
VELTA_FIELD_RECORD(s_coord_double, ("x", "y"))
VELTA_FIELD_RECORD(s_coord_int, ("x", "y"))
VELTA_FIELD_RECORD(s_slice, ("start", "step", "stop"))

%extend s_vector {
%pythoncode %{
    def __array__(self, dtype=None, copy=None):
        return _array_of(self, dtype, copy)

    def __reduce__(self):
        return _rebuild_vector, (_block_bytes(self),)

    def __repr__(self):
        return _repr(self, _describe_vector)
%}
}

%extend s_matrix {
%pythoncode %{
    def __array__(self, dtype=None, copy=None):
        return _array_of(self, dtype, copy)

    def __reduce__(self):
        shape = _whole_shape(self)
        return _rebuild_matrix, (_block_bytes(self),) + shape

    def __repr__(self):
        return _repr(self, _describe_matrix)
%}
}

%extend s_figure {
%pythoncode %{
    def __reduce__(self):
        _refuse_pickle(self, "a figure borrows the vectors and matrices it draws")

    def __repr__(self):
        return _repr(self, _describe_figure)
%}
}

%extend s_canvas {
%pythoncode %{
    def __reduce__(self):
        _refuse_pickle(self, "a canvas belongs to its figure and borrows the data it draws")
%}
}

%pythoncode %{
import numpy as _numpy

_REPR_FULL = 1000
_REPR_EDGE = 3


def _array_of(record, dtype, copy):
    """NumPy's array protocol: the view toNumpy gives, a copy when copy is
    true, a converted copy for another dtype (refused when copy is False)."""
    view = record.toNumpy()
    if dtype is not None and _numpy.dtype(dtype) != view.dtype:
        if copy is False:
            raise ValueError("a %s array of a %s needs a copy: its elements are float64"
                             % (_numpy.dtype(dtype), type(record).__name__))
        return view.astype(dtype)
    return view.copy() if copy else view


def _whole_shape(mat):
    """(rows, columns) of a matrix whose shape describes its whole block."""
    rows, cols = mat.getShape()
    if rows < 0 or cols < 0 or rows * cols != mat.size:
        raise ValueError("the matrix shape (%d, %d) does not describe its %d elements"
                         % (rows, cols, mat.size))
    return rows, cols


def _block_bytes(record):
    return record.toNumpy().astype("<f8", copy=False).tobytes()


def _rebuild_vector(data):
    return VlmVector(_numpy.frombuffer(data, "<f8"))


def _rebuild_matrix(data, rows, cols):
    return VlmMatrix(_numpy.frombuffer(data, "<f8").reshape(rows, cols))


def _rebuild_record(cls, values):
    record = cls()
    for name, value in zip(cls._fields, values):
        setattr(record, name, value)
    return record


def _refuse_pickle(record, why):
    raise TypeError("cannot pickle '%s' object: %s" % (type(record).__name__, why))


def _repr(record, describe):
    """The text form of any record. A proxy without a record, one whose
    pointer is of another type, or a state that no text can rebuild (a
    shape that disagrees with the block) is shown in angle brackets."""
    this = getattr(record, "this", None)
    if this is None:
        return "<%s: no record>" % type(record).__name__
    if not int(this):  # cleared when its record was released
        return "<%s: released>" % type(record).__name__
    try:
        return describe(record)
    except (TypeError, ValueError) as error:
        return "<%s: %s>" % (type(record).__name__, error)


def _describe_fields(record):
    return "%s(%s)" % (type(record).__name__,
                       ", ".join("%s=%r" % (name, getattr(record, name)) for name in record._fields))


def _items(view, abbreviate):
    if abbreviate and len(view) > 2 * _REPR_EDGE:
        return "%s, ..., %s" % (_items(view[:_REPR_EDGE], False), _items(view[-_REPR_EDGE:], False))
    return ", ".join(map(repr, view.tolist()))


def _describe_vector(vec):
    long = vec.size > _REPR_FULL
    return "VlmVector([%s]%s)" % (_items(vec.toNumpy(), long), ", size=%d" % vec.size if long else "")


def _describe_matrix(mat):
    rows, cols = _whole_shape(mat)
    if rows * cols == 0:
        return "VlmMatrix(%d, %d)" % (rows, cols)
    view = mat.toNumpy()
    long = rows * cols > _REPR_FULL
    if long and rows > 2 * _REPR_EDGE:
        lines = [_items(row, True) for row in view[:_REPR_EDGE]] + [None] + \
                [_items(row, True) for row in view[-_REPR_EDGE:]]
    else:
        lines = [_items(row, long) for row in view]
    body = (",\n" + " " * len("VlmMatrix([")).join("..." if line is None else "[%s]" % line for line in lines)
    return "VlmMatrix([%s]%s)" % (body, ", shape=(%d, %d)" % (rows, cols) if long else "")


def _describe_figure(fig):
    series = [vlp_set_canvas(fig, index).numOfVec for index in range(fig.size)]
    return "VlpFigure(rows=%d, cols=%d, series=%r)" % (fig.row, fig.col, series)
%}
