#!/usr/bin/env python3
"""Figures for the X11 desktop of the Linux build; a benchmark, not a test.

On a private Xvfb holding 100 client windows, with no window manager and
with openbox:
  - the cost of one Find pass (bench/x11_bench.cpp);
  - a Find step's latency, from a window's creation to wincue's end line,
    and `xdotool search --sync`'s for the same kind of window (median and
    95th percentile over the tries);
  - the CPU share of wincue, Xvfb and the manager while a Find step waits
    for a window that never comes, and of `xdotool search --sync` likewise.

usage: scripts/bench_x11.py [TRIES]    (after: cmake --build --preset host)
"""
import os
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
SETTLE = 0.05  # lets the waiting side reach its steady state before the window comes
CPU_SECONDS = 5


def cpu_seconds(pid):
    fields = Path("/proc/%d/stat" % pid).read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def find_script(root, title):
    d = tempfile.mkdtemp(dir=root)
    Path(d, "config.ini").write_text("[Section0]\nAction=Find\nText=%s\n" % title)
    return d


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
        cpu = waiting_cpu(world, [WINCUE], find_script(root, "never comes"))
        figures["cpu"] = "%.1f %%" % cpu[0]
        figures["cpu-x"] = "%.1f %%" % cpu[1]
        figures["cpu-wm"] = "%.1f %%" % cpu[2] if cpu[2] is not None else "-"
        xcpu = waiting_cpu(world, ["xdotool", "search", "--sync", "--name", "^never comes$"])
        figures["cpu-xdotool"] = "%.1f %% (Xvfb %.1f %%)" % (xcpu[0], xcpu[1])
        many.close()
    finally:
        world.stop()
    return figures


ROWS = [
    ("windows", "top-level windows visited", ""),
    ("first", "first pass (builds the cache)", ""),
    ("pass", "one Find pass, median / p95", "<= 50 us"),
    ("find", "Find latency, median / p95", "<= 4 ms median"),
    ("xdotool", "xdotool search --sync, median / p95", ""),
    ("cpu", "CPU while Find waits: wincue", "<= 5 % (openbox)"),
    ("cpu-x", "  Xvfb meanwhile", ""),
    ("cpu-wm", "  window manager meanwhile", ""),
    ("cpu-xdotool", "CPU while xdotool --sync waits", ""),
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
    print("%-38s %-22s %-22s %s" % ("", columns[0][0], columns[1][0], "goal"))
    for key, label, goal in ROWS:
        print("%-38s %-22s %-22s %s" % (label, columns[0][1][key], columns[1][1][key], goal))


if __name__ == "__main__":
    main()
