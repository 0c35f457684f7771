"""Writes NetCDF and HDF5 files as scientists' Python programs write them,
for the viewer's tests to read back and compare with ncdump and h5dump.

    python3 write_samples.py netcdf4 FOLDER   (netCDF4-python)
        FOLDER/py-classic.nc   NETCDF3_CLASSIC
        FOLDER/py-nc4.nc       NETCDF4 (an HDF5 file underneath)
      each with
        time (unlimited, 3 records, appended one at a time), lat (3), lon (4)
        time, lat, lon   coordinate variables (float64, float32, int32)
        temp(time, lat, lon)    float32, _FillValue -999, one value masked,
                                units, long_name
        packed(time, lat, lon)  int16, scale_factor 0.01, add_offset 273.15,
                                _FillValue -32767, one value masked; written
                                as floats, packed by the library
        grid(lat, lon)          float64, no fill value

    python3 write_samples.py h5py FOLDER
        FOLDER/py.h5, after a user block of 1024 bytes
        /obs/field   float32 [3][4][5], chunked 1 x 4 x 5, gzip + shuffle,
                     attributes units, long_name, valid_range
        /obs/step, /obs/y, /obs/x   dimension scales of /obs/field
        /image       float64 [6][8], chunked 3 x 4, gzip
        /level       float64 [3][4][6], contiguous, attribute _FillValue -1
                     (and three values of -1)
        /counts      int16 [5][7], contiguous
        /swapped     big-endian float32 [4][3], contiguous
        attribute "title" of the root group
"""
import os
import sys

import numpy as np


def netcdf4(folder):
    import netCDF4

    for name, form in (("py-classic.nc", "NETCDF3_CLASSIC"), ("py-nc4.nc", "NETCDF4")):
        with netCDF4.Dataset(os.path.join(folder, name), "w", format=form) as f:
            f.title = "netCDF4-python sample"
            f.createDimension("time", None)
            f.createDimension("lat", 3)
            f.createDimension("lon", 4)
            time = f.createVariable("time", "f8", ("time",))
            time.units = "hours since 2000-01-01"
            lat = f.createVariable("lat", "f4", ("lat",))
            lat.units = "degrees_north"
            lat[:] = [-30.0, 0.0, 30.0]
            lon = f.createVariable("lon", "i4", ("lon",))
            lon.units = "degrees_east"
            lon[:] = [0, 90, 180, 270]
            temp = f.createVariable("temp", "f4", ("time", "lat", "lon"), fill_value=-999.0)
            temp.units = "degC"
            temp.long_name = "air temperature"
            packed = f.createVariable("packed", "i2", ("time", "lat", "lon"),
                                      fill_value=-32767)
            packed.scale_factor = 0.01
            packed.add_offset = 273.15
            packed.units = "K"
            grid = f.createVariable("grid", "f8", ("lat", "lon"))
            grid[:] = np.arange(12, dtype="f8").reshape(3, 4) * 1.5 - 4.0
            y, x = np.mgrid[0:3, 0:4]
            for t in range(3):
                # One record at a time, as a model writes its steps.
                time[t] = 6.0 * t
                values = (100 * t + 10 * y + x + 0.25).astype("f4")
                masked = np.ma.masked_array(values, mask=np.zeros_like(values, bool))
                if t == 1:
                    masked[1, 2] = np.ma.masked
                temp[t, :, :] = masked
                kelvin = np.ma.masked_array(273.15 + t + 0.01 * (4 * y + x),
                                            mask=np.zeros((3, 4), bool))
                if t == 2:
                    kelvin[0, 3] = np.ma.masked
                packed[t, :, :] = kelvin


def h5py_sample(folder):
    import h5py

    with h5py.File(os.path.join(folder, "py.h5"), "w", userblock_size=1024) as f:
        f.attrs["title"] = "h5py sample"
        obs = f.create_group("obs")
        field = obs.create_dataset(
            "field", data=np.arange(60, dtype="f4").reshape(3, 4, 5) * 0.5 - 7.25,
            chunks=(1, 4, 5), compression="gzip", compression_opts=6, shuffle=True)
        field.attrs["units"] = "m/s"
        field.attrs["long_name"] = "wind speed"
        field.attrs["valid_range"] = np.array([-10.0, 30.0], dtype="f4")
        for d, (name, values) in enumerate((
                ("step", np.array([1.0, 2.0, 4.0])),
                ("y", np.linspace(-1.5, 1.5, 4).astype("f4")),
                ("x", np.arange(5, dtype="i4") * 10))):
            scale = obs.create_dataset(name, data=values)
            scale.make_scale(name)
            field.dims[d].attach_scale(scale)
        f.create_dataset("image", data=np.sin(np.arange(48, dtype="f8").reshape(6, 8) / 7.0),
                         chunks=(3, 4), compression="gzip")
        level = np.arange(72, dtype="f8").reshape(3, 4, 6) * 0.125 + 2.0
        level[0, 0, 0] = level[1, 2, 3] = level[2, 3, 5] = -1.0
        f.create_dataset("level", data=level).attrs["_FillValue"] = -1.0
        f.create_dataset("counts", data=(np.arange(35, dtype="i2").reshape(5, 7) * 937 - 16000))
        f.create_dataset("swapped", data=(np.arange(12).reshape(4, 3) * -2.5).astype(">f4"))


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("netcdf4", "h5py"):
        sys.exit(__doc__)
    if sys.argv[1] == "netcdf4":
        netcdf4(sys.argv[2])
    else:
        h5py_sample(sys.argv[2])
