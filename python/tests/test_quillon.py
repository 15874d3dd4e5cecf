"""The Python package against zxing-cpp's reading of its pictures and the quillon command's
files (QUILLON_CLI names it)."""

import io
import os
import subprocess
import warnings

import pytest
import zxingcpp
from PIL import Image

import quillon


def decoded(png: bytes) -> bytes:
    result = zxingcpp.read_barcode(Image.open(io.BytesIO(png)), formats=zxingcpp.BarcodeFormat.PDF417)
    assert result is not None, "no symbol found"
    return result.bytes


def cli(*args: str) -> bytes:
    return subprocess.run([os.environ["QUILLON_CLI"], *args, "-o", "-"], check=True,
                          capture_output=True).stdout


EVERY_BYTE = bytes(range(256))


@pytest.mark.parametrize("data, carried", [
    (b"hello", b"hello"),
    (EVERY_BYTE, EVERY_BYTE),                        # the zero byte and the C1 range too
    ("Καλημέρα, 中文 🎉", "Καλημέρα, 中文 🎉".encode()),  # str: its UTF-8 bytes
    (bytearray(b"~d065"), b"~d065"),                 # no tilde escape in bytes
])
def test_data_is_carried_exactly(data, carried):
    assert decoded(quillon.png(data, Columns=8)) == carried


def test_same_picture_as_the_command_line():
    assert quillon.png("hello") == cli("Data=hello")
    assert quillon.png(b"x", Columns=5, Orientation=1, BarColor=0x800000, fit=True) == \
        cli("--binary", "Data=x", "Columns=5", "Orientation=1", "BarColor=8388608", "--fit")
    assert quillon.svg("hello") == cli("Data=hello", "--format", "svg").decode()


# A row is 17 modules a column and 70 more (start, stop, row indicators), 36 truncated; the
# default module is 3 pixels, 0.2 cm is 8.
@pytest.mark.parametrize("data, properties, figures", [
    (None, {}, {"rows": 4, "columns": 3, "width": 363, "height": 36}),  # the default "12"
    ("hello", {"Columns": 6, "TruncateSymbol": True}, {"columns": 6, "width": 3 * (17 * 6 + 36)}),
    ("hello", {"columns": "6", "NarrowBarWidth": 0.2}, {"columns": 6, "width": 8 * (17 * 6 + 70)}),
])
def test_values_of_every_python_type(data, properties, figures):
    measured = quillon.measure(data, **properties)
    assert {k: measured[k] for k in figures} == figures


def test_barcode_object_attributes_in_any_case():
    barcode = quillon.Barcode("first", fit=True, quiet_zone=0)
    barcode.errorcorrectionlevel = 4
    assert barcode.ErrorCorrectionLevel == 4
    first = barcode.png()
    barcode.data = b"second"
    assert decoded(barcode.png()) == b"second"
    assert decoded(first) == b"first"
    image = barcode.to_pil()
    figures = barcode.measure()
    assert image.size == (figures["width"], figures["height"])
    with pytest.raises(AttributeError):
        barcode.Columns  # never set


def test_warnings_go_through_the_warnings_module():
    with pytest.warns(quillon.QuillonWarning, match="Columns=99 is outside the accepted range"):
        quillon.png("x", Columns=99)
    with pytest.warns(quillon.QuillonWarning, match="is cut off"):
        quillon.png("x", Width=100)
    with pytest.warns(quillon.QuillonWarning, match="Data is empty"):
        quillon.png(b"")
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        quillon.png("no warning")


@pytest.mark.parametrize("call, error, prop, value, reason", [
    (lambda: quillon.png("x", Colums=4), quillon.UnknownPropertyError, "Colums", 4,
     "did you mean 'Columns'?"),
    (lambda: quillon.png("x", Columns="four"), quillon.BadValueError, "Columns", "four",
     "is not a"),
    (lambda: quillon.png("x" * 5000), quillon.RefusedError, "Data", "x" * 5000,
     "Data holds at most 4999 bytes"),
    (lambda: quillon.png("x" * 2000, ErrorCorrectionLevel=8), quillon.DoesNotFitError, None,
     None, "does not fit"),
    (lambda: quillon.png("x", max_pixels=100), quillon.TooLargeError, None, None, "limit"),
])
def test_failures_carry_property_value_and_reason(call, error, prop, value, reason):
    with pytest.raises(error) as raised:
        call()
    assert isinstance(raised.value, quillon.Error)
    assert (raised.value.property, raised.value.value) == (prop, value)
    assert reason in raised.value.reason


def test_types_that_are_no_values_are_refused():
    with pytest.raises(TypeError):
        quillon.png("x", Columns=[6])
    with pytest.raises(TypeError):
        quillon.png(6)


def joined(pngs) -> bytes:
    """The set's data as a reader joins it: each symbol's bytes, in the order of the set."""
    return b"".join(decoded(png) for png in pngs)


SCATTERED = bytes((i * 7919 + i // 256) % 256 for i in range(3000))  # the zero byte too
GREEK = "Καλημέρα κόσμε, " * 120


@pytest.mark.parametrize("data, segments, properties, count", [
    (SCATTERED, None, {}, None),                             # auto: the fewest that fit
    (SCATTERED, 5, {}, 5),
    (GREEK, 4, {"OptimizeCompaction": True}, 4),             # str: UTF-8, cut between characters
    (b"Hello", 1, {}, 1),
], ids=["binary-auto", "binary-5", "utf8-4", "one"])
def test_macro_sets_join_into_the_data(data, segments, properties, count):
    pngs = quillon.macro_png(data, segments, **properties)
    carried = data.encode() if isinstance(data, str) else data
    assert joined(pngs) == carried
    if count is not None:
        assert len(pngs) == count
    else:
        with pytest.raises(quillon.DoesNotFitError):
            quillon.macro_png(data, len(pngs) - 1, **properties)


def test_macro_set_is_the_command_lines_and_leaves_the_barcode_as_it_was(tmp_path):
    barcode = quillon.Barcode("kept", Columns=6)
    before = barcode.png()
    pngs = barcode.macro_png(SCATTERED)
    assert barcode.png() == before
    (tmp_path / "input").write_bytes(SCATTERED)
    subprocess.run([os.environ["QUILLON_CLI"], "--macro", "auto", "Columns=6", "-i",
                    str(tmp_path / "input"), "-o", str(tmp_path / "seg-%d.png")], check=True)
    assert pngs == [(tmp_path / f"seg-{i}.png").read_bytes() for i in range(len(pngs))]


@pytest.mark.parametrize("data, segments, properties, error, reason", [
    (b"abc", 100, {}, quillon.RefusedError, "1 to 99 symbols"),
    (b"a" * 65537, None, {}, quillon.RefusedError, "carries at most 65536"),
    (b"abc", 4, {}, quillon.RefusedError, "needs at least as many"),
    (SCATTERED, 2, {}, quillon.DoesNotFitError, "does not fit in 2 symbols"),
    (SCATTERED[:1500], 1, {}, quillon.DoesNotFitError, "does not fit in 1 symbol"),
], ids=["too-many", "too-long", "too-few-bytes", "too-few-symbols", "one-too-few"])
def test_macro_set_refusals(data, segments, properties, error, reason):
    with pytest.raises(error) as raised:
        quillon.macro_png(data, segments, **properties)
    assert reason in raised.value.reason


def test_str_beyond_ascii_names_utf8():
    # zxing-cpp shows the text through the ECI; without one, as Latin-1.
    result = zxingcpp.read_barcode(Image.open(io.BytesIO(quillon.png("Καλημέρα"))))
    assert result.text == "Καλημέρα"
    assert quillon.png("ASCII") == cli("--binary", "Data=ASCII")


def test_compress_reaches_the_library():
    stored, compressed = quillon.png("compressed"), quillon.png("compressed", compress=True)
    assert len(compressed) * 4 < len(stored)
    assert list(Image.open(io.BytesIO(compressed)).getdata()) == \
        list(Image.open(io.BytesIO(stored)).getdata())
    assert decoded(compressed) == b"compressed"


def test_micro_is_symbology_1_as_the_command_lines_micro():
    assert quillon.png("LOT 4711", micro=True) == quillon.png("LOT 4711", Symbology=1)
    assert quillon.png("LOT 4711", micro=True) == cli("--micro", "Data=LOT 4711")
    assert quillon.measure("x", micro=True, Symbology=0) == quillon.measure("x")
    with pytest.warns(quillon.QuillonWarning, match="Columns=5 is ignored with Symbology=1"):
        quillon.png("x", micro=True, Columns=5)


# Integers beyond what the C call takes are refused with the value given, never wrapped
# around to another (2**64 + 300 would be 300).
@pytest.mark.parametrize("call, prop, value, reason", [
    (lambda: quillon.png("x", Width=2**64 + 300), "Width", 2**64 + 300,
     "'18446744073709551916' is out of range for a 16-bit integer"),
    (lambda: quillon.png("x", Width=2**63), "Width", 2**63, "'9223372036854775808' is out of"),
    (lambda: quillon.png("x", Height=-2**64), "Height", -2**64, "'-18446744073709551616' is"),
    (lambda: quillon.png("x", BarColor=2**64), "BarColor", 2**64, "for a 32-bit integer"),
    (lambda: quillon.png("x", quiet_zone=2**32 + 2), "quiet_zone", 2**32 + 2,
     "quiet_zone=4294967298: '4294967298' is out of range for a 32-bit integer"),
    (lambda: quillon.png("x", max_pixels=2**64), "max_pixels", 2**64,
     "'18446744073709551616' is out of range for a 64-bit integer"),
    (lambda: quillon.macro_png(b"abc", 2**32 + 1), "segments", 2**32 + 1,
     "'4294967297' is out of range for a 32-bit integer"),
], ids=["width-wrapped", "width-sign", "height-negative", "colour", "quiet-zone", "max-pixels",
        "segments"])
def test_integers_beyond_the_c_call_are_refused_as_given(call, prop, value, reason):
    with pytest.raises(quillon.BadValueError) as raised:
        call()
    assert (raised.value.property, raised.value.value) == (prop, value)
    assert reason in raised.value.reason
    assert "-9223372036854775808" not in raised.value.reason
