"""An image with its colour bar: a Gaussian bump, black at the smallest value
and red at the largest (the default palette)."""
import sys

import numpy as np

from velta import VlmMatrix, VlpFigure

out = sys.argv[1] if len(sys.argv) > 1 else "image_colorbar.png"
g = np.linspace(-2.0, 2.0, 24)
fig = VlpFigure(1, 1)
fig.imshow(0, VlmMatrix(np.exp(-(g[:, None] ** 2 + g[None, :] ** 2))))
fig.savefig(out, 640, 480)
