"""Custom palettes: a three-colour palette, and a palette with a NaN hole
(the cell keeps its outline, only its fill is transparent)."""
import sys

import numpy as np

import velta
from velta import VlmMatrix, VlpFigure

out = sys.argv[1] if len(sys.argv) > 1 else "palettes.png"
fig = VlpFigure(1, 2)
fig.imshow(0, VlmMatrix(np.add.outer(np.arange(8.0), np.arange(12.0))))
can = velta.vlp_set_canvas(fig, 0)
pal = velta.vlp_color_pallete_canvas_set_size(can, 0, 3)
velta.vlp_color_pallete_set(pal, 0, 20, 40, 160, 1.0, 0.0)     # blue at 0
velta.vlp_color_pallete_set(pal, 1, 250, 250, 250, 1.0, 9.0)   # white at 9
velta.vlp_color_pallete_set(pal, 2, 200, 30, 30, 1.0, 18.0)    # red at 18
velta.vlp_set_color_alpha_line(can, 0, 255, 255, 255, 1.0)     # white outlines

cells = np.arange(16.0).reshape(4, 4)
cells[1, 2] = np.nan
fig.imshow(1, VlmMatrix(cells))
can = velta.vlp_set_canvas(fig, 1)
pal = velta.vlp_color_pallete_canvas_set_size(can, 0, 2)
velta.vlp_color_pallete_set(pal, 0, 255, 230, 120, 1.0, 0.0)   # pale yellow
velta.vlp_color_pallete_set(pal, 1, 0, 110, 60, 1.0, 15.0)     # green
fig.savefig(out, 960, 420)
