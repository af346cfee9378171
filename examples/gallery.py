"""Remakes the pictures of docs/gallery.md: runs every gallery example and
writes its picture to docs/gallery/<name>.png.

    PYTHONPATH=build/src/binding /usr/bin/python3 examples/gallery.py
"""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = ["line", "scatter", "image_colorbar", "palettes", "grid_lines", "layout_2x3", "labels_legend",
            "named_palettes", "window"]


def main(target: str = os.path.join(HERE, os.pardir, "docs", "gallery")) -> None:
    os.makedirs(target, exist_ok=True)
    for name in EXAMPLES:
        picture = os.path.join(target, name + ".png")
        subprocess.run([sys.executable, os.path.join(HERE, name + ".py"), picture], check=True)
        print("wrote", os.path.normpath(picture))


if __name__ == "__main__":
    main(*sys.argv[1:])
