"""What a run loads, read from outside (/proc/PID/maps): a script without
window steps loads no desktop and none of their libraries, and a run loads
only the libraries of the desktop it uses (a desktop tried before it and not
found is unloaded)."""
import os
import shutil
import subprocess

import pytest

from harness import BUILD, Target, begun, script, script_dir, wait_until

# What each desktop loads: its module, then its libraries (sway reads an
# XWayland window's close protocol over X11).
LOADS = {"x11": ["wincue-x11.so", "libxcb.so"],
         "sway": ["wincue-sway.so", "libjson-c.so", "libxcb.so"],
         "kwin": ["wincue-kwin.so", "libsystemd.so"],
         "gnome": ["wincue-gnome.so", "libsystemd.so"]}
ALL = {lib for libs in LOADS.values() for lib in libs}


def mapped(pid):
    with open("/proc/%d/maps" % pid) as f:
        return " ".join({line.split("/")[-1].strip() for line in f if "/" in line})


# (world, the desktop whose libraries it loads): a run holds a Find there,
# or with no world a Sleep.
RUNS = [(None, None), ("none", "x11"), ("sway", "sway"), ("kwin", "kwin"), ("gnome", "gnome")]


@pytest.mark.parametrize("world,desktop", RUNS, ids=["no window step", "X11", "sway", "KWin",
                                                     "GNOME"])
def test_a_run_loads_its_desktop_alone(worlds, tmp_path, ends, world, desktop):
    target = Target("host", worlds(world) if world else None)
    # A first step that reads the desktop, so the held one has it loaded.
    steps = [("Display", dict(Text="wct-nowhere", Display="0")),
             ("Find", dict(Text="wct-nowhere"))] if desktop else [("Sleep", dict(Sleep="20000"))]
    wanted = LOADS.get(desktop, [])
    p = begun(ends, target, tmp_path, steps, ("start - %s\n" % steps[-1][0]).encode())
    if desktop:
        wait_until(lambda: wanted[0] in mapped(p.p.pid), 20, "the desktop's module")
    names = mapped(p.p.pid)
    assert sorted(lib for lib in ALL if lib in names) == sorted(wanted), names


# (what lies beside the program as wincue-x11.so, how standard error begins)
UNLOADABLE = [
    (b"not a library\n", "%s: "),
    (BUILD / "host" / "wincue-sway.so", "%s has no x11Desktop\n"),
]


@pytest.mark.parametrize("module,said", UNLOADABLE, ids=["not a library", "another desktop's"])
def test_a_module_that_will_not_load_says_why(tmp_path, module, said):
    """A desktop's module that is there beside the program but cannot be
    loaded (not a library at all: with the loader's reason, not a later
    place that has no module) or lacks its entry is named; the run goes on
    without windows."""
    program = tmp_path / "wincue"
    shutil.copy(BUILD / "host" / "wincue", program)
    (tmp_path / "wincue-x11.so").write_bytes(module if isinstance(module, bytes)
                                             else module.read_bytes())
    config, want = script(("Display", dict(Text="wct-nowhere", Display="0")))
    run = subprocess.run([str(program)], cwd=script_dir(tmp_path, config),
                         env=dict(os.environ, DISPLAY=":99", WAYLAND_DISPLAY=""),
                         capture_output=True, timeout=20)
    assert (run.returncode, run.stdout) == (0, want.encode())
    assert run.stderr.startswith(b"wincue: cannot load the x11 desktop: " + (
        said % (tmp_path / "wincue-x11.so")).encode()), run.stderr
