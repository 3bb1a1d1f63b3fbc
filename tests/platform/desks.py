"""One view of every desktop that can disable a window, for the rows written
once for all of them: each answers the same few calls on its own windows and
real input (XTEST on X11, KWin's fake input, GNOME's RemoteDesktop):

  make(title)      a window of the tests' program, where a click meets it
                   alone; its number
  witness()        a window of its own class, made first, whose click and
                   key end what came before them (witnessed() gives that)
  enable(flag, t)  one Enable step on Text t, which must end cleanly
  state(n)         "enabled" or "disabled" as the desktop holds it, "gone",
                   or anything else for a window half done
  reaches(n)       whether a real click and key on it reach its program
  whole(n)         state(n), which reaches(n) must meet
  settled()        waits until what killed runs asked is done
"""
import re
import subprocess

import pytest

from harness import Child, Maker, wait_until, wincue
from world import NOBODY
from xdesk import Desk as XDesk

LEFT, KEY_A, KEY_TAB, KEY_ALT = 272, 30, 15, 56  # Linux input codes


def events_until(maker, *want):
    """The clicks and keys the windows got, in order, until want is among them."""
    got = []
    wait_until(lambda: got.extend(maker.answer("events")) or set(want) <= set(got), 20,
               "events %r, got %r" % (want, got))
    return got


def click_and_type(desk, env, wid, keys, focused=False):
    """Real input through XTEST (never xdotool's --window, which bypasses the
    server's routing); when focused, the keys wait for the focus to arrive."""
    desk.click(*desk.center(wid))
    if focused:
        wait_until(lambda: desk.has_focus(wid), 20, "the focus")
    subprocess.run(["xdotool", "type", "--delay", "1", keys], env=env, check=True)


def slot(number):
    """Where the tests' windows go, three to a row."""
    return 40 + 250 * (number % 3), 40 + 170 * (number // 3 % 2)


class Desk:
    """What every desktop shares: the window program and wincue's runs."""
    rounds = 50  # of the rows that repeat a race, the most worth their time

    def __init__(self, target, tmp_path):
        self.target, self.tmp, self.count = target, tmp_path, 0
        self.maker = Maker(target)

    def enable(self, flag, title="locked"):
        assert wincue(self.target, self.tmp, ("Enable", dict(Text=title, Enable=flag))) == b""

    def settled(self):
        pass

    def witnessed(self):
        """Everything the windows got before a click and a key on the
        witness, which its program hears after any input before them."""
        self.touch(self.proof, focused=True)
        got = events_until(self.maker, "button %d" % self.proof, "key %d" % self.proof)
        return got[:got.index("button %d" % self.proof)]

    # What a desktop lets reach a disabled window by design: none of it.
    heard = ("button", "key")

    def reaches(self, number):
        self.touch(number)
        return any(e.split()[0] in self.heard and e.endswith(" %d" % number)
                   for e in self.witnessed())

    def whole(self, number):
        got = self.state(number)
        assert (got, self.reaches(number)) == (got, got == "enabled")
        return got

    def witness(self):
        self.proof = self.make("witness", "wct-witness")
        return self.proof

    def close(self):
        self.maker.close()


class X11(Desk):
    """Any X11 window manager: the Enable state read from the window itself,
    exactly (its input hints, protocols and shields)."""

    def __init__(self, target, tmp_path):
        super().__init__(target, tmp_path)
        self.desk, self.own = XDesk(target.env["DISPLAY"]), []
        if target.world.manager == "i3":
            # i3 focuses a clicked window whatever its input hint says, so the
            # keys typed next reach a disabled one (a limit X11 gives wincue):
            # its clicks alone prove it.
            self.heard = ("button",)

    def make(self, title, cls="wct-lock"):
        at = (400, 400, 150, 80) if cls == "wct-witness" else slot(self.count) + (200, 120)
        self.maker.create(cls, title, "at=%d:%d:%d:%d" % at)
        self.own.append(self.maker.answer("input")[self.count])
        self.count += 1
        return self.count - 1

    def state(self, number):
        """The input hints and shields of the window (not its region, which
        a tiling manager resizes)."""
        if self.maker.answer("state")[number] == "gone":
            return "gone"
        got, own = (re.sub(" region=[^ ]*", "", s) for s in (self.maker.answer("input")[number],
                                                            self.own[number]))
        return {own: "enabled", own.replace("hints=1:1", "hints=1:0").replace(
            "shields=0", "shields=1"): "disabled"}.get(got, got)

    def touch(self, number, focused=False):
        wid = int(self.maker.answer("ids")[number], 16)
        click_and_type(self.desk, self.target.env, wid, "k", focused)

    def close(self):
        super().close()
        self.desk.close()


class Input:
    """Real input through KWin's fake input protocol: kwin_input, run as
    KWin's user, which the world declared to KWin. KWin has handled each
    line when it returns."""

    def __init__(self, world):
        env = dict(XDG_RUNTIME_DIR=str(world.runtime), WAYLAND_DISPLAY=world.env["WAYLAND_DISPLAY"])
        self.child = Child(["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY,
                            "--clear-groups", str(world.input_program)], env,
                           stdin=subprocess.PIPE)
        assert self.child.line() == "ready"

    def send(self, *lines):
        for line in lines:
            self.child.p.stdin.write(line.encode() + b"\n")
            self.child.p.stdin.flush()
            assert self.child.line() == "ok", line

    def click(self, at):
        self.send("move %d %d" % at, "click %d" % LEFT)

    def type(self):
        self.send("key %d" % KEY_A)

    def alt_tab(self):
        self.send("down %d" % KEY_ALT, "key %d" % KEY_TAB, "up %d" % KEY_ALT)

    def close(self):
        self.child.stop()


class KWin(Desk):
    """KWin: test windows at places of the test's choosing (KWin's own
    scripts move them), real input, and the Enable state as the shield
    script wincue leaves in KWin."""
    rounds = 15

    def __init__(self, target, tmp_path):
        if not target.world.input_program:
            pytest.skip("kwin_input was not built")
        super().__init__(target, tmp_path)
        self.input, self.uuids = Input(target.world), []
        target.desk.watch()

    def make(self, title, cls="wct-lock", at=None):
        """A window at x, y, width, height (by default in the next slot); its number."""
        at = at or ((700, 500, 160, 80) if cls == "wct-witness" else slot(self.count) + (240, 120))
        self.maker.create(cls, title)
        self.uuids.append(self.window(self.count)["uuid"])
        self.place(self.count, *at)
        self.count += 1
        return self.count - 1

    def window(self, number):
        """What KWin tells of the window of that number."""
        return self.target.desk.windows()[int(self.maker.answer("ids")[number], 16)]

    def place(self, number, x, y, width, height):
        self.target.desk.place(self.window(number)["uuid"], x, y, width, height)
        wait_until(lambda: self.window(number)["at"] == (x, y, width, height), 20,
                   "the window in place")

    def centre(self, number):
        x, y, width, height = self.window(number)["at"]
        return x + width // 2, y + height // 2

    def state(self, number):
        uuid = self.uuids[number]
        return "disabled" if self.target.desk.disabled(uuid) else (
            "enabled" if uuid in self.target.desk.uuids() else "gone")

    def settled(self):
        """Everything a killed run asked is done once its script has gone."""
        scripts = self.target.desk.runs()
        wait_until(lambda: not any(self.target.desk.loaded(name) for name in scripts), 20,
                   "the killed runs' scripts to go")

    def touch(self, number, focused=False):
        self.input.click(self.centre(number))
        self.input.type()

    def alt_tab(self, skipping):
        """Alt+Tab to the window next in the task switcher: the locked one,
        or, when that one is disabled, the one after it. KWin activates the
        window a moment after Alt is let go."""
        self.input.alt_tab()
        then = self.window(0)["skip"]
        wait_until(lambda: self.maker.answer("active") == [str(skipping if then else 0)], 20,
                   "the window Alt+Tab chose")

    def close(self):
        self.input.close()
        super().close()


class Gnome(Desk):
    """GNOME Shell: the first two windows tiled side by side (Super+Left,
    Super+Right, as a user does; the witness, made first, on the left), any
    later one centred over both; the Enable state as wincue's extension
    marks it."""
    rounds = 2
    AT = [(320, 416), (960, 416), (640, 400)]

    def __init__(self, target, tmp_path):
        super().__init__(target, tmp_path)
        self.shell = target.world.desk

    def make(self, title, cls="wct-lock"):
        self.maker.create(cls, title)
        if self.count < 2:
            self.tile(self.maker, self.count, ("Left", "Right")[self.count])
        self.count += 1
        return self.count - 1

    def tile(self, maker, number, side):
        """The window fills that half of the screen, as the keys go to the
        window focused when the shell reads them."""
        maker.change("activate", number)
        self.shell.tile(side)
        wid = int(maker.answer("ids")[number], 16)
        wait_until(lambda: self.shell.windows()[wid]["width"] == 640, 20, "tiling")

    def state(self, number):
        got = self.maker.answer("state")[number]
        return {"1": "enabled", "0": "disabled"}[got[-1]] if "enabled=" in got else got

    def touch(self, number, focused=False):
        self.shell.click(*self.AT[min(number, 2)])
        self.shell.type("k")

    def reaches(self, number):
        # A run killed before the shell drew the shield (wincue's step ends
        # once it has) leaves it to the next frame: a screenshot waits for one.
        self.shell.screenshot(self.target.world.runtime / "frame.png")
        return super().reaches(number)


DESKS = dict(kwin=KWin, gnome=Gnome)


def desk_of(target, tmp_path):
    return DESKS.get(target.world.manager or "none", X11)(target, tmp_path)
