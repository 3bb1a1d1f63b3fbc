"""Window steps against real windows, from a table of cases.

usage: run_window_cases.py wine|host

For each case a test window program (tests/actions/testwindows.cpp on
Windows, testwindows_x11.cpp on X11) makes the case's windows, wincue runs the case's script, and then
wincue's whole output and the windows' states as the desktop reports them
must be exact. A window marked "later" is made only once wincue has written
the start line of its Find step.
"""
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "harness"))
from wincue import Target, script_dir  # noqa: E402
from world import World, stop_pid  # noqa: E402

TIMEOUT = 60  # only ever hit by a fault; no result depends on time


def window_program(target, world):
    """The command of the program that makes windows on the target's
    desktop; it speaks the line protocol of tests/actions/testwindows.cpp
    (testwindows_x11.cpp is its twin on the Linux build's X11 desktop)."""
    if target.name == "wine":
        return world.windows_exe("tests/testwindows.exe")
    return [target.program_path("testwindows_x11")]


# -- the table ---------------------------------------------------------------

def step(action, **values):
    """One step: its action word and its other keys."""
    return action, values


def script(*steps):
    """config.ini text and the whole output wincue must print for it."""
    config, echo, run = "", "", ""
    for i, (action, values) in enumerate(steps):
        config += "[Section%d]\nAction=%s\n" % (i, action)
        config += "".join("%s=%s\n" % kv for kv in values.items())
        shown = ["Text", "ClassName"] if action == "Find" else [action]
        echo += "[Section%d]\nAction    =%s\n" % (i, action)
        echo += "".join("%s=%s\n" % (k.ljust(10), values.get(k, "")) for k in shown) + "\n"
        run += "start - %s\nend   - %s\n" % (action, action)
    return config, echo + run


def shown(cls, title):
    return cls, title, "shown"


def hidden(cls, title):
    return cls, title, "hidden"


def later(cls, title):
    return cls, title, "later"


def state(cls, title, visible=1, enabled=1):
    return "%s\t%s\tvisible=%d\tenabled=%d" % (cls, title, visible, enabled)


# (name, windows in the order made, script, states afterwards in that order)
CASES = [
    ("hide every window of a class",
     [shown("wct-a", "One"), shown("wct-a", "Two"), shown("wct-b", "Three")],
     script(step("Display", ClassName="wct-a", Display="0")),
     [state("wct-a", "One", 0), state("wct-a", "Two", 0), state("wct-b", "Three")]),
    ("show by title whatever the class",
     [hidden("wct-a", "Shared"), hidden("wct-b", "Shared"), hidden("wct-b", "Other"),
      shown("wct-c", "Shared")],
     script(step("Display", Text="Shared", Display="1")),
     [state("wct-a", "Shared"), state("wct-b", "Shared"), state("wct-b", "Other", 0),
      state("wct-c", "Shared")]),
    ("disable by title and class together",
     [shown("wct-a", "Target"), shown("wct-b", "Target"), shown("wct-a", "Other")],
     script(step("Enable", Text="Target", ClassName="wct-a", Enable="0")),
     [state("wct-a", "Target", enabled=0), state("wct-b", "Target"), state("wct-a", "Other")]),
    ("later steps enable and show again",
     [shown("wct-a", "One"), shown("wct-a", "Two")],
     script(step("Enable", ClassName="wct-a", Enable="0"),
            step("Display", ClassName="wct-a", Display="0"),
            step("Enable", Text="Two", Enable="1"),
            step("Display", Text="Two", Display="1")),
     [state("wct-a", "One", 0, 0), state("wct-a", "Two")]),
    ("names differing only in letter case match nothing",
     [shown("wct-case", "Case Title")],
     script(step("Display", Text="case title", Display="0"),
            step("Enable", Text="CASE TITLE", Enable="0"),
            step("Display", ClassName="WCT-CASE", Display="0")),
     [state("wct-case", "Case Title")]),
    ("a prefix of a name matches nothing",
     [shown("wct-prefix", "Prefix Title")],
     script(step("Display", Text="Prefix", Display="0"),
            step("Enable", Text="Prefix Titl", ClassName="wct-prefix", Enable="0"),
            step("Enable", ClassName="wct-pre", Enable="0")),
     [state("wct-prefix", "Prefix Title")]),
    ("find waits for a window made later, then hides it",
     [shown("wct-b", "Other"), later("wct-late", "Late")],
     # The first step has wincue on the desktop before its Find starts, so
     # that a Find ending without its window would end at once. The window
     # gets its title last, once it is shown.
     script(step("Enable", Text="Late", Enable="0"),
            step("Find", Text="Late"),
            step("Display", ClassName="wct-late", Display="0")),
     [state("wct-b", "Other"), state("wct-late", "Late", 0)]),
    ("find ends at once on a hidden window",
     [hidden("wct-a", "Hidden")],
     script(step("Find", Text="Hidden"), step("Enable", Text="Hidden", Enable="0")),
     [state("wct-a", "Hidden", 0, 0)]),
]


# -- running -----------------------------------------------------------------

class Output:
    """What a child writes on a pipe, read without waiting past a deadline."""

    def __init__(self, pipe):
        self.fd = pipe.fileno()
        self.data = b""
        self.ended = False

    def _read(self, wait):
        ready, _, _ = select.select([self.fd], [], [], max(wait, 0))
        if not ready:
            return False
        chunk = os.read(self.fd, 65536)
        self.data += chunk
        self.ended = not chunk
        return True

    def until(self, done, timeout=TIMEOUT):
        """Reads until done(data) holds or the pipe ends; True if it holds."""
        deadline = time.monotonic() + timeout
        while not done(self.data) and not self.ended:
            if not self._read(deadline - time.monotonic()) and time.monotonic() > deadline:
                break
        return done(self.data)

    def drain(self):
        """Takes in whatever has been written already."""
        while not self.ended and self._read(0):
            pass

    def to_exit(self, proc, timeout=TIMEOUT):
        """Reads until proc has exited (a program it started may keep the
        pipe open longer); returns its status, None if it still runs."""
        deadline = time.monotonic() + timeout
        while proc.poll() is None and time.monotonic() < deadline:
            self._read(0.01)
        self.drain()
        return proc.poll()

    def line(self):
        """The next line, without its line end; raises on a stalled pipe."""
        if not self.until(lambda d: b"\n" in d):
            raise RuntimeError("no reply, got %r" % self.data)
        text, self.data = self.data.split(b"\n", 1)
        return text.rstrip(b"\r").decode("latin-1")


class Windows:
    """A running test window program."""

    def __init__(self, argv, env):
        self.proc = subprocess.Popen(argv, env=env, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.out = Output(self.proc.stdout)
        try:
            self.expect("ready")
        except RuntimeError:
            stop_pid(self.proc.pid)
            raise

    def ask(self, command):
        self.proc.stdin.write(command.encode("latin-1") + b"\n")
        self.proc.stdin.flush()

    def expect(self, want):
        got = self.out.line()
        if got != want:
            raise RuntimeError("window program said %r, not %r" % (got, want))

    def create(self, number, cls, title, how):
        self.ask("create\t%s\t%s%s" % (cls, title, "\thidden" if how == "hidden" else ""))
        self.expect("created %d" % number)

    def states(self):
        self.ask("state")
        lines = []
        while not lines or lines[-1] != "end":
            lines.append(self.out.line())
        return lines[:-1]

    def close(self):
        """Ends it by "quit", or by its PID if it does not go."""
        try:
            self.ask("quit")
            self.proc.wait(timeout=TIMEOUT)
        except (OSError, subprocess.TimeoutExpired):
            stop_pid(self.proc.pid)


def find_prefix(output):
    """The output up to and including the start line of the first Find."""
    return output[:output.index("start - Find\n") + len("start - Find\n")]


def run_case(target, program, root, case):
    """Returns a list of what went wrong (empty when the case passed)."""
    name, windows, (config, output), states = case
    faults = []
    maker = wincue = None
    try:
        maker = Windows(program, target.env)
        made = [w for w in windows if w[2] != "later"]
        for number, (cls, title, how) in enumerate(made):
            maker.create(number, cls, title, how)
        wincue = target.start(script_dir(root, config.encode("latin-1")))
        out = Output(wincue.stdout)
        if len(made) < len(windows):
            # wincue is in its Find step: nothing after its start line may come
            # before the window exists.
            before = target.expected(find_prefix(output))
            out.until(lambda d: len(d) >= len(before))
            maker.states()  # one round trip, time for a wrong end line to show
            out.drain()
            if out.data != before:
                faults.append("before the window was made: want %r\n  got %r"
                              % (before, out.data))
            for number, (cls, title, _) in enumerate(windows[len(made):], len(made)):
                maker.create(number, cls, title, "shown")
        want = target.expected(output)
        status = out.to_exit(wincue)
        if out.data != want or status != 0:
            faults.append("output: want %r (exit 0)\n  got  %r (exit %s)"
                          % (want, out.data, status))
        got_states = maker.states()
        if got_states != states:
            faults.append("windows: want %r\n  got  %r" % (states, got_states))
    except RuntimeError as e:
        faults.append(str(e))
    finally:
        if wincue and wincue.poll() is None:
            stop_pid(wincue.pid)
        if maker:
            maker.close()
    return faults


def main():
    name = sys.argv[1]
    world = World.attach(wine=name == "wine")
    target = Target(name, world)
    program = window_program(target, world)
    root = tempfile.mkdtemp(prefix="wincue-windows-")
    passed = failed = 0
    # Wine closes its desktop as soon as no program uses it, and opening it
    # again is slow (about 10 s here): one hidden window holds it for the run.
    keeper = None
    try:
        keeper = Windows(program, target.env)
        keeper.create(0, "wct-keeper", "desktop keeper", "hidden")
        for case in CASES:
            faults = run_case(target, program, root, case)
            print("%s %s" % ("FAIL" if faults else "PASS", case[0]))
            for fault in faults:
                print("  " + fault)
            passed += not faults
            failed += bool(faults)
    finally:
        if keeper:
            keeper.close()
        shutil.rmtree(root, ignore_errors=True)
        world.close()
    print("%d passed, %d failed" % (passed, failed))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
