"""The C library under the package, loaded with ctypes, and its functions' signatures."""

from __future__ import annotations

import ctypes
import os
from importlib import metadata


class Measurement(ctypes.Structure):
    _fields_ = [("rows", ctypes.c_int), ("columns", ctypes.c_int),
                ("width", ctypes.c_int), ("height", ctypes.c_int)]


class PngSet(ctypes.Structure):
    _fields_ = [("count", ctypes.c_size_t),
                ("pngs", ctypes.POINTER(ctypes.POINTER(ctypes.c_ubyte))),
                ("sizes", ctypes.POINTER(ctypes.c_size_t))]


# quillon_status values.
OK = 0
BUFFER_TOO_SMALL = 7

# quillon_data_mode values.
DATA_BYTES = 0
DATA_UTF8 = 1
DATA_TEXT = 2

# quillon_macro_png's segments: the fewest symbols that fit.
MACRO_AUTO = 0


def _library_path() -> str:
    """QUILLON_LIBRARY if set; the library that cmake --install put beside this package; or
    libquillon.so.MAJOR from the dynamic loader's search path (LD_LIBRARY_PATH, the system's
    folders), MAJOR being this package's own."""
    given = os.environ.get("QUILLON_LIBRARY")
    if given:
        return given
    try:
        from . import _installed  # written by cmake --install only
    except ImportError:
        major = metadata.version("quillon").split(".")[0]
        return f"libquillon.so.{major}"
    return os.path.normpath(os.path.join(os.path.dirname(__file__), _installed.LIBRARY))


def _load() -> ctypes.CDLL:
    lib = ctypes.CDLL(_library_path())
    handle = ctypes.c_void_p
    status = ctypes.c_int
    text = ctypes.c_char_p
    size = ctypes.c_size_t
    signatures = {
        "quillon_version": (text, []),
        "quillon_create": (handle, []),
        "quillon_free": (None, [handle]),
        "quillon_set_n": (status, [handle, text, ctypes.c_void_p, size]),
        "quillon_set_double": (status, [handle, text, ctypes.c_double]),
        "quillon_set_data": (status, [handle, ctypes.c_void_p, size, ctypes.c_int]),
        "quillon_set_fit": (status, [handle, ctypes.c_int]),
        "quillon_set_quiet_zone": (status, [handle, ctypes.c_int]),
        "quillon_set_max_pixels": (status, [handle, ctypes.c_longlong]),
        "quillon_set_compression": (status, [handle, ctypes.c_int]),
        "quillon_png_into": (status, [handle, ctypes.c_void_p, size, ctypes.POINTER(size)]),
        "quillon_svg": (status, [handle, ctypes.POINTER(ctypes.c_void_p), ctypes.POINTER(size)]),
        "quillon_free_buffer": (None, [ctypes.c_void_p]),
        "quillon_measure": (status, [handle, ctypes.POINTER(Measurement)]),
        "quillon_macro_png": (status, [handle, ctypes.c_void_p, size, ctypes.c_int, ctypes.c_int,
                                       ctypes.POINTER(ctypes.POINTER(PngSet))]),
        "quillon_free_png_set": (None, [ctypes.POINTER(PngSet)]),
        "quillon_message": (text, [handle]),
        "quillon_warning_count": (size, [handle]),
        "quillon_warning": (text, [handle, size]),
    }
    for name, (restype, argtypes) in signatures.items():
        function = getattr(lib, name)
        function.restype = restype
        function.argtypes = argtypes
    return lib


lib = _load()
