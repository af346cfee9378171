"""Grid lines: the same curve without and with the grid."""
import sys

import numpy as np

import velta
from velta import VlmVector, VlpFigure

out = sys.argv[1] if len(sys.argv) > 1 else "grid_lines.png"
x = np.linspace(0.0, 1.0, 50)
fig = VlpFigure(1, 2)
for i in range(2):
    fig.plot(i, VlmVector(x), VlmVector(x ** 3))
    velta.vlp_set_linewidth(velta.vlp_set_canvas(fig, i), 0, 3)
velta.vlp_set_grid(velta.vlp_set_canvas(fig, 1), velta.TRUE)
fig.savefig(out, 960, 420)
