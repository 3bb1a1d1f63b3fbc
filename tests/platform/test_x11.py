"""What only the X11 desktop shows, under every window manager the suite
starts: real (XTEST) clicks and keys for Enable, exact restores, minimized
windows, real programs; and a display that is missing or goes away."""
import os
import random
import signal
import subprocess
import time

import pytest
from Xlib import X, Xatom
from Xlib.protocol import event

from harness import (BUILD, MANAGERS, THROUGH, Child, Maker, Target, World, begun, quickest,
                     script, script_dir, stop_pid, wait_until, wincue)
from desks import click_and_type, events_until
from xdesk import Desk


@pytest.fixture(params=MANAGERS)
def x11(request, worlds):
    """The Linux build on a desktop, and python-xlib's view of that desktop."""
    target = Target("host", worlds(request.param))
    target.desk = Desk(target.env["DISPLAY"])
    target.manager, target.managed = request.param, request.param != "none"
    yield target
    target.desk.close()


# The X11 server alone, no manager: for the rows that act as one, or need none.
BARE = pytest.mark.parametrize("x11", ["none"], indirect=True)


def enable(x11, tmp_path, flags, **match):
    """One run of an Enable step for each of flags on the windows match names."""
    wincue(x11, tmp_path, *[("Enable", dict(Enable=f, **match)) for f in flags])


def test_stand_ins(x11):
    """What no script shows: x11_desktop_test on this desktop."""
    r = subprocess.run([str(BUILD / "host" / "tests" / "x11_desktop_test")], env=x11.env,
                       capture_output=True, text=True, timeout=120)
    assert r.returncode == 0, r.stdout[-3000:]


def test_click_on_a_disabled_window_reaches_no_program(x11, tmp_path):
    """A click on a disabled window stacked over another reaches neither,
    also after wincue has ended, and the one behind is not activated: keys
    typed next reach no program. A witness window of the same program
    proves the input was routed (its events come in the order the server
    sent them). Enabled again, the window has exactly what it had (that it
    then takes a click and keys is in test_desks.py). Enabling a window
    never disabled leaves it alone; disabling twice and enabling gives back
    a window's own input region and its lack of hints."""
    with Maker(x11) as maker:
        maker.create("Stack", "behind", "at=40:40:240:160")
        maker.create("Stack", "front", "takefocus,focus,at=40:40:240:160")
        maker.create("Stack", "witness", "at=400:300:150:80")
        maker.create("Own", "own region", "nohints,region=5:5:30:20,at=600:40:100:60")
        front, witness = sorted(x11.desk.clients("Stack"))[1:]  # in the order made
        before = maker.answer("input")
        enable(x11, tmp_path, "1", Text="own region")
        assert maker.answer("input") == before
        click_and_type(x11.desk, x11.env, front, "a", focused=True)
        assert events_until(maker, "button 1", "key 1") == ["button 1", "key 1"]
        enable(x11, tmp_path, "0", Text="front")
        enable(x11, tmp_path, "00", Text="own region")
        assert maker.answer("state")[3] == "Own\town region\tvisible=1\tenabled=0"
        click_and_type(x11.desk, x11.env, front, "b")
        click_and_type(x11.desk, x11.env, witness, "c", focused=True)
        assert events_until(maker, "button 2", "key 2") == ["button 2", "key 2"]
        wincue(x11, tmp_path, ("Enable", dict(Enable="1", Text="front")),
               ("Enable", dict(Enable="1", Text="own region")))
        assert maker.answer("input") == before


# What a manager does late, on what it read before the step: it focuses a
# window it has just shown, or makes active one clicked while disabled; and
# where the focus must end.
LATE = [("0", lambda d, wid: d.window(wid).set_input_focus(X.RevertToParent, X.CurrentTime),
         "shield"),
        ("1", lambda d, wid: d.root.change_property(d.atom("_NET_ACTIVE_WINDOW"), Xatom.WINDOW,
                                                    32, [wid]), "window")]


@BARE
@pytest.mark.parametrize("flag, late, focus", LATE, ids=["focuses", "activates"])
def test_a_manager_acting_late(x11, tmp_path, flag, late, focus, ends):
    """The test is the manager. As every manager, it handles what it gets in
    order, but does what it was about to do only when the next request comes
    (or after wincue): a step must hear its answer before it looks."""
    desk, app, pending = x11.desk, Desk(x11.env["DISPLAY"]), []

    def manage(done):
        while desk.d.pending_events():
            e = desk.d.next_event()
            if e.type == X.MapRequest:
                e.window.map()
                e.window.change_property(desk.atom("WM_STATE"), desk.atom("WM_STATE"), 32, [1, 0])
            elif e.type == X.ConfigureRequest:
                while pending:
                    pending.pop()(desk, e.window.id)
                g = e.window.get_geometry()
                e.window.send_event(event.ConfigureNotify(
                    window=e.window, event=e.window, above_sibling=0, x=g.x, y=g.y, width=g.width,
                    height=g.height, border_width=0, override=0), X.StructureNotifyMask)
        desk.d.flush()
        return done()

    def step(value):
        config, want = script(("Enable", dict(Enable=value, Text="late")))
        run = Child(x11.argv, x11.env, script_dir(tmp_path, config))
        wait_until(lambda: manage(lambda: run.p.poll() is not None), 20, "wincue")
        assert (run.wait(), run.out) == (0, want.encode())
    ends(app.close)
    ends(lambda: [desk.root.delete_property(desk.atom(name))
                  for name in ("_NET_ACTIVE_WINDOW", "_NET_SUPPORTING_WM_CHECK")])
    desk.root.change_attributes(event_mask=X.SubstructureRedirectMask)
    check = desk.root.create_window(0, 0, 1, 1, 0, 0, X.InputOnly, X.CopyFromParent)
    desk.root.change_property(desk.atom("_NET_SUPPORTING_WM_CHECK"), Xatom.WINDOW, 32,
                              [check.id])  # an EWMH manager
    desk.d.sync()
    wid = app.make_window("Late", "late")
    wait_until(lambda: manage(lambda: desk.wm_state(wid) == 1), 20, "the window taken in")
    if flag == "1":
        step("0")
    pending.append(late)
    step(flag)
    while pending:
        pending.pop()(desk, wid)
    want = desk.shields(wid)[0] if focus == "shield" else wid
    assert desk.d.get_input_focus().focus.id == want


def test_a_later_run_frees_the_slots_of_spent_shields(x11, tmp_path):
    """Shields outlive wincue in a client slot of the run that made them. A
    window that dies while disabled takes its shield along: the next run
    that opens the display, even one whose Enable step matches nothing,
    frees that run's slot (its anchor window goes with it) and leaves alone
    a run whose shield still covers a window, whichever of its shields went.
    A shield names its window: Enable=1 removes it also when the record of
    what disabling saved is gone (written over by an older wincue racing
    this one, or dropped by the program)."""
    with Maker(x11) as maker:
        maker.create("Slot", "kept", "at=40:40:100:60")
        maker.create("Slot", "dies", "at=200:40:100:60")
        maker.create("Slot", "goes", "at=40:140:100:60")
        kept, dies, goes = sorted(x11.desk.clients("Slot"))
        wincue(x11, tmp_path, ("Enable", dict(Enable="0", Text="kept")),
               ("Enable", dict(Enable="0", Text="goes")))
        shield = x11.desk.prop(kept, "_WINCUE_SAVED_INPUT")[2]
        enable(x11, tmp_path, "0", Text="dies")
        assert x11.desk.parent(shield) == kept
        spent = x11.desk.prop(x11.desk.root.id, "_WINCUE_SHIELD_OWNERS")[-1]
        x11.desk.destroy(dies)
        x11.desk.destroy(goes)  # the last shield the first run made
        enable(x11, tmp_path, "1", Text="no such window")
        assert (x11.desk.map_state(spent), x11.desk.parent(shield)) == (None, kept)
        x11.desk.window(kept).delete_property(x11.desk.atom("_WINCUE_SAVED_INPUT"))
        x11.desk.d.sync()
        enable(x11, tmp_path, "1", Text="kept")
        assert x11.desk.shields(kept) == []


@BARE
def test_a_run_killed_while_freeing_slots_loses_no_anchor(x11, tmp_path, ends):
    """Runs killed at random moments while they free spent slots: every
    anchor still there stays listed, so a later run frees every spent slot
    and keeps the one whose shield still covers a window."""
    desk = x11.desk

    def anchors():
        return {w.id for w in desk.root.query_tree().children
                if desk.prop(w.id, "_WINCUE_SHIELDS") is not None}

    def listed():
        return set(desk.prop(desk.root.id, "_WINCUE_SHIELD_OWNERS") or [])

    def disable(title):
        wid = desk.make_window("Kill", title, mapped=False)
        enable(x11, tmp_path, "0", Text=title)
        return wid
    kept = disable("kept")
    killed = tmp_path / "killed"
    killed.mkdir()
    script_dir(killed, script(("Enable", dict(Enable="0", Text="kept")))[0])
    ends(lambda: enable(x11, tmp_path, "1", Text="kept") or desk.destroy(kept))
    live = anchors()
    for i in range(20):
        for wid in [disable("dies %d" % k) for k in range(3)]:
            desk.destroy(wid)  # and its shield with it: its slot is spent
        p = subprocess.Popen(x11.argv, cwd=killed, env=x11.env, stdout=subprocess.DEVNULL)
        time.sleep(random.uniform(0, 0.01))  # a random moment, not a wait
        p.kill()
        p.wait()
        assert anchors() <= listed(), "round %d" % i
    enable(x11, tmp_path, "1", Text="no such window")
    assert anchors() == live == listed()


# (a window listed on the root as an anchor whose run has ended, its stamp
# (None: none), whether it stays listed)
FOREIGN = [("stamped on another boot, in another PID namespace",
            b"00000000-0000-0000-0000-000000000000 pid:[1]", True),
           ("not stamped: another program's", None, False)]


@BARE
@pytest.mark.parametrize("name,stamp,listed", FOREIGN, ids=[f[0] for f in FOREIGN])
def test_a_slot_is_freed_only_for_a_run_ended_here(x11, tmp_path, ends, name, stamp, listed):
    """An anchor's process id is read only where it was written: one stamped
    elsewhere (a container) is a run still going, and kept. Any program can
    list a window on the root: one without the stamp is unlisted but its
    program's connection never killed."""
    desk, other = x11.desk, Desk(x11.env["DISPLAY"])
    ends(other.close)
    ended = subprocess.Popen(["true"])
    ended.wait()
    w = other.root.create_window(-1, -1, 1, 1, 0, 0, window_class=X.InputOnly)
    w.change_property(other.atom("_WINCUE_SHIELDS"), Xatom.WINDOW, 32, [])
    w.change_property(other.atom("_NET_WM_PID"), Xatom.CARDINAL, 32, [ended.pid])
    if stamp:
        w.change_property(other.atom("_WINCUE_RUN"), Xatom.STRING, 8, stamp)
    other.root.change_property(other.atom("_WINCUE_SHIELD_OWNERS"), Xatom.WINDOW, 32, [w.id],
                               X.PropModeAppend)
    other.d.sync()
    enable(x11, tmp_path, "1", Text="no such window")
    owners = desk.prop(desk.root.id, "_WINCUE_SHIELD_OWNERS") or []
    assert (desk.map_state(w.id), w.id in owners) == (X.IsUnmapped, listed)


# Where the runs that free slots run: here, or in a PID namespace of their
# own (a container's), where the held run's process id names no process.
OTHER_PIDS = ["unshare", "--pid", "--fork"] + (["--user", "--map-root-user"] if os.getuid() else [])


@BARE
@pytest.mark.parametrize("elsewhere", [False, True], ids=["here", "in another PID namespace"])
def test_a_run_still_going_keeps_its_slot(x11, tmp_path_factory, ends, elsewhere):
    """A run held by a Find after another run enabled its only shield keeps
    its display while a third run frees spent slots."""
    freeing = Target("host", x11.world)
    if elsewhere:
        if subprocess.run(OTHER_PIDS + ["true"], capture_output=True).returncode != 0:
            pytest.skip("no PID namespace can be made here")
        freeing.argv = OTHER_PIDS + freeing.argv
    with Maker(x11) as maker:
        maker.create("Going", "going")
        config = script(("Enable", dict(Enable="0", Text="going")), ("Find", dict(Text="later")))
        held = begun(ends, x11, tmp_path_factory.mktemp("a"), config[0])
        for run in "bc":  # the second frees slots once the shield is gone
            d = script_dir(tmp_path_factory.mktemp(run),
                           script(("Enable", dict(Enable="1", Text="going")))[0])
            assert freeing.run(d)[0] == 0
        maker.create("Going", "later")
        assert (held.wait(10), held.out) == (0, config[1].encode())


@BARE
def test_thousands_of_windows(x11, tmp_path, ends):
    """Every window is visited however many there are: a Find for a window
    made after 5,000 others ends, and a Display then reaches it."""
    desk = Desk(x11.env["DISPLAY"])
    ends(desk.close)  # and its windows with it
    for i in range(5000):
        desk.make_window("Many", mapped=False, at=(0, 0, 10, 10))
    config, want = script(("Find", dict(ClassName="Late")),
                          ("Display", dict(Display="1", ClassName="Late")))
    run = begun(ends, x11, tmp_path, config)
    late = desk.make_window("Late", mapped=False)
    assert (run.wait(30), run.out, desk.map_state(late)) == (0, want.encode(), X.IsViewable)


@BARE
def test_sleep_steps_between_window_steps_last_their_time(x11, tmp_path):
    """A waiting Find sleeps until the desktop changes; Sleep steps between
    window steps that ask the same are no such wait. Run with standard
    output closed, its descriptor must not go to the X connection, which
    would then get the script's lines."""
    steps = [("Display", dict(Display="1", ClassName="nowhere")), ("Sleep", dict(Sleep="20"))]

    def run():
        start = time.monotonic()
        assert x11.run(script_dir(tmp_path, script(*steps * 4)[0]))[0] == 0
        return time.monotonic() - start
    quickest(run, 0.9)  # one stretched Sleep takes a second
    r = subprocess.run(x11.argv, cwd=tmp_path, env=x11.env, stdin=subprocess.DEVNULL,
                       stderr=subprocess.PIPE, preexec_fn=lambda: os.close(1), timeout=30)
    assert (r.returncode, r.stderr) == (0, b"")


def test_xterm(x11, tmp_path, ends):
    """A real client: minimized, it stays so through Display=1; hidden (also
    from minimized), found and shown again by its class, and keys typed
    while it is disabled never reach the program inside it."""
    typed = tmp_path / "typed.txt"
    ends(Child(["xterm", "-T", "xterm target", "-geometry", "40x5+40+300", "-e", "sh", "-c",
                "cat > %s" % typed], x11.env).stop)
    wid = wait_until(lambda: [w for w in x11.desk.clients("XTerm")
                              if x11.desk.is_shown(w, x11.managed)], 20, "xterm")[0]
    if x11.manager not in ("none", "i3"):  # no manager, nor a tiling one, minimizes
        subprocess.run(["xdotool", "windowminimize", str(wid)], env=x11.env, check=True)
        wait_until(lambda: x11.desk.wm_state(wid) == 3, 20, "minimized")
        wincue(x11, tmp_path, ("Display", dict(Display="1", ClassName="XTerm")))
        assert x11.desk.wm_state(wid) == 3
    wincue(x11, tmp_path, ("Display", dict(Display="0", ClassName="XTerm")))
    assert x11.desk.is_hidden(wid)
    wincue(x11, tmp_path, ("Find", dict(ClassName="XTerm")),
           ("Display", dict(Display="1", ClassName="XTerm")),
           ("Enable", dict(Enable="0", Text="xterm target")))
    assert x11.desk.is_shown(wid, x11.managed)
    click_and_type(x11.desk, x11.env, wid, "blocked\n")
    enable(x11, tmp_path, "1", Text="xterm target")
    click_and_type(x11.desk, x11.env, wid, "open\n", focused=True)
    wait_until(lambda: typed.exists() and typed.read_text().endswith("\n"), 20, "cat")
    assert typed.read_text() == "open\n"


def manager_runs(x11):
    if not x11.managed:
        return True
    with open("/proc/%d/stat" % x11.world.pids[1]) as f:
        return f.read().rsplit(")", 1)[1].split()[0] != "Z"


# Hidden windows of one class, and whether Display=1 of the class shows them:
# helpers no program means to be seen never, a withdrawn window always.
HIDDEN = [("InputOnly", dict(input_only=True), False),
          ("own leader, no WM_HINTS, as Qt's and GTK 4's", dict(leader=True, hints=False), False),
          ("own leader, withdrawn, as xterm", dict(leader=True), True),
          ("no WM_HINTS", dict(hints=False), True)]


def hidden_window(desk, cls, input_only=False, leader=False, hints=True):
    w = desk.root.create_window(10, 10, 50, 50, 0, 0, X.InputOnly if input_only else
                                X.InputOutput, X.CopyFromParent)
    w.set_wm_class("testwindows", cls)
    if leader:
        w.change_property(desk.atom("WM_CLIENT_LEADER"), Xatom.WINDOW, 32, [w.id])
    if hints:
        w.set_wm_hints(flags=1, input=1)
    desk.d.sync()
    return w.id


def test_close_asks_nothing_of_a_window_that_takes_no_request(x11, tmp_path):
    """A window without WM_DELETE_WINDOW is left open, with its line: asked to
    close it, a manager would end its program (openbox kills the client of
    _NET_CLOSE_WINDOW). --check counts it as one wincue cannot act on."""
    with Maker(x11) as maker:
        maker.create("Deaf", "deaf", "deaf")
        maker.create("Deaf", "hears", "")
        wincue(x11, tmp_path, ("Close", dict(ClassName="Deaf")))
        assert x11.err == ('wincue: [Section0] Close: "deaf" (%s) stayed open: its program takes '
                           'no request to close\n' % maker.answer("ids")[0]).encode()
        assert wait_until(lambda: maker.answer("state")[1] == "gone", 20, "the close") and \
            maker.answer("state")[0] == "Deaf\tdeaf\tvisible=1\tenabled=1"
        config = script(("Close", dict(ClassName="Deaf")))[0]
        assert x11.run(script_dir(tmp_path, config), args=["--check"])[0] == 0
        assert x11.err == b"wincue: [Section0] Close: 1 matching window, 1 wincue cannot act on\n"


def test_hidden_windows_a_display_shows(x11, tmp_path, ends):
    names, kinds, wants = zip(*HIDDEN)
    ids = [hidden_window(x11.desk, "Hidden", **kind) for kind in kinds]
    ends(lambda: [x11.desk.destroy(w) for w in ids])
    wincue(x11, tmp_path, ("Display", dict(Display="1", ClassName="Hidden")))
    shown = [x11.desk.map_state(w) != X.IsUnmapped for w in ids]
    assert (dict(zip(names, shown)), manager_runs(x11)) == (dict(zip(names, wants)), True)


HELD = [("Display", dict(Display="0", Text="x")), ("Enable", dict(Enable="0", ClassName="y")),
        ("Find", dict(Text="z"))]
HELD_OUT = script(*HELD)[1][:-len("end   - Find\n")]


def one_line_on_stderr(p):
    os.set_blocking(p.p.stderr.fileno(), False)
    err = wait_until(lambda: p.p.stderr.read(), 10, "standard error")
    return err.count(b"\n") == 1 and err.startswith(b"wincue: ") and p.p.poll() is None


@pytest.mark.parametrize("display", [{}, dict(DISPLAY=":4242")], ids=["None", ":4242"])
def test_no_display(tmp_path, ends, display):
    """No display, or one that cannot be opened: the steps run on an empty
    desktop, Find holds, and one line goes to standard error. A script
    without window steps never opens it: no line."""
    target = Target("host")
    target.env.update(display)
    assert wincue(target, tmp_path, ("Sleep", dict(Sleep="0"))) == b""
    p = begun(ends, target, tmp_path, HELD, HELD_OUT.encode())
    assert one_line_on_stderr(p)


def system_calls(pid, seconds=1.5):
    """The system calls a process makes over a stretch of time: a count,
    not a timing."""
    trace = subprocess.Popen(["strace", "-f", "-qq", "-p", str(pid)], stdout=subprocess.DEVNULL,
                             stderr=subprocess.PIPE)
    time.sleep(seconds)  # the stretch counted, not a wait
    stop_pid(trace.pid)
    return trace.stderr.read().count(b"\n")


@pytest.mark.parametrize("desktop", ["none", "sway", "kwin", "gnome", "wlr-sway"])
def test_the_display_goes_away(tmp_path_factory, ends, desktop):
    """The X server (with windows in wincue's cache) or the compositor killed
    while a Find waits: one line on standard error, and the Find waits on as
    calmly as it did on a live display (X11), or at all (Wayland)."""
    name, runner = THROUGH.get(desktop, (desktop, []))
    world = World(tmp_path_factory.mktemp("gone"), None if name == "none" else name).start()
    ends(world.stop)
    target = Target("host", world)
    if name == "none":
        maker = Maker(target)
        ends(maker.child.stop)  # its display gone, it cannot be asked to quit
        maker.create("Gone", "there before")
    p = begun(ends, target, tmp_path_factory.mktemp("held"), HELD, HELD_OUT.encode(),
              runner + target.argv)
    live = system_calls(p.p.pid)
    os.kill(world.pids[0 if name in ("none", "sway") else -1], signal.SIGKILL)
    assert one_line_on_stderr(p)
    dead = system_calls(p.p.pid)
    assert dead <= live + 20 if name == "none" else dead < 100, (live, dead)


@BARE
def test_a_window_a_manager_maps_unframed_is_shown(x11, tmp_path_factory, ends):
    """A manager that maps a window without framing it or saying it manages
    it (twm handling a map late, after the window was let go) leaves it on
    the screen: --list says shown, and a Find for a shown one ends. (Neither
    asks the manager anything: its one map is all it does.)"""
    manager = Desk(x11.env["DISPLAY"])
    ends(manager.close)
    manager.root.change_attributes(event_mask=X.SubstructureRedirectMask)
    manager.d.sync()
    wid = x11.desk.make_window("Unframed", "unframed")  # its map waits for the manager
    ends(lambda: x11.desk.destroy(wid))
    wait_until(manager.d.pending_events, 20, "the map request")
    manager.d.next_event().window.map()
    manager.d.sync()
    assert x11.desk.map_state(wid) == X.IsViewable
    out = x11.run(script_dir(tmp_path_factory.mktemp("list"), ""), args=["--list"])[1]
    assert "0x%08x\tshown\tenabled\tUnframed\tunframed\n" % wid in out.decode()
    config, want = script(("Find", dict(ClassName="Unframed", Visible="1", Timeout="20000")))
    assert x11.run(script_dir(tmp_path_factory.mktemp("find"), config)) == (0, want.encode())
