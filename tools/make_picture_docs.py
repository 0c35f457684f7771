#!/usr/bin/python3
"""Draws the real example arrays with Tavrix and with matplotlib, for the docs.

Writes docs/gallery/<array>_<kind>.png (agltool render, the viewer's graph
kinds: 1 height plot, 2 image map, 3 vector graph, 4 plane view) and
docs/matplotlib/<array>_<kind>.png (the nearest matplotlib plot: plot_surface,
imshow, a 3-D scatter, the columns as lines), and docs/comparison.md, which
puts each pair side by side. Both are drawn at 400 x 300 pixels with each
tool's own defaults; the arrays come from tools/make_real_examples.py.

Needs numpy and matplotlib (Debian: python3-matplotlib) and a built agltool.
Run: /usr/bin/python3 tools/make_picture_docs.py [AGLTOOL]
"""
import os
import subprocess
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402
from PIL import Image  # noqa: E402

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
EXAMPLES = os.path.join(ROOT, "examples", "real")
GALLERY = os.path.join(ROOT, "docs", "gallery")
MPL = os.path.join(ROOT, "docs", "matplotlib")
WIDTH, HEIGHT = 400, 300

KINDS = {1: "height plot", 2: "image map", 3: "vector graph", 4: "plane view"}
ARRAYS = [
    ("mri_slice", "MRI slice, 256 x 256 unsigned 16-bit", [1, 2, 4]),
    ("dem", "elevation model, 172 x 202 signed 16-bit (m)", [1, 2, 4]),
    ("topobathy", "land height and sea depth, 91 x 120 float (m)", [1, 2, 4]),
    ("dem_slope", "slope field of the elevation model, 527 vectors of 4 floats", [3]),
]
# The plane view draws a window with a short side as lines: six rows through
# the middle of each array (first and last row, 0-based).
PLANE_ROWS = {"mri_slice": (125, 130), "dem": (83, 88), "topobathy": (43, 48)}


def small_png(path):
    """Keeps a picture small: 256 colours or fewer."""
    Image.open(path).convert("RGB").quantize(colors=192, method=Image.Quantize.MEDIANCUT).save(
        path, optimize=True)


def tavrix(agltool, name, kind, out):
    window = []
    if kind == 4:
        window = ["--roi", "0:%d:%d" % PLANE_ROWS[name]]
    subprocess.run([agltool, "render", os.path.join(EXAMPLES, name + ".npy"), out,
                    "--graph-type", str(kind), "--size", "%dx%d" % (WIDTH, HEIGHT)] + window,
                   check=True)
    small_png(out)


def mpl(name, kind, out):
    a = np.load(os.path.join(EXAMPLES, name + ".npy"))
    fig = plt.figure(figsize=(WIDTH / 100, HEIGHT / 100), dpi=100)
    if kind == 1:
        ax = fig.add_subplot(projection="3d")
        rows, cols = np.mgrid[0:a.shape[0], 0:a.shape[1]]
        surf = ax.plot_surface(cols, rows, a.astype(float), cmap="viridis", linewidth=0,
                               rstride=max(1, a.shape[0] // 64), cstride=max(1, a.shape[1] // 64))
        fig.colorbar(surf, ax=ax, shrink=0.7)
        ax.set_xlabel("X")
        ax.set_ylabel("Y")
    elif kind == 2:
        ax = fig.add_subplot()
        im = ax.imshow(a, origin="lower")
        fig.colorbar(im, ax=ax)
        ax.set_xlabel("X")
        ax.set_ylabel("Y")
    elif kind == 3:
        ax = fig.add_subplot(projection="3d")
        pts = ax.scatter(a[:, 0], a[:, 1], a[:, 2], c=a[:, 3], s=4)
        fig.colorbar(pts, ax=ax, shrink=0.7)
        ax.set_xlabel("X")
        ax.set_ylabel("Y")
    else:
        ax = fig.add_subplot()
        first, last = PLANE_ROWS[name]
        ax.plot(a[first:last + 1].T, linewidth=0.8)
        ax.set_xlabel("X")
        ax.set_ylabel("Z")
    fig.tight_layout()
    fig.savefig(out)
    plt.close(fig)
    small_png(out)


def main():
    agltool = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "dev", "bin",
                                                                 "agltool")
    os.makedirs(GALLERY, exist_ok=True)
    os.makedirs(MPL, exist_ok=True)
    lines = [
        "# Tavrix and matplotlib side by side",
        "",
        "The real arrays of `examples/real` (see its `LICENSE`: matplotlib's sample data),",
        "each drawn by `agltool render` (left, Tavrix's defaults as the viewer shows the",
        "graph kind) and by the nearest matplotlib plot with matplotlib's defaults (right):",
        "`plot_surface`, `imshow`, a 3-D `scatter`, and `plot` of six rows for the",
        "plane view (the plane view draws a window with a short side: rows 125-130,",
        "83-88 and 43-48 through the middle of each array). Both are 400 x 300 pixels. Made by `tools/make_picture_docs.py`.",
        "",
    ]
    for name, what, kinds in ARRAYS:
        lines += ["## %s: %s" % (name, what), "", "| Tavrix | matplotlib |", "|---|---|"]
        for kind in kinds:
            file = "%s_%d.png" % (name, kind)
            tavrix(agltool, name, kind, os.path.join(GALLERY, file))
            mpl(name, kind, os.path.join(MPL, file))
            lines.append("| ![%s, %s by Tavrix](gallery/%s) | ![%s, %s by matplotlib](matplotlib/%s) |"
                         % (name, KINDS[kind], file, name, KINDS[kind], file))
        lines.append("")
    with open(os.path.join(ROOT, "docs", "comparison.md"), "w") as f:
        f.write("\n".join(lines))


if __name__ == "__main__":
    main()
