#!/usr/bin/env python3
"""Writes the settings column of png-identity.tsv: a fixed, varied set of property settings.

Run once to produce the table; the expected column was then filled in by the component as it
stood (see PngIdentityTest.cpp). The table, not this script, is the contract: rerunning it
with another Python may give other settings, and that is fine only together with new hashes
from a known-good build.
"""
import random

rng = random.Random(20261207)

# Data descriptors the test expands itself (see ExpandData in PngIdentityTest.cpp):
# @kind:length:seed, kinds digits, ascii, text (letters, punctuation, CR/LF/tab), latin1 (code
# points 1..255) and tilde (~dNNN escapes of random bytes, for HandleTilde).
def data():
    kind = rng.choice(["digits", "ascii", "text", "latin1", "tilde", "literal"])
    if kind == "literal":
        return rng.choice(["12", "Hello, World", "PDF417", "a", "", "~d065~d066", "~", "0000000000"])
    length = rng.choice([1, 2, 5, 13, 44, 100, 180, 400, 1000])
    return f"@{kind}:{length}:{rng.randrange(1 << 30)}"

def colour(pure):
    if pure:
        return None
    return rng.choice([0xFF0000, 0x00FF00, 0x0000FF, 0xC0C0C0, 0x808080, 0x123456, 0xFFFFFE,
                       0x010101, 0x7FFFFFFF, 0x01FFFFFF, 0x1000000, 0x800000, 12632256, 128])

def one():
    s = []
    d = data()
    if d != "12" or rng.random() < 0.5:
        s.append(f"Data={d}")
    if d.startswith("@tilde") or "~" in d:
        s.append("HandleTilde=-1")
    elif rng.random() < 0.1:
        s.append(f"HandleTilde={rng.choice([-1, 0, 1])}")
    if rng.random() < 0.7:
        s.append(f"Mode={rng.choice([0, 1, 2, 3])}")
    if rng.random() < 0.6:
        s.append(f"ErrorCorrectionLevel={rng.choice([0, 1, 2, 3, 4, 5, 6, 7, 8, 9])}")
    if rng.random() < 0.6:
        s.append(f"Columns={rng.choice([1, 2, 3, 4, 6, 10, 17, 30, 31])}")
    if rng.random() < 0.3:
        s.append(f"Rows={rng.choice([2, 5, 12, 30])}")
    if rng.random() < 0.3:
        s.append(f"TruncateSymbol={rng.choice([-1, 0, 1])}")
    if rng.random() < 0.4:
        s.append(f"Y2XRatio={rng.choice([0.5, 1, 2, 2.5, 3, 4.5, 5])}")
    if rng.random() < 0.8:
        w = rng.choice([1, 7, 60, 242, 300, 446, 640, 1000, 1500, 2400])
        h = rng.choice([1, 9, 24, 80, 200, 300, 600, 1100])
        s.append(f"Width={w}")
        s.append(f"Height={h}")
    if rng.random() < 0.5:
        s.append(f"NarrowBarWidth={rng.choice([0.01, 0.0265, 0.03, 0.05, 0.07, 0.1, 0.13, 0.2, 0.35])}")
    back = colour(rng.random() < 0.7)
    bar = colour(rng.random() < 0.7)
    if back is not None:
        s.append(f"BackColor={back}")
    if bar is not None:
        s.append(f"BarColor={bar}")
    if rng.random() < 0.7:
        s.append(f"Orientation={rng.choice([0, 1, 2, 3])}")
    if rng.random() < 0.5:
        s.append(f"BorderStyle={rng.choice([0, 1, 2])}")
    return s

rows = [[]]  # the defaults
# Every orientation with every border, on and off truncation, both capture depths.
for orientation in range(4):
    for border in range(3):
        rows.append([f"Data=@ascii:60:{orientation * 3 + border}", f"Orientation={orientation}",
                     f"BorderStyle={border}", f"TruncateSymbol={-1 if border == 1 else 0}",
                     "Width=400", "Height=400"] +
                    (["BarColor=128", "BackColor=12632256"] if orientation % 2 else []))
# Pictures whose scanlines pass 65,531 bytes (several stored blocks), at both depths.
rows.append(["Data=@text:400:1", "Width=1000", "Height=600"])
rows.append(["Data=@text:400:2", "Width=500", "Height=300", "BarColor=255"])
rows.append(["Data=@latin1:900:3", "Width=2400", "Height=1100", "Orientation=1",
             "BackColor=65280"])
# Pictures smaller than the symbol.
rows.append(["Data=@ascii:300:4", "Width=50", "Height=20"])
rows.append(["Data=@ascii:300:5", "Width=1", "Height=1", "BorderStyle=1"])
# Data that does not fit.
rows.append(["Data=@latin1:4000:6", "ErrorCorrectionLevel=8"])
while len(rows) < 240:
    rows.append(one())

for r in rows:
    print("\t".join(["-"] + r))
