"""Enable rows written once and run on every desktop that can disable a
window (X11 under every manager, KWin, GNOME Shell), through the one view
of desks.py: runs at once, runs killed at any moment, and a new window of a
disabled window's program. Real input proves each window whole."""
import os
import re
import shlex
import signal
import subprocess
import time

import pytest

from desks import desk_of
from harness import MANAGERS, Child, Target, script, script_dir, wait_until
from test_wayland import on


@pytest.fixture(params=MANAGERS + ["kwin", "gnome"])
def desk(request, worlds, tmp_path, ends):
    target = (on(worlds, ends, "kwin") if request.param == "kwin" else
              Target("host", worlds(request.param)))
    d = desk_of(target, tmp_path)
    ends(d.close)
    return d


def race(d, runs, title):
    """The runs started together, each the Enable values of its steps
    (spaced: runs one after another); their exit status and standard error."""
    started = []
    for k, run in enumerate(runs):
        line = []
        for j, values in enumerate(run.split()):
            folder = d.tmp / ("race-%d-%d" % (k, j))
            folder.mkdir(exist_ok=True)
            script_dir(folder, script(*[("Enable", dict(Text=title, Enable=v))
                                        for v in values])[0])
            line.append("cd %s && %s" % (shlex.quote(str(folder)), shlex.join(d.target.argv)))
        started.append(Child(["sh", "-c", " && ".join(line)], d.target.env,
                             stderr=subprocess.PIPE))
    return [(p.wait(120), p.p.stderr.read().decode()) for p in started]


# Runs on one window at the same moment: the Enable value it has before,
# the runs, what it may end as, and the rounds (each desktop takes at most
# its own number of them).
AT_ONCE = [("two disable", "1", ("0", "0"), {"disabled"}, 50),
           ("enable against disable", "0", ("1", "0"), {"disabled", "enabled"}, 50),
           ("two flipping", "1", ("01" * 15 + "0", "10" * 15 + "1"), {"disabled", "enabled"}, 2),
           ("two loops", "1", (" ".join("01" * 25),) * 2, {"disabled", "enabled"}, 1)]
SAID = r'wincue: \[Section\d+\] Enable: "race" \(0x[0-9a-f]+\) stayed (en|dis)abled'


@pytest.mark.parametrize("name,before,runs,may_end,rounds", AT_ONCE, ids=[a[0] for a in AT_ONCE])
def test_runs_at_once_leave_a_window_whole(desk, name, before, runs, may_end, rounds):
    """Runs started together on one window each end cleanly, saying at most
    that the window is not as they left it (the other run changed it
    since); it ends wholly disabled (no click or key reaches it) or exactly
    as it was, and one Enable=1 gives back exactly what it had."""
    d = desk
    d.witness()
    window = d.make("race")
    for i in range(min(rounds, d.rounds)):
        d.enable(before, "race")
        ended = race(d, runs, "race")
        assert [status for status, _ in ended] == [0] * len(runs)
        assert [line for _, err in ended for line in err.splitlines()
                if not re.fullmatch(SAID, line)] == []
        assert (i, d.whole(window) in may_end) == (i, True)
        d.enable("1", "race")
        assert (i, d.state(window)) == (i, "enabled")
    assert d.reaches(window)


def test_killed_runs_leave_windows_whole(desk):
    """Runs flipping a window's Enable, each killed at a moment of its steps
    (after 1 to 40 of their start lines), leave it disabled or enabled
    through and through once the desktop has done all they asked; a window
    disabled before stays disabled through them. One Enable=1 then enables
    both."""
    d = desk
    d.witness()
    flip, kept = d.make("flip"), d.make("kept")
    d.enable("0", "kept")
    flips = [("Enable", dict(Enable=str(i % 2), Text="flip")) for i in range(40)]
    for k, lines in enumerate((1, 2, 5, 14, 27, 40)):
        p = Child(d.target.argv, d.target.env, script_dir(d.tmp, script(*flips)[0]))
        assert p.read(lambda out: out.count(b"start - ") >= lines)
        time.sleep(0.005 * k)  # a moment of the step, not a wait
        os.kill(p.p.pid, signal.SIGKILL)  # (setpriv has become wincue)
        p.stop()
        d.settled()
        assert (lines, d.whole(flip) in ("enabled", "disabled")) == (lines, True)
    assert d.state(kept) == "disabled"
    d.enable("1", "")
    assert [d.state(flip), d.state(kept), d.reaches(flip)] == ["enabled", "enabled", True]


def test_a_new_window_of_the_same_program_is_not_disabled(desk):
    """Disabled is the one window's: a window its program opens later, of
    the same class and title, takes clicks and keys; the disabled one still
    refuses them, and its shield goes when it closes."""
    d = desk
    witness = d.witness()
    locked = d.make("locked")
    d.enable("0")
    later = d.make("locked")
    assert [d.state(n) for n in (witness, locked, later)] == ["enabled", "disabled", "enabled"]
    assert (d.reaches(later), d.reaches(locked)) == (True, False)
    d.maker.change("close", locked)
    wait_until(lambda: d.state(locked) == "gone", 20, "the shield to go")
