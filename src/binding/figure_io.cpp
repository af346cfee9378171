/* Figures leaving the process: savefig to paths and binary file objects,
 * the PNG form that notebooks show, and a window that Ctrl-C closes, with
 * the title and size the figure gives it. */
#include "binding.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace {

/* The formats' names joined by ", ", each behind prefix, the last behind
 * last instead when given: "png, svg, pdf", ".png, .svg or .pdf". */
std::string format_list(const char *prefix, const char *last) {
  std::string list;
  for (int f = 0; const VlpFormatInfo *info = vlp_format_info(f); f++) {
    if (f > 0) list += last && !vlp_format_info(f + 1) ? last : ", ";
    list += prefix;
    list += info->name;
  }
  return list;
}

/* ValueError for a file name whose extension names no format. Returns
 * VLP_FORMAT_UNKNOWN. */
int unknown_extension(const char *shown) {
  PyErr_Format(PyExc_ValueError, "cannot tell the format of '%s': use %s", shown,
               format_list(".", " or ").c_str());
  return VLP_FORMAT_UNKNOWN;
}

/* The format named by a str such as "png" or "PDF", or VLP_FORMAT_UNKNOWN
 * with the exception set. */
int format_named(PyObject *name) {
  if (!PyUnicode_Check(name)) {
    PyErr_Format(PyExc_TypeError, "format must be a str or None, not %.100s", Py_TYPE(name)->tp_name);
    return VLP_FORMAT_UNKNOWN;
  }
  Py_ssize_t size = 0;
  const char *text = PyUnicode_AsUTF8AndSize(name, &size);
  if (!text) return VLP_FORMAT_UNKNOWN;
  if (std::strlen(text) != static_cast<size_t>(size)) {
    PyErr_Format(PyExc_ValueError, "format must not contain a NUL character, got %R", name);
    return VLP_FORMAT_UNKNOWN;
  }
  const int format = vlp_format_named(text);
  if (format == VLP_FORMAT_UNKNOWN)
    PyErr_Format(PyExc_ValueError, "unknown format '%s': supported formats are %s", text,
                 format_list("", nullptr).c_str());
  return format;
}

/* Sets the exception for a status other than VLP_SAVEFIG_OK of a picture in
 * format, with path (may be null) naming the file. Returns -1. */
int raise_status(int status, int format, int width, int height, PyObject *path, const char *shown) {
  const VlpFormatInfo *info = vlp_format_info(format);
  switch (status) {
    case VLP_SAVEFIG_BAD_EXTENSION:
      unknown_extension(shown);
      break;
    case VLP_SAVEFIG_BAD_SIZE:
      PyErr_Format(PyExc_ValueError, "width and height must be at least 1, got %d x %d", width, height);
      break;
    case VLP_SAVEFIG_TOO_LARGE:
      PyErr_Format(PyExc_ValueError, "%s is at most %d %s wide and high (cairo's limit), got %d x %d",
                   info->noun, info->max_size, info->unit, width, height);
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

/* Hands the bytes to file.write until all are taken. A raw stream may take
 * fewer than it is offered and say how many (an int from 0 to the count
 * offered; None: none yet); the rest is then offered again, as a memoryview
 * of the same bytes. A write that takes none ends the save with OSError, as
 * does a count that is not an int or is out of that range. */
int write_to_object(void *closure, const unsigned char *data, size_t length) {
  PyObject *file = static_cast<PyObject *>(closure);
  PyObject *all = PyBytes_FromStringAndSize(reinterpret_cast<const char *>(data),
                                            static_cast<Py_ssize_t>(length));
  if (!all) return -1;
  const Py_ssize_t size = PyBytes_GET_SIZE(all);
  Py_ssize_t done = 0;
  int result = -1;
  while (true) {
    PyObject *rest = all;  // (borrowed while nothing is taken)
    if (done > 0) {
      PyObject *view = PyMemoryView_FromObject(all);
      rest = view ? PySequence_GetSlice(view, done, size) : nullptr;
      Py_XDECREF(view);
      if (!rest) break;
    }
    PyObject *n = PyObject_CallMethod(file, "write", "O", rest);
    if (rest != all) Py_DECREF(rest);
    if (!n) break;
    const Py_ssize_t offered = size - done;
    long long taken = 0;
    int overflow = 0;
    if (PyLong_Check(n)) {
      taken = PyLong_AsLongLongAndOverflow(n, &overflow);
    } else if (n != Py_None) {
      PyErr_Format(PyExc_OSError, "the file object's write returned %.100s, not an int", Py_TYPE(n)->tp_name);
    }
    if (!PyErr_Occurred() && (overflow || taken < 0 || taken > offered))
      PyErr_Format(PyExc_OSError, "the file object's write returned %R for %zd bytes offered", n, offered);
    Py_DECREF(n);
    if (PyErr_Occurred()) break;
    if (taken == 0) {
      PyErr_SetString(PyExc_OSError, "the file object took no bytes");
      break;
    }
    done += static_cast<Py_ssize_t>(taken);
    if (done == size) {
      result = 0;
      break;
    }
  }
  Py_DECREF(all);
  return result;
}

int append_to_bytes(void *closure, const unsigned char *data, size_t length) {
  PyObject **out = static_cast<PyObject **>(closure);
  *out = PyBytes_FromStringAndSize(reinterpret_cast<const char *>(data), static_cast<Py_ssize_t>(length));
  return *out ? 0 : -1;
}

/* The format for a path: the one given, which must agree with a known
 * extension, or the extension's. VLP_FORMAT_UNKNOWN with the exception set
 * when neither tells it. */
int format_for_path(const char *name, const char *shown, PyObject *format) {
  const int by_name = vlp_format_of_name(name);
  if (format == Py_None) {
    return by_name == VLP_FORMAT_UNKNOWN ? unknown_extension(shown) : by_name;
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
    result = status == VLP_SAVEFIG_OK ? 0 : raise_status(status, chosen, width, height, decoded, shown);
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
  return status == VLP_SAVEFIG_OK ? 0 : raise_status(status, chosen, width, height, nullptr, "the file object");
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

int velta_savefig(VlpFigure *fig, PyObject *filename, int width, int height) {
  if (velta_figure_drawable(fig) < 0) return -1;
  return save_to_path(fig, filename, width, height, Py_None);
}

PyObject *velta_figure_png(VlpFigure *fig) {
  if (velta_figure_drawable(fig) < 0) return nullptr;
  PyObject *bytes = nullptr;
  const int status = vlp_savefig_stream(fig, VLP_FORMAT_PNG, 800, 600, append_to_bytes, &bytes);
  if (status == VLP_SAVEFIG_OK) return bytes;
  Py_XDECREF(bytes);
  raise_status(status, VLP_FORMAT_PNG, 800, 600, nullptr, "the notebook's picture");
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

int velta_window_size(int width, int height) {
  const bool none = width == 0 && height == 0;
  if (none || (width >= 1 && height >= 1 && width <= VLP_WINDOW_MAX_SIZE && height <= VLP_WINDOW_MAX_SIZE))
    return 0;
  PyErr_Format(PyExc_ValueError,
               "a window is 1 to %d pixels wide and high (0 x 0: the default size), got %d x %d",
               VLP_WINDOW_MAX_SIZE, width, height);
  return -1;
}
