"""The window, driven from outside: a child process shows a figure, the test
finds the window, compares a screenshot with the exported picture, presses
its keys, turns the wheel and drags over it, and closes it the way a window
manager would (WM_DELETE_WINDOW) or with its keys."""
import ctypes
import ctypes.util
import os
import signal
import socket
import subprocess
import sys
import threading
import time

import pytest

import velta

from test_savefig import read_png

WIDTH, HEIGHT = 400, 300

ROWS, COLS = 2, 2
FIGURE = """
import velta
fig = velta.VlpFigure(2, 2)
m = velta.vlm_matrix_new_from_array([[0.0, 1.0]])
x = velta.vlm_vector_new_from_array([0.0, 1.0, 2.0])
y = velta.vlm_vector_new_from_array([1.0, 0.0, 2.0])
fig.imshow(0, m)
fig.plot(1, x, y)
velta.vlp_set_grid(velta.vlp_set_canvas(fig, 1), 1)
fig.scatter(2, x, y)
fig.imshow(3, m)
velta.vlp_set_grid(velta.vlp_set_canvas(fig, 3), 1)
"""

CHILD = FIGURE + """
import locale, sys
print("showing", flush=True)
if sys.argv[1] == "flat":
    velta.vlp_show(fig)
else:
    fig.show()
print("returned", flush=True)
print("numeric locale:", locale.setlocale(locale.LC_NUMERIC))
print("number:", velta.vlm_string_from_double(0.5))
print("vector:", velta.vlm_vector_to_string(x, 0))
sys.stdout.flush()
velta.vlm_print_double(2.25)
"""

needs_display = pytest.mark.skipif(not os.environ.get("DISPLAY"), reason="no X display")


def load_x11():
    lib = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    lib.XOpenDisplay.restype = ctypes.c_void_p
    lib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    lib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    return lib


@pytest.fixture(autouse=True, scope="module")
def display_kept_up():
    """Holds a connection for the module's duration: a server whose last client
    goes away resets, and refuses connections while it does, so the windows
    these tests close would otherwise race the next xdotool call."""
    if not os.environ.get("DISPLAY"):
        yield
        return
    lib = load_x11()
    display = lib.XOpenDisplay(None)
    yield
    if display:
        lib.XCloseDisplay(display)


class XClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("xclient", XClientMessageEvent), ("pad", ctypes.c_long * 24)]


def request_close(window):
    """Sends WM_DELETE_WINDOW to the window's client, as a window manager does."""
    x11 = load_x11()
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.POINTER(XEvent)]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(None)
    assert display
    event = XEvent()
    event.xclient.type = 33  # ClientMessage
    event.xclient.window = window
    event.xclient.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.xclient.format = 32
    event.xclient.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    event.xclient.data[1] = 0  # CurrentTime
    assert x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
    x11.XFlush(display)
    x11.XCloseDisplay(display)


def run(*args, **kw):
    return subprocess.run(args, capture_output=True, check=True, timeout=20, **kw).stdout


def find_window(pid, env=None):
    """The id of the process's window, once it is shown. A search can fail on
    a window that another client destroys meanwhile (BadWindow): retried."""
    deadline = time.monotonic() + 15
    while True:
        found = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid", str(pid)],
                               capture_output=True, timeout=20, env=env)
        if found.returncode == 0 and found.stdout.split():
            return int(found.stdout.split()[0])
        if time.monotonic() > deadline:
            pytest.fail("no window of process %d: %s" % (pid, found.stderr.decode()))
        time.sleep(0.1)


def start_child(form, env=None):
    child = subprocess.Popen([sys.executable, "-c", CHILD, form], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True, env=env)
    assert child.stdout.readline() == "showing\n"
    return child, find_window(child.pid)


def resize(window, width, height):
    run("xdotool", "windowsize", str(window), str(width), str(height))
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        geometry = run("xdotool", "getwindowgeometry", str(window)).decode()
        if "Geometry: %dx%d" % (width, height) in geometry:
            time.sleep(0.5)  # let the redraw at the new size land
            return
        time.sleep(0.05)
    pytest.fail("the window did not take the size %dx%d" % (width, height))


def finish(child, window):
    request_close(window)
    out, err = child.communicate(timeout=20)
    assert child.returncode == 0, err
    return out


def screenshot(window):
    """The window's pixels, RGB bytes row by row."""
    return run("import", "-window", str(window), "-depth", "8", "rgb:-")


def region(shot, x0, y0, x1, y1, width=WIDTH):
    """The pixels of a rectangle, row by row."""
    return b"".join(shot[3 * (y * width + x0):3 * (y * width + x1)] for y in range(y0, y1))


def exported(tmp_path, width=WIDTH, height=HEIGHT):
    """The figure as savefig writes it: RGB bytes row by row."""
    scope = {}
    exec(FIGURE, scope)
    path = tmp_path / "exported.png"
    scope["fig"].savefig(str(path), width, height)
    return png_rgb(path)


def png_rgb(path):
    _, _, rows = read_png(path)
    return bytes(c for row in rows for pixel in row for c in pixel[:3])


def span(length, n, k):
    """Offset and size of cell k of n along a length, leftover pixels to the
    first cells."""
    base, extra = divmod(length, n)
    return k * base + min(k, extra), base + (k < extra)


def inner_boxes(width, height):
    """Pixels inside each canvas's axis box, clear of its axes and of text."""
    hw, hh = width // (2 * COLS), height // (2 * ROWS)
    for k in range(ROWS * COLS):
        x0, _ = span(width, COLS, k % COLS)
        y0, _ = span(height, ROWS, k // COLS)
        yield [(x, y) for y in range(y0 + int(0.2 * hh) + 1, y0 + int(1.8 * hh) - 3)
               for x in range(x0 + int(0.2 * hw) + 3, x0 + int(1.8 * hw) - 1)]


def unlike_pixels(seen, expected, width, height):
    """Where the window's picture and the exported one are far apart: the
    share of all pixels, and the count in each canvas's axis box. (Text is
    rendered a little differently on screen; inside the boxes there is none,
    and only line smoothing may differ. A canvas one pixel off would differ
    along every line and cell edge.)"""
    def far(x, y):
        i = 3 * (y * width + x)
        return max(abs(a - b) for a, b in zip(seen[i:i + 3], expected[i:i + 3])) > 48
    share = sum(far(x, y) for y in range(height) for x in range(width)) / (width * height)
    return share, [(sum(far(x, y) for x, y in box), len(box)) for box in inner_boxes(width, height)]


def similar(seen, expected, width=WIDTH, height=HEIGHT):
    share, boxes = unlike_pixels(seen, expected, width, height)
    return share <= 0.02 and all(n <= size // 50 for n, size in boxes)


@needs_display
@pytest.mark.parametrize("form,width,height", [("method", 400, 300), ("flat", 400, 300),
                                               ("method", 801, 599), ("method", 901, 601)])
def test_window_shows_what_savefig_writes(tmp_path, form, width, height):
    child, window = start_child(form)
    try:
        resize(window, width, height)
        seen = screenshot(window)
    except BaseException:
        child.kill()
        child.communicate()
        raise
    out = finish(child, window)
    assert "returned\n" in out

    assert len(seen) == 3 * width * height
    expected = exported(tmp_path, width, height)
    assert similar(seen, expected, width, height), unlike_pixels(seen, expected, width, height)
    # Away from any text: the image's red and black cells, the white margin.
    for x, y, colour in [(140, 75, (255, 0, 0)), (60, 75, (0, 0, 0)), (195, 75, (255, 255, 255))]:
        x, y = x * width // 400, y * height // 300
        assert region(seen, x, y, x + 1, y + 1, width) == bytes(colour) == region(expected, x, y, x + 1, y + 1, width)


# ---- title, size, keys, zoom and pan ----

DRIVEN = FIGURE + """
import sys
exec(sys.argv[1])
def limits():
    return [[getattr(getattr(velta.vlp_set_canvas(fig, i), end), axis) for end in ("min", "max")
             for axis in "xy"] for i in range(4)]
before = limits()
print("showing", flush=True)
fig.show()
print("returned", "limits kept" if limits() == before else "limits %r became %r" % (before, limits()))
"""
SIZED = "fig.set_window_size(%d, %d)" % (WIDTH, HEIGHT)
# The file chooser keeps its settings in memory (no session bus here); the
# child may run in another folder.
DRIVEN_ENV = dict(os.environ, GSETTINGS_BACKEND="memory", PYTHONPATH=os.pathsep.join(
    [os.path.dirname(os.path.abspath(velta.__file__))] + os.environ.get("PYTHONPATH", "").split(os.pathsep)))


def start_driven(setup, cwd=None):
    child = subprocess.Popen([sys.executable, "-c", DRIVEN, setup], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True, env=DRIVEN_ENV, cwd=cwd)
    assert child.stdout.readline() == "showing\n"
    window = find_window(child.pid)
    run("xdotool", "windowfocus", "--sync", str(window))
    return child, window


def press(window, *keys):
    run("xdotool", "windowfocus", "--sync", str(window))
    run("xdotool", "key", *keys)


def window_named(name):
    found = run("xdotool", "search", "--sync", "--onlyvisible", "--name", "^%s$" % name)
    return int(found.split()[0])


def gone(name):
    return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % name],
                          capture_output=True).stdout == b""


def shot_when(window, ready, what):
    """The first screenshot for which ready(shot, the one before) holds."""
    deadline = time.monotonic() + 10
    previous = None
    while True:
        shot = screenshot(window)
        if ready(shot, previous):
            return shot
        if time.monotonic() > deadline:
            pytest.fail("the window did not show %s" % what)
        previous = shot
        time.sleep(0.05)


def settled(window, unlike=None):
    """A picture drawn (not one colour) that stays, other than unlike."""
    return shot_when(window, lambda s, p: s == p and s != unlike and len(set(s)) > 2,
                     "a settled picture")


def dark_near(shot, x, y):
    return any(max(region(shot, x + dx, y + dy, x + dx + 1, y + dy + 1)) < 100
               for dx in (-1, 0, 1) for dy in (-1, 0, 1))


def close_driven(child, window, key="q"):
    press(window, key)
    out, err = child.communicate(timeout=20)
    assert child.returncode == 0, err
    return out


@needs_display
@pytest.mark.parametrize("setup,title,size,close", [
    ("", None, (200, 200), "delete"),
    ("fig.set_window_title('Ünïcode ✓ figure'); fig.set_window_size(800, 600)", "Ünïcode ✓ figure",
     (800, 600), "q"),
    ("velta.vlp_set_window_title(fig, 'flat'); velta.vlp_set_window_size(fig, 321, 123)", "flat",
     (321, 123), "ctrl+w"),
    # Empty text and 0 x 0 go back to the toolkit's defaults.
    ("fig.set_window_title('gone'); fig.set_window_title(''); fig.set_window_size(400, 300); "
     "fig.set_window_size(0, 0)", None, (200, 200), "q"),
])
def test_title_size_and_closing_keys(setup, title, size, close):
    child, window = start_driven(setup)
    try:
        name = run("xdotool", "getwindowname", str(window)).decode().rstrip("\n")
        geometry = run("xdotool", "getwindowgeometry", str(window)).decode()
        press(window, "x")  # no key of the window's own
        if close == "delete":
            request_close(window)
        else:
            press(window, close)
        out, err = child.communicate(timeout=20)
    finally:
        child.kill()
        child.communicate()
    assert child.returncode == 0, err
    assert out == "returned limits kept\n"
    # No title: the toolkit names the window after the program.
    assert name == (title or os.path.basename(sys.executable))
    assert "Geometry: %dx%d" % size in geometry


@pytest.mark.parametrize("size", [(0, 1), (1, 0), (-1, 300), (32768, 300), (400, 32768)])
@pytest.mark.parametrize("form", ["method", "flat"])
def test_impossible_window_sizes(form, size):
    fig = velta.VlpFigure(1, 1)
    with pytest.raises(ValueError) as info:
        fig.set_window_size(*size) if form == "method" else velta.vlp_set_window_size(fig, *size)
    assert str(info.value) == ("a window is 1 to 32767 pixels wide and high (0 x 0: the default size), "
                               "got %d x %d" % size)


# Canvas 1 (the line through (0, 1), (1, 0), (2, 2)) fills the top right cell;
# its point (0.5, 0.5) is at the window's pixel (260, 105).
WHEEL_IN = ["mousemove", "--window", "{w}", "260", "105", "click", "4"]
CELL_1 = (200, 0, 400, 150)


@needs_display
@pytest.mark.parametrize("gesture,reset,cell,follows,kept", [
    # What is done to the canvas in cell, the key that undoes it, a pixel that
    # stays on the line under the pointer, a region of the cell that stays.
    (WHEEL_IN, "r", CELL_1, (260, 105), None),
    (["mousemove", "--window", "{w}", "260", "105", "click", "5"], "Home", CELL_1, (260, 105), None),
    (["mousemove", "--window", "{w}", "260", "105", "mousedown", "1", "mousemove", "--window", "{w}",
      "290", "85", "mouseup", "1"], "r", CELL_1, (290, 85), None),
    # The image of canvas 0 zooms; its colour bar stays.
    (["mousemove", "--window", "{w}", "60", "75", "click", "4"], "Home", (0, 0, 200, 150), None,
     (182, 16, 200, 120)),
])
def test_zoom_and_pan_change_the_window_only_until_reset(gesture, reset, cell, follows, kept):
    child, window = start_driven(SIZED)
    try:
        first = settled(window)
        run("xdotool", *[a.format(w=window) for a in gesture])
        moved = settled(window, unlike=first)
        x0, y0, x1, y1 = cell
        assert region(moved, x0, y0, x1, y1) != region(first, x0, y0, x1, y1)
        outside = [(0, 0, WIDTH, y0), (0, y1, WIDTH, HEIGHT), (0, y0, x0, y1), (x1, y0, WIDTH, y1)]
        assert [region(moved, *r) for r in outside] == [region(first, *r) for r in outside]
        if follows:
            assert dark_near(first, 260, 105) and dark_near(moved, *follows)
        if kept:
            assert region(moved, *kept) == region(first, *kept)
        press(window, reset)
        shot_when(window, lambda s, p: s == first, "the first picture again")
        out = close_driven(child, window)
    finally:
        child.kill()
        child.communicate()
    assert out == "returned limits kept\n"


@needs_display
@pytest.mark.parametrize("name,zoomed,check", [
    ("out.png", False, "savefig"),       # the bytes savefig writes at the window's size
    ("out.pdf", False, "savefig"),
    ("Out.SVG", False, "svg"),
    ("zoomed.png", True, "window"),      # what the zoomed window shows
    ("out.txt", False, "refused"),       # told in a message; the chooser stays open
])
def test_ctrl_s_saves_through_a_file_chooser(tmp_path, name, zoomed, check):
    child, window = start_driven(SIZED, cwd=tmp_path)
    try:
        shot = settled(window)
        if zoomed:
            run("xdotool", *[a.format(w=window) for a in WHEEL_IN])
            shot = settled(window, unlike=shot)
        press(window, "ctrl+s")
        chooser = window_named("Save the figure")
        press(chooser, "ctrl+a")
        run("xdotool", "type", name)
        run("xdotool", "key", "Return")
        if check == "refused":
            message = window_named("Cannot save the figure")
            assert not gone("Save the figure")
            press(message, "Return")
            press(chooser, "Escape")
        deadline = time.monotonic() + 10
        while not gone("Save the figure"):
            assert time.monotonic() < deadline, "the chooser stayed open"
            time.sleep(0.05)
        out = close_driven(child, window)
    finally:
        child.kill()
        child.communicate()
    assert out == "returned limits kept\n"
    saved = tmp_path / name
    if check == "refused":
        assert os.listdir(tmp_path) == []
        return
    data = saved.read_bytes()
    if check == "savefig":
        scope = {}
        exec(FIGURE, scope)
        expected = tmp_path / ("expected" + saved.suffix)
        scope["fig"].savefig(str(expected), WIDTH, HEIGHT)
        assert data == expected.read_bytes()
    elif check == "svg":
        assert data.startswith(b"<?xml") and b'width="400pt" height="300pt"' in data
        assert data.rstrip().endswith(b"</svg>")
    else:
        pixels = png_rgb(saved)
        assert region(pixels, *CELL_1) != region(exported(tmp_path), *CELL_1)
        assert similar(pixels, shot), unlike_pixels(pixels, shot, WIDTH, HEIGHT)


@needs_display
def test_numbers_print_the_same_after_a_window(tmp_path):
    env = dict(os.environ, LC_ALL="de_DE.UTF-8")
    probe = subprocess.run([sys.executable, "-c", "import locale; locale.setlocale(locale.LC_ALL, '')"],
                           env=env, capture_output=True)
    if probe.returncode != 0:
        pytest.skip("the de_DE.UTF-8 locale is not installed")
    child, window = start_child("method", env=env)
    out = finish(child, window)
    assert "numeric locale: C\n" in out
    assert "number: 0.500000\n" in out
    vector_line = out.split("vector: ")[1].split("\n")[0]
    assert "1.000000" in vector_line and "2.000000" in vector_line and "1,0" not in vector_line
    assert out.endswith("2.250000\n")


@pytest.mark.parametrize("form", ["method", "flat"])
def test_show_without_display_raises(form):
    script = FIGURE + """
import os
def show():
    try:
        fig.show() if %r == "method" else velta.vlp_show(fig)
    except RuntimeError as e:
        return "RuntimeError: %%s\\n" %% e
def resident_kb():
    return int(open("/proc/self/statm").read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // 1024
print(show(), end="")
for _ in range(100):
    show()
before = resident_kb()
for _ in range(1000):
    show()
# A failed call leaves nothing behind (the sanitizer's quarantine holds freed memory).
grown = resident_kb() - before
print("flat" if grown < 500 or os.environ.get("VELTA_SANITIZED") else "grew by %%d KB" %% grown)
print("alive")
""" % form
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    done = subprocess.run([sys.executable, "-c", script], env=env, capture_output=True, text=True,
                          timeout=30)
    assert done.returncode == 0, done.stderr
    assert done.stdout.startswith("RuntimeError: cannot show the figure: no display could be opened\n")
    assert done.stdout.endswith("flat\nalive\n")


INTERRUPTED = FIGURE + """
import signal, sys, time
print("showing", flush=True)
try:
    fig.show() if sys.argv[1] == "method" else velta.vlp_show(fig)
except KeyboardInterrupt:
    print("KeyboardInterrupt", time.monotonic(), flush=True)
print("handler kept:", signal.getsignal(signal.SIGINT) is signal.default_int_handler, flush=True)
try:
    time.sleep(20)
except KeyboardInterrupt:
    print("second KeyboardInterrupt", flush=True)
"""


@needs_display
@pytest.mark.parametrize("form", ["method", "flat"])
def test_ctrl_c_closes_the_window_and_raises(form):
    child = subprocess.Popen([sys.executable, "-c", INTERRUPTED, form], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True)
    stop = threading.Timer(15, child.kill)  # a held signal would block the reads below
    stop.start()
    try:
        assert child.stdout.readline() == "showing\n"
        find_window(child.pid)
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        word, when = child.stdout.readline().split()
        assert word == "KeyboardInterrupt" and float(when) - sent < 0.5
        assert child.stdout.readline() == "handler kept: True\n"
        gone = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(child.pid)],
                              capture_output=True)
        assert gone.stdout == b""
        # The process's own handling is back: the next Ctrl-C lands in Python.
        time.sleep(0.2)
        child.send_signal(signal.SIGINT)
        assert child.stdout.readline() == "second KeyboardInterrupt\n"
    finally:
        stop.cancel()
        child.kill()
        child.communicate()


LOST = FIGURE + """
import sys
print("showing", flush=True)
for attempt in ("first", "again"):
    try:
        fig.show() if sys.argv[1] == "method" else velta.vlp_show(fig)
    except RuntimeError as e:
        print(attempt, "RuntimeError:", e, flush=True)
print("alive", flush=True)
"""


def private_server():
    """A server of its own on a display number that Xvfb picks free."""
    read, write = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "640x480x24",
                               "-nolisten", "tcp"], stderr=subprocess.DEVNULL, pass_fds=(write,))
    os.close(write)
    with os.fdopen(read) as chosen:
        number = int(chosen.readline())
    # The server's first client waits for its keymap to be compiled; under
    # load that can outlast the five seconds a show gives a display to answer.
    subprocess.run(["xdpyinfo", "-display", ":%d" % number], capture_output=True, timeout=60)
    return server, number


@needs_display
@pytest.mark.parametrize("form", ["method", "flat"])
@pytest.mark.parametrize("loss", ["server gone", "client killed"])
def test_display_lost_while_shown_raises_and_the_process_carries_on(form, loss):
    server, number = private_server() if loss == "server gone" else (None, None)
    env = dict(os.environ, DISPLAY=":%d" % number) if server else None
    child = subprocess.Popen([sys.executable, "-c", LOST, form], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True, env=env)
    try:
        assert child.stdout.readline() == "showing\n"
        found = find_window(child.pid, env)
        if server:
            server.terminate()
            server.wait()
        else:
            run("xdotool", "windowkill", str(found))
        out, err = child.communicate(timeout=20)
    finally:
        child.kill()
        if server:
            server.terminate()
            server.wait()
    assert child.returncode == 0, err
    assert out == ("first RuntimeError: the display was lost while the figure was shown\n"
                   "again RuntimeError: cannot show the figure: no display could be opened\n"
                   "alive\n")


def test_display_that_never_answers_is_given_up():
    # A socket that takes the connection and says nothing, as a hung server.
    number = 600
    while os.path.exists("/tmp/.X%d-lock" % number) or os.path.exists("/tmp/.X11-unix/X%d" % number):
        number += 1
    path = "/tmp/.X11-unix/X%d" % number
    os.makedirs("/tmp/.X11-unix", exist_ok=True)
    mute = socket.socket(socket.AF_UNIX)
    mute.bind(path)
    mute.listen(8)
    try:
        script = FIGURE + """
import time
for attempt in ("first", "again"):
    t = time.monotonic()
    try:
        fig.show()
    except RuntimeError as e:
        print(attempt, "RuntimeError:", e, round(time.monotonic() - t))
"""
        done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                              timeout=60, env=dict(os.environ, DISPLAY=":%d" % number))
    finally:
        mute.close()
        os.unlink(path)
    assert done.returncode == 0, done.stderr
    # Five seconds for the first call; the second does not wait again.
    assert done.stdout == ("first RuntimeError: cannot show the figure: no display could be opened 5\n"
                           "again RuntimeError: cannot show the figure: no display could be opened 0\n")
