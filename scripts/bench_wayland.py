#!/usr/bin/env python3
"""Figures for the Wayland desktops of the Linux build; a benchmark, not a
test. Under a headless sway:
  - a Find step's latency, from a native window's first frame (sway's "new"
    event, sent as the window maps) to wincue's end line, median and 95th
    percentile over the tries; the title may come in a later event;
  - the CPU share of wincue and of sway while a Find step waits for a window
    that never comes, and of sway with nobody waiting.
Under a headless KWin (kwin_wayland --virtual) the same rows; a window's
first frame is when a KWin script of the bench's own, loaded beside
wincue's, hears of it (windowAdded, clientAdded before Plasma 6, as KWin
takes the mapped window in) and calls the bench back over D-Bus. Under a
headless GNOME Shell the same rows, wincue running as the session's user (the
extension answers no other); a window's first frame is when the shell first
shows it, which wincue's extension signals to every run that registered
(WindowAdded), a listener of the bench's own and wincue alike: the figure is
wincue's own part.
(The shell's Introspect signals a new window some 20 ms earlier, before the
program has drawn it.)
On the wlroots desktop (sway without SWAYSOCK, reached through the window
list its compositors share, and labwc where it is installed) the same rows;
a window's first frame is when the list first shows it to a client of the
bench's own, and beside wincue's figures are wlrctl's (where installed)
doing the same wait: "wlrctl toplevel waitfor".

usage: scripts/bench_wayland.py [TRIES]    (after: cmake --build --preset host)
"""
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

from bench_x11 import CPU_SECONDS, cpu_seconds, find_script, percentiles
from kwindesk import KWinDesk
from swaydesk import SUBSCRIBE, SwayDesk
from wlrdesk import WlrDesk
from world import World, absent, stop_pid

# A native window with its title from the start, until its input ends.
WINDOW = """import gi, os, sys
os.environ.update(GDK_BACKEND="wayland", NO_AT_BRIDGE="1")
gi.require_version("Gtk", "3.0")
from gi.repository import GLib, Gtk
GLib.set_prgname("BenchLate")
w = Gtk.Window(title=sys.argv[1])
w.show_all()
GLib.io_add_watch(GLib.IOChannel.unix_new(0), GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP,
                  lambda *a: Gtk.main_quit())
Gtk.main()
"""
SETTLE = 0.1  # lets a Find reach its waiting state before the window comes


class SwayFirstFrames:
    """When sway reported each program's new window (its "new" event, sent
    as the window maps), by pid."""

    def __init__(self, world):
        self.events = SwayDesk(world.env["SWAYSOCK"])
        assert self.events.message(SUBSCRIBE, json.dumps(["window"]))["success"]

    def wait(self, pid, timeout=20):
        deadline = time.monotonic() + timeout
        while select.select([self.events.s], [], [], max(0, deadline - time.monotonic()))[0]:
            event = self.events.receive()
            if event.get("change") == "new" and event["container"].get("pid") == pid:
                return time.monotonic_ns() / 1e6
        raise TimeoutError("no new window from %d" % pid)

    def close(self):
        self.events.close()


class WlrFirstFrames:
    """When the window list first showed each new window with its title (it
    tells no pid: the window of the wait is the next one)."""

    def __init__(self, world):
        self.desk = WlrDesk(world.env["WAYLAND_DISPLAY"], world.env["XDG_RUNTIME_DIR"])

    def wait(self, pid, timeout=20):
        told = len(self.desk.told)
        self.desk.read(lambda: len(self.desk.told) > told and self.desk.handles.get(
            self.desk.told[-1], {}).get("name"), timeout)
        return time.monotonic_ns() / 1e6

    def close(self):
        self.desk.close()


def end_line(p, got):
    """Notes when wincue's Find ends, as the line arrives."""
    for line in p.stdout:
        if line == b"end   - Find\n":
            got.append(time.monotonic_ns() / 1e6)
            return


def process_cpu_seconds(pid):
    """CPU time of the whole process, threads that have ended included, in
    clock ticks: GNOME Shell starts and ends threads of its own, whose time
    the sum over the live ones (cpu_seconds) loses."""
    fields = Path("/proc/%d/stat" % pid).read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def cpu_shares(world, argv, cwd=None, compositor=None, reader=cpu_seconds, seconds=CPU_SECONDS):
    """CPU shares (% of one core) of the program and of the compositor (its
    pid, read by reader) over seconds."""
    p = subprocess.Popen(argv, cwd=cwd, env=world.env, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    time.sleep(0.5)
    readers = [(p.pid, cpu_seconds), (compositor, reader)]
    before = [read(x) for x, read in readers]
    t0 = time.monotonic()
    time.sleep(seconds)
    elapsed = time.monotonic() - t0
    shares = [100 * (read(x) - b) / elapsed for (x, read), b in zip(readers, before)]
    stop_pid(p.pid)
    return shares


KWIN_LISTENER = """(workspace.windowAdded || workspace.clientAdded).connect(function (c) {
    callDBus("%s", "/", "org.wincue.Bench", "Added", c.pid);
});
"""
LISTENER_XML = """<node><interface name="org.wincue.Bench"><method name="Added">
<arg type="i" direction="in"/></method></interface></node>"""


class KWinFirstFrames:
    """When KWin took in each program's window, by pid, as the bench's own
    KWin script reports it."""

    def __init__(self, world):
        from gi.repository import Gio, GLib
        self.glib, self.added = GLib, {}
        self.desk = KWinDesk(world.env["DBUS_SESSION_BUS_ADDRESS"])
        bus = self.desk.bus
        info = Gio.DBusNodeInfo.new_for_xml(LISTENER_XML).interfaces[0]
        bus.register_object("/", info, self._call, None, None)
        path = world.runtime / "bench-listener.js"
        path.write_text(KWIN_LISTENER % bus.get_unique_name())
        path.chmod(0o644)
        scripting = ("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting")
        self.desk.call(scripting, "loadScript", GLib.Variant("(ss)", (
            str(path), "wincue-bench")), "(i)")
        # Every loaded script not yet running: the script's own object may
        # be another's (KWin numbers them by how many it holds).
        self.desk.call(scripting, "start", None, "()")

    def _call(self, bus, sender, path, interface, method, args, invocation):
        self.added.setdefault(args.unpack()[0], time.monotonic_ns() / 1e6)
        invocation.return_value(None)

    def wait(self, pid, timeout=20):
        context, deadline = self.glib.MainContext.default(), time.monotonic() + timeout
        while pid not in self.added:
            if time.monotonic() > deadline:
                raise TimeoutError("KWin never took in a window of %d" % pid)
            context.iteration(True)
        return self.added[pid]

    def close(self):
        self.desk.call(("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting"), "unloadScript",
                       self.glib.Variant("(s)", ("wincue-bench",)), "(b)")
        self.desk.close()


# A listener of the session's user, whom alone the extension tells: registers
# as a run does, then prints the pid of each window shown, and when.
GNOME_LISTENER = """import sys, time
sys.path.insert(0, %r)
from gi.repository import GLib
from gnomedesk import GnomeDesk
desk = GnomeDesk()
desk.bus.signal_subscribe("org.wincue.Shell", "org.wincue.Shell", "WindowAdded",
                          "/org/wincue/Shell", None, 0, lambda *a: print(
                              a[5].unpack()[0][3], time.monotonic_ns() / 1e6, flush=True))
desk.extension("Register")
print("ready", flush=True)
GLib.MainLoop().run()
"""


class GnomeFirstFrames:
    """When GNOME Shell first showed each program's window, by pid, as
    wincue's extension signals it to a run that registered."""

    def __init__(self, world):
        self.shown, self.text = {}, b""
        self.listener = subprocess.Popen(world.user + [sys.executable, "-c", GNOME_LISTENER % str(
            world.root / "scripts")], env=world.env, stdout=subprocess.PIPE)
        self.wait("ready")

    def wait(self, pid, timeout=20):
        """When the window of pid was first shown ("ready": the listener has
        registered)."""
        deadline, fd = time.monotonic() + timeout, self.listener.stdout.fileno()
        while pid not in self.shown:
            ready = select.select([fd], [], [], max(0, deadline - time.monotonic()))[0]
            got = os.read(fd, 4096) if ready else b""
            if not got:
                raise TimeoutError("GNOME Shell never showed a window of %s" % pid)
            *lines, self.text = (self.text + got).split(b"\n")
            for line in lines:
                key, _, when = line.decode().partition(" ")
                self.shown.setdefault(key if key == "ready" else int(key), float(when or 0))
        return self.shown[pid]

    def close(self):
        self.listener.kill()
        self.listener.wait()


def as_user(world, path):
    """A folder of the bench's own that the world's user (GNOME's) can run
    wincue in, and pass through."""
    if world.user:
        os.chmod(path, os.stat(path).st_mode | 0o055)
    return path


def wincue(world):
    """The program as the world's user reaches it."""
    return str(world.build / "host" / "wincue")


def exited(p, got):
    p.wait()
    got.append(time.monotonic_ns() / 1e6)


def latency(world, root, title, frames, peer=None):
    """From the window's first frame to wincue's end line, or to the exit of
    the peer (wlrctl), which says nothing when it has started to wait."""
    p = subprocess.Popen(peer + ["title:" + title] if peer else world.user + [wincue(world)],
                         cwd=as_user(world, find_script(root, title)), env=world.env,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    window = None
    try:
        while not peer and p.stdout.readline() != b"start - Find\n":
            pass
        ended = []
        reader = threading.Thread(target=exited if peer else end_line, args=(p, ended))
        reader.start()
        time.sleep(SETTLE * (1 + 4 * bool(peer)))
        window = subprocess.Popen([sys.executable, "-c", WINDOW, title], env=world.env,
                                  stdin=subprocess.PIPE, stderr=subprocess.DEVNULL)
        shown = frames.wait(window.pid)
        reader.join(20)
        return ended[0] - shown
    finally:
        stop_pid(p.pid)
        if window:
            window.stdin.close()
            window.wait(20)


# Each compositor: its world, how a window's first frame is heard, which of
# the world's processes is the compositor, and how its CPU time is read, over
# how long (GNOME Shell's in clock ticks: 20 s give 0.05 %).
COMPOSITORS = {"sway": (SwayFirstFrames, 0, cpu_seconds, CPU_SECONDS),
               "kwin": (KWinFirstFrames, -1, cpu_seconds, CPU_SECONDS),
               "gnome": (GnomeFirstFrames, -1, process_cpu_seconds, 20),
               "sway through the window list": (WlrFirstFrames, 0, cpu_seconds, CPU_SECONDS),
               "labwc": (WlrFirstFrames, 0, cpu_seconds, CPU_SECONDS)}
PEER = ["wlrctl", "toplevel", "waitfor"]


def measure(compositor, tries, root):
    world = World(Path(root) / ("world-" + compositor.split()[0]),
                  manager=compositor.split()[0]).start()
    frames_of, which, reader, seconds = COMPOSITORS[compositor]
    if frames_of is WlrFirstFrames:
        world.env.pop("SWAYSOCK", None)  # sway is then reached as any wlroots compositor
    # The bench's own folders only: root, and the scratch folder of
    # bench.py's that holds it.
    for d in (Path(root), Path(root).parent):
        if d == Path(root) or d.name.startswith("wincue-bench-"):
            as_user(world, d)
    figures = {}
    try:
        frames = frames_of(world)
        try:
            w = [latency(world, root, "late %d" % i, frames) for i in range(tries)]
        finally:
            frames.close()
        figures["find"] = "%.2f / %.2f ms" % percentiles(w)
        pid = world.pids[which]
        idle = cpu_shares(world, ["sleep", "60"], compositor=pid, reader=reader,
                          seconds=seconds)
        cpu = cpu_shares(world, world.user + [wincue(world)],
                         as_user(world, find_script(root, "never comes")), compositor=pid,
                         reader=reader, seconds=seconds)
        figures["cpu"] = "%.3f %%" % cpu[0]
        figures["cpu-compositor"] = "%.3f %% (idle %.3f %%)" % (cpu[1], idle[1])
        if frames_of is WlrFirstFrames:
            figures["peer-find"] = figures["peer-cpu"] = \
                "not measured: wlrctl is not installed here (Debian 13 packages it)"
        if frames_of is WlrFirstFrames and shutil.which(PEER[0]):
            frames = frames_of(world)
            try:
                w = [latency(world, root, "peer %d" % i, frames, PEER) for i in range(tries)]
            finally:
                frames.close()
            figures["peer-find"] = "%.2f / %.2f ms" % percentiles(w)
            cpu = cpu_shares(world, PEER + ["title:never comes"], compositor=pid, reader=reader,
                             seconds=seconds)
            figures["peer-cpu"] = "%.3f %% (the compositor %.3f %%)" % tuple(cpu)
    finally:
        world.stop()
    return figures


ROWS = [
    ("find", "Find latency from the first frame, median / p95", "<= X11's"),
    ("cpu", "CPU while Find waits: wincue", "< 0.2 %"),
    ("cpu-compositor", "  the compositor meanwhile", "as idle"),
    ("peer-find", "  wlrctl's waitfor latency, median / p95", ""),
    ("peer-cpu", "  wlrctl's CPU while it waits", ""),
]


def main():
    tries = int(sys.argv[1]) if len(sys.argv) > 1 else 30
    root = tempfile.mkdtemp(prefix="wincue-bench-")
    try:
        figures = {c: measure(c, tries, root) for c in COMPOSITORS if not absent(c.split()[0])}
    finally:
        shutil.rmtree(root, ignore_errors=True)
    for compositor, f in figures.items():
        for key, label, goal in [r for r in ROWS if r[0] in f]:
            print("%-50s %-24s %s" % (compositor + ": " + label, f[key], goal))


if __name__ == "__main__":
    main()
