"""Window steps against real windows: one table of cases on Windows (wincue.exe
under Wine, windows of testwindows.exe), on X11 under every window manager
the suite starts (the Linux build, windows of testwindows_x11.py) and under
sway and KWin (native Wayland windows of testwindows_wayland.py), and what
--list and --check see of them. What only X11 or a compositor shows is in
tests/platform/test_x11.py and test_wayland.py."""
import subprocess
import time

import pytest

from harness import MANAGERS, Child, Maker, Target, echoed, script, script_dir, wait_until

DESKS = ["wine"] + MANAGERS + ["sway", "kwin"]
# Desktops where no window can be kept from taking input: Enable changes
# nothing there and says so once a step that found windows.
UNLOCKABLE = {"sway": "wincue: sway cannot stop a window taking input: Enable changed nothing\n"}


def step(action, **values):
    return action, values


def state(cls, title, visible=1, enabled=1):
    return "%s\t%s\tvisible=%d\tenabled=%d" % (cls, title, visible, enabled)


# (name, windows made (class, title, shown|hidden|later|shown later|closed later),
#  steps, states afterwards[, {"gives_up": (the step that gives up, its line on
#  standard error), "unheeded": the Enable steps that found a window}])
CASES = [
    ("hide every window of a class",
     [("wct-a", "One", "shown"), ("wct-a", "Two", "shown"), ("wct-b", "Three", "shown")],
     [step("Display", ClassName="wct-a", Display="0")],
     [state("wct-a", "One", 0), state("wct-a", "Two", 0), state("wct-b", "Three")]),
    ("show by title whatever the class",
     [("wct-a", "Shared", "hidden"), ("wct-b", "Shared", "hidden"), ("wct-b", "Other", "hidden"),
      ("wct-c", "Shared", "shown")],
     [step("Display", Text="Shared", Display="1")],
     [state("wct-a", "Shared"), state("wct-b", "Shared"), state("wct-b", "Other", 0),
      state("wct-c", "Shared")]),
    ("disable by title and class together",
     [("wct-a", "Target", "shown"), ("wct-b", "Target", "shown"), ("wct-a", "Other", "shown")],
     [step("Enable", Text="Target", ClassName="wct-a", Enable="0")],
     [state("wct-a", "Target", enabled=0), state("wct-b", "Target"), state("wct-a", "Other")],
     {"unheeded": 1}),
    ("hide and show back to back lose nothing",
     [("wct-flip", "Flip %d" % i, "shown") for i in range(3)],
     [step("Display", ClassName="wct-flip", Display=str(i % 2)) for i in range(20)] +
     [step("Enable", ClassName="wct-flip", Enable="0"),
      step("Display", ClassName="wct-flip", Display="0"), step("Enable", Text="Flip 1", Enable="1"),
      step("Display", Text="Flip 1", Display="1")],
     [state("wct-flip", "Flip 0", 0, 0), state("wct-flip", "Flip 1"),
      state("wct-flip", "Flip 2", 0, 0)],
     {"unheeded": 2}),
    ("names differing only in letter case, or prefixes, match nothing",
     [("wct-case", "Case Title", "shown")],
     [step("Display", Text="case title", Display="0"), step("Enable", Text="CASE TITLE", Enable="0"),
      step("Display", ClassName="WCT-CASE", Display="0"), step("Display", Text="Case", Display="0"),
      step("Enable", Text="Case Titl", ClassName="wct-case", Enable="0"),
      step("Enable", ClassName="wct-cas", Enable="0")],
     [state("wct-case", "Case Title")]),
    ("find waits for a window made later, then hides it",
     # The first step has wincue on the desktop before its Find starts, so
     # that a Find ending without its window would end at once.
     [("wct-b", "Other", "shown"), ("wct-late", "Late", "later")],
     [step("Enable", Text="Late", Enable="0"), step("Find", Text="Late"),
      step("Display", ClassName="wct-late", Display="0")],
     [state("wct-b", "Other"), state("wct-late", "Late", 0)]),
    ("find ends at once on a hidden window",
     [("wct-a", "Hidden", "hidden")],
     [step("Find", Text="Hidden"), step("Find", ClassName="wct-a"),
      step("Enable", Text="Hidden", Enable="0")],
     [state("wct-a", "Hidden", 0, 0)],
     {"unheeded": 1}),
    ("Visible=1: find waits for the show, gone for the hide",
     [("wct-vis", "Shy", "shown later")],
     [step("Find", Text="Shy", Visible="1"), step("Display", Text="Shy", Display="0"),
      step("Gone", ClassName="wct-vis", Visible="1")],
     [state("wct-vis", "Shy", 0)]),
    ("Visible=1 finds a shown window; display does not read it",
     [("wct-shown", "In", "hidden"), ("wct-shown", "Out", "shown")],
     [step("Find", ClassName="wct-shown", Visible="1", Timeout="20000"),
      step("Display", ClassName="wct-shown", Display="1", Visible="1")],
     [state("wct-shown", "In"), state("wct-shown", "Out")]),
    ("Timeout=0 looks once: a window there is found, one not there is not",
     [("wct-a", "Stay", "hidden")],
     [step("Find", Text="Stay", Timeout="0"), step("Find", Text="Never", Timeout="0"),
      step("Display", ClassName="wct-a", Display="1")],
     [state("wct-a", "Stay", 0)],
     {"gives_up": (1, 'wincue: [Section1] Find gave up after 0 ms: no window with Text "Never"\n')}),
    ("find ends on a window made within its timeout",
     [("wct-b", "Other", "shown"), ("wct-late", "Late", "later")],
     [step("Find", Text="Late", Timeout="20000"), step("Display", Text="Late", Display="0")],
     [state("wct-b", "Other"), state("wct-late", "Late", 0)]),
    ("gone waits until the window is closed, and ends at once on none",
     [("wct-gone", "Bye", "closed later"), ("wct-b", "Other", "shown")],
     [step("Gone", Text="Bye"), step("Gone", ClassName="wct-none"),
      step("Display", Text="Other", Display="0")],
     ["gone", state("wct-b", "Other", 0)]),
    ("gone gives up at its timeout",
     [("wct-gone", "Stays", "shown")],
     [step("Gone", ClassName="wct-gone", Text="Stays", Visible="1", Timeout="200")],
     [state("wct-gone", "Stays")],
     {"gives_up": (0, 'wincue: [Section0] Gone gave up after 200 ms: still a shown window with '
                      'Text "Stays" and ClassName "wct-gone"\n')}),
]


LATER = {"shown later": "show", "closed later": "close"}


@pytest.fixture(params=DESKS)
def desk(request, worlds):
    """A target on a desktop, and (under Wine) a hidden window that keeps
    Wine's desktop open: opening it again costs seconds."""
    name = request.param
    world = worlds(wine=True) if name == "wine" else worlds(name)
    target = Target("wine" if name == "wine" else "host", world)
    keeper = Maker(target) if name == "wine" else None
    if keeper:
        keeper.create("wct-keeper", "desktop keeper", "hidden")
    yield target
    if keeper:
        keeper.close()


@pytest.mark.parametrize("case", CASES, ids=[c[0] for c in CASES])
def test_window_case(desk, tmp_path, case):
    """wincue's whole output, exit status and the windows' states afterwards
    are exact. What is marked "later" happens once wincue has started its
    first Find or Gone step, and nothing after that start line may come
    before it."""
    name, windows, steps, states = case[:4]
    more = case[4] if len(case) > 4 else {}
    fails, err = more.get("gives_up", (None, None))
    if desk.world.manager in UNLOCKABLE:  # every line on standard error is known
        states = [s.replace("enabled=0", "enabled=1") for s in states]
        err = UNLOCKABLE[desk.world.manager] * more.get("unheeded", 0) + (err or "")
    config, output = script(*steps, fails=fails)
    maker, wincue = Maker(desk), None
    try:
        made = [w for w in windows if w[2] != "later"]
        for cls, title, how in made:
            maker.create(cls, title, "hidden" if how in ("hidden", "shown later") else "")
        wincue = Child(desk.argv, desk.env, script_dir(tmp_path, config), stderr=subprocess.PIPE)
        if any(how.endswith("later") for _, _, how in windows):
            wait = "start - %s\n" % next(a for a, _ in steps if a in ("Find", "Gone"))
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
        assert err is None or wincue.p.stderr.read() == desk.expected(err)
        assert maker.answer("state") == states
    finally:
        if wincue:
            wincue.stop()
        maker.close()


def test_list_and_check(desk, tmp_path):
    """--list: each window as the steps see it (id, shown or hidden, enabled or
    disabled, class, title). --check: the echo alone, no step run, and on
    standard error what each window step matches now."""
    made = [("Shown", ""), ("Hidden", "hidden"), ("Off", "")]
    checked = [step("Find", ClassName="wct-list", Visible="1"), step("Gone", ClassName="wct-list"),
               step("Display", Text="Off", Display="0"), step("Sleep", Sleep="0")]
    maker = Maker(desk)
    try:
        for title, flags in made:
            maker.create("wct-list", title, flags)
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
        assert desk.err == desk.expected("wincue: [Section0] Find: 2 matching windows\n"
                                         "wincue: [Section1] Gone: 3 matching windows\n"
                                         "wincue: [Section2] Display: 1 matching window\n")
        assert maker.answer("state")[2] == "wct-list\tOff\tvisible=1\tenabled=%d" % (
            unlockable is not None)
    finally:
        maker.close()


@pytest.mark.parametrize("name", ["none", "sway", "kwin"])
def test_a_long_title_matches_its_whole_text(worlds, tmp_path, name):
    """A title of 100 three-byte characters (300 bytes) is matched by a Text
    of the same 100 on every Linux desktop: the value and the title are both
    cut to their first 84 characters (252 bytes), never inside one, and the
    echo shows the 84. (xterm sets its title in UTF-8 and COMPOUND_TEXT.)"""
    target = Target("host", worlds(name))
    title, kept = "\u65e5" * 100, "\u65e5" * 84
    steps = [("Find", dict(Text=title, Timeout="20000")), ("Display", dict(Text=title, Display="0"))]
    config, want = script(*[(a, {k: v.encode().decode("latin-1") for k, v in values.items()})
                            for a, values in steps])
    want = want.replace(title.encode().decode("latin-1"), kept.encode().decode("latin-1"))
    if name == "none":
        window = Child(["xterm", "-T", title], dict(target.env, LANG="C.UTF-8", LC_ALL="C.UTF-8"))
    else:
        window = Maker(target)
        window.child.p.stdin.write(("create\twct-long\t%s\n" % title).encode())
        window.child.p.stdin.flush()
        window.expect("created 0")
    try:
        assert target.run(script_dir(tmp_path, config)) == (0, want.encode("latin-1"))
        status, out = target.run(tmp_path, args=["--list"])
        rows = [line.split(b"\t") for line in out.split(b"\n") if line.endswith(kept.encode())]
        assert (status, [(r[1], len(r[4])) for r in rows]) == (0, [(b"hidden", 252)])
    finally:
        window.stop() if name == "none" else window.close()


def sleeping_on_the_desktop(pid):
    """True while the process waits in poll for longer than a pass's pause,
    or in ppoll (sd-bus's wait): a waiting step that sleeps until the
    desktop tells it something. (A pass's pause is a nanosleep.)"""
    try:
        fields = open("/proc/%d/syscall" % pid).read().split()
    except OSError:
        return False
    return (fields[0] == "7" and int(fields[3], 16) > 100) or fields[0] == "271"


@pytest.mark.parametrize("name", ["none", "openbox", "sway", "kwin"])
def test_a_sleeping_find_wakes_on_the_desktops_news(worlds, tmp_path, name):
    """A Find that has come to sleep on the desktop is woken by the news of
    its window (here its title, set once it sleeps), not by its look once a
    second: with a Timeout of 900 ms, a look only at the second would come
    after the Timeout and give up."""
    target = Target("host", worlds(name))
    maker = Maker(target)
    # The Display step has wincue on the desktop before the Find starts.
    config, want = script(("Display", dict(Text="wct-none", Display="0")),
                          ("Find", dict(Text="wct-woken", Timeout="900")))
    p = None
    try:
        maker.create("wct-wake", "wct-asleep")
        p = Child(target.argv, target.env, script_dir(tmp_path, config))
        assert p.read(lambda out: out.endswith(b"start - Find\n"))
        wait_until(lambda: sleeping_on_the_desktop(p.p.pid), 5, "the Find to sleep")
        maker.title(0, "wct-woken")
        assert (p.wait(), p.out) == (0, want.encode())
    finally:
        if p:
            p.stop()
        maker.close()


@pytest.mark.parametrize("action", ["Find", "Gone"])
def test_a_timeout_ends_the_step_on_time(desk, tmp_path, action):
    """Timeout=200 gives up about 200 ms and well under a second after the
    step's start line, whatever the desktop makes it wait on; the line on
    standard error says 200 ms."""
    maker = Maker(desk)
    steps = [(action, dict(ClassName="wct-time", Text="Never" if action == "Find" else "Stays",
                           Timeout="200"))]
    config, want = script(*steps, fails=0)
    p = None
    try:
        maker.create("wct-time", "Stays")
        p = Child(desk.argv, desk.env, script_dir(tmp_path, config), stderr=subprocess.PIPE)
        assert p.read(lambda out: out.endswith(desk.expected("start - %s\n" % action)))
        started = time.monotonic()
        assert p.read(lambda out: out.endswith(desk.expected("fail  - %s\n" % action)))
        took = time.monotonic() - started
        assert (p.wait(), p.out) == (1, desk.expected(want))
        assert 0.15 < took < 0.8 and b"gave up after 200 ms" in p.p.stderr.read()
    finally:
        if p:
            p.stop()
        maker.close()
