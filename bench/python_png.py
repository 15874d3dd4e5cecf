"""What the Python package's one call costs over the C API: quillon.png(data, **settings), which
makes a barcode object for the call, against a quillon_barcode kept from call to call doing
quillon_set_data and quillon_png_into (through ctypes, as the package calls the library), with
the same settings: 2-pixel modules and the data set's Mode. The data sets (a), (b) and (c) of
the C benchmarks, each call taking the other of two data. The kept object is timed twice: with
its settings made once, and putting them again before each picture (quillon_set_double,
quillon_set_n), as a fresh object must. The three take turns, a batch each; each one's median
batch is reported per call, in processor time, with quillon.png's difference from each.

    QUILLON_LIBRARY=BUILD/bin/libquillon.so PYTHONPATH=python python3 bench/python_png.py [REPS]
"""
import ctypes
import statistics
import sys
import time

import quillon
from quillon import _library

MODULE_CM = 2 * 2.54 / 96


def data_sets():
    """(a), (b) and (c) as bench/BenchCases.h makes them: name, two data, Mode."""
    sentence = b"The quick brown fox jumps over the lazy dog, 0123456789! "

    def ascii100(rotation):
        return bytes(sentence[(i + rotation) % len(sentence)] for i in range(100))

    def mixed1000(seed):
        out, state = bytearray(), seed
        while len(out) < 1000:
            state = (state * 1103515245 + 12345) % 2**32
            text, run = (state >> 16) % 3 != 0, 5 + (state >> 8) % 20
            for _ in range(run):
                if len(out) == 1000:
                    break
                state = (state * 1103515245 + 12345) % 2**32
                out.append(97 + (state >> 16) % 26 if text else (state >> 16) & 0xFF)
        return bytes(out)

    return [('(a) "12"', (b"12", b"34"), 0), ("(b) 100 ASCII", (ascii100(0), ascii100(1)), 1),
            ("(c) 1000 mixed", (mixed1000(12345), mixed1000(5)), 2)]


def batch(call, calls):
    start = time.thread_time()
    for i in range(calls):
        call(i)
    return (time.thread_time() - start) / calls


def main():
    repetitions = int(sys.argv[1]) if len(sys.argv) > 1 else 21
    lib = _library.lib
    buffer = ctypes.create_string_buffer(1 << 20)
    size = ctypes.c_size_t(0)
    print(f"{'case':16} {'quillon.png us':>15} {'kept C API us':>14} {'difference us':>14} "
          f"{'kept+settings us':>17} {'difference us':>14}")
    for name, data, mode in data_sets():
        kept = quillon.Barcode(NarrowBarWidth=MODULE_CM, Mode=mode)
        handle = kept._handle
        mode_text = b"%d" % mode

        def with_kept(i):
            lib.quillon_set_data(handle, data[i & 1], len(data[i & 1]), _library.DATA_BYTES)
            lib.quillon_png_into(handle, buffer, len(buffer), ctypes.byref(size))

        def with_kept_settings(i):
            lib.quillon_set_double(handle, b"NarrowBarWidth", MODULE_CM)
            lib.quillon_set_n(handle, b"Mode", mode_text, len(mode_text))
            with_kept(i)

        def with_png(i):
            quillon.png(data[i & 1], NarrowBarWidth=MODULE_CM, Mode=mode)

        calls = max(20, int(0.005 / max(batch(with_png, 20), 1e-7)))
        sides = {"png": with_png, "kept": with_kept, "settings": with_kept_settings}
        times = {side: [] for side in sides}
        for _ in range(repetitions):
            for side, call in sides.items():
                times[side].append(batch(call, calls))
        ours, kept_us, settings_us = (statistics.median(times[side]) * 1e6 for side in sides)
        print(f"{name:16} {ours:15.2f} {kept_us:14.2f} {ours - kept_us:14.2f} "
              f"{settings_us:17.2f} {ours - settings_us:14.2f}")


if __name__ == "__main__":
    main()
