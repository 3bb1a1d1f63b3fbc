"""What only KWin shows: windows told in batches that the bus's limits
cannot thin out, titles as KWin gives them, a class set late, every wait on
the session bus bounded (a bus that never answers, one that stops mid-run,
an idle spell past the bus's call timeout), the script a run loads going
with it, and Enable proven with real input (KWin's fake input): whatever
gives a disabled window the focus, no click or key reaches it. Runs killed
or at once, and a new window, are in test_desks.py; a waiting step woken by
KWin's news in test_windows.py. Rows run on KWin 5 (Debian 12) and KWin 6."""
import json
import os
import re
import signal
import subprocess
import sys
import time
from pathlib import Path

import pytest
from gi.repository import GLib

from harness import Child, Maker, Target, World, begun, script, script_dir, wait_until
from desks import LEFT, KWin, events_until
from test_wayland import LINE, maker, on, socket_listening, wincue

# Windows of one class and the given titles, on Wayland, until it is
# stopped (titles that the window programs' line protocol cannot carry).
WINDOWS = """import json, os, sys
os.environ.update(GDK_BACKEND="wayland", NO_AT_BRIDGE="1")
import gi
gi.require_version("Gtk", "3.0")
from gi.repository import GLib, Gtk
GLib.set_prgname(sys.argv[1])
kept = [Gtk.Window(title=t, default_width=64, default_height=48) for t in json.loads(sys.argv[2])]
for w in kept:
    w.show_all()
Gtk.main()
"""


@pytest.fixture
def kwin(worlds, ends):
    return on(worlds, ends, "kwin")


def crowded(desk):
    """The windows of the crowd KWin lists; none while it is too busy
    taking windows in to answer."""
    try:
        return [w for w in desk.windows().values() if w["cls"] == "wct-crowd"]
    except GLib.Error:
        return []


# (title the window sets, title KWin gives: runs of white space become one
# space, none at either end)
TITLES = [
    ("q\"u'o\\te", "q\"u'o\\te"),
    ("x\\u0041", "x\\u0041"),
    ("\u00e9\u4e2d\U0001F600", "\u00e9\u4e2d\U0001F600"),
    ("c\x01d", "c\x01d"),
    ("a\tb  c ", "a b c"),
    ("  l1\nl2", "l1 l2"),
]


def test_a_crowd_of_windows_is_known_whole(kwin, tmp_path, ends):
    """300 windows, past the 128 replies a bus lets one connection await and
    the 255 keys Qt 6's for-in gives over an object that loses keys: --list
    shows every one, titled as KWin gives them (quotes, backslashes, any
    Unicode and control characters as they are; white space as KWin
    normalizes it), and Display=0 by class hides every one, as the same
    run's Gone then sees. Every id has 16 hex digits."""
    crowd = ["Crowd %d" % i for i in range(300 - len(TITLES))]
    ends(Child([sys.executable, "-c", WINDOWS, "wct-crowd", json.dumps(
        crowd + [t for t, _ in TITLES])], kwin.env).stop)
    wait_until(lambda: len(crowded(kwin.desk)) == 300, 120, "KWin's list")
    status, out = kwin.run(tmp_path, args=["--list"])
    rows = [line.split("\t") for line in out.decode().split("\n") if line]
    assert (status, [r[0] for r in rows if not re.fullmatch("0x[0-9a-f]{16}", r[0])]) == (0, [])
    assert sorted(r[4] for r in rows if r[3] == "wct-crowd") == sorted(
        crowd + [t for _, t in TITLES])
    wincue(kwin, tmp_path, ("Display", dict(ClassName="wct-crowd", Display="0")),
           ("Gone", dict(ClassName="wct-crowd", Visible="1", Timeout="5000")))
    assert [w["hidden"] for w in crowded(kwin.desk)] == [True] * 300


# (what runs, its arguments, the longest it may take in seconds: sd-bus
# alone would wait 90 s for the bus, then 25 s a call)
SILENT = [("a Find with Timeout=200", [], 1.5), ("--list", ["--list"], 10)]


@pytest.mark.parametrize("name,args,most", SILENT, ids=[s[0] for s in SILENT])
def test_a_bus_that_never_answers(tmp_path, ends, name, args, most):
    """A session bus that takes connections and answers nothing (a stopped
    dbus-daemon): the run ends in its bounds, saying it found no desktop it
    knows."""
    silent = socket_listening(tmp_path / "bus.sock")
    ends(silent.close)
    target = Target("host")
    target.env = {k: v for k, v in target.env.items() if k != "SWAYSOCK"} | dict(
        WAYLAND_DISPLAY="wayland-9", DBUS_SESSION_BUS_ADDRESS="unix:path=" + silent.getsockname())
    config, want = script(("Find", dict(Text="wct-none", Timeout="200")), fails=0)
    began = time.monotonic()
    status, out = target.run(script_dir(tmp_path, config), args=args)
    took = time.monotonic() - began
    assert (status, took < most, LINE in target.err) == (1, True, True), took
    assert args or (out == want.encode() and b"Find gave up after 200 ms" in target.err)


# (step over 20 windows, what its late line says they may not be, what
# each stayed)
STOPPED = [("Display", "hidden or shown", "shown"), ("Enable", "enabled or disabled", "enabled")]


@pytest.mark.parametrize("action,may,stayed", STOPPED, ids=[s[0] for s in STOPPED])
def test_the_bus_stops_mid_run(tmp_path_factory, ends, action, may, stayed):
    """The session bus stopped between two steps: the step over 20 windows
    after it ends in one bound for all of them (3 s, not 3 s and 4 s a
    window), saying once that they may not be done and that each stayed as
    it was (nothing reached KWin); the exit is not held, and leaves no
    shield file KWin never read."""
    world = World(tmp_path_factory.mktemp("stopped"), "kwin").start()
    ends(world.stop)
    bus, target = world.pids[0], Target("host", world)  # the dbus-daemon
    (windows := maker(ends, target)).ask("crowd\twct-stop\t20")
    windows.expect("crowded 20")
    steps = [("Display", dict(Text="wct-none", Display="0")), ("Sleep", dict(Sleep="500")),
             (action, {"ClassName": "wct-stop", action: "0"})]
    p = begun(ends, target, tmp_path_factory.mktemp("run"), steps, b"start - Sleep\n")
    os.kill(bus, signal.SIGSTOP)
    ends(lambda: os.kill(bus, signal.SIGCONT))
    began = time.monotonic()
    status, took = p.wait(), time.monotonic() - began
    assert (status, p.out, took < 10) == (0, script(*steps)[1].encode(), True), took
    err = p.p.stderr.read().decode().splitlines()
    assert err[0] == "wincue: KWin did not answer in time: windows may not be " + may
    assert sorted(re.sub(r"\(0x[0-9a-f]{16}\)", "(id)", line) for line in err[1:]) == sorted(
        'wincue: [Section2] %s: "wct-stop %d" (id) stayed %s' % (action, i, stayed)
        for i in range(20))
    assert list(Path(target.env["XDG_RUNTIME_DIR"]).glob("wincue-kwin-*")) == []


def test_an_idle_spell_loses_no_hide(kwin, tmp_path, ends):
    """30 s of sleep, longer than a call may wait on the bus (25 s), while a
    window comes: the batch that told it got no answer, and the script
    sends it again, so a window made after the sleep is found; the call the
    script waits on is a fresh one, and the hide after is done."""
    (windows := maker(ends, kwin)).create("wct-idle", "Idle")
    steps = [("Find", dict(ClassName="wct-idle", Visible="1")), ("Sleep", dict(Sleep="30000")),
             ("Find", dict(ClassName="wct-after", Timeout="5000")),
             ("Display", dict(ClassName="wct-idle", Display="0")),
             ("Gone", dict(ClassName="wct-idle", Visible="1", Timeout="5000"))]
    p = begun(ends, kwin, tmp_path, steps, b"start - Sleep\n")
    windows.create("wct-during", "During")
    assert p.read(lambda out: out.endswith(b"end   - Sleep\nstart - Find\n"), 60)
    windows.create("wct-after", "After")
    assert (p.wait(), p.out, p.p.stderr.read()) == (0, script(*steps)[1].encode(), b"")
    assert windows.answer("state")[0] == "wct-idle\tIdle\tvisible=0\tenabled=1"


def test_runs_of_one_pid_in_two_pid_namespaces(kwin, tmp_path_factory, ends):
    """Two runs of one process id, each in a PID namespace of its own (as
    in two containers on one desktop): the second, started and ended while
    the first waits, leaves the first's script alone, which then hears a
    new window and hides one. The script a run has KWin load is unloaded
    when the run ends (a killed run's goes by itself: the killed runs of
    test_desks.py wait for that)."""
    windows = maker(ends, kwin)
    kwin.desk.watch()
    spaced = ["unshare", "--pid", "--fork", "--kill-child"] + kwin.argv
    windows.create("wct-ns", "Spaced")
    steps = [("Find", dict(ClassName="wct-ns")),
             ("Find", dict(ClassName="wct-go", Timeout="10000")),
             ("Display", dict(ClassName="wct-ns", Display="0"))]
    p = begun(ends, kwin, tmp_path_factory.mktemp("first"), steps,
              b"start - Find\nend   - Find\nstart - Find\n", spaced)
    second = begun(ends, kwin, tmp_path_factory.mktemp("second"), steps[:1], b"", spaced)
    assert (second.wait(), second.out) == (0, script(*steps[:1])[1].encode())
    windows.create("wct-go", "Go")
    assert (p.wait(), p.out, p.p.stderr.read()) == (0, script(*steps)[1].encode(), b"")
    assert kwin.desk.runs() and not any(kwin.desk.loaded(name) for name in kwin.desk.runs())
    assert windows.answer("state")[0] == "wct-ns\tSpaced\tvisible=0\tenabled=1"


def test_a_class_set_later(kwin, tmp_path, ends):
    """A Find by class ends when an XWayland window takes that class after it
    appeared (KWin reports the change)."""
    if "DISPLAY" not in kwin.env:
        pytest.skip("no free X display for XWayland")
    (windows := maker(ends, kwin, x11=True)).create("wct-before", "Reclassed")
    wait_until(lambda: ("wct-before", "Reclassed") in [
        (w["cls"], w["name"]) for w in kwin.desk.windows().values()], 10, "KWin to take it in")
    # The Display step has wincue on KWin before the Find starts.
    steps = [("Display", dict(Text="wct-none", Display="0")),
             ("Find", dict(ClassName="wct-after", Text="Reclassed"))]
    p = begun(ends, kwin, tmp_path, steps)
    subprocess.run(["xdotool", "set_window", "--class", "wct-after", windows.answer("ids")[0]],
                   env=kwin.env, check=True, timeout=20)
    assert p.wait() == 0 and p.out == script(*steps)[1].encode()


# -- Enable, with real input -------------------------------------------------------------

@pytest.fixture
def locked(kwin, tmp_path, ends):
    desk = KWin(kwin, tmp_path)
    ends(desk.close)
    desk.make("locked", at=(40, 40, 240, 120))
    return desk


# Each way of giving a window the focus: (name, what does it, given the Desk
# and the numbers of the window focused before it, which it may close, and
# of the witness; where the keys typed go while the window is disabled:
# nowhere, the window focused before, or Alt to it and the next to the
# witness, next in the task switcher).
WAYS = [
    ("a click on it", lambda d, focused, witness: d.input.click(d.centre(0)), ["focused"]),
    ("an activation by a script", lambda d, focused, witness: d.maker.change("activate", 0),
     ["focused"]),
    ("Alt+Tab", lambda d, focused, witness: d.alt_tab(witness), ["focused", "witness"]),
    ("the focused window closing", lambda d, focused, witness: d.maker.change("close", focused),
     []),
]


@pytest.mark.parametrize("name,way,keys", WAYS, ids=[w[0] for w in WAYS])
def test_no_input_reaches_a_disabled_window(locked, name, way, keys):
    """A key typed right after each way of giving a disabled window the
    focus reaches no program through it, and goes where the focus stayed:
    the witness window clicked and typed at afterwards gets its input, and
    the locked window nothing. The pointer rests on the window focused
    before when the window is disabled. Enabled again, the same way gives it
    the keys."""
    d = locked
    witness = d.witness()
    for disabled in (True, False):
        d.input.click(d.centre(0))  # the locked window active before the other
        d.input.type()
        assert events_until(d.maker, "button 0", "key 0") == ["button 0", "key 0"]
        other = d.make("other %d" % disabled, "wct-other", (500, 40, 240, 120))  # takes the focus
        d.input.type()
        assert events_until(d.maker, "key %d" % other) == ["key %d" % other]
        d.input.send("move %d %d" % d.centre(other))  # over a window above the locked one
        if disabled:
            d.enable("0")
        way(d, other, witness)
        d.input.type()
        if disabled:
            at = dict(focused=other, witness=witness)
            assert d.witnessed() == ["key %d" % at[k] for k in keys]
            d.enable("1")
        else:
            assert "key 0" in events_until(d.maker, "key 0")
        if name != "the focused window closing":
            d.maker.change("close", other)


# What changes, while the pointer rests where a window stacked above the
# disabled one covers it, who is under the pointer: (name, the change, given
# the Desk and the number of the window above). Every row first proves the
# window above gets a click there, which then reaches no window.
ABOVE = [
    ("that window moved away", lambda d, above: d.place(above, 500, 300, 240, 120)),
    ("that window minimized", lambda d, above: d.target.desk.toggle_minimized(d.uuids[above])),
    ("that window closed", lambda d, above: d.maker.change("close", above)),
    ("that window put below it",
     lambda d, above: d.target.desk.on_window(d.uuids[above], "w.keepBelow = true;")),
]


@pytest.mark.parametrize("name,change", ABOVE, ids=[a[0] for a in ABOVE])
def test_windows_above_a_disabled_one_keep_the_pointer(locked, name, change):
    """A window stacked above a disabled one gets the clicks where it covers
    it, and only while it does: KWin's own windows stay above every other,
    so the shield lets the pointer through there, and takes it again as
    soon as the window above moves, is minimized or closed, or goes below
    it, with the pointer resting in place. Where nothing covers it, the
    disabled window gets no click."""
    d = locked
    above = d.make("above", "wct-other", (200, 80, 240, 120))  # over the right of the locked one
    d.witness()
    d.enable("0")
    d.input.click((100, 100))  # the locked window alone
    d.input.click((240, 120))  # where the other covers it
    assert events_until(d.maker, "button %d" % above) == ["button %d" % above]
    change(d, above)
    d.input.send("click %d" % LEFT)
    assert d.witnessed() == []


def test_kwin_killed_while_a_step_waits_on_it(tmp_path_factory, ends):
    """KWin stopped while an Enable step asks it, then killed: the step
    ends within a second of the kill, not at its bounds (2 s to ask, 3 s
    for the shields), with the one line of a lost KWin, and the run goes
    on to its end."""
    world = World(tmp_path_factory.mktemp("killed"), "kwin").start()
    ends(world.stop)
    target, kwin = Target("host", world), world.pids[-1]
    windows = Maker(target)
    ends(windows.child.stop)  # its desktop gone, it cannot be asked to quit
    windows.create("wct-kill", "Stopped")
    steps = [("Display", dict(Text="wct-none", Display="0")), ("Sleep", dict(Sleep="300")),
             ("Enable", dict(ClassName="wct-kill", Enable="0")), ("Sleep", dict(Sleep="0"))]
    p = begun(ends, target, tmp_path_factory.mktemp("run"), steps, b"start - Sleep\n")
    os.kill(kwin, signal.SIGSTOP)
    assert p.read(lambda out: out.endswith(b"start - Enable\n"))
    os.kill(kwin, signal.SIGKILL)
    killed = time.monotonic()
    status, took = p.wait(), time.monotonic() - killed
    err = p.p.stderr.read()
    assert (status, p.out, took < 1) == (0, script(*steps)[1].encode(), True), took
    assert err.startswith(b"wincue: lost KWin on the session bus") and err.count(b"\n") == 1
