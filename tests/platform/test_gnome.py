"""What only GNOME Shell shows, through wincue's extension: Enable for real,
proven with real input (RemoteDesktop's virtual pointer and keyboard, which
the shell routes through its picking, key bindings and focus as a user's),
what a disabled window is, a list of more windows than one page holds, and
installing the extension. The window table runs on GNOME in
tests/actions/test_windows.py; choosing GNOME, runs at once and the shell
going away in test_wayland.py; Enable's runs at once and killed runs in
test_desks.py."""
import os
import re
import signal
import subprocess
import sys
from pathlib import Path

import pytest
from gi.repository import GLib

from desks import Gnome, events_until
from harness import BUILD, Target, wait_until
from test_wayland import maker, wincue

RIGHT = Gnome.AT[1]  # where the window tiled on the right is clicked


@pytest.fixture
def gnome(worlds):
    target = Target("host", worlds("gnome"))
    target.desk = target.world.desk
    return target


# Each way the shell gives a window the focus: (name, whether a window
# "closing" is made too, the windows activated in turn, the way, whether
# keys typed next reach "other"). "other" is a program of its own, so that
# Alt+Tab, which goes from program to program, can go to "locked". The last
# focused window that takes input gets the focus back, else none has it.
FOCUS_WAYS = [
    ("a click on it", False, ["locked", "other"], lambda d, w: d.shell.click(*RIGHT), True),
    ("an activation over D-Bus", False, ["locked", "other"],
     lambda d, w: d.maker.change("activate", 0), True),
    ("Alt+Tab", False, ["locked", "other"], lambda d, w: d.shell.alt_tab(), True),
    ("the focused window closing", True, ["other", "locked", "closing"],
     lambda d, w: d.maker.change("close", 1), True),
    ("the focused window closing, no other taking input", True, ["locked", "closing", "-other"],
     lambda d, w: d.maker.change("close", 1), False),
    ("none: the focused window disabled (no other is activated)", False, ["other", "locked"],
     lambda d, w: None, False),
]


@pytest.mark.parametrize("name,closing,history,way,routed", FOCUS_WAYS,
                         ids=[w[0] for w in FOCUS_WAYS])
def test_a_disabled_window_gets_no_input(gnome, tmp_path, ends, name, closing, history, way,
                                        routed):
    """Clicks and keys right after the shell gives a disabled window the
    focus never reach it, also after wincue has ended; the keys reach the
    window that had the focus before (a proof they were routed), or none
    ("-other": minimized, it takes no input). Enabled again, it takes a
    click and keys."""
    d, other = Gnome(gnome, tmp_path), maker(ends, gnome)
    ends(d.close)
    windows = {"other": (other, 0), "locked": (d.maker, 0), "closing": (d.maker, 1)}
    for made, title, side in ((other, "other", "Left"), (d.maker, "locked", "Right")):
        made.create("wct-in", title)
        d.tile(made, 0, side)
    if closing:
        d.maker.create("wct-in", "closing", "size=100:100")
    for title in history:
        if title.startswith("-"):
            assert wincue(gnome, tmp_path, ("Display", dict(Display="0", Text=title[1:]))) == b""
        else:
            windows[title][0].change("activate", windows[title][1])
    d.enable("0")
    way(d, windows)
    d.shell.type("k")
    d.enable("1")
    d.shell.click(*RIGHT)
    d.shell.type("z")
    assert events_until(d.maker, "button 0", "key 0") == ["button 0", "key 0"]
    if routed:  # (Alt+Tab's Alt reaches it too)
        assert set(events_until(other, "key 0")) == {"key 0"}
    else:  # what was typed before the click that ended it has come
        assert other.answer("events") == []


@pytest.fixture
def locked(gnome, tmp_path, ends):
    """The witness on the left, the window "locked" (1) on the right."""
    d = Gnome(gnome, tmp_path)
    ends(d.close)
    d.witness()
    d.make("locked")
    return d


def crowd_marks(gnome, tmp_path):
    """The titles of the crowd's windows and how many of them are disabled."""
    status, out = gnome.run(tmp_path, args=["--list"])
    lines = [line for line in out.split(b"\n") if b"\twct-crowd\t" in line]
    return status, sorted(line.split(b"\t")[4] for line in lines), sum(
        b"disabled" in line for line in lines)


def test_more_windows_than_a_page(gnome, tmp_path_factory, ends):
    """The extension lists its windows a page at a time: every one of 301
    reaches wincue. One Enable step disables and enables them all whole. A
    title past 254 bytes reads as its first 254 at most, never cut inside a
    UTF-8 character: "a" and 200 two-byte letters read as "a" and 126 of
    them (253 bytes; the other desktops' run in the window table)."""
    crowd = maker(ends, gnome)
    crowd.ask("crowd\twct-crowd\t300")
    crowd.expect("crowded 300")
    crowd.create("wct-crowd", ("a" + "\u00e9" * 200).encode().decode("latin-1"))  # as UTF-8
    titles = sorted([b"wct-crowd %d" % i for i in range(300)] + [("a" + "\u00e9" * 126).encode()])
    assert crowd_marks(gnome, tmp_path_factory.mktemp("list")) == (0, titles, 0)
    for flag, disabled in (("0", 301), ("1", 0)):
        assert wincue(gnome, tmp_path_factory.mktemp("step"),
                      ("Enable", dict(Enable=flag, ClassName="wct-crowd"))) == b""
        assert crowd_marks(gnome, tmp_path_factory.mktemp("list")) == (0, titles, disabled)


def as_user(gnome, *argv):
    """A command of the session's user; {uuid} is our extension's."""
    uuid = next(p.name for p in (Path(gnome.env["HOME"]) / ".local/share/gnome-shell/extensions")
                .iterdir() if p.name.startswith("wincue-"))
    subprocess.run(gnome.world.user + [a.format(uuid=uuid) for a in argv], env=gnome.env,
                   capture_output=True, timeout=60, check=True)


def ping(gnome):
    """A call the shell answers after every message that came before it."""
    with pytest.raises(Exception, match="AccessDenied"):
        gnome.desk.extension("GetVersion")


@pytest.fixture
def dconf(gnome, ends):
    """The user's settings service on the shell's bus, which the world lacks:
    a change made there reaches the shell, and one the shell makes holds."""
    service = subprocess.Popen(gnome.world.user + ["/usr/libexec/dconf-service"], env=gnome.env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    ends(lambda: service.kill() or service.wait())
    wait_until(lambda: gnome.desk.owned("ca.desrt.dconf"), 20, "dconf-service")


# Each way a user turns the extension off and on again: (name, off, on). The
# shell turns it off and on the same way (the same calls of its extension
# manager) at a screen lock and unlock, which the world's shell lacks (it
# locks only with GDM and logind), and when an extension loaded before ours
# is turned off.
OFF_AND_ON = [
    ("gnome-extensions", ["gnome-extensions", "disable", "{uuid}"],
     ["gnome-extensions", "enable", "{uuid}"]),
    ("disable-user-extensions", ["gsettings", "set", "org.gnome.shell", "disable-user-extensions",
                                 "true"],
     ["gsettings", "set", "org.gnome.shell", "disable-user-extensions", "false"]),
]


@pytest.mark.parametrize("name,off,on", OFF_AND_ON, ids=[w[0] for w in OFF_AND_ON])
def test_the_extension_off_and_on_keeps_its_marks(locked, dconf, name, off, on):
    """Turned off and on again, the extension answers again, a window
    disabled before is disabled through and through (its shield back), and
    the steps enable and disable it as before."""
    locked.enable("0")
    for turn, owned in ((off, False), (on, True)):
        as_user(locked.target, *turn)
        wait_until(lambda: locked.shell.owned("org.wincue.Shell") == owned, 20, name)
    assert locked.whole(1) == "disabled"
    for flag, state in (("1", "enabled"), ("0", "disabled")):
        locked.enable(flag)
        assert locked.whole(1) == state


# A run of the session's user that registers for the extension's signals
# and holds its connection until its standard input ends; its bus name.
LISTEN = """import sys
sys.path.insert(0, %r)
from gnomedesk import GnomeDesk
desk = GnomeDesk()
desk.extension("Register")
print(desk.bus.get_unique_name(), flush=True)
sys.stdin.read()
"""


def listener(gnome):
    code = LISTEN % str(gnome.world.root / "scripts")  # as the session's user reaches them
    p = subprocess.Popen(gnome.world.user + [sys.executable, "-c", code], env=gnome.env,
                         stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    return p, p.stdout.readline().strip()


def test_only_registered_runs_hear_the_windows(gnome, tmp_path, ends):
    """A bus monitor sees the extension tell windows (titles, classes,
    pids) only to the runs that registered, each message addressed to its
    own, and nothing while none is: not before the first, nor after its
    name has left the bus. Another user (root here) gets AccessDenied,
    whatever it asks (ping() asks GetVersion)."""
    log = tmp_path / "monitor.log"
    with open(log, "wb") as out:
        monitor = subprocess.Popen(["dbus-monitor", "--address",
                                    gnome.env["DBUS_SESSION_BUS_ADDRESS"],
                                    "interface='org.wincue.Shell'"], stdout=out,
                                   stderr=subprocess.DEVNULL)
    ends(lambda: monitor.kill() or monitor.wait())
    windows, runs = maker(ends, gnome), []
    wait_until(lambda: ping(gnome) or b"member=GetVersion" in log.read_bytes(), 20, "the monitor")
    for method, args in (("Register", ()), ("GetWindows", (0,)), ("SetEnabled", ([1], False))):
        with pytest.raises(Exception, match="AccessDenied"):
            gnome.desk.extension(method, *args)
    for told in ("unheard 0", "heard 1", "unheard 2", "heard 3"):
        if told.startswith("heard"):
            runs.append(listener(gnome))
        windows.create("wct-x", told)
        if told.startswith("heard"):
            wait_until(lambda: told.encode() in log.read_bytes(), 20, "the monitor")
            runs[-1][0].stdin.close()
            runs[-1][0].wait()
            ping(gnome)  # the shell has heard the name go
    monitor.kill()  # all it heard is in the log
    monitor.wait()
    told = [block.split("\n", 1) for block in re.split(r"\n(?=\S)", log.read_text())
            if block.startswith("signal ") and "interface=org.wincue.Shell" in block]
    names = [name for _, name in runs]
    heard = [re.search(r"destination=(\S+)", head)[1] for head, _ in told]
    assert heard == sorted(heard, key=names.index) and set(heard) == set(names)
    assert [body for _, body in told if "unheard" in body] == []


def test_a_change_that_comes_late_is_not_made(gnome, locked, tmp_path, ends):
    """A shell stopped while a step disables a window is lost to the step,
    which names the window as it stayed; resumed while the run still runs,
    the shell takes the call that came after its deadline and leaves the
    window as the step said."""
    shell = gnome.desk.call(("org.freedesktop.DBus", "/org/freedesktop/DBus",
                             "org.freedesktop.DBus"), "GetConnectionUnixProcessID",
                            GLib.Variant("(s)", ("org.gnome.Shell",)), "(u)")[0]
    ends(lambda: os.kill(shell, signal.SIGCONT))
    err = wincue(gnome, tmp_path, ("Find", dict(Text="locked")),
                 ("Cmd", dict(Cmd="/bin/kill -STOP %d" % shell)), ("Sleep", dict(Sleep="500")),
                 ("Enable", dict(Enable="0", Text="locked")),
                 ("Cmd", dict(Cmd="/bin/kill -CONT %d" % shell)), ("Sleep", dict(Sleep="2000")))
    assert re.fullmatch(r'wincue: GNOME Shell does not answer on the session bus "[^"]*"; '
                        r'going on as a desktop with no windows\nwincue: \[Section3\] '
                        r'Enable: "locked" \(0x[0-9a-f]+\) stayed enabled\n', err.decode())
    assert locked.whole(1) == "enabled"


# -- installing the extension ---------------------------------------------

# (what gnome-shell --version says, whether a session bus runs, the variant
# installed or the line on standard error)
SHELLS = [
    ("GNOME Shell 43.9", True, "wincue-43@wincue.example"),
    ("GNOME Shell 44.0", False, "wincue-43@wincue.example"),
    ("GNOME Shell 45.0", False, "wincue-45@wincue.example"),
    ("GNOME Shell 48.7", False, "wincue-45@wincue.example"),
    ("GNOME Shell 42.9", False, "wincue: wincue's GNOME Shell extension runs on GNOME Shell 43 "
                                "to 48, not 42\n"),
    ("GNOME Shell 49.0", False, "wincue: wincue's GNOME Shell extension runs on GNOME Shell 43 "
                                "to 48, not 49\n"),
]
OTHERS = ("['other@example', 'wincue-45@wincue.example']",
          "['wincue-43@wincue.example', 'off@example']")


def extensions(env):
    """The user's enabled and disabled extensions, read from dconf's file
    (no bus)."""
    return [subprocess.run(["gsettings", "get", "org.gnome.shell", key], capture_output=True,
                           text=True, check=True, env=dict(env, DBUS_SESSION_BUS_ADDRESS=
                                                           "disabled:")).stdout.strip()
            for key in ("enabled-extensions", "disabled-extensions")]


def user_home(tmp_path, version):
    """A user with other extensions enabled (and one of ours, the other
    variant), and one of ours disabled, set through a bus of their own; no
    session bus named; a shell of that version on the path, and nothing
    else."""
    for folder, mode in (("home", 0o755), ("run", 0o700), ("bin", 0o755)):
        (tmp_path / folder).mkdir(mode=mode)
    (tmp_path / "bin" / "gnome-shell").write_text("#!/bin/sh\necho '%s'\n" % version)
    (tmp_path / "bin" / "gnome-shell").chmod(0o755)
    env = {"HOME": str(tmp_path / "home"), "XDG_RUNTIME_DIR": str(tmp_path / "run"),
           "PATH": "%s:/usr/bin:/bin" % (tmp_path / "bin")}
    for key, value in zip(("enabled-extensions", "disabled-extensions"), OTHERS):
        subprocess.run(["dbus-run-session", "--", "gsettings", "set", "org.gnome.shell", key,
                        value], capture_output=True, check=True, env=env)
    return env


@pytest.mark.parametrize("version,bus,outcome", SHELLS,
                         ids=[s[0] + (", a session bus" if s[1] else "") for s in SHELLS])
def test_install_the_variant_of_the_shell(tmp_path, version, bus, outcome):
    """--install-gnome-extension copies the variant the user's shell runs
    from beside the program into the user's extensions, enables it (and
    not the other), keeping every other extension as it was, with no
    session bus running or through the one running (dconf's writer there:
    no bus of wincue's own, for which dbus-daemon is not on the path then);
    a shell it was not made for gets one line and nothing."""
    env = user_home(tmp_path, version)
    argv = [str(BUILD / "host" / "wincue"), "--install-gnome-extension"]
    if bus:
        argv = ["/usr/bin/dbus-run-session", "--dbus-daemon=/usr/bin/dbus-daemon", "--"] + argv
    out = subprocess.run(argv, capture_output=True, text=True, timeout=60,
                         env=dict(env, PATH=str(tmp_path / "bin")) if bus else env)
    installed = tmp_path / "home" / ".local/share/gnome-shell/extensions"
    if not outcome.startswith("wincue-"):
        assert (out.returncode, out.stdout, out.stderr, installed.exists(), extensions(env)) == (
            1, "", outcome, False, list(OTHERS))
        return
    # Standard error also has a session bus's own log.
    assert (out.returncode, bus or out.stderr == "", "wincue:" in out.stderr) == (0, True, False)
    assert out.stdout == ("Installed GNOME Shell extension %s in %s and enabled it.\nLog out "
                          "and in again: GNOME Shell loads its extensions when it starts.\n" % (
                              outcome, installed / outcome))
    for f in ("metadata.json", "extension.js"):
        assert (installed / outcome / f).read_bytes() == (
            BUILD / "host/gnome-shell/extensions" / outcome / f).read_bytes()
    assert extensions(env) == ["['other@example', '%s']" % outcome, "['off@example']"]
