"""Lines: a damped wave and its envelope on one canvas."""
import sys

import numpy as np

import velta
from velta import VlmVector, VlpFigure

out = sys.argv[1] if len(sys.argv) > 1 else "line.png"
t = np.linspace(0.0, 4.0 * np.pi, 200)
time = VlmVector(t)
wave = VlmVector(np.sin(2 * t) * np.exp(-0.2 * t))
envelope = VlmVector(np.exp(-0.2 * t))

fig = VlpFigure(1, 1)
fig.plot(0, time, wave)               # the first series sets the limits
fig.plot(0, time, envelope)
can = velta.vlp_set_canvas(fig, 0)
velta.vlp_set_linewidth(can, 0, 3)
velta.vlp_set_color_alpha(can, 1, 200, 40, 40, 0.7)   # red, a little transparent
velta.vlp_set_linewidth(can, 1, 2)
velta.vlp_ylim(can, -1.0, 1.0)
fig.savefig(out, 640, 480)
