"""The Python module against a real viewer on a private session bus:
    python_client.py LIBDIR   (run under dbus-run-session)
Exits 77 (skipped) when the module cannot load its libraries."""
import os
import sys

sys.path.insert(0, sys.argv[1])
import tavrix  # noqa: E402

try:
    tavrix._libs()
except OSError as e:
    print("skipped: %s" % e)
    sys.exit(77)


def check(cond, what):
    if not cond:
        print("FAIL:", what)
        sys.exit(1)


with tavrix.Viewer() as v:
    check(list(v.members())[0] == "GetFileName" and len(v.members()) == 110, "members")
    raw = bytes(range(24))
    shown = tavrix.show(raw, v, shape=(4, 6), type_code=tavrix.AGL_UCHAR)
    check(v.FileName == shown.segment.name, "FileName")
    v.SetRoi(1, -5, 1000)
    check((v.GetRoiLb(1), v.GetRoiUb(1)) == (0, 5), "SetRoi clamps")
    v.SetRoi2D(1, 1, 3, 2)
    check(v.GetRoi2D() == (1, 1, 3, 2), "GetRoi2D")
    shown.data[0] = 200          # the segment itself, no copy
    check(v.Update() == 0, "Update")
    try:
        v.GraphType = 0
        check(False, "GraphType 0 accepted")
    except tavrix.TavrixError as e:
        check(e.code == 0x80070057 and e.member == "PutGraphType", str(e))
    try:
        v.GetDimScale(-1)
        check(False, "GetDimScale(-1) accepted")
    except tavrix.TavrixError as e:
        check(e.code == 0x80070057, str(e))
    pid = v.pid
try:
    import numpy  # noqa: F401
    with tavrix.Viewer() as w:
        a = numpy.arange(12, dtype=numpy.float32).reshape(3, 4)
        s = tavrix.show(a, w)
        s.data[1, 2] = -1.0
        s.update()
        check(w.GetRoi2D() == (0, 0, 4, 3), "NumPy array shape")
        check(s.converted_from is None, "float32 is shown as it is")

        # NumPy's default integer, uint64 and float16: shown as doubles.
        n = tavrix.show(numpy.arange(12).reshape(3, 4), w)
        check(n.converted_from == "int64" and n.imprecise_values == 0, "int64 copied")
        check(n.data.dtype == numpy.float64 and n.data[2, 3] == 11.0, "int64 values")
        check(w.GetRoi2D() == (0, 0, 4, 3) and w.FileName == n.segment.name, "int64 shown")
        half = tavrix.show(numpy.array([0.5, -2.0, 65504.0], dtype=numpy.float16), w)
        check(list(half.data) == [0.5, -2.0, 65504.0], "float16 values")
        import warnings
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            big = tavrix.show(numpy.array([2 ** 53 + 1, 2 ** 62, 2 ** 64 - 1], dtype=numpy.uint64),
                              w)
        check(big.imprecise_values == 2, "uint64 values beyond 2^53 counted")
        check(any("2 values beyond 2^53 lost precision" in str(c.message) for c in caught),
              "a warning says so")
except ImportError:
    print("NumPy not installed: the NumPy view is not checked")
# A file by its path, and one object of it by its location (h5py writes it).
try:
    import h5py
    import numpy
    import tempfile
    with tempfile.TemporaryDirectory() as folder, tavrix.Viewer() as w:
        path = os.path.join(folder, "run.h5")
        with h5py.File(path, "w") as f:
            f["first"] = numpy.zeros((2, 2), dtype=numpy.float32)
            f["grp/temp"] = numpy.arange(12, dtype=numpy.float64).reshape(3, 4) + 0.5
        check(tavrix.show(path, w, object="/grp/temp") is w, "a file shows in the viewer given")
        check(w.GetRoi2D() == (0, 0, 4, 3), "the object's shape is shown")
        try:
            w.ShowObject("/grp/none")
            check(False, "a missing object accepted")
        except tavrix.TavrixError as e:
            check(e.code == 0x80070057 and "no object /grp/none" in str(e), str(e))
        check(w.GetRoi2D() == (0, 0, 4, 3), "the object shown stays")
        w.ShowObject("first")
        check(w.GetRoi2D() == (0, 0, 2, 2), "an object by its name")
except ImportError:
    print("h5py not installed: files by path are not checked")
print("python module: all checks pass")
