#!/usr/bin/python3
"""Writes the small real arrays of examples/real/ from matplotlib's sample data.

Needs numpy and matplotlib's sample data (Debian: python3-matplotlib, which
installs it under /usr/share/matplotlib/mpl-data/sample_data). The arrays
are NumPy files, which Tavrix maps in place:

  mri_slice.npy    256 x 256 uint16: a magnetic-resonance slice of a head
                   (s1045.ima.gz)
  dem.npy          172 x 202 int16: every second sample of a digital elevation
                   model of the Jacksboro fault, Tennessee, in metres
                   (jacksboro_fault_dem.npz; 3 arc-seconds, about 90 m)
  topobathy.npy    91 x 120 float32: land height and sea depth off the coast
                   of Washington state, in metres (topobathy.npz)
  dem_slope.npy    527 x 4 float32: a vector field, the elevation model's
                   slope on a 17 x 31 lattice: column, row, elevation (m) and
                   the slope's steepness (metres per sample), one vector a row
                   for the vector graph (XComp 0, YComp 1, ZComp 2, WComp 3)

The licence of the data is examples/real/LICENSE (matplotlib's).
Run: /usr/bin/python3 tools/make_real_examples.py [SAMPLE_DATA_DIR]
"""
import gzip
import os
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "examples", "real")
SAMPLES = "/usr/share/matplotlib/mpl-data/sample_data"


def arrays(samples):
    """The example arrays by file name."""
    with gzip.open(os.path.join(samples, "s1045.ima.gz")) as f:
        mri = np.frombuffer(f.read(), dtype="<u2").reshape(256, 256)
    dem = np.load(os.path.join(samples, "jacksboro_fault_dem.npz"))["elevation"]
    dem = np.ascontiguousarray(dem[::2, ::2]).astype("<i2")
    topo = np.load(os.path.join(samples, "topobathy.npz"))["topo"].astype("<f4")

    # The slope field: numpy's central differences of the elevation model,
    # sampled every 6 rows and columns away from the edges.
    gy, gx = np.gradient(dem.astype(np.float64))
    rows = np.arange(3, dem.shape[0] - 3, 6)[:17]
    cols = np.arange(3, dem.shape[1] - 3, 6)[:31]
    field = []
    for r in rows:
        for c in cols:
            field.append((c, r, dem[r, c], np.hypot(gx[r, c], gy[r, c])))
    slope = np.asarray(field, dtype="<f4")
    return {
        "mri_slice.npy": mri,
        "dem.npy": dem,
        "topobathy.npy": topo,
        "dem_slope.npy": slope,
    }


def main():
    samples = sys.argv[1] if len(sys.argv) > 1 else SAMPLES
    os.makedirs(OUT, exist_ok=True)
    for name, a in arrays(samples).items():
        np.save(os.path.join(OUT, name), a)


if __name__ == "__main__":
    main()
