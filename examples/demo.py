"""A tour of velta: vectors, matrices, NumPy exchange and a figure."""
import functools

import velta

# The library prints through C stdio; flush Python's own prints so that the
# two streams interleave in order.
print = functools.partial(print, flush=True)


def section(title: str) -> None:
    print()
    print("== " + title)


section("Vectors")
v = velta.vlm_vector_new_linspace(0.0, 1.0, 4)
velta.vlm_vector_print_partial(v)
r = velta.vlm_vector_new_arange(0, 1, 9)
velta.vlm_vector_print_partial(r)
velta.vlm_vector_print_full(r)
d = velta.vlm_vector_new_arange_double(0.0, 0.1, 1.0)
print("arange_double(0, 0.1, 1.0) has", d.size, "elements; last", velta.vlm_vector_get_item(d, d.size - 1))
s = velta.vlm_vector_new_values(5, 3.0, -1.5, 7.25, 0.0, 2.0)
velta.vlm_vector_sort(s)
print("sorted:", velta.vlm_vector_to_string(s, 1), end="")
print("min", velta.vlm_vector_min(s), "max", velta.vlm_vector_max(s))
velta.vlm_vector_append_vector(s, s)
print("appended to itself:", velta.vlm_vector_to_string(s, 1), end="")
for rec in (v, r, d, s):
    velta.vlm_vector_delete(rec)

section("Matrices")
ident = velta.vlm_matrix_new_identity(7)
velta.vlm_matrix_print_partial(ident)          # first four rows, the marker line, the last row
a = velta.vlm_matrix_new_zero(2, 3)
b = velta.vlm_matrix_new_zero(3, 2)
for k in range(6):
    velta.vlm_matrix_set_item(a, k // 3, k % 3, k + 1.0)     # [1, 2, 3], [4, 5, 6]
    velta.vlm_matrix_set_item(b, k // 2, k % 2, k + 7.0)     # [7, 8], [9, 10], [11, 12]
velta.vlm_matrix_print_full(a)
p = velta.vlm_matrix_new_multiplication(a, b)
assert p is not None                           # None only when the inner sizes differ
print("a @ b:", velta.vlm_matrix_to_string(p, 1), end="")
print("a @ a is", velta.vlm_matrix_new_multiplication(a, a), "(inner sizes differ)")
velta.vlm_matrix_transpose(a)
print("a transposed:", velta.vlm_matrix_to_string(a, 1), end="")
wide = velta.vlm_matrix_new_random(6, 8, -1.0, 1.0)
velta.vlm_matrix_print(wide, 0)                # partial: rows and columns abbreviated
velta.vlm_matrix_print_full(wide)              # full: every element
block = velta.vlm_matrix_new_extract_row_col(wide, 1, 2, 0, 2)
print("rows 1-2, columns 0-2 of it:", velta.vlm_matrix_to_string(block, 1), end="")
print("min %.6f max %.6f" % (velta.vlm_matrix_min(wide), velta.vlm_matrix_max(wide)))
try:
    velta.vlm_matrix_get_item(a, 3, 0)
except IndexError as exc:
    print("reading outside:", exc)
velta.vlm_print_values_space("dfs", 3, 2.5, "values from Python")
for mat in (ident, a, b, p, wide, block):
    velta.vlm_matrix_delete(mat)

section("Classes and NumPy")
import numpy as np                              # noqa: E402
from velta import VlmMatrix, VlmVector          # noqa: E402

x = VlmVector(5)                                # five zeros, owned by x
x.linspace(0.0, 1.0)
y = VlmVector(x.toNumpy() ** 2)                 # toNumpy shares x's storage; the constructor copies
print("x:", x)
print("y:", y)
print("y[2] =", y[2], " len(y) =", len(y), " 0.0 in y:", 0.0 in y)
x += 1.0                                        # in place: x stays the same owning object
print("x + 1:", list(x))
z = x * 2.0                                     # a new vector that Python does not own ...
z.this.acquire()                                # ... until it is given ownership
print("2 * (x + 1):", [round(e, 2) for e in z])
x.append([10, 20])                              # a sequence, a VlmVector or one value
print("appended:", list(x))
view = x.toNumpy()
view[0] = -1.0                                  # writes through to x
try:
    x.append(1.0)                               # would move the storage under the view
except BufferError as exc:
    print("while a view exists:", exc)
del view
m = VlmMatrix(np.arange(6.0).reshape(2, 3))
m[1, 2] = 50.0
print("m:", m.getShape(), list(m))
col = m.extractColumn(2)
print("column 2:", col.toNumpy().ravel().tolist())
velta.vlm_matrix_delete(col)                    # extractions are not owned: release them
prod = m @ VlmMatrix([[1.0], [0.0], [1.0]])
assert prod is not None
print("m @ [1, 0, 1]^T:", prod.toNumpy().ravel().tolist())
velta.vlm_matrix_delete(prod)
print("2x3 @ 2x3:", m @ VlmMatrix(2, 3))

section("A figure")
import math                                     # noqa: E402
import os                                       # noqa: E402
from velta import VlpFigure                     # noqa: E402

fig = VlpFigure(2, 2)
t = VlmVector(100)
t.linspace(0.0, 4.0 * math.pi)
wave = VlmVector(np.sin(t.toNumpy()) * np.exp(-0.1 * t.toNumpy()))
fig.plot(0, t, wave)                            # a line
px = VlmVector(np.random.default_rng(1).uniform(0, 10, 40))
py = VlmVector(np.random.default_rng(2).uniform(0, 10, 40))
fig.scatter(1, px, py)                          # scattered points
can = velta.vlp_set_canvas(fig, 1)
velta.vlp_set_color_alpha(can, 0, 30, 120, 220, 0.6)   # blue, half transparent
velta.vlp_set_radius(can, 0, 8)
g = np.linspace(-2.0, 2.0, 24)
fig.imshow(2, VlmMatrix(np.exp(-(g[:, None] ** 2 + g[None, :] ** 2))))   # an image with colour bar
fig.imshow(3, VlmMatrix(np.add.outer(np.arange(8.0), np.arange(12.0))))
can = velta.vlp_set_canvas(fig, 3)
pal = velta.vlp_color_pallete_canvas_set_size(can, 0, 3)   # a custom palette:
velta.vlp_color_pallete_set(pal, 0, 20, 40, 160, 1.0, 0.0)      # blue at 0
velta.vlp_color_pallete_set(pal, 1, 250, 250, 250, 1.0, 9.0)    # white at 9
velta.vlp_color_pallete_set(pal, 2, 200, 30, 30, 1.0, 18.0)     # red at 18
velta.vlp_set_color_alpha_line(can, 0, 255, 255, 255, 1.0)      # white cell outlines
velta.vlp_set_grid(can, velta.TRUE)
if os.environ.get("DISPLAY"):
    print("showing the figure; close the window to go on")
    fig.show()
else:
    fig.savefig("demo.png", 1000, 800)
    print("no display: the figure was saved to", os.path.abspath("demo.png"))
