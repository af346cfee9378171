/* velta plotting: the window. A grid of drawing areas, one per canvas, each
 * redrawn by the frame renderer at the window's current size. The figure may
 * give the window a title and a size; keys close it (q, Ctrl+W), save what it
 * shows (Ctrl+S) and reset the views (r, Home); the wheel zooms a canvas about
 * the pointer and a drag pans it. Views belong to one window: the records
 * keep their limits. */
#include "vlp.h"
#include "vlp_draw.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

/* GTK handlers of the window built by vlp_show. */
gboolean on_draw_event(GtkWidget *widget, cairo_t *cr, gpointer user_data);
void destroy(GtkWidget *widget, gpointer user_data);

/* The key under which a drawing area carries the view of its canvas. */
static const char kViewKey[] = "velta-view";

gboolean on_draw_event(GtkWidget *widget, cairo_t *cr, gpointer user_data) {
  GtkWidget *top = gtk_widget_get_toplevel(widget);
  int w = 0, h = 0;
  if (GTK_IS_WINDOW(top)) gtk_window_get_size(GTK_WINDOW(top), &w, &h);
  const VlpView *view = static_cast<const VlpView *>(g_object_get_data(G_OBJECT(widget), kViewKey));
  vlp_draw_canvas(cr, static_cast<const VlpCanvas *>(user_data), w, h, view);
  return FALSE;
}

void destroy(GtkWidget *widget, gpointer user_data) {
  (void)widget;
  std::free(user_data);
  gtk_main_quit();
}

/* ---- what the figure gives its windows ---- */

struct s_window_options {
  char *title;        // null: none
  int width, height;  // 0 x 0: none
};

namespace {

s_window_options *options_of(VlpFigure *fig) {
  if (!fig->p_window)
    fig->p_window = static_cast<s_window_options *>(std::calloc(1, sizeof(s_window_options)));
  if (!fig->p_window) errno = ENOMEM;
  return fig->p_window;
}

}  // namespace

extern "C" {

void *vlp_set_window_title(VlpFigure *fig, const char *title) {
  char *copy = nullptr;
  if (title && *title) {
    const size_t n = std::strlen(title) + 1;
    copy = static_cast<char *>(std::malloc(n));
    if (!copy) {
      errno = ENOMEM;
      return nullptr;
    }
    std::memcpy(copy, title, n);
  } else if (!fig->p_window) {
    return nullptr;  // none, as before
  }
  s_window_options *options = options_of(fig);
  if (!options) {
    std::free(copy);
    return nullptr;
  }
  std::free(options->title);
  options->title = copy;
  return nullptr;
}

void *vlp_set_window_size(VlpFigure *fig, int width, int height) {
  const bool none = width == 0 && height == 0;
  const bool fits = width >= 1 && height >= 1 && width <= VLP_WINDOW_MAX_SIZE &&
                    height <= VLP_WINDOW_MAX_SIZE;
  if (!fits && (!none || !fig->p_window)) return nullptr;
  s_window_options *options = options_of(fig);
  if (!options) return nullptr;
  options->width = width;
  options->height = height;
  return nullptr;
}

void vlp_window_options_delete(s_window_options *options) {
  if (!options) return;
  std::free(options->title);
  std::free(options);
}

}  // extern "C"

namespace {

/* ---- one window's views and keys ----
 * State of one vlp_show call: a view per canvas (inactive until the canvas
 * is zoomed or panned), the drag under way and the save dialog. */
struct Shown;

struct Area {
  Shown *shown;
  int index;
};

struct Shown {
  VlpFigure *fig;
  GtkWidget *window;
  VlpView *views;  // one per canvas
  Area *areas;     // what each drawing area's handlers are given
  int drag;        // the canvas being dragged, or -1
  double drag_x, drag_y;
  VlpFrame drag_frame;  // the canvas's frame when the drag began
  GtkWidget *chooser;
};

const double kZoomStep = 1.25;  // the span shrinks by this for one wheel notch up

/* The frame that the window shows of canvas i. */
bool shown_frame(const Shown *s, int i, VlpFrame *f) {
  int w = 0, h = 0;
  gtk_window_get_size(GTK_WINDOW(s->window), &w, &h);
  return vlp_canvas_frame(&s->fig->p_r_canvas[i], w, h, &s->views[i], f);
}

/* Limits a view may take: finite, and far enough apart for the mapping to
 * keep apart the pixels between them. */
bool usable_axis(double lo, double hi) {
  const double span = std::fabs(hi - lo), far = std::fmax(std::fabs(lo), std::fabs(hi));
  return std::isfinite(span) && span > 0 && span >= 1e-9 * far && far < 1e300;
}

void show_view(Area *a, VlmCoordDouble lo, VlmCoordDouble hi) {
  if (!usable_axis(lo.x, hi.x) || !usable_axis(lo.y, hi.y)) return;
  a->shown->views[a->index] = VlpView{true, lo, hi};
  gtk_widget_queue_draw(a->shown->window);
}

gboolean on_scroll(GtkWidget *, GdkEventScroll *ev, gpointer data) {
  Area *a = static_cast<Area *>(data);
  double notches = 0;  // up (zooming in) counts positive
  if (ev->direction == GDK_SCROLL_UP) notches = 1;
  if (ev->direction == GDK_SCROLL_DOWN) notches = -1;
  if (ev->direction == GDK_SCROLL_SMOOTH) notches = -ev->delta_y;
  VlpFrame f;
  if (notches == 0 || !shown_frame(a->shown, a->index, &f)) return FALSE;
  // The data point under the pointer stays there.
  const VlmCoordDouble p = vlp_frame_point(&f, ev->x, ev->y);
  const double k = std::pow(kZoomStep, -notches);
  show_view(a, VlmCoordDouble{p.x + (f.dlo.x - p.x) * k, p.y + (f.dlo.y - p.y) * k},
            VlmCoordDouble{p.x + (f.dhi.x - p.x) * k, p.y + (f.dhi.y - p.y) * k});
  return TRUE;
}

gboolean on_press(GtkWidget *, GdkEventButton *ev, gpointer data) {
  Area *a = static_cast<Area *>(data);
  Shown *s = a->shown;
  if (ev->button != 1 || ev->type != GDK_BUTTON_PRESS || !shown_frame(s, a->index, &s->drag_frame))
    return FALSE;
  s->drag = a->index;
  s->drag_x = ev->x;
  s->drag_y = ev->y;
  return TRUE;
}

/* The data point under the press follows the pointer. */
gboolean on_motion(GtkWidget *, GdkEventMotion *ev, gpointer data) {
  Area *a = static_cast<Area *>(data);
  Shown *s = a->shown;
  if (s->drag != a->index) return FALSE;
  if (ev->x == s->drag_x && ev->y == s->drag_y) return TRUE;
  const VlpFrame &f = s->drag_frame;
  const VlmCoordDouble from = vlp_frame_point(&f, s->drag_x, s->drag_y);
  const VlmCoordDouble to = vlp_frame_point(&f, ev->x, ev->y);
  const double dx = from.x - to.x, dy = from.y - to.y;
  show_view(a, VlmCoordDouble{f.dlo.x + dx, f.dlo.y + dy}, VlmCoordDouble{f.dhi.x + dx, f.dhi.y + dy});
  return TRUE;
}

gboolean on_release(GtkWidget *, GdkEventButton *ev, gpointer data) {
  Area *a = static_cast<Area *>(data);
  if (ev->button != 1 || a->shown->drag != a->index) return FALSE;
  a->shown->drag = -1;
  return TRUE;
}

void reset_views(Shown *s) {
  for (int i = 0; i < s->fig->size; i++) s->views[i].active = false;
  s->drag = -1;
  gtk_widget_queue_draw(s->window);
}

/* Why a save failed, for the user; null when it did not. */
gchar *save_shown(const Shown *s, const char *name) {
  int w = 0, h = 0;
  gtk_window_get_size(GTK_WINDOW(s->window), &w, &h);
  errno = 0;
  const int status = vlp_savefig_view(s->fig, name, vlp_format_of_name(name), w, h, s->views);
  if (status == VLP_SAVEFIG_OK) return nullptr;
  const int error = errno;
  gchar *shown = g_filename_display_name(name);
  gchar *why;
  switch (status) {
    case VLP_SAVEFIG_BAD_EXTENSION:
      why = g_strdup_printf("cannot tell the format of '%s': use .png, .svg or .pdf", shown);
      break;
    case VLP_SAVEFIG_TOO_LARGE:
      why = g_strdup_printf("a PNG is at most %d pixels wide and high (cairo's limit), got %d x %d",
                            VLP_PNG_MAX_SIZE, w, h);
      break;
    case VLP_SAVEFIG_NO_MEMORY:
      why = g_strdup_printf("not enough memory for a picture of %d x %d", w, h);
      break;
    default:
      why = error ? g_strdup_printf("cannot write '%s': %s", shown, g_strerror(error))
                  : g_strdup_printf("cannot write '%s'", shown);
  }
  g_free(shown);
  return why;
}

void on_chooser_gone(GtkWidget *, gpointer data) { static_cast<Shown *>(data)->chooser = nullptr; }

/* A chosen name is saved and the chooser closed; a failure is told in a
 * message over the chooser, which stays open for another name. */
void on_chooser_response(GtkDialog *dialog, gint response, gpointer data) {
  Shown *s = static_cast<Shown *>(data);
  gchar *why = nullptr;
  if (response == GTK_RESPONSE_ACCEPT) {
    gchar *name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog));
    why = name ? save_shown(s, name) : g_strdup("only files on this computer can be written");
    g_free(name);
  }
  if (!why) {
    gtk_widget_destroy(GTK_WIDGET(dialog));
    return;
  }
  GtkWidget *message = gtk_message_dialog_new(
      GTK_WINDOW(dialog), static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
      GTK_MESSAGE_ERROR, GTK_BUTTONS_CLOSE, "%s", why);
  g_free(why);
  gtk_window_set_title(GTK_WINDOW(message), "Cannot save the figure");
  g_signal_connect(message, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
  gtk_widget_show(message);
}

void open_chooser(Shown *s) {
  if (s->chooser) {
    gtk_window_present(GTK_WINDOW(s->chooser));
    return;
  }
  GtkWidget *dialog = gtk_file_chooser_dialog_new("Save the figure", GTK_WINDOW(s->window),
                                                  GTK_FILE_CHOOSER_ACTION_SAVE, "_Cancel",
                                                  GTK_RESPONSE_CANCEL, "_Save", GTK_RESPONSE_ACCEPT,
                                                  nullptr);
  GtkFileChooser *chooser = GTK_FILE_CHOOSER(dialog);
  gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);
  gchar *here = g_get_current_dir();
  gtk_file_chooser_set_current_folder(chooser, here);
  g_free(here);
  gtk_file_chooser_set_current_name(chooser, "figure.png");
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog), TRUE);
  g_signal_connect(dialog, "response", G_CALLBACK(on_chooser_response), s);
  g_signal_connect(dialog, "destroy", G_CALLBACK(on_chooser_gone), s);
  s->chooser = dialog;
  gtk_widget_show(dialog);
}

gboolean on_key(GtkWidget *, GdkEventKey *ev, gpointer data) {
  Shown *s = static_cast<Shown *>(data);
  const guint mods = ev->state & gtk_accelerator_get_default_mod_mask();
  const bool ctrl = (mods & GDK_CONTROL_MASK) != 0;
  const bool plain = (mods & ~GDK_SHIFT_MASK) == 0;
  const guint key = gdk_keyval_to_lower(ev->keyval);
  if ((plain && key == GDK_KEY_q) || (ctrl && key == GDK_KEY_w)) {
    gtk_widget_destroy(s->window);  // its destroy handler ends the main loop
  } else if (ctrl && key == GDK_KEY_s) {
    open_chooser(s);
  } else if (plain && (key == GDK_KEY_r || key == GDK_KEY_Home || key == GDK_KEY_KP_Home)) {
    if (s->views) reset_views(s);
  } else {
    return FALSE;
  }
  return TRUE;
}

/* The figure's title and size, when it was given them. */
void apply_options(GtkWindow *window, const s_window_options *options) {
  if (!options) return;
  if (options->title) {
    gchar *title = g_utf8_make_valid(options->title, -1);
    gtk_window_set_title(window, title);
    g_free(title);
  }
  if (options->width > 0) gtk_window_set_default_size(window, options->width, options->height);
}

/* Makes the drawing area of canvas i show its view and follow the pointer. */
void follow_pointer(GtkWidget *area, Shown *s, int i) {
  s->areas[i] = Area{s, i};
  g_object_set_data(G_OBJECT(area), kViewKey, &s->views[i]);
  gtk_widget_add_events(area, GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK | GDK_BUTTON_PRESS_MASK |
                                  GDK_BUTTON_RELEASE_MASK | GDK_BUTTON1_MOTION_MASK);
  g_signal_connect(area, "scroll-event", G_CALLBACK(on_scroll), &s->areas[i]);
  g_signal_connect(area, "button-press-event", G_CALLBACK(on_press), &s->areas[i]);
  g_signal_connect(area, "motion-notify-event", G_CALLBACK(on_motion), &s->areas[i]);
  g_signal_connect(area, "button-release-event", G_CALLBACK(on_release), &s->areas[i]);
}

}  // namespace

extern "C" {

namespace {

/* ---- a display lost while shown ----
 * GDK's X I/O error handler ends the process. Ours returns instead, and the
 * exit handler that libX11 calls next (XSetIOErrorExitHandler, libX11 1.8)
 * ends the main loop: vlp_show_polled then returns 2. The toolkit cannot be
 * used again on that display, so later calls report no display. */
bool display_lost = false;

int on_io_error(Display *) { return 0; }

void on_io_error_exit(Display *, void *) {
  display_lost = true;
  if (gtk_main_level() > 0) gtk_main_quit();
}

void guard_display() {
  static bool guarded = false;
  GdkDisplay *display = gdk_display_get_default();
  if (guarded || !display || !GDK_IS_X11_DISPLAY(display)) return;
  XSetIOErrorHandler(on_io_error);
  XSetIOErrorExitHandler(gdk_x11_display_get_xdisplay(display), on_io_error_exit, nullptr);
  guarded = true;
}

/* ---- a display that never answers ----
 * XOpenDisplay waits for the server's greeting without a time limit. A probe
 * connection on a thread of its own is given kAnswerSeconds; a server that
 * has not answered by then counts as no display. The probe thread stays
 * blocked until the server answers or goes away, and while it does, later
 * calls report no display at once instead of starting another. */
const int kAnswerSeconds = 5;

struct Probe {
  std::mutex lock;
  std::condition_variable done_cv;
  bool done = false;
  bool opened = false;
};

std::shared_ptr<Probe> pending_probe;

bool x_display_answers() {
  const char *name = g_getenv("DISPLAY");
  if (!name || !*name) return true;  // nothing to wait for: GDK decides
  if (pending_probe) {
    std::lock_guard<std::mutex> hold(pending_probe->lock);
    if (!pending_probe->done) return false;
  }
  auto probe = std::make_shared<Probe>();
  std::thread([probe] {
    Display *d = XOpenDisplay(nullptr);
    if (d) XCloseDisplay(d);
    std::lock_guard<std::mutex> hold(probe->lock);
    probe->done = true;
    probe->opened = d != nullptr;
    probe->done_cv.notify_all();
  }).detach();
  std::unique_lock<std::mutex> hold(probe->lock);
  if (!probe->done_cv.wait_for(hold, std::chrono::seconds(kAnswerSeconds),
                               [&] { return probe->done; })) {
    pending_probe = probe;
    return false;
  }
  pending_probe.reset();
  return true;  // an unreachable display is left for GDK to report
}

struct Poller {
  int (*poll)(void *);
  void *closure;
  GtkWidget *window;
  guint source;
  bool fired;
};

gboolean on_poll(gpointer data) {
  Poller *p = static_cast<Poller *>(data);
  if (!p->poll(p->closure)) return G_SOURCE_CONTINUE;
  p->fired = true;
  p->source = 0;
  gtk_widget_destroy(p->window);  // its destroy handler ends the main loop
  return G_SOURCE_REMOVE;
}

}  // namespace

int vlp_show_polled(VlpFigure *fig, int (*poll)(void *), void *closure, int interval_ms) {
  // GTK would otherwise switch the process to the environment's locale, and
  // "%f" would write decimal commas from then on. Allowed only before the
  // first initialisation.
  static bool configured = false;
  if (!configured) {
    gtk_disable_setlocale();
    // GDK tries every backend it was built with; the broadway backend keeps
    // a display record from each failed attempt, about 5 KB a call. A
    // backend the user names in GDK_BACKEND is still honoured.
    const char *backend = g_getenv("GDK_BACKEND");
    if (!backend || !*backend) gdk_set_allowed_backends("wayland,x11");
    configured = true;
  }
  if (display_lost || !x_display_answers() || !gtk_init_check(nullptr, nullptr)) return -1;
  guard_display();

  GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  apply_options(GTK_WINDOW(window), fig->p_window);
  GtkWidget *grid = gtk_grid_new();
  gtk_container_add(GTK_CONTAINER(window), grid);
  const size_t n = fig->size > 0 ? static_cast<size_t>(fig->size) : 1;
  GtkWidget **areas = static_cast<GtkWidget **>(std::malloc(n * sizeof(GtkWidget *)));
  // Views and pointer handling; without the memory for them the window
  // still shows the figure and closes on its keys.
  const std::unique_ptr<VlpView, void (*)(void *)> views(
      static_cast<VlpView *>(std::calloc(n, sizeof(VlpView))), std::free);
  const std::unique_ptr<Area, void (*)(void *)> area_state(
      static_cast<Area *>(std::calloc(n, sizeof(Area))), std::free);
  Shown shown = {fig, window, views && area_state ? views.get() : nullptr, area_state.get(), -1,
                 0, 0, VlpFrame(), nullptr};
  vlp_place_canvases(fig);
  for (int i = 0; i < fig->size; i++) {
    GtkWidget *area = gtk_drawing_area_new();
    areas[i] = area;
    gtk_widget_set_hexpand(area, TRUE);
    gtk_widget_set_vexpand(area, TRUE);
    gtk_grid_attach(GTK_GRID(grid), area, i % fig->col, i / fig->col, 1, 1);
    g_signal_connect(area, "draw", G_CALLBACK(on_draw_event), &fig->p_r_canvas[i]);
    if (shown.views) follow_pointer(area, &shown, i);
  }
  g_signal_connect(window, "destroy", G_CALLBACK(destroy), areas);
  g_signal_connect(window, "key-press-event", G_CALLBACK(on_key), &shown);
  gtk_widget_show_all(window);
  Poller poller = {poll, closure, window, 0, false};
  if (poll) poller.source = g_timeout_add(interval_ms > 0 ? interval_ms : 1, on_poll, &poller);
  gtk_main();
  if (poller.source) g_source_remove(poller.source);
  // The window of a lost display is left alone: every call on it would fail.
  if (display_lost) return 2;
  return poller.fired ? 1 : 0;
}

int vlp_show_checked(VlpFigure *fig) { return vlp_show_polled(fig, nullptr, nullptr, 0); }

void vlp_show(VlpFigure *fig) { (void)vlp_show_checked(fig); }

}  // extern "C"
