/* velta plotting: the window. A grid of drawing areas, one per canvas, each
 * redrawn by the frame renderer at the window's current size. */
#include "vlp.h"
#include "vlp_draw.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

/* GTK handlers of the window built by vlp_show. */
gboolean on_draw_event(GtkWidget *widget, cairo_t *cr, gpointer user_data);
void destroy(GtkWidget *widget, gpointer user_data);

gboolean on_draw_event(GtkWidget *widget, cairo_t *cr, gpointer user_data) {
  GtkWidget *top = gtk_widget_get_toplevel(widget);
  int w = 0, h = 0;
  if (GTK_IS_WINDOW(top)) gtk_window_get_size(GTK_WINDOW(top), &w, &h);
  vlp_draw_canvas(cr, static_cast<const VlpCanvas *>(user_data), w, h);
  return FALSE;
}

void destroy(GtkWidget *widget, gpointer user_data) {
  (void)widget;
  std::free(user_data);
  gtk_main_quit();
}

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
  GtkWidget *grid = gtk_grid_new();
  gtk_container_add(GTK_CONTAINER(window), grid);
  const size_t n = fig->size > 0 ? static_cast<size_t>(fig->size) : 1;
  GtkWidget **areas = static_cast<GtkWidget **>(std::malloc(n * sizeof(GtkWidget *)));
  vlp_place_canvases(fig);
  for (int i = 0; i < fig->size; i++) {
    GtkWidget *area = gtk_drawing_area_new();
    areas[i] = area;
    gtk_widget_set_hexpand(area, TRUE);
    gtk_widget_set_vexpand(area, TRUE);
    gtk_grid_attach(GTK_GRID(grid), area, i % fig->col, i / fig->col, 1, 1);
    g_signal_connect(area, "draw", G_CALLBACK(on_draw_event), &fig->p_r_canvas[i]);
  }
  g_signal_connect(window, "destroy", G_CALLBACK(destroy), areas);
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
