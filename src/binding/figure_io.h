/* Figures leaving the process: files, streams, notebooks and the window. */
#ifndef VELTA_FIGURE_IO_H
#define VELTA_FIGURE_IO_H

#include <Python.h>

#include "vlp.h"

/* VlpFigure.savefig(target, width=800, height=600, format=None): None, or
 * null with the exception set. */
PyObject *velta_figure_savefig(VlpFigure *fig, PyObject *target, int width, int height,
                               PyObject *format);
/* vlp_savefig(fig, filename, width, height): 0, or -1 with the exception set. */
int velta_savefig_path(VlpFigure *fig, const char *filename, int width, int height);
/* The PNG bytes savefig writes at 800 x 600, for IPython's display. */
PyObject *velta_figure_png(VlpFigure *fig);
/* Shows the figure until its window is closed, or until a signal handler
 * raises (Ctrl-C: KeyboardInterrupt), which closes the window. */
int velta_show_figure(VlpFigure *fig);

#endif
