"""A labelled 2 x 2 figure: a title and axis labels on every canvas, series
labels and a legend in a named corner."""
import sys

import numpy as np

import velta
from velta import VlmMatrix, VlmVector, VlpFigure

out = sys.argv[1] if len(sys.argv) > 1 else "labels_legend.png"
t = np.linspace(0.0, 2.0 * np.pi, 120)
fig = VlpFigure(2, 2)

fig.plot(0, VlmVector(t), VlmVector(np.sin(t)))
fig.plot(0, VlmVector(t), VlmVector(np.cos(t)))
velta.vlp_set_color_alpha(velta.vlp_set_canvas(fig, 0), 1, 230, 90, 20, 1.0)
fig.set_label(0, 0, "sin t")
fig.set_label(0, 1, "cos t")
fig.legend(0, "lower left")
fig.set_title(0, "Two waves")
fig.set_xlabel(0, "t (rad)")
fig.set_ylabel(0, "amplitude")

rng = np.random.default_rng(3)
x = rng.uniform(0, 1, 60)
fig.scatter(1, VlmVector(x), VlmVector(x + rng.normal(0, 0.1, 60)))
fig.plot(1, VlmVector([0.0, 1.0]), VlmVector([0.0, 1.0]))
canvas = velta.vlp_set_canvas(fig, 1)
velta.vlp_set_color_alpha(canvas, 0, 60, 120, 200, 0.8)
velta.vlp_set_linewidth(canvas, 1, 2)
fig.set_label(1, 0, "measured")
fig.set_label(1, 1, "y = x")
fig.legend(1, "upper left")
fig.set_title(1, "Measured against expected")
fig.set_xlabel(1, "expected")
fig.set_ylabel(1, "measured")

fig.plot(2, VlmVector(t), VlmVector(np.exp(-t / 2) * np.sin(4 * t)))
fig.set_label(2, 0, "e^(−t/2) · sin 4t")
fig.legend(2)  # upper right
fig.set_title(2, "Damped (UTF-8: −, ·)")
fig.set_xlabel(2, "t (rad)")
fig.set_ylabel(2, "y")

fig.imshow(3, VlmMatrix(np.outer(np.sin(t[::12]), np.cos(t[::12]))))
fig.set_palette(3, 0, "viridis")
fig.set_title(3, "sin(u) cos(v), viridis")
fig.set_xlabel(3, "v")
fig.set_ylabel(3, "u")
fig.savefig(out, 1200, 900)
