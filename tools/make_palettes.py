#!/usr/bin/env python3
"""Writes the perceptually uniform palettes into examples/palettes/.

Each file is an agl binary array file holding one palette in the form the
graph control's PaletteFileName reads: a one-dimensional C array of 1024
unsigned bytes, 256 entries of red, green, blue and alpha (alpha 255).

  viridis.agl, magma.agl, cividis.agl   sequential; the 256-entry tables of
      matplotlib's _cm_listed.py (viridis and magma by Stefan van der Walt
      and Nathaniel Smith, cividis by Jamie Nuñez, Christopher Anderton and
      Ryan Renslow), released under CC0 (public domain).
  bluewhitered.agl                      diverging, blue through white to red:
      ColorBrewer's 11-class RdBu scheme by Cynthia Brewer (colorbrewer2.org,
      Apache-style licence), reversed so that low values are blue, as
      matplotlib's _cm.py carries it, interpolated linearly to 256 entries.

The tables are read as data (with ast) from Debian's python3-matplotlib;
matplotlib itself is not imported. The generated files are committed, so
nothing in the build needs this script or the package.
Run from anywhere: python3 tools/make_palettes.py [MATPLOTLIB_DIR]
"""
import ast
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "examples", "palettes")
DEFAULT_SOURCE = "/usr/lib/python3/dist-packages/matplotlib"

MAGIC = 0x01160913
AGL_UCHAR = 4096
LANG_C = 1


def read_tables(path, names):
    """The literal values assigned to the given names in a Python file."""
    with open(path, encoding="utf-8") as f:
        tree = ast.parse(f.read(), path)
    found = {}
    for node in tree.body:
        if isinstance(node, ast.Assign) and len(node.targets) == 1:
            target = node.targets[0]
            if isinstance(target, ast.Name) and target.id in names:
                found[target.id] = ast.literal_eval(node.value)
    missing = [n for n in names if n not in found]
    if missing:
        sys.exit("make_palettes: %s lacks %s" % (path, ", ".join(missing)))
    return found


def to_byte(c):
    return max(0, min(255, int(round(c * 255.0))))


def interpolate(stops, count=256):
    """count colours evenly spaced along equally spaced colour stops."""
    out = []
    for i in range(count):
        x = i / (count - 1) * (len(stops) - 1)
        k = min(int(x), len(stops) - 2)
        f = x - k
        out.append(tuple(a + (b - a) * f for a, b in zip(stops[k], stops[k + 1])))
    return out


def palette_file(colours):
    if len(colours) != 256:
        raise ValueError("a palette has 256 entries, not %d" % len(colours))
    payload = bytearray()
    for r, g, b in colours:
        payload += bytes((to_byte(r), to_byte(g), to_byte(b), 255))
    head = struct.pack("<IBBB5x", MAGIC, LANG_C, AGL_UCHAR - 4096, 1)
    head += struct.pack("<i", len(payload)) + struct.pack("<i", 0)
    return head + bytes(payload)


def main():
    source = sys.argv[1] if len(sys.argv) > 1 else DEFAULT_SOURCE
    listed = read_tables(os.path.join(source, "_cm_listed.py"),
                         ["_viridis_data", "_magma_data", "_cividis_data"])
    brewer = read_tables(os.path.join(source, "_cm.py"), ["_RdBu_data"])
    palettes = {
        "viridis": listed["_viridis_data"],
        "magma": listed["_magma_data"],
        "cividis": listed["_cividis_data"],
        "bluewhitered": interpolate(list(reversed(brewer["_RdBu_data"]))),
    }
    os.makedirs(OUT, exist_ok=True)
    for name, colours in palettes.items():
        with open(os.path.join(OUT, name + ".agl"), "wb") as f:
            f.write(palette_file(colours))


if __name__ == "__main__":
    main()
