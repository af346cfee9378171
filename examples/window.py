"""A window with a title and a size of its own. In the window the wheel
zooms a canvas about the pointer, a drag pans it, r or Home puts it back,
Ctrl+S saves what the window shows, q or Ctrl+W closes it. Given a path, the
script writes what the window first shows instead of opening it."""
import sys

import numpy as np

from velta import VlmMatrix, VlmVector, VlpFigure

WIDTH, HEIGHT = 960, 420

t = np.linspace(0.0, 4 * np.pi, 400)
fig = VlpFigure(1, 2)
fig.plot(0, VlmVector(t), VlmVector(np.sin(3 * t) * np.exp(-t / 5)))
x, y = np.meshgrid(np.linspace(-2.0, 2.0, 40), np.linspace(-1.5, 1.5, 30))
fig.imshow(1, VlmMatrix(np.exp(-(x ** 2 + y ** 2)) * np.cos(3 * x)))
fig.set_window_title("velta: wheel zooms, drag pans, r resets, Ctrl+S saves, q closes")
fig.set_window_size(WIDTH, HEIGHT)
if len(sys.argv) > 1:
    fig.savefig(sys.argv[1], WIDTH, HEIGHT)
else:
    fig.show()
