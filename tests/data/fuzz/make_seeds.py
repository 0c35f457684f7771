#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz corpus (tests/data/fuzz/<target>/seed-*).

Inputs found by fuzzing are kept beside them under their own names
(crash-*, found-*). Run again after changing a seed; it only rewrites seeds.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
MAGIC, FIXED = 0x01160913, 0xF8855884


def head(extents, type_code=6, lang=1, slots=None, lower=None, fixed=False):
    n = 7 if fixed else (slots or len(extents))
    ext = list(extents) + [0] * (n - len(extents))
    low = list(lower or [0 if lang == 1 else 1] * len(extents)) + [0] * (n - len(extents))
    b = struct.pack("<IBBB5x", FIXED if fixed else MAGIC, lang, type_code, 0 if fixed else n)
    b += struct.pack("<%di" % n, *ext) + struct.pack("<%di" % n, *low)
    if fixed:
        b += bytes(324 - len(b))
    return b


def elements(count, size):
    return bytes((i * 7 + 1) & 0xFF for i in range(count * size))


def record(annotation=0, palette=0, scales=(0,) * 7, **fields):
    r = bytearray(328)
    struct.pack_into("<iiIi", r, 0, 328, 100, fields.get("flags", 0x3003), 6)
    struct.pack_into("<h", r, 16, 1)
    struct.pack_into("<fff", r, 68, 20.0, -108.0, 3.0)
    struct.pack_into("<II", r, 280, annotation, palette)
    struct.pack_into("<7I", r, 296, *scales)
    return bytes(r)


def write(target, name, data):
    folder = os.path.join(HERE, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "seed-" + name), "wb") as f:
        f.write(data)


# Segment headers.
write("segment_header", "float-3x4", head([3, 4]) + elements(12, 4))
write("segment_header", "seven-slots-10x20", head([10, 20], 0, slots=7) + elements(200, 1))
write("segment_header", "fixed-form", head([2, 3], 5, 2, fixed=True, lower=[-1, 4]) + elements(6, 4))
write("segment_header", "short-by-one", (head([5], 7) + elements(5, 8))[:-1])
write("segment_header", "bad-magic", b"\x00" * 40)
write("segment_header", "zero-slots", struct.pack("<IBBB5x", MAGIC, 1, 0, 0) + b"\x01")
write("segment_header", "huge-extent", head([1 << 30, 2]) + b"\x00" * 8)
write("segment_header", "negative-extent", head([-1, 3]) + b"\x00" * 8)
write("segment_header", "fixed-cut", head([1], fixed=True)[:100])

# Trailers (whole files: a head, then the trailer).
h = head([2, 3], 3, 2) + elements(6, 2)
ann = b"hello\x00"
scale = head([3], 7) + struct.pack("<3d", 0.5, 1.5, 2.5)
scale2d = head([2, 2], 6) + elements(4, 4)
pal = bytes(range(256)) * 4
off_pal = 328 + len(ann)
off_s0 = off_pal + 1024
off_s1 = off_s0 + len(scale2d)
full = record(328, off_pal, (off_s0, off_s1, 0, 0, 0, 0, 0)) + ann + pal + scale2d + scale
write("agl_trailer", "full", h + full)
write("agl_trailer", "bare-record", h + record())
write("agl_trailer", "short-record", h + record()[:200])
write("agl_trailer", "offsets-out-of-range",
      h + record(4000, 0xFFFFFFFF, (0xFFFFFFF0, 329, 0, 0, 0, 0, 1)) + b"x")
write("agl_trailer", "annotation-no-zero", h + record(328) + b"no terminating zero")
big = head([100000000], 7)
write("agl_trailer", "scale-promises-too-much",
      h + record(scales=(328, 0, 0, 0, 0, 0, 0)) + big + bytes(2048))
write("agl_trailer", "trailer-only", full)

# ASCII texts.
texts = {
    "written-3d": "#agl ascii data V1.0\n#type AGL_SHORT\n#lang C\n#dim 2 3 4\n"
                  + "\n\n".join("\n".join("\t".join(str(b * 12 + r * 4 + c) for c in range(4))
                                          for r in range(3)) for b in range(2)) + "\n\n\n",
    "fortran-bounds": "#agl ascii data V1.0\n#type AGL_FLOAT\n#lang Fortran\n#dim 0:1 3\n"
                      "0.1\t-2\t3e+20\n4.5\t1e-07\t6\n\n",
    "guess-2d": "title\n1 2 3 4\n5 6 7 8\n9 10 11 12\n",
    "guess-1d": "1 2 3",
    "comments": "! 9 9 9\n#dim 6\n1! 7 7\n2 ! 3\n#lang C 4\n",
    "clamps": "#type uchar\n200 256 -1 3.9 -0 1e5 .5 +-3",
    "short-read": "#dim 3 4\n1 2 3 4 5 6 7 8 9 10",
    "specials": "#type double\n+inf -inf +nan -nan 1e400 -1e-400 0x1p3",
    "huge-dim": "#type double\n#dim 536870913\n1 2",
    "dim-ranges": "#dim 0:4 2 -3 0 -2:-2 5:4 1:+3\n#type AGL_uShort\n1",
    "crlf": "#type long\r\n#dim 2 2\r\n1\t2\r\n3\t4\r\n",
    "ends-in-digit": "#dim 2\n1 -25",
}
for name, text in texts.items():
    write("agl_ascii", name, text.encode())

# Bitmaps: ImageMagick's files, and small run-length streams by hand.
BMP_DIR = os.path.join(HERE, "..", "bmp")
for name in sorted(os.listdir(BMP_DIR)):
    if name.endswith(".bmp"):
        with open(os.path.join(BMP_DIR, name), "rb") as f:
            write("bitmap", name[:-4], f.read())


def bmp(info_size, bits, width, height, compression, pixels):
    palette = b"".join(bytes((k, 2 * k, 3 * k, 0)) for k in range(16))
    offset = 14 + info_size + len(palette)
    info = struct.pack("<IiiHHI", info_size, width, height, 1, bits, compression)
    info += bytes(info_size - len(info))
    info = info[:32] + struct.pack("<I", 16) + info[36:]
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + info + palette + pixels


write("bitmap", "rle8-runs-delta", bmp(40, 8, 5, 3, 1,
      b"\x03\x07\x00\x03\x01\x02\x03\x00\x00\x00\x00\x02\x01\x01\x09\x09\x00\x01"))
write("bitmap", "rle4-runs-literal", bmp(124, 4, 4, 2, 2, b"\x04\x12\x00\x00\x00\x03\x34\x50\x00\x01"))
write("bitmap", "rle8-no-end", bmp(108, 8, 4, 4, 1, b"\x02\x05\x00\x00\x04\x01"))
write("bitmap", "plain-52", bmp(52, 8, 3, 2, 0, b"\x01\x02\x03\x00\x04\x05\x06\x00"))

# NumPy headers: NumPy's own files (see ../npy/make_npy.py).
NPY_DIR = os.path.join(HERE, "..", "npy")
for name in sorted(os.listdir(NPY_DIR)):
    if name.endswith(".npy"):
        with open(os.path.join(NPY_DIR, name), "rb") as f:
            write("npy_header", name[:-4], f.read())

# HDF files: the seeds hdf_file/seed-*.hdf are files written by the HDF
# library (make_hdf_samples, hdfimport, r8tohdf); they are kept as they are.
# netcdf_file/seed-ocean.nc is tests/viewer/doc/netcdf/ocean.cdl made into a
# classic file by ncgen (ncgen -k classic); hdf5_file holds only inputs the
# fuzzer found (seed it with make_hdf5_samples' sample.h5).

# "AGL DATA" blocks from the clipboard: rows, columns (int32), then doubles.
def agl_data(rows, columns, values):
    return struct.pack("<ii", rows, columns) + struct.pack("<%dd" % len(values), *values)


blocks = {
    "short-2x3": agl_data(2, 3, [1, -2, 3, 400, 5, -32768]),
    "specials-1x4": agl_data(1, 4, [float("nan"), float("inf"), -float("inf"), 1.7976931348623157e308]),
    "longer-payload": agl_data(1, 1, [1.5, 2.5]),
    "lying-1000x1000": agl_data(1000, 1000, [1.0]),
    "negative-rows": agl_data(-1, 4, [0.0] * 4),
    "wraps-in-32-bits": agl_data(65536, 65536, [0.0]),
    "head-only": struct.pack("<ii", 1, 1),
    "cut-head": b"\x01\x00\x00",
}
for name, data in blocks.items():
    write("agl_data", name, data)
