"""The module frame: start, constants, pointer objects, ownership, conversions."""
import gc
import sys

import numpy
import pytest

import _velta
import velta
from conftest import run_python


@pytest.mark.parametrize("call, exc, message", [
    (lambda: _velta.vlm_random(1.0), TypeError, "vlm_random expected 2 arguments, got 1"),
    (lambda: _velta.vlm_vector_new(2.0), TypeError, "in method 'vlm_vector_new', argument 1 of type 'int'"),
    (lambda: _velta.vlm_vector_new(2 ** 31), OverflowError,
     "in method 'vlm_vector_new', argument 1 of type 'int'"),
    (lambda: _velta.vlm_vector_new(numpy.int64(2)), TypeError,
     "in method 'vlm_vector_new', argument 1 of type 'int'"),
    (lambda: _velta.vlm_random("1", 2), TypeError, "in method 'vlm_random', argument 1 of type 'double'"),
    (lambda: _velta.vlm_random(1, 2 ** 1100), TypeError, "in method 'vlm_random', argument 2 of type 'double'"),
    (lambda: _velta.vlm_string_length_string(b"abc"), TypeError,
     "in method 'vlm_string_length_string', argument 1 of type 'char *'"),
    (lambda: _velta.vlm_string_length_string("\udcff"), TypeError,
     "in method 'vlm_string_length_string', argument 1 of type 'char *'"),
    (lambda: _velta.VlmVector_size_set(_velta.vlm_vector_new_zero(1), 1.5), TypeError,
     "in method 'VlmVector_size_set', argument 2 of type 'int'"),
    (lambda: _velta.vlm_vector_append_vector(_velta.vlm_vector_new_zero(1), 3), TypeError,
     "in method 'vlm_vector_append_vector', argument 2 of type 'VlmVector *'"),
    (lambda: _velta.delete_VlmVector(3), TypeError,
     "in method 'delete_VlmVector', argument 1 of type 'struct s_vector *'"),
    (lambda: _velta.vlm_data_delete(3), TypeError, "in method 'vlm_data_delete', argument 1 of type 'void *'"),
    (lambda: _velta.vlm_vector_min(_velta.new_VlmSlice()), TypeError,
     "in method 'vlm_vector_min', argument 1 of type 'VlmVector *'"),
])
def test_argument_refusals(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    assert str(info.value) == message


def test_accepted_conversions():
    assert 1.0 <= _velta.vlm_random(1, 2) <= 2.0
    assert _velta.vlm_random(numpy.float64(3.0), 3) == 3.0
    assert _velta.vlm_vector_new_zero(True).size == 1
    assert _velta.vlm_string_length_string("abc") == 3


@pytest.mark.parametrize("call", [
    lambda: _velta.vlm_vector_min(None),
    lambda: _velta.vlm_vector_get_item(None, 0),
    lambda: _velta.VlmVector_size_get(None),
    lambda: _velta.delete_VlmVector(None),
    lambda: _velta.vlm_vector_append_vector(_velta.vlm_vector_new_zero(1), None),
    lambda: _velta.VlmMatrix_r_shape_set(None, None),
    lambda: _velta.vlm_string_length_string(None),
    lambda: _velta.vlm_string_from_double_set(None, 1.0),
    lambda: _velta.vlm_sin(None),
    lambda: _velta.vlm_vector_input_function(_velta.vlm_vector_new_zero(1), None),
])
def test_none_is_refused_where_a_record_is_required(call):
    with pytest.raises((TypeError, ValueError)):
        call()


def test_none_where_the_frame_allows_it():
    assert _velta.VlmVector_size_set(None, 3) is None
    assert _velta.vlm_data_delete(None) is None
    assert _velta.delete_VlmSlice(None) is None


def test_bare_pointer_object_and_its_flag():
    p = _velta.new_VlmSlice()
    assert type(p).__name__ == "SwigPyObject"
    assert repr(p).startswith("<Swig Object of type 's_slice *' at 0x")
    assert str(p) == repr(p)
    assert p.own() is True
    assert p.own(False) is True
    assert p.own() is False
    p.acquire()
    assert p.own() is True
    p.disown()
    assert p.own() is False
    _velta.delete_VlmSlice(p)


def test_pointer_object_operations():
    a = velta.vlm_vector_new_zero(2)
    first, second = velta.vlm_vector_new_copy(a), velta.vlm_vector_new_copy(a)
    assert first.this != second.this
    assert not (first.this == second.this)
    with pytest.raises(TypeError) as info:
        first.this.append(5)
    assert str(info.value) == "Attempt to append a non SwigPyObject"
    assert int(first.this) != 0
    with pytest.raises(TypeError):
        hash(first.this)
    with pytest.raises(TypeError):
        first.this < second.this
    for rec in (a, first, second):
        velta.vlm_vector_delete(rec)


def test_text_form_shows_the_address_and_the_appended_objects():
    p, q = _velta.new_VlmSlice(), _velta.new_VlmColor()
    alone = repr(p)
    assert alone == "<Swig Object of type 's_slice *' at 0x%x>" % int(p)
    assert p.next() is None
    assert p.append(q) is None
    assert p.next() is q and q.next() is None
    assert repr(p) == str(p) == p.__repr__() == alone + "<Swig Object of type 's_color *' at 0x%x>" % int(q)
    # Two objects for one block read the same.
    v = velta.VlmVector(1)
    first, second = v.p_r_nums, v.p_r_nums
    assert first is not second and repr(first) == repr(second)


def test_getters_give_new_objects_for_the_same_record():
    m = velta.vlm_matrix_new_zero(2, 2)
    shape1, shape2 = m.r_shape, m.r_shape
    assert shape1 is not shape2
    assert shape1 == shape2
    assert repr(shape1).startswith("<Swig Object of type 'int *' at ")
    v = velta.vlm_vector_new_zero(2)
    assert v.p_r_nums is not v.p_r_nums and v.p_r_nums == v.p_r_nums
    velta.vlm_vector_delete(v)
    velta.vlm_matrix_delete(m)


def test_flat_constructor_results_are_not_owned():
    v = velta.vlm_vector_new_zero(3)
    assert isinstance(v, velta.VlmVector)
    assert v.this.own() is False
    velta.vlm_vector_delete(v)


@pytest.mark.parametrize("take", [
    lambda o: o.this.acquire(),
    lambda o: o.this.own(True),
    lambda o: setattr(o, "thisown", True),
])
def test_taking_ownership_many_times_keeps_the_runtime_intact(take, collect):
    for _ in range(3000):
        v = velta.vlm_vector_new_constant(4, 1.5)
        take(v)
        del v
    collect()
    # The runtime still knows how to release records and name their types.
    p = _velta.new_VlmSlice()
    assert "s_slice *" in repr(p)
    v = velta.vlm_vector_new_zero(1)
    v.this.acquire()
    assert velta.vlm_vector_to_string(v, 0) == "1 [0.000000]\n"


def _capsule_refs():
    gc.collect()
    return sys.getrefcount(sys.modules["swig_runtime_data4"].type_pointer_capsule)


def _owned_pointer(make):
    value = make()
    (value if type(value).__name__ == "SwigPyObject" else value.this).acquire()
    return value


# Records that may take a foreign record (an interior pointer cannot be owned).
SINGLE_POINTER_FIELDS = {
    "VlmPlotData.vecx": (lambda: velta.VlmPlotData(), "vecx", lambda: velta.vlm_vector_new_zero(1)),
    "VlpCanvas.p_r_color": (lambda: velta.VlpCanvas(), "p_r_color", lambda: velta.VlmColor()),
    "VlpFigure.p_r_canvas": (lambda: velta.vlp_figure_new(1, 1), "p_r_canvas", lambda: velta.VlpCanvas()),
}


@pytest.mark.parametrize("field", sorted(SINGLE_POINTER_FIELDS))
def test_single_pointer_setter_takes_ownership_away_in_balance(field):
    make_record, name, make_value = SINGLE_POINTER_FIELDS[field]
    record = make_record()
    value = _owned_pointer(make_value)
    flag = value if type(value).__name__ == "SwigPyObject" else value.this
    before = _capsule_refs()
    setattr(record, name, value)
    assert flag.own() is False
    assert _capsule_refs() == before - 1
    stored = getattr(record, name)
    assert int(stored if type(stored).__name__ == "SwigPyObject" else stored.this) == int(flag)
    # Without a record nothing is stored and the value keeps its record.
    other = _owned_pointer(make_value)
    setter = getattr(_velta, "%s_%s_set" % (field.split(".")[0], name))
    assert setter(None, other) is None
    other_flag = other if type(other).__name__ == "SwigPyObject" else other.this
    assert other_flag.own() is True
    if other_flag is other:
        other.disown()  # a bare double * has no destructor to be released with


@pytest.mark.parametrize("field", ["VlmPlotData.vecx", "VlpCanvas.p_r_color"])
def test_plain_record_destructor_frees_only_the_record(field, collect):
    cls, name = field.split(".")
    record = getattr(velta, cls)()
    value = velta.VlmVector(3, 2.5) if name == "vecx" else velta.VlmColor()
    setattr(record, name, value)
    assert getattr(_velta, "delete_" + cls)(record) is None
    assert record.this.own() is False
    # What the record pointed to is still alive and still the caller's.
    value.this.acquire()
    if name == "vecx":
        assert velta.vlm_vector_to_string(value, 0) == "3 [2.500000, 2.500000, 2.500000]\n"
    else:
        value.r = 7
        assert value.r == 7
    del record, value
    collect()


MAKERS = {"VlpFigure": lambda: velta.VlpFigure(1, 2), "VlmVector": lambda: velta.VlmVector(3),
          "VlmMatrix": lambda: velta.VlmMatrix(2, 2), "s_iter": lambda: iter(velta.VlmVector(0))}


@pytest.mark.parametrize("cls", ["VlmSlice", "VlmColor", "VlmPlotData", "VlmCoordDouble", "VlmCoordInt",
                                 "VlpCanvas", "VlpFigure", "VlmVector", "VlmMatrix", "s_iter"])
def test_release_of_records_keeps_the_runtime_balanced(cls):
    make = MAKERS.get(cls) or getattr(velta, cls)
    before = _capsule_refs()
    for _ in range(50):
        record = make()
        del record
    assert _capsule_refs() == before
    record = make()
    assert _capsule_refs() == before + 1
    assert getattr(_velta, "delete_" + cls)(record) is None
    assert record.this.own() is False
    assert _capsule_refs() == before


def test_refused_canvas_release_keeps_the_flag():
    fig = velta.VlpFigure(1, 1)
    can = velta.vlp_set_canvas(fig, 0)
    with pytest.raises(ValueError, match="lives inside another record"):
        can.this.acquire()
    with pytest.raises(ValueError, match="lives inside a VlpFigure"):
        _velta.delete_VlpCanvas(can)
    assert can.this.own() is False


def test_explicit_release_disowns_the_object(collect):
    v = velta.vlm_vector_new_zero(3)
    v.this.acquire()
    velta.vlm_vector_delete(v)
    assert v.this.own() is False
    w = velta.vlm_vector_new_zero(3)
    w.this.acquire()
    with pytest.raises(ValueError, match="belongs to a VlmVector"):
        velta.vlm_data_delete(w.p_r_nums)
    velta.vlm_data_delete(w)
    assert w.this.own() is False
    del v, w
    collect()


def test_import_without_numpy_fails_after_printing_the_cause():
    out = run_python(
        "class Block:\n"
        "    def find_spec(self, name, path=None, target=None):\n"
        "        if name.split('.')[0] == 'numpy':\n"
        "            raise ImportError('numpy is blocked here')\n"
        "sys.meta_path.insert(0, Block())\n"
        "try:\n"
        "    import _velta\n"
        "except ImportError as e:\n"
        "    print(type(e).__name__, e)\n"
        "print('_velta' in sys.modules)\n")
    assert out.stdout == "ImportError numpy.core.multiarray failed to import\nFalse\n"
    assert "ImportError: numpy is blocked here" in out.stderr


def test_swiginit_appends_to_an_existing_pointer_object():
    colour = velta.VlmColor()
    extra = _velta.new_VlmColor()
    assert _velta.VlmColor_swiginit(colour, extra) is None
    assert colour.this.next() is extra

    class Bare:
        pass
    bare = Bare()
    first = _velta.new_VlmColor()
    _velta.VlmColor_swiginit(bare, first)
    assert bare.this is first
    # Anything but a pointer object to append is refused (it was a crash).
    for value in ("", 3, None):
        with pytest.raises(TypeError, match="Attempt to append a non SwigPyObject"):
            _velta.VlmColor_swiginit(colour, value)
    assert colour.this.next() is extra


def test_swigregister_takes_only_a_class_with_the_types_own_destructor():
    # Another type's destructor would release records of this type.
    with pytest.raises(TypeError, match="must be _velta.delete_VlmCoordDouble"):
        _velta.VlmCoordDouble_swigregister(velta.VlmMatrix)
    assert type(velta.VlpFigure(1, 1).p_r_canvas.min) is velta.VlmCoordDouble
    out = run_python(
        "import _velta\n"
        "class Odd: __swig_destroy__ = 5\n"
        "class Other: __swig_destroy__ = _velta.delete_VlmVector\n"
        "for klass in (3, type(iter([])), Odd, Other):\n"
        "    try: _velta.VlmColor_swigregister(klass)\n"
        "    except TypeError as e: print(e)\n"
        "class Good: __swig_destroy__ = _velta.delete_VlmColor\n"
        "_velta.VlmColor_swigregister(Good)\n"
        "print(type(_velta.new_VlmColor()).__name__)\n"
        "import importlib, velta\n"
        "fresh = importlib.reload(velta)\n"
        "print(type(fresh.vlm_vector_new_zero(1)) is fresh.VlmVector)\n")
    assert out.stdout.splitlines() == ["swigregister: expected a class that can make instances"] * 2 + [
        "swigregister: __swig_destroy__ must be _velta.delete_VlmColor"] * 2 + ["SwigPyObject", "True"]


def test_leak_warning_before_the_class_is_registered():
    out = run_python("import _velta\n"
                     "p = _velta.new_VlmVector(3)\n"
                     "del p\n")
    assert out.stdout == "swig/python detected a memory leak of type 's_vector *', no destructor found.\n"
