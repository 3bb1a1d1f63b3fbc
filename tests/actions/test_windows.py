"""Window steps against real windows: one table of cases on Windows (wincue.exe
under Wine, windows of testwindows.exe) and on X11 under every window manager
the suite starts (the Linux build, windows of testwindows_x11.py); then what
only X11 shows: real (XTEST) input, minimized windows, lost displays."""
import pytest

from harness import MANAGERS, Child, Maker, Target, script, script_dir

DESKS = ["wine"] + MANAGERS


def step(action, **values):
    return action, values


def state(cls, title, visible=1, enabled=1):
    return "%s\t%s\tvisible=%d\tenabled=%d" % (cls, title, visible, enabled)


# (name, windows made (class, title, shown|hidden|later), steps, states afterwards)
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
     [state("wct-a", "Target", enabled=0), state("wct-b", "Target"), state("wct-a", "Other")]),
    ("hide and show back to back lose nothing",
     [("wct-flip", "Flip %d" % i, "shown") for i in range(3)],
     [step("Display", ClassName="wct-flip", Display=str(i % 2)) for i in range(20)] +
     [step("Enable", ClassName="wct-flip", Enable="0"),
      step("Display", ClassName="wct-flip", Display="0"), step("Enable", Text="Flip 1", Enable="1"),
      step("Display", Text="Flip 1", Display="1")],
     [state("wct-flip", "Flip 0", 0, 0), state("wct-flip", "Flip 1"),
      state("wct-flip", "Flip 2", 0, 0)]),
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
     [state("wct-a", "Hidden", 0, 0)]),
]


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


@pytest.mark.parametrize("name,windows,steps,states", CASES, ids=[c[0] for c in CASES])
def test_window_case(desk, tmp_path, name, windows, steps, states):
    """wincue's whole output and the windows' states afterwards are exact. A
    window marked "later" is made once wincue has started its Find step, and
    nothing after that start line may come before it."""
    config, output = script(*steps)
    maker, wincue = Maker(desk), None
    try:
        made = [w for w in windows if w[2] != "later"]
        for cls, title, how in made:
            maker.create(cls, title, "hidden" if how == "hidden" else "")
        wincue = Child(desk.argv, desk.env, script_dir(tmp_path, config))
        if len(made) < len(windows):
            before = desk.expected(output[:output.index("start - Find\n") + 13])
            wincue.read(lambda out: len(out) >= len(before))
            maker.answer("state")  # a round trip: time for a wrong end line to show
            wincue.read(timeout=0)
            assert wincue.out == before
            for cls, title, _ in windows[len(made):]:
                maker.create(cls, title)
        assert (wincue.wait(), wincue.out) == (0, desk.expected(output))
        assert maker.answer("state") == states
    finally:
        if wincue:
            wincue.stop()
        maker.close()
