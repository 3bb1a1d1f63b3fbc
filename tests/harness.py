"""What the tests share: the builds to run, scripts and the output wincue
must give for them, and the driver of the test window programs."""
import os
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "scripts"))
from world import (BUILD, DEADLINE, MANAGERS, ROOT, Child, World, stop_pid,  # noqa: E402,F401
                   wait_until)


def quickest(measure, under, tries=3):
    """Fails unless one of up to tries timings of measure() (seconds) is under
    the bound, stopping at the first: a busy machine that stretches one try
    fails no row, while a fault that always takes long fails every try."""
    best = measure()
    for _ in range(tries - 1):
        if best < under:
            break
        best = min(best, measure())
    assert best < under, best


# -- scripts ------------------------------------------------------------------

def script(*steps, fails=None):
    """config.ini text for steps (action, {key: value}) and what wincue prints;
    with fails, the step of that index gives up and no later step runs."""
    config = echo = run = ""
    for i, (action, values) in enumerate(steps):
        config += "[Section%d]\nAction=%s\n" % (i, action)
        config += "".join("%s=%s\n" % kv for kv in values.items())
        echo += echoed(i, action, **values)
        if fails is None or i < fails:
            run += ran(action)
        elif i == fails:
            run += "start - %s\nfail  - %s\n" % (action, action)
    return config, echo + run


# The keys each action reads beyond the seven, in the order they are echoed.
MATCH = ("Match", "Case", "Process")
EXTENSIONS = dict(Find=("Timeout", "Visible") + MATCH, Gone=("Timeout", "Visible") + MATCH,
                  Activate=("Timeout",) + MATCH, Close=MATCH, Minimize=MATCH, Maximize=MATCH,
                  Restore=MATCH, Enable=MATCH, Display=MATCH)
OWN = dict(Enable="Enable", Display="Display", Sleep="Sleep", Cmd="Cmd", Require="Version")


def echoed(i, action, **values):
    """The echo of an accepted section: a window step shows Text and
    ClassName (Enable and Display their own value), the others their own
    value; then the extensions it reads that are given."""
    shown = [OWN[action]] if action in OWN else ["Text", "ClassName"]
    shown += [k for k in EXTENSIONS.get(action, ()) if values.get(k)]
    return "[Section%d]\nAction    =%s\n%s\n" % (i, action, "".join(
        "%s=%s\n" % (k.ljust(10), values.get(k, "")) for k in shown))


def ran(*actions):
    return "".join("start - %s\nend   - %s\n" % (a, a) for a in actions)


def rejected(i, Action="", **v):
    keys = ("Text", "ClassName", "Enable", "Display", "Sleep", "Cmd")
    return "Can not understand a Section .\n[Section%d]\nAction    =%s\n%s" % (
        i, Action, "".join("%s=%s\n" % (k.ljust(10), v.get(k, "")) for k in keys))


class Target:
    """One build of wincue: host, asan (its ASan/UBSan build) or wine."""

    def __init__(self, name, world=None):
        self.name, self.world = name, world
        if name == "wine":
            self.argv = world.windows_exe("wincue.exe")
        else:
            self.argv = (world.user if world else []) + [str(
                (world.build if world else BUILD) / ("host-asan" if name == "asan" else "host") /
                "wincue")]
        self.env = world.env if world else {k: v for k, v in os.environ.items()
                                            if k != "DISPLAY"}

    def expected(self, text):
        """The bytes wincue prints for text: the Microsoft runtime writes CR LF."""
        b = text.encode("latin-1")
        return b.replace(b"\n", b"\r\n") if self.name == "wine" else b

    def program(self, name):
        """How a Cmd line names one of our test programs on this build."""
        if self.name != "wine":
            return str((self.world.build if self.world else BUILD) / "host" / "tests" / name)
        return "Z:" + str(self.world.windows_build / "tests" / name).replace("/", "\\") + ".exe"

    def run(self, directory, timeout=DEADLINE, args=(), **kw):
        """Runs to its exit (not to the end of its output, which a program it
        started may hold); the status (None when it ran on) and the output.
        Standard error is left in self.err."""
        out, err = directory / "wincue.out", directory / "wincue.err"
        with open(out, "wb") as f, open(err, "wb") as e:
            p = subprocess.Popen(self.argv + list(args), cwd=directory, env=self.env, stdout=f,
                                 stdin=subprocess.DEVNULL, stderr=e, **kw)
            try:
                status = p.wait(timeout)
            except subprocess.TimeoutExpired:
                stop_pid(p.pid)
                status = None
        self.err = err.read_bytes()
        return status, out.read_bytes()


# Desktops reached in another's world, and how wincue is run there: sway
# without its socket is reached through the window-list protocol of the
# wlroots compositors, as a session without SWAYSOCK is.
THROUGH = {"wlr-sway": ("sway", ["env", "-u", "SWAYSOCK", "XDG_CURRENT_DESKTOP=sway"])}


def host_on(worlds, desk):
    """The host build on a desktop (a world's manager, or one of THROUGH)."""
    world, runner = THROUGH.get(desk, (desk, []))
    target = Target("host", worlds(world))
    target.argv = runner + target.argv
    return target


def script_dir(tmp_path, config):
    """tmp_path holding config.ini (bytes or text; None: no file)."""
    if config is not None:
        (tmp_path / "config.ini").write_bytes(config if isinstance(config, bytes)
                                              else config.encode("latin-1"))
    tmp_path.chmod(0o755)  # a world's user (GNOME's) reads it too
    return tmp_path


def begun(ends, target, tmp_path, steps, until=b"start - Find\n", argv=None):
    """A run of the steps (or of a config.ini text), its standard error
    piped, once its output ends with until; it ends with the test."""
    config = steps if isinstance(steps, (str, bytes)) else script(*steps)[0]
    p = Child(argv or target.argv, target.env, script_dir(tmp_path, config),
              stderr=subprocess.PIPE)
    ends(p.stop)
    assert p.read(lambda out: out.endswith(until))
    return p


def wincue(target, tmp_path, *steps):
    """One run of the steps, which must end cleanly; its standard error."""
    config, want = script(*steps)
    assert target.run(script_dir(tmp_path, config)) == (0, want.encode())
    return target.err


# How long a window program may take to answer on a loaded machine: longer
# than its own waits on the desktop (60 s), after which it ends saying why.
ANSWER = 120


class Maker:
    """A test window program: testwindows.exe under Wine, testwindows_wayland
    under a compositor (x11=True: testwindows_x11 on its XWayland), else
    testwindows_x11."""

    def __init__(self, target, x11=False):
        wayland = target.world.manager in ("sway", "kwin", "gnome", "labwc") and not x11
        actions = target.world.root / "tests" / "actions"
        argv = target.world.windows_exe("tests/testwindows.exe") if target.name == "wine" \
            else target.world.user + [sys.executable, str(actions / (
                "testwindows_%s.py" % ("wayland" if wayland else "x11")))]
        # Its standard error says what it waited for when it gave up.
        self.child = Child(argv, target.env, stdin=subprocess.PIPE, stderr=None)
        self.count = 0
        self.expect("ready")

    def ask(self, command):
        self.child.p.stdin.write(command.encode("latin-1") + b"\n")
        self.child.p.stdin.flush()

    def expect(self, want):
        got = self.child.line(ANSWER)
        assert got == want, "window program said %r, not %r" % (got, want)

    def create(self, cls, title, flags=""):
        self.ask("create\t%s\t%s%s" % (cls, title, "\t" + flags if flags else ""))
        self.expect("created %d" % self.count)
        self.count += 1

    def change(self, command, number):
        """show, close or (GNOME) activate the window of that number."""
        self.ask("%s\t%d" % (command, number))
        self.expect("%s%s %d" % (command, "n" if command == "show" else "d", number))

    def title(self, number, title):
        self.ask("title\t%d\t%s" % (number, title))
        self.expect("titled %d" % number)

    def answer(self, command):
        self.ask(command)
        lines = []
        while not lines or lines[-1] != "end":
            lines.append(self.child.line(ANSWER))
        return lines[:-1]

    def close(self):
        self.ask("quit")
        if self.child.wait() is None:
            raise AssertionError("the window program did not quit")

    def __enter__(self):
        return self

    def __exit__(self, *failed):
        self.close()
