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

#include <stddef.h>

#include "vlm.h"
#include "vlp_series.h"

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
  /* Title, axis labels, series labels and the legend (labels.cpp); null
   * until one is set. Owned by the canvas and freed with it; not wrapped. */
  struct s_canvas_labels *p_labels;
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

/* Texts of a canvas, UTF-8, drawn in the margins of its frame; an empty (or
 * null) text removes it. vlp_set_label names series `line` in the legend, which
 * vlp_set_legend shows (boolean) in the plot box at loc ("upper right",
 * "upper left", "lower left", "lower right", "right", "center left",
 * "center right", "lower center", "upper center", "center"; an unknown
 * name leaves the legend as it was). */
void *vlp_set_title(VlpCanvas *can, const char *text);
void *vlp_set_xlabel(VlpCanvas *can, const char *text);
void *vlp_set_ylabel(VlpCanvas *can, const char *text);
void *vlp_set_label(VlpCanvas *can, int line, const char *text);
void *vlp_set_legend(VlpCanvas *can, int boolean, const char *loc);
/* Gives image series `line` the named palette ("viridis", "magma",
 * "inferno", "plasma", "cividis", "gray", each also reversed with "_r"),
 * its entries spread evenly from the smallest to the largest value of the
 * series' matrix. An unknown name (or a series that is no image) leaves the
 * palette as it was. */
void *vlp_set_palette(VlpCanvas *can, int line, const char *name);
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
/* Whether a series of the type draws from a matrix and holds a palette (an
 * image series): 1 or 0. */
int vlp_series_keeps_matrix(int type);
/* Frees the canvas's texts (p_labels), leaving it null. */
void vlp_canvas_labels_delete(VlpCanvas *can);
/* Legend location of a name (as vlp_set_legend takes it), or -1. */
int vlp_legend_loc(const char *loc);
/* Whether vlp_set_palette knows the palette name. */
int vlp_palette_known(const char *name);
/* The names of the legend locations and of the palettes, comma separated,
 * for messages. */
const char *vlp_legend_locs(void);
const char *vlp_palette_names(void);

#define VLP_WINDOW_MAX_SIZE 32767
/* Releases what vlp_set_window_title and vlp_set_window_size kept. */
void vlp_window_options_delete(struct s_window_options *options);

/* File export: renders what a window of width x height pixels shows, through
 * the same draw routine as the window. vlp_savefig takes the format from the
 * file name's extension (.png, .svg, .pdf, any case); vlp_savefig_stream is
 * given the format and hands the bytes to write(closure, data, length),
 * which returns 0 on success. Nothing is written unless the picture could be
 * made whole. A PDF carries no creation date unless SOURCE_DATE_EPOCH gives
 * one, and a PNG's bytes do not depend on the threads that made it, so the
 * same figure gives the same bytes. */
enum e_savefig_status {
  VLP_SAVEFIG_OK = 0,
  VLP_SAVEFIG_BAD_EXTENSION = 1, /* not .png, .svg or .pdf; an unknown format */
  VLP_SAVEFIG_BAD_SIZE = 2,      /* width or height below 1 */
  VLP_SAVEFIG_WRITE_ERROR = 3,   /* the file could not be written: see errno */
  VLP_SAVEFIG_TOO_LARGE = 4,     /* a side beyond the format's max_size */
  VLP_SAVEFIG_NO_MEMORY = 5      /* the surface could not be allocated */
};
enum e_savefig_format { VLP_FORMAT_UNKNOWN = -1, VLP_FORMAT_PNG = 0, VLP_FORMAT_SVG = 1, VLP_FORMAT_PDF = 2 };
/* cairo's largest image surface; SVG and PDF surfaces of 2^23 units a side
 * or more draw nothing or abort. */
#define VLP_PNG_MAX_SIZE 32767
#define VLP_VECTOR_MAX_SIZE 8388607
/* A format: its name, which is also its file extension (either in any
 * case), a picture of it as messages name it ("a PNG"), and the largest
 * width and height it takes, in unit. */
typedef struct s_format_info {
  const char *name, *noun, *unit;
  int max_size;
} VlpFormatInfo;
/* The format of a VLP_FORMAT_* value, from 0 up; NULL past the last. */
const VlpFormatInfo *vlp_format_info(int format);
/* The format named name ("png", "PDF"), or VLP_FORMAT_UNKNOWN. */
int vlp_format_named(const char *name);
typedef int (*VlpWriteFunc)(void *closure, const unsigned char *data, size_t length);
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
