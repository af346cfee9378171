/* velta plotting: the texts of a canvas (title, axis labels, series labels
 * and the legend), kept in a record the canvas owns and drawn with
 * PangoCairo into the margins the frame leaves, around the tick and colour
 * bar labels it drew, and the legend inside the plot box. */
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <string>
#include <vector>

#include "vlp_draw.h"

struct s_canvas_labels {
  std::string title, xlabel, ylabel;
  std::vector<std::string> series;  // by series number
  bool legend = false;
  int loc = 0;
};

namespace {

struct Loc {
  const char *name;
  int h, v;  // 0 left / upper, 1 centre, 2 right / lower
};
// matplotlib's names ("best" aside: a place is always given).
const Loc kLocs[] = {{"upper right", 2, 0},  {"upper left", 0, 0},   {"lower left", 0, 2},
                     {"lower right", 2, 2},  {"right", 2, 1},        {"center left", 0, 1},
                     {"center right", 2, 1}, {"lower center", 1, 2}, {"upper center", 1, 0},
                     {"center", 1, 1}};

bool empty(const s_canvas_labels &l) {
  if (!l.title.empty() || !l.xlabel.empty() || !l.ylabel.empty() || l.legend) return false;
  for (const std::string &s : l.series)
    if (!s.empty()) return false;
  return true;
}

/* Applies change to the canvas's record, made when missing; a record left
 * with nothing in it is freed, so that the canvas is as if never labelled.
 * Out of memory, the canvas keeps what it had. */
template <typename Change>
void edit(VlpCanvas *can, Change change) {
  try {
    if (!can->p_labels) can->p_labels = new s_canvas_labels();
    change(*can->p_labels);
  } catch (const std::bad_alloc &) {
  }
  if (can->p_labels && empty(*can->p_labels)) vlp_canvas_labels_delete(can);
}

/* The text as stored: valid UTF-8 (invalid bytes become U+FFFD); a null
 * text is an empty one. */
std::string utf8(const char *text) {
  if (!text) return std::string();
  gchar *valid = g_utf8_make_valid(text, -1);
  std::string s(valid);
  g_free(valid);
  return s;
}

void *set_text(VlpCanvas *can, std::string s_canvas_labels::*which, const char *text) {
  edit(can, [&](s_canvas_labels &l) { l.*which = utf8(text); });
  return nullptr;
}

/* ---- placement ----
 * In the cell's coordinates (device pixels from its top left). Sizes are
 * font sizes in pixels: each text is drawn at its own size or smaller, down
 * to kMinPx, where it no longer fits and is left out. */
const double kTitlePx = 19, kAxisPx = 16, kLegendPx = 14, kMinPx = 6;
const double kReadablePx = 10;  // least size of a y label turned upwards
const double kGap = 3;   // from the frame's texts and the plot box
const double kEdge = 2;  // from the cell's edges

struct Box {
  double x0, y0, x1, y1;
};

class Text {
 public:
  explicit Text(cairo_t *cr) : layout_(pango_cairo_create_layout(cr)) {
    desc_ = pango_font_description_from_string("Sans");
  }
  ~Text() {
    pango_font_description_free(desc_);
    g_object_unref(layout_);
  }
  Text(const Text &) = delete;
  Text &operator=(const Text &) = delete;

  void set(const std::string &text, double px) {
    pango_font_description_set_absolute_size(desc_, px * PANGO_SCALE);
    pango_layout_set_font_description(layout_, desc_);
    pango_layout_set_width(layout_, -1);
    pango_layout_set_ellipsize(layout_, PANGO_ELLIPSIZE_NONE);
    pango_layout_set_text(layout_, text.c_str(), -1);
  }
  void ellipsize(double width) {
    pango_layout_set_width(layout_, static_cast<int>(width * PANGO_SCALE));
    pango_layout_set_ellipsize(layout_, PANGO_ELLIPSIZE_END);
  }
  PangoRectangle ink() const {
    PangoRectangle ink, logical;
    pango_layout_get_pixel_extents(layout_, &ink, &logical);
    return ink;
  }
  PangoRectangle logical() const {
    PangoRectangle ink, logical;
    pango_layout_get_pixel_extents(layout_, &ink, &logical);
    return logical;
  }
  /* Its ink fits along x across (before turning) at the largest size from
   * px down to least; a text too long at every size that fits across is
   * cut short with an ellipsis at three quarters of that size. */
  bool fit(const std::string &text, double px, double least, double along, double across) {
    // Sizes in half pixels; the ink grows about as the size, which gives the
    // next size to try.
    double first = 0;
    for (double s = px; s >= least;) {
      set(text, s);
      const PangoRectangle r = ink();
      if (r.height > across) {
        s = smaller(s, across / r.height);
        continue;
      }
      if (r.width <= along) return true;
      if (first == 0) first = s;
      const double least_here = std::max(least, 0.75 * first), next = smaller(s, along / r.width);
      if (next >= least_here) {
        s = next;
        continue;
      }
      if (s > least_here) set(text, least_here);
      ellipsize(along - 1);
      const PangoRectangle e = ink();
      return e.width <= along && e.height <= across && e.width > 0;
    }
    return false;
  }
  /* The size below s that scaling by ratio gives, at least half a pixel
   * smaller. */
  static double smaller(double s, double ratio) {
    return std::min(s - 0.5, std::floor(2 * s * ratio) / 2);
  }
  /* Draws with the ink's top left at (x, y), or, turned a quarter to read
   * upwards, with the ink's top left corner of the turned text there. */
  void show(cairo_t *cr, double x, double y, bool turned) {
    const PangoRectangle r = ink();
    cairo_save(cr);
    if (turned) {
      // A layout point (u, v) lands on (v, -u) from the origin.
      cairo_translate(cr, std::round(x - r.y), std::round(y + r.x + r.width));
      cairo_rotate(cr, -M_PI / 2);
    } else {
      cairo_translate(cr, std::round(x - r.x), std::round(y - r.y));
    }
    show_at(cr, 0, 0);
    cairo_restore(cr);
  }
  /* Draws in black with the layout's origin at (x, y). */
  void show_at(cairo_t *cr, double x, double y) {
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_move_to(cr, x, y);
    pango_cairo_update_layout(cr, layout_);
    pango_cairo_show_layout(cr, layout_);
    cairo_new_path(cr);
  }

 private:
  PangoLayout *layout_;
  PangoFontDescription *desc_;
};

/* Half the room along a band centred on c, between lo and hi, that no box
 * crossing the band (across from a to b) reaches: 0 when one covers c. */
double half_room(double c, double lo, double hi, double a, double b, const std::vector<Box> &boxes,
                 bool vertical_band) {
  double half = std::min(c - lo, hi - c);
  for (const Box &o : boxes) {
    const double o_a = vertical_band ? o.x0 : o.y0, o_b = vertical_band ? o.x1 : o.y1;
    const double o_lo = vertical_band ? o.y0 : o.x0, o_hi = vertical_band ? o.y1 : o.x1;
    if (o_b <= a || o_a >= b) continue;
    if (o_hi <= c)
      half = std::min(half, c - o_hi - kGap);
    else if (o_lo >= c)
      half = std::min(half, o_lo - c - kGap);
    else
      half = 0;
  }
  return std::max(half, 0.0);
}

/* The frame's texts of some kinds, in cell coordinates. */
std::vector<Box> boxes_of(cairo_t *cr, const VlpFrameTexts &t, bool x_ticks, bool y_ticks, bool bar) {
  std::vector<Box> out;
  for (const VlpTextBox &b : t.texts) {
    if ((b.kind == VLP_TEXT_XTICK && !x_ticks) || (b.kind == VLP_TEXT_YTICK && !y_ticks) ||
        (b.kind == VLP_TEXT_BAR && !bar))
      continue;
    Box c = {b.x0, b.y0, b.x1, b.y1};
    cairo_device_to_user(cr, &c.x0, &c.y0);
    cairo_device_to_user(cr, &c.x1, &c.y1);
    out.push_back(Box{std::min(c.x0, c.x1), std::min(c.y0, c.y1), std::max(c.x0, c.x1),
                      std::max(c.y0, c.y1)});
  }
  return out;
}

/* ---- legend ---- */

/* The series' sample, as its kind draws it; a kind without one shows its label
 * alone. */
void draw_sample(cairo_t *cr, const VlpCanvas *can, int i, double x, double y, double w, double h) {
  cairo_new_path(cr);
  const VlpSeriesKind *kind = vlp_series_kind(can->p_r_type[i]);
  if (kind->sample) kind->sample(cr, can, i, x, y, w, h);
}

void draw_legend(cairo_t *cr, const VlpCanvas *can, const s_canvas_labels &l, Box room) {
  std::vector<int> shown;
  for (int i = 0; i < can->numOfVec && i < static_cast<int>(l.series.size()); i++)
    if (!l.series[i].empty() && can->p_r_type) shown.push_back(i);
  if (shown.empty()) return;
  const int n = static_cast<int>(shown.size());
  Text text(cr);
  for (double s = kLegendPx; s >= kMinPx;) {
    const double pad = std::round(0.5 * s), sample = 2 * s, space = std::round(0.5 * s);
    const double lead = std::round(0.2 * s);
    double row = 0, wide = 0;
    for (int i : shown) {
      text.set(l.series[i], s);
      const PangoRectangle r = text.logical();
      row = std::max(row, static_cast<double>(r.height));
      wide = std::max(wide, static_cast<double>(r.width));
    }
    const double w = pad + sample + space + wide + pad, h = 2 * pad + n * row + (n - 1) * lead;
    if (w > room.x1 - room.x0 || h > room.y1 - room.y0) {
      s = Text::smaller(s, std::min((room.x1 - room.x0) / w, (room.y1 - room.y0) / h));
      continue;
    }
    const Loc &loc = kLocs[l.loc];
    const double x = std::round(room.x0 + (room.x1 - room.x0 - w) * loc.h / 2);
    const double y = std::round(room.y0 + (room.y1 - room.y0 - h) * loc.v / 2);
    cairo_save(cr);
    cairo_rectangle(cr, x, y, w, h);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.8);
    cairo_fill(cr);
    cairo_rectangle(cr, x + 0.5, y + 0.5, w - 1, h - 1);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.4);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    for (int k = 0; k < n; k++) {
      const double top = y + pad + k * (row + lead);
      draw_sample(cr, can, shown[k], x + pad, top, sample, row);
      text.set(l.series[shown[k]], s);
      text.show_at(cr, x + pad + sample + space, top);
    }
    cairo_restore(cr);
    return;
  }
}

}  // namespace

extern "C" {

void vlp_canvas_labels_delete(VlpCanvas *can) {
  if (!can) return;
  delete can->p_labels;
  can->p_labels = nullptr;
}

void *vlp_set_title(VlpCanvas *can, const char *text) {
  return set_text(can, &s_canvas_labels::title, text);
}

void *vlp_set_xlabel(VlpCanvas *can, const char *text) {
  return set_text(can, &s_canvas_labels::xlabel, text);
}

void *vlp_set_ylabel(VlpCanvas *can, const char *text) {
  return set_text(can, &s_canvas_labels::ylabel, text);
}

void *vlp_set_label(VlpCanvas *can, int line, const char *text) {
  if (line < 0) return nullptr;
  edit(can, [&](s_canvas_labels &l) {
    std::string s = utf8(text);
    if (static_cast<size_t>(line) >= l.series.size()) {
      if (s.empty()) return;
      l.series.resize(static_cast<size_t>(line) + 1);
    }
    l.series[line] = std::move(s);
  });
  return nullptr;
}

int vlp_legend_loc(const char *loc) {
  if (!loc) return -1;
  for (size_t k = 0; k < sizeof kLocs / sizeof kLocs[0]; k++)
    if (std::string(loc) == kLocs[k].name) return static_cast<int>(k);
  return -1;
}

const char *vlp_legend_locs(void) {
  return "upper right, upper left, lower left, lower right, right, center left, center right, "
         "lower center, upper center, center";
}

void *vlp_set_legend(VlpCanvas *can, int boolean, const char *loc) {
  const int k = vlp_legend_loc(loc);
  if (k < 0) return nullptr;
  edit(can, [&](s_canvas_labels &l) {
    l.legend = boolean != 0;
    l.loc = k;
  });
  return nullptr;
}

}  // extern "C"

bool vlp_canvas_labelled(const VlpCanvas *can) { return can->p_labels != nullptr; }

void vlp_draw_labels(cairo_t *cr, const VlpCanvas *can, const VlpFrame *f) {
  const s_canvas_labels &l = *can->p_labels;
  const VlpFrameTexts &t = *f->texts;
  const double W = 2.0 * f->hw, H = 2.0 * f->hh;
  Box box = {t.box.x0, t.box.y0, t.box.x1, t.box.y1};
  cairo_device_to_user(cr, &box.x0, &box.y0);
  cairo_device_to_user(cr, &box.x1, &box.y1);
  const double cx = (box.x0 + box.x1) / 2, cy = (box.y0 + box.y1) / 2;
  // Tick marks reach a fiftieth of the box out of it.
  const double mark_x = (box.x1 - box.x0) / 50 + kGap, mark_y = (box.y1 - box.y0) / 50 + kGap;
  const std::vector<Box> xticks = boxes_of(cr, t, true, false, false);
  const std::vector<Box> yticks = boxes_of(cr, t, false, true, false);
  Text text(cr);
  // The y label reads upwards left of the y tick labels when it fits there
  // at a readable size, or else along the top, over them: the title then
  // keeps clear of it.
  std::vector<Box> beside_title = boxes_of(cr, t, false, true, true);
  if (!l.ylabel.empty()) {
    double x1 = box.x0 - mark_x, top = box.y0;
    for (const Box &b : yticks) x1 = std::min(x1, b.x0 - kGap), top = std::min(top, b.y0);
    const double x0 = kEdge;
    const double half = half_room(cy, kEdge, H - kEdge, x0, x1, boxes_of(cr, t, true, false, true), true);
    const double left = std::max(kEdge, x1 + kGap), y1 = top - kGap;
    const double along = std::min(W - kEdge, box.x0 + 0.4 * (box.x1 - box.x0)) - left;
    if (x1 > x0 && text.fit(l.ylabel, kAxisPx, kReadablePx, 2 * half, x1 - x0)) {
      const PangoRectangle r = text.ink();
      text.show(cr, x1 - r.height, cy - r.width / 2.0, true);
    } else if (y1 > kEdge && along > 0 && text.fit(l.ylabel, kAxisPx, kMinPx, along, y1 - kEdge)) {
      const PangoRectangle r = text.ink();
      text.show(cr, left, y1 - r.height, false);
      beside_title.push_back(Box{left, y1 - r.height, left + r.width, y1});
    }
  }
  if (!l.title.empty()) {
    // Above the box, clear of the y tick and colour bar labels beside it.
    const double y0 = kEdge, y1 = box.y0 - kGap;
    const double half = half_room(cx, kEdge, W - kEdge, y0, y1, beside_title, false);
    if (y1 > y0 && text.fit(l.title, kTitlePx, kMinPx, 2 * half, y1 - y0)) {
      const PangoRectangle r = text.ink();
      text.show(cr, cx - r.width / 2.0, y1 - r.height, false);
    }
  }
  if (!l.xlabel.empty()) {
    // Below the x tick labels.
    double y0 = box.y1 + mark_y;
    for (const Box &b : xticks) y0 = std::max(y0, b.y1 + kGap);
    const double y1 = H - kEdge;
    const double half = half_room(cx, kEdge, W - kEdge, y0, y1, boxes_of(cr, t, false, true, true), false);
    if (y1 > y0 && text.fit(l.xlabel, kAxisPx, kMinPx, 2 * half, y1 - y0)) {
      const PangoRectangle r = text.ink();
      text.show(cr, cx - r.width / 2.0, y0, false);
    }
  }
  if (l.legend) {
    // Inside the box, clear of the tick labels that reach into it.
    Box room = {box.x0 + kGap, box.y0 + kGap, box.x1 - kGap, box.y1 - kGap};
    for (const Box &b : yticks) room.x0 = std::max(room.x0, b.x1 + kGap);
    for (const Box &b : xticks) room.y1 = std::min(room.y1, b.y0 - kGap);
    if (room.x1 > room.x0 && room.y1 > room.y0) draw_legend(cr, can, l, room);
  }
}
