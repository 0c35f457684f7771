#!/usr/bin/python3
"""Writes the NumPy files the .npy tests read, with NumPy itself (1.24).

Every accepted file holds a 2 x 3 array whose element [r][c] is
10 r + c + 1 (as the file's type; booleans: (r + c) odd). The 64-bit
integer and 16-bit float files (ok_i8, ok_u8, ok_f2, ok_fortran_i8) hold
types no agl element type holds: they are read into a double copy.
big_i8 and big_u8 hold values around and beyond 2^53, where a double loses
integers. Run from this folder: /usr/bin/python3 make_npy.py
"""
import numpy as np
from numpy.lib import format as npf

base = np.array([[1, 2, 3], [11, 12, 13]])
for descr in ["<f4", "<f8", "|i1", "|u1", "<i2", "<u2", "<i4", "<u4"]:
    np.save("ok_%s.npy" % descr[1:], base.astype(np.dtype(descr)))
np.save("ok_b1.npy", (np.add.outer(np.arange(2), np.arange(3)) % 2).astype(bool))
np.save("ok_fortran_f8.npy", np.asfortranarray(base.astype("<f8")))
np.save("ok_1d_i2.npy", np.arange(5, dtype="<i2"))
np.save("ok_3d_u1.npy", np.arange(24, dtype="u1").reshape(2, 3, 4))
for version in [(2, 0), (3, 0)]:
    with open("ok_v%d_f4.npy" % version[0], "wb") as f:
        npf.write_array(f, base.astype("<f4"), version=version)
np.save("bad_bigendian_f4.npy", base.astype(">f4"))
for descr in ["<i8", "<u8", "<f2"]:
    np.save("ok_%s.npy" % descr[1:], base.astype(np.dtype(descr)))
np.save("ok_fortran_i8.npy", np.asfortranarray(base.astype("<i8")))
np.save("big_i8.npy", np.array([2**53, 2**53 + 1, -(2**53) - 1, 2**62, 2**63 - 1, -(2**63)],
                               dtype="<i8"))
np.save("big_u8.npy", np.array([2**53 + 1, 2**64 - 1, 2**63, 7], dtype="<u8"))
np.save("ok_default_int.npy", np.arange(12).reshape(3, 4))  # NumPy's default integer
np.save("bad_c8.npy", base.astype("<c8"))
np.save("bad_record.npy", np.zeros(3, dtype=[("a", "<f4"), ("b", "<i4")]))
np.save("bad_scalar.npy", np.float32(1.5))
np.save("bad_empty.npy", np.zeros((0, 3), dtype="<f4"))
np.save("bad_rank8.npy", np.zeros((1,) * 8, dtype="<f4"))
