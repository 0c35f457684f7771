#!/usr/bin/python3
"""Pictures saved by `agltool render` (one control, one GL context, only the
level saved drawn) against gnuplot and matplotlib, whole processes, side by
side in one run, with their ratios.

    /usr/bin/python3 tools/bench/bench_agltool_series.py [--agltool PATH] [--dir FOLDER]
        [--runs R] [--frames N] [--planes P] [--plane-size S]

1. A lit surface of a 512 x 512 and of a 2048 x 2048 float array, 1024 x 768
   PNG: `agltool render FILE OUT.png --size 1024x768` (the finest level the
   level-of-detail rules give) against gnuplot `splot ... binary ... with
   pm3d` (pngcairo terminal, the same size).
2. A series of N (100) 512 x 512 float arrays as image maps, 1024 x 768 PNGs:
   one `agltool render F000.agl ... --out 'a%03d.png' --type 2` against N
   gnuplot runs (`plot ... with image`, one process per frame, as a script
   would call it) and one matplotlib process looping over the frames
   (imshow once, set_data and savefig per frame, Agg back end).
3. A sweep over the P (200) planes of a P x S x S float array (S = 256):
   `agltool render CUBE.agl --sweep 0 --rowdim 1 --coldim 2 --out ...
   --type 2` against one matplotlib loop over the planes of the same file
   (np.memmap, imshow once, a fixed colour range, set_data and savefig).

Each contender is timed from process start to exit, median of R runs (3); the
surface's two contenders run in turn, so both meet the machine alike.
The inputs are read once before timing, so every contender starts with them
in the page cache. Needs python3-numpy, python3-matplotlib and gnuplot-nox
(tools/setup.sh bench installs them). Prints a table; nothing here is a test.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

AGL_HEAD = 28  # normal header of a 2-D array: magic, 4 bytes, 4 spare, extents, bounds


def agl_header(extents):
    import struct

    n = len(extents)
    return struct.pack("<I4B4x", 0x01160913, 1, 6, n, 0) + struct.pack(
        "<%di" % (2 * n), *(list(extents) + [0] * n)
    )


def write_agl(path, a):
    with open(path, "wb") as f:
        f.write(agl_header(a.shape))
        a.astype("float32").tofile(f)


def surface(n, phase=0.0):
    import numpy as np

    y = np.linspace(-1.0, 1.0, n, dtype=np.float32)[:, None]
    x = np.linspace(-1.0, 1.0, n, dtype=np.float32)[None, :]
    return np.sin(6.0 * np.hypot(x - 0.2, y) + phase) * np.exp(-x * x) + 0.3 * np.cos(
        4.0 * x * y + phase
    )


def make_inputs(folder, frames, planes, side):
    import numpy as np

    os.makedirs(folder, exist_ok=True)
    made = {}
    for n in (512, 2048):
        made["surface%d" % n] = os.path.join(folder, "bench_series_surface_%d.agl" % n)
        if not os.path.exists(made["surface%d" % n]):
            write_agl(made["surface%d" % n], surface(n))
    series = []
    for k in range(frames):
        path = os.path.join(folder, "bench_series_%03d.agl" % k)
        if not os.path.exists(path):
            write_agl(path, surface(512, 0.1 * k))
        series.append(path)
    made["series"] = series
    cube = os.path.join(folder, "bench_series_cube_%d_%d.agl" % (planes, side))
    if not os.path.exists(cube):
        with open(cube, "wb") as f:
            f.write(agl_header((planes, side, side)))
            for k in range(planes):
                # Planes with growing amplitude: the held range matters.
                (surface(side, 0.05 * k) * (1.0 + k / planes)).astype(np.float32).tofile(f)
    made["cube"] = cube
    return made


MATPLOTLIB_SERIES = """
import sys
import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt
import numpy as np
out, files = sys.argv[1], sys.argv[2:]
fig = plt.figure(figsize=(10.24, 7.68), dpi=100)
image = None
for k, name in enumerate(files):
    a = np.fromfile(name, dtype=np.float32, offset=28).reshape(512, 512)
    if image is None:
        image = plt.imshow(a, origin="lower", cmap="jet")
        bar = plt.colorbar()
    else:
        image.set_data(a)
        image.autoscale()
    fig.savefig(out % k, dpi=100)
"""

MATPLOTLIB_SWEEP = """
import sys
import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt
import numpy as np
name, out, planes, side = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
head = 12 + 4 * 6  # magic, 4 bytes, 4 spare; 3 extents, 3 lower bounds
cube = np.memmap(name, dtype=np.float32, mode="r", offset=head, shape=(planes, side, side))
lo, hi = float(np.nanmin(cube)), float(np.nanmax(cube))
fig = plt.figure(figsize=(10.24, 7.68), dpi=100)
image = plt.imshow(cube[0], origin="lower", cmap="jet", vmin=lo, vmax=hi)
plt.colorbar()
for k in range(planes):
    image.set_data(cube[k])
    fig.savefig(out % k, dpi=100)
"""


def timed(cmd, env=None):
    start = time.monotonic()
    p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env)
    if p.returncode != 0:
        sys.exit("failed: %s\n%s" % (" ".join(cmd[:6]), p.stdout.decode(errors="replace")))
    return time.monotonic() - start


def median(runs, f):
    return statistics.median(f() for _ in range(runs))


def paired(runs, first, second):
    """The medians of two contenders run in turn, first then second, so a
    machine that slows down for a while slows both alike."""
    a, b = [], []
    for _ in range(runs):
        a.append(first())
        b.append(second())
    return statistics.median(a), statistics.median(b)


def gnuplot_surface(path, n, out):
    return [
        "gnuplot",
        "-e",
        "set terminal pngcairo size 1024,768; set output '%s'; set pm3d; unset surface; "
        "set view 64,341.5; splot '%s' binary array=(%d,%d) format='%%float' skip=%d "
        "with pm3d notitle" % (out, path, n, n, AGL_HEAD),
    ]


def gnuplot_image(path, out):
    return [
        "gnuplot",
        "-e",
        "set terminal pngcairo size 1024,768; set output '%s'; plot '%s' binary "
        "array=(512,512) format='%%float' skip=%d with image notitle" % (out, path, AGL_HEAD),
    ]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser()
    ap.add_argument("--agltool", default=os.path.join(here, "../../build/release/bin/agltool"))
    ap.add_argument("--dir", default="/tmp")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--frames", type=int, default=100)
    ap.add_argument("--planes", type=int, default=200)
    ap.add_argument("--plane-size", type=int, default=256)
    ap.add_argument("--only", type=int, choices=(1, 2, 3), help="run that part alone")
    args = ap.parse_args()
    if not shutil.which("gnuplot"):
        sys.exit("gnuplot is not installed (tools/setup.sh bench)")
    made = make_inputs(args.dir, args.frames, args.planes, args.plane_size)
    for path in [made["surface512"], made["surface2048"], made["cube"]] + made["series"]:
        with open(path, "rb") as f:
            while f.read(1 << 24):
                pass
    out = os.path.join(args.dir, "bench_series_out")
    os.makedirs(out, exist_ok=True)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    rows = []

    print("1. lit surface, 1024 x 768 PNG (median of %d, the two in turn)" % args.runs)
    for n in (512, 2048) if args.only in (None, 1) else ():
        src = made["surface%d" % n]
        a, g = paired(
            args.runs,
            lambda: timed([args.agltool, "render", src, os.path.join(out, "s.png"), "--size",
                           "1024x768"], env),
            lambda: timed(gnuplot_surface(src, n, os.path.join(out, "g.png"))))
        print("  %4d x %-4d  agltool %.3f s   gnuplot pm3d %.3f s   ratio %.1fx" % (n, n, a, g, g / a))
        rows.append(("surface %d" % n, a, g))

    if args.only in (None, 2):
        frames = made["series"]
        print("2. %d frames of 512 x 512 as image maps, 1024 x 768 PNGs (median of %d)"
              % (len(frames), args.runs))
        a = median(args.runs, lambda: timed(
            [args.agltool, "render"] + frames
            + ["--out", os.path.join(out, "a%03d.png"), "--type", "2", "--size", "1024x768"], env))

        def gnuplot_runs():
            return sum(timed(gnuplot_image(f, os.path.join(out, "g%03d.png" % k)))
                       for k, f in enumerate(frames))

        g = median(args.runs, gnuplot_runs)
        m = median(args.runs, lambda: timed(
            [sys.executable, "-c", MATPLOTLIB_SERIES, os.path.join(out, "m%03d.png")] + frames))
        print("  one agltool run %.2f s   %d gnuplot runs %.2f s (%.1fx)   one matplotlib loop %.2f s "
              "(%.1fx)" % (a, len(frames), g, g / a, m, m / a))

    if args.only in (None, 3):
        print("3. sweep of %d planes of %d x %d, 1024 x 768 PNGs (median of %d)"
              % (args.planes, args.plane_size, args.plane_size, args.runs))
        a = median(args.runs, lambda: timed(
            [args.agltool, "render", made["cube"], "--sweep", "0", "--rowdim", "1", "--coldim", "2",
             "--out", os.path.join(out, "w%03d.png"), "--type", "2", "--size", "1024x768"], env))
        m = median(args.runs, lambda: timed(
            [sys.executable, "-c", MATPLOTLIB_SWEEP, made["cube"], os.path.join(out, "v%03d.png"),
             str(args.planes), str(args.plane_size)]))
        print("  agltool --sweep %.2f s   matplotlib loop %.2f s   ratio %.1fx" % (a, m, m / a))


if __name__ == "__main__":
    main()
