"""PDF417 and MicroPDF417 barcodes as PNG or SVG files, from Python.

    import quillon
    open("hello.png", "wb").write(quillon.png("Hello", ErrorCorrectionLevel=4))
    small = quillon.png("Lot 42", micro=True, Y2XRatio=2)  # MicroPDF417 (Symbology=1)
    quillon.measure(b"\\x00\\x01 any bytes")   # {'rows': ..., 'columns': ..., 'width': ..., 'height': ...}

    symbols = quillon.macro_png(open("invoice.pdf", "rb").read())  # a Macro PDF417 set

    barcode = quillon.Barcode(Columns=6, BarColor="#000080")
    for text in texts:
        barcode.data = text
        files.append(barcode.png())

Data given as ``bytes`` is carried byte for byte, as ``str`` as its UTF-8 bytes (with ECI 26,
which names UTF-8, when it is not ASCII alone, unless Eci is set). Properties
are the component's (names in any case): ints, floats, bools and strings are converted as a
script's values are; colours are the component's numbers (0x00BBGGRR) or "#RRGGBB" strings.
Unless Width or Height is set, the picture is the symbol and a quiet zone of 2 modules.
``micro=True`` is Symbology=1, set before the other properties. An int that the C call cannot
take is refused (BadValueError) with the value given, never wrapped around.

What is done, but not quite as asked, is a ``quillon.QuillonWarning``; failures raise
``quillon.Error`` subclasses that carry the property, the value and the reason.
"""

from __future__ import annotations

import ctypes
import threading
import warnings
from typing import Any, Dict, List, Optional, Union

from . import _library
from ._library import lib

__all__ = ["Barcode", "png", "svg", "measure", "macro_png", "version", "Error", "UnknownPropertyError",
           "BadValueError", "RefusedError", "DoesNotFitError", "TooLargeError", "InternalError",
           "QuillonWarning"]

Data = Union[bytes, bytearray, memoryview, str]


class QuillonWarning(UserWarning):
    """A value ignored, a character replaced, a symbol cut off by the picture's size."""


class Error(Exception):
    """A failure of the library: `property` and `value` name the setting (None for a
    picture or measurement), `reason` says why."""

    def __init__(self, reason: str, property: Optional[str] = None, value: Any = None):
        super().__init__(reason)
        self.reason = reason
        self.property = property
        self.value = value


class UnknownPropertyError(Error, AttributeError):
    """No property of that name."""


class BadValueError(Error, ValueError):
    """The value cannot be converted to the property's type."""


class RefusedError(Error, ValueError):
    """The component refused the value or the settings."""


class DoesNotFitError(Error):
    """The data needs more than one symbol holds."""


class TooLargeError(Error):
    """The picture is above the pixel limit or what memory allows."""


class InternalError(Error):
    """The component or its runtime failed."""


_ERRORS = {1: UnknownPropertyError, 2: BadValueError, 3: RefusedError, 4: DoesNotFitError,
           5: TooLargeError}


def version() -> str:
    """The version of the C library loaded."""
    return lib.quillon_version().decode()


def _c_integer(value: int, ctype, name: str) -> int:
    """`value`, which is handed to a C parameter of `ctype`; refused as a BadValueError naming
    the value given when that cannot hold it, which ctypes would wrap around silently."""
    if not isinstance(value, int):
        raise TypeError(f"{name} is a whole number, not a {type(value).__name__}")
    bits = 8 * ctypes.sizeof(ctype)
    if not -(1 << (bits - 1)) <= value < 1 << (bits - 1):
        raise BadValueError(f"{name}={value}: '{value}' is out of range for a {bits}-bit integer",
                            name, value)
    return value


_buffers = threading.local()


def _png_buffer(size: int = 0) -> ctypes.Array:
    """The calling thread's buffer for PNG files, of at least `size` bytes."""
    try:
        buffer = _buffers.png
    except AttributeError:
        buffer = None
    if buffer is None or len(buffer) < size:
        buffer = ctypes.create_string_buffer(max(size, 1 << 16))
        _buffers.png = buffer
    return buffer


def _raw(data: Data):
    """The bytes of `data` and the library's mode for them."""
    if isinstance(data, str):
        return data.encode(), _library.DATA_UTF8
    if isinstance(data, (bytes, bytearray, memoryview)):
        return bytes(data), _library.DATA_BYTES
    raise TypeError(f"data is bytes or str, not {type(data).__name__}")


# What one picture takes is written as functions of the library's handle, shared by Barcode and
# by png(), which makes no Barcode: quillon.png costs little more than the C calls it makes.
# Each call returns a status; one that succeeds may still have warned, which one more call
# tells, so every call is followed by `if status or _warning_count(handle)`.
_set_n = lib.quillon_set_n
_set_double = lib.quillon_set_double
_set_data = lib.quillon_set_data
_png_into = lib.quillon_png_into
_warning_count = lib.quillon_warning_count


def _report(handle, status: int, property: Optional[str] = None, value: Any = None) -> None:
    """The last call's warnings as QuillonWarnings, then its failure as an Error."""
    for i in range(lib.quillon_warning_count(handle)):
        warnings.warn(lib.quillon_warning(handle, i).decode("utf-8", "replace"),
                      QuillonWarning, stacklevel=4)
    if status != _library.OK:
        reason = lib.quillon_message(handle).decode("utf-8", "replace")
        raise _ERRORS.get(status, InternalError)(reason, property, value)


def _check(handle, status: int, property: Optional[str] = None, value: Any = None) -> None:
    if status or _warning_count(handle):
        _report(handle, status, property, value)


def _open():
    """A new handle of the library; freed by the caller."""
    handle = lib.quillon_create()
    if not handle:
        raise MemoryError("cannot create a barcode object")
    problem = lib.quillon_message(handle)
    if problem:
        lib.quillon_free(handle)
        raise InternalError(problem.decode("utf-8", "replace"))
    return handle


def _put_data(handle, value: Data) -> None:
    raw, mode = _raw(value)
    status = _set_data(handle, raw, len(raw), mode)
    if status or _warning_count(handle):
        _report(handle, status, "Data", value)


def _put(handle, name: str, value: Any) -> None:
    """Sets a property by name, as a script sets it."""
    if len(name) == 4 and name.lower() == "data":
        _put_data(handle, value)
        return
    kind = type(value)
    if kind is float:
        status = _set_double(handle, name.encode(), value)
    else:
        if kind is bool:
            text = b"True" if value else b"False"
        elif isinstance(value, int):
            # As its digits, whatever its size: the component converts them as a script's
            # number, and refuses one too large for the property's type with its digits.
            text = b"%d" % value
        elif isinstance(value, float):
            text = float.__repr__(value).encode()
        elif isinstance(value, str):
            text = value.encode()
        else:
            raise TypeError(f"{name}: a {type(value).__name__} is no property value "
                            "(int, float, bool or str)")
        status = _set_n(handle, name.encode(), text, len(text))
    if status or _warning_count(handle):
        _report(handle, status, name, value)


def _configure(handle, data: Optional[Data], fit: bool, quiet_zone: Optional[int],
               max_pixels: Optional[int], compress: bool, micro: bool,
               properties: Dict[str, Any], values: Optional[Dict[str, Any]]) -> None:
    """Sets what Barcode() and the module's functions take, each value kept in `values`."""
    if fit:  # else the library's: sized only where Width or Height is not set
        _check(handle, lib.quillon_set_fit(handle, 1), "fit", fit)
    if quiet_zone is not None:  # else the library's, 2 modules
        modules = _c_integer(quiet_zone, ctypes.c_int, "quiet_zone")
        _check(handle, lib.quillon_set_quiet_zone(handle, modules), "quiet_zone", quiet_zone)
    if max_pixels is not None:  # else the library's, 16 Mpixels
        pixels = _c_integer(max_pixels, ctypes.c_longlong, "max_pixels")
        _check(handle, lib.quillon_set_max_pixels(handle, pixels), "max_pixels", max_pixels)
    if compress:  # else the component's stored PNG
        _check(handle, lib.quillon_set_compression(handle, 1), "compress", compress)
    if micro:
        _put(handle, "Symbology", 1)
    for name, value in properties.items():
        _put(handle, name, value)
        if values is not None:
            values[name.lower()] = value
    if data is not None:
        _put_data(handle, data)
        if values is not None:
            values["data"] = data


def _png(handle) -> bytes:
    # Into a buffer the thread keeps, grown when a picture needs more: the library keeps the
    # picture it could not hand over for the call that can take it.
    buffer = _png_buffer()
    size = ctypes.c_size_t(0)
    status = _png_into(handle, buffer, len(buffer), ctypes.byref(size))
    if status == _library.BUFFER_TOO_SMALL:
        buffer = _png_buffer(size.value)
        status = _png_into(handle, buffer, len(buffer), ctypes.byref(size))
    if status or _warning_count(handle):
        _report(handle, status)
    return ctypes.string_at(buffer, size.value)


class Barcode:
    """A barcode object for repeated use: set properties as attributes (any case), or as
    keywords; `data` takes bytes or str. `fit` sizes the picture to the symbol and its
    `quiet_zone` even when Width or Height is set; `max_pixels` refuses larger pictures;
    `compress` makes the PNGs compressed files of the same pixels, many times smaller than the
    component's own; `micro` draws MicroPDF417 (Symbology=1) unless the properties set
    Symbology."""

    def __init__(self, data: Optional[Data] = None, *, fit: bool = False,
                 quiet_zone: Optional[int] = None, max_pixels: Optional[int] = None,
                 compress: bool = False, micro: bool = False, **properties: Any):
        values: Dict[str, Any] = {}
        self.__dict__.update(_handle=_open(), _values=values)
        _configure(self._handle, data, fit, quiet_zone, max_pixels, compress, micro, properties,
                   values)

    def __del__(self) -> None:
        handle = self.__dict__.get("_handle")
        if handle:
            lib.quillon_free(handle)
            object.__setattr__(self, "_handle", None)

    def _call(self, status: int, property: Optional[str] = None, value: Any = None) -> None:
        _check(self._handle, status, property, value)

    def set(self, name: str, value: Any) -> None:
        """Sets a property by name, as a script sets it."""
        _put(self._handle, name, value)
        self._values[name.lower()] = value

    @property
    def data(self) -> Optional[Data]:
        """The data last set: bytes are carried byte for byte, str as its UTF-8 bytes."""
        return self._values.get("data")

    @data.setter
    def data(self, value: Data) -> None:
        _put_data(self._handle, value)
        self._values["data"] = value

    def __setattr__(self, name: str, value: Any) -> None:
        if name.startswith("_") or name == "data":
            object.__setattr__(self, name, value)
        else:
            self.set(name, value)

    def __getattr__(self, name: str) -> Any:
        # Only for names not found otherwise: the properties set so far, in any case.
        values = self.__dict__.get("_values", {})
        if name.lower() in values:
            return values[name.lower()]
        raise AttributeError(f"{name} has not been set on this Barcode")

    def png(self) -> bytes:
        """The PNG file."""
        return _png(self._handle)

    def svg(self) -> str:
        """The SVG file."""
        pointer = ctypes.c_void_p()
        size = ctypes.c_size_t(0)
        status = lib.quillon_svg(self._handle, ctypes.byref(pointer), ctypes.byref(size))
        try:
            self._call(status)
            return ctypes.string_at(pointer, size.value).decode()
        finally:
            lib.quillon_free_buffer(pointer)

    def measure(self) -> Dict[str, int]:
        """The symbol's rows, columns, width and height in pixels (the symbol's own size)."""
        figures = _library.Measurement()
        self._call(lib.quillon_measure(self._handle, ctypes.byref(figures)))
        return {name: getattr(figures, name) for name, _ in _library.Measurement._fields_}

    def macro_png(self, data: Optional[Data] = None, segments: Optional[int] = None) -> List[bytes]:
        """The PNG files of a Macro PDF417 set that carries `data` (else the data set), split
        over `segments` symbols, or the fewest that fit the other settings; a reader that
        joins them gets the data back. The data may be longer than one symbol holds, up to
        65,536 bytes; the file ID comes from it, so the same call gives the same files."""
        if data is None:
            data = self.data
        if data is None:
            raise TypeError("macro_png needs data")
        raw, mode = _raw(data)
        count = (_library.MACRO_AUTO if segments is None
                 else _c_integer(segments, ctypes.c_int, "segments"))
        pointer = ctypes.POINTER(_library.PngSet)()
        status = lib.quillon_macro_png(self._handle, raw, len(raw), mode, count,
                                       ctypes.byref(pointer))
        try:
            self._call(status)
            made = pointer.contents
            return [ctypes.string_at(made.pngs[i], made.sizes[i]) for i in range(made.count)]
        finally:
            lib.quillon_free_png_set(pointer)

    def to_pil(self):
        """The picture as a PIL image (needs Pillow)."""
        import io

        from PIL import Image

        return Image.open(io.BytesIO(self.png()))


def png(data: Optional[Data] = None, *, fit: bool = False, quiet_zone: Optional[int] = None,
        max_pixels: Optional[int] = None, compress: bool = False, micro: bool = False,
        **properties: Any) -> bytes:
    """The PNG file of `data` with the properties given (and fit, quiet_zone, max_pixels,
    compress, micro)."""
    handle = _open()
    try:
        _configure(handle, data, fit, quiet_zone, max_pixels, compress, micro, properties, None)
        return _png(handle)
    finally:
        lib.quillon_free(handle)


def svg(data: Optional[Data] = None, **properties: Any) -> str:
    """The SVG file of `data` with the properties given."""
    return Barcode(data, **properties).svg()


def macro_png(data: Data, segments: Optional[int] = None, **properties: Any) -> List[bytes]:
    """The PNG files of a Macro PDF417 set of `data` in `segments` symbols (None: the fewest
    that fit), with the properties given (and fit, quiet_zone, max_pixels, compress, micro)."""
    return Barcode(**properties).macro_png(data, segments)


def measure(data: Optional[Data] = None, **properties: Any) -> Dict[str, int]:
    """The symbol's rows, columns, width and height for `data` with the properties given."""
    return Barcode(data, **properties).measure()
