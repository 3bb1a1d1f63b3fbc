"""Bad input and faults: one table of cases, each with its defined outcome.

usage: run_faults.py TARGET...   (host, asan = the ASan/UBSan host build, wine)
Each case builds its directory, runs wincue there and expects the exact
output and exit status 0 within the time limit: no crash, no sanitizer
report, no hang. Cases that start programs also say what those must leave.
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "harness"))
from cases import NOTHING, echo, rejected, run  # noqa: E402
from wincue import Target  # noqa: E402
from world import BUILD, World, stop_pid, wait_until  # noqa: E402

HOSTS = ("host", "asan")
ALL = HOSTS + ("wine",)
AS_NOBODY = HOSTS + ("nobody",)  # host builds, run as an unprivileged user
SCRIPT = b"[Section0]\nAction=Sleep\nSleep=0\n"
RAN = echo(0, "Sleep", "Sleep", "0") + run("Sleep")
NOBODY = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]


def junk(size, seed=6):
    """Reproducible binary junk; it does not start with a byte-order mark."""
    return b"x" + random.Random(seed).randbytes(size - 1)


def long_lines():
    x = b"x" * 100000
    return (b"[" + x + b"]\n;" + x + b"\n[Section0]\n" + x + b"=1\nAction=Cmd\nCmd=" + x +
            b"\nText=" + x + b"\n[Section1]\nAction=Sleep\nSleep=0" + x + b"\n")


KEYS = ("Text", "ClassName", "Action", "Enable", "Display", "Sleep", "Cmd")
ARGS = ("text", "cls", "action", "enable", "display", "sleep", "cmd")  # of rejected()


def section_of(i, values):
    """Section i with the seven keys set to values, in KEYS order."""
    return b"[Section%d]\n" % i + b"".join(
        b"%s=%s\n" % (k.encode(), v.encode()) for k, v in zip(KEYS, values))


def rejected_with(i, values):
    return rejected(i, **dict(zip(ARGS, values)))


PERCENT = ("%s%s%s%s", "%n%n", "%d%x%p", "%%", "%999999999s", "%.*s%ls", "%c%hhn")
CUT = tuple(k[0] * 255 for k in KEYS)  # one value of 255 characters per key
SLEEPS = ("-0", "+0", "000", "+7", "+-5", "12abc", "0x10", "- 5", "0" * 40 + "1")


def big_junk(d, target):
    (d / "config.ini").write_bytes(junk(50 << 20, seed=7) + b"\n" + SCRIPT)


def fifo(d, target):
    os.mkfifo(d / "config.ini")


def zero_link(d, target):
    (d / "config.ini").symlink_to("/dev/zero")


def unreadable(d, target):
    (d / "config.ini").write_bytes(SCRIPT)
    (d / "config.ini").chmod(0)


def readable(d, target):
    (d / "config.ini").write_bytes(SCRIPT)


def not_executable_name(target):
    return "notexec.exe" if target.name == "wine" else "./notexec"


def not_executable(d, target):
    """A file that is no program: on Linux a script without any execute
    bit, on Windows text named .exe. It must not run, and the run goes on;
    a program started after it shows when it would have run."""
    name = d / not_executable_name(target)
    name.write_text("#!/bin/sh\necho ran > ran.txt\n")
    name.chmod(0o644)
    lines = "[Section0]\nAction=Cmd\nCmd=%s\n[Section1]\nAction=Cmd\nCmd=%s after.txt\n"
    (d / "config.ini").write_text(lines % (not_executable_name(target),
                                           target.program_path("linger")))
    return {"after.txt": "started\n", "ran.txt": None}


def unbalanced_quotes(d, target):
    """An unclosed quote in the program name takes the rest of the line
    into the name: nothing runs. In the arguments it groups to the end."""
    linger = target.program_path("linger")
    (d / "config.ini").write_text(
        '[Section0]\nAction=Cmd\nCmd="%s never.txt\n'
        '[Section1]\nAction=Cmd\nCmd=%s args.txt "two  words\n' % (linger, linger))
    return {"args.txt": "started two  words\n", "never.txt": None}


def unread_output(d, target):
    """Every line written fails (the reader has gone), and the run goes on
    to its end, as on Windows: the program of the last step still starts."""
    (d / "config.ini").write_text("[Section0]\nAction=Sleep\nSleep=0\n[Section1]\nAction=Cmd\n"
                                  "Cmd=%s after.txt\n" % target.program_path("linger"))
    return {"after.txt": "started\n"}


def run_unread(target, d, timeout=30):
    """Runs with standard output a pipe whose reader has gone."""
    r, w = os.pipe()
    os.close(r)
    p = subprocess.Popen(target.argv, cwd=d, env=target.env, stdin=subprocess.DEVNULL, stdout=w,
                         stderr=subprocess.DEVNULL)
    os.close(w)
    try:
        return p.wait(timeout), b""
    except subprocess.TimeoutExpired:
        stop_pid(p.pid)
        return None, b""


def commands(target):
    linger = target.program_path("linger")
    return (echo(0, "Cmd", "Cmd", '"%s never.txt' % linger) +
            echo(1, "Cmd", "Cmd", '%s args.txt "two  words' % linger) + run("Cmd", "Cmd"))


# (case, setup, expected output, targets). setup: config.ini's bytes, a
# kind of file, or a function of (directory, target) that may return the
# files the started programs must leave ({name: text, or None for none}).
# Expected output: text, a function of the target, or UNREAD: standard
# output is a pipe nobody reads.
UNREAD = None
FAULTS = [
    ("config.ini is a directory", "dir", NOTHING, ALL),
    ("config.ini is a FIFO: no wait for a writer", fifo, NOTHING, ALL),
    ("config.ini links to /dev/zero", zero_link, NOTHING, ALL),
    ("config.ini unreadable to the user", unreadable, NOTHING, AS_NOBODY),
    ("the same script readable to that user", readable, RAN, AS_NOBODY),
    ("only blanks and line ends", b" \t\r\n\v\f \n\n\t \r\r\n  ", NOTHING, ALL),
    ("binary junk", junk(65536), NOTHING, ALL),
    ("binary junk, then a script", junk(65536) + b"\n" + SCRIPT, RAN, ALL),
    # Under Wine these two would only time Wine's own INI reader.
    ("50 MB of junk, then a script", big_junk, RAN, HOSTS),
    ("10,000 sections, numbered backwards",
     b"".join(b"[Section%d]\nAction=Sleep\nSleep=0\n" % i for i in range(9999, -1, -1)),
     "".join(echo(i, "Sleep", "Sleep", "0") for i in range(255)) + run(*["Sleep"] * 255), HOSTS),
    ("NUL bytes end names and values",
     b"[Section0]\nAction=Sleep\0Cmd\nSleep=0\0\n[Section1\0x]\nAction=Cmd\nCmd=a\0b\n"
     b"[Section2]\nAc\0tion=Find\nText=\0t\nClassName=c\0d\n",
     echo(0, "Sleep", "Sleep", "0") + echo(1, "Cmd", "Cmd", "a") + rejected(2, cls="c") +
     run("Sleep", "Cmd"), ALL),
    ("lines of 100,000 characters", long_lines(),
     echo(0, "Cmd", "Cmd", "x" * 254) + echo(1, "Sleep", "Sleep", "0" + "x" * 253) +
     run("Cmd", "Sleep"), ALL),
    ("values of 254 characters kept, of 255 cut",
     b"[Section0]\nAction=Cmd\nCmd=" + b"c" * 254 + b"\n" + section_of(1, CUT),
     echo(0, "Cmd", "Cmd", "c" * 254) + rejected_with(1, [v[:254] for v in CUT]) + run("Cmd"),
     ALL),
    ("% sequences in every value",
     b"[Section0]\nAction=Cmd\nCmd=%s%n%x\n" + section_of(1, PERCENT),
     echo(0, "Cmd", "Cmd", "%s%n%x") + rejected_with(1, PERCENT) + run("Cmd"), ALL),
    ("Cmd of a program that is not executable", not_executable,
     lambda t: echo(0, "Cmd", "Cmd", not_executable_name(t)) +
     echo(1, "Cmd", "Cmd", "%s after.txt" % t.program_path("linger")) + run("Cmd", "Cmd"), ALL),
    ("Cmd with unbalanced quotes", unbalanced_quotes, commands, ALL),
    ("Sleep of zero, with signs and letters",
     b"".join(b"[Section%d]\nAction=Sleep\nSleep=%s\n" % (i, s.encode())
              for i, s in enumerate(SLEEPS)),
     "".join(echo(i, "Sleep", "Sleep", s) for i, s in enumerate(SLEEPS)) +
     run(*["Sleep"] * len(SLEEPS)), ALL),
    ("standard output a pipe whose reader has gone", unread_output, UNREAD, ALL),
]


def make_target(name, world):
    if name == "asan":
        binary = BUILD / "host-asan" / "wincue"
        if not binary.exists():
            sys.exit("no %s: build the host-asan preset first" % binary)
        return Target("host", world, host_binary=binary)
    return Target(name, world)


def build(d, setup, target):
    """Makes the case's directory; returns the files programs must leave."""
    if setup == "dir":
        (d / "config.ini").mkdir()
    elif isinstance(setup, bytes):
        (d / "config.ini").write_bytes(setup)
    else:
        return setup(d, target) or {}
    return {}


def left_behind(d, files):
    """Checks what the started programs wrote (a full first line, or no
    file at all), then lets them end. Files that must not appear are
    checked last, once the others show the programs had their chance."""
    problems = []
    for name, want in sorted(files.items(), key=lambda f: f[1] is None):
        path = d / name
        if want is None:
            if path.exists():
                problems.append("%s exists" % name)
            continue
        try:
            wait_until(lambda: path.exists() and path.read_text().endswith("\n"), 30, name)
        except TimeoutError:
            problems.append("%s never written" % name)
            continue
        if path.read_text() != want:
            problems.append("%s holds %r" % (name, path.read_text()))
        (d / (name + ".stop")).touch()
        wait_until(lambda: "ended" in path.read_text(), 70, name + "'s program to end")
    return problems


def run_case(root, case, target, label):
    name, setup, want, where = case
    d = Path(tempfile.mkdtemp(prefix="case-", dir=root))
    files = build(d, setup, target)
    argv = target.argv
    if "nobody" in where and os.geteuid() == 0:  # root reads any file
        d.chmod(0o755)
        target.argv = NOBODY + argv
    try:
        if want is UNREAD:
            status, out = run_unread(target, d)
        else:
            status, out = target.run_to_exit(d, timeout=30)
    finally:
        target.argv = argv
    want = b"" if want is UNREAD else target.expected(want(target) if callable(want) else want)
    problems = left_behind(d, files) if status is not None else []
    ok = status == 0 and out == want and not problems
    print("%s %s: %s" % ("PASS" if ok else "FAIL", label, name))
    if not ok:
        print("  exit %s; %s\n  want %r\n  got  %r" % (status, "; ".join(problems),
                                                      want[:600], out[:600]))
    return ok


def main():
    names = sys.argv[1:]
    world = World.attach(wine=True) if "wine" in names else None
    root = tempfile.mkdtemp(prefix="wincue-faults-")
    os.chmod(root, 0o755)
    results = []
    try:
        for label in names:
            target = make_target(label, world)
            for case in FAULTS:
                if label in case[3]:
                    results.append(run_case(root, case, target, label))
    finally:
        shutil.rmtree(root, ignore_errors=True)
        if world:
            world.close()
    print("%d passed, %d failed" % (results.count(True), results.count(False)))
    sys.exit(0 if results and all(results) else 1)


if __name__ == "__main__":
    main()
