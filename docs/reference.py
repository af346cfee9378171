"""Builds the API reference of velta with Sphinx, warnings as errors:

    PYTHONPATH=build/src/binding /usr/bin/python3 docs/reference.py OUT

OUT/src receives the sources: the README, the gallery and one page per class
and per group of flat entries, each entry with its Python signature from the
type stubs beside the module (velta-stubs/__init__.pyi) and its docstring from
the module itself; OUT/html the pages. Returns Sphinx's exit status.
"""
import ast
import inspect
import os
import re
import shutil
import sys

import velta

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
STUB = os.path.join(os.path.dirname(velta.__file__), "velta-stubs", "__init__.pyi")

# Groups of flat entries: the first prefix that a name starts with.
GROUPS = [
    ("vector_functions", "Vector functions", ("vlm_vector_",)),
    ("matrix_functions", "Matrix functions", ("vlm_matrix_",)),
    ("plot_functions", "Figure and plotting functions", ("vlp_",)),
    ("console_functions", "Console, text and random functions", ("vlm_",)),
    ("constants", "Constants", tuple("ABCDEFGHIJKLMNOPQRSTUVWXYZ")),
    ("module", "Module entries", ("",)),
]


def public(name):
    return not name.startswith("_") or (name.startswith("__") and name.endswith("__")) or \
        name.startswith("_repr_")


def signature(node):
    """'(a: int, /) -> float' of a function in the stub."""
    result = " -> " + ast.unparse(node.returns) if node.returns else ""
    return "(%s)%s" % (ast.unparse(node.args), result)


def read_stub():
    """Name -> list of signatures (functions), annotation (data) or
    {member: ...} (classes), in the stub's order."""
    with open(STUB) as source:
        tree = ast.parse(source.read())

    def entries(body):
        found = {}
        for node in body:
            if isinstance(node, ast.FunctionDef):
                found.setdefault(node.name, []).append(signature(node))
            elif isinstance(node, ast.AnnAssign):
                found[node.target.id] = ast.unparse(node.annotation)
            elif isinstance(node, ast.ClassDef):
                found[node.name] = entries(node.body)
        return {name: value for name, value in found.items() if public(name)}
    return entries(tree.body)


def docstring(obj, indent):
    """The docstring as help() shows it, kept verbatim in a literal block."""
    text = (getattr(obj, "__doc__", None) or "").strip("\n")
    if not text.strip():
        return []
    lines = ["", indent + ".. code-block:: none", ""]
    lines += [(indent + "   " + line).rstrip() for line in inspect.cleandoc(text).splitlines()]
    return lines + [""]


def directive(kind, name, forms, indent=""):
    """A Sphinx directive with one signature line per overload."""
    lines = ["", "%s.. py:%s:: %s%s" % (indent, kind, name, forms[0])]
    pad = " " * len("%s.. py:%s:: " % (indent, kind))
    lines += [pad + name + form for form in forms[1:]]
    return lines


def without_self(form):
    return re.sub(r"^\(self(, )?", "(", form).replace("(/)", "()").replace("(, /)", "()")


def class_page(name, members):
    cls = getattr(velta, name)
    lines = [name, "=" * len(name), "", ".. py:currentmodule:: velta"]
    init = [without_self(f).replace(" -> None", "") for f in members.get("__init__", ["(self)"])]
    lines += directive("class", name, init)
    lines += docstring(cls, "   ")
    for member, value in members.items():
        if member == "__init__":
            continue
        attr = cls.__dict__.get(member)
        if isinstance(value, str):  # a field or attribute with its type
            lines += directive("property" if isinstance(attr, property) else "attribute", member, [""], "   ")
            lines += ["      :type: " + value]
            lines += docstring(attr, "      ") if isinstance(attr, property) else []
        else:
            lines += directive("method", member, [without_self(f) for f in value], "   ")
            lines += docstring(attr, "      ")
    return lines


def group_page(title, names, stub):
    lines = [title, "=" * len(title), "", ".. py:currentmodule:: velta"]
    for name in names:
        value = stub[name]
        if isinstance(value, str):
            lines += directive("data", name, [""]) + ["   :type: " + value]
            lines += ["", "   Value: ``%r``" % (getattr(velta, name),)]
        else:
            lines += directive("function", name, value)
            lines += docstring(getattr(velta, name), "   ")
    return lines


def local_links(markdown):
    """The README links its pictures and pages by absolute addresses, so that
    they work on a package index page; here they lead to this tree's copies."""
    def local(match):
        path = match.group(2)
        return "%s(docs/%s)" % (match.group(1), path) if os.path.isfile(os.path.join(HERE, path)) else match.group(0)
    return re.sub(r"(\[[^\]]*\])\(https?://[^)\s]*/docs/([^)\s]+)\)", local, markdown)


def write_sources(src):
    if os.path.isdir(src):
        shutil.rmtree(src)
    shutil.copytree(os.path.join(ROOT, "docs"), os.path.join(src, "docs"),
                    ignore=shutil.ignore_patterns("conf.py", "reference.py", "__pycache__"))
    with open(os.path.join(ROOT, "README.md")) as readme:
        text = local_links(readme.read())
    pages = {"README.md": text}

    stub = read_stub()
    classes = [n for n, v in stub.items() if isinstance(v, dict)]
    flat = [n for n in stub if n not in classes]
    grouped = {}
    for name in flat:
        page = next(page for page, _, prefixes in GROUPS if name.startswith(prefixes))
        grouped.setdefault(page, []).append(name)
    toc = []
    for name in classes:
        pages["reference/%s.rst" % name] = "\n".join(class_page(name, stub[name])) + "\n"
        toc.append(name)
    for page, title, _ in GROUPS:
        if page in grouped:
            pages["reference/%s.rst" % page] = "\n".join(group_page(title, grouped[page], stub)) + "\n"
            toc.append(page)
    pages["reference/index.rst"] = "\n".join(
        ["API reference", "=============", "",
         ".. py:module:: velta", "",
         "The proxy module ``velta``: its classes, then its flat entries by group. Signatures are "
         "those of the type stubs shipped with the package (``_SwigPyObject`` stands for the pointer "
         "object of a record or field); the text under each entry is its docstring.", "", ".. toctree::", "   :maxdepth: 1", ""] + ["   " + page for page in toc]) + "\n"
    pages["index.rst"] = "\n".join(
        ["velta " + velta.__version__, "=" * (6 + len(velta.__version__)), "",
         ".. toctree::", "   :maxdepth: 2", "", "   README", "   docs/gallery", "   reference/index"]) + "\n"
    for path, text in pages.items():
        os.makedirs(os.path.dirname(os.path.join(src, path)), exist_ok=True)
        with open(os.path.join(src, path), "w") as out:
            out.write(text)


def main(out):
    from sphinx.cmd.build import build_main
    src = os.path.join(out, "src")
    write_sources(src)
    return build_main(["-W", "--keep-going", "-q", "-b", "html", "-c", HERE,
                       "-d", os.path.join(out, "doctrees"), src, os.path.join(out, "html")])


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
