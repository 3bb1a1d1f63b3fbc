"""Helpers for the X11 tests: programs whose output lines are watched, and
what X says about a window (xwininfo, xprop). Every wait is on something
observed, bounded by a timeout."""
import os
import re
import subprocess
import threading
import time

from world import stop_pid, wait_until


class Program:
    """A process started in a world; its standard output is collected line
    by line. End it with stop()."""

    def __init__(self, argv, env, cwd=None, stdout=None):
        self.lines = []
        self.cond = threading.Condition()
        self.p = subprocess.Popen(argv, env=env, cwd=cwd, stdin=subprocess.PIPE,
                                  stdout=stdout or subprocess.PIPE, stderr=subprocess.PIPE,
                                  start_new_session=True)
        self.err = b""
        self.threads = [threading.Thread(target=self._read_err, daemon=True)]
        if stdout is None:
            self.threads.append(threading.Thread(target=self._read, args=(self.p.stdout,),
                                                 daemon=True))
        for t in self.threads:
            t.start()

    def _read(self, stream):
        for raw in stream:
            with self.cond:
                self.lines.append(raw.decode("utf-8", "replace").rstrip("\n"))
                self.cond.notify_all()

    def _read_err(self):
        for raw in self.p.stderr:
            with self.cond:
                self.err += raw
                self.cond.notify_all()

    def wait_for(self, check, timeout=10, what="output"):
        """Waits until check(lines) is true; returns its value."""
        deadline = time.monotonic() + timeout
        with self.cond:
            while True:
                value = check(self.lines)
                if value:
                    return value
                left = deadline - time.monotonic()
                if left <= 0:
                    raise TimeoutError("timed out waiting for %s; got %r" % (what, self.lines))
                self.cond.wait(left)

    def wait_line(self, prefix, timeout=10):
        def found(lines):
            return next((x for x in lines if x.startswith(prefix)), None)
        return self.wait_for(found, timeout, repr(prefix))

    def wait_err(self, timeout=10):
        deadline = time.monotonic() + timeout
        with self.cond:
            while not self.err.endswith(b"\n"):
                left = deadline - time.monotonic()
                if left <= 0:
                    raise TimeoutError("timed out waiting for standard error")
                self.cond.wait(left)
        return self.err

    def send(self, text):
        self.p.stdin.write(text.encode() + b"\n")
        self.p.stdin.flush()

    def alive(self):
        return self.p.poll() is None

    def stop(self):
        stop_pid(self.p.pid)


class TestWindows(Program):
    """The test window program (test_window.cpp) with its windows ready."""

    def __init__(self, binary, env, *args, count=1):
        super().__init__([binary] + list(args), env)
        self.ids = [line.split()[1] for line in
                    self.wait_for(lambda ls: len(self._ready(ls)) >= count and self._ready(ls),
                                  what="ready")][:count]

    @staticmethod
    def _ready(lines):
        return [x for x in lines if x.startswith("ready ")]

    def state(self, wid):
        """The window's input region, WM_HINTS and WM_PROTOCOLS, as it sees them."""
        start = len(self.lines)
        self.send("state")
        line = self.wait_for(lambda ls: next((x for x in ls[start:]
                                              if x.startswith("state " + wid)), None))
        return line

    def events_since(self, start):
        return [x for x in self.lines[start:] if x.startswith(("button", "key"))]


def xtool(world, *argv):
    return subprocess.run(list(argv), env=world.env, capture_output=True, text=True).stdout


def map_state(world, wid):
    m = re.search(r"Map State: (\w+)", xtool(world, "xwininfo", "-id", wid))
    return m.group(1) if m else None


def wm_state(world, wid):
    """Normal, Iconic, Withdrawn, or None when the window has no WM_STATE."""
    m = re.search(r"window state: (\w+)", xtool(world, "xprop", "-id", wid, "WM_STATE"))
    return m.group(1) if m else None


def has_property(world, wid, name):
    return "not found" not in xtool(world, "xprop", "-id", wid, name)


def _geometry(world, wid):
    out = xtool(world, "xwininfo", "-id", wid)
    return {k: int(re.search(k + r":\s+(-?\d+)", out).group(1))
            for k in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")}


def center(world, wid):
    n = _geometry(world, wid)
    return (n["Absolute upper-left X"] + n["Width"] // 2,
            n["Absolute upper-left Y"] + n["Height"] // 2)


def top(world, wid):
    return _geometry(world, wid)["Absolute upper-left Y"]


def left(world, wid):
    return _geometry(world, wid)["Absolute upper-left X"]


def is_shown(world, wid):
    """Viewable, and managed when a manager runs."""
    return map_state(world, wid) == "IsViewable" and (
        not world.manager or wm_state(world, wid) == "Normal")


def is_hidden(world, wid):
    return map_state(world, wid) == "IsUnMapped" and wm_state(world, wid) in (None, "Withdrawn")


def wait_shown(world, wid, timeout=10):
    wait_until(lambda: is_shown(world, wid), timeout, "window %s shown" % wid)


def find_windows(world, name=None, cls=None):
    """Ids of windows with this exact title or class, as xdotool finds them."""
    argv = ["xdotool", "search"]
    argv += ["--name", "^%s$" % re.escape(name)] if name else ["--class", "^%s$" % re.escape(cls)]
    return ["0x%x" % int(x) for x in xtool(world, *argv).split()]


def click_and_type(world, x, y, keys):
    """Real input through XTEST: never --window, which bypasses the server's routing."""
    subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y), "click", "1"],
                   env=world.env, check=True)
    if keys:
        subprocess.run(["xdotool", "type", "--delay", "1", keys], env=world.env, check=True)


def world_dir(name):
    root = os.environ.get("WINCUE_WORLD")
    base = os.path.dirname(root) if root else "/tmp"
    return os.path.join(base, "x11-%s-%d" % (name, os.getpid()))
