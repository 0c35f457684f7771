"""Writes an HDF5 file with h5py, as scientists' Python programs do:

    python3 write_h5py_sample.py OUT.h5

/run/temp        float32 [4][5], chunked 2 x 5, gzip, attributes units, long_name
/run/lat, /run/lon   dimension scales of /run/temp (float64, int32)
/run/counts      int64 [3] with one value beyond 2^53
/run/cube        float64 [3][2][4]
/run/records     compound, refused
/label           variable-length string, refused
"""
import sys

import h5py
import numpy as np

with h5py.File(sys.argv[1], "w") as f:
    f.attrs["institution"] = "Tavrix test"
    run = f.create_group("run")
    temp = run.create_dataset(
        "temp", data=(np.arange(20, dtype="f4").reshape(4, 5) * 0.75 - 3.5),
        chunks=(2, 5), compression="gzip")
    temp.attrs["units"] = "degC"
    temp.attrs["long_name"] = "sea water temperature"
    lat = run.create_dataset("lat", data=np.linspace(-45.0, 45.0, 4))
    lon = run.create_dataset("lon", data=np.array([0, 90, 180, 270, 360], dtype="i4"))
    lat.make_scale("lat")
    lon.make_scale("lon")
    temp.dims[0].attach_scale(lat)
    temp.dims[1].attach_scale(lon)
    run.create_dataset("counts", data=np.array([2 ** 60 + 1, 42, -3], dtype="i8"))
    run.create_dataset("cube", data=np.arange(24, dtype="f8").reshape(3, 2, 4) / 8.0)
    run.create_dataset("records", data=np.zeros(2, dtype=[("t", "f8"), ("n", "i4")]))
    f.create_dataset("label", data="surface", dtype=h5py.string_dtype())
