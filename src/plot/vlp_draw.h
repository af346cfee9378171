/* velta plotting, private part: the frame renderer and the drawing
 * primitives it is built from. C++ with cairo and GTK types; not part of the
 * Python interface.
 *
 * Coordinates: a data point (VlmCoordDouble) is mapped by vlp_data_to_canvas
 * onto the pixel box of a canvas (VlmCoordInt, centred on the cell, y down).
 * Every routine takes the pixel box and the data box as pointers to their low
 * and high corners, and draws through a context that the frame renderer has
 * already translated to the cell centre and scaled by 0.8.
 */
#ifndef VELTA_VLP_DRAW_H
#define VELTA_VLP_DRAW_H

/* vlp.h first: its TRUE and FALSE then stand, and GLib keeps them. */
#include "vlp.h"

#include <cairo.h>
#include <vector>

/* Canvas point of the data point p. Truncated toward zero; y is negated so
 * that the upward data axis becomes cairo's downward one. */
void vlp_data_to_canvas(VlmCoordInt *plo, VlmCoordInt *phi, VlmCoordDouble p, VlmCoordInt *out,
                        VlmCoordDouble *dlo, VlmCoordDouble *dhi);

void vlp_create_line(cairo_t *cr, VlmCoordDouble start, VlmCoordDouble end, VlmCoordInt *plo,
                     VlmCoordInt *phi, VlmCoordDouble *dlo, VlmCoordDouble *dhi, int width);
void vlp_create_text(cairo_t *cr, VlmCoordDouble p, VlmCoordInt *plo, VlmCoordInt *phi,
                     VlmCoordDouble *dlo, VlmCoordDouble *dhi, double fontsize, const char *text);
void vlp_create_text_addxy(cairo_t *cr, VlmCoordDouble p, VlmCoordInt *plo, VlmCoordInt *phi,
                           VlmCoordDouble *dlo, VlmCoordDouble *dhi, double fontsize,
                           const char *text, int dx, int dy);

void vlp_create_multiline(cairo_t *cr, VlmVector *vecx, VlmVector *vecy, VlmCoordInt *plo,
                          VlmCoordInt *phi, VlmCoordDouble *dlo, VlmCoordDouble *dhi, int width);
void vlp_create_circle(cairo_t *cr, VlmCoordDouble centre, VlmCoordInt *plo, VlmCoordInt *phi,
                       VlmCoordDouble *dlo, VlmCoordDouble *dhi, double radius, VlmColor *fill,
                       VlmColor *outline);
void vlp_create_multicircle(cairo_t *cr, VlmVector *vecx, VlmVector *vecy, VlmCoordInt *plo,
                            VlmCoordInt *phi, VlmCoordDouble *dlo, VlmCoordDouble *dhi,
                            double radius, int width, VlmColor *fill, VlmColor *outline);
void vlp_create_rectangle(cairo_t *cr, VlmCoordDouble corner, VlmCoordInt *plo, VlmCoordInt *phi,
                          VlmCoordDouble *dlo, VlmCoordDouble *dhi, VlmColor *fill,
                          VlmColor *outline);

/* Colour of the value *x in the palette: linear interpolation between the two
 * palette entries whose values enclose it. Writes r, g, b and a of out. */
void vlp_select_color_pallete(double *x, VlmColor *pallete, VlmColor *out);

/* A palette prepared for many lookups: its values sorted once. Lookups give
 * exactly what vlp_select_color_pallete gives, which is built on it.
 * Beyond the ends a value takes the colour of the nearest end; NaN (and an
 * empty palette) give a fully transparent colour; a palette of one entry
 * gives that entry's colour. */
class VlpPalleteLookup {
 public:
  explicit VlpPalleteLookup(const VlmColor *pallete);
  void select(double x, VlmColor *out) const;
  /* Whether every value selects an opaque colour of channels 0 to 255 (NaN
   * aside): the palette's values are finite and its entries such colours. */
  bool opaque() const;

 private:
  const VlmColor *pallete_;
  std::vector<double> vals_;  // ascending, NaN values left out
  std::vector<int> entry_;    // per sorted value: highest palette index holding it
};

struct VlpFrameTexts;

/* The cells of an image: one rectangle per matrix entry, outlined and filled
 * with the colour of its value. */
void vlp_create_multirectangle(cairo_t *cr, VlmMatrix *mat, VlmCoordInt *plo, VlmCoordInt *phi,
                               VlmCoordDouble *dlo, VlmCoordDouble *dhi, int width,
                               const VlpPalleteLookup &lookup, VlmColor *outline);
/* The colour bar of an image, right of the data box, with its labels; their
 * ink boxes are noted in texts when it is set. */
void vlp_create_colorbar(cairo_t *cr, VlmMatrix *mat, VlmCoordInt *plo, VlmCoordInt *phi,
                         VlmCoordDouble *dlo, VlmCoordDouble *dhi, int width,
                         const VlpPalleteLookup &lookup, VlmColor *outline, VlpFrameTexts *texts);
void vlp_create_colorbar(cairo_t *cr, VlmMatrix *mat, VlmCoordInt *plo, VlmCoordInt *phi,
                         VlmCoordDouble *dlo, VlmCoordDouble *dhi, int width, VlmColor *pallete,
                         VlmColor *outline);

/* Makes c, channels 0 to 255, the source colour. */
void vlp_set_source(cairo_t *cr, const VlmColor *c);

/* Tick values for an axis from lo to hi: eleven steps of (hi - lo) / 10 as
 * vlm_vector_new_arange_double gives them, or a null pointer when the axis
 * gets no ticks (reversed, non-finite, or a step lost in rounding). */
VlmVector *vlp_ticks_new(double lo, double hi);

/* Ink box of a text, or the plot box, in device coordinates. */
enum VlpTextKind { VLP_TEXT_XTICK, VLP_TEXT_YTICK, VLP_TEXT_BAR };
struct VlpTextBox {
  double x0, y0, x1, y1;
  int kind;
};
/* What the frame drew, noted for the labels set on a canvas: the plot box
 * and the boxes of the tick and colour bar labels. */
struct VlpFrameTexts {
  VlpTextBox box;
  std::vector<VlpTextBox> texts;
};

/* What a window shows of one canvas once it was zoomed or panned (active):
 * the data box lo..hi instead of the canvas's limits. The records are not
 * changed. */
struct VlpView {
  bool active;
  VlmCoordDouble lo, hi;
};

/* The boxes of one canvas's frame: pixel box (plo, phi), data box (dlo, dhi),
 * and the half-cell size hw x hh in device pixels. The colour bar is laid
 * out in the data box of the canvas's own limits (blo, bhi), which is the
 * data box unless a view is shown; then the series are cut at the axis box
 * (cut). When texts is set, the frame's texts are noted there as they are
 * drawn. */
struct VlpFrame {
  VlmCoordInt plo, phi;
  VlmCoordDouble dlo, dhi;
  int hw, hh;
  VlpFrameTexts *texts;
  VlmCoordDouble blo, bhi;
  bool cut;
};

/* ---- labels (labels.cpp) ---- */
/* Whether the canvas has a title, an axis label or a legend to draw. */
bool vlp_canvas_labelled(const VlpCanvas *can);
/* Draws them, in the context of the canvas's cell (origin at its top left,
 * device pixels), into the margins and plot box that f's texts describe. */
void vlp_draw_labels(cairo_t *cr, const VlpCanvas *can, const VlpFrame *f);

/* ---- named palettes (palettes.cpp) ---- */
/* Fills pal (n entries from vlp_color_pallete_new(n)) with the named
 * palette spread from lo to hi; false for an unknown name. */
bool vlp_palette_fill(const char *name, VlmColor *pal, double lo, double hi);
/* Entries of the named palette (0 for an unknown name). */
int vlp_palette_size(const char *name);

/* Series of a view are cut at the axis box (f->cut) for as long as this
 * lives; otherwise it does nothing. */
class VlpBoxCut {
 public:
  VlpBoxCut(cairo_t *cr, const VlpFrame *f) : cr_(f->cut ? cr : nullptr) {
    if (!cr_) return;
    cairo_save(cr_);
    cairo_rectangle(cr_, f->plo.x, f->plo.y, f->phi.x - f->plo.x, f->phi.y - f->plo.y);
    cairo_clip(cr_);
  }
  ~VlpBoxCut() {
    if (cr_) cairo_restore(cr_);
  }
  VlpBoxCut(const VlpBoxCut &) = delete;
  VlpBoxCut &operator=(const VlpBoxCut &) = delete;

 private:
  cairo_t *cr_;
};

/* ---- series kinds (kinds.cpp) ----
 * One entry per kind of series, written beside the kind's draw routine,
 * legend sample and entry point. The model (vlp_allocation) reads what a new
 * series stores and its defaults; the first series of a canvas sets the
 * canvas's limits as the entry says; the frame renderer calls draw and the
 * legend calls sample. A kind without a draw routine (VLP_CONTOUR, and any
 * unknown type) keeps all the data it is given and shows nothing; without a
 * sample its legend entry is its label alone. */
struct VlpSeriesKind {
  int type;
  bool keeps_xy;        // p_r_vecx, p_r_vecy
  bool keeps_mat;       // p_r_mat
  int linewidth;        // default p_r_linewidth (0: left unset)
  int radius;           // default p_r_radius (0: left unset)
  bool black_fill;      // p_r_color starts opaque black
  bool black_outline;   // p_r_color_outside starts opaque black
  bool pallete;         // a palette from black at the minimum to red at the maximum
  bool limits_from_shape;  // first series: limits frame the matrix cells
                           // (otherwise the x and y extremes, when given)
  /* Draws series `series` of the canvas in the frame. */
  void (*draw)(cairo_t *cr, const VlpCanvas *can, int series, VlpFrame *f);
  /* Draws the series' legend sample into the box at (x, y) of w x h, in the
   * cell's device pixels, on an empty path. */
  void (*sample)(cairo_t *cr, const VlpCanvas *can, int series, double x, double y, double w,
                 double h);
};

/* The entry of type; an unknown type gets the entry of a kind that keeps
 * everything and draws nothing. */
const VlpSeriesKind *vlp_series_kind(int type);

/* Renders one canvas as it appears in a window of window_w x window_h pixels,
 * with the context's origin at the top left of the canvas's cell; through
 * the view when one is given and active. */
void vlp_draw_canvas(cairo_t *cr, const VlpCanvas *can, int window_w, int window_h,
                     const VlpView *view = nullptr);

/* Renders the whole figure as a window of width x height pixels shows it:
 * the cells of the grid take the sizes that GTK's grid gives them; views,
 * when given, holds one view per canvas. The canvases must be placed
 * (vlp_place_canvases); the figure is only read, so bands of one picture may
 * be drawn at once. */
void vlp_draw_figure(cairo_t *cr, VlpFigure *fig, int width, int height,
                     const VlpView *views = nullptr);

/* The frame of a canvas in a window of window_w x window_h, through the view
 * when one is given and active; false when the canvas has no drawable limits
 * (it stays blank). */
bool vlp_canvas_frame(const VlpCanvas *can, int window_w, int window_h, const VlpView *view,
                      VlpFrame *f);

/* The data point under the device pixel (x, y) of the frame's cell, the
 * origin at the cell's top left: the inverse of the mapping as the frame
 * renderer applies it. */
VlmCoordDouble vlp_frame_point(const VlpFrame *f, double x, double y);

/* Size and offset of cell k of n along a length: the length divided evenly,
 * the first (length % n) cells one pixel longer, as a homogeneous GTK grid
 * shares it out. */
void vlp_cell_span(int length, int n, int k, int *offset, int *size);

/* row, col and index of every canvas as the window and the export lay them
 * out. */
void vlp_place_canvases(VlpFigure *fig);

/* vlp_savefig_format, drawing the canvases through views (one per canvas,
 * or null for the canvases' own limits), as a window that was zoomed or
 * panned shows them. */
int vlp_savefig_view(VlpFigure *fig, const char *filename, int format, int width, int height,
                     const VlpView *views);

#endif /* VELTA_VLP_DRAW_H */
