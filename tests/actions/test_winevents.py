"""A waiting step under Wine sleeps: it hears of windows made from the
window events Wine sends, and of the rest (shown, renamed: Wine sends
nothing) from a slow pass of its own."""
import os
import time
from pathlib import Path

from harness import Maker, Target, begun, quickest, script


def cpu_seconds(pid):
    fields = Path("/proc/%d/stat" % pid).read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def test_a_waiting_find_sleeps_and_still_sees_windows_come(worlds, tmp_path, ends):
    """Over 100 windows, a Find that waits keeps wincue and the wineserver
    each far below the third of a core a pass every millisecond took
    (under 20 %, the quickest of 3 seconds); a window made later, and one
    shown later, are still found."""
    target = Target("wine", worlds(wine=True))
    server = [pid for pid in target.world.pids
              if Path("/proc/%d/comm" % pid).read_text().startswith("wineserver")][0]
    config, want = script(("Find", dict(Text="wct-made")),
                          ("Find", dict(Text="wct-shown", Visible="1")))
    maker = Maker(target)
    ends(maker.close)
    for i in range(100):
        maker.create("wct-crowd", "crowd %d" % i)
    maker.create("wct-late", "wct-shown", "hidden")
    p = begun(ends, target, tmp_path, config, target.expected("start - Find\n"))
    time.sleep(1)

    def share():
        pids = (p.p.pid, server)
        before, t = [cpu_seconds(pid) for pid in pids], time.monotonic()
        time.sleep(1)
        took = time.monotonic() - t
        return max((cpu_seconds(pid) - b) / took for pid, b in zip(pids, before))
    quickest(share, 0.2)  # of a core, by wincue or the wineserver
    maker.answer("ids")  # Wine sends its events once a program asked for messages
    maker.create("wct-late", "wct-made")
    assert p.read(lambda out: out.count(target.expected("end   - Find\n")) == 1)
    assert p.read(lambda out: out.endswith(target.expected("start - Find\n")))
    time.sleep(1)
    maker.change("show", 100)
    assert (p.wait(), p.out) == (0, target.expected(want))
