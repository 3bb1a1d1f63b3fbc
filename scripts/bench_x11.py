#!/usr/bin/env python3
"""Figures for the X11 desktop of the Linux build; a benchmark, not a test.

On a private Xvfb holding 100 client windows, with no window manager and
with openbox:
  - the cost of one Find pass (bench/x11_bench.cpp), and over 5,000
    unmapped windows from 25 clients;
  - a Find step's latency, from a window's creation to wincue's end line,
    and for the same kind of window `xdotool search --sync`'s and, under
    openbox, devilspie2's (a rule that writes a line when the window
    opens; it sees windows through the manager's client list), median and
    95th percentile over the tries;
  - Enable=0 and Enable=1 over 1,000 windows: the run's time, and the
    round trips it waits for (the polls xcb makes, counted by strace) a
    window;
  - the CPU share of wincue, Xvfb and the manager while a Find step waits
    for a window that never comes, of `xdotool search --sync` and
    devilspie2 likewise, and of Xvfb and the manager with nobody waiting;
    wincue's also while a Find with a Timeout and a Gone step wait;
  - how late a Find gives up after its Timeout, from its start line.

usage: scripts/bench_x11.py [TRIES]    (after: cmake --build --preset host)
"""
import os
import select
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
from world import World, stop_pid  # noqa: E402
from xdesk import Desk  # noqa: E402

BUILD = ROOT / "build" / "host"
WINCUE = str(BUILD / "wincue")
PASS_BENCH = str(BUILD / "bench" / "x11_bench")
WINDOWS = 100
CROWD_CLIENTS, CROWD_EACH = 25, 200  # the few-thousand-window desktop
SETTLE = 0.05  # lets the waiting side reach its steady state before the window comes
CPU_SECONDS = 5


def cpu_seconds(pid):
    """CPU time of all the process's threads; to the microsecond where the
    kernel keeps it (/proc/PID/task/*/sched), else in clock ticks."""
    total, found = 0.0, False
    for task in Path("/proc/%d/task" % pid).glob("*"):
        try:
            for line in (task / "sched").read_text().splitlines():
                if line.startswith("se.sum_exec_runtime"):
                    total += float(line.split(":")[1]) / 1000
                    found = True
        except OSError:
            pass
    if found:
        return total
    fields = Path("/proc/%d/stat" % pid).read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def find_script(root, title, action="Find", more=""):
    d = tempfile.mkdtemp(dir=root)
    Path(d, "config.ini").write_text("[Section0]\nAction=%s\nText=%s\n%s" % (action, title, more))
    return d


def timeout_lateness(world, root, ms):
    """How long after its Timeout a Find for no window gives up: from the
    start line to the fail line, less the Timeout, in ms."""
    p = subprocess.Popen([WINCUE], cwd=find_script(root, "never", more="Timeout=%d\n" % ms),
                         env=world.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    while p.stdout.readline() != b"start - Find\n":
        pass
    started = time.monotonic_ns() / 1e6
    while p.stdout.readline() != b"fail  - Find\n":
        pass
    ended = time.monotonic_ns() / 1e6
    p.wait()
    return ended - started - ms


def create_late(desk, title):
    """Makes the window the waiting side looks for; the time just before, in ms."""
    t = time.monotonic_ns() / 1e6
    desk.make_window("BenchLate", title)
    return t


def wincue_latency(world, root, title):
    desk = Desk(world.env["DISPLAY"])
    p = subprocess.Popen([WINCUE], cwd=find_script(root, title), env=world.env,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    while p.stdout.readline() != b"start - Find\n":
        pass
    time.sleep(SETTLE)
    created = create_late(desk, title)
    while p.stdout.readline() != b"end   - Find\n":
        pass
    ended = time.monotonic_ns() / 1e6
    p.wait()
    desk.close()
    return ended - created


def xdotool_latency(world, title):
    desk = Desk(world.env["DISPLAY"])
    p = subprocess.Popen(["xdotool", "search", "--sync", "--name", "^%s$" % title],
                         env=world.env, stdout=subprocess.DEVNULL)
    time.sleep(SETTLE)
    created = create_late(desk, title)
    p.wait()
    ended = time.monotonic_ns() / 1e6
    desk.close()
    return ended - created


DEVILSPIE_RULE = """if string.find(get_window_name(), "^dp ") then
  io.stderr:write("matched " .. get_window_name() .. "\\n")
end
"""


class Devilspie:
    """devilspie2 with one rule: a line on stderr for each window whose
    title starts with "dp " (stderr: its stdout is buffered in a pipe)."""

    def __init__(self, world, root):
        folder = tempfile.mkdtemp(dir=root)
        Path(folder, "rule.lua").write_text(DEVILSPIE_RULE)
        self.argv = ["devilspie2", "--folder", folder]
        self.p = subprocess.Popen(self.argv, env=world.env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.PIPE)
        self.buf = b""
        self.desk = Desk(world.env["DISPLAY"])
        probe = self.desk.make_window("BenchLate", "dp ready")
        self.wait_match("dp ready")  # it has started and sees new windows
        self.desk.destroy(probe)

    def wait_match(self, title, timeout=10):
        want = ("matched %s\n" % title).encode()
        deadline = time.monotonic() + timeout
        while want not in self.buf:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.p.stderr], [], [], left)[0]:
                raise RuntimeError("devilspie2 never matched %r" % title)
            chunk = os.read(self.p.stderr.fileno(), 4096)
            if not chunk:
                raise RuntimeError("devilspie2 ended")
            self.buf += chunk
        self.buf = self.buf.split(want, 1)[1]

    def latency(self, title):
        """ms from the window's creation to the rule's line; None when no
        line comes within 3 s."""
        time.sleep(SETTLE)
        created = create_late(self.desk, title)
        try:
            self.wait_match(title, timeout=3)
        except RuntimeError:
            return None
        return time.monotonic_ns() / 1e6 - created

    def stop(self):
        stop_pid(self.p.pid)
        self.desk.close()


def crowd_figures(world):
    """A Find pass over 5,000 unmapped windows from 25 clients."""
    crowd = [Desk(world.env["DISPLAY"]) for _ in range(CROWD_CLIENTS)]
    try:
        for c, desk in enumerate(crowd):
            for i in range(CROWD_EACH):
                desk.make_window("Crowd", "crowd %d %d" % (c, i), mapped=False)
        out = subprocess.run([PASS_BENCH, "500"], env=world.env, capture_output=True,
                             text=True, check=True).stdout.split("\n")
        got = dict(line.split(" ", 1) for line in out if line)
        median, p95, least = got["pass-us"].split()
        return {"crowd": got["windows"],
                "crowd-first": "%.1f ms" % (float(got["first-pass-us"]) / 1000),
                "crowd-pass": "%s / %s us" % (median, p95)}
    finally:
        for desk in crowd:
            desk.close()


ENABLE_WINDOWS = 1000


def step_script(root, action, **values):
    d = tempfile.mkdtemp(dir=root)
    Path(d, "config.ini").write_text("[Section0]\nAction=%s\n%s" % (
        action, "".join("%s=%s\n" % kv for kv in values.items())))
    return d


def round_trips(world, directory):
    """The round trips a run makes: each wait that follows sending requests
    (a writev, then a poll); events arriving meanwhile only add polls."""
    trace = subprocess.run(["strace", "-qq", "-e", "trace=writev,poll", WINCUE], cwd=directory,
                           env=world.env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                           check=True).stderr.decode().splitlines()
    calls = [line.split("(", 1)[0] for line in trace]
    return sum(1 for a, b in zip(calls, calls[1:]) if (a, b) == ("writev", "poll"))


def enable_figures(world, root, tries):
    """Enable=0 then Enable=1 over 1,000 mapped windows of one class: the
    median time of a whole run, and the round trips a window."""
    desk = Desk(world.env["DISPLAY"])
    figures = {}
    try:
        for i in range(ENABLE_WINDOWS):
            desk.make_window("Thousand", "thousand %d" % i, at=(0, 0, 20, 20))
        runs = {v: step_script(root, "Enable", Enable=v, ClassName="Thousand") for v in "01"}
        took = {"0": [], "1": []}
        for _ in range(tries):
            for value in "01":  # Enable=1 over the windows the run before disabled
                t = time.monotonic()
                subprocess.run([WINCUE], cwd=runs[value], env=world.env,
                               stdout=subprocess.DEVNULL, check=True)
                took[value].append((time.monotonic() - t) * 1000)
        for value in "01":
            figures["enable" + value] = "%.0f ms, %.2f round trips" % (
                statistics.median(took[value]), round_trips(world, runs[value]) / ENABLE_WINDOWS)
    finally:
        desk.close()
    return figures


def waiting_cpu(world, argv, cwd=None):
    """CPU shares (% of one core) of the waiting program, Xvfb and the
    manager while the program waits for a window that never comes."""
    p = subprocess.Popen(argv, cwd=cwd, env=world.env, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    time.sleep(0.5)
    pids = [p.pid] + world.pids[:2]
    before = [cpu_seconds(x) for x in pids]
    t0 = time.monotonic()
    time.sleep(CPU_SECONDS)
    elapsed = time.monotonic() - t0
    shares = [100 * (cpu_seconds(x) - b) / elapsed for x, b in zip(pids, before)]
    stop_pid(p.pid)
    return shares + [None] * (3 - len(shares))


def percentiles(values):
    values = sorted(values)
    return statistics.median(values), values[min(len(values) - 1, len(values) * 95 // 100)]


def measure(manager, tries, root):
    world = World(Path(root) / ("world-%s" % (manager or "none")), manager=manager).start()
    figures = {}
    try:
        many = Desk(world.env["DISPLAY"])
        for i in range(WINDOWS):
            many.make_window("Bench", "bench %d" % i, at=(0, 0, 40, 30))
        out = subprocess.run([PASS_BENCH, "5000"], env=world.env, capture_output=True,
                             text=True, check=True).stdout.split("\n")
        got = dict(line.split(" ", 1) for line in out if line)
        figures["windows"] = got["windows"]
        figures["first"] = "%.1f ms" % (float(got["first-pass-us"]) / 1000)
        median, p95, least = got["pass-us"].split()
        figures["pass"] = "%s / %s us" % (median, p95)
        w = [wincue_latency(world, root, "late %d" % i) for i in range(tries)]
        figures["find"] = "%.2f / %.2f ms" % percentiles(w)
        x = [xdotool_latency(world, "xdotool late %d" % i) for i in range(tries)]
        figures["xdotool"] = "%.0f / %.0f ms" % percentiles(x)
        figures["devilspie"] = figures["cpu-devilspie"] = "-"
        if manager:  # it sees windows through the manager's client list
            dp = Devilspie(world, root)
            d = [dp.latency("dp late %d" % i) for i in range(tries)]
            dp.stop()
            seen = [v for v in d if v is not None]
            figures["devilspie"] = "%.2f / %.2f ms" % percentiles(seen) if seen else "none"
            if len(seen) < len(d):
                figures["devilspie"] += " (%d of %d missed)" % (len(d) - len(seen), len(d))
            dcpu = waiting_cpu(world, dp.argv)
            figures["cpu-devilspie"] = "%.2f %% (Xvfb %.2f %%)" % (dcpu[0], dcpu[1])
        idle = waiting_cpu(world, ["sleep", "60"])
        figures["cpu-idle"] = "Xvfb %.2f %%, manager %s" % (
            idle[1], "%.2f %%" % idle[2] if idle[2] is not None else "-")
        cpu = waiting_cpu(world, [WINCUE], find_script(root, "never comes"))
        figures["cpu"] = "%.2f %%" % cpu[0]
        figures["cpu-x"] = "%.2f %%" % cpu[1]
        figures["cpu-wm"] = "%.2f %%" % cpu[2] if cpu[2] is not None else "-"
        timed = waiting_cpu(world, [WINCUE], find_script(root, "never comes", more="Timeout=60000\n"))
        gone = waiting_cpu(world, [WINCUE], find_script(root, "bench 0", "Gone"))
        figures["cpu-waits"] = "%.2f %% / %.2f %%" % (timed[0], gone[0])
        late = [timeout_lateness(world, root, 1500) for _ in range(5)]
        figures["late"] = "%.1f / %.1f ms" % (statistics.median(late), max(late))
        xcpu = waiting_cpu(world, ["xdotool", "search", "--sync", "--name", "^never comes$"])
        figures["cpu-xdotool"] = "%.2f %% (Xvfb %.2f %%)" % (xcpu[0], xcpu[1])
        many.close()
        figures.update(enable_figures(world, root, max(3, tries // 3)))
        figures.update(crowd_figures(world))
    finally:
        world.stop()
    return figures


ROWS = [
    ("windows", "top-level windows visited", ""),
    ("first", "first pass (builds the cache)", ""),
    ("pass", "one Find pass, median / p95", "<= 50 us"),
    ("find", "Find latency, median / p95", "<= 4 ms median"),
    ("xdotool", "xdotool search --sync, median / p95", ""),
    ("devilspie", "devilspie2 rule on a new window, median / p95", ""),
    ("enable0", "Enable=0 over 1,000 windows, a window:", "<= 1 round trip"),
    ("enable1", "Enable=1 over 1,000 windows, a window:", "<= 1 round trip"),
    ("cpu", "CPU while Find waits: wincue", "<= 0.2 % (openbox)"),
    ("cpu-x", "  Xvfb meanwhile", "as idle"),
    ("cpu-wm", "  window manager meanwhile", ""),
    ("cpu-idle", "CPU with nobody waiting", ""),
    ("cpu-waits", "CPU while Find Timeout=60000 / Gone waits", "<= 0.2 % (openbox)"),
    ("late", "Find Timeout=1500 gives up late by, median / max", "a few ms"),
    ("cpu-xdotool", "CPU while xdotool --sync waits", ""),
    ("cpu-devilspie", "CPU while devilspie2 waits", ""),
    ("crowd", "windows in the crowd (unmapped)", ""),
    ("crowd-first", "  first pass over the crowd", ""),
    ("crowd-pass", "  one Find pass over the crowd, median / p95", ""),
]


def main():
    tries = int(sys.argv[1]) if len(sys.argv) > 1 else 30
    root = tempfile.mkdtemp(prefix="wincue-bench-")
    try:
        columns = [("no manager", measure(None, tries, root)),
                   ("openbox", measure("openbox", tries, root))]
    finally:
        shutil.rmtree(root, ignore_errors=True)
    print("X11 desktop, %d client windows, %d tries, %d cores, load average %.2f" %
          (WINDOWS, tries, os.cpu_count(), os.getloadavg()[0]))
    print("%-46s %-24s %-30s %s" % ("", columns[0][0], columns[1][0], "goal"))
    for key, label, goal in ROWS:
        print("%-46s %-24s %-30s %s" % (label, columns[0][1][key], columns[1][1][key], goal))


if __name__ == "__main__":
    main()
