#!/usr/bin/env python3
"""The viewer driven as a user's hand drives it: xdotool moves the real
pointer and presses real keys on the window of a running tavrix, and the
effects are read back from outside, from pictures of the window.

    viewer_by_hand.py TAVRIX FILE.agl

Runs its own X server (Xvfb), so that no other test's windows or pointer
moves get in the way. Exits 77 (skipped) when Xvfb, xdotool or ImageMagick's
import is missing.

Checked:
  - a left drag across the graph rotates it: the graph pane changes, and a
    drag back by the same distance brings the same picture back;
  - Right and Up arrow keys move the graph's cursor one column right and one
    row on, and the spreadsheet's marker follows it (one column to the right,
    then one row down).
Every wait is for a condition, with a time-out.
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIPPED = 77


class Failure(Exception):
    pass


def wait_for(what, done, timeout):
    """Polls done() until it returns something true; that value, or Failure."""
    end = time.monotonic() + timeout
    while True:
        value = done()
        if value:
            return value
        if time.monotonic() > end:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.2)


class Picture:
    """An RGB picture of a window, read from a binary PPM."""

    def __init__(self, ppm):
        fields = []
        pos = 0
        while len(fields) < 4:
            while ppm[pos : pos + 1].isspace():
                pos += 1
            if ppm[pos : pos + 1] == b"#":
                pos = ppm.index(b"\n", pos) + 1
                continue
            end = pos
            while not ppm[end : end + 1].isspace():
                end += 1
            fields.append(ppm[pos:end])
            pos = end
        if fields[0] != b"P6" or int(fields[3]) != 255:
            raise Failure("unexpected picture format %r" % fields[:1])
        self.width, self.height = int(fields[1]), int(fields[2])
        self.data = ppm[pos + 1 : pos + 1 + 3 * self.width * self.height]
        if len(self.data) != 3 * self.width * self.height:
            raise Failure("short picture")

    def rgb(self, x, y):
        i = 3 * (y * self.width + x)
        return self.data[i], self.data[i + 1], self.data[i + 2]

    def rows(self, top, bottom):
        """The bytes of the rows top..bottom-1."""
        return self.data[3 * top * self.width : 3 * bottom * self.width]


def changed_fraction(a, b, top, bottom):
    """The share of pixels that differ in rows top..bottom-1."""
    ra, rb = a.rows(top, bottom), b.rows(top, bottom)
    differ = sum(1 for i in range(0, len(ra), 3) if ra[i : i + 3] != rb[i : i + 3])
    return differ / max(1, len(ra) // 3)


class Viewer:
    def __init__(self, tavrix, agl, work):
        self.env = dict(os.environ)
        self.work = work
        self.xvfb = None
        self.app = None
        self.tavrix, self.agl = tavrix, agl

    def start(self):
        # Our own X server; it writes its display number to the pipe.
        r, w = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(w), "-screen", "0", "800x700x24", "-nolisten", "tcp"],
            pass_fds=(w,),
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
        )
        os.close(w)
        number = b""
        end = time.monotonic() + 60
        while not number.endswith(b"\n"):
            if time.monotonic() > end:
                raise Failure("Xvfb did not start")
            chunk = os.read(r, 16)
            if not chunk:
                raise Failure("Xvfb ended at start-up")
            number += chunk
        os.close(r)
        runtime = os.path.join(self.work, "runtime")
        os.mkdir(runtime, 0o700)
        self.env.update(
            DISPLAY=":" + number.decode().strip(),
            XDG_RUNTIME_DIR=runtime,
            XDG_CONFIG_HOME=os.path.join(self.work, "config"),
            QT_QPA_PLATFORM="xcb",
        )
        self.app = subprocess.Popen(
            [self.tavrix, self.agl], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE
        )
        name = os.path.basename(self.agl)
        out = self.xdotool(["search", "--sync", "--onlyvisible", "--name", name], timeout=120)
        self.window = out.split()[0]

    def stop(self):
        for p in (self.app, self.xvfb):
            if p and p.poll() is None:
                p.send_signal(signal.SIGTERM)
                try:
                    p.wait(timeout=20)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()

    def alive(self):
        if self.app.poll() is not None:
            raise Failure("tavrix ended (%s): %s" % (self.app.returncode, self.app.stderr.read()))

    def xdotool(self, args, timeout=60):
        self.alive()
        done = subprocess.run(
            ["xdotool"] + args, env=self.env, capture_output=True, timeout=timeout, text=True
        )
        if done.returncode != 0:
            raise Failure("xdotool %s: %s" % (" ".join(args), done.stderr))
        return done.stdout

    def picture(self):
        self.alive()
        done = subprocess.run(
            ["import", "-window", self.window, "-depth", "8", "ppm:-"],
            env=self.env,
            capture_output=True,
            timeout=60,
        )
        if done.returncode != 0:
            raise Failure("import: %s" % done.stderr.decode(errors="replace"))
        return Picture(done.stdout)

    def settled(self, top, bottom, quiet=3.0):
        """A picture whose rows top..bottom-1 stayed the same for a quiet
        time (levels of detail and anti-aliasing passes have finished).

        The levels step up once a second and the passes start a second
        after the last one, but the render thread runs at the lowest
        priority: on a busy machine it can pause for seconds between two
        steps. So the quiet time grows to twice the longest pause seen
        between two changes, and the picture must then look the same at a
        second check one more quiet time later."""
        state = {"last": None, "since": time.monotonic(), "gap": 0.0, "seen": None}

        def still():
            p = self.picture()
            now = time.monotonic()
            last = state["last"]
            if last is None or last.rows(top, bottom) != p.rows(top, bottom):
                state["gap"] = max(state["gap"], now - state["since"])
                state["since"] = now
                state["last"] = p
                state["seen"] = None
                return None
            wait = min(30.0, max(quiet, 2.0 * state["gap"]))
            if now - state["since"] < wait:
                return None
            if state["seen"] is None:
                state["seen"] = now
                return None
            if now - state["seen"] < wait:
                return None
            return p

        return wait_for("the graph to settle", still, 240)


def block_difference(a, b, top, bottom, block=16, limit=40):
    """The share of block x block squares in rows top..bottom-1 that tell two
    views apart by the surface's colours alone: the mean colour of each
    block's coloured pixels (the palette's, not the black mesh lines, the
    white background or the grey walls), or whether the block shows the
    surface at all. A turned camera moves the coloured shapes; a finer or
    coarser level of detail of the same view changes the mesh lines, which
    are left out."""

    def coloured(p, x0, y0):
        s = [0, 0, 0]
        n = 0
        for y in range(y0, y0 + block):
            for x in range(x0, x0 + block):
                r, g, b_ = p.rgb(x, y)
                if max(r, g, b_) - min(r, g, b_) > 80:
                    s[0] += r
                    s[1] += g
                    s[2] += b_
                    n += 1
        return (s, n)

    differ = total = 0
    for y0 in range(top, bottom - block + 1, block):
        for x0 in range(0, a.width - block + 1, block):
            (sa, na), (sb, nb) = coloured(a, x0, y0), coloured(b, x0, y0)
            some = block * block // 8
            if na < some and nb < some:
                continue
            total += 1
            if (na < some) != (nb < some):
                differ += 1
            elif sum(abs(sa[c] / na - sb[c] / nb) for c in range(3)) / 3 > limit:
                differ += 1
    return differ / max(1, total)


def shows_surface(p, top, bottom):
    """Whether rows top..bottom-1 show the surface: a few hundred pixels in
    the palette's colours (not the black mesh, the white background or the
    grey walls)."""
    n = 0
    for y in range(top, bottom, 2):
        for x in range(0, p.width, 2):
            r, g, b = p.rgb(x, y)
            if max(r, g, b) - min(r, g, b) > 80:
                n += 1
                if n >= 200:
                    return True
    return False


def marker_centre(p, top, bottom):
    """The centre of the spreadsheet's marker: the saturated blue cell."""
    xs = ys = n = 0
    for y in range(top, bottom):
        for x in range(p.width):
            r, g, b = p.rgb(x, y)
            if b > 150 and r < 110 and b - r > 90:
                xs += x
                ys += y
                n += 1
    return (xs / n, ys / n) if n > 50 else None


def graph_band(p):
    """Rows of the graph pane, well inside it: the lower half of the window
    down to above the status bar (the spreadsheet takes the upper part)."""
    return p.height // 2, p.height - 30


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    for tool in ("Xvfb", "xdotool", "import"):
        if shutil.which(tool) is None:
            print("skipped: %s is not installed" % tool)
            return SKIPPED
    tavrix, agl = sys.argv[1], os.path.abspath(sys.argv[2])
    with tempfile.TemporaryDirectory(prefix="viewer_by_hand.") as work:
        v = Viewer(tavrix, agl, work)
        try:
            v.start()
            first = v.picture()
            top, bottom = graph_band(first)
            sheet_top, sheet_bottom = 50, top
            v.xdotool(["windowfocus", "--sync", v.window])
            # The pointer rests off the graph, as after each drag below: a
            # pointer resting on it brings up a data tip after a while, and
            # the first picture would have it or not by chance.
            v.xdotool(["mousemove", "--window", v.window, "5", str(sheet_top + 5)])
            # The graph pane stays blank until the render thread's first
            # frame, and at its low priority that can take many seconds on a
            # busy machine: a blank pane that stays still is no picture yet.
            wait_for(
                "the graph's first picture", lambda: shows_surface(v.picture(), top, bottom), 240
            )
            before = v.settled(top, bottom)
            marker = wait_for(
                "the spreadsheet's marker", lambda: marker_centre(before, sheet_top, sheet_bottom), 5
            )

            # Rotate: press on the graph, move right in steps, release.
            cx, cy = before.width // 2, (top + bottom) // 2
            drag = ["mousemove", "--window", v.window, str(cx), str(cy), "mousedown", "1"]
            for dx in range(10, 61, 10):
                drag += ["mousemove", "--window", v.window, str(cx + dx), str(cy)]
            # Then off the graph: a pointer resting there would bring up a
            # data tip over the picture.
            drag += ["mouseup", "1", "mousemove", "--window", v.window, "5", str(sheet_top + 5)]
            v.xdotool(drag)
            wait_for(
                "the drag to turn the graph",
                lambda: changed_fraction(before, v.picture(), top, bottom) > 0.05,
                120,
            )
            turned = v.settled(top, bottom)
            share = changed_fraction(before, turned, top, bottom)
            blocks = block_difference(before, turned, top, bottom)
            print(
                "drag right: %.1f%% of the graph pane changed, %.1f%% of its blocks"
                % (100 * share, 100 * blocks)
            )
            if blocks < 0.05:
                raise Failure("the drag turned too little of the graph to tell")
            if marker_centre(turned, sheet_top, sheet_bottom) != marker:
                raise Failure("the drag moved the spreadsheet's marker")

            # The same distance back turns the camera back: the same picture.
            back = ["mousemove", "--window", v.window, str(cx + 60), str(cy), "mousedown", "1"]
            for dx in range(50, -1, -10):
                back += ["mousemove", "--window", v.window, str(cx + dx), str(cy)]
            back += ["mouseup", "1", "mousemove", "--window", v.window, "5", str(sheet_top + 5)]
            v.xdotool(back)
            # The same view again. Not always to the pixel: the levels of
            # detail adapt their budgets to the frame times, so on a busy
            # machine the drag's slow frames may leave a coarser finest level
            # than the first picture had. The shapes are where they were.
            # Waited for as such: the render thread runs at the lowest
            # priority and may not draw for many seconds on a busy machine,
            # so a picture that merely stayed still can still be the turned
            # one.
            seen = {}

            def turned_back():
                p = v.picture()
                seen["last"] = p
                return block_difference(before, p, top, bottom) <= blocks / 5

            try:
                wait_for("the drag back to turn the graph back", turned_back, 180)
            except Failure:
                pass
            back = seen["last"]
            share = changed_fraction(before, back, top, bottom)
            blocks_back = block_difference(before, back, top, bottom)
            print(
                "drag back: %.1f%% of the graph pane differs from the first picture, "
                "%.1f%% of its blocks" % (100 * share, 100 * blocks_back)
            )
            if blocks_back > blocks / 5:
                raise Failure("the drag back did not turn the graph back")

            # Arrow keys go to the graph (it has the focus since the press):
            # Right moves the cursor one column on, Up one row on, and the
            # spreadsheet's marker follows.
            x0, y0 = marker
            v.xdotool(["key", "--clearmodifiers", "Right"])
            right = wait_for(
                "the marker to move right",
                lambda: (lambda m: m if m and m[0] > x0 + 20 else None)(
                    marker_centre(v.picture(), sheet_top, sheet_bottom)
                ),
                60,
            )
            if abs(right[1] - y0) > 2:
                raise Failure("Right moved the marker to another row: %r -> %r" % (marker, right))
            v.xdotool(["key", "--clearmodifiers", "Up"])
            up = wait_for(
                "the marker to move a row down",
                lambda: (lambda m: m if m and m[1] > y0 + 8 else None)(
                    marker_centre(v.picture(), sheet_top, sheet_bottom)
                ),
                60,
            )
            if abs(up[0] - right[0]) > 2:
                raise Failure("Up moved the marker to another column: %r -> %r" % (right, up))
            print("keys: marker %r -> %r -> %r" % (marker, right, up))
            v.alive()
        except (Failure, subprocess.TimeoutExpired) as e:
            print("FAILED:", e)
            try:
                shot = v.picture()
                # Kept beside the other temporary files, never in the tree.
                path = os.path.join(tempfile.gettempdir(), "viewer_by_hand_failure.ppm")
                with open(path, "wb") as f:
                    f.write(b"P6\n%d %d\n255\n" % (shot.width, shot.height) + shot.data)
                print("picture of the window:", path)
            except Exception:
                pass
            return 1
        finally:
            v.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
