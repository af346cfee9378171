/* velta plotting: file export. A format, a cairo surface of that format, and
 * the figure rendered onto it as a window of the same size shows it. The
 * bytes are collected in memory and handed on only once the picture is
 * whole, so that a failure leaves no partial file. */
#include "vlp.h"
#include "vlp_draw.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <ctime>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "threads.h"

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
 * Drawn and written in horizontal bands cut by the picture's size alone,
 * which the threads the process may use take in turn, so that the bytes are
 * the same for any number of threads. Each band is an image surface over its
 * rows of one buffer, offset so that the figure's drawing lands on the same
 * pixels as on one whole surface (cairo clips it to the band's rows; only
 * image cells wholly outside them are skipped). Each band's rows are then
 * deflated at zlib's fastest level with no row filter, ending in a full
 * flush (the last band ends the stream), so that the pieces join into one
 * zlib stream whose checksum combines the bands'. An opaque picture (every
 * figure, whose background is painted white) is written as RGB, any other
 * as RGBA with the colours un-premultiplied as cairo does. */

// About a band for every this many pixels, in a power of two up to as many
// bands as threads may draw one picture (so that 2, 4, ... threads share the
// work evenly); a smaller picture is one band. Every band draws the whole
// figure, clipped to its rows, so a band costs more than its share of pixels.
constexpr long kPixelsPerBand = 1L << 18;

struct Band {
  int y0, y1;                                 // its rows
  cairo_status_t status = CAIRO_STATUS_SUCCESS;
  bool opaque = true;
  std::string z;                              // its piece of the zlib stream
  uLong adler = 0;                            // checksum of its filtered rows
};

/* The bands of a width x height picture. */
std::vector<Band> bands_of(int width, int height) {
  const long pixels = static_cast<long>(width) * height;
  size_t count = 1;
  while (2 * count <= velta::kMaxThreads && static_cast<long>(2 * count) * kPixelsPerBand <= pixels &&
         2 * count <= static_cast<size_t>(height))
    count *= 2;
  std::vector<Band> bands(count);
  for (size_t t = 0; t < count; t++) {
    bands[t].y0 = static_cast<int>(static_cast<long>(height) * t / count);
    bands[t].y1 = static_cast<int>(static_cast<long>(height) * (t + 1) / count);
  }
  return bands;
}

/* job(band) for every band, on as many threads as the process may use and
 * there are bands (the budget is asked only when there are two or more);
 * each thread takes the next band not yet taken. */
template <typename Job>
void each_band(std::vector<Band> &bands, const Job &job) {
  const size_t threads = bands.size() < 2 ? 1 : std::min(velta::thread_budget(), bands.size());
  std::atomic<size_t> next{0};
  velta::on_threads(threads, [&](size_t) {
    for (size_t i; (i = next.fetch_add(1)) < bands.size();) job(bands[i]);
  });
}

bool opaque(const unsigned char *pixels, int width, int y0, int y1, int stride) {
  for (int y = y0; y < y1; y++) {
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

/* The figure drawn into band's rows of the buffer data. */
void draw_band(VlpFigure *fig, const VlpView *views, int width, int height, unsigned char *data,
               int stride, Band *band) {
  cairo_surface_t *surface = cairo_image_surface_create_for_data(
      data + static_cast<size_t>(band->y0) * stride, CAIRO_FORMAT_ARGB32, width, band->y1 - band->y0, stride);
  cairo_surface_set_device_offset(surface, 0, -band->y0);
  cairo_t *cr = cairo_create(surface);
  vlp_draw_figure(cr, fig, width, height, views);
  band->status = cairo_status(cr);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  band->opaque = opaque(data, width, band->y0, band->y1, stride);
}

/* Band's rows, each behind its filter byte (none), deflated into band->z.
 * Kept free of exceptions: it runs on threads of its own. */
void deflate_band(const unsigned char *data, int stride, int width, bool rgb, bool last, Band *band) {
  const size_t row_bytes = 1 + static_cast<size_t>(width) * (rgb ? 3 : 4);
  unsigned char *row = static_cast<unsigned char *>(std::malloc(row_bytes));
  z_stream zs = z_stream();
  if (!row || deflateInit2(&zs, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    std::free(row);
    band->status = CAIRO_STATUS_NO_MEMORY;
    return;
  }
  row[0] = 0;
  band->adler = adler32(0, nullptr, 0);
  size_t have = band->z.size();  // band 0 holds the stream's header already
  try {
    for (int y = band->y0; y < band->y1 && band->status == CAIRO_STATUS_SUCCESS; y++) {
      convert_row(reinterpret_cast<const uint32_t *>(data + static_cast<size_t>(y) * stride), width, rgb,
                  row + 1);
      band->adler = adler32(band->adler, row, static_cast<uInt>(row_bytes));
      zs.next_in = row;
      zs.avail_in = static_cast<uInt>(row_bytes);
      const int flush = y + 1 < band->y1 ? Z_NO_FLUSH : last ? Z_FINISH : Z_FULL_FLUSH;
      do {
        const size_t room = std::max<size_t>(row_bytes, 1 << 16);
        band->z.resize(have + room);
        zs.next_out = reinterpret_cast<Bytef *>(&band->z[have]);
        zs.avail_out = static_cast<uInt>(room);
        if (deflate(&zs, flush) == Z_STREAM_ERROR) band->status = CAIRO_STATUS_NO_MEMORY;
        have += room - zs.avail_out;
      } while (zs.avail_out == 0 && band->status == CAIRO_STATUS_SUCCESS);
    }
    band->z.resize(have);
  } catch (const std::bad_alloc &) {
    band->status = CAIRO_STATUS_NO_MEMORY;
  }
  deflateEnd(&zs);
  std::free(row);
}

void put_u32(std::string *out, uint32_t v) {
  const char b[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                     static_cast<char>(v)};
  out->append(b, 4);
}

/* A PNG chunk of type holding data; long data goes in several chunks. */
void put_chunk(std::string *out, const char *type, const std::string &data) {
  const size_t most = size_t(1) << 30;
  size_t at = 0;
  do {
    const size_t len = std::min(most, data.size() - at);
    put_u32(out, static_cast<uint32_t>(len));
    out->append(type, 4);
    out->append(data, at, len);
    uLong crc = crc32(0, reinterpret_cast<const Bytef *>(type), 4);
    crc = crc32_z(crc, reinterpret_cast<const Bytef *>(data.data() + at), len);
    put_u32(out, static_cast<uint32_t>(crc));
    at += len;
  } while (at < data.size());
}

cairo_status_t render_png(VlpFigure *fig, const VlpView *views, int width, int height,
                          std::string *out) {
  // Released however this returns (an allocation below may throw).
  const std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t *)> surface(
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height), cairo_surface_destroy);
  cairo_status_t status = cairo_surface_status(surface.get());
  if (status != CAIRO_STATUS_SUCCESS) return status;
  unsigned char *data = cairo_image_surface_get_data(surface.get());
  const int stride = cairo_image_surface_get_stride(surface.get());
  std::vector<Band> bands = bands_of(width, height);
  each_band(bands, [&](Band &b) { draw_band(fig, views, width, height, data, stride, &b); });
  bool rgb = true;
  for (const Band &b : bands) {
    if (status == CAIRO_STATUS_SUCCESS) status = b.status;
    rgb = rgb && b.opaque;
  }
  if (status == CAIRO_STATUS_SUCCESS) {
    bands[0].z.assign("\x78\x01", 2);  // deflate, 32 KiB window, fastest level
    each_band(bands, [&](Band &b) { deflate_band(data, stride, width, rgb, &b == &bands.back(), &b); });
    for (const Band &b : bands)
      if (status == CAIRO_STATUS_SUCCESS) status = b.status;
  }
  if (status == CAIRO_STATUS_SUCCESS) {
    uLong adler = bands[0].adler;
    for (size_t t = 1; t < bands.size(); t++)
      adler = adler32_combine(adler, bands[t].adler, static_cast<z_off_t>(bands[t].y1 - bands[t].y0) *
                                                          static_cast<z_off_t>(1 + width * (rgb ? 3 : 4)));
    put_u32(&bands.back().z, static_cast<uint32_t>(adler));
    std::string header;
    put_u32(&header, static_cast<uint32_t>(width));
    put_u32(&header, static_cast<uint32_t>(height));
    header.append(rgb ? "\x08\x02\x00\x00\x00" : "\x08\x06\x00\x00\x00", 5);  // 8 bits, RGB(A), no interlace
    out->append("\x89PNG\r\n\x1a\n", 8);
    put_chunk(out, "IHDR", header);
    for (const Band &b : bands) put_chunk(out, "IDAT", b.z);
    put_chunk(out, "IEND", std::string());
  }
  return status;
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

cairo_surface_t *svg_surface(std::string *out, int width, int height) {
  return cairo_svg_surface_create_for_stream(collect, out, width, height);
}

cairo_surface_t *pdf_surface(std::string *out, int width, int height) {
  cairo_surface_t *s = cairo_pdf_surface_create_for_stream(collect, out, width, height);
  // The date of the build that wrote it, or none: a date string cairo does
  // not accept leaves the entry out.
  const std::string date = source_date();
  cairo_pdf_surface_set_metadata(s, CAIRO_PDF_METADATA_CREATE_DATE, date.empty() ? "none" : date.c_str());
  return s;
}

/* A vector format: the figure drawn once onto the surface that surface_for
 * makes, writing into out. */
template <cairo_surface_t *(*surface_for)(std::string *, int, int)>
cairo_status_t render_vector(VlpFigure *fig, const VlpView *views, int width, int height, std::string *out) {
  cairo_surface_t *surface = surface_for(out, width, height);
  cairo_status_t status = cairo_surface_status(surface);
  if (status == CAIRO_STATUS_SUCCESS) {
    cairo_t *cr = cairo_create(surface);
    vlp_draw_figure(cr, fig, width, height, views);
    status = cairo_status(cr);
    cairo_destroy(cr);
  }
  cairo_surface_finish(surface);
  if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
  cairo_surface_destroy(surface);
  return status;
}

/* The formats, in the order of their VLP_FORMAT_* values. */
struct Format {
  VlpFormatInfo info;
  cairo_status_t (*write)(VlpFigure *fig, const VlpView *views, int width, int height, std::string *out);
};

constexpr Format kFormats[] = {
    {{"png", "a PNG", "pixels", VLP_PNG_MAX_SIZE}, render_png},
    {{"svg", "an SVG", "units", VLP_VECTOR_MAX_SIZE}, render_vector<svg_surface>},
    {{"pdf", "a PDF", "units", VLP_VECTOR_MAX_SIZE}, render_vector<pdf_surface>},
};
constexpr int kFormatCount = static_cast<int>(sizeof kFormats / sizeof kFormats[0]);
static_assert(VLP_FORMAT_PNG == 0 && VLP_FORMAT_SVG == 1 && VLP_FORMAT_PDF == 2 && kFormatCount == 3,
              "kFormats is indexed by the VLP_FORMAT_* values");

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
int render(VlpFigure *fig, const VlpView *views, int format, int width, int height, std::string *out) {
  if (format < 0 || format >= kFormatCount) return VLP_SAVEFIG_BAD_EXTENSION;
  const Format &f = kFormats[format];
  if (width < 1 || height < 1) return VLP_SAVEFIG_BAD_SIZE;
  if (width > f.info.max_size || height > f.info.max_size) return VLP_SAVEFIG_TOO_LARGE;

  vlp_place_canvases(fig);
  return status_of(f.write(fig, views, width, height, out));
}

/* render, with an allocation failure of the buffer reported as such. */
int picture(VlpFigure *fig, const VlpView *views, int format, int width, int height,
            std::string *out) {
  try {
    return render(fig, views, format, width, height, out);
  } catch (const std::bad_alloc &) {
    return VLP_SAVEFIG_NO_MEMORY;
  }
}

/* Whether text is name (lower case ASCII) in any case, whatever the locale. */
bool same_letters(const char *text, const char *name) {
  for (; *name; text++, name++) {
    const char c = *text >= 'A' && *text <= 'Z' ? static_cast<char>(*text - 'A' + 'a') : *text;
    if (c != *name) return false;
  }
  return *text == '\0';
}

/* Writes to the FILE given as closure; errno tells why when it fails. */
int write_file(void *closure, const unsigned char *data, size_t length) {
  FILE *f = static_cast<FILE *>(closure);
  return length == 0 || std::fwrite(data, 1, length, f) == length ? 0 : -1;
}

}  // namespace

extern "C" {

const VlpFormatInfo *vlp_format_info(int format) {
  return format >= 0 && format < kFormatCount ? &kFormats[format].info : nullptr;
}

int vlp_format_named(const char *name) {
  for (int format = 0; format < kFormatCount; format++)
    if (same_letters(name, kFormats[format].info.name)) return format;
  return VLP_FORMAT_UNKNOWN;
}

int vlp_format_of_name(const char *filename) {
  const char *dot = std::strrchr(filename, '.');
  const char *slash = std::strrchr(filename, '/');
  if (!dot || (slash && slash > dot)) return VLP_FORMAT_UNKNOWN;
  return vlp_format_named(dot + 1);
}

int vlp_savefig_stream(VlpFigure *fig, int format, int width, int height, VlpWriteFunc write,
                       void *closure) {
  std::string bytes;
  const int status = picture(fig, nullptr, format, width, height, &bytes);
  if (status != VLP_SAVEFIG_OK) return status;
  const unsigned char *data = reinterpret_cast<const unsigned char *>(bytes.data());
  return write(closure, data, bytes.size()) == 0 ? VLP_SAVEFIG_OK : VLP_SAVEFIG_WRITE_ERROR;
}

int vlp_savefig_format(VlpFigure *fig, const char *filename, int format, int width, int height) {
  return vlp_savefig_view(fig, filename, format, width, height, nullptr);
}

int vlp_savefig(VlpFigure *fig, const char *filename, int width, int height) {
  return vlp_savefig_format(fig, filename, vlp_format_of_name(filename), width, height);
}

}  // extern "C"

int vlp_savefig_view(VlpFigure *fig, const char *filename, int format, int width, int height,
                     const VlpView *views) {
  // The picture first, so that a picture that cannot be made creates no file.
  std::string bytes;
  const int status = picture(fig, views, format, width, height, &bytes);
  if (status != VLP_SAVEFIG_OK) return status;
  FILE *f = std::fopen(filename, "wb");
  if (!f) return VLP_SAVEFIG_WRITE_ERROR;
  const unsigned char *data = reinterpret_cast<const unsigned char *>(bytes.data());
  int failed = write_file(f, data, bytes.size());
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
