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
#include <gtk/gtk.h>

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
void vlp_create_multirectangle(cairo_t *cr, VlmMatrix *mat, VlmCoordInt *plo, VlmCoordInt *phi,
                               VlmCoordDouble *dlo, VlmCoordDouble *dhi, int width,
                               VlmColor *pallete, VlmColor *outline);
void vlp_create_colorbar(cairo_t *cr, VlmMatrix *mat, VlmCoordInt *plo, VlmCoordInt *phi,
                         VlmCoordDouble *dlo, VlmCoordDouble *dhi, int width, VlmColor *pallete,
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

 private:
  const VlmColor *pallete_;
  std::vector<double> vals_;  // ascending, NaN values left out
  std::vector<int> entry_;    // per sorted value: highest palette index holding it
};

/* Tick values for an axis from lo to hi: eleven steps of (hi - lo) / 10 as
 * vlm_vector_new_arange_double gives them, or a null pointer when the axis
 * gets no ticks (reversed, non-finite, or a step lost in rounding). */
VlmVector *vlp_ticks_new(double lo, double hi);

/* Renders one canvas as it appears in a window of window_w x window_h pixels,
 * with the context's origin at the top left of the canvas's cell. */
void vlp_draw_canvas(cairo_t *cr, const VlpCanvas *can, int window_w, int window_h);

/* GTK handlers of the window built by vlp_show. */
gboolean on_draw_event(GtkWidget *widget, cairo_t *cr, gpointer user_data);
void destroy(GtkWidget *widget, gpointer user_data);

#endif /* VELTA_VLP_DRAW_H */
