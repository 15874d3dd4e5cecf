#!/usr/bin/env python3
"""MicroPDF417's tables, derived from what two independent encoders draw.

The public summaries of MicroPDF417 give its 34 sizes but not the row address patterns (RAPs)
nor where each size starts in their tables. Both are read here from the module matrices that
zint and bwip-js draw, and only where the two draw exactly the same symbol:

  derive_micropdf417_tables.py capture > render/micropdf417-peer-drawings.txt
      Runs the peers (zint's command line; bwip-js from tests/encoder/peer, `npm ci` there) and
      writes their drawings: for each column count, data of bytes 0x80..0xFF one byte longer at
      a time until zint needs a wider symbol or none holds it; every row count met is a size,
      and the longest data each holds is drawn by both peers with the columns forced. Writes
      nothing when the two drawings differ.
  derive_micropdf417_tables.py generate
      Derives the tables from that file and writes the two generated files below.
  derive_micropdf417_tables.py check
      Fails when the generated files are not what the drawings give (a test runs this).

What each number comes from:
- A row reads as left RAP, codewords (a centre RAP after the first of three data columns and
  after the second of four), right RAP, stop bar. The codewords are read with PDF417's cluster
  patterns (render/pdf417-cluster-patterns.txt), which also tell each row's cluster.
- Error-correction codewords per size: the symbols are Reed-Solomon code words over GF(929)
  whose generator has the roots 3, 3^2, ..., 3^k (as in PDF417); k is the number of those
  roots the symbol's polynomial vanishes at. The rest must be the data, filling the symbol
  exactly: its byte compaction decodes to the bytes drawn, with no pad codeword.
- The RAP tables: each row's RAP is the one after the previous row's, so consecutive rows give
  the order of each table; both must come out as one cycle of 52 patterns (left and right
  columns share one table, the centre column has its own).
- Their numbering: a row's cluster follows from its left RAP's number: numbers 1, 4, 7, ...
  give cluster 0, numbers 2, 5, 8, ... cluster 3, numbers 3, 6, 9, ... cluster 6. Going round
  the cycle the cluster advances at every step but one (52 is not a multiple of 3): that step
  is from number 52 to number 1.
  The centre table has no such mark; its number 1 is the pattern that makes the centre start
  equal the left and right starts in every size where those two are equal. (With it, every
  other size's centre start is the midpoint of its left and right starts, which is checked.)
"""
import json
import pathlib
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parents[1]
DRAWINGS = ROOT / "render/micropdf417-peer-drawings.txt"
CLUSTER_PATTERNS = ROOT / "render/pdf417-cluster-patterns.txt"
SIZE_TABLE = ROOT / "component/state/MicroPdf417SizeTable.h"
RAP_TABLE = ROOT / "render/RowAddressPatternTable.h"
BWIPJS_DIR = ROOT / "tests/encoder/peer"

ROW_MODULES = {1: 38, 2: 55, 3: 82, 4: 99}
RAP_MODULES = 10
PATTERN_MODULES = 17
RAPS = 52
MODULUS = 929


def capture_data(length):
    return bytes(0x80 + i * 37 % 128 for i in range(length))


def row_layout(columns):
    """('L', 'C', 'R' or 'cw', first module) for each part of a row."""
    centre_before = {3: 1, 4: 2}.get(columns)
    kinds = ["L"]
    for c in range(columns):
        kinds += ["C", "cw"] if c == centre_before else ["cw"]
    parts, x = [], 0
    for kind in kinds + ["R"]:
        parts.append((kind, x))
        x += PATTERN_MODULES if kind == "cw" else RAP_MODULES
    return parts


# --- capture -------------------------------------------------------------------------------

def zint_rows(data, columns):
    """zint's module matrix (rows of '0'/'1'), or None when it widened the symbol."""
    escaped = "".join(f"\\x{b:02X}" for b in data)
    out = subprocess.run(["zint", "-b", "84", "--binary", "--esc", "--dump", f"--cols={columns}",
                          "-d", escaped], capture_output=True, text=True, check=False)
    if out.returncode != 0 and not out.stdout:
        return None
    rows = []
    for line in out.stdout.splitlines():
        digits = line.replace(" ", "")
        if not digits:
            continue
        bits = "".join(f"{int(d, 16):04b}" for d in digits)
        # The dump pads a row to whole hexadecimal digits.
        if len(bits) - ROW_MODULES[columns] not in range(4):
            return None
        rows.append(bits[:ROW_MODULES[columns]])
    return rows


BWIPJS = r"""
const bwipjs = require("bwip-js");
const cases = JSON.parse(require("fs").readFileSync(0, "utf8"));
process.stdout.write(JSON.stringify(cases.map(c => {
  const r = bwipjs.raw("micropdf417", Buffer.from(c.hex, "hex").toString("latin1"),
                       {columns: c.columns, binarytext: true})[0];
  const rows = [];
  for (let y = 0; y * r.pixx < r.pixs.length; ++y)
    rows.push(r.pixs.slice(y * r.pixx, (y + 1) * r.pixx).join(""));
  return rows;
})));
"""


def bwipjs_rows(cases):
    request = json.dumps([{"hex": data.hex(), "columns": columns} for data, columns in cases])
    out = subprocess.run(["node", "-e", BWIPJS], input=request, capture_output=True, text=True,
                         cwd=BWIPJS_DIR, check=True)
    return json.loads(out.stdout)


def capture():
    zint_version = subprocess.run(["zint", "--version"], capture_output=True, text=True,
                                  check=True).stdout.split()[-1]
    bwipjs_version = json.loads((BWIPJS_DIR / "node_modules/bwip-js/package.json")
                                .read_text())["version"]
    longest = {}  # (columns, rows) -> bytes
    for columns in ROW_MODULES:
        length = 1
        while (rows := zint_rows(capture_data(length), columns)) is not None:
            longest[(columns, len(rows))] = length
            length += 1
    sizes = sorted(longest)
    cases = [(capture_data(longest[s]), s[0]) for s in sizes]
    out = []
    out.append(f"# MicroPDF417 symbols as zint {zint_version} (zint -b 84 --binary --dump "
              f"--cols=COLUMNS) and bwip-js {bwipjs_version}\n"
              "# (bwipjs.raw(\"micropdf417\", data, {columns: COLUMNS})) draw them: both drew "
              "exactly these modules.\n"
              "# Written by render/derive_micropdf417_tables.py capture. For each column count, "
              "the longest data of\n# bytes 0x80..0xFF that each row count zint chose holds.\n"
              "# Each symbol: 'symbol COLUMNS ROWS DATA-IN-HEX', then its rows, each its modules "
              "as hexadecimal\n# digits, the first module the highest bit, padded with 0 to "
              "whole digits.\n")
    for (data, columns), size, theirs in zip(cases, sizes, bwipjs_rows(cases)):
        ours = zint_rows(data, columns)
        if ours != theirs:
            raise SystemExit(f"zint and bwip-js draw {size} differently")
        out.append(f"symbol {columns} {len(ours)} {data.hex()}\n")
        for row in ours:
            padded = row + "0" * (-len(row) % 4)
            out.append("".join(f"{int(padded[i:i + 4], 2):X}" for i in range(0, len(padded), 4))
                       + "\n")
    sys.stdout.write("".join(out))


# --- derivation ----------------------------------------------------------------------------

def read_drawings(path):
    symbols = []
    for line in path.read_text(encoding="ascii").splitlines():
        if not line or line.startswith("#"):
            continue
        if line.startswith("symbol "):
            _, columns, rows, data = line.split()
            symbols.append({"columns": int(columns), "rows": int(rows),
                            "data": bytes.fromhex(data), "matrix": []})
        else:
            s = symbols[-1]
            bits = "".join(f"{int(d, 16):04b}" for d in line)
            s["matrix"].append(bits[:ROW_MODULES[s["columns"]]])
    return symbols


def cluster_lookup():
    values = [int(l, 16) for l in CLUSTER_PATTERNS.read_text(encoding="ascii").splitlines()
              if l and not l.startswith("#")]
    return {pattern: (index // MODULUS * 3, index % MODULUS)
            for index, pattern in enumerate(values)}


def read_symbol(symbol, patterns):
    """Each row's RAPs and cluster, and the codewords row by row."""
    rows, codewords = [], []
    for modules in symbol["matrix"]:
        if modules[-1] != "1":
            raise SystemExit(f"no stop bar in {symbol['columns']} x {symbol['rows']}")
        row = {"clusters": set()}
        for kind, x in row_layout(symbol["columns"]):
            if kind == "cw":
                cluster, value = patterns[int(modules[x:x + PATTERN_MODULES], 2)]
                row["clusters"].add(cluster)
                codewords.append(value)
            else:
                row[kind] = modules[x:x + RAP_MODULES]
        if len(row["clusters"]) != 1:
            raise SystemExit("a row mixes clusters")
        row["cluster"] = row["clusters"].pop()
        rows.append(row)
    for above, below in zip(rows, rows[1:]):
        if below["cluster"] != (above["cluster"] + 3) % 9:
            raise SystemExit("the rows' clusters do not follow each other")
    return rows, codewords


def ecc_codewords(codewords):
    """How many of 3, 3^2, ... are roots of the symbol's polynomial, last codeword lowest."""
    k, root = 0, 1
    while True:
        root = root * 3 % MODULUS
        value = 0
        for c in codewords:
            value = (value * root + c) % MODULUS
        if value != 0:
            return k
        k += 1


def check_byte_data(data_codewords, data):
    """The data codewords are one byte compaction segment of the data, without padding."""
    latch = 924 if len(data) % 6 == 0 else 901
    expected = [latch]
    for i in range(0, len(data) - len(data) % 6, 6):
        value = int.from_bytes(data[i:i + 6], "big")
        expected += [value // 900 ** p % 900 for p in range(4, -1, -1)]
    expected += list(data[len(data) - len(data) % 6:])
    return data_codewords == expected


def cycle(successors):
    """The 52 patterns in table order from any of them; fails unless they form one cycle."""
    if len(successors) != RAPS or len(set(successors.values())) != RAPS:
        raise SystemExit(f"{len(successors)} patterns with a successor, not {RAPS}")
    order = [next(iter(successors))]
    while successors[order[-1]] != order[0]:
        order.append(successors[order[-1]])
    if len(order) != RAPS:
        raise SystemExit("the patterns form more than one cycle")
    return order


def derive(symbols):
    patterns = cluster_lookup()
    sizes, successors, cluster_of = [], {"LR": {}, "C": {}}, {}
    for symbol in symbols:
        rows, codewords = read_symbol(symbol, patterns)
        if len(rows) != symbol["rows"]:
            raise SystemExit("row count")
        k = ecc_codewords(codewords)
        if not check_byte_data(codewords[:len(codewords) - k], symbol["data"]):
            raise SystemExit(f"{symbol['columns']} x {symbol['rows']}: {k} error-correction "
                             "codewords leave no exact byte compaction of the data")
        for kind, table in (("L", "LR"), ("R", "LR"), ("C", "C")):
            if kind not in rows[0]:
                continue
            for above, below in zip(rows, rows[1:]):
                if successors[table].setdefault(above[kind], below[kind]) != below[kind]:
                    raise SystemExit("a pattern with two successors")
        for row in rows:
            if cluster_of.setdefault(row["L"], row["cluster"]) != row["cluster"]:
                raise SystemExit("a left RAP with two clusters")
        sizes.append({"columns": symbol["columns"], "rows": symbol["rows"], "ecc": k,
                      "first": rows[0]})

    # Left and right: number 1 follows the one step where the cluster does not advance.
    order = cycle(successors["LR"])
    clusters = [cluster_of.get(p) for p in order]
    holds = [i for i in range(RAPS)
             if None not in (clusters[i], clusters[(i + 1) % RAPS])
             and clusters[(i + 1) % RAPS] == clusters[i]]
    if len(holds) != 1:
        raise SystemExit("no single step where the cluster holds")
    left_right = order[holds[0] + 1:] + order[:holds[0] + 1]
    for number, pattern in enumerate(left_right, 1):
        if cluster_of.get(pattern, (number - 1) % 3 * 3) != (number - 1) % 3 * 3:
            raise SystemExit("the clusters do not follow the numbers")
    number = {p: n for n, p in enumerate(left_right, 1)}
    for s in sizes:
        s["left"], s["right"] = number[s["first"]["L"]], number[s["first"]["R"]]

    # Centre: number 1 makes the centre start equal equal left and right starts.
    order = cycle(successors["C"])
    wide = [s for s in sizes if s["columns"] >= 3]
    anchors = {(order.index(s["first"]["C"]) - s["left"] + 1) % RAPS
               for s in wide if s["left"] == s["right"]}
    if len(anchors) != 1:
        raise SystemExit("no single centre numbering")
    shift = anchors.pop()
    centre = order[shift:] + order[:shift]
    for s in sizes:
        s["centre"] = centre.index(s["first"]["C"]) + 1 if s["columns"] >= 3 else 0
        if s["columns"] >= 3 and (2 * s["centre"] - s["left"] - s["right"]) % RAPS != 0:
            raise SystemExit("a centre start is not the midpoint of left and right")
    return sizes, left_right, centre


# --- output --------------------------------------------------------------------------------

HEADER = ("// Generated by render/derive_micropdf417_tables.py from "
          "render/micropdf417-peer-drawings.txt.\n// Do not edit by hand.\n")


def size_table(sizes):
    lines = [HEADER,
             "// MicroPDF417's sizes, as render/derive_micropdf417_tables.py derives them: data "
             "columns, rows,\n// error-correction codewords, and the numbers (1 to 52) of the "
             "row address patterns that its\n// first row starts with in the left, centre "
             "(0: none) and right columns.\n",
             "#pragma once\n\n#include <cstdint>\n\n",
             "struct MicroPdf417Size {\n    std::int32_t columns;\n    std::int32_t rows;\n"
             "    std::int32_t eccCodewords;\n    std::int32_t leftRap;\n"
             "    std::int32_t centreRap;\n    std::int32_t rightRap;\n};\n\n",
             "// clang-format off\ninline constexpr MicroPdf417Size kMicroPdf417Sizes[] = {\n"]
    for s in sizes:
        lines.append(f"    {{{s['columns']}, {s['rows']}, {s['ecc']}, {s['left']}, "
                     f"{s['centre']}, {s['right']}}},\n")
    lines.append("};\n// clang-format on\n")
    return "".join(lines)


def rap_table(left_right, centre):
    def array(name, table):
        values = [f"0x{int(p, 2):03X}" for p in table]
        body = "".join("    " + ", ".join(values[i:i + 10]) + ",\n" for i in range(0, RAPS, 10))
        return f"inline constexpr std::uint16_t {name}[kRowAddressPatterns] = {{\n{body}}};\n"
    return "".join([
        HEADER,
        "// MicroPDF417's two tables of row address patterns, numbers 1 to 52 at 0 to 51: each "
        "pattern\n// its 10 modules, bit 9 the leftmost, 1 a bar. The left and right columns "
        "take theirs from the\n// first table, the centre column from the second.\n",
        "#pragma once\n\n#include <cstdint>\n\n",
        f"inline constexpr std::int32_t kRowAddressPatterns = {RAPS};\n\n",
        "// clang-format off\n",
        array("kSideRowAddressPatterns", left_right),
        array("kCentreRowAddressPatterns", centre),
        "// clang-format on\n"])


def generated():
    sizes, left_right, centre = derive(read_drawings(DRAWINGS))
    return {SIZE_TABLE: size_table(sizes), RAP_TABLE: rap_table(left_right, centre)}


def main():
    command = sys.argv[1] if len(sys.argv) == 2 else ""
    if command == "capture":
        capture()
    elif command == "generate":
        for path, text in generated().items():
            path.write_text(text, encoding="ascii")
    elif command == "check":
        stale = [str(p.relative_to(ROOT)) for p, text in generated().items()
                 if p.read_text(encoding="ascii") != text]
        if stale:
            raise SystemExit("not what render/micropdf417-peer-drawings.txt gives: "
                             + ", ".join(stale))
    else:
        raise SystemExit(__doc__)


if __name__ == "__main__":
    main()
