/* velta plotting: data-to-canvas mapping, drawing primitives, palette lookup,
 * colour bar and the frame renderer shared by the window and file export. */
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "vlp_draw.h"

void vlp_set_source(cairo_t *cr, const VlmColor *c) {
  cairo_set_source_rgba(cr, c->r / 255.0, c->g / 255.0, c->b / 255.0, c->a);
}

namespace {

/* Integer part toward zero. NaN becomes 0 and values beyond +-2^30 are held
 * there, so that the conversion is always defined. */
int trunc_to_int(double v) {
  const double lim = 1073741824.0;
  if (std::isnan(v)) return 0;
  if (v >= lim) return static_cast<int>(lim);
  if (v <= -lim) return -static_cast<int>(lim);
  return static_cast<int>(v);
}

void select_sans(cairo_t *cr) {
  cairo_select_font_face(cr, "Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
}

/* Draws value v formatted with fmt at data point p, then releases the text.
 * With texts set, its ink box is noted there as a text of kind. */
void draw_label(cairo_t *cr, const char *fmt, double v, VlmCoordDouble p, VlmCoordInt *plo,
                VlmCoordInt *phi, VlmCoordDouble *dlo, VlmCoordDouble *dhi, int dx, int dy,
                VlpFrameTexts *texts, int kind) {
  const double size = 20;
  char *text = vlm_string_from_double_set(const_cast<char *>(fmt), v);
  if (texts) {
    VlmCoordInt c;
    vlp_data_to_canvas(plo, phi, p, &c, dlo, dhi);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t e;
    cairo_text_extents(cr, text, &e);
    double x0 = c.x + dx + e.x_bearing, y0 = c.y + dy + e.y_bearing;
    double x1 = x0 + e.width, y1 = y0 + e.height;
    cairo_user_to_device(cr, &x0, &y0);
    cairo_user_to_device(cr, &x1, &y1);
    texts->texts.push_back(VlpTextBox{x0, y0, x1, y1, kind});
  }
  vlp_create_text_addxy(cr, p, plo, phi, dlo, dhi, size, text, dx, dy);
  vlm_data_delete(text);
}

/* Whether the span [a, b] (either way round), widened by a stroke of width
 * and a unit more, misses [lo, hi]. */
bool misses(int a, int b, int width, double lo, double hi) {
  const double reach = std::abs(static_cast<double>(width)) / 2 + 1;
  return std::max(a, b) + reach < lo || std::min(a, b) - reach > hi;
}

/* Image cells written straight into the pixels of an ARGB32 image surface.
 *
 * Each cell is what cairo makes of its rectangle: the outline stroked, then
 * the inside filled, each a solid opaque colour laid over the pixels in
 * order. For this one shape cairo works on boxes in 24.8 fixed point: the
 * fill is the box of the rectangle; the stroke (mitred, butt or square caps,
 * no dashes, under a plain scale) is the box grown by half the line width on
 * every side less the box shrunk by as much, and a rectangle flat in one
 * direction strokes to the segment widened across it only. Both are cut to
 * the clip, a pixel-aligned rectangle. A pixel covered by area A (in
 * 1/65536 of a pixel) takes coverage q = v - v / 256 with v = A / 256, and
 * then becomes the colour (q = 255), stays (q = 0), or mixes the two in
 * 8-bit steps as cairo's span renderer does. This is cairo's own arithmetic
 * (1.16) for these shapes, without building a path, a stroker and a span
 * list per cell; the picture tests hold the two to the same bytes. Anything
 * else (another target, transform, clip, join, dash or a translucent colour)
 * is left to cairo. */
class CellPixels {
 public:
  CellPixels(cairo_t *cr, const VlpPalleteLookup &lookup, const VlmColor *outline, int cols,
             int rows, VlmCoordInt *plo, VlmCoordInt *phi, VlmCoordDouble *dlo,
             VlmCoordDouble *dhi)
      : cr_(cr) {
    usable_ = prepare(lookup, outline, cols, rows, plo, phi, dlo, dhi);
  }
  ~CellPixels() {
    if (usable_) cairo_surface_mark_dirty(target_);
  }
  bool usable() const { return usable_; }

  /* The cell from canvas point c1 to c2, filled with fill (opaque or, for
   * NaN, fully transparent). */
  void cell(const VlmCoordInt &c1, const VlmCoordInt &c2, const VlmColor &fill) {
    // cairo_rectangle: a move to the corner, then lines by the width and the
    // height, each distance rounded to fixed point on its own.
    double dx = c1.x, dy = c1.y;
    to_device(&dx, &dy);
    const int32_t x1 = fixed(dx), y1 = fixed(dy);
    const int32_t x2 = x1 + fixed(m_.xx * static_cast<double>(c2.x - c1.x) + m_.xy * 0.0);
    const int32_t y2 = y1 + fixed(m_.yx * 0.0 + m_.yy * static_cast<double>(c2.y - c1.y));
    const Box box = {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
    if (stroke_) {
      const bool flat_x = box.l == box.r, flat_y = box.t == box.b;
      if (flat_x && flat_y) {
        // a point strokes to nothing
      } else if (flat_y) {
        lay(Box{box.l, box.t - hy_, box.r, box.t + hy_}, Box{}, outline_);
      } else if (flat_x) {
        lay(Box{box.l - hx_, box.t, box.l + hx_, box.b}, Box{}, outline_);
      } else {
        lay(Box{box.l - hx_, box.t - hy_, box.r + hx_, box.b + hy_},
            Box{box.l + hx_, box.t + hy_, box.r - hx_, box.b - hy_}, outline_);
      }
    }
    if (fill.a == 1.0) lay(box, Box{}, pixel(fill));  // NaN's clear fill changes nothing
  }

 private:
  struct Box {
    int32_t l = 0, t = 0, r = 0, b = 0;  // fixed point, l <= r and t <= b when not empty
    bool empty() const { return l >= r || t >= b; }
  };

  static int32_t fixed(double v) { return static_cast<int32_t>(std::nearbyint(v * 256.0)); }
  static uint32_t pixel(const VlmColor &c) {
    return 0xff000000u | static_cast<uint32_t>(c.r) << 16 | static_cast<uint32_t>(c.g) << 8 |
           static_cast<uint32_t>(c.b);
  }
  static bool plain(const VlmColor &c) {
    return c.a == 1.0 && c.r >= 0 && c.r <= 255 && c.g >= 0 && c.g <= 255 && c.b >= 0 &&
           c.b <= 255;
  }

  /* Device coordinate of a user one, as cairo maps it: the matrix, then the
   * surface's device offset. */
  void to_device(double *x, double *y) const {
    const double ux = *x, uy = *y;
    *x = (m_.xx * ux + m_.xy * uy + m_.x0) + off_x_;
    *y = (m_.yx * ux + m_.yy * uy + m_.y0) + off_y_;
  }
  bool device_integer(double x, double y, int *dx, int *dy) const {
    to_device(&x, &y);
    *dx = static_cast<int>(std::lround(x));
    *dy = static_cast<int>(std::lround(y));
    return std::fabs(x - *dx) < 1e-6 && std::fabs(y - *dy) < 1e-6;
  }

  bool prepare(const VlpPalleteLookup &lookup, const VlmColor *outline, int cols, int rows,
               VlmCoordInt *plo, VlmCoordInt *phi, VlmCoordDouble *dlo, VlmCoordDouble *dhi) {
    target_ = cairo_get_target(cr_);
    if (cairo_status(cr_) != CAIRO_STATUS_SUCCESS || cairo_get_group_target(cr_) != target_ ||
        cairo_surface_get_type(target_) != CAIRO_SURFACE_TYPE_IMAGE ||
        cairo_image_surface_get_format(target_) != CAIRO_FORMAT_ARGB32 ||
        cairo_get_operator(cr_) != CAIRO_OPERATOR_OVER ||
        cairo_get_antialias(cr_) != CAIRO_ANTIALIAS_DEFAULT || !lookup.opaque() ||
        !plain(*outline))
      return false;
    double sx, sy;
    cairo_surface_get_device_scale(target_, &sx, &sy);
    cairo_surface_get_device_offset(target_, &off_x_, &off_y_);
    cairo_get_matrix(cr_, &m_);
    if (sx != 1.0 || sy != 1.0 || m_.xy != 0.0 || m_.yx != 0.0) return false;
    // Every corner lies between those of the first and the last cells: far
    // from where fixed point would need cairo's clamping.
    VlmCoordInt a, b;
    vlp_data_to_canvas(plo, phi, VlmCoordDouble{-0.5, -0.5}, &a, dlo, dhi);
    vlp_data_to_canvas(plo, phi, VlmCoordDouble{cols - 0.5, rows - 0.5}, &b, dlo, dhi);
    double ax = a.x, ay = a.y, bx = b.x, by = b.y;
    to_device(&ax, &ay);
    to_device(&bx, &by);
    const double reach = 1 << 20;
    for (double v : {ax, ay, bx, by})
      if (!(std::fabs(v) < reach)) return false;
    // The stroke.
    const double width = cairo_get_line_width(cr_);
    stroke_ = width > 0;
    if (stroke_) {
      const cairo_line_cap_t cap = cairo_get_line_cap(cr_);
      if (cairo_get_line_join(cr_) != CAIRO_LINE_JOIN_MITER ||
          !(cairo_get_miter_limit(cr_) >= M_SQRT2) || cairo_get_dash_count(cr_) != 0 ||
          (cap != CAIRO_LINE_CAP_BUTT && cap != CAIRO_LINE_CAP_SQUARE))
        return false;
      const double hx = std::fabs(m_.xx) * (width / 2.0), hy = std::fabs(m_.yy) * (width / 2.0);
      if (!(hx < reach && hy < reach)) return false;
      hx_ = fixed(hx);
      hy_ = fixed(hy);
      if (hx_ <= 0 || hy_ <= 0) return false;
    }
    outline_ = pixel(*outline);
    // The clip: one pixel-aligned rectangle, within the surface.
    cairo_rectangle_list_t *list = cairo_copy_clip_rectangle_list(cr_);
    bool ok = list->status == CAIRO_STATUS_SUCCESS && list->num_rectangles <= 1;
    clip_ = Box{};
    if (ok && list->num_rectangles == 1) {
      const cairo_rectangle_t &r = list->rectangles[0];
      int x1, y1, x2, y2;
      ok = device_integer(r.x, r.y, &x1, &y1) && device_integer(r.x + r.width, r.y + r.height, &x2, &y2);
      const int w = cairo_image_surface_get_width(target_), h = cairo_image_surface_get_height(target_);
      clip_ = Box{std::max(0, std::min(x1, x2)), std::max(0, std::min(y1, y2)),
                  std::min(w, std::max(x1, x2)), std::min(h, std::max(y1, y2))};
    }
    cairo_rectangle_list_destroy(list);
    if (!ok) return false;
    cairo_surface_flush(target_);
    data_ = cairo_image_surface_get_data(target_);
    stride_ = cairo_image_surface_get_stride(target_);
    return data_ != nullptr;
  }

  /* Coverage along one axis of pixel p by [lo, hi), in 1/256. */
  static int32_t span(int32_t lo, int32_t hi, int p) {
    return std::max(0, std::min(hi, (p + 1) * 256) - std::max(lo, p * 256));
  }

  static uint32_t mul2(uint32_t a, uint32_t b) {  // two 8-bit channels times b / 255
    const uint32_t t = (a & 0x00ff00ffu) * b + 0x007f007fu;
    return ((t + ((t >> 8) & 0x00ff00ffu)) >> 8) & 0x00ff00ffu;
  }
  static uint32_t add2(uint32_t a, uint32_t b) {  // two 8-bit channels, saturated
    uint32_t t = a + b;
    t |= 0x01000100u - ((t >> 8) & 0x00ff00ffu);
    return t & 0x00ff00ffu;
  }
  static uint32_t mix(uint32_t src, uint32_t q, uint32_t dst) {
    return add2(mul2(src, q), mul2(dst, 255 - q)) |
           add2(mul2(src >> 8, q), mul2(dst >> 8, 255 - q)) << 8;
  }

  /* Lays colour over the region outer less inner (inner inside outer, or
   * empty), cut to the clip. */
  void lay(Box outer, Box inner, uint32_t colour) {
    const Box c = {clip_.l * 256, clip_.t * 256, clip_.r * 256, clip_.b * 256};
    outer = Box{std::max(outer.l, c.l), std::max(outer.t, c.t), std::min(outer.r, c.r),
                std::min(outer.b, c.b)};
    if (outer.empty()) return;
    const bool hole = !inner.empty();
    // Columns wholly inside the hole, skipped on rows wholly inside it.
    const int skip_lo = hole ? (inner.l + 255) >> 8 : 0, skip_hi = hole ? inner.r >> 8 : 0;
    const int px0 = outer.l >> 8, px1 = (outer.r - 1) >> 8;
    for (int py = outer.t >> 8, py1 = (outer.b - 1) >> 8; py <= py1; py++) {
      const int32_t oy = span(outer.t, outer.b, py), iy = hole ? span(inner.t, inner.b, py) : 0;
      uint32_t *row = reinterpret_cast<uint32_t *>(data_ + static_cast<ptrdiff_t>(py) * stride_);
      for (int px = px0; px <= px1; px++) {
        if (iy == 256 && px == skip_lo && skip_hi > skip_lo) {
          px = skip_hi - 1;
          continue;
        }
        int32_t area = span(outer.l, outer.r, px) * oy;
        if (iy) area -= span(inner.l, inner.r, px) * iy;
        const int32_t v = area >> 8;
        const uint32_t q = static_cast<uint32_t>(v - (v >> 8));
        if (q == 255)
          row[px] = colour;
        else if (q)
          row[px] = mix(colour, q, row[px]);
      }
    }
  }

  cairo_t *cr_;
  cairo_surface_t *target_ = nullptr;
  cairo_matrix_t m_ = {};
  double off_x_ = 0, off_y_ = 0;
  bool usable_ = false, stroke_ = false;
  int32_t hx_ = 0, hy_ = 0;
  uint32_t outline_ = 0;
  Box clip_;
  unsigned char *data_ = nullptr;
  int stride_ = 0;
};

}  // namespace

void vlp_create_multirectangle(cairo_t *cr, VlmMatrix *mat, VlmCoordInt *plo, VlmCoordInt *phi,
                               VlmCoordDouble *dlo, VlmCoordDouble *dhi, int width,
                               const VlpPalleteLookup &lookup, VlmColor *outline) {
  cairo_set_line_width(cr, width);
  const int rows = mat->r_shape[0];
  const int cols = mat->r_shape[1];
  // A cell whose outline lies wholly outside the clip (a band of an export,
  // the exposed part of a window) would change no pixel: it is skipped.
  double clip_x0, clip_y0, clip_x1, clip_y1;
  cairo_clip_extents(cr, &clip_x0, &clip_y0, &clip_x1, &clip_y1);
  CellPixels pixels(cr, lookup, outline, cols, rows, plo, phi, dlo, dhi);
  // A cell's corners are the canvas points of (j - 0.5, y) and (j + 0.5,
  // y + 1): x follows the column alone and y the row alone.
  std::vector<std::pair<VlmCoordInt, VlmCoordInt>> across;
  VlmColor fill = VlmColor();
  for (int i = 0; cols > 0 && i < rows && static_cast<long long>(i) * cols < mat->size; i++) {
    VlmCoordInt r1, r2;
    const double y = (rows - i - 1) - 0.5;
    vlp_data_to_canvas(plo, phi, VlmCoordDouble{-0.5, y}, &r1, dlo, dhi);
    vlp_data_to_canvas(plo, phi, VlmCoordDouble{0.5, y + 1.0}, &r2, dlo, dhi);
    if (misses(r1.y, r2.y, width, clip_y0, clip_y1)) continue;
    if (across.empty()) {
      across.resize(cols);
      for (int j = 0; j < cols; j++) {
        vlp_data_to_canvas(plo, phi, VlmCoordDouble{j - 0.5, y}, &across[j].first, dlo, dhi);
        vlp_data_to_canvas(plo, phi, VlmCoordDouble{(j - 0.5) + 1.0, y}, &across[j].second, dlo,
                           dhi);
      }
    }
    for (int j = 0; j < cols; j++) {
      // A shape written larger than the block describes cells it does not
      // hold: those are not drawn (row-major, so the rest are not either).
      const long long k = static_cast<long long>(i) * cols + j;
      if (k >= mat->size) break;
      VlmCoordInt c1 = across[j].first, c2 = across[j].second;
      if (misses(c1.x, c2.x, width, clip_x0, clip_x1)) continue;
      const double v = mat->p_r_nums[k];
      // NaN selects a transparent fill: the cell keeps only its outline.
      lookup.select(v, &fill);
      if (pixels.usable()) {
        c1.y = r1.y;
        c2.y = r2.y;
        pixels.cell(c1, c2, fill);
      } else {
        VlmCoordDouble corner = {j - 0.5, (rows - i - 1) - 0.5};
        vlp_create_rectangle(cr, corner, plo, phi, dlo, dhi, &fill, outline);
      }
    }
  }
}

void vlp_create_colorbar(cairo_t *cr, VlmMatrix *mat, VlmCoordInt *plo, VlmCoordInt *phi,
                         VlmCoordDouble *dlo, VlmCoordDouble *dhi, int width,
                         const VlpPalleteLookup &lookup, VlmColor *outline, VlpFrameTexts *texts) {
  // A strip of steps a hundredth of the box high; the running sum decides the
  // count. A box that is tiny against the half-unit offset below it takes
  // very many steps, nearly all far outside the cell: those are counted but
  // not drawn. The cap ends a count that would not (reversed limits less than
  // about half a unit apart walk away from the top for ever).
  const long max_steps = 10000000;
  const long band = 2L * std::labs(static_cast<long>(phi->y) - plo->y) + 100 + std::labs(width);
  auto outside = [band](const VlmCoordInt &a, const VlmCoordInt &b) {
    return (a.y > band && b.y > band) || (a.y < -band && b.y < -band);
  };
  cairo_set_line_width(cr, width);
  const double mn = vlm_matrix_min(mat);
  const double mx = vlm_matrix_max(mat);
  const double x0 = dhi->x + (dhi->x - dlo->x) / 50;
  const double x1 = dhi->x + (2 * (dhi->x - dlo->x)) / 50;
  double y = dlo->y - 0.5;
  double g = 0;
  VlmColor fill = VlmColor();
  long steps = 0;
  while (dhi->y - (dhi->y - dlo->y) / 100 > y && steps < max_steps) {
    const double s = (dhi->y - dlo->y) / 100;
    const double v = g * (mx - mn) / 100 + mn;
    VlmCoordInt c1, c2;
    vlp_data_to_canvas(plo, phi, VlmCoordDouble{x0, y}, &c1, dlo, dhi);
    vlp_data_to_canvas(plo, phi, VlmCoordDouble{x1, s + y}, &c2, dlo, dhi);
    const bool hidden = outside(c1, c2);
    if (!hidden && !std::isnan(v)) {
      lookup.select(v, &fill);
      cairo_rectangle(cr, c1.x, c1.y, c2.x - c1.x, c2.y - c1.y);
      vlp_set_source(cr, outline);
      cairo_stroke_preserve(cr);
      vlp_set_source(cr, &fill);
      cairo_fill(cr);
    }
    if (!hidden && static_cast<long>(g) % 10 == 0) {
      cairo_set_source_rgb(cr, 0, 0, 0);
      select_sans(cr);
      draw_label(cr, "%.1f", v, VlmCoordDouble{x1, y}, plo, phi, dlo, dhi, 0, 0, texts,
                 VLP_TEXT_BAR);
    }
    g = g + 1;
    const double next = y + s;
    if (next == y) break;  // the step no longer moves the sum
    y = next;
    steps++;
  }
  cairo_set_source_rgb(cr, 0, 0, 0);
  select_sans(cr);
  draw_label(cr, "%.1f", (mx - mn) * g / 100 + mn, VlmCoordDouble{x1, y}, plo, phi, dlo, dhi, 0,
             0, texts, VLP_TEXT_BAR);
}

namespace {

/* Limits of one axis as drawn: equal limits are widened by half a unit each
 * way. False when the axis cannot be drawn (non-finite or zero span). */
bool drawable_axis(double *lo, double *hi) {
  if (!std::isfinite(*lo) || !std::isfinite(*hi)) return false;
  if (*lo == *hi) {
    *lo -= 0.5;
    *hi += 0.5;
  }
  const double span = *hi - *lo;
  return std::isfinite(span) && span != 0;
}

}  // namespace

void vlp_data_to_canvas(VlmCoordInt *plo, VlmCoordInt *phi, VlmCoordDouble p, VlmCoordInt *out,
                        VlmCoordDouble *dlo, VlmCoordDouble *dhi) {
  const double x = ((p.x - dlo->x) / (dhi->x - dlo->x)) * static_cast<double>(phi->x - plo->x) +
                   static_cast<double>(plo->x);
  const double y = ((p.y - dlo->y) / (dhi->y - dlo->y)) * static_cast<double>(phi->y - plo->y) +
                   static_cast<double>(plo->y);
  out->x = trunc_to_int(x);
  out->y = -trunc_to_int(y);
}

void vlp_create_line(cairo_t *cr, VlmCoordDouble start, VlmCoordDouble end, VlmCoordInt *plo,
                     VlmCoordInt *phi, VlmCoordDouble *dlo, VlmCoordDouble *dhi, int width) {
  VlmCoordInt a, b;
  vlp_data_to_canvas(plo, phi, start, &a, dlo, dhi);
  vlp_data_to_canvas(plo, phi, end, &b, dlo, dhi);
  cairo_set_line_width(cr, width);
  cairo_move_to(cr, a.x, a.y);
  cairo_line_to(cr, b.x, b.y);
  cairo_stroke(cr);
}

void vlp_create_text(cairo_t *cr, VlmCoordDouble p, VlmCoordInt *plo, VlmCoordInt *phi,
                     VlmCoordDouble *dlo, VlmCoordDouble *dhi, double fontsize, const char *text) {
  vlp_create_text_addxy(cr, p, plo, phi, dlo, dhi, fontsize, text, 0, 0);
}

void vlp_create_text_addxy(cairo_t *cr, VlmCoordDouble p, VlmCoordInt *plo, VlmCoordInt *phi,
                           VlmCoordDouble *dlo, VlmCoordDouble *dhi, double fontsize,
                           const char *text, int dx, int dy) {
  VlmCoordInt c;
  vlp_data_to_canvas(plo, phi, p, &c, dlo, dhi);
  cairo_set_font_size(cr, fontsize);
  cairo_move_to(cr, c.x + dx, c.y + dy);
  cairo_show_text(cr, text);
  cairo_stroke(cr);
}

void vlp_create_multiline(cairo_t *cr, VlmVector *vecx, VlmVector *vecy, VlmCoordInt *plo,
                          VlmCoordInt *phi, VlmCoordDouble *dlo, VlmCoordDouble *dhi, int width) {
  cairo_set_line_width(cr, width);
  const int n = std::min(vecx->size, vecy->size);
  // A point with a NaN or infinite coordinate has no place on the canvas: it
  // breaks the line, which resumes at the next finite point.
  bool pen_down = false;
  for (int k = 0; k < n; k++) {
    const VlmCoordDouble p = {vecx->p_r_nums[k], vecy->p_r_nums[k]};
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
      pen_down = false;
      continue;
    }
    VlmCoordInt c;
    vlp_data_to_canvas(plo, phi, p, &c, dlo, dhi);
    if (pen_down) {
      cairo_line_to(cr, c.x, c.y);
    } else {
      cairo_move_to(cr, c.x, c.y);
      pen_down = true;
    }
  }
  cairo_stroke(cr);
}

void vlp_create_circle(cairo_t *cr, VlmCoordDouble centre, VlmCoordInt *plo, VlmCoordInt *phi,
                       VlmCoordDouble *dlo, VlmCoordDouble *dhi, double radius, VlmColor *fill,
                       VlmColor *outline) {
  VlmCoordInt c;
  vlp_data_to_canvas(plo, phi, centre, &c, dlo, dhi);
  cairo_arc(cr, c.x, c.y, radius, 0, 2 * M_PI);
  vlp_set_source(cr, outline);
  cairo_stroke_preserve(cr);
  vlp_set_source(cr, fill);
  cairo_fill(cr);
}

void vlp_create_multicircle(cairo_t *cr, VlmVector *vecx, VlmVector *vecy, VlmCoordInt *plo,
                            VlmCoordInt *phi, VlmCoordDouble *dlo, VlmCoordDouble *dhi,
                            double radius, int width, VlmColor *fill, VlmColor *outline) {
  cairo_set_line_width(cr, width);
  const int n = std::min(vecx->size, vecy->size);
  for (int k = 0; k < n; k++) {
    const VlmCoordDouble p = {vecx->p_r_nums[k], vecy->p_r_nums[k]};
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) continue;
    vlp_create_circle(cr, p, plo, phi, dlo, dhi, radius, fill, outline);
  }
}

void vlp_create_rectangle(cairo_t *cr, VlmCoordDouble corner, VlmCoordInt *plo, VlmCoordInt *phi,
                          VlmCoordDouble *dlo, VlmCoordDouble *dhi, VlmColor *fill,
                          VlmColor *outline) {
  VlmCoordInt c1, c2;
  vlp_data_to_canvas(plo, phi, corner, &c1, dlo, dhi);
  vlp_data_to_canvas(plo, phi, VlmCoordDouble{corner.x + 1.0, corner.y + 1.0}, &c2, dlo, dhi);
  cairo_rectangle(cr, c1.x, c1.y, c2.x - c1.x, c2.y - c1.y);
  vlp_set_source(cr, outline);
  cairo_stroke_preserve(cr);
  vlp_set_source(cr, fill);
  cairo_fill(cr);
}

void vlp_create_colorbar(cairo_t *cr, VlmMatrix *mat, VlmCoordInt *plo, VlmCoordInt *phi,
                         VlmCoordDouble *dlo, VlmCoordDouble *dhi, int width, VlmColor *pallete,
                         VlmColor *outline) {
  vlp_create_colorbar(cr, mat, plo, phi, dlo, dhi, width, VlpPalleteLookup(pallete), outline,
                      nullptr);
}

/* ---- palette lookup ---- */

VlpPalleteLookup::VlpPalleteLookup(const VlmColor *pallete) : pallete_(pallete) {
  const int n = pallete ? pallete[0].size : 0;
  std::vector<std::pair<double, int>> order;
  order.reserve(n > 0 ? n : 0);
  for (int k = 0; k < n; k++) {
    if (!std::isnan(pallete[k].val)) order.emplace_back(pallete[k].val, k);
  }
  // By value, then by index: the last of a run of equal values is the
  // highest-index entry holding that value, which is the one a lookup uses.
  std::sort(order.begin(), order.end());
  vals_.resize(order.size());
  entry_.resize(order.size());
  for (size_t k = order.size(); k-- > 0;) {
    vals_[k] = order[k].first;
    const bool last_of_run = k + 1 == order.size() || order[k + 1].first != order[k].first;
    entry_[k] = last_of_run ? order[k].second : entry_[k + 1];
  }
}

bool VlpPalleteLookup::opaque() const {
  if (vals_.empty() || !std::isfinite(vals_.back() - vals_.front())) return false;
  for (size_t k = 0; k < vals_.size(); k++) {
    const VlmColor &c = pallete_[entry_[k]];
    if (!std::isfinite(vals_[k]) || c.a != 1.0 || c.r < 0 || c.r > 255 || c.g < 0 || c.g > 255 ||
        c.b < 0 || c.b > 255)
      return false;
  }
  return true;
}

void VlpPalleteLookup::select(double x, VlmColor *out) const {
  const size_t n = vals_.size();
  auto copy_entry = [&](int idx) {
    out->r = pallete_[idx].r;
    out->g = pallete_[idx].g;
    out->b = pallete_[idx].b;
    out->a = pallete_[idx].a;
  };
  if (n == 0 || std::isnan(x)) {
    out->r = out->g = out->b = 0;
    out->a = 0.0;
    return;
  }
  if (n == 1 || x < vals_[0]) {
    copy_entry(entry_[0]);
    return;
  }
  if (x > vals_[n - 1]) {
    copy_entry(entry_[n - 1]);
    return;
  }
  // The last adjacent pair (s[k], s[k+1]) with s[k] <= x <= s[k+1]: k is the
  // last sorted position holding a value <= x, kept below n - 1.
  size_t k = static_cast<size_t>(std::upper_bound(vals_.begin(), vals_.end(), x) - vals_.begin());
  k = std::min(k - 1, n - 2);
  const VlmColor &a = pallete_[entry_[k]];
  const VlmColor &b = pallete_[entry_[k + 1]];
  const double d = b.val - a.val;
  if (d == 0) {  // equal neighbouring values: the lower entry's colour
    copy_entry(entry_[k]);
    return;
  }
  const double t = x - a.val;
  out->r = trunc_to_int((static_cast<double>(b.r) - static_cast<double>(a.r)) / d * t + a.r);
  out->g = trunc_to_int((static_cast<double>(b.g) - static_cast<double>(a.g)) / d * t + a.g);
  out->b = trunc_to_int((static_cast<double>(b.b) - static_cast<double>(a.b)) / d * t + a.b);
  out->a = (b.a - a.a) / d * t + a.a;
}

void vlp_select_color_pallete(double *x, VlmColor *pallete, VlmColor *out) {
  VlpPalleteLookup(pallete).select(*x, out);
}

/* ---- frame ---- */

VlmVector *vlp_ticks_new(double lo, double hi) {
  // The range gives no values when they would not end: reversed or NaN
  // limits, a step that is not positive or that no longer moves the sum.
  VlmVector *ticks = vlm_vector_new_arange_double(lo, (hi - lo) / 10, hi);
  if (ticks && ticks->size > 0) return ticks;
  vlm_vector_delete(ticks);
  return nullptr;
}

/* ---- frame ---- */

namespace {

/* The frame's drawing units: device pixels times this, from the cell centre. */
const double kUnit = 0.8;

}  // namespace

/* A canvas that is empty, was never given xlim and ylim, or has limits that
 * cannot be mapped stays blank. A view that could not be mapped is not
 * shown. */
bool vlp_canvas_frame(const VlpCanvas *can, int window_w, int window_h, const VlpView *view,
                      VlpFrame *f) {
  f->dlo = can->min;
  f->dhi = can->max;
  if (can->col < 1 || can->row < 1 || !drawable_axis(&f->dlo.x, &f->dhi.x) ||
      !drawable_axis(&f->dlo.y, &f->dhi.y))
    return false;
  f->hw = window_w / (2 * can->col);
  f->hh = window_h / (2 * can->row);
  f->plo = VlmCoordInt{-f->hw, -f->hh};
  f->phi = VlmCoordInt{f->hw, f->hh};
  f->texts = nullptr;
  f->blo = f->dlo;
  f->bhi = f->dhi;
  f->cut = false;
  if (view && view->active) {
    VlmCoordDouble lo = view->lo, hi = view->hi;
    if (drawable_axis(&lo.x, &hi.x) && drawable_axis(&lo.y, &hi.y)) {
      f->dlo = lo;
      f->dhi = hi;
      f->cut = true;
    }
  }
  return true;
}

namespace {

void draw_background(cairo_t *cr) {
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
}

/* The bottom and left sides of the box. */
void draw_axes(cairo_t *cr, VlpFrame *f) {
  cairo_set_source_rgb(cr, 0, 0, 0);
  vlp_create_line(cr, VlmCoordDouble{f->dlo.x, f->dlo.y}, VlmCoordDouble{f->dhi.x, f->dlo.y},
                  &f->plo, &f->phi, &f->dlo, &f->dhi, 3);
  vlp_create_line(cr, VlmCoordDouble{f->dlo.x, f->dlo.y}, VlmCoordDouble{f->dlo.x, f->dhi.y},
                  &f->plo, &f->phi, &f->dlo, &f->dhi, 3);
}

/* One axis's ticks: labels, marks pointing out of the box and, when the
 * canvas asks for them, grid lines across it. Values run along the axis;
 * marks and grid lines run across it, from the box's low side. */
enum Axis { X_AXIS, Y_AXIS };

void draw_ticks(cairo_t *cr, const VlpCanvas *can, VlpFrame *f, Axis axis) {
  const bool x = axis == X_AXIS;
  const double lo = x ? f->dlo.x : f->dlo.y, hi = x ? f->dhi.x : f->dhi.y;
  const double across_lo = x ? f->dlo.y : f->dlo.x, across_hi = x ? f->dhi.y : f->dhi.x;
  const char *fmt = x ? "%.1f" : "%.2f";
  const int dx = x ? 0 : -(f->hw / 5), dy = x ? f->hh / 10 : 0;
  auto at = [x](double along, double across) {
    return x ? VlmCoordDouble{along, across} : VlmCoordDouble{across, along};
  };
  VlmVector *ticks = vlp_ticks_new(lo, hi);
  if (!ticks) return;
  for (int k = 0; k < ticks->size; k++) {
    const double v = ticks->p_r_nums[k];
    cairo_set_source_rgb(cr, 0, 0, 0);
    select_sans(cr);
    draw_label(cr, fmt, v, at(v, across_lo), &f->plo, &f->phi, &f->dlo, &f->dhi, dx, dy, f->texts,
               x ? VLP_TEXT_XTICK : VLP_TEXT_YTICK);
    cairo_set_source_rgba(cr, 0, 0, 0, 1.0);
    vlp_create_line(cr, at(v, across_lo), at(v, across_lo - (across_hi - across_lo) / 50), &f->plo,
                    &f->phi, &f->dlo, &f->dhi, 2);
    if (can->grid == 1) {
      cairo_set_source_rgba(cr, 0, 0, 0, 0.2);
      vlp_create_line(cr, at(v, across_lo), at(v, across_hi), &f->plo, &f->phi, &f->dlo, &f->dhi,
                      1);
    }
  }
  vlm_vector_delete(ticks);
}

/* In order of addition, each by its kind's routine. */
void draw_series(cairo_t *cr, const VlpCanvas *can, VlpFrame *f) {
  for (int i = 0; i < can->numOfVec; i++) {
    const VlpSeriesKind *kind = vlp_series_kind(can->p_r_type[i]);
    if (kind->draw) kind->draw(cr, can, i, f);
  }
}

}  // namespace

VlmCoordDouble vlp_frame_point(const VlpFrame *f, double x, double y) {
  // Device pixel to drawing units about the cell centre; the mapping's y is
  // negated.
  const double cx = (x - f->hw) / kUnit, cy = -(y - f->hh) / kUnit;
  return VlmCoordDouble{
      f->dlo.x + (cx - f->plo.x) / static_cast<double>(f->phi.x - f->plo.x) * (f->dhi.x - f->dlo.x),
      f->dlo.y + (cy - f->plo.y) / static_cast<double>(f->phi.y - f->plo.y) * (f->dhi.y - f->dlo.y)};
}

void vlp_draw_canvas(cairo_t *cr, const VlpCanvas *can, int window_w, int window_h,
                     const VlpView *view) {
  cairo_save(cr);
  draw_background(cr);
  VlpFrame f;
  if (vlp_canvas_frame(can, window_w, window_h, view, &f)) {
    // Texts set on the canvas are placed around what the frame drew.
    VlpFrameTexts texts;
    if (vlp_canvas_labelled(can)) f.texts = &texts;
    cairo_save(cr);
    cairo_translate(cr, f.hw, f.hh);
    cairo_scale(cr, kUnit, kUnit);
    if (f.texts) {
      VlpTextBox &b = texts.box;
      b.x0 = f.plo.x, b.y0 = f.plo.y, b.x1 = f.phi.x, b.y1 = f.phi.y;
      cairo_user_to_device(cr, &b.x0, &b.y0);
      cairo_user_to_device(cr, &b.x1, &b.y1);
    }
    draw_axes(cr, &f);
    draw_ticks(cr, can, &f, X_AXIS);
    draw_ticks(cr, can, &f, Y_AXIS);
    draw_series(cr, can, &f);
    cairo_restore(cr);
    if (f.texts) vlp_draw_labels(cr, can, &f);
  }
  cairo_restore(cr);
}

/* ---- the figure ---- */

void vlp_place_canvases(VlpFigure *fig) {
  for (int i = 0; i < fig->size; i++) {
    fig->p_r_canvas[i].row = fig->row;
    fig->p_r_canvas[i].col = fig->col;
    fig->p_r_canvas[i].index = i;
  }
}

void vlp_cell_span(int length, int n, int k, int *offset, int *size) {
  const int base = length / n, extra = length % n;
  *size = base + (k < extra ? 1 : 0);
  *offset = k * base + std::min(k, extra);
}

void vlp_draw_figure(cairo_t *cr, VlpFigure *fig, int width, int height, const VlpView *views) {
  draw_background(cr);
  if (fig->row < 1 || fig->col < 1) return;
  for (int i = 0; i < fig->size; i++) {
    int x, y, w, h;
    vlp_cell_span(width, fig->col, i % fig->col, &x, &w);
    vlp_cell_span(height, fig->row, i / fig->col, &y, &h);
    // Each canvas is confined to its cell, as a drawing area is.
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_rectangle(cr, 0, 0, w, h);
    cairo_clip(cr);
    vlp_draw_canvas(cr, &fig->p_r_canvas[i], width, height, views ? &views[i] : nullptr);
    cairo_restore(cr);
  }
}
