/* Figures leaving the process: savefig to paths and binary file objects,
 * the PNG form that notebooks show, and a window that Ctrl-C closes. */
#include "binding.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace {

const char kSupported[] = "png, svg, pdf";

/* The format named by a str such as "png" or "PDF", or VLP_FORMAT_UNKNOWN
 * with ValueError set. */
int format_named(PyObject *name) {
  if (!PyUnicode_Check(name)) {
    PyErr_Format(PyExc_TypeError, "format must be a str or None, not %.100s", Py_TYPE(name)->tp_name);
    return VLP_FORMAT_UNKNOWN;
  }
  const char *text = PyUnicode_AsUTF8(name);
  if (!text) return VLP_FORMAT_UNKNOWN;
  // The rule for extensions serves names too: "png" reads as ".png".
  const std::string as_name = std::string(".") + text;
  const int format = std::strchr(text, '.') || std::strchr(text, '/')
                         ? VLP_FORMAT_UNKNOWN
                         : vlp_format_of_name(as_name.c_str());
  if (format == VLP_FORMAT_UNKNOWN)
    PyErr_Format(PyExc_ValueError, "unknown format '%s': supported formats are %s", text, kSupported);
  return format;
}

/* Sets the exception for a status other than VLP_SAVEFIG_OK, with path (may
 * be null) naming the file. Returns -1. */
int raise_status(int status, int width, int height, PyObject *path, const char *shown) {
  switch (status) {
    case VLP_SAVEFIG_BAD_EXTENSION:
      PyErr_Format(PyExc_ValueError, "cannot tell the format of '%s': use .png, .svg or .pdf", shown);
      break;
    case VLP_SAVEFIG_BAD_SIZE:
      PyErr_Format(PyExc_ValueError, "width and height must be at least 1, got %d x %d", width, height);
      break;
    case VLP_SAVEFIG_TOO_LARGE:
      PyErr_Format(PyExc_ValueError,
                   "a PNG is at most %d pixels wide and high (cairo's limit), got %d x %d",
                   VLP_PNG_MAX_SIZE, width, height);
      break;
    case VLP_SAVEFIG_NO_MEMORY:
      PyErr_NoMemory();
      break;
    default:
      if (PyErr_Occurred()) break;  // raised by the file object's write
      if (path && errno != 0) {
        PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, path);
      } else {
        PyErr_Format(PyExc_OSError, "cannot write '%s'", shown);
      }
  }
  return -1;
}

/* Hands the bytes to file.write until all are taken. */
int write_to_object(void *closure, const unsigned char *data, unsigned int length) {
  PyObject *file = static_cast<PyObject *>(closure);
  unsigned int done = 0;
  do {
    PyObject *chunk = PyBytes_FromStringAndSize(reinterpret_cast<const char *>(data) + done,
                                                static_cast<Py_ssize_t>(length - done));
    if (!chunk) return -1;
    PyObject *n = PyObject_CallMethod(file, "write", "O", chunk);
    Py_DECREF(chunk);
    if (!n) return -1;
    // A raw stream may take fewer bytes; None (nothing taken yet) or a count.
    const long taken = n == Py_None ? 0 : PyLong_AsLong(n);
    Py_DECREF(n);
    if (taken < 0 || PyErr_Occurred()) {
      if (!PyErr_Occurred())
        PyErr_SetString(PyExc_OSError, "the file object's write returned a negative count");
      return -1;
    }
    done += static_cast<unsigned int>(taken);
    if (taken == 0 && done < length) {
      PyErr_SetString(PyExc_OSError, "the file object took no bytes");
      return -1;
    }
  } while (done < length);
  return 0;
}

int append_to_bytes(void *closure, const unsigned char *data, unsigned int length) {
  PyObject **out = static_cast<PyObject **>(closure);
  *out = PyBytes_FromStringAndSize(reinterpret_cast<const char *>(data), length);
  return *out ? 0 : -1;
}

/* The format for a path: the one given, which must agree with a known
 * extension, or the extension's. VLP_FORMAT_UNKNOWN with the exception set
 * when neither tells it. */
int format_for_path(const char *name, const char *shown, PyObject *format) {
  const int by_name = vlp_format_of_name(name);
  if (format == Py_None) {
    if (by_name == VLP_FORMAT_UNKNOWN)
      PyErr_Format(PyExc_ValueError, "cannot tell the format of '%s': use .png, .svg or .pdf", shown);
    return by_name;
  }
  const int given = format_named(format);
  if (given != VLP_FORMAT_UNKNOWN && by_name != VLP_FORMAT_UNKNOWN && given != by_name) {
    PyErr_Format(PyExc_ValueError, "format '%U' does not match the extension of '%s'", format, shown);
    return VLP_FORMAT_UNKNOWN;
  }
  return given;
}

int save_to_path(VlpFigure *fig, PyObject *path, int width, int height, PyObject *format) {
  PyObject *encoded = nullptr;  // bytes for the C library
  if (!PyUnicode_FSConverter(path, &encoded)) return -1;
  PyObject *decoded = nullptr;  // str for the messages and OSError's filename
  if (!PyUnicode_FSDecoder(path, &decoded)) {
    Py_DECREF(encoded);
    return -1;
  }
  const char *name = PyBytes_AS_STRING(encoded);
  const char *shown = PyUnicode_AsUTF8(decoded);
  int result = -1;
  const int chosen = shown ? format_for_path(name, shown, format) : VLP_FORMAT_UNKNOWN;
  // Converting the path ran Python code (__fspath__), which may have changed the figure.
  if (chosen != VLP_FORMAT_UNKNOWN && velta_figure_drawable(fig) == 0) {
    errno = 0;
    const int status = vlp_savefig_format(fig, name, chosen, width, height);
    result = status == VLP_SAVEFIG_OK ? 0 : raise_status(status, width, height, decoded, shown);
  }
  Py_DECREF(encoded);
  Py_DECREF(decoded);
  return result;
}

bool is_path(PyObject *target) {
  return PyUnicode_Check(target) || PyBytes_Check(target) ||
         PyObject_HasAttrString(reinterpret_cast<PyObject *>(Py_TYPE(target)), "__fspath__");
}

int save_to_object(VlpFigure *fig, PyObject *file, int width, int height, PyObject *format) {
  const int chosen = format == Py_None ? VLP_FORMAT_PNG : format_named(format);
  // Looking up file.write ran Python code, which may have changed the figure.
  if (chosen == VLP_FORMAT_UNKNOWN || velta_figure_drawable(fig) < 0) return -1;
  const int status = vlp_savefig_stream(fig, chosen, width, height, write_to_object, file);
  return status == VLP_SAVEFIG_OK ? 0 : raise_status(status, width, height, nullptr, "the file object");
}

/* Polled by the window while it is shown: a raising signal handler ends it. */
int signal_raised(void *) { return PyErr_CheckSignals() < 0; }

}  // namespace

PyObject *velta_figure_savefig(VlpFigure *fig, PyObject *target, int width, int height,
                               PyObject *format) {
  if (velta_figure_drawable(fig) < 0) return nullptr;
  int done;
  if (is_path(target)) {
    done = save_to_path(fig, target, width, height, format);
  } else if (PyObject_HasAttrString(target, "write")) {
    done = save_to_object(fig, target, width, height, format);
  } else {
    PyErr_Format(PyExc_TypeError,
                 "savefig needs a path (str, bytes or os.PathLike) or a binary file object, not %.100s",
                 Py_TYPE(target)->tp_name);
    done = -1;
  }
  if (done < 0) return nullptr;
  Py_RETURN_NONE;
}

int velta_savefig(VlpFigure *fig, const char *filename, int width, int height) {
  if (velta_figure_drawable(fig) < 0) return -1;
  PyObject *path = PyUnicode_DecodeFSDefault(filename);
  if (!path) return -1;
  const int done = save_to_path(fig, path, width, height, Py_None);
  Py_DECREF(path);
  return done;
}

PyObject *velta_figure_png(VlpFigure *fig) {
  if (velta_figure_drawable(fig) < 0) return nullptr;
  PyObject *bytes = nullptr;
  const int status = vlp_savefig_stream(fig, VLP_FORMAT_PNG, 800, 600, append_to_bytes, &bytes);
  if (status == VLP_SAVEFIG_OK) return bytes;
  Py_XDECREF(bytes);
  raise_status(status, 800, 600, nullptr, "the notebook's picture");
  return nullptr;
}

int velta_show(VlpFigure *fig) {
  if (velta_figure_drawable(fig) < 0) return -1;
  const int shown = vlp_show_polled(fig, signal_raised, nullptr, 50);
  if (shown < 0) {
    PyErr_SetString(PyExc_RuntimeError, "cannot show the figure: no display could be opened");
    return -1;
  }
  if (shown == 2) {
    PyErr_SetString(PyExc_RuntimeError, "the display was lost while the figure was shown");
    return -1;
  }
  return shown == 0 ? 0 : -1;  // 1: interrupted, the handler's exception set
}
