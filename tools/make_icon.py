#!/usr/bin/env python3
"""Writes data/tavrix.svg, the application icon: a small height plot, a
surface of two hills and a hollow seen from above at an angle, its cells
coloured by height with the viewer's rainbow palette and drawn back to front
over a dark floor.

    tools/make_icon.py [OUT.svg]      (default: data/tavrix.svg)
"""
import math
import os
import sys

N = 14  # cells per side
SIZE = 128  # the icon's design grid (it is scalable)
MARGIN = 5


def height(u, v):
    """The surface over the unit square, about -0.35 .. 1."""
    a = math.exp(-((u - 0.32) ** 2 + (v - 0.38) ** 2) / 0.035)
    b = 0.6 * math.exp(-((u - 0.72) ** 2 + (v - 0.68) ** 2) / 0.05)
    c = -0.35 * math.exp(-((u - 0.75) ** 2 + (v - 0.22) ** 2) / 0.02)
    return a + b + c


def rainbow(t):
    """Blue through cyan, green and yellow to red, as the viewer's rainbow."""
    t = min(max(t, 0.0), 1.0)
    stops = [(0.0, (40, 60, 200)), (0.25, (20, 170, 230)), (0.5, (40, 190, 90)),
             (0.75, (245, 210, 40)), (1.0, (225, 50, 40))]
    for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
        if t <= t1:
            f = (t - t0) / (t1 - t0)
            return tuple(round(a + (b - a) * f) for a, b in zip(c0, c1))
    return stops[-1][1]


def project(u, v, z):
    """Grid point (u, v in 0..1, height z) to the picture plane: the grid is
    turned 45 degrees and tilted, so it reads as a diamond seen from above."""
    return (u - v) * 1.0, (u + v - 1) * 0.5 - z * 0.62


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "data", "tavrix.svg")
    z = [[height(i / N, j / N) for j in range(N + 1)] for i in range(N + 1)]
    lo = min(min(r) for r in z)
    hi = max(max(r) for r in z)

    cells = []
    for i in range(N):
        for j in range(N):
            corners = [(i, j), (i + 1, j), (i + 1, j + 1), (i, j + 1)]
            mean = sum(z[a][b] for a, b in corners) / 4
            pts = [project(a / N, b / N, z[a][b]) for a, b in corners]
            # Back to front: the far corner of the diamond is at u = v = 0.
            cells.append((i + j, pts, rainbow((mean - lo) / (hi - lo))))
    cells.sort(key=lambda c: c[0])

    floor = [project(0, 0, lo - 0.05), project(1, 0, lo - 0.05), project(1, 1, lo - 0.05),
             project(0, 1, lo - 0.05)]

    # Fit the whole picture into the design grid with a small margin.
    every = floor + [p for c in cells for p in c[1]]
    x0, x1 = min(p[0] for p in every), max(p[0] for p in every)
    y0, y1 = min(p[1] for p in every), max(p[1] for p in every)
    scale = (SIZE - 2 * MARGIN) / max(x1 - x0, y1 - y0)
    dx = (SIZE - (x1 - x0) * scale) / 2 - x0 * scale
    dy = (SIZE - (y1 - y0) * scale) / 2 - y0 * scale

    def fit(pts):
        return [(x * scale + dx, y * scale + dy) for x, y in pts]

    floor = fit(floor)
    cells = [(k, fit(pts), colour) for k, pts, colour in cells]

    def path(pts):
        return "M" + " L".join("%.1f,%.1f" % p for p in pts) + " Z"

    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">'
             % (SIZE, SIZE, SIZE, SIZE),
             '  <title>Tavrix</title>',
             '  <path d="%s" fill="#2b3140" fill-opacity="0.85"/>' % path(floor),
             '  <g stroke="#1d2230" stroke-width="0.5" stroke-linejoin="round">']
    for _, pts, (r, g, b) in cells:
        lines.append('    <path d="%s" fill="#%02x%02x%02x"/>' % (path(pts), r, g, b))
    lines += ['  </g>', '</svg>', '']
    with open(out, "w", encoding="utf-8") as f:
        f.write("\n".join(lines))


if __name__ == "__main__":
    main()
