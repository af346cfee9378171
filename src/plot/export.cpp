/* velta plotting: file export. A format, a cairo surface of that format, and
 * the figure rendered onto it as a window of the same size shows it. */
#include "vlp.h"
#include "vlp_draw.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>

#include <cctype>
#include <cstring>
#include <string>

namespace {

enum Format { PNG, SVG, PDF, UNKNOWN };

/* The format named by the file name's extension, in any case. */
Format format_of(const char *filename) {
  const char *dot = std::strrchr(filename, '.');
  const char *slash = std::strrchr(filename, '/');
  if (!dot || (slash && slash > dot)) return UNKNOWN;
  std::string ext(dot + 1);
  for (char &ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  if (ext == "png") return PNG;
  if (ext == "svg") return SVG;
  if (ext == "pdf") return PDF;
  return UNKNOWN;
}

cairo_surface_t *surface_for(Format format, const char *filename, int width, int height) {
  switch (format) {
    case PNG:
      return cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    case SVG:
      return cairo_svg_surface_create(filename, width, height);
    default:
      return cairo_pdf_surface_create(filename, width, height);
  }
}

}  // namespace

extern "C" int vlp_savefig(VlpFigure *fig, const char *filename, int width, int height) {
  const Format format = format_of(filename);
  if (format == UNKNOWN) return VLP_SAVEFIG_BAD_EXTENSION;
  if (width < 1 || height < 1) return VLP_SAVEFIG_BAD_SIZE;

  cairo_surface_t *surface = surface_for(format, filename, width, height);
  const cairo_status_t created = cairo_surface_status(surface);
  if (created != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return created == CAIRO_STATUS_INVALID_SIZE ? VLP_SAVEFIG_BAD_SIZE : VLP_SAVEFIG_WRITE_ERROR;
  }
  cairo_t *cr = cairo_create(surface);
  vlp_draw_figure(cr, fig, width, height);
  cairo_status_t status = cairo_status(cr);
  cairo_destroy(cr);
  if (format == PNG && status == CAIRO_STATUS_SUCCESS) {
    status = cairo_surface_write_to_png(surface, filename);
  }
  cairo_surface_finish(surface);
  if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
  cairo_surface_destroy(surface);
  return status == CAIRO_STATUS_SUCCESS ? VLP_SAVEFIG_OK : VLP_SAVEFIG_WRITE_ERROR;
}
