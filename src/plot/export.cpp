/* velta plotting: file export. A format, a cairo surface of that format, and
 * the figure rendered onto it as a window of the same size shows it. The
 * bytes are collected in memory and handed on only once the picture is
 * whole, so that a failure leaves no partial file. */
#include "vlp.h"
#include "vlp_draw.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <png.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <csetjmp>
#include <ctime>
#include <new>
#include <string>

namespace {

cairo_status_t collect(void *closure, const unsigned char *data, unsigned int length) {
  try {
    static_cast<std::string *>(closure)->append(reinterpret_cast<const char *>(data), length);
  } catch (const std::bad_alloc &) {
    return CAIRO_STATUS_NO_MEMORY;
  }
  return CAIRO_STATUS_SUCCESS;
}

/* ---- PNG ----
 * Written through libpng rather than cairo's writer, which compresses at
 * zlib's default level: the fastest level and no row filter make the same
 * pixels in a fraction of the time. An opaque picture (every figure, whose
 * background is painted white) is written as RGB, any other as RGBA with
 * the colours un-premultiplied as cairo does. */

void png_append(png_structp png, png_bytep data, png_size_t length) {
  auto *out = static_cast<std::string *>(png_get_io_ptr(png));
  try {
    out->append(reinterpret_cast<const char *>(data), length);
  } catch (const std::bad_alloc &) {
    png_error(png, "out of memory");
  }
}

void png_no_flush(png_structp) {}

bool opaque(const unsigned char *pixels, int width, int height, int stride) {
  for (int y = 0; y < height; y++) {
    const uint32_t *row = reinterpret_cast<const uint32_t *>(pixels + static_cast<size_t>(y) * stride);
    for (int x = 0; x < width; x++)
      if ((row[x] >> 24) != 255) return false;
  }
  return true;
}

/* One row of the ARGB32 surface as RGB or un-premultiplied RGBA bytes. */
void convert_row(const uint32_t *src, int width, bool rgb, unsigned char *dst) {
  for (int x = 0; x < width; x++) {
    const uint32_t p = src[x];
    const unsigned alpha = p >> 24;
    unsigned r = (p >> 16) & 255, g = (p >> 8) & 255, b = p & 255;
    if (rgb) {
      *dst++ = static_cast<unsigned char>(r);
      *dst++ = static_cast<unsigned char>(g);
      *dst++ = static_cast<unsigned char>(b);
      continue;
    }
    if (alpha == 0) {
      r = g = b = 0;
    } else if (alpha != 255) {
      r = (r * 255 + alpha / 2) / alpha;
      g = (g * 255 + alpha / 2) / alpha;
      b = (b * 255 + alpha / 2) / alpha;
    }
    *dst++ = static_cast<unsigned char>(r);
    *dst++ = static_cast<unsigned char>(g);
    *dst++ = static_cast<unsigned char>(b);
    *dst++ = static_cast<unsigned char>(alpha);
  }
}

/* Kept free of objects with destructors: libpng reports errors by longjmp. */
cairo_status_t write_png(cairo_surface_t *surface, std::string *out) {
  cairo_surface_flush(surface);
  const unsigned char *pixels = cairo_image_surface_get_data(surface);
  const int width = cairo_image_surface_get_width(surface);
  const int height = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const bool rgb = opaque(pixels, width, height, stride);
  unsigned char *row = static_cast<unsigned char *>(std::malloc(static_cast<size_t>(width) * 4));
  png_structp png = row ? png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr)
                        : nullptr;
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    std::free(row);
    return CAIRO_STATUS_NO_MEMORY;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::free(row);
    return CAIRO_STATUS_NO_MEMORY;  // the only error the memory sink raises
  }
  png_set_write_fn(png, out, png_append, png_no_flush);
  png_set_compression_level(png, 1);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_set_IHDR(png, info, width, height, 8, rgb ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; y++) {
    convert_row(reinterpret_cast<const uint32_t *>(pixels + static_cast<size_t>(y) * stride), width,
                rgb, row);
    png_write_row(png, row);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::free(row);
  return CAIRO_STATUS_SUCCESS;
}

/* SOURCE_DATE_EPOCH as an ISO 8601 date, or empty when unset or not a
 * whole number of seconds. */
std::string source_date() {
  const char *epoch = std::getenv("SOURCE_DATE_EPOCH");
  if (!epoch || !*epoch) return "";
  char *end = nullptr;
  errno = 0;
  const long long secs = std::strtoll(epoch, &end, 10);
  if (*end || errno) return "";
  const std::time_t t = static_cast<std::time_t>(secs);
  std::tm tm;
  if (!gmtime_r(&t, &tm)) return "";
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

/* A surface for the format that writes into out; a PNG is an image surface
 * written out after rendering. */
cairo_surface_t *surface_for(int format, std::string *out, int width, int height) {
  switch (format) {
    case VLP_FORMAT_PNG:
      return cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    case VLP_FORMAT_SVG:
      return cairo_svg_surface_create_for_stream(collect, out, width, height);
    default: {
      cairo_surface_t *s = cairo_pdf_surface_create_for_stream(collect, out, width, height);
      // The date of the build that wrote it, or none: a date string cairo
      // does not accept leaves the entry out.
      const std::string date = source_date();
      cairo_pdf_surface_set_metadata(s, CAIRO_PDF_METADATA_CREATE_DATE,
                                     date.empty() ? "none" : date.c_str());
      return s;
    }
  }
}

int status_of(cairo_status_t s) {
  switch (s) {
    case CAIRO_STATUS_SUCCESS:
      return VLP_SAVEFIG_OK;
    case CAIRO_STATUS_NO_MEMORY:
      return VLP_SAVEFIG_NO_MEMORY;
    case CAIRO_STATUS_INVALID_SIZE:
      return VLP_SAVEFIG_TOO_LARGE;
    default:
      return VLP_SAVEFIG_WRITE_ERROR;
  }
}

/* The picture's bytes in out. */
int render(VlpFigure *fig, int format, int width, int height, std::string *out) {
  if (format != VLP_FORMAT_PNG && format != VLP_FORMAT_SVG && format != VLP_FORMAT_PDF)
    return VLP_SAVEFIG_BAD_EXTENSION;
  if (width < 1 || height < 1) return VLP_SAVEFIG_BAD_SIZE;
  if (format == VLP_FORMAT_PNG && (width > VLP_PNG_MAX_SIZE || height > VLP_PNG_MAX_SIZE))
    return VLP_SAVEFIG_TOO_LARGE;

  cairo_surface_t *surface = surface_for(format, out, width, height);
  cairo_status_t status = cairo_surface_status(surface);
  if (status == CAIRO_STATUS_SUCCESS) {
    cairo_t *cr = cairo_create(surface);
    vlp_draw_figure(cr, fig, width, height);
    status = cairo_status(cr);
    cairo_destroy(cr);
  }
  if (format == VLP_FORMAT_PNG && status == CAIRO_STATUS_SUCCESS)
    status = write_png(surface, out);
  cairo_surface_finish(surface);
  if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
  cairo_surface_destroy(surface);
  return status_of(status);
}

/* render, with an allocation failure of the buffer reported as such. */
int picture(VlpFigure *fig, int format, int width, int height, std::string *out) {
  try {
    return render(fig, format, width, height, out);
  } catch (const std::bad_alloc &) {
    return VLP_SAVEFIG_NO_MEMORY;
  }
}

}  // namespace

extern "C" {

int vlp_format_of_name(const char *filename) {
  const char *dot = std::strrchr(filename, '.');
  const char *slash = std::strrchr(filename, '/');
  if (!dot || (slash && slash > dot)) return VLP_FORMAT_UNKNOWN;
  std::string ext(dot + 1);
  for (char &ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  if (ext == "png") return VLP_FORMAT_PNG;
  if (ext == "svg") return VLP_FORMAT_SVG;
  if (ext == "pdf") return VLP_FORMAT_PDF;
  return VLP_FORMAT_UNKNOWN;
}

int vlp_savefig_stream(VlpFigure *fig, int format, int width, int height, VlpWriteFunc write,
                       void *closure) {
  std::string bytes;
  const int status = picture(fig, format, width, height, &bytes);
  if (status != VLP_SAVEFIG_OK) return status;
  const unsigned char *data = reinterpret_cast<const unsigned char *>(bytes.data());
  return write(closure, data, static_cast<unsigned int>(bytes.size())) == 0
             ? VLP_SAVEFIG_OK
             : VLP_SAVEFIG_WRITE_ERROR;
}

/* Writes to the FILE given as closure; errno tells why when it fails. */
static int write_file(void *closure, const unsigned char *data, unsigned int length) {
  FILE *f = static_cast<FILE *>(closure);
  return length == 0 || std::fwrite(data, 1, length, f) == length ? 0 : -1;
}

int vlp_savefig_format(VlpFigure *fig, const char *filename, int format, int width, int height) {
  // The picture first, so that a picture that cannot be made creates no file.
  std::string bytes;
  const int status = picture(fig, format, width, height, &bytes);
  if (status != VLP_SAVEFIG_OK) return status;
  FILE *f = std::fopen(filename, "wb");
  if (!f) return VLP_SAVEFIG_WRITE_ERROR;
  const unsigned char *data = reinterpret_cast<const unsigned char *>(bytes.data());
  int failed = write_file(f, data, static_cast<unsigned int>(bytes.size()));
  // A full device may refuse the bytes only when they are flushed.
  if (std::fflush(f) != 0) failed = -1;
  const int saved = errno;
  if (std::fclose(f) != 0) {
    failed = -1;
  } else if (failed) {
    errno = saved;
  }
  return failed ? VLP_SAVEFIG_WRITE_ERROR : VLP_SAVEFIG_OK;
}

int vlp_savefig(VlpFigure *fig, const char *filename, int width, int height) {
  return vlp_savefig_format(fig, filename, vlp_format_of_name(filename), width, height);
}

}  // extern "C"
