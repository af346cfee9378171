"""Named palettes side by side: one image under each map."""
import sys

import numpy as np

from velta import VlmMatrix, VlpFigure

out = sys.argv[1] if len(sys.argv) > 1 else "named_palettes.png"
u = np.linspace(-2.0, 2.0, 24)
cells = np.exp(-(u[:, None] ** 2 + u[None, :] ** 2) / 2) + 0.3 * u[None, :]
names = ["viridis", "magma", "inferno", "plasma", "cividis", "gray"]
fig = VlpFigure(2, 3)
for i, name in enumerate(names):
    fig.imshow(i, VlmMatrix(cells))
    fig.set_palette(i, 0, name)
    fig.set_title(i, name)
fig.savefig(out, 1200, 700)
