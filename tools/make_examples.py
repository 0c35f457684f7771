#!/usr/bin/env python3
"""Writes the bundled example arrays into examples/.

wave.agl: a 64 x 48 single-precision C array of a smooth damped ripple,
in the agl binary format (normal header form, no trailer).
Run from anywhere: python3 tools/make_examples.py
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "examples")

MAGIC = 0x01160913
AGL_FLOAT = 4102


def agl_image(type_code, language, extents, lower, payload):
    n = len(extents)
    head = struct.pack("<IBBB5x", MAGIC, language, type_code - 4096, n)
    head += struct.pack("<%di" % n, *extents) + struct.pack("<%di" % n, *lower)
    return head + payload


def wave(rows, cols):
    values = []
    for r in range(rows):
        for c in range(cols):
            x = (c - cols / 2) / (cols / 6)
            y = (r - rows / 2) / (rows / 6)
            d = math.hypot(x, y)
            values.append(math.cos(2.2 * d) * math.exp(-0.25 * d) + 0.15 * x)
    return struct.pack("<%df" % len(values), *values)


def main():
    os.makedirs(OUT, exist_ok=True)
    rows, cols = 48, 64
    with open(os.path.join(OUT, "wave.agl"), "wb") as f:
        f.write(agl_image(AGL_FLOAT, 1, [rows, cols], [0, 0], wave(rows, cols)))


if __name__ == "__main__":
    main()
