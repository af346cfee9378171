/* velta plotting: figures made of a grid of canvases holding line, scatter
 * and image series, drawn with cairo in a GTK 3 window or into a file.
 *
 * Plain C interface. A figure owns its canvases, their per-series arrays and
 * the palettes of its image series; the vectors and matrices given to
 * vlp_plot, vlp_scatter and vlp_imshow are borrowed, never copied or freed.
 * Functions declared with a void * result return a null pointer.
 */
#ifndef VELTA_VLP_H
#define VELTA_VLP_H

#include "vlm.h"

#ifdef __cplusplus
extern "C" {
#endif

#define VRGB 255

typedef enum e_canvas_type {
  VLP_PLOT = 0,
  VLP_SCATTER = 1,
  VLP_IMAGE = 2,
  VLP_CONTOUR = 3
} VlpCanvasType;

typedef struct s_color {
  int r;
  int g;
  int b;
  double a;
  double val;  /* palette entry: data value of this colour */
  int size;    /* palette: number of entries, kept in entry 0 */
} VlmColor;

typedef struct s_plot_data {
  VlmVector *vecx;
  VlmVector *vecy;
} VlmPlotData;

typedef struct s_coord_double {
  double x;
  double y;
} VlmCoordDouble;

typedef struct s_coord_int {
  int x;
  int y;
} VlmCoordInt;

typedef struct s_canvas {
  int *p_r_type;
  int *p_r_linewidth;
  int *p_r_radius;
  int row;
  int col;
  int index;
  int grid;
  VlmCoordDouble min;
  VlmCoordDouble max;
  VlmVector **p_r_vecx;
  VlmVector **p_r_vecy;
  VlmMatrix **p_r_mat;
  VlmColor *p_r_color;
  VlmColor *p_r_color_outside;
  VlmColor **p_r_color_pallete;
  int numOfVec;
} VlpCanvas;

struct s_window_options;

typedef struct s_figure {
  int row;
  int col;
  int size;
  VlpCanvas *p_r_canvas;
  /* What the next window of the figure is given (title, size): null until
   * set, freed with the figure, not a field of the Python record. */
  struct s_window_options *p_window;
} VlpFigure;

VlpFigure *vlp_figure_new(int row, int col);
VlpFigure *vlp_subplots(int row, int col);
void vlp_figure_delete(VlpFigure *fig);
VlpCanvas *vlp_set_canvas(VlpFigure *fig, int index);
void *vlp_plot(VlpCanvas *can, VlmVector *vecx, VlmVector *vecy);
void *vlp_scatter(VlpCanvas *can, VlmVector *vecx, VlmVector *vecy);
void *vlp_imshow(VlpCanvas *can, VlmMatrix *mat);
void *vlp_xlim(VlpCanvas *can, double min, double max);
void *vlp_ylim(VlpCanvas *can, double min, double max);
void *vlp_set_grid(VlpCanvas *can, int boolean);
void *vlp_set_radius(VlpCanvas *can, int line, int radius);
void *vlp_set_linewidth(VlpCanvas *can, int line, int linewidth);
void *vlp_set_color_alpha(VlpCanvas *can, int line, int red, int green, int blue, double alpha);
void *vlp_set_color_alpha_line(VlpCanvas *can, int line, int red, int green, int blue, double alpha);
VlmColor *vlp_color_pallete_canvas_set_size(VlpCanvas *can, int line, int size);
void *vlp_color_pallete_set(VlmColor *clr, int index, int r, int g, int b, double a, double val);
void vlp_show(VlpFigure *fig);

/* The title and size of the windows that vlp_show opens from now on. A title
 * is UTF-8; an empty one gives the window no title of its own (the toolkit's
 * default, as before any call). A size is width x height pixels, each from 1
 * to VLP_WINDOW_MAX_SIZE, or 0 x 0 for none (the toolkit's default size);
 * any other size changes nothing. A title that cannot be copied leaves the
 * previous one, with errno set to ENOMEM. */
void *vlp_set_window_title(VlpFigure *fig, const char *title);
void *vlp_set_window_size(VlpFigure *fig, int width, int height);

#ifndef SWIG
/* Library routines without a direct Python wrapper. */
VlmColor *vlp_color_pallete_new(int size);
void vlp_color_pallete_delete(VlmColor *clr);
void vlp_allocation(VlpCanvas *can, VlmVector *vecx, VlmVector *vecy, VlmMatrix *mat, int type);

#define VLP_WINDOW_MAX_SIZE 32767
/* Releases what vlp_set_window_title and vlp_set_window_size kept. */
void vlp_window_options_delete(struct s_window_options *options);

/* File export: renders what a window of width x height pixels shows, through
 * the same draw routine as the window. vlp_savefig takes the format from the
 * file name's extension (.png, .svg, .pdf, any case); vlp_savefig_stream is
 * given the format and hands the bytes to write(closure, data, length),
 * which returns 0 on success. Nothing is written unless the picture could be
 * made whole. A PDF carries no creation date unless SOURCE_DATE_EPOCH gives
 * one, so the same figure gives the same bytes. */
enum e_savefig_status {
  VLP_SAVEFIG_OK = 0,
  VLP_SAVEFIG_BAD_EXTENSION = 1, /* not .png, .svg or .pdf; an unknown format */
  VLP_SAVEFIG_BAD_SIZE = 2,      /* width or height below 1 */
  VLP_SAVEFIG_WRITE_ERROR = 3,   /* the file could not be written: see errno */
  VLP_SAVEFIG_TOO_LARGE = 4,     /* a PNG beyond VLP_PNG_MAX_SIZE pixels a side */
  VLP_SAVEFIG_NO_MEMORY = 5      /* the surface could not be allocated */
};
enum e_savefig_format { VLP_FORMAT_UNKNOWN = -1, VLP_FORMAT_PNG = 0, VLP_FORMAT_SVG = 1, VLP_FORMAT_PDF = 2 };
#define VLP_PNG_MAX_SIZE 32767
typedef int (*VlpWriteFunc)(void *closure, const unsigned char *data, unsigned int length);
/* The format named by a file name's extension, or VLP_FORMAT_UNKNOWN. */
int vlp_format_of_name(const char *filename);
int vlp_savefig(VlpFigure *fig, const char *filename, int width, int height);
/* The same with the format given: the name's extension is not read. */
int vlp_savefig_format(VlpFigure *fig, const char *filename, int format, int width, int height);
int vlp_savefig_stream(VlpFigure *fig, int format, int width, int height, VlpWriteFunc write,
                       void *closure);

/* Showing a figure when no display can be opened: vlp_show_checked returns 0
 * after the window was closed, -1 when GTK could not be initialised. */
int vlp_show_checked(VlpFigure *fig);
/* The same, asking poll(closure) every interval_ms milliseconds while the
 * window is open: when it returns non-zero the window is closed and
 * vlp_show_polled returns 1. It returns 2 when the display was lost while the
 * window was shown (the X server went away or closed the connection); the
 * process carries on, and later calls return -1. */
int vlp_show_polled(VlpFigure *fig, int (*poll)(void *), void *closure, int interval_ms);
#endif

#ifdef __cplusplus
}
#endif

#endif /* VELTA_VLP_H */
