"""make bench: measures wincue and prints one table. Every figure is the
median of repeated runs with its spread (min..max). Nothing here asserts:
the figures are for reading, and for the README.
"""
import os
import platform
import select
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "scripts"))
import bench_wayland  # noqa: E402
import bench_x11  # noqa: E402
sys.path.insert(0, str(ROOT / "tests"))
from harness import Maker, Target  # noqa: E402
from world import BUILD, Child, World, absent, stop_pid  # noqa: E402

TRIES = 30

RUNS = 20
rows = []


def row(what, values, unit="ms", goal=""):
    if isinstance(values, str):
        figure = values
    else:
        med = statistics.median(values)
        figure = "%.3g %s (%.3g..%.3g, n=%d)" % (med, unit, min(values), max(values), len(values))
    rows.append((what, figure, goal))
    print("  %-58s %s" % (what, figure), flush=True)


SCRATCH = Path(tempfile.mkdtemp(prefix="wincue-bench-"))


def script(lines):
    d = Path(tempfile.mkdtemp(dir=SCRATCH))
    (d / "config.ini").write_text(lines)
    return d


def sleeps(n):
    return "".join("[Section%d]\nAction=Sleep\nSleep=0\n" % i for i in range(n))


def whole_process(argv, cwd, env=None, runs=RUNS, pipe=False):
    """Wall time of complete runs, in ms; the output to /dev/null, or to a
    pipe that this process reads."""
    times = []
    for _ in range(runs):
        t = time.perf_counter()
        subprocess.run(argv, cwd=cwd, env=env, stdout=subprocess.PIPE if pipe else
                       subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        times.append((time.perf_counter() - t) * 1000)
    return times


def line_times(argv, cwd, env=None):
    """Runs once, returns each output line with the ms since the start."""
    t = time.perf_counter()
    p = subprocess.Popen(argv, cwd=cwd, env=env, stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL)
    fd, buf, out = p.stdout.fileno(), b"", []
    while True:
        select.select([fd], [], [], 30)
        chunk = os.read(fd, 65536)
        now = (time.perf_counter() - t) * 1000
        if not chunk:
            break
        buf += chunk
        while b"\n" in buf:
            line, buf = buf.split(b"\n", 1)
            out.append((now, line.rstrip(b"\r").decode("latin-1")))
        if out and out[-1][1].startswith("end   - ") and p.poll() is not None:
            break
    p.wait()
    return out


def first_line(argv, cwd, env=None, runs=RUNS):
    return [line_times(argv, cwd, env)[0][0] for _ in range(runs)]


def cmd_cost(argv, cwd, env=None, runs=RUNS, step="Cmd"):
    """Start line to end line of a step, in ms."""
    res = []
    for _ in range(runs):
        lines = dict((text, t) for t, text in line_times(argv, cwd, env))
        res.append(lines["end   - " + step] - lines["start - " + step])
    return res


def fresh_runs(argv, text, runs=RUNS):
    """Wall time of complete runs, in ms, each on a config.ini written just
    before it (as script generators and tests write them)."""
    d, times = script(text), []
    for _ in range(runs):
        (d / "config.ini").write_text(text)
        times += whole_process(argv, d, runs=1)
    return times


def system_calls(argv, text):
    """System calls of one run (strace -f -c), on a config.ini written just
    before it."""
    if shutil.which("strace") is None:
        return "- (no strace)"
    d = script(text)
    counts = d / "strace.txt"
    subprocess.run(["strace", "-f", "-c", "-o", str(counts)] + argv, cwd=d,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    total = [line for line in counts.read_text().splitlines() if line.endswith(" total")]
    return total[0].split()[3]  # % time, seconds, usecs/call, calls, [errors,] total


def empty_program():
    """An empty C program, built here: what starting any program costs."""
    d = Path(tempfile.mkdtemp(dir=SCRATCH))
    (d / "empty.c").write_text("int main(void) { return 0; }\n")
    subprocess.run(["cc", "-O2", "-o", str(d / "empty"), str(d / "empty.c")], check=True)
    return [str(d / "empty")]


def instructions(argv, cwd):
    """Instructions of one run, counted by callgrind: the same for the same
    binary and input whatever else the machine does."""
    if shutil.which("valgrind") is None:
        return "- (no valgrind)"
    out = cwd / "callgrind.out"
    run = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=%s" % out] + argv,
                         cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    refs = [line for line in run.stderr.splitlines() if "Collected" in line]
    return "%.2f M" % (int(refs[0].split()[-1]) / 1e6) if refs else "-"


def host_figures():
    host = [str(BUILD / "host" / "wincue")]
    one, full = script(sleeps(1)), script(sleeps(255))
    row("baseline: whole run of /bin/true (process start floor)", whole_process(["/bin/true"], one))
    row("baseline: whole run of an empty C program", whole_process(empty_program(), one))
    row("host: wincue --version", whole_process(host + ["--version"], one),
        goal="<= 1.2 x an empty C program")
    row("host: whole run, 1-step script", whole_process(host, one))
    row("host: whole run, 255-step script", whole_process(host, full), goal="<= 1.5 x /bin/true")
    row("host: whole run, 255-step script, output to a pipe", whole_process(host, full, pipe=True),
        goal="<= 2 x /bin/true")
    row("host: whole run, 255-step script written just before", fresh_runs(host, sleeps(255)),
        goal="<= 1.5 x /bin/true")
    row("host: system calls, 255-step script", system_calls(host, sleeps(255)), goal="<= 900")
    row("host: instructions, 255-step script", instructions(host, full))
    row("host: start to first line, 1-step script", first_line(host, one))
    junk = Path(tempfile.mkdtemp(dir=SCRATCH))
    with open(junk / "config.ini", "wb") as f:
        f.write(os.urandom(50 * 1024 * 1024))
    row("host: whole run, 50 MB config.ini of junk", whole_process(host, junk, runs=5),
        goal="<= 1-2 s")
    cmd = script("[Section0]\nAction=Cmd\nCmd=/bin/true\n")
    row("host: Cmd step, start line to end line", cmd_cost(host, cmd))


def wine_figures():
    world = World(BUILD / "bench" / "world", wine=True).start()
    try:
        exe = world.windows_exe("wincue.exe")
        label = "wine (%s)" % world.windows_build.name
        one, full = script(sleeps(1)), script(sleeps(255))
        row(label + ": whole run, 1-step script", whole_process(exe, one, world.env))
        row(label + ": whole run, 255-step script", whole_process(exe, full, world.env))
        cmd = script("[Section0]\nAction=Cmd\nCmd=cmd.exe /c rem\n")
        row(label + ": Cmd step, start line to end line", cmd_cost(exe, cmd, world.env))
    finally:
        world.stop()


def late_finds(exe, world, many, how, tries):
    """ms from asking the window program for a window (made, shown or
    renamed) to the end line of a Find that waited for it. Before a show or
    a new title, which Wine tells no waiting program of, the Find waits long
    enough to look only on its slow pass: the figure is that pass's."""
    lat = []
    for i in range(tries):
        title = "late %s %d" % (how, i)
        if how != "create":
            many.create("bench", title if how == "show" else "early", "hidden" if how == "show"
                        else "")
        d = script("[Section0]\nAction=Find\nText=%s\nVisible=1\n" % title)
        out = Child(exe, world.env, d)
        out.read(lambda b: b"start - Find" in b)
        time.sleep(bench_x11.SETTLE if how == "create" else 1.5)
        t = time.perf_counter()
        many.ask({"create": "create\tbench\t%s" % title, "show": "show\t%d" % (many.count - 1),
                  "title": "title\t%d\t%s" % (many.count - 1, title)}[how])
        out.read(lambda b: b"end   - Find" in b)
        lat.append((time.perf_counter() - t) * 1000)
        many.expect({"create": "created %d" % many.count, "show": "shown %d" % (many.count - 1),
                     "title": "titled %d" % (many.count - 1)}[how])
        many.count += how == "create"
        out.wait()
    return lat


def wine_window_figures():
    """Under Wine, with 100 windows of our test program on the desktop."""
    world = World(BUILD / "bench" / "world-windows", wine=True).start()
    try:
        exe = world.windows_exe("wincue.exe")
        label = "wine (%s)" % world.windows_build.name
        many = Maker(Target("wine", world))
        for i in range(100):
            many.create("bench", "bench %d" % i)
        row(label + ": Find latency, create request to end line",
            late_finds(exe, world, many, "create", TRIES), goal="<= 100 ms")
        row(label + ": Find latency, show request to end line",
            late_finds(exe, world, many, "show", TRIES // 3), goal="<= 1 s")
        row(label + ": Find latency, new title request to end line",
            late_finds(exe, world, many, "title", TRIES // 3), goal="<= 1 s")
        d = script("[Section0]\nAction=Display\nClassName=wincue-none\nDisplay=1\n")
        row(label + ": one Display pass over 100+ windows (start to end line)",
            cmd_cost(exe, d, world.env, step="Display"))
        d = script("[Section0]\nAction=Find\nText=never comes\n")
        p = subprocess.Popen(exe, cwd=d, env=world.env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        time.sleep(0.5)
        pids = [p.pid, world.pids[1], world.pids[0]]  # wincue, wineserver, Xvfb
        before = [bench_x11.cpu_seconds(x) for x in pids]
        t0 = time.monotonic()
        time.sleep(bench_x11.CPU_SECONDS)
        took = time.monotonic() - t0
        share = [100 * (bench_x11.cpu_seconds(x) - b) / took for x, b in zip(pids, before)]
        stop_pid(p.pid)
        row(label + ": CPU while Find waits 5 s: wincue / wineserver / Xvfb",
            "%.2f %% / %.2f %% / %.2f %%" % tuple(share), goal="<= 1 % / 1 % / idle")
        many.close()
    finally:
        world.stop()


def x11_figures():
    root = tempfile.mkdtemp(dir=SCRATCH)
    for manager in (None, "openbox"):
        f = bench_x11.measure(manager, TRIES, root)
        where = "host X11 (%s)" % (manager or "no manager")
        for key, label, goal in bench_x11.ROWS:
            row("%s: %s" % (where, label.strip()), f[key], goal=goal)


def wayland_figures():
    for compositor in bench_wayland.COMPOSITORS:
        if absent(compositor.split()[0]):
            row("host %s" % compositor, "not measured: " + absent(compositor.split()[0]))
            continue
        f = bench_wayland.measure(compositor, TRIES, tempfile.mkdtemp(dir=SCRATCH))
        for key, label, goal in [r for r in bench_wayland.ROWS if r[0] in f]:
            row("host %s: %s" % (compositor, label.strip()), f[key], goal=goal)


def size_figures():
    exe = BUILD / "win32" / "wincue.exe"
    row("wincue.exe (win32, stripped) size", "%d bytes" % exe.stat().st_size, goal="<= 64 KiB")


def main():
    print("wincue benchmark on %s, %d cores, %s" % (platform.node(), os.cpu_count(),
                                                    time.strftime("%Y-%m-%d")))
    parts = dict(size=size_figures, host=host_figures, x11=x11_figures,
                 wayland=wayland_figures, wine=wine_figures, wine_windows=wine_window_figures)
    try:
        # Named parts only (scripts/bench.py wine_windows), else all.
        for name in sys.argv[1:] or parts:
            parts[name]()
    finally:
        shutil.rmtree(SCRATCH, ignore_errors=True)
    print()
    print("| measure | median (min..max, runs) | goal |")
    print("|---|---|---|")
    for what, figure, goal in rows:
        print("| %s | %s | %s |" % (what, figure, goal))


if __name__ == "__main__":
    main()
