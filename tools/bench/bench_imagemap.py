#!/usr/bin/python3
"""The image map through `agltool render`, against matplotlib and gnuplot.

    /usr/bin/python3 tools/bench/bench_imagemap.py [--agltool PATH] [--dir FOLDER] [--size N] [--runs R]

1. One N x N float array (default 8192 x 8192, 256 MiB) drawn as an image to
   a 1024 x 768 PNG by three whole processes, side by side in one run:
     - agltool render FILE.agl OUT.png --type 2 --size 1024x768
     - python3: numpy.load of the same values from a .npy file, matplotlib's
       imshow (Agg back end) and savefig at 1024 x 768
     - gnuplot: plot 'FILE.agl' binary skip=28 array=(N,N) format='%float'
       with image, png terminal at 1024 x 768
   Each is timed from process start to exit (median of R runs) and its peak
   resident memory is read from the kernel's accounting of that child
   (wait4). The files are read once before timing, so all three start with
   them in the page cache.
2. Frames per second of the image map while the camera turns 5 degrees per
   frame (free view, texture replayed): agltool render --type 2 --view 0
   --frames 60 --spin. The pipeline spins at level 0 (a coarse grid); the
   finest grid's texture (1024 x 1024) turning is measured by
   bench_imagemap_spin.

Needs python3-numpy, python3-matplotlib and gnuplot-nox (Debian packages,
installed only to run this). Prints a table; nothing here is a test.
"""

import argparse
import os
import shutil
import statistics
import struct
import subprocess
import sys
import time


def write_inputs(folder, n):
    import numpy as np

    agl = os.path.join(folder, "bench_image_%d.agl" % n)
    npy = os.path.join(folder, "bench_image_%d.npy" % n)
    if os.path.exists(agl) and os.path.exists(npy):
        return agl, npy
    y = np.linspace(-1.0, 1.0, n, dtype=np.float32)[:, None]
    x = np.linspace(-1.0, 1.0, n, dtype=np.float32)[None, :]
    a = (np.sin(9.0 * np.hypot(x - 0.2, y)) * np.exp(-x * x) + 0.3 * np.cos(5.0 * x * y)).astype(
        np.float32
    )
    np.save(npy, a)
    # agl binary, normal header: magic, language C, type AGL_FLOAT, 2
    # dimensions, 5 spare bytes, extents (slowest first), lower bounds 0.
    head = struct.pack("<I4B4x", 0x01160913, 1, 6, 2, 0) + struct.pack("<iiii", n, n, 0, 0)
    assert len(head) == 28
    with open(agl, "wb") as f:
        f.write(head)
        a.tofile(f)
    return agl, npy


def run(cmd, env=None):
    """Runs cmd; returns (seconds, peak resident KiB, exit status, output)."""
    start = time.monotonic()
    p = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env)
    out = p.stdout.read()
    _, status, usage = os.wait4(p.pid, 0)
    p.returncode = os.waitstatus_to_exitcode(status)
    return time.monotonic() - start, usage.ru_maxrss, p.returncode, out.decode(errors="replace")


MATPLOTLIB = """
import sys
import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt
import numpy as np
a = np.load(sys.argv[1])
fig = plt.figure(figsize=(10.24, 7.68), dpi=100)
plt.imshow(a, origin="lower", cmap="jet")
plt.colorbar()
fig.savefig(sys.argv[2], dpi=100)
"""


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser()
    ap.add_argument("--agltool", default=os.path.join(here, "../../build/release/bin/agltool"))
    ap.add_argument("--dir", default="/tmp")
    ap.add_argument("--size", type=int, default=8192)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--make-inputs", action="store_true", help=argparse.SUPPRESS)
    args = ap.parse_args()
    if args.make_inputs:
        print(*write_inputs(args.dir, args.size))
        return
    if not os.path.exists(args.agltool):
        sys.exit("no agltool at %s (--agltool PATH)" % args.agltool)
    for tool in ("gnuplot",):
        if not shutil.which(tool):
            sys.exit("%s is not installed (apt-get install gnuplot-nox)" % tool)

    n = args.size
    # The inputs are made in a child process: a child's peak memory counts
    # what it inherited at fork, so this process must stay small.
    maker = subprocess.run([sys.executable, os.path.abspath(__file__), "--make-inputs",
                            "--dir", args.dir, "--size", str(n)], capture_output=True, text=True)
    if maker.returncode != 0:
        sys.exit("cannot make the inputs:\n" + maker.stderr)
    agl, npy = maker.stdout.split()
    for path in (agl, npy):  # into the page cache
        with open(path, "rb") as f:
            while f.read(1 << 24):
                pass

    out = lambda name: os.path.join(args.dir, "bench_image_%s.png" % name)
    gp = os.path.join(args.dir, "bench_image.gp")
    with open(gp, "w") as f:
        f.write(
            "set terminal png size 1024,768\n"
            "set output '%s'\n"
            "set palette rgb 33,13,10\n"
            "set xrange [0:%d]\nset yrange [0:%d]\n"
            "plot '%s' binary skip=28 array=(%d,%d) format='%%float' with image notitle\n"
            % (out("gnuplot"), n, n, agl, n, n)
        )
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    contenders = [
        ("agltool render --type 2", [args.agltool, "render", agl, out("agltool"), "--type", "2",
                                     "--size", "1024x768"]),
        ("matplotlib imshow+savefig", [sys.executable, "-c", MATPLOTLIB, npy, out("matplotlib")]),
        ("gnuplot with image", ["gnuplot", gp]),
    ]
    results = {}
    for name, cmd in contenders:
        times, peaks = [], []
        for _ in range(args.runs):
            t, rss, rc, text = run(cmd, env)
            if rc != 0:
                sys.exit("%s failed (%d):\n%s" % (name, rc, text))
            times.append(t)
            peaks.append(rss)
        results[name] = (statistics.median(times), max(peaks))

    print("%d x %d float array (%d MiB) to a 1024 x 768 PNG, median of %d runs, whole process"
          % (n, n, n * n * 4 >> 20, args.runs))
    base_t, base_m = results[contenders[0][0]]
    for name, _ in contenders:
        t, m = results[name]
        print("  %-28s %7.2f s  %7.1f MiB peak   %5.1fx agltool's time"
              % (name, t, m / 1024.0, t / base_t))

    t, rss, rc, text = run([args.agltool, "render", agl, out("spin"), "--type", "2", "--view", "0",
                            "--size", "1024x768", "--frames", "60", "--spin"], env)
    if rc != 0:
        sys.exit("spin failed:\n" + text)
    print("image map turning (free view, texture replayed), 1024 x 768: " + text.strip())


if __name__ == "__main__":
    main()
