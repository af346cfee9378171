"""A 2 x 3 layout: canvases are numbered row by row, from the top left."""
import sys

import numpy as np

import velta
from velta import VlmMatrix, VlmVector, VlpFigure

out = sys.argv[1] if len(sys.argv) > 1 else "layout_2x3.png"
x = np.linspace(0.0, 2.0 * np.pi, 80)
fig = VlpFigure(2, 3)
fig.plot(0, VlmVector(x), VlmVector(np.sin(x)))
fig.plot(1, VlmVector(x), VlmVector(np.cos(x)))
fig.scatter(2, VlmVector(x[::8]), VlmVector(np.sin(x[::8]) * np.cos(x[::8])))
fig.imshow(3, VlmMatrix(np.outer(np.sin(x[::10]), np.cos(x[::10]))))
fig.imshow(4, VlmMatrix(np.eye(5)))
fig.plot(5, VlmVector(x), VlmVector(x ** 0.5))
velta.vlp_set_grid(velta.vlp_set_canvas(fig, 5), velta.TRUE)
fig.savefig(out, 1200, 700)
