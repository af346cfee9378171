"""Scattered points: two clouds with their own fill, outline and radius."""
import sys

import numpy as np

import velta
from velta import VlmVector, VlpFigure

out = sys.argv[1] if len(sys.argv) > 1 else "scatter.png"
rng = np.random.default_rng(7)
fig = VlpFigure(1, 1)
fig.scatter(0, VlmVector(rng.normal(3.0, 1.0, 60)), VlmVector(rng.normal(3.0, 1.0, 60)))
fig.scatter(0, VlmVector(rng.normal(6.0, 0.7, 40)), VlmVector(rng.normal(5.0, 0.7, 40)))
can = velta.vlp_set_canvas(fig, 0)
velta.vlp_xlim(can, 0.0, 9.0)
velta.vlp_ylim(can, 0.0, 8.0)
velta.vlp_set_color_alpha(can, 0, 30, 120, 220, 0.6)       # blue fill
velta.vlp_set_color_alpha_line(can, 0, 10, 40, 90, 1.0)    # dark outline
velta.vlp_set_color_alpha(can, 1, 240, 160, 20, 0.8)       # orange fill
velta.vlp_set_radius(can, 1, 9)
velta.vlp_set_linewidth(can, 1, 2)
fig.savefig(out, 640, 480)
