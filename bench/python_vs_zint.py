"""The Python package's call against zint's C library called from Python with ctypes (zint is
a peer, used only here): the same data, a PNG file of the same picture size (2-pixel modules,
rows 3 modules high, no quiet zone), for the data sets (a), (b) and (c) of quillon_bench.
zint writes its PNG to a file, which is read back; quillon returns it. The two take turns, a
batch each; each side's median batch is reported per call, in processor time.

    LD_LIBRARY_PATH=PREFIX/lib PYTHONPATH=... python3 bench/python_vs_zint.py [REPETITIONS]
"""
import ctypes
import ctypes.util
import os
import statistics
import sys
import tempfile
import time

import quillon


class ZintSymbol(ctypes.Structure):
    """The leading fields of zint 2.11's struct zint_symbol, which ZBarcode_Create allocates."""
    _fields_ = [("symbology", ctypes.c_int), ("height", ctypes.c_float),
                ("scale", ctypes.c_float), ("whitespace_width", ctypes.c_int),
                ("whitespace_height", ctypes.c_int), ("border_width", ctypes.c_int),
                ("output_options", ctypes.c_int), ("fgcolour", ctypes.c_char * 10),
                ("bgcolour", ctypes.c_char * 10), ("fgcolor", ctypes.c_char_p),
                ("bgcolor", ctypes.c_char_p), ("outfile", ctypes.c_char * 256),
                ("primary", ctypes.c_char * 128), ("option_1", ctypes.c_int),
                ("option_2", ctypes.c_int)]


BARCODE_PDF417 = 55
zint = ctypes.CDLL(ctypes.util.find_library("zint") or "libzint.so.2.11")
zint.ZBarcode_Create.restype = ctypes.POINTER(ZintSymbol)
zint.ZBarcode_Delete.argtypes = [ctypes.POINTER(ZintSymbol)]
zint.ZBarcode_Encode_and_Print.argtypes = [ctypes.POINTER(ZintSymbol), ctypes.c_char_p,
                                           ctypes.c_int, ctypes.c_int]


def zint_png(data: bytes, columns: int, path: bytes) -> bytes:
    symbol = zint.ZBarcode_Create()
    try:
        symbol.contents.symbology = BARCODE_PDF417
        symbol.contents.option_2 = columns
        symbol.contents.scale = 1.0  # 2 pixels a module
        symbol.contents.outfile = path
        if zint.ZBarcode_Encode_and_Print(symbol, data, len(data), 0) >= 5:
            raise RuntimeError("zint failed")
    finally:
        zint.ZBarcode_Delete(symbol)
    with open(path, "rb") as file:
        return file.read()


def cases():
    ascii100 = bytes(32 + (i * 7) % 95 for i in range(100))
    state, mixed = 1, bytearray()
    while len(mixed) < 1000:
        state = (state * 1103515245 + 12345) % 2**32
        kind = (state >> 16) % 3
        for _ in range(12):
            if len(mixed) == 1000:
                break
            state = (state * 1103515245 + 12345) % 2**32
            mixed.append([48 + (state >> 16) % 10, 97 + (state >> 16) % 26, (state >> 16) & 0xFF][kind])
    return [('(a) "12"', b"12", 400), ("(b) 100 ASCII", ascii100, 100),
            ("(c) 1000 mixed", bytes(mixed), 20)]


def picture_size(png: bytes) -> str:
    """Width x height from the PNG's header."""
    return f"{int.from_bytes(png[16:20], 'big')}x{int.from_bytes(png[20:24], 'big')}"


def batch(call, calls):
    start = time.thread_time()
    for _ in range(calls):
        call()
    return (time.thread_time() - start) / calls


def main():
    repetitions = int(sys.argv[1]) if len(sys.argv) > 1 else 15
    module_cm = 2 * 2.54 / 96
    folder = "/dev/shm" if os.path.isdir("/dev/shm") else tempfile.gettempdir()
    path = os.path.join(folder, f"zint-bench-{os.getpid()}.png").encode()
    print(f"{'case':16} {'quillon us':>12} {'zint us':>12} {'ratio':>7}  pictures (quillon, zint)")
    try:
        for name, data, calls in cases():
            barcode = quillon.Barcode(data, fit=True, quiet_zone=0, NarrowBarWidth=module_cm)
            ours = lambda: (setattr(barcode, "data", data), barcode.png())
            columns = barcode.measure()["columns"]
            theirs = lambda: zint_png(data, columns, path)
            times = {"ours": [], "theirs": []}
            for _ in range(repetitions):
                times["ours"].append(batch(ours, calls))
                times["theirs"].append(batch(theirs, calls))
            q = statistics.median(times["ours"]) * 1e6
            z = statistics.median(times["theirs"]) * 1e6
            sizes = f"{picture_size(ours()[1])}, {picture_size(theirs())}"
            print(f"{name:16} {q:12.1f} {z:12.1f} {z / q:6.2f}x  {sizes}")
    finally:
        if os.path.exists(path):
            os.remove(path)


if __name__ == "__main__":
    main()
