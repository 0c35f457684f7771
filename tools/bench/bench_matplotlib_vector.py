#!/usr/bin/python3
"""matplotlib's vector output of the array bench_metafile draws, to compare.

    /usr/bin/python3 tools/bench/bench_matplotlib_vector.py [--dir FOLDER] [--size N]

The N x N float array (default 512) of bench_metafile, a[r, c] =
sin(0.05 r) cos(0.04 c), drawn with imshow and a colour bar in a figure of
1024 x 768 pixels at 96 dots per inch, saved once as SVG and once as PDF
(matplotlib embeds the image as a raster in both). For each: seconds of
savefig alone (the figure drawn and written), the file's size, and for the
SVG the seconds rsvg-convert takes to turn it into a PNG (a viewer opening
it). One run each; the files stay in FOLDER (default: a temporary folder,
removed).

Needs python3-matplotlib, python3-numpy and librsvg2-bin (Debian packages;
tools/setup.sh bench). Prints a table; nothing here is a test.
"""

import argparse
import os
import shutil
import subprocess
import tempfile
import time


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--dir", help="keep the files here")
    ap.add_argument("--size", type=int, default=512)
    args = ap.parse_args()

    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    import numpy as np

    folder = args.dir or tempfile.mkdtemp(prefix="bench_mpl_")
    os.makedirs(folder, exist_ok=True)
    n = args.size
    r = np.arange(n, dtype=np.float64)[:, None]
    c = np.arange(n, dtype=np.float64)[None, :]
    a = (np.sin(r * 0.05) * np.cos(c * 0.04)).astype(np.float32)

    print("matplotlib %s, %d x %d float array, imshow + colorbar, 1024 x 768 at 96 dpi"
          % (matplotlib.__version__, n, n))
    for fmt in ("svg", "pdf"):
        fig = plt.figure(figsize=(1024 / 96.0, 768 / 96.0), dpi=96)
        ax = fig.add_subplot(1, 1, 1)
        im = ax.imshow(a, origin="lower", cmap="viridis", interpolation="nearest")
        fig.colorbar(im, ax=ax)
        out = os.path.join(folder, "matplotlib.%s" % fmt)
        t0 = time.perf_counter()
        fig.savefig(out, format=fmt, dpi=96)
        seconds = time.perf_counter() - t0
        plt.close(fig)
        line = "  %s: savefig %.2f s, %.2f MB" % (fmt.upper(), seconds, os.path.getsize(out) / 1e6)
        if fmt == "svg" and shutil.which("rsvg-convert"):
            png = os.path.join(folder, "matplotlib-svg.png")
            t0 = time.perf_counter()
            subprocess.run(["rsvg-convert", "-o", png, out], check=True)
            line += ", rsvg-convert %.2f s" % (time.perf_counter() - t0)
        print(line)
    if not args.dir:
        shutil.rmtree(folder)


if __name__ == "__main__":
    main()
