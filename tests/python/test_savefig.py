"""File export of figures, as Python sees it: formats, sizes, errors, and a
few pixels of the PNG output."""
import base64
import errno
import hashlib
import io
import math
import os
import pathlib
import re
import struct
import subprocess
import sys
import time
import zlib

import numpy
import pytest

import velta
from conftest import run_python
from velta import VlpFigure


def png_rows(data):
    """The header fields and the filtered rows, decompressed, of the PNG
    bytes data, every chunk's checksum checked."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        assert struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])[0] == zlib.crc32(kind + body)
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    return header, zlib.decompress(idat)


def read_png(path):
    """(width, height, rows of (r, g, b, a) tuples) of an 8-bit RGB or RGBA,
    non-interlaced PNG."""
    header, raw = png_rows(open(path, "rb").read())
    width, height, depth, colour, _, _, interlace = header
    assert depth == 8 and colour in (2, 6) and interlace == 0
    channels = 4 if colour == 6 else 3
    stride = width * channels
    rows, prev = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = prev[i]
            c = prev[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 255
        pixels = [tuple(line[x:x + channels]) + ((255,) if channels == 3 else ())
                  for x in range(0, stride, channels)]
        rows.append(pixels)
        prev = line
    return width, height, rows


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n" and head[12:16] == b"IHDR"
    return struct.unpack(">II", head[16:24])


def line_figure():
    fig = VlpFigure(1, 2)
    x = velta.vlm_vector_new_from_array([0.0, 1.0, 2.0])
    y = velta.vlm_vector_new_from_array([1.0, 0.0, 2.0])
    for v in (x, y):
        v.this.acquire()
    fig.plot(0, x, y)
    fig.scatter(1, x, y)
    return fig


def save(fig, form, path, width, height):
    if form == "method":
        return fig.savefig(str(path), width, height)
    return velta.vlp_savefig(fig, str(path), width, height)


FORMS = ["method", "flat"]


@pytest.mark.parametrize("form", FORMS)
@pytest.mark.parametrize("name,magic", [
    ("out.png", b"\x89PNG"), ("out.PNG", b"\x89PNG"),
    ("out.svg", b"<?xml"), ("out.Svg", b"<?xml"),
    ("out.pdf", b"%PDF-"), ("out.tar.PDF", b"%PDF-"),
])
def test_format_follows_extension(tmp_path, form, name, magic):
    path = tmp_path / name
    assert save(line_figure(), form, path, 320, 240) is None
    data = path.read_bytes()
    assert data.startswith(magic)
    if magic == b"<?xml":
        assert b"<svg" in data and b'width="320' in data and b'height="240' in data
    if magic == b"%PDF-":
        assert data.rstrip().endswith(b"%%EOF")


def comparable(data, fmt):
    """SVG documents of one process number their elements on: compare them
    without the numbers."""
    return re.sub(rb"[0-9]+", b"", data) if fmt == "svg" else data


def reference(fmt, tmp_path):
    path = tmp_path / ("reference." + fmt)
    line_figure().savefig(str(path), 320, 240)
    return comparable(path.read_bytes(), fmt)


PATH_TARGETS = {
    "str": str,
    "bytes": os.fsencode,
    "Path": pathlib.Path,
    "PathLike": lambda p: type("Place", (), {"__fspath__": lambda self: str(p)})(),
}


@pytest.mark.parametrize("fmt", ["png", "svg", "pdf"])
@pytest.mark.parametrize("target", sorted(PATH_TARGETS))
@pytest.mark.parametrize("name,given", [("out.{}", None), ("out.{}", "{}"), ("OUT.{}", "{}"),
                                        ("no-extension", "{}"), ("out.dat", "{}")])
def test_path_targets(tmp_path, target, fmt, name, given):
    path = tmp_path / name.format(fmt.upper() if name.startswith("OUT") else fmt)
    fig = line_figure()
    assert fig.savefig(PATH_TARGETS[target](path), 320, 240,
                       format=given and given.format(fmt)) is None
    assert comparable(path.read_bytes(), fmt) == reference(fmt, tmp_path)


class Trickle(io.RawIOBase):
    """A raw stream that takes at most 1000 bytes a call."""
    def __init__(self):
        self.data = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.data += bytes(b[:1000])
        return min(len(b), 1000)


class Says(io.RawIOBase):
    """A raw stream whose write returns count(b), whatever it takes."""
    def __init__(self, count):
        self.count = count

    def writable(self):
        return True

    def write(self, b):
        return self.count(b)


@pytest.mark.parametrize("fmt", ["png", "svg", "pdf", None])
@pytest.mark.parametrize("stream", ["BytesIO", "file", "unbuffered", "trickle"])
def test_file_object_targets(tmp_path, stream, fmt):
    if stream == "BytesIO":
        target = io.BytesIO()
    elif stream == "trickle":
        target = Trickle()
    else:
        target = open(tmp_path / "stream", "wb", buffering=0 if stream == "unbuffered" else -1)
    line_figure().savefig(target, 320, 240, format=fmt)
    if stream in ("file", "unbuffered"):
        target.close()
        data = (tmp_path / "stream").read_bytes()
    else:
        data = bytes(target.getvalue() if stream == "BytesIO" else target.data)
    assert comparable(data, fmt or "png") == reference(fmt or "png", tmp_path)  # PNG by default


def test_defaults_and_notebook_picture(tmp_path):
    fig = line_figure()
    fig.savefig(str(tmp_path / "default.png"))
    assert png_size(tmp_path / "default.png") == (800, 600)
    assert fig._repr_png_() == (tmp_path / "default.png").read_bytes()


@pytest.mark.parametrize("call,exc,message", [
    (lambda f, d: f.savefig(str(d / "a.png"), format="svg"), ValueError,
     "format 'svg' does not match the extension of '.*a.png'"),
    (lambda f, d: f.savefig(str(d / "a"), format="jpeg"), ValueError,
     "unknown format 'jpeg': supported formats are png, svg, pdf"),
    (lambda f, d: f.savefig(io.BytesIO(), format="tar.png"), ValueError,
     "unknown format 'tar.png': supported formats are png, svg, pdf"),
    (lambda f, d: f.savefig(str(d / "a"), format=3), TypeError, "format must be a str or None"),
    (lambda f, d: f.savefig(str(d / "a.gif")), ValueError,
     "cannot tell the format of '.*a.gif': use .png, .svg or .pdf"),
    (lambda f, d: f.savefig(3), TypeError,
     "savefig needs a path \\(str, bytes or os.PathLike\\) or a binary file object, not int"),
    (lambda f, d: f.savefig(io.StringIO(), format="svg"), TypeError, "string argument expected"),
    (lambda f, d: f.savefig(str(d / "wide.png"), 32768, 10), ValueError,
     "a PNG is at most 32767 pixels wide and high \\(cairo's limit\\), got 32768 x 10"),
    (lambda f, d: velta.vlp_savefig(f, str(d / "tall.png"), 1, 40000), ValueError,
     "a PNG is at most 32767 pixels wide and high"),
    (lambda f, d: f.savefig(io.BytesIO(), 0, 5), ValueError,
     "width and height must be at least 1, got 0 x 5"),
    (lambda f, d: f.savefig(io.BytesIO(), 2**23, 600, format="svg"), ValueError,
     "an SVG is at most 8388607 units wide and high \\(cairo's limit\\), got 8388608 x 600"),
    (lambda f, d: f.savefig(str(d / "a.svg"), 2**31 - 1, 2**31 - 1), ValueError,
     "an SVG is at most 8388607 units wide and high"),
    (lambda f, d: velta.vlp_savefig(f, str(d / "tall.pdf"), 600, 2**23), ValueError,
     "a PDF is at most 8388607 units wide and high \\(cairo's limit\\), got 600 x 8388608"),
    # NUL in a path or format text: the C library would read a shorter one.
    (lambda f, d: velta.vlp_savefig(f, str(d / "a.png\0.svg"), 60, 40), ValueError, "null"),
    (lambda f, d: f.savefig(str(d / "a.png\0.svg"), 60, 40), ValueError, "null"),
    (lambda f, d: f.savefig(os.fsencode(d / "a.png\0.svg"), 60, 40), ValueError, "null"),
    (lambda f, d: f.savefig(io.BytesIO(), format="png\0svg"), ValueError,
     "format must not contain a NUL character"),
    (lambda f, d: f.savefig(str(d / "a.png"), format="png\0"), ValueError, "NUL"),
    # A file object's count outside 0..offered, or not an int, ends the save.
    (lambda f, d: f.savefig(Says(lambda b: 2**32)), OSError,
     "the file object's write returned 4294967296 for [0-9]+ bytes offered"),
    (lambda f, d: f.savefig(Says(lambda b: 2**32 + 1)), OSError, "returned 4294967297 for"),
    (lambda f, d: f.savefig(Says(lambda b: 2**64)), OSError, "returned 18446744073709551616 for"),
    (lambda f, d: f.savefig(Says(lambda b: len(b) + 1)), OSError, "returned [0-9]+ for [0-9]+ bytes offered"),
    (lambda f, d: f.savefig(Says(lambda b: -1)), OSError, "returned -1 for"),
    (lambda f, d: f.savefig(Says(lambda b: float(len(b)))), OSError,
     "the file object's write returned float, not an int"),
    (lambda f, d: f.savefig(Says(lambda b: 0)), OSError, "the file object took no bytes"),
    (lambda f, d: f.savefig(Says(lambda b: None)), OSError, "the file object took no bytes"),
])
def test_savefig_refusals(tmp_path, call, exc, message):
    with pytest.raises(exc, match=message):
        call(line_figure(), tmp_path)
    assert list(tmp_path.iterdir()) == []


@pytest.mark.parametrize("form,name,fmt,errno_name", [
    (form, name, None, errno_name) for form in FORMS
    for name, errno_name in [("missing/out.png", "ENOENT"), ("missing/out.pdf", "ENOENT"),
                             ("taken.svg", "EISDIR")]] + [
    # A full device takes the file but not its bytes.
    ("method", "/dev/full", fmt, "ENOSPC") for fmt in ("png", "svg", "pdf")])
def test_unwritable_path_names_errno_and_path(tmp_path, form, name, fmt, errno_name):
    (tmp_path / "taken.svg").mkdir()
    path = tmp_path / name
    with pytest.raises(OSError) as info:
        if fmt is None:
            save(line_figure(), form, path, 100, 100)
        else:
            line_figure().savefig(str(path), 100, 100, format=fmt)
    assert info.value.errno == getattr(errno, errno_name)
    assert info.value.filename == str(path)
    assert not (tmp_path / "missing").exists()


PDF_SCRIPT = """
import io, velta
fig = velta.VlpFigure(1, 1)
x = velta.vlm_vector_new_from_array([0.0, 1.0, 2.0])
fig.plot(0, x, x)
out = io.BytesIO()
fig.savefig(out, 200, 100, format="pdf")
print(out.getvalue().hex())
"""


@pytest.mark.parametrize("epoch,date", [(None, None), ("1700000000", b"/CreationDate (20231114221320Z)")])
def test_pdf_bytes_are_reproducible(epoch, date):
    env = {k: v for k, v in os.environ.items() if k != "SOURCE_DATE_EPOCH"}
    if epoch:
        env["SOURCE_DATE_EPOCH"] = epoch
    first = bytes.fromhex(run_python(PDF_SCRIPT, env=env).stdout)
    time.sleep(1.1)  # a clock read into the file would now differ
    second = bytes.fromhex(run_python(PDF_SCRIPT, env=env).stdout)
    assert first == second
    dates = [line.strip() for line in first.split(b"\n") if b"CreationDate" in line]
    assert dates == ([date] if date else [])


def vector_picture(data, fmt):
    """(width, height, strokes drawn) of SVG or PDF bytes."""
    if fmt == "svg":
        size = re.search(rb'<svg [^>]*width="([0-9]+)pt" height="([0-9]+)pt"', data).groups()
        return tuple(map(int, size)) + (data.count(b'style="fill:none;'),)
    size = re.search(rb"/MediaBox \[ 0 0 ([0-9]+) ([0-9]+) \]", data).groups()
    streams = [zlib.decompress(s) for s in re.findall(rb"stream\r?\n(.*?)endstream", data, re.S)
               if s.startswith(b"x")]
    return tuple(map(int, size)) + (sum(s.count(b" S") for s in streams),)


@pytest.mark.parametrize("fmt,size", [
    ("png", (1, 1)), ("png", (320, 240)), ("png", (641, 97)), ("png", (32767, 2)), ("png", (3, 32767)),
    # cairo's largest vector surfaces: every stroke of the figure is there.
    ("svg", (8388607, 8388607)), ("pdf", (8388607, 8388607))])
def test_picture_has_requested_size(tmp_path, fmt, size):
    path = tmp_path / ("sized." + fmt)
    line_figure().savefig(str(path), *size)
    if fmt == "png":
        assert png_size(path) == size
    else:
        drawn = vector_picture(path.read_bytes(), fmt)
        line_figure().savefig(str(path), 320, 240)
        assert drawn == size + vector_picture(path.read_bytes(), fmt)[2:]


@pytest.mark.parametrize("form", FORMS)
@pytest.mark.parametrize("name", ["out.jpg", "out", "out.png.txt", "png", "dir.png/out", "out."])
def test_unknown_extension(tmp_path, form, name):
    if "/" in name:
        (tmp_path / name.split("/")[0]).mkdir()
    with pytest.raises(ValueError):
        save(line_figure(), form, tmp_path / name, 100, 100)
    assert not (tmp_path / name).exists()


@pytest.mark.parametrize("form", FORMS)
@pytest.mark.parametrize("size", [(0, 10), (10, 0), (-1, 5), (5, -2**31)])
def test_size_below_one(tmp_path, form, size):
    with pytest.raises(ValueError):
        save(line_figure(), form, tmp_path / "small.png", *size)
    assert not (tmp_path / "small.png").exists()


def test_argument_types():
    fig = line_figure()
    with pytest.raises(TypeError, match="argument 3 of type 'int'"):
        fig.savefig("a.png", 1.5, 10)
    with pytest.raises(TypeError, match="argument 1 of type 'VlpFigure \\*'"):
        velta.vlp_savefig(velta.VlpCanvas(), "a.png", 10, 10)


WHITE, BLACK, RED = (255, 255, 255, 255), (0, 0, 0, 255), (255, 0, 0, 255)
GREY = (153, 153, 153, 255)


def rgb(hexes):
    """Opaque colours of six hex digits each, at the centres of the cells of
    [[0, 128, 255]] in 400 x 300: device x 93, 200 and 307."""
    return [((x, 150), tuple(bytes.fromhex(h)) + (255,)) for x, h in zip((93, 200, 307), hexes.split())]


@pytest.mark.parametrize("cells,pixels,palette", [
    # 1 x 2 in 400 x 300: limits -0.5..1.5 by -0.5..0.5, the right cell spans
    # device x 200..360 and y 30..270.
    ([[0.0, 1.0]], [((0, 0), WHITE), ((399, 299), WHITE), ((280, 150), RED), ((120, 150), BLACK)], None),
    # 2 x 2 with a NaN at the top right: its inside stays white, its 0.8 px
    # outline (top edge at y 30, right edge at x 360) greys the pixels there.
    ([[0.0, float("nan")], [1.0, 0.5]],
     [((280, 90), WHITE), ((280, 30), GREY), ((360, 90), GREY), ((120, 90), BLACK),
      ((120, 210), RED)], None),
    # Named palettes: 256 entries from the smallest value to the largest, so
    # 0, 128 and 255 take entries 0, 128 and 255 of the published tables.
    ([[0.0, 128.0, 255.0]], rgb("440154 21918c fde725"), "viridis"),
    ([[0.0, 128.0, 255.0]], rgb("000004 b73779 fcfdbf"), "magma"),
    ([[0.0, 128.0, 255.0]], rgb("000004 bc3754 fcffa4"), "inferno"),
    ([[0.0, 128.0, 255.0]], rgb("0d0887 cc4778 f0f921"), "plasma"),
    ([[0.0, 128.0, 255.0]], rgb("00224e 7d7c78 fee838"), "cividis"),
    ([[0.0, 128.0, 255.0]], rgb("000000 808080 ffffff"), "gray"),
    ([[0.0, 128.0, 255.0]], rgb("fde725 21908d 440154"), "viridis_r"),
    # Spread over the values, whatever their range.
    ([[-3.0, 1.0e6 - 3.0]], [((120, 150), (0x44, 0x01, 0x54, 255)), ((280, 150), (0xfd, 0xe7, 0x25, 255))],
     "viridis"),
])
def test_image_pixels(tmp_path, cells, pixels, palette):
    fig = VlpFigure(1, 1)
    m = velta.vlm_matrix_new_from_array(cells)
    m.this.acquire()
    fig.imshow(0, m)
    if palette:
        fig.set_palette(0, 0, palette)
    path = tmp_path / "image.png"
    fig.savefig(str(path), 400, 300)
    width, height, rows = read_png(path)
    assert (width, height) == (400, 300)
    assert [rows[y][x] for (x, y), _ in pixels] == [colour for _, colour in pixels]


def todays_figure(rows, cols):
    """A line on every canvas but the last, an image there."""
    fig = VlpFigure(rows, cols)
    x = numpy.linspace(0, 6.3, 50)
    for i in range(rows * cols):
        if i == rows * cols - 1 and i > 0:
            fig.imshow(i, velta.VlmMatrix(numpy.arange(12.0).reshape(3, 4)))
        else:
            # libm's sine: NumPy's own differs in the last bits between instruction sets
            fig.plot(i, velta.VlmVector(x), velta.VlmVector([math.sin(v) for v in x]))
    return fig


def labelled_then_cleared(fig):
    """Every text set on every canvas, the legend shown, then all removed."""
    for i in range(fig.size):
        for set_text in (fig.set_title, fig.set_xlabel, fig.set_ylabel):
            set_text(i, "Überschrift")
            set_text(i, "")
        fig.set_label(i, 0, "sin")
        fig.legend(i, "lower left")
        fig.set_label(i, 0, "")
        fig.legend(i, on=False)
    return fig


# The pixels these figures had before canvases could carry texts: sha256 of
# the PNG's rows (a figure given texts and then cleared of them draws them
# too).
@pytest.mark.parametrize("dress", [lambda fig: fig, labelled_then_cleared])
@pytest.mark.parametrize("width,height,rows,digest", [
    (200, 150, 1, "a4e1c297daefad63"), (200, 150, 2, "c04b1498b18235a0"),
    (800, 600, 1, "9dfdbf95defcc6c3"), (800, 600, 2, "f0f5d5a60b1c4612"),
])
def test_pictures_without_texts_are_unchanged(dress, width, height, rows, digest):
    out = io.BytesIO()
    dress(todays_figure(rows, rows)).savefig(out, width, height)
    assert hashlib.sha256(png_rows(out.getvalue())[1]).hexdigest()[:16] == digest


def image_figure():
    """In one row, so that bands of rows cut through every canvas: an image
    of more cells than pixels, NaN cells among them, with its colour bar; a
    scatter; a line over a grid; a small image."""
    fig = VlpFigure(1, 4)
    rng = numpy.random.default_rng(5)
    cells = rng.uniform(-3, 7, (500, 300))
    cells[::7, ::5] = float("nan")
    x, y = velta.VlmVector(rng.uniform(0, 1, 2000)), velta.VlmVector(rng.normal(size=2000))
    fig.imshow(0, velta.VlmMatrix(cells))
    fig.scatter(1, x, y)
    fig.plot(2, x, y)
    velta.vlp_set_grid(velta.vlp_set_canvas(fig, 2), velta.TRUE)
    fig.imshow(3, velta.VlmMatrix(cells[:40, :60]))
    return fig


def labelled_figure():
    """Texts on every canvas of the image figure, a legend across the bands."""
    fig = image_figure()
    for i in range(4):
        fig.set_title(i, "Canvas %d" % i)
        fig.set_xlabel(i, "x ∈ [0, 1]")
        fig.set_ylabel(i, "y")
        fig.set_label(i, 0, "series 0")
        fig.legend(i, "center")
    fig.set_palette(0, 0, "inferno")
    return fig


@pytest.mark.parametrize("make", [image_figure, line_figure, labelled_figure])
@pytest.mark.parametrize("size", [(800, 600), (1031, 601), (257, 4101), (1500, 1400)])
def test_png_bytes_do_not_depend_on_threads(monkeypatch, make, size):
    # Large pictures are drawn and compressed in bands of rows cut by their
    # size, which the threads take in turn.
    fig = make()
    pictures = []
    for threads in ("1", "2", "3"):
        monkeypatch.setenv("OMP_NUM_THREADS", threads)
        out = io.BytesIO()
        fig.savefig(out, *size)
        pictures.append(out.getvalue())
    assert png_rows(pictures[0])[0][:2] == size
    assert pictures[1] == pictures[0] and pictures[2] == pictures[0]


def test_export_does_not_change_the_figure(tmp_path):
    fig = line_figure()
    can = velta.vlp_set_canvas(fig, 1)
    before = (can.numOfVec, can.min.x, can.max.y, can.grid)
    fig.savefig(str(tmp_path / "a.png"), 200, 100)
    assert (can.numOfVec, can.min.x, can.max.y, can.grid) == before
    assert (can.row, can.col, can.index) == (1, 2, 1)


def _grown_x():
    x, y = velta.VlmVector(3), velta.VlmVector(3)
    fig = VlpFigure(1, 1)
    fig.plot(0, x, y)
    x.size = 4  # growing is refused while drawn; the count field is not
    return fig


def _reshaped_image():
    m = velta.VlmMatrix(2)
    fig = VlpFigure(1, 1)
    fig.imshow(0, m)
    m.copyShape(velta.VlmMatrix(3, 3))
    return fig


# Data changed after its series was added is checked again before drawing:
# the drawing would read past the elements.
@pytest.mark.parametrize("form", FORMS)
@pytest.mark.parametrize("make", [_grown_x, _reshaped_image])
def test_data_changed_after_adding_is_refused(tmp_path, form, make):
    with pytest.raises(ValueError):
        save(make(), form, tmp_path / "changed.png", 50, 50)
    assert not (tmp_path / "changed.png").exists()


def test_notebook_shows_the_figure_inline(tmp_path):
    nbformat = pytest.importorskip("nbformat")
    pytest.importorskip("nbconvert")
    code = ("import velta\n"
            "fig = velta.VlpFigure(1, 1)\n"
            "x = velta.vlm_vector_new_from_array([0.0, 1.0, 2.0])\n"
            "fig.plot(0, x, x)\n"
            "fig")
    notebook = nbformat.v4.new_notebook(cells=[nbformat.v4.new_code_cell(code)])
    nbformat.write(notebook, str(tmp_path / "figure.ipynb"))
    done = subprocess.run(
        [sys.executable, "-m", "nbconvert", "--to", "notebook", "--execute", "--stdout",
         "--ExecutePreprocessor.timeout=120", str(tmp_path / "figure.ipynb")],
        capture_output=True, text=True, timeout=300, cwd=tmp_path,
        env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)))
    assert done.returncode == 0, done.stderr[-2000:]
    outputs = nbformat.reads(done.stdout, as_version=4).cells[0].outputs
    assert [o.output_type for o in outputs] == ["execute_result"]
    png = base64.b64decode(outputs[0].data["image/png"])
    assert png[:8] == b"\x89PNG\r\n\x1a\n" and struct.unpack(">II", png[16:24]) == (800, 600)


ROOT = pathlib.Path(__file__).resolve().parents[2]
GALLERY_SCOPE = {"__file__": str(ROOT / "examples" / "gallery.py")}
exec((ROOT / "examples" / "gallery.py").read_text(), GALLERY_SCOPE)


@pytest.mark.parametrize("name", GALLERY_SCOPE["EXAMPLES"])
def test_gallery_examples_draw_their_pictures(tmp_path, name):
    # The gallery shows what the example draws: same size, and not blank (a
    # white picture compresses to a few hundred bytes).
    picture = tmp_path / (name + ".png")
    done = subprocess.run([sys.executable, str(ROOT / "examples" / (name + ".py")), str(picture)],
                          capture_output=True, text=True, timeout=120,
                          env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)))
    assert done.returncode == 0, done.stderr[-2000:]
    assert png_size(picture) == png_size(ROOT / "docs" / "gallery" / (name + ".png"))
    assert picture.stat().st_size > 5000
    assert "](gallery/%s.png)" % name in (ROOT / "docs" / "gallery.md").read_text()
