"""tavrix: drive a Tavrix viewer from Python (standard-library ctypes over
libtavrixclient and libagl; NumPy is used when it is installed).

    import tavrix
    v = tavrix.Viewer()                 # starts a viewer of our own
    shown = tavrix.show(numpy_array, v) # a shared-memory segment, shown
    shown.data[3, 4] = 1.5              # NumPy view of the segment itself
    shown.update()                      # the viewer redraws from it
    v.GraphType = tavrix.IMAGE_MAP      # properties by name
    v.SetRoi(0, 2, 9)                   # methods by name
    v.release()                         # or let the Viewer go, or exit

A failing member raises TavrixError with the member, the code and the
message. The libraries are found beside this module, then through the
loader's usual search (TAVRIX_CLIENT_LIBRARY and AGL_LIBRARY override).
"""
import ctypes
import glob
import os
import sysconfig

HEIGHT_PLOT, IMAGE_MAP, VECTOR_GRAPH, PLANE_VIEW = 1, 2, 3, 4
MESH_STYLE, SURFACE_STYLE, BARCHART_STYLE, LINE_STYLE, POINT_STYLE = 0, 1, 2, 3, 4
IDENTITY, XFLIP, YFLIP, XYFLIP = 0, 1, 2, 3

AGL_UCHAR, AGL_CHAR, AGL_USHORT, AGL_SHORT = 4096, 4097, 4098, 4099
AGL_ULONG, AGL_LONG, AGL_FLOAT, AGL_DOUBLE = 4100, 4101, 4102, 4103
AGL_LANG_C = 1

_LONG, _DOUBLE, _STRING = 1, 2, 3


class TavrixError(Exception):
    def __init__(self, member, code, message):
        if message.startswith(member + ": "):
            message = message[len(member) + 2:]
        super().__init__("%s: code 0x%08X: %s" % (member, code & 0xFFFFFFFF, message))
        self.member = member
        self.code = code & 0xFFFFFFFF
        self.message = message


class _Value(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("l", ctypes.c_int32), ("d", ctypes.c_double),
                ("s", ctypes.c_char_p)]


def _library_dirs(here):
    # Installed as PREFIX/lib/python3/dist-packages/tavrix.py, the libraries
    # are in PREFIX/lib, or in PREFIX/lib/<multiarch> (x86_64-linux-gnu) or
    # PREFIX/lib64 when the tree was configured for such a library folder.
    lib = os.path.normpath(os.path.join(here, "..", ".."))
    dirs = [here, lib]
    multiarch = sysconfig.get_config_var("MULTIARCH")
    if multiarch:
        dirs.append(os.path.join(lib, multiarch))
    dirs += sorted(glob.glob(os.path.join(lib, "*-linux-*")))
    dirs.append(os.path.join(lib, "..", "lib64"))
    return dirs


def _load(env, names):
    here = os.path.dirname(os.path.abspath(__file__))
    candidates = [os.environ[env]] if os.environ.get(env) else []
    for name in names:
        candidates += [os.path.join(d, name) for d in _library_dirs(here)] + [name]
    for path in candidates:
        try:
            return ctypes.CDLL(path)
        except OSError:
            continue
    raise OSError("cannot load %s" % names[0])


_client = None
_agl = None


def _libs():
    global _client, _agl
    if _client is None:
        c = _load("TAVRIX_CLIENT_LIBRARY", ["libtavrixclient.so", "libtavrixclient.so.1"])
        c.tavrix_create.argtypes = [ctypes.POINTER(ctypes.c_void_p)]
        c.tavrix_release.argtypes = [ctypes.c_void_p]
        c.tavrix_last_error.restype = ctypes.c_char_p
        c.tavrix_member_count.argtypes = [ctypes.c_void_p]
        for f in (c.tavrix_member_name, c.tavrix_member_in, c.tavrix_member_out):
            f.argtypes = [ctypes.c_void_p, ctypes.c_int]
            f.restype = ctypes.c_char_p
        c.tavrix_call.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.POINTER(_Value),
                                  ctypes.c_int, ctypes.POINTER(_Value), ctypes.c_int]
        c.tavrix_call.restype = ctypes.c_int32
        c.tavrix_viewer_pid.argtypes = [ctypes.c_void_p]
        c.tavrix_viewer_pid.restype = ctypes.c_long
        _client = c
    if _agl is None:
        a = _load("AGL_LIBRARY", ["libagl.so", "libagl.so.1"])
        a.agl_create.argtypes = [ctypes.POINTER(ctypes.c_void_p), ctypes.c_char_p, ctypes.c_int,
                                 ctypes.c_int, ctypes.c_int, ctypes.POINTER(ctypes.c_int)]
        a.agl_data.argtypes = [ctypes.c_void_p]
        a.agl_data.restype = ctypes.c_void_p
        a.agl_name.argtypes = [ctypes.c_void_p]
        a.agl_name.restype = ctypes.c_char_p
        a.agl_close.argtypes = [ctypes.c_void_p]
        a.agl_error_name.restype = ctypes.c_char_p
        _agl = a
    return _client, _agl


class Viewer:
    """A viewer of our own; it closes when released (unless its user took it over)."""

    def __init__(self):
        client, _ = _libs()
        handle = ctypes.c_void_p()
        code = client.tavrix_create(ctypes.byref(handle))
        if code != 0:
            raise TavrixError("create", code, client.tavrix_last_error().decode())
        members = {}
        for i in range(client.tavrix_member_count(handle)):
            members[client.tavrix_member_name(handle, i).decode()] = (
                client.tavrix_member_in(handle, i).decode(),
                client.tavrix_member_out(handle, i).decode())
        object.__setattr__(self, "_handle", handle)
        object.__setattr__(self, "_members", members)

    @property
    def pid(self):
        return _client.tavrix_viewer_pid(self._handle)

    def members(self):
        """Every member's name, argument and result types, in interface order."""
        return dict(self._members)

    def call(self, method, *args):
        """Calls a member; returns None, its one result, or a tuple of results."""
        if self._handle is None:
            raise TavrixError(method, 0x80010108, "the viewer was released")
        signature = self._members.get(method)
        if signature is None:
            raise TavrixError(method, 0x80020003, "no such member")
        kinds, results = signature
        if len(args) != len(kinds):
            raise TavrixError(method, 0x80020005,
                              "takes %d argument(s), not %d" % (len(kinds), len(args)))
        values = (_Value * max(1, len(args)))()
        keep = []
        for i, (kind, arg) in enumerate(zip(kinds, args)):
            if kind == "s":
                text = arg.encode() if isinstance(arg, str) else bytes(arg)
                keep.append(text)
                values[i].type, values[i].s = _STRING, text
            elif kind == "d":
                values[i].type, values[i].d = _DOUBLE, float(arg)
            else:
                values[i].type, values[i].l = _LONG, ctypes.c_int32(int(arg)).value
        out = (_Value * max(1, len(results)))()
        code = _client.tavrix_call(self._handle, method.encode(), values, len(args), out,
                                   len(results))
        if code != 0:
            raise TavrixError(method, code, _client.tavrix_last_error().decode())
        got = []
        for i, kind in enumerate(results):
            if kind == "s":
                got.append(out[i].s.decode() if out[i].s else "")
            elif kind == "d":
                got.append(out[i].d)
            elif kind == "u":
                got.append(out[i].l & 0xFFFFFFFF)
            else:
                got.append(out[i].l)
        if not got:
            return None
        return got[0] if len(got) == 1 else tuple(got)

    def get(self, prop):
        return self.call("Get" + prop)

    def put(self, prop, value):
        self.call("Put" + prop, value)

    def __getattr__(self, name):
        members = object.__getattribute__(self, "_members")
        if "Get" + name in members:
            return self.get(name)
        if name in members:
            return lambda *args: self.call(name, *args)
        raise AttributeError(name)

    def __setattr__(self, name, value):
        if "Put" + name in self._members:
            self.put(name, value)
        else:
            object.__setattr__(self, name, value)

    def release(self):
        if self._handle is not None:
            handle = self._handle
            object.__setattr__(self, "_handle", None)
            code = _client.tavrix_release(handle)
            if code != 0:
                raise TavrixError("Release", code, _client.tavrix_last_error().decode())

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.release()

    def __del__(self):
        try:
            self.release()
        except Exception:
            pass


_TYPES = {"uint8": AGL_UCHAR, "int8": AGL_CHAR, "uint16": AGL_USHORT, "int16": AGL_SHORT,
          "uint32": AGL_ULONG, "int32": AGL_LONG, "float32": AGL_FLOAT, "float64": AGL_DOUBLE}
_SIZES = {AGL_UCHAR: 1, AGL_CHAR: 1, AGL_USHORT: 2, AGL_SHORT: 2, AGL_ULONG: 4, AGL_LONG: 4,
          AGL_FLOAT: 4, AGL_DOUBLE: 8}


class Segment:
    """A named shared-memory segment of the given shape (C order) and type."""

    def __init__(self, shape, type_code=AGL_FLOAT, name=None):
        _, agl = _libs()
        extents = (ctypes.c_int * len(shape))(*shape)
        handle = ctypes.c_void_p()
        code = agl.agl_create(ctypes.byref(handle), name.encode() if name else None, type_code,
                              AGL_LANG_C, len(shape), extents)
        if code != 0:
            raise TavrixError("agl_create", code, agl.agl_error_name(code).decode())
        self._handle = handle
        self.shape = tuple(shape)
        self.type_code = type_code
        count = 1
        for e in shape:
            count *= e
        self.nbytes = count * _SIZES[type_code]
        self.name = agl.agl_name(handle).decode()

    def buffer(self):
        """The elements as a writable ctypes byte array (no copy)."""
        return (ctypes.c_ubyte * self.nbytes).from_address(_agl.agl_data(self._handle))

    def array(self):
        """The elements as a NumPy array viewing the segment (needs NumPy)."""
        import numpy
        dtype = {v: k for k, v in _TYPES.items()}[self.type_code]
        return numpy.frombuffer(self.buffer(), dtype=dtype).reshape(self.shape)

    def close(self):
        if self._handle is not None:
            _agl.agl_close(self._handle)
            self._handle = None

    def __del__(self):
        try:
            self.close()
        except Exception:
            pass


class Shown:
    """An array in a segment, shown by a viewer; data views the segment.
    converted_from names the NumPy type the array was converted from into
    doubles (None when it was not), imprecise_values how many values did
    not survive that exactly."""

    def __init__(self, viewer, segment):
        self.viewer = viewer
        self.segment = segment
        self.converted_from = None
        self.imprecise_values = 0
        try:
            self.data = segment.array()
        except ImportError:
            self.data = segment.buffer()

    def update(self):
        """Tells the viewer the data changed."""
        self.viewer.call("Update")


def _needs_double_copy(dtype):
    """NumPy's default integer (int64), uint64 and float16: no agl element
    type holds them, so they are shown as doubles."""
    return (dtype.kind in "iu" and dtype.itemsize == 8) or (dtype.kind == "f" and dtype.itemsize == 2)


def _double_copy(array):
    """array as float64, and how many of its values a double cannot hold
    exactly (integers beyond 2^53 in magnitude, rounded to the nearest
    double)."""
    import numpy
    doubles = array.astype(numpy.float64)
    lost = 0
    if array.dtype.kind in "iu":
        beyond = (array > 2 ** 53) if array.dtype.kind == "u" else \
            (array > 2 ** 53) | (array < -(2 ** 53))
        # Exact integers in Python: only the few values beyond 2^53 are looked at.
        lost = sum(1 for v, d in zip(array[beyond].tolist(), doubles[beyond].tolist())
                   if int(d) != v)
    return doubles, lost


def show(array, viewer=None, shape=None, type_code=None, object=None):
    """Copies array (a NumPy array, or a bytes-like object with shape and
    type_code) into a new segment and shows it in viewer (a new one when
    None). Returns a Shown whose data can be changed in place.

    array may also be the path of a file the viewer reads (an HDF, HDF5 or
    NetCDF file, an agl file, ...): the viewer opens it, and shows the object
    named by object (its location "/grp/temp", its number in agltool info's
    list, or its name) when one is given. Returns the viewer then.

    Arrays of int64 (NumPy's default integer), uint64 and float16, which no
    agl element type holds, are shown as doubles: Shown.converted_from names
    the type, and Shown.imprecise_values counts the integers beyond 2^53
    that a double could not hold (a warning says so when there are any)."""
    if isinstance(array, str) or hasattr(array, "__fspath__"):
        path = os.fsdecode(os.fspath(array))
        viewer = viewer or Viewer()
        viewer.put("FileName", path)
        if object is not None:
            viewer.call("ShowObject", str(object))
        viewer.call("ShowWindow", 1)
        return viewer
    if object is not None:
        raise TypeError("object names an object of a file: give the file's path")
    converted_from, imprecise = None, 0
    if hasattr(array, "dtype"):
        shape = array.shape if shape is None else shape
        if type_code is None and _needs_double_copy(array.dtype):
            converted_from = str(array.dtype.name)
            array, imprecise = _double_copy(array)
            if imprecise:
                import warnings
                warnings.warn("tavrix.show: a double copy of %s data; %d value%s beyond 2^53 "
                              "lost precision" % (converted_from, imprecise,
                                                  "" if imprecise == 1 else "s"),
                              stacklevel=2)
        type_code = _TYPES.get(str(array.dtype)) if type_code is None else type_code
        if type_code is None:
            raise TypeError("no agl element type for %s" % array.dtype)
        raw = array.tobytes(order="C")
    else:
        if shape is None or type_code is None:
            raise TypeError("a plain buffer needs shape and type_code")
        raw = bytes(array)
    segment = Segment(shape, type_code)
    if len(raw) != segment.nbytes:
        segment.close()
        raise ValueError("the data has %d bytes, the shape needs %d" % (len(raw), segment.nbytes))
    ctypes.memmove(segment.buffer(), raw, len(raw))
    viewer = viewer or Viewer()
    viewer.put("FileName", segment.name)
    error = viewer.get("ErrorNo")
    if error:
        raise TavrixError("PutFileName", error, "the viewer cannot read " + segment.name)
    viewer.call("ShowWindow", 1)
    shown = Shown(viewer, segment)
    shown.converted_from, shown.imprecise_values = converted_from, imprecise
    return shown
