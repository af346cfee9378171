"""The window, driven from outside: a child process shows a figure, the test
finds the window, compares a screenshot with the exported picture, and
closes it the way a window manager would (WM_DELETE_WINDOW)."""
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


def exported(tmp_path, width, height):
    scope = {}
    exec(FIGURE, scope)
    path = tmp_path / "exported.png"
    scope["fig"].savefig(str(path), width, height)
    return read_png(path)


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


@needs_display
@pytest.mark.parametrize("form,width,height", [("method", 400, 300), ("flat", 400, 300),
                                               ("method", 801, 599), ("method", 901, 601)])
def test_window_shows_what_savefig_writes(tmp_path, form, width, height):
    child, window = start_child(form)
    try:
        resize(window, width, height)
        shot = tmp_path / "shot.png"
        shot.write_bytes(run("import", "-window", str(window), "png24:-"))
    except BaseException:
        child.kill()
        child.communicate()
        raise
    out = finish(child, window)
    assert "returned\n" in out

    got_width, got_height, seen = read_png(shot)
    assert (got_width, got_height) == (width, height)
    _, _, expected = exported(tmp_path, width, height)

    def far(x, y):
        return max(abs(a - b) for a, b in zip(seen[y][x][:3], expected[y][x][:3])) > 48
    near = sum(1 for y in range(height) for x in range(width) if not far(x, y))
    assert near / (width * height) >= 0.98
    # Inside the axis boxes there is no text: only line smoothing may differ.
    # A canvas one pixel off would differ along every line and cell edge.
    for k, box in enumerate(inner_boxes(width, height)):
        assert sum(far(x, y) for x, y in box) <= len(box) // 50, k
    # Away from any text: the image's red and black cells, the white margin.
    for x, y, colour in [(140, 75, (255, 0, 0)), (60, 75, (0, 0, 0)), (195, 75, (255, 255, 255))]:
        x, y = x * width // 400, y * height // 300
        assert seen[y][x][:3] == colour == expected[y][x][:3]


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
