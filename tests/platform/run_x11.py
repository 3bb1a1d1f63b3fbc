"""The window steps of the Linux build on a real X11 desktop.

usage: run_x11.py none|openbox|icewm|gone TEST_WINDOW DESKTOP_TEST
  none, openbox, icewm: a world of our own (Xvfb, and that window manager) with X
      clients from Debian's packages and our test window; the stand-ins' own
      test (DESKTOP_TEST) runs there too.
  gone: no display at all, and a display that goes away mid-run.
wincue runs on config.ini scripts; its output must be exact.
"""
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "harness"))
sys.path.insert(0, str(HERE.parent / "script"))
from cases import echo, run  # noqa: E402
from wincue import Target, script_dir  # noqa: E402
from world import World, stop_pid, wait_until  # noqa: E402
from xdesk import (Program, TestWindows, center, click_and_type, find_windows,  # noqa: E402
                   has_property, is_hidden, is_shown, left, top, wait_shown, wm_state,
                   world_dir, xtool)

results = []


def check(name, ok, detail=""):
    results.append(bool(ok))
    print("%s %s" % ("PASS" if ok else "FAIL", name))
    if not ok and detail:
        print("  " + str(detail).replace("\n", "\n  "))


def step(i, action, **fields):
    return "[Section%d]\nAction=%s\n%s" % (i, action, "".join(
        "%s=%s\n" % (k, v) for k, v in fields.items()))


def echo_find(i, text="", cls=""):
    return "[Section%d]\nAction    =Find\nText      =%s\nClassName =%s\n\n" % (i, text, cls)


class Desk:
    """One world and what runs in it."""

    def __init__(self, manager, test_window):
        self.world = World(world_dir(manager or "bare"), manager=manager).start()
        self.env = self.world.env
        self.test_window = test_window
        self.target = Target("host", self.world)
        self.root = tempfile.mkdtemp(prefix="wincue-x11-")
        self.programs = []

    def windows(self, *args, count=1):
        p = TestWindows(self.test_window, self.env, *args, count=count)
        self.programs.append(p)
        if self.world.manager:
            for wid in p.ids:
                if "--unmapped" not in args:
                    wait_shown(self.world, wid)
        return p

    def client(self, argv, name=None, cls=None):
        """A real X program; returns its window once it is shown."""
        p = Program(argv, self.env)
        self.programs.append(p)
        wid = wait_until(lambda: next((w for w in find_windows(self.world, name, cls)
                                       if is_shown(self.world, w)), None),
                         20, "%s to show its window" % argv[0])
        return wid

    def wincue(self, script, timeout=30):
        d = script_dir(self.root, script.encode())
        status, out = self.target.run(d, timeout)
        return status, out.decode("utf-8", "replace")

    def close(self):
        for p in self.programs:
            p.stop()
        self.world.stop()
        shutil.rmtree(self.root, ignore_errors=True)


# -- cases -------------------------------------------------------------------

def find_by_title_and_class(desk):
    desk.windows("--net-title", "n\u00e9t title only")
    desk.windows("--title", "wm name only", "--class", "Plain")
    desk.windows("--title", "never mapped", "--unmapped")
    desk.client(["xlogo"], cls="XLogo")
    script = (step(0, "Find", Text="n\u00e9t title only") + step(1, "Find", Text="wm name only") +
              step(2, "Find", Text="never mapped") + step(3, "Find", ClassName="XLogo") +
              step(4, "Find", Text="wm name only", ClassName="Plain"))
    want = (echo_find(0, "n\u00e9t title only") + echo_find(1, "wm name only") +
            echo_find(2, "never mapped") + echo_find(3, cls="XLogo") +
            echo_find(4, "wm name only", "Plain") + run(*["Find"] * 5))
    status, out = desk.wincue(script)
    check("find by _NET_WM_NAME, by WM_NAME, never mapped, by class", (status, out) == (0, want),
          "status %r, output:\n%s" % (status, out))


def exact_match_only(desk):
    plain = desk.windows("--title", "Exact Title", "--class", "Exact").ids[0]
    script = "".join(step(i, "Display", Display="0", **crit) for i, crit in enumerate([
        dict(Text="exact title"), dict(Text="Exact"), dict(Text="Exact Title", ClassName="exact"),
        dict(ClassName="Exac")]))
    status, out = desk.wincue(script)
    check("case, prefix and class must match exactly", status == 0 and is_shown(desk.world, plain))


def hide_find_show(desk):
    mine = desk.windows("--title", "hide-me").ids[0]
    xmessage = desk.client(["xmessage", "-name", "hideable", "a real client"], cls="Xmessage")
    status, out = desk.wincue(step(0, "Display", Display="0", Text="hide-me") +
                              step(1, "Display", Display="0", ClassName="Xmessage"))
    check("hide withdraws", status == 0 and is_hidden(desk.world, mine) and
          is_hidden(desk.world, xmessage), out)
    status, out = desk.wincue(step(0, "Find", Text="hide-me") + step(1, "Find", ClassName="Xmessage") +
                              step(2, "Display", Display="1", Text="hide-me") +
                              step(3, "Display", Display="1", ClassName="Xmessage"))
    check("a hidden window is found, then shown and managed again",
          status == 0 and out.endswith(run("Find", "Find", "Display", "Display")) and
          is_shown(desk.world, mine) and is_shown(desk.world, xmessage), out)


def minimized_stays(desk):
    """Showing a minimized window leaves it minimized; hiding withdraws it."""
    if not desk.world.manager:
        return
    wid = desk.windows("--title", "minimized").ids[0]
    subprocess.run(["xdotool", "windowminimize", "--sync", wid], env=desk.env, check=True)
    desk.wincue(step(0, "Display", Display="1", Text="minimized"))
    check("showing a minimized window leaves it minimized", wm_state(desk.world, wid) == "Iconic")
    desk.wincue(step(0, "Display", Display="0", Text="minimized"))
    check("hiding a minimized window withdraws it", is_hidden(desk.world, wid))


def back_to_back(desk):
    flips = desk.windows("--title", "flip", "--class", "Flip", "--count", "3", count=3).ids
    pairs = 15
    script = "".join(step(2 * i, "Display", Display="0", ClassName="Flip") +
                     step(2 * i + 1, "Display", Display="1", ClassName="Flip")
                     for i in range(pairs))
    status, out = desk.wincue(script)
    lost = [w for w in flips if not is_shown(desk.world, w)]
    check("hide and show back to back %d times lose nothing" % pairs,
          status == 0 and out.endswith(run(*["Display"] * 2 * pairs)) and not lost,
          "lost %r" % lost)


def disable_enable(desk):
    """Real input (XTEST) must not reach a disabled window, also after
    wincue has ended, and must again once it is enabled. The two windows
    share one connection, so their events arrive in the order the server
    sent them: the witness's click proves the target's was routed."""
    tw = desk.windows("--title", "input", "--count", "2", "--take-focus", "--focus",
                      "--geometry", "40,40,200,120", count=2)
    target, witness = tw.ids
    # the program places its windows one below the other
    tx, ty = center(desk.world, target)
    wx, wy = center(desk.world, witness)
    before = tw.state(target)

    start = len(tw.lines)
    click_and_type(desk.world, tx, ty, "a")
    tw.wait_for(lambda ls: len(tw.events_since(start)) >= 2, what="input before disabling")
    check("input reaches the window first",
          all(e.endswith(target) for e in tw.events_since(start)), tw.events_since(start))

    status, out = desk.wincue(step(0, "Enable", Enable="0", Text="input 0"))
    disabled = tw.state(target)
    check("disabling empties the input region, clears the input hint, drops WM_TAKE_FOCUS",
          status == 0 and " region= " in disabled and " hints=1:0 " in disabled and
          disabled.endswith("protocols=%s" % before.split("protocols=")[1].split(",")[0]) and
          has_property(desk.world, target, "_WINCUE_SAVED_INPUT"), disabled)

    start = len(tw.lines)
    click_and_type(desk.world, tx, ty, "b")
    if desk.world.manager:  # the title bar: the manager must not give it the focus
        # a quarter in from the left: some managers put their buttons mid-bar
        bx = (left(desk.world, target) + tx) // 2
        click_and_type(desk.world, bx, top(desk.world, target) - 8, "b")
    click_and_type(desk.world, wx, wy, "c")
    tw.wait_for(lambda ls: any(e.startswith("key") and e.endswith(witness)
                               for e in tw.events_since(start)), what="the witness's key")
    events = tw.events_since(start)
    check("a disabled window gets no click and no key, after wincue ended",
          not any(e.endswith(target) for e in events), events)

    status, out = desk.wincue(step(0, "Enable", Enable="1", Text="input 0") +
                              step(1, "Display", Display="1", Text="input 0"))
    check("enabling restores region, hints and protocols exactly",
          tw.state(target) == before and not has_property(desk.world, target,
                                                            "_WINCUE_SAVED_INPUT"),
          "before %s\nafter  %s" % (before, tw.state(target)))
    start = len(tw.lines)
    click_and_type(desk.world, tx, ty, "d")
    tw.wait_for(lambda ls: len(tw.events_since(start)) >= 2, what="input after enabling")
    check("an enabled window gets clicks and keys again",
          all(e.endswith(target) for e in tw.events_since(start)), tw.events_since(start))


def disable_a_class(desk):
    """One pass disabling every window of a class moves the focus off all
    of them: never onto one the same pass has just disabled."""
    tw = desk.windows("--title", "pair", "--class", "Pair", "--count", "2", "--take-focus",
                      "--geometry", "300,40,150,80", count=2)
    xtool(desk.world, "xdotool", "windowfocus", "--sync", tw.ids[1])
    desk.wincue(step(0, "Enable", Enable="0", ClassName="Pair"))
    focus = xtool(desk.world, "xdotool", "getwindowfocus").strip()
    check("disabling a class leaves the focus on none of its windows",
          not focus or int(focus) not in [int(w, 0) for w in tw.ids], (focus, tw.ids))
    desk.wincue(step(0, "Enable", Enable="1", ClassName="Pair"))


def enable_leaves_others_alone(desk):
    """Enabling a window never disabled changes nothing; disabling and
    enabling one without hints or protocols, with a region of its own,
    gives back exactly that."""
    own = desk.windows("--title", "own region", "--no-hints", "--input-region", "5,5,30,20")
    wid = own.ids[0]
    before = own.state(wid)
    desk.wincue(step(0, "Enable", Enable="1", Text="own region"))
    check("enabling a window never disabled leaves it as it was", own.state(wid) == before,
          "before %s\nafter  %s" % (before, own.state(wid)))
    desk.wincue(step(0, "Enable", Enable="0", Text="own region") +
                step(1, "Enable", Enable="0", Text="own region"))
    desk.wincue(step(0, "Enable", Enable="1", Text="own region"))
    check("disabling twice, then enabling, gives back the window's own region and no hints",
          own.state(wid) == before, "before %s\nafter  %s" % (before, own.state(wid)))


def real_client_input(desk):
    """xterm, a real client: keys typed while it is disabled never reach
    the program inside it."""
    out = Path(desk.root) / "typed.txt"
    witness_program = desk.windows("--title", "xterm witness", "--geometry", "700,40,150,100")
    witness = witness_program.ids[0]
    term = desk.client(["xterm", "-T", "xterm target", "-geometry", "40x5+40+300", "-e", "sh",
                        "-c", "cat > %s" % out], name="xterm target")
    tx, ty = center(desk.world, term)
    wx, wy = center(desk.world, witness)
    desk.wincue(step(0, "Enable", Enable="0", Text="xterm target"))
    click_and_type(desk.world, tx, ty, "blocked\n")
    start = len(witness_program.lines)
    click_and_type(desk.world, wx, wy, "w")
    witness_program.wait_for(lambda ls: any(e.startswith("key")
                                            for e in witness_program.events_since(start)))
    desk.wincue(step(0, "Enable", Enable="1", Text="xterm target") +
                step(1, "Display", Display="1", Text="xterm target"))
    click_and_type(desk.world, tx, ty, "open\n")
    wait_until(lambda: out.exists() and out.read_text().endswith("\n"), 10, "xterm's cat")
    check("xterm: keys typed while disabled never arrive", out.read_text() == "open\n",
          repr(out.read_text()))


def find_waits_for_a_later_window(desk):
    """A Cmd step starts a program that makes its window a moment later; the
    Find step after it must end only once the window exists. wincue and its
    child write to one pipe, so the lines keep the order of the events."""
    cmd = '%s --title "late window" --after 100' % desk.test_window
    script = step(0, "Cmd", Cmd=cmd) + step(1, "Find", Text="late window")
    r, w = os.pipe()
    wincue = Program(desk.target.argv, desk.env, cwd=script_dir(desk.root, script.encode()),
                     stdout=w)
    desk.programs.append(wincue)
    os.close(w)
    out = b""
    deadline = time.monotonic() + 20
    while b"end   - Find\n" not in out and time.monotonic() < deadline:
        ready, _, _ = select.select([r], [], [], deadline - time.monotonic())
        chunk = os.read(r, 4096) if ready else b""
        if not chunk:
            break
        out += chunk
    os.close(r)
    lines = out.decode().splitlines()
    creating = [x.split() for x in lines if x.startswith("creating")]
    if creating:
        stop_pid(int(creating[0][2]))
    wincue.p.wait(10)
    order = [x.split()[0] if x.startswith("creating") else x for x in lines
             if x in ("start - Find", "end   - Find") or x.startswith("creating")]
    check("Find for a window a Cmd step's program creates later ends after its creation",
          order == ["start - Find", "creating", "end   - Find"] and wincue.p.returncode == 0 and
          lines[:len(echo(0, "Cmd", "Cmd", cmd).splitlines())] ==
          echo(0, "Cmd", "Cmd", cmd).splitlines(), lines)


def stand_ins(desk, desktop_test):
    r = subprocess.run([desktop_test], env=desk.env, capture_output=True, text=True, timeout=60)
    check("stand-ins against the display (x11_desktop_test)", r.returncode == 0,
          r.stdout[-3000:] + r.stderr[-1000:])


WORLD_CASES = [find_by_title_and_class, exact_match_only, hide_find_show, minimized_stays,
               back_to_back,
               disable_enable, disable_a_class, enable_leaves_others_alone, real_client_input,
               find_waits_for_a_later_window]


# -- no display --------------------------------------------------------------

HELD = step(0, "Display", Display="0", Text="x") + step(1, "Enable", Enable="0", ClassName="y") + \
    step(2, "Find", Text="z")
HELD_OUT = (echo(0, "Display", "Display", "0") + echo(1, "Enable", "Enable", "0") +
            echo_find(2, "z") + run("Display", "Enable") + "start - Find\n")


def start_held(target, env, root):
    d = script_dir(root, HELD.encode())
    p = Program(target.argv, env, cwd=d)
    p.wait_line("start - Find")
    return p


def closed_stdout(world, root):
    """Started with standard output closed, wincue must not hand that
    descriptor to the X connection and then write its lines into it."""
    script = step(0, "Display", Display="0", Text="x") + step(1, "Display", Display="1", Text="x")
    try:
        r = subprocess.run(Target("host", world).argv, cwd=script_dir(root, script.encode()),
                           env=world.env, stdin=subprocess.DEVNULL, stderr=subprocess.PIPE,
                           preexec_fn=lambda: os.close(1), timeout=30)
    except subprocess.TimeoutExpired as e:
        r = e
    check("standard output closed: the run ends well and the display stays",
          getattr(r, "returncode", None) == 0 and r.stderr == b"", r)


def no_display(test_window):
    root = tempfile.mkdtemp(prefix="wincue-x11-")
    target = Target("host")
    try:
        for name, display in (("unset", None), ("that cannot be opened", ":4242")):
            env = dict(os.environ)
            env.pop("DISPLAY", None)
            if display:
                env["DISPLAY"] = display
            p = start_held(target, env, root)
            err = p.wait_err()
            check("DISPLAY %s: steps run on an empty desktop, Find holds, one line on "
                  "standard error" % name,
                  "\n".join(p.lines) + "\n" == HELD_OUT and p.alive() and
                  err.count(b"\n") == 1 and err.startswith(b"wincue: "), (p.lines, err))
            p.stop()
        env = dict(os.environ)
        env.pop("DISPLAY", None)
        r = subprocess.run(target.argv, cwd=script_dir(root, step(0, "Sleep", Sleep="0").encode()),
                           env=env, capture_output=True, timeout=30)
        check("a script without window steps never opens the display",
              r.returncode == 0 and r.stderr == b"", r.stderr)

        world = World(world_dir("gone")).start()
        programs = []
        try:
            closed_stdout(world, root)
            # a window in the cache when the loss empties it mid-pass
            programs.append(TestWindows(test_window, world.env, "--title", "there before"))
            p = start_held(Target("host", world), world.env, root)
            programs.append(p)
            wait_until(lambda: "SubstructureNotify" in xtool(world, "xwininfo", "-root",
                                                             "-events"),
                       10, "wincue to watch the root")
            stop_pid(world.pids[0])  # the X server
            err = p.wait_err()
            check("the display going away mid-run: one line on standard error, no exit",
                  "\n".join(p.lines) + "\n" == HELD_OUT and p.alive() and
                  err.count(b"\n") == 1, (p.lines, err))
        finally:
            for program in programs:
                program.stop()
            world.stop()
    finally:
        shutil.rmtree(root, ignore_errors=True)


def main():
    mode, test_window, desktop_test = sys.argv[1:2] + [os.path.abspath(a) for a in sys.argv[2:4]]
    if mode == "gone":
        no_display(test_window)
    else:
        desk = Desk(None if mode == "none" else mode, test_window)
        try:
            stand_ins(desk, desktop_test)
            for case in WORLD_CASES:
                try:
                    case(desk)
                except Exception as e:  # a wait that timed out, mostly
                    check(case.__name__, False, "%s: %s" % (type(e).__name__, e))
        finally:
            desk.close()
    print("%d passed, %d failed" % (results.count(True), results.count(False)))
    sys.exit(0 if results and all(results) else 1)


if __name__ == "__main__":
    main()
