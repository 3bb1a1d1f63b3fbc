"""Window steps against real windows: one table of cases on Windows (wincue.exe
under Wine, windows of testwindows.exe), on X11 under every window manager
the suite starts (the Linux build, windows of testwindows_x11.py) and under
sway, KWin and GNOME Shell (native Wayland windows of testwindows_wayland.py),
and what --list and --check see of them. What only X11 or a compositor shows
is in tests/platform/test_x11.py, test_wayland.py, test_kwin.py and
test_gnome.py."""
import codecs
import os
import re
import shutil
import subprocess
import time
from pathlib import Path

import pytest

from harness import (MANAGERS, THROUGH, Child, Maker, Target, begun, echoed, host_on, quickest,
                     script, script_dir, wait_until)

DESKS = ["wine"] + MANAGERS + ["sway", "kwin", "gnome", "labwc"] + list(THROUGH)
# Desktops where no window can be kept from taking input: Enable changes
# nothing there and says so once a step that found windows.
UNLOCK = "wincue: {who} cannot stop a window taking input: Enable changed nothing\n"
UNLOCKABLE = {d: UNLOCK.format(who=d) for d in ("sway", "labwc")}


def step(action, **values):
    return action, values


LATER = {"shown later": "show", "closed later": "close"}


@pytest.fixture(params=DESKS)
def desk(request, worlds):
    """A target on a desktop, and (under Wine) a hidden window that keeps
    Wine's desktop open: opening it again costs seconds."""
    name = request.param
    target = Target("wine", worlds(wine=True)) if name == "wine" else host_on(worlds, name)
    target.desk = name
    keeper = Maker(target) if name == "wine" else None
    if keeper:
        keeper.create("wct-keeper", "desktop keeper", "hidden")
    yield target
    if keeper:
        keeper.close()


REQUIRE = step("Require", Version="1.3")
# The groups of each desktop, the likest first: a row's outcome on it is its
# own, else that of its first group the row names, else "*". On X11 a
# minimized window is hidden; an EWMH manager does it all; twm and i3 declare
# no maximized state, i3 minimizes nothing, and without a manager neither is
# done. KWin and GNOME Shell hide what they minimize, and read "minimized" as
# hidden; so does labwc, which, as the wlroots window list it is read through
# and as sway, keeps no window from taking input and tells no program.
EWMH = ("ewmh", "x11")
GROUPS = dict(openbox=EWMH, icewm=EWMH, metacity=EWMH, twm=("x11",), i3=("x11",), none=("x11",),
              sway=("unlockable", "wayland"), kwin=("hides",) + EWMH + ("wayland",),
              labwc=("wlr", "unlockable", "hides") + EWMH + ("wayland",))
GROUPS["gnome"] = GROUPS["kwin"]
# Through the window-list protocol sway honours activate and close, and
# neither state; its hide (the scratchpad) is no state the protocol tells.
# Such a desktop runs only the rows that name it or its groups (None ends
# them), and its ids are the run's own.
GROUPS["wlr-sway"] = ("wlr", None)


def look(cls, title, visible=1, enabled=1, minimized=0, maximized=0, active=None):
    """A window as "look" reads it back; active when it is asked."""
    return "%s\t%s\tvisible=%d\tenabled=%d\tminimized=%d\tmaximized=%d%s" % (
        cls, title, visible, enabled, minimized, maximized,
        "" if active is None else "\tactive=%d" % active)


FLIPPED = [look("wct-flip", "Flip 0", 0, 0), look("wct-flip", "Flip 1"),
           look("wct-flip", "Flip 2", 0, 0)]


def cannot(who, what, action):
    return "wincue: %s cannot %s: %s changed nothing\n" % (who, what, action)


NO_MANAGER = "X11 without a window manager"
MINIMIZE, MAXIMIZE = ("minimize a window", "Minimize"), ("maximize a window", "Maximize")
MIN_STAYED = 'wincue: [Section%d] Minimize: "%s" ({%d}) stayed normal\n'


def lacks(who, *lacked):
    return "".join(cannot(who, *what) for what in lacked)


# The windows of two rows where the desktop lacks what a step asks.
UNSIZED = [look("wct-s", "Small"), look("wct-s", "Large")]
UNMINIMIZED = [look("wct-e", "Editor - a.txt", active=1), look("wct-e", "Editor - b.txt", active=0),
               "gone"]


# (name, windows made (class, title, flags, later, shown later or closed later),
#  steps, {desk, or a group of GROUPS, or "*": (the step that fails or None,
#  its standard error, the windows as "look" reads them; None: unknown at the
#  end)}). In values and lines, {N} is window N's id, {program} its program's file name
#  ({PROGRAM} in capitals), and {wait} a Timeout a loaded machine meets, or a
#  second where the step is to give up.
CASES = [
    ("hide every window of a class",
     [("wct-a", "One", ""), ("wct-a", "Two", ""), ("wct-b", "Three", "")],
     [step("Display", ClassName="wct-a", Display="0")],
     {"*": (None, "", [look("wct-a", "One", 0), look("wct-a", "Two", 0), look("wct-b", "Three")])}),
    ("disable by title and class together",
     [("wct-a", "Target", ""), ("wct-b", "Target", ""), ("wct-a", "Other", "")],
     [step("Enable", Text="Target", ClassName="wct-a", Enable="0")],
     {"*": (None, "", [look("wct-a", "Target", enabled=0), look("wct-b", "Target"),
                       look("wct-a", "Other")]),
      "unlockable": (None, UNLOCK, [look("wct-a", "Target"), look("wct-b", "Target"),
                                    look("wct-a", "Other")])}),
    ("hide and show back to back lose nothing",
     [("wct-flip", "Flip %d" % i, "") for i in range(3)],
     [step("Display", ClassName="wct-flip", Display=str(i % 2)) for i in range(20)] +
     [step("Enable", ClassName="wct-flip", Enable="0"),
      step("Display", ClassName="wct-flip", Display="0"), step("Enable", Text="Flip 1", Enable="1"),
      step("Display", Text="Flip 1", Display="1")],
     # Debian 13's twm leaves some of these hides read back as still shown (the
     # cause is not found yet): its lines are not compared, its end state is.
     {"*": (None, "", FLIPPED), "twm": (None, None, FLIPPED),
      "unlockable": (None, UNLOCK * 2, [look("wct-flip", "Flip 0", 0), look("wct-flip", "Flip 1"),
                                        look("wct-flip", "Flip 2", 0)])}),
    ("find waits for a window made later, then hides it",
     # The first step has wincue on the desktop before its Find starts, so
     # that a Find ending without its window would end at once.
     [("wct-b", "Other", ""), ("wct-late", "Late", "later")],
     [step("Enable", Text="Late", Enable="0"), step("Find", Text="Late"),
      step("Display", ClassName="wct-late", Display="0")],
     {"*": (None, "", [look("wct-b", "Other"), look("wct-late", "Late", 0)])}),
    ("find ends at once on a hidden window",
     [("wct-a", "Hidden", "hidden")],
     [step("Find", Text="Hidden"), step("Find", ClassName="wct-a"),
      step("Enable", Text="Hidden", Enable="0")],
     {"*": (None, "", [look("wct-a", "Hidden", 0, 0)]),
      "unlockable": (None, UNLOCK, [look("wct-a", "Hidden", 0)])}),
    # twm maps a window it takes in again as it hears its MapNotify, which
    # on a loaded machine may come after the hide that follows the show.
    ("Visible=1: find waits for the show, gone for the hide",
     [("wct-vis", "Shy", "shown later")],
     [step("Find", Text="Shy", Visible="1"), step("Display", Text="Shy", Display="0"),
      step("Gone", ClassName="wct-vis", Visible="1")],
     {"*": (None, "", [look("wct-vis", "Shy", 0)]), "twm": (None, None, None)}),
    ("Visible=1 finds a shown window; display does not read it",
     [("wct-shown", "In", "hidden"), ("wct-shown", "Out", "")],
     [step("Find", ClassName="wct-shown", Visible="1", Timeout="20000"),
      step("Display", ClassName="wct-shown", Display="1", Visible="1")],
     {"*": (None, "", [look("wct-shown", "In"), look("wct-shown", "Out")])}),
    ("Timeout=0 looks once: a window there is found, one not there is not",
     [("wct-a", "Stay", "hidden")],
     [step("Find", Text="Stay", Timeout="0"), step("Find", Text="Never", Timeout="0"),
      step("Display", ClassName="wct-a", Display="1")],
     {"*": (1, 'wincue: [Section1] Find gave up after 0 ms: no window with Text "Never"\n',
            [look("wct-a", "Stay", 0)])}),
    ("gone waits until the window is closed, and ends at once on none",
     [("wct-gone", "Bye", "closed later"), ("wct-b", "Other", "")],
     [step("Gone", Text="Bye"), step("Gone", ClassName="wct-none"),
      step("Display", Text="Other", Display="0")],
     {"*": (None, "", ["gone", look("wct-b", "Other", 0)])}),
    ("Activate: the top of the windows that match, behind another",
     [("wct-act", "Back", ""), ("wct-act", "Front", ""), ("wct-top", "Top", "")],
     [step("Activate", ClassName="wct-act", Timeout="20000")],
     {"*": (None, "", [look("wct-act", "Back", active=0), look("wct-act", "Front", active=1),
                       look("wct-top", "Top", active=0)]), "wlr": "*"}),
    ("Activate: a minimized window is restored",
     [("wct-min", "Small", "minimized"), ("wct-top", "Top", "")],
     [step("Activate", Text="Small", Timeout="{wait}")],
     {"*": (None, "", [look("wct-min", "Small", active=1), look("wct-top", "Top", active=0)]),
      # their minimized windows are their hidden ones, which no Activate picks
      "hides": (0, 'wincue: [Section0] Activate gave up after 1000 ms: no shown window with Text '
                   '"Small"\n', [look("wct-min", "Small", visible=0), look("wct-top", "Top")])}),
    ("Activate: a disabled window refuses the focus",
     [("wct-off", "Off", "")],
     [step("Enable", Text="Off", Enable="0"), step("Activate", Text="Off", Timeout="{wait}")],
     {"*": (1, 'wincue: [Section1] Activate gave up after 1000 ms: "Off" ({0}) is disabled, so '
               'it refuses the focus\n', [look("wct-off", "Off", enabled=0)]),
      "unlockable": (None, UNLOCK, [look("wct-off", "Off", active=1)])}),
    ("Activate: a window made within its Timeout",
     [("wct-b", "Other", ""), ("wct-late", "Late", "later")],
     [step("Activate", Text="Late", Timeout="20000")],
     {"*": (None, "", [look("wct-b", "Other", active=0), look("wct-late", "Late", active=1)])}),
    ("Close: every match, and its program lives on",
     [("wct-c", "One", ""), ("wct-c", "Two", ""), ("wct-keep", "Keep", "")],
     [step("Close", ClassName="wct-c"), step("Gone", ClassName="wct-c", Timeout="20000")],
     {"*": (None, "", ["gone", "gone", look("wct-keep", "Keep")]), "wlr": "*"}),
    ("Close: a window that asks first stays, and the step ends",
     [("wct-ask", "Asks", "asks")],
     [step("Close", Text="Asks"), step("Gone", Text="Asks", Timeout="300")],
     {"*": (1, 'wincue: [Section1] Gone gave up after 300 ms: still a window with Text "Asks"\n',
            [look("wct-ask", "Asks")])}),
    ("Minimize and Maximize, read from outside",
     [("wct-s", "Small", ""), ("wct-s", "Large", "")],
     [step("Minimize", Text="Small"), step("Maximize", Text="Large")],
     {"wine": (None, "", [look("wct-s", "Small", minimized=1), look("wct-s", "Large", maximized=1)]),
      "ewmh": (None, "", [look("wct-s", "Small", visible=0, minimized=1),
                          look("wct-s", "Large", maximized=1)]),
      "twm": (None, lacks("this window manager", MAXIMIZE),
              [look("wct-s", "Small", visible=0, minimized=1), look("wct-s", "Large")]),
      "i3": (None, MIN_STAYED % (0, "Small", 0) + lacks("this window manager", MAXIMIZE), UNSIZED),
      "none": (None, lacks(NO_MANAGER, MINIMIZE, MAXIMIZE), UNSIZED),
      "sway": (None, lacks("sway", MINIMIZE, MAXIMIZE), UNSIZED),
      # each request waited for, and read back as it left the window
      "wlr-sway": (None, MIN_STAYED % (0, "Small", 0) + MIN_STAYED.replace("Min", "Max") % (
          1, "Large", 1), UNSIZED)}),
    # Each window has its state from the start: Wine under a manager undoes a
    # restore that comes hard on a minimize, when the manager's word on the
    # minimize reaches it late.
    ("Restore: maximized, minimized, and minimized from maximized, come back neither",
     [("wct-r", "Large", "maximized"), ("wct-r", "Small", "minimized"),
      ("wct-r", "Both", "maximized,minimized")],
     [step("Restore", ClassName="wct-r")],
     {"*": (None, "", [look("wct-r", "Large"), look("wct-r", "Small"), look("wct-r", "Both")]),
      # the maximized state these managers do not have stays the program's wish
      "x11": (None, "", [look("wct-r", "Large", maximized=1), look("wct-r", "Small"),
                         look("wct-r", "Both", maximized=1)]),
      "ewmh": "*",
      # their minimized windows are their hidden ones: a Restore leaves them
      "hides": (None, "", [look("wct-r", "Large"), look("wct-r", "Small", visible=0),
                           look("wct-r", "Both", visible=0, maximized=1)])}),
    ("hidden windows keep their state and cannot be activated",
     [("wct-h", "Hid", "hidden")],
     [step("Minimize", ClassName="wct-h"), step("Maximize", ClassName="wct-h"),
      step("Activate", ClassName="wct-h", Timeout="0")],
     {"*": (2, 'wincue: [Section2] Activate gave up after 0 ms: no shown window with ClassName '
               '"wct-h"\n', [look("wct-h", "Hid", visible=0)])}),
    ("Match=prefix with Case=0 on Display",
     [("wct-m", "Report 1", ""), ("wct-m", "report 2", ""), ("wct-m", "My Report", "")],
     [REQUIRE, step("Display", Text="REPORT", Match="prefix", Case="0", Display="0")],
     {"*": (None, "", [look("wct-m", "Report 1", visible=0), look("wct-m", "report 2", visible=0),
                       look("wct-m", "My Report")])}),
    ("Match=part on Find, suffix on Enable, prefix on Gone in exact case",
     [("wct-m", "Setup - Step 1", ""), ("wct-m", "Setup - Step 2", "")],
     [REQUIRE, step("Find", Text="Step", Match="part", Timeout="0"),
      step("Enable", Text="Step 2", Match="suffix", Enable="0"),
      step("Gone", Text="setup", Match="prefix", Timeout="0")],
     {"*": (None, "", [look("wct-m", "Setup - Step 1"), look("wct-m", "Setup - Step 2", enabled=0)]),
      "unlockable": (None, UNLOCK, [look("wct-m", "Setup - Step 1"),
                                    look("wct-m", "Setup - Step 2")])}),
    ("Match and Case on Minimize, Activate and Close",
     [("wct-e", "Editor - a.txt", ""), ("wct-e", "Editor - b.txt", ""), ("wct-v", "Viewer", "")],
     [REQUIRE, step("Minimize", Text="Editor - b", Match="prefix"),
      step("Activate", Text="A.TXT", Match="suffix", Case="0", Timeout="20000"),
      step("Close", Text="VIEW", Match="part", Case="0"),
      step("Gone", ClassName="wct-v", Timeout="20000")],
     {"wine": (None, "", [look("wct-e", "Editor - a.txt", active=1),
                          look("wct-e", "Editor - b.txt", minimized=1, active=0), "gone"]),
      "x11": (None, "", [look("wct-e", "Editor - a.txt", active=1),
                         look("wct-e", "Editor - b.txt", visible=0, minimized=1, active=0), "gone"]),
      "i3": (None, MIN_STAYED % (1, "Editor - b.txt", 1), UNMINIMIZED),
      "none": (None, lacks(NO_MANAGER, MINIMIZE), UNMINIMIZED),
      "sway": (None, lacks("sway", MINIMIZE), UNMINIMIZED)}),
    ("Process: the windows of one program, its name compared as the system names files",
     [("wct-p", "P1", ""), ("wct-p", "P2", "")],
     [REQUIRE, step("Display", ClassName="wct-p", Process="{program}", Display="0"),
      step("Find", ClassName="wct-p", Process="{PROGRAM}", Timeout="0")],
     {"wine": (None, "", [look("wct-p", "P1", visible=0), look("wct-p", "P2", visible=0)]),
      "*": (2, 'wincue: [Section2] Find gave up after 0 ms: no window with ClassName "wct-p" and '
               'Process "{PROGRAM}"\n', [look("wct-p", "P1", visible=0),
                                           look("wct-p", "P2", visible=0)]),
      # the protocol tells no pid: each step's first pass says so
      "wlr": (2, "wincue: {who} cannot tell a window's program: Process matches no window\n" * 2 +
              'wincue: [Section2] Find gave up after 0 ms: no window with ClassName "wct-p" and '
              'Process "{PROGRAM}"\n', [look("wct-p", "P1"), look("wct-p", "P2")])}),
    ("a program that enables itself again: the step says so, and its output stays",
     [("wct-u", "Undo", "reenable"), ("wct-u", "Other", "")],
     [step("Enable", ClassName="wct-u", Enable="0")],
     {"*": (None, 'wincue: [Section0] Enable: "Undo" ({0}) stayed enabled\n',
            [look("wct-u", "Undo"), look("wct-u", "Other", enabled=0)]),
      "unlockable": (None, UNLOCK, [look("wct-u", "Undo"), look("wct-u", "Other")]),
      "hides": (None, "", [look("wct-u", "Undo", enabled=0), look("wct-u", "Other", enabled=0)])}),
    # A Wayland program cannot show itself out of sway's scratchpad or KWin's
    # minimized state. When a manager has taken in a window its program
    # mapped again cannot be known under twm, which answers no request that
    # would tell, nor metacity, which takes it in when idle, after answering.
    ("a program that shows itself again: the step says so, and its output stays",
     [("wct-u", "Undo", "reshow"), ("wct-u", "Other", "")],
     [step("Display", ClassName="wct-u", Display="0")],
     {"*": (None, 'wincue: [Section0] Display: "Undo" ({0}) stayed shown\n',
            [look("wct-u", "Undo"), look("wct-u", "Other", visible=0)]),
      "twm": None, "metacity": None,
      "wayland": (None, "", [look("wct-u", "Undo", visible=0),
                             look("wct-u", "Other", visible=0)])}),
]


def outcome(name, outcomes):
    """A row's outcome on a desktop; one that names another key is that key's."""
    k = next(k for k in (name,) + GROUPS.get(name, ()) + ("*",) if k is None or k in outcomes)
    found = outcomes[k] if k else None
    return outcomes[found] if isinstance(found, str) else found


def maximizes_by_tiling(desk):
    """i3 4.23 and later (Debian 13) declare the maximized states and set
    them on a window that fills its workspace by tiling; a request to
    maximize or restore changes nothing there."""
    if desk.desk != "i3":
        return False
    root = subprocess.run(["xprop", "-root", "_NET_SUPPORTED"], env=desk.env,
                          capture_output=True, text=True, check=True).stdout
    return "_NET_WM_STATE_MAXIMIZED_VERT" in root


@pytest.mark.parametrize("case", CASES, ids=[c[0] for c in CASES])
def test_window_case(desk, tmp_path, ends, case):
    """The window steps, with Match, Case and Process, on every desktop:
    wincue's whole output and exit status, standard error, and the windows
    read back from outside are exact; "active" is compared where the row asks
    for it. What is marked "later" happens once wincue has started its first
    step that waits, and nothing after that start line may come before it."""
    name, windows, steps, outcomes = case
    tiled = maximizes_by_tiling(desk)
    if outcome(desk.desk, outcomes) is None or (
            tiled and any(a in ("Maximize", "Restore") for a, _ in steps)):
        pytest.skip("what this desktop does here cannot be known at the step's end")
    fails, err, looks = outcome(desk.desk, outcomes)
    maker = Maker(desk)
    ends(maker.close)
    # the window program's file name, as Process names it
    program = "testwindows.exe" if desk.name == "wine" else os.path.basename(
        os.readlink("/proc/%d/exe" % maker.child.p.pid))
    names = dict(wait="20000" if fails is None else "1000", program=program,
                 PROGRAM=program.upper(), who=desk.desk.rsplit("-", 1)[-1])
    steps = [(a, {k: v.format(**names) for k, v in values.items()}) for a, values in steps]
    config, output = script(*steps, fails=fails)
    made = [w for w in windows if w[2] != "later"]
    for cls, title, how in made:
        maker.create(cls, title, {"shown later": "hidden", "closed later": ""}.get(how, how))
    wincue = begun(ends, desk, tmp_path, config, b"")
    if any(how.endswith("later") for _, _, how in windows):
        wait = "start - %s\n" % next(a for a, _ in steps if a in ("Find", "Gone", "Activate"))
        before = desk.expected(output[:output.index(wait) + len(wait)])
        wincue.read(lambda out: len(out) >= len(before))
        maker.answer("state")  # a round trip: time for a wrong end line to show
        wincue.read(timeout=0)
        assert wincue.out == before
        for i, (_, _, how) in enumerate(made):
            if how in LATER:
                maker.change(LATER[how], i)
        for cls, title, _ in windows[len(made):]:
            maker.create(cls, title)
    assert (wincue.wait(), wincue.out) == (int(fails is not None), desk.expected(output))
    ids, said = maker.answer("ids"), wincue.p.stderr.read()
    if "wlr" in GROUPS.get(desk.desk, ()):  # the run's own ids: any
        ids, said = ["ID"] * len(ids), re.sub(rb"\(0x[0-9a-f]{8}\)", b"(ID)", said)
    assert err is None or said == desk.expected(err.format(*ids, **names))
    wanted = [w.format(*ids, **names) for w in looks or ()]
    got = [g if "\tactive=" in w else g.rsplit("\tactive=", 1)[0]
           for g, w in zip(maker.answer("look"), wanted)]
    # what the desktop leaves unsaid: a maximized state set by tiling, a
    # minimized one that is the hidden one
    hides = desk.desk in ("kwin", "gnome", "labwc")
    for field in ["maximized"] * tiled + ["minimized"] * hides:
        got, wanted = ([re.sub("\t%s=." % field, "", x) for x in xs] for xs in (got, wanted))
    assert got == wanted


def test_list_and_check(desk, tmp_path, ends):
    """--list: each window as the steps see it (id, shown or hidden, enabled or
    disabled, class, title). --check: the echo alone, no step run, and on
    standard error how many windows each window step matches now, and how
    many of them it cannot act on where that is not none: the desktop has no
    such state, or cannot do it."""
    made = [("Shown", ""), ("Hidden", "hidden"), ("Off", "")]
    acts = ("Enable", "Minimize", "Maximize", "Restore", "Close", "Activate", "Find")
    checked = [step("Find", ClassName="wct-list", Visible="1"), step("Gone", ClassName="wct-list"),
               step("Display", Text="Off", Display="0"), step("Sleep", Sleep="0")] + [
        step(a, ClassName="wct-q", **(dict(Enable="0") if a == "Enable" else {})) for a in acts]
    if desk.desk == "wlr-sway":
        pytest.skip("sway's hide is no state the window-list protocol tells")
    cannot = dict(none=("Minimize", "Maximize", "Restore"), twm=("Maximize",),
                  i3=() if maximizes_by_tiling(desk) else ("Maximize",),
                  sway=("Enable", "Minimize", "Maximize", "Restore"), labwc=("Enable",)).get(
                      desk.desk, ())
    maker = Maker(desk)
    ends(maker.close)
    for cls, title, flags in [("wct-list",) + m for m in made] + [("wct-q", "Q1", "")] * 2:
        maker.create(cls, title, flags)
    config, output = script(step("Enable", Text="Off", Enable="0"))
    assert desk.run(script_dir(tmp_path, config)) == (0, desk.expected(output))
    unlockable = UNLOCKABLE.get(desk.world.manager)
    assert unlockable is None or desk.err == unlockable.encode()
    status, out = desk.run(tmp_path, args=["--list"])
    lines = out.decode("latin-1").replace("\r", "").split("\n")
    states = ("shown\tenabled", "hidden\tenabled",
              "shown\t%sabled" % ("en" if unlockable else "dis"))
    want = ["%s\t%s\twct-list\t%s" % (i, s, title)
            for i, s, (title, _) in zip(maker.answer("ids"), states, made)]
    assert (status, sorted(x for x in lines if "\twct-list\t" in x)) == (0, sorted(want))
    config = script(*checked)[0]
    echo = "".join(echoed(i, a, **v) for i, (a, v) in enumerate(checked))
    assert desk.run(script_dir(tmp_path, config), args=["--check"]) == (0, desk.expected(echo))
    counted = ["Find: 2 matching windows", "Gone: 3 matching windows",
               "Display: 1 matching window", None] + [
        "%s: 2 matching windows%s" % (a, ", 2 wincue cannot act on" * (a in cannot))
        for a in acts]
    assert desk.err == desk.expected("".join("wincue: [Section%d] %s\n" % (i, c)
                                             for i, c in enumerate(counted) if c))
    assert maker.answer("state")[2] == "wct-list\tOff\tvisible=1\tenabled=%d" % (
        unlockable is not None)


@pytest.mark.parametrize("name", ["none", "sway", "kwin"])
def test_a_long_title_matches_its_whole_text(worlds, tmp_path, ends, name):
    """A title of 100 three-byte characters (300 bytes) is matched by a Text
    of the same 100 on every Linux desktop: the value and the title are both
    cut to their first 84 characters (252 bytes), never inside one, and the
    echo shows the 84. (xterm sets its title in UTF-8 and COMPOUND_TEXT.)"""
    target = Target("host", worlds(name))
    title, kept = "\u65e5" * 100, "\u65e5" * 84
    # Visible: xterm titles its window before it maps it, and a hide before
    # that map would be undone by it
    steps = [("Find", dict(Text=title, Timeout="20000", Visible="1")),
             ("Display", dict(Text=title, Display="0"))]
    config, want = script(*[(a, {k: utf8(v) for k, v in values.items()}) for a, values in steps])
    if name == "none":
        window = Child(["xterm", "-T", title], dict(target.env, LANG="C.UTF-8", LC_ALL="C.UTF-8"))
    else:
        window = Maker(target)
        window.create("wct-long", utf8(title))
    ends(window.stop if name == "none" else window.close)
    want = want.replace(utf8(title), utf8(kept))
    assert target.run(script_dir(tmp_path, config)) == (0, want.encode("latin-1"))
    status, out = target.run(tmp_path, args=["--list"])
    rows = [line.split(b"\t") for line in out.split(b"\n") if line.endswith(kept.encode())]
    assert (status, [(r[1], len(r[4])) for r in rows]) == (0, [(b"hidden", 252)])


def sleeping_on_the_desktop(pid):
    """True once the process has waited in poll or ppoll (sd-bus's wait)
    for 150 ms without once waking: a waiting step asleep until the desktop
    tells it something. (A pass's round trips and pauses wake it sooner.)"""
    def now():
        try:
            with open("/proc/%d/status" % pid) as status:
                switches = [line for line in status if "ctxt_switches" in line]
            with open("/proc/%d/syscall" % pid) as call:
                return call.read().split()[0], switches
        except OSError:
            return None
    before = now()
    time.sleep(0.15)
    return before is not None and before[0] in ("7", "271") and now() == before


@pytest.mark.parametrize("name", ["none", "openbox", "sway", "kwin", "gnome"] + list(THROUGH))
def test_a_sleeping_find_wakes_on_the_desktops_news(worlds, tmp_path_factory, ends, name):
    """A Find that has come to sleep on the desktop is woken by the news of
    its window (here its title, set once it sleeps), not by its look once a
    second: it ends well within half a second of the desktop knowing the
    title, where the look would come about a second after it fell asleep."""
    target = host_on(worlds, name)
    # The Display step has wincue on the desktop before the Find starts.
    config, want = script(("Display", dict(Text="wct-none", Display="0")),
                          ("Find", dict(Text="wct-woken")))

    def woken():
        with Maker(target) as maker:
            maker.create("wct-wake", "wct-asleep")
            p = begun(ends, target, tmp_path_factory.mktemp("find"), config)
            wait_until(lambda: sleeping_on_the_desktop(p.p.pid), 20, "the Find to sleep")
            maker.title(0, "wct-woken")
            titled = time.monotonic()
            assert p.read(lambda out: out.endswith(b"end   - Find\n"))
            took = time.monotonic() - titled
            assert (p.wait(), p.out) == (0, want.encode())
            return took
    quickest(woken, 0.5)


# Steps that give up, and their lines on standard error: an Activate without a
# Timeout gives up after a second.
GIVES_UP = [("Find", "200", 'no window with Text "Never" and ClassName "wct-time"'),
            ("Gone", "200", 'still a shown window with Text "Stays" and ClassName "wct-time"'),
            ("Activate", "200", 'no shown window with Text "Never" and ClassName "wct-time"'),
            ("Activate", "", 'no shown window with Text "Never" and ClassName "wct-time"')]


@pytest.mark.parametrize("action,timeout,why", GIVES_UP, ids=["Find", "Gone", "Activate", "one"])
def test_a_timeout_ends_the_step_on_time(desk, tmp_path_factory, ends, action, timeout, why):
    """A step gives up about its Timeout after its start line and well within
    a second more, whatever the desktop makes it wait on; its line on
    standard error says after how long and why."""
    limit = int(timeout or "1000")
    values = dict(ClassName="wct-time", Text="Never", Timeout=timeout)
    if action == "Gone":
        values.update(Text="Stays", Visible="1")
    config, want = script((action, values), fails=0)
    line = "wincue: [Section0] %s gave up after %d ms: %s\n" % (action, limit, why)

    def gives_up():
        with Maker(desk) as maker:
            maker.create("wct-time", "Stays")
            p = begun(ends, desk, tmp_path_factory.mktemp("step"), config,
                      desk.expected("start - %s\n" % action))
            started = time.monotonic()
            assert p.read(lambda out: out.endswith(desk.expected("fail  - %s\n" % action)))
            took = time.monotonic() - started
            assert (p.wait(), p.out) == (1, desk.expected(want))
            assert p.p.stderr.read() == desk.expected(line) and took > limit / 1000 - 0.05, took
            return took
    quickest(gives_up, limit / 1000 + 0.6)


# A real program per desktop: its command, title, and program file name.
REAL = dict(wine=(None, "Untitled - Notepad", "notepad.exe"),
            x11=(["xterm", "-T", "Wincue Real Program"], "Wincue Real Program", "xterm"),
            wayland=(["zenity", "--info", "--title", "Wincue Real Program", "--text", "real"],
                     "Wincue Real Program", "zenity"))


def test_a_real_program(desk, tmp_path, ends):
    """Notepad under Wine, xterm on X11, zenity on Wayland: found by
    part of its title in either case and its program, activated by the start
    of its title, asked to close by its end, gone, and its program ended by
    itself."""
    kind = "wine" if desk.desk == "wine" else "wayland" if desk.desk in (
        "sway", "kwin", "gnome", "labwc") else "x11"
    argv, title, program = REAL[kind]
    # the window-list protocol tells no program
    process = {} if desk.desk in ("labwc", *THROUGH) else dict(Process=program)
    env = dict(desk.env, DBUS_SESSION_BUS_ADDRESS="disabled:", NO_AT_BRIDGE="1") \
        if kind == "wayland" and desk.desk == "sway" else desk.env
    # the session's own program: another user's is no Process of ours to read
    real = Child(desk.world.user + ([desk.world.wine_loader, "notepad"] if kind == "wine"
                                    else argv), env)
    ends(real.stop)
    wait_until(lambda: title.encode() in desk.run(tmp_path, args=["--list"])[1], 30,
               "the program's window")
    if kind == "x11":  # xterm's hangup reaches no shell not yet a session's own
        wait_until(lambda: any(os.getsid(int(c)) == int(c) for c in Path("/proc/%d/task/%d/"
                   "children" % ((real.p.pid,) * 2)).read_text().split()), 30, "xterm's shell")
    steps = [REQUIRE,
             step("Find", Text="PROGRAM" if kind != "wine" else "NOTEPAD", Match="part",
                  Case="0", Visible="1", Timeout="20000", **process),
             step("Activate", Text=title.split()[0].lower(), Match="prefix", Case="0",
                  Timeout="20000", **process),
             step("Close", Text=title[-7:], Match="suffix", **process),
             step("Gone", Text=title, Timeout="20000")]
    config, want = script(*steps)
    # Longer than its steps' Timeouts together: a step that waits too
    # long ends with its own lines, which say which it was.
    got = desk.run(script_dir(tmp_path, config), timeout=90)
    assert (got, desk.err) == ((0, desk.expected(want)), b"")
    assert real.wait() is not None and real.p.returncode >= 0


TONGUES = "\u03a9\u03bc\u03ad\u03b3\u03b1 \u041a\u0438\u0440\u0438\u043b\u043b\u0438\u0446\u0430 " \
          "\u65e5\u672c\u8a9e \U0001f600"  # Greek, Cyrillic, Japanese and an emoji
FOLDER = "\u65e5\u672c\u8a9e"
# Russian (code page 1251) and Japanese (932) for Wine, and X11
TONGUE_PLACES = [("wine", "ru_RU"), ("wine", "ja_JP"), ("none", None)]


def in_locale(env, folder, name):
    """env in the locale name.UTF-8, made in folder: Wine takes its ANSI
    code page from it."""
    if not (folder / (name + ".UTF-8")).exists():
        subprocess.run(["localedef", "-i", name, "-f", "UTF-8", str(folder / (name + ".UTF-8"))])
    return dict(env, LANG=name + ".UTF-8", LC_ALL=name + ".UTF-8", LOCPATH=str(folder))


def utf8(text):
    return text.encode().decode("latin-1")


@pytest.mark.parametrize("place,locale", TONGUE_PLACES, ids=[p[1] or p[0] for p in TONGUE_PLACES])
def test_titles_in_every_language(worlds, tmp_path_factory, ends, place, locale):
    """A window titled in Greek, Cyrillic and Japanese with an emoji: a 1.3
    script cannot name it under Wine, whose ANSI code page lacks some of it,
    and --list shows it as before; the one 1.4 script, in UTF-8, UTF-8 with
    its mark or UTF-16, finds it by its whole title, by part (with its
    program under Wine), and by its beginning in capitals with Case=0, prints the same
    bytes to a file and to a pipe, and starts a program in a folder named in
    Japanese; on X11 too. --list-utf8 shows the whole title."""
    if not os.path.isdir("/usr/share/i18n/locales"):
        pytest.skip("no locale sources (Debian's package locales)")
    wine = place == "wine"
    target = Target("wine" if wine else "host", worlds(wine=True) if wine else worlds(place))
    tmp = tmp_path_factory.mktemp("tongues")
    if locale:
        target.env = in_locale(target.env, tmp_path_factory.getbasetemp(), locale)
    (tmp / FOLDER).mkdir()
    linger = Path(target.program("linger").replace("Z:", "").replace("\\", "/"))
    shutil.copy(linger, tmp / FOLDER / linger.name)
    there = str(tmp / FOLDER / linger.name)
    cmd = ("Z:" + there.replace("/", "\\") if wine else there) + " ran.txt"
    steps = [("Require", dict(Version="1.4")), ("Find", dict(Text=TONGUES, Timeout="20000")),
             ("Find", dict(Text=TONGUES[6:19], Match="part", Timeout="0",
                           Process="testwindows.exe" if wine else "")),
             ("Find", dict(Text=TONGUES[:15].upper(), Match="prefix", Case="0", Timeout="0")),
             ("Cmd", dict(Cmd=cmd))]
    config, want = script(*steps)
    old = script(("Require", dict(Version="1.3")), ("Find", dict(Text=utf8(TONGUES), Timeout="0")),
                 fails=1 if wine else None)
    if not wine:
        window = Child(["xterm", "-T", TONGUES], dict(target.env, LANG="C.UTF-8", LC_ALL="C.UTF-8"))
    else:
        window = Maker(target)
        window.create("wct-tongue", utf8(TONGUES))
    ends(window.stop if not wine else window.close)
    dirs = []
    ends(lambda: [(d / "ran.txt.stop").touch() for d in dirs])
    for name, encoded in [("utf8", config.encode()), ("bom", codecs.BOM_UTF8 + config.encode()),
                          ("utf16", codecs.BOM_UTF16_LE + config.encode("utf-16-le"))]:
        dirs.append(tmp / name)
        dirs[-1].mkdir()
        assert target.run(script_dir(dirs[-1], encoded)) == (0, target.expected(utf8(want)))
        wait_until(lambda: "reported\n" in (dirs[-1] / "ran.txt").read_text("latin-1")
                   if (dirs[-1] / "ran.txt").exists() else False, 60, "the Cmd's report")
    wincue = Child(target.argv, target.env, dirs[0])
    assert (wincue.wait(), wincue.out) == (0, target.expected(utf8(want)))
    # as before 1.4: Windows' ANSI functions give the title's "?"
    status, out = target.run(script_dir(tmp, old[0]))
    assert (status, out.endswith(target.expected(old[1][-26:]))) == (wine, True)
    for option, whole in (("--list", not wine), ("--list-utf8", True)):
        status, listed = target.run(tmp, args=[option])
        assert (status, listed.count(TONGUES.encode())) == (0, whole)
