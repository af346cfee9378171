"""No call from Python, whatever its argument values, and no sequence of calls
may crash the interpreter.

A bounded, seeded fuzz runs in a child process (run this file as a script) so
that a crash, an AddressSanitizer or an UBSan report fails the test instead of
killing pytest. It calls every callable of _velta and every method and field
of the proxy classes, many times, with 0 to (parameters + 1) arguments drawn
from a pool of odd values, NumPy arrays, live records in whatever state earlier
calls left them, and pointer objects read from their fields. Arguments are
mostly drawn to fit the declared parameter types, so that calls get past the
conversions. Each call must return or raise an ordinary exception; SystemError
counts as a fault. The records are released at the end of the child, which
exercises the destructors on the states reached.

Left out by design, since they do what they are told:
  (a) use of a record after it was released explicitly (vlm_*_delete,
      vlp_figure_delete, vlm_data_delete, delete_<Class>): these entries only
      ever get freshly made records, never used again;
  (b) field setters that store raw pointers or counts (p_r_nums, size,
      r_shape, the p_r_* fields, VlpFigure.size/row/col/p_r_canvas,
      VlpCanvas.numOfVec/row/col, VlmColor.size, s_iter.ptr/len,
      VlmPlotData.vecx/vecy) followed by use: they only get fresh records,
      which are then abandoned without being released; nor does the r_shape
      setter, which copies two ints from the pointer it is given, get
      pointer objects;
  (c) show and vlp_show, which block on a window;
  (d) vlm_sin and vlm_vector_input_function with pointer objects to foreign
      memory: they get no pointer objects, nor proxies (swiginit may have
      appended one to them);
  and the ownership switches (thisown, acquire, own, disown), which tell the
  binding which records to release.

What that fuzz leaves out, the sequence fuzz covers: short seeded programs
of ordinary calls over a few live records (releases, uses after them, raw
field writes followed by use, pointers read from fields and handed back,
ownership switches, drawing, growth, and any of these taken from inside a
call's argument conversion), each run to its end and then collected, again
in a child process.
"""
import os
import random
import re
import subprocess
import sys

import pytest


SANITIZED = os.environ.get("VELTA_SANITIZED") == "1"

RAW_SETTER = re.compile(r"(_|^)(p_r_\w+|size|r_shape|row|col|numOfVec|ptr|len|vecx|vecy)(_set)?$")
RELEASERS = re.compile(r"^(delete_\w+|vlm_vector_delete|vlm_matrix_delete|vlp_figure_delete|vlm_data_delete)$")
SKIPPED = {"vlp_show", "VlpFigure_show", "show", "__swig_destroy__", "thisown", "acquire", "own", "disown", "__del__",
           "__init_subclass__", "__subclasshook__", "__new__", "__getattribute__", "__setattr__",
           "__delattr__", "__reduce__", "__reduce_ex__", "__dir__", "__format__", "__sizeof__"}
NO_POINTERS = {"vlm_sin", "vlm_vector_input_function", "VlmMatrix_r_shape_set", "VlmMatrix.r_shape="}
KIND_OF_TYPE = [("VlmVector", "vec"), ("s_vector", "vec"), ("VlmMatrix", "mat"), ("s_matrix", "mat"),
                ("VlpFigure", "fig"), ("VlpCanvas", "can"), ("VlmColor", "clr"), ("s_iter", "iter"),
                ("VlmCoordDouble", "cd"), ("VlmCoordInt", "ci"), ("VlmPlotData", "pd"), ("VlmSlice", "sl"),
                ("double *", "arr"), ("char *", "str"), ("double", "float"), ("int", "int")]


def signature(entry, doc):
    """(parameter kinds, arity) from the autodoc lines "name(T a, U b)"; several for overloads."""
    best = []
    for params in re.findall(r"^\w+\((.*?)\)", doc or "", re.M):
        kinds = []
        for p in filter(None, (s.strip() for s in params.split(","))):
            kinds.append(next((k for t, k in KIND_OF_TYPE if p.startswith(t)), None))
        best = kinds if len(kinds) > len(best) else best
    arity = len(best) + (4 if "print_values" in entry or "new_values" in entry else 0)
    return best, max(arity, 2 if doc is None else len(best))


def build_pool(np, velta, tmp):
    pool = {"int": [0, 1, -1, 2, 3, 5, 2 ** 31 - 1, -2 ** 31, 2 ** 31, 2 ** 63],
            "float": [0.0, -0.0, 0.5, 1e308, -1e308, float("inf"), float("-inf"), float("nan"), 1e-320],
            "str": ["", "abc", "%s%n", "\udcff", os.path.join(tmp, "f.png"), os.path.join(tmp, "f.svg"),
                    "%f", "%.3e"],
            "other": [None, b"x", [], [1.0, 2.0], [[1.0, 2.0], [3.0, 4.0]], (0, 1), (1, -1), (2 ** 31, 0)],
            "arr": [np.zeros(0), np.array(2.0), np.arange(3.0), np.ones((2, 3)), np.ones((2, 2, 2)),
                    np.arange(4), np.ones(3, complex), np.arange(3.0).astype(">f8"), np.arange(8.0)[::2],
                    np.ones((3, 4))[:, ::2]]}
    vecs = [velta.vlm_vector_new_zero(0), velta.vlm_vector_new_values(3, 1.0, 2.0, 3.0), velta.VlmVector(5),
            velta.VlmVector(2, float("nan"))]
    mats = [velta.vlm_matrix_new_zero(0, 0), velta.vlm_matrix_new_constant(2, 3, 1.5), velta.VlmMatrix(2, 2, 0.5),
            velta.VlmMatrix(1)]
    fig1, fig2 = velta.vlp_subplots(1, 1), velta.VlpFigure(2, 3)
    fig1.plot(0, vecs[1], vecs[2])
    fig2.plot(0, vecs[1], vecs[1])
    fig2.scatter(1, vecs[3], vecs[2])
    fig2.imshow(2, mats[1])
    cans = [velta.vlp_set_canvas(fig1, 0), velta.vlp_set_canvas(fig2, 2), velta.vlp_set_canvas(fig2, 5),
            velta.VlpCanvas()]
    clrs = [velta.vlp_color_pallete_canvas_set_size(cans[1], 0, 3), velta.VlmColor()]
    iters = [iter(vecs[1]), iter(mats[1]), velta.s_iter()]
    pool.update(vec=vecs, mat=mats, fig=[fig1, fig2, velta.VlpFigure(0, 0)], can=cans, clr=clrs, iter=iters,
                cd=[velta.VlmCoordDouble(), cans[0].min], ci=[velta.VlmCoordInt()],
                pd=[velta.VlmPlotData()], sl=[velta.VlmSlice()])
    pool["ptr"] = [vecs[1].p_r_nums, mats[1].r_shape, cans[1].p_r_vecx, cans[1].p_r_mat, cans[1].p_r_color,
                   cans[1].p_r_color_pallete, cans[1].p_r_type, fig2.p_r_canvas, iters[0].ptr, vecs[1].this]
    return pool


def fresh(velta, kind):
    """A record of the kind made for one call only."""
    make = {"vec": lambda: velta.vlm_vector_new_constant(3, 1.0), "mat": lambda: velta.VlmMatrix(2, 3, 1.0),
            "fig": lambda: velta.VlpFigure(1, 2), "can": velta.VlpCanvas, "clr": velta.VlmColor,
            "iter": velta.s_iter, "cd": velta.VlmCoordDouble, "ci": velta.VlmCoordInt,
            "pd": velta.VlmPlotData, "sl": velta.VlmSlice}
    return make[kind]() if kind in make else None


def fuzz(seed, rounds, log_path):
    import numpy as np
    import _velta
    import velta
    rng = random.Random(seed)
    log = os.open(log_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC)
    tmp = os.path.dirname(log_path)
    entries = []  # (name, call(args) or None for a record method, class kind, parameter kinds, arity)
    for name in sorted(dir(_velta)):
        fn = getattr(_velta, name)
        if callable(fn) and not isinstance(fn, type) and name not in SKIPPED:
            kinds, arity = signature(name, fn.__doc__)
            entries.append((name, fn, None, kinds, arity))
    for cls_name, kind in KIND_OF_TYPE[:12]:
        cls = getattr(velta, cls_name, None)
        if cls is None or cls_name.startswith("s_") and kind != "iter":
            continue
        for attr in sorted(set(dir(cls)) - set(dir(object)) - SKIPPED | {"__init__", "__repr__", "__str__"}):
            if isinstance(getattr(cls, attr, None), property):
                entries.append(("%s.%s=" % (cls_name, attr), None, kind, ["any"], 1))
            else:
                doc = getattr(getattr(cls, attr), "__doc__", None)
                kinds, arity = signature(attr, doc if doc and cls_name in doc else None)
                entries.append(("%s.%s" % (cls_name, attr), None, kind, kinds[1:], max(arity - 1, 1)))
    pool = None
    calls = system_errors = 0
    for rnd in range(rounds):
        if rnd % 4 == 0:
            pool = build_pool(np, velta, tmp)  # earlier records live on through the objects they keep
        everything = [v for k, vs in pool.items() for v in vs]
        for name, fn, self_kind, kinds, arity in rng.sample(entries, len(entries)):
            short = name.split(".")[-1].rstrip("=")
            releasing = bool(RELEASERS.match(short))
            raw = bool(RAW_SETTER.search(short)) and (short.endswith("_set") or name.endswith("="))
            for _ in range(8):
                n = len(kinds) if rng.random() < 0.6 else rng.randint(0, arity + 1)
                args = []
                for i in range(n):
                    kind = kinds[i] if i < len(kinds) else None
                    if (releasing or raw) and i == 0 and fn is not None:
                        args.append(fresh(velta, kind or rng.choice(list(pool))) if rng.random() < 0.8
                                    else rng.choice(pool["int"] + pool["other"]))
                    elif kind in pool and rng.random() < 0.9:
                        args.append(rng.choice(pool[kind] + (pool["int"] if kind == "float" else [])))
                    else:
                        args.append(rng.choice(everything))
                    if name in NO_POINTERS and (hasattr(args[-1], "this") or hasattr(args[-1], "own")):
                        args[-1] = None  # a proxy may carry a foreign pointer object appended by swiginit
                    if releasing and i > 0:
                        args[-1] = rng.choice(pool["int"])
                if self_kind:
                    target = fresh(velta, self_kind) if raw or releasing else rng.choice(pool[self_kind])
                os.write(log, ("%s%s\n" % (name, tuple(map(describe, args)))).encode("utf-8", "replace"))
                calls += 1
                try:
                    if fn is not None:
                        result = fn(*args)
                    elif name.endswith("="):
                        setattr(target, short, args[0]) if args else getattr(target, short)
                    else:
                        result = getattr(target, short)(*args)
                        if short == "__iter__" and self_kind != "iter":
                            next(result, None)
                except SystemError as error:
                    system_errors += 1
                    os.write(log, ("SystemError: %s\n" % error).encode())
                except Exception:
                    pass
                if raw:  # abandoned: its fields may now hold anything
                    for a in [target] if self_kind else args[:1]:
                        if hasattr(a, "this"):
                            a.this.disown()
                result = None
    os.write(log, ("done %d calls, %d SystemError\n" % (calls, system_errors)).encode())
    return system_errors


def world(velta):
    """A few live records that draw, view and point into each other."""
    x, y, m = velta.vlm_vector_new_linspace(0, 1, 5), velta.VlmVector([3.0, 1.0, 2.0]), velta.VlmMatrix(2, 3, 1.0)
    f = velta.VlpFigure(1, 2)
    return {"x": x, "y": y, "m": m, "f": f, "c": velta.vlp_set_canvas(f, 0), "clr": velta.VlmColor(),
            "it": iter(y), "lone": velta.VlpCanvas(), "p": x.p_r_nums, "shape": m.r_shape}


def steps(velta, w, rng, png):
    """The calls a program is made of, each a function of the world w."""
    from conftest import reentering
    vec = lambda: w[rng.choice("xy")]  # noqa: E731
    anything = lambda: rng.choice(list(w.values()))  # noqa: E731
    count = lambda: rng.choice([0, 1, 2, 7, 2 ** 31 - 1, -1])  # noqa: E731
    field = lambda: rng.choice([None, w["p"], w["shape"], w["c"].p_r_type, w["f"].p_r_canvas,  # noqa: E731
                                w["lone"], w["clr"], velta.VlmVector(2).p_r_nums])
    calls = [
        lambda: velta.vlm_vector_delete(vec()), lambda: velta._velta.delete_VlmVector(vec()),
        lambda: velta.vlm_matrix_delete(w["m"]), lambda: velta.vlp_figure_delete(w["f"]),
        lambda: velta._velta.delete_VlmColor(w["clr"]), lambda: velta._velta.delete_VlpCanvas(w["c"]),
        lambda: velta.vlm_data_delete(anything()), lambda: velta.vlm_data_delete(w["p"]),
        lambda: vec()[rng.randint(0, 6)], lambda: len(vec()), lambda: list(vec()), lambda: vec().max(),
        lambda: vec().append(vec()), lambda: vec().append(1.0), lambda: vec().sort(), lambda: str(vec()),
        lambda: w["m"].transpose(), lambda: w["m"].copyShape(velta.VlmMatrix(rng.randint(0, 40), 3)),
        lambda: str(w["m"]), lambda: w["m"].toNumpy().sum(), lambda: w.update(view=vec().toNumpy()),
        lambda: w["f"].plot(rng.randint(0, 1), vec(), vec()), lambda: w["f"].imshow(1, w["m"]),
        lambda: velta.vlp_scatter(w["lone"], vec(), vec()), lambda: w["f"].savefig(png, 40, 30),
        lambda: velta.vlp_color_pallete_canvas_set_size(w["c"], 0, rng.randint(1, 4)),
        lambda: next(w["it"]), lambda: w.update(it=iter(vec())), lambda: velta.vlm_sin(w["p"]),
        lambda: w.update(p=vec().p_r_nums), lambda: w.update(shape=w["m"].r_shape),
        lambda: w.update(c=velta.vlp_set_canvas(w["f"], rng.randint(0, 1))),
        lambda: setattr(vec(), "size", count()), lambda: setattr(w["m"], "size", count()),
        lambda: setattr(w["it"], "len", count()), lambda: setattr(w["it"], "ptr", field()),
        lambda: setattr(vec(), "p_r_nums", field()), lambda: setattr(w["m"], "r_shape", field()),
        lambda: setattr(w["f"], "size", count()), lambda: setattr(w["f"], "p_r_canvas", field()),
        lambda: setattr(w["c"], "numOfVec", count()), lambda: setattr(w["c"], "p_r_type", field()),
        lambda: setattr(w["c"], "p_r_color_pallete", None), lambda: setattr(w["clr"], "size", count()),
        lambda: setattr(anything(), "thisown", rng.random() < 0.5), lambda: anything().this.acquire(),
        lambda: setattr(anything(), "this", anything()), lambda: anything().this.append(anything().this),
        lambda: w.pop(rng.choice(list(w))) and None, lambda: w.update(x=velta.VlmVector(3)),
        lambda: w["f"].set_title(rng.randint(0, 1), rng.choice(["", "Title", "\u00fc" * 300])),
        lambda: velta.vlp_set_ylabel(w[rng.choice(["c", "lone"])], rng.choice(["", "y"])),
        lambda: w["f"].set_label(rng.randint(0, 1), rng.randint(0, 2), rng.choice(["", "a"])),
        lambda: velta.vlp_set_label(w["lone"], count(), "b"),
        lambda: w["f"].legend(rng.randint(0, 1), rng.choice(["center", "lower left"]), rng.random() < 0.7),
        lambda: w["f"].set_palette(1, rng.randint(0, 1), rng.choice(["viridis", "gray_r"])),
        lambda: velta.vlp_set_palette(w["c"], 0, "plasma"),
    ]
    # Python code run while a call converts its arguments takes another step.
    again = lambda: rng.choice(calls)()  # noqa: E731
    inside = [
        lambda: vec().append(reentering("__getitem__", again, lambda i: [1.0, 2.0][i])),
        lambda: w["m"][reentering("__index__", again, 0), 0],
        lambda: velta.vlm_vector_append_vector(vec(), reentering("this", again, vec().this)),
        lambda: w["f"].plot(0, vec(), reentering("this", again, vec().this)),
        lambda: w["f"].savefig(reentering("__fspath__", again, png), 40, 30),
        lambda: w["f"].savefig(reentering("write", again, len), 40, 30),
    ]
    return calls + [lambda: rng.choice(inside)()]


def sequences(seed, programs, length, log_path):
    import gc
    import velta
    rng = random.Random(seed)
    log = os.open(log_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC)
    png = os.path.join(os.path.dirname(log_path), "s.png")
    system_errors = 0
    for program in range(programs):
        w = world(velta)
        calls = steps(velta, w, rng, png)
        for _ in range(length):
            at = rng.randrange(len(calls))
            os.write(log, ("%d.%d\n" % (program, at)).encode())
            try:
                calls[at]()
            except SystemError as error:
                system_errors += 1
                os.write(log, ("SystemError: %s\n" % error).encode())
            except Exception:
                pass
        del w, calls
        gc.collect()
    os.write(log, ("done %d programs, %d SystemError\n" % (programs, system_errors)).encode())
    return system_errors


def describe(arg):
    text = repr(arg) if not hasattr(arg, "shape") else "ndarray%r/%s" % (arg.shape, arg.dtype)
    return text if len(text) < 60 else text[:57] + "..."


@pytest.mark.parametrize("mode, size, least", [("values", 4 if SANITIZED else 8, (4 if SANITIZED else 8) * 2000),
                                               ("sequences", 1500 if SANITIZED else 3000, 1500 if SANITIZED else 3000)])
def test_no_calls_crash_the_interpreter(tmp_path, mode, size, least):
    env = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":max_allocation_size_mb=512")
    log = tmp_path / "calls.log"
    run = subprocess.run([sys.executable, __file__, mode, "20240611", str(size), str(log)], env=env,
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, errors="replace",
                         timeout=600)
    calls = log.read_text(errors="replace").splitlines()
    report = "exit %d after:\n%s\nstderr:\n%s" % (run.returncode, "\n".join(calls[-5:]), run.stderr[-3000:])
    assert run.returncode == 0, report
    assert calls[-1].startswith("done") and calls[-1].endswith(" 0 SystemError"), report
    assert not re.search(r"ERROR: AddressSanitizer|runtime error|Fatal Python", run.stderr), report
    assert int(calls[-1].split()[1]) >= least


if __name__ == "__main__":
    if not SANITIZED:  # a giant block must fail to allocate rather than be filled
        import resource
        resource.setrlimit(resource.RLIMIT_AS, (3 << 30, 3 << 30))
    if sys.argv[1] == "values":
        sys.exit(1 if fuzz(int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]) else 0)
    sys.exit(1 if sequences(int(sys.argv[2]), int(sys.argv[3]), 25, sys.argv[4]) else 0)
