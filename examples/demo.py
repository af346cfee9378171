"""A tour of velta: vectors, matrices, NumPy exchange and a figure."""
import functools

import velta

# The library prints through C stdio; flush Python's own prints so that the
# two streams interleave in order.
print = functools.partial(print, flush=True)


def section(title):
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
