# Sphinx settings of the API reference. The sources are written by
# docs/reference.py into the build folder; this folder only holds the settings.
project = "velta"
author = "The velta developers"
extensions = ["myst_parser"]
source_suffix = {".rst": "restructuredtext", ".md": "markdown"}
root_doc = "index"
html_theme = "alabaster"
html_title = "velta"
# Types named in signatures that Sphinx has no entry for (NumPy's, the
# pointer object's) are shown as written.
nitpicky = False
# The Markdown pages' headings can be linked to.
myst_heading_anchors = 3
