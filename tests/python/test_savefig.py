"""File export of figures, as Python sees it: formats, sizes, errors, and a
few pixels of the PNG output."""
import struct
import zlib

import pytest

import velta
from velta import VlpFigure


def read_png(path):
    """(width, height, rows of (r, g, b, a) tuples) of an 8-bit RGB or RGBA,
    non-interlaced PNG."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    assert depth == 8 and colour in (2, 6) and interlace == 0
    channels = 4 if colour == 6 else 3
    raw = zlib.decompress(idat)
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


@pytest.mark.parametrize("size", [(1, 1), (320, 240), (641, 97)])
def test_png_has_requested_size(tmp_path, size):
    path = tmp_path / "sized.png"
    line_figure().savefig(str(path), *size)
    assert png_size(path) == size


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


@pytest.mark.parametrize("form", FORMS)
@pytest.mark.parametrize("ext", ["png", "svg", "pdf"])
def test_unwritable_file(tmp_path, form, ext):
    with pytest.raises(OSError):
        save(line_figure(), form, tmp_path / "missing" / ("out." + ext), 100, 100)
    assert not (tmp_path / "missing").exists()


def test_directory_named_like_a_file(tmp_path):
    target = tmp_path / "taken.png"
    target.mkdir()
    with pytest.raises(OSError):
        line_figure().savefig(str(target), 50, 50)


def test_argument_types():
    fig = line_figure()
    with pytest.raises(TypeError, match="argument 3 of type 'int'"):
        fig.savefig("a.png", 1.5, 10)
    with pytest.raises(TypeError, match="argument 1 of type 'VlpFigure \\*'"):
        velta.vlp_savefig(velta.VlpCanvas(), "a.png", 10, 10)


WHITE, BLACK, RED = (255, 255, 255, 255), (0, 0, 0, 255), (255, 0, 0, 255)
GREY = (153, 153, 153, 255)


@pytest.mark.parametrize("cells,pixels", [
    # 1 x 2 in 400 x 300: limits -0.5..1.5 by -0.5..0.5, the right cell spans
    # device x 200..360 and y 30..270.
    ([[0.0, 1.0]], [((0, 0), WHITE), ((399, 299), WHITE), ((280, 150), RED), ((120, 150), BLACK)]),
    # 2 x 2 with a NaN at the top right: its inside stays white, its 0.8 px
    # outline (top edge at y 30, right edge at x 360) greys the pixels there.
    ([[0.0, float("nan")], [1.0, 0.5]],
     [((280, 90), WHITE), ((280, 30), GREY), ((360, 90), GREY), ((120, 90), BLACK),
      ((120, 210), RED)]),
])
def test_image_pixels(tmp_path, cells, pixels):
    fig = VlpFigure(1, 1)
    m = velta.vlm_matrix_new_from_array(cells)
    m.this.acquire()
    fig.imshow(0, m)
    path = tmp_path / "image.png"
    fig.savefig(str(path), 400, 300)
    width, height, rows = read_png(path)
    assert (width, height) == (400, 300)
    assert [rows[y][x] for (x, y), _ in pixels] == [colour for _, colour in pixels]


def test_export_does_not_change_the_figure(tmp_path):
    fig = line_figure()
    can = velta.vlp_set_canvas(fig, 1)
    before = (can.numOfVec, can.min.x, can.max.y, can.grid)
    fig.savefig(str(tmp_path / "a.png"), 200, 100)
    assert (can.numOfVec, can.min.x, can.max.y, can.grid) == before
    assert (can.row, can.col, can.index) == (1, 2, 1)
