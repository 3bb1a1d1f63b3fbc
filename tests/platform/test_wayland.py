"""What only a Wayland compositor shows (sway, and KWin and GNOME Shell where
it applies): the tiling a hide and show put back, XWayland windows beside
native ones, runs at once, a compositor that goes away, and the choice of
desktop. The window table itself (and a waiting Find that sleeps, and long
titles) runs on all three in tests/actions/test_windows.py; what only KWin
or GNOME shows is in test_kwin.py and test_gnome.py."""
import contextlib
import json
import os
import re
import signal
import socket
import socketserver
import struct
import threading
import time

import pytest

from harness import (THROUGH, Child, Maker, Target, World, begun, script, script_dir,
                     wait_until, wincue)
from kwindesk import KWinDesk
from swaydesk import SwayDesk
from wlrdesk import WlrDesk


def on(worlds, ends, name):
    """The host build on sway or KWin, with the desk it is read through."""
    target = Target("host", worlds(name))
    target.desk = (SwayDesk(target.env["SWAYSOCK"]) if name == "sway" else
                   KWinDesk(target.env["DBUS_SESSION_BUS_ADDRESS"]))
    ends(target.desk.close)
    return target


@pytest.fixture
def sway(worlds, ends):
    return on(worlds, ends, "sway")


def maker(ends, target, x11=False):
    """A window program, which quits once the test is over."""
    made = Maker(target, x11)
    ends(made.close)
    return made


@pytest.mark.parametrize("compositor", ["sway", "kwin"])
def test_xwayland_windows_by_their_x11_class(worlds, tmp_path, ends, compositor):
    """Two XWayland windows of one title are read by that title (KWin 5
    shows the second as "Twin <2>" and a direction mark) and by their X11
    class (lower-cased by KWin 5 only), and hidden and shown in sway's
    scratchpad or minimized by KWin, as the compositor shows."""
    target = on(worlds, ends, compositor)
    if "DISPLAY" not in target.env:
        pytest.skip("no free X display for XWayland")
    twins = maker(ends, target, x11=True)
    twins.create("WctTwin", "Twin")
    twins.create("WctTwin", "Twin")
    hidden = lambda: [w["hidden"] for w in target.desk.windows().values()  # noqa: E731
                      if w["cls"].lower() == "wcttwin"]
    wait_until(lambda: len(hidden()) == 2, 20, "the compositor's list")
    cls = "wcttwin" if compositor == "kwin" and target.desk.major() == 5 else "WctTwin"
    status, out = target.run(tmp_path, args=["--list"])
    assert (status, [line.split("\t")[3:] for line in out.decode().split("\n")
                     if "\tTwin" in line]) == (0, [[cls, "Twin"]] * 2)
    for flag in "01":
        wincue(target, tmp_path, ("Display", dict(ClassName=cls, Text="Twin", Display=flag)))
        assert hidden() == [flag == "0"] * 2


def test_an_xwayland_window_that_takes_no_request_to_close(sway, tmp_path, ends):
    """sway's kill ends the X client of an XWayland window that takes no
    WM_DELETE_WINDOW: such a window is asked nothing and left open, with its
    line, and its program lives on; one that takes it closes."""
    made = maker(ends, sway, x11=True)
    made.create("wct-xw", "deaf", "deaf")
    made.create("wct-xw", "hears", "")
    err = wincue(sway, tmp_path, ("Close", dict(ClassName="wct-xw")),
                 ("Gone", dict(Text="hears", Timeout="20000")))
    deaf = [i for i, w in sway.desk.windows().items() if w["name"] == "deaf"][0]
    assert err == ('wincue: [Section0] Close: "deaf" (0x%08x) stayed open: its program takes no '
                   'request to close\n' % deaf).encode()
    assert made.answer("state") == ["wct-xw\tdeaf\tvisible=1\tenabled=1", "gone"]


@pytest.mark.parametrize("compositor", ["sway", "kwin", "gnome"])
def test_runs_at_once_leave_windows_a_later_run_shows(worlds, tmp_path_factory, ends, compositor):
    """Two runs hiding and showing the same windows at once; a later run's
    show brings every window back, tiled as before (KWin: each run with its
    own script). A run says at most that a window is not as it left it: the
    other run changed it since."""
    target = Target("host", worlds(compositor))
    made = maker(ends, target)
    for i in range(3):
        made.create("wct-race", "Race %d" % i)
    before = made.answer("layout")
    flips = [("Display", dict(ClassName="wct-race", Display=str(i % 2))) for i in range(30)]
    runs = [begun(ends, target, tmp_path_factory.mktemp("run"), flips, b"") for _ in range(2)]
    ended = [(r.wait(), r.p.stderr.read().decode()) for r in runs]
    assert [status for status, _ in ended] == [0] * 2
    said = r'wincue: \[Section\d+\] Display: "Race \d" \(0x[0-9a-f]+\) stayed (shown|hidden)'
    assert [line for _, err in ended for line in err.splitlines()
            if not re.fullmatch(said, line)] == []
    wincue(target, tmp_path_factory.mktemp("last"), flips[1])  # a show
    assert [s.split("\t")[2] for s in made.answer("state")] == ["visible=1"] * 3
    assert made.answer("layout") == before


def test_the_compositor_killed_while_a_step_reads_back(tmp_path_factory, ends):
    """sway through the window list ignores a minimize: the step that asked
    says so, a later one names sway. Killed while a Maximize reads back: one
    line, no read-back of the windows gone with it, the run goes on."""
    name, runner = THROUGH["wlr-sway"]
    world = World(tmp_path_factory.mktemp("gone"), name).start()
    ends(world.stop)
    target = Target("host", world)
    made = Maker(target)
    ends(made.child.stop)  # its compositor gone, it cannot be asked to quit
    made.create("wct-still", "Still")
    steps = [("Minimize", dict(Text="Still"))] * 2 + [("Maximize", dict(Text="Still")),
                                                      ("Sleep", dict(Sleep="0"))]
    p = begun(ends, target, tmp_path_factory.mktemp("run"), steps, b"start - Maximize\n",
              runner + target.argv)
    time.sleep(0.5)  # into the read-back, which alone would take 2 s
    os.kill(world.pids[0], signal.SIGKILL)
    assert (p.wait(), p.out) == (0, script(*steps)[1].encode())
    assert re.sub(rb"0x[0-9a-f]{8}|wayland-\d+", b"ID", p.p.stderr.read()) == (
        b'wincue: [Section0] Minimize: "Still" (ID) stayed normal\n'
        b"wincue: sway cannot minimize a window: Minimize changed nothing\n"
        b'wincue: lost the Wayland compositor at "ID"; going on as a desktop with no windows\n')


def test_300_windows_on_labwc(worlds, tmp_path, ends, capsys):
    """--list shows all 300 windows of a program, a Find on the one made last
    ends, and Display=0 by app id minimizes every one, as the compositor's
    list then says. The times are printed for reading, not compared."""
    target = Target("host", worlds("labwc"))
    made, took = maker(ends, target), []
    made.ask("crowd\twct-many\t300")
    made.expect("crowded 300")
    for args, steps in [(["--list"], ()), ((), [("Find", dict(Text="wct-many 299"))]),
                        ((), [("Display", dict(ClassName="wct-many", Display="0"))])]:
        config, want = script(*steps)
        started = time.monotonic()
        status, out = target.run(script_dir(tmp_path, config), args=args)
        took.append(1000 * (time.monotonic() - started))
        listed = sorted(line.split("\t")[4] for line in out.decode().splitlines()
                        if "\twct-many\t" in line)
        assert (status, target.err) == (0, b"")
        assert listed == sorted("wct-many %d" % i for i in range(300)) if args else \
            out == want.encode()
    desk = WlrDesk(target.env["WAYLAND_DISPLAY"], target.env["XDG_RUNTIME_DIR"])
    ends(desk.close)
    assert [w["minimized"] for w in desk.windows().values() if w["cls"] == "wct-many"] == [
        True] * 300
    with capsys.disabled():
        print("\n300 windows on labwc: --list %.0f ms, a Find on the last %.0f ms, Display=0 "
              "%.0f ms" % tuple(took))


LINE = (b"wincue: this Wayland desktop shows other programs none of its own windows: only "
        b"XWayland windows can be reached\n")
UNTIL = b"; until then only XWayland windows can be reached\n"
NO_EXTENSION = (b"wincue: GNOME Shell shows wincue its windows only through wincue's extension: "
                b"install it with \"wincue --install-gnome-extension\" and log in again" + UNTIL)
OTHER_USER = (b"wincue: GNOME Shell's wincue extension answers only the user of its session: "
              b"run wincue as that user" + UNTIL)
# (name, world, environment changes, the window program on XWayland/X11, standard error)
SESSIONS = [
    ("sway's socket outside a Wayland session: X11", "sway", {"WAYLAND_DISPLAY": None}, True,
     b""),
    ("Wayland without SWAYSOCK: the line, then X11", "none", {"WAYLAND_DISPLAY": "wayland-9"},
     True, LINE),
    ("a socket that never answers: the line, then X11", "none",
     {"WAYLAND_DISPLAY": "wayland-9", "SWAYSOCK": "{silent}"}, True, LINE),
    ("a Wayland socket that never answers: the line, then X11", "none",
     {"WAYLAND_DISPLAY": "{silent}"}, True, LINE),
    ("GNOME Shell without wincue's extension: how to install it, then X11", "none",
     {"WAYLAND_DISPLAY": "wayland-9", "DBUS_SESSION_BUS_ADDRESS": "{shell}"}, True,
     NO_EXTENSION),
    ("wincue of another user than GNOME's: the extension refuses it, then X11", "none",
     {"WAYLAND_DISPLAY": "wayland-9", "DBUS_SESSION_BUS_ADDRESS": "{gnome}"}, True, OTHER_USER),
]


@pytest.mark.parametrize("name,world,changes,x11,err", SESSIONS, ids=[s[0] for s in SESSIONS])
def test_session_choice(worlds, tmp_path, ends, name, world, changes, x11, err):
    """--list shows the window by the id the chosen desktop gives it."""
    target = Target("host", worlds(world))
    silent = socket_listening(tmp_path / "silent.sock")
    ends(silent.close)
    places = {"{silent}": lambda: silent.getsockname(),
              "{shell}": lambda: shell_bus(ends),
              "{gnome}": lambda: worlds("gnome").env["DBUS_SESSION_BUS_ADDRESS"]}
    target.env = {k: places[v]() if v in places else v for k, v in
                  dict(target.env, **changes).items() if v is not None}
    (made := maker(ends, target, x11)).create("wct-session", "Chosen")
    status, out = target.run(tmp_path, args=["--list"])
    want = "%s\tshown\tenabled\twct-session\tChosen\n" % made.answer("ids")[0]
    assert (status, want.encode() in out, target.err) == (0, True, err)


def shell_bus(ends):
    """A session bus where a GNOME Shell answers, and no extension of ours:
    its address; what ends it goes to ends."""
    from gi.repository import Gio, GLib
    daemon = Child(["dbus-daemon", "--session", "--nofork", "--print-address"])
    ends(daemon.stop)
    address = daemon.line()
    shell = Gio.DBusConnection.new_for_address_sync(
        address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
        Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
    ends(lambda: shell.close_sync(None))
    shell.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                    "RequestName", GLib.Variant("(su)", ("org.gnome.Shell", 4)), None,
                    Gio.DBusCallFlags.NONE, 5000, None)
    return address


def socket_listening(path):
    # connections wait in the backlog, never answered
    return socket.create_server(str(path), family=socket.AF_UNIX, backlog=4)


def test_sway_leaves_alone_what_a_step_does_not_change(sway, tmp_path, ends):
    """Display=1 on a window already shown moves neither the focus nor the
    workspace; a hide and show keep the marks the user set on a window, and
    leave a floating one floating (a tiled one tiled: the runs at once)."""
    made = maker(ends, sway)
    made.create("wct-alone", "Focused")
    made.create("wct-alone", "Marked")
    focused, marked = [int(i, 16) for i in made.answer("ids")]
    sway.desk.command("[con_id=%d] mark --add mine, floating enable; [con_id=%d] focus" % (
        marked, focused))
    layout = made.answer("layout")
    wincue(sway, tmp_path, ("Display", dict(ClassName="wct-alone", Display="1")))
    assert [w["focused"] for w in map(sway.desk.windows().get, (focused, marked))] == [
        True, False]
    wincue(sway, tmp_path, ("Display", dict(Text="Marked", Display="0")),
           ("Display", dict(Text="Marked", Display="1")))
    assert (sway.desk.windows()[marked]["marks"], made.answer("layout")) == (["mine"], layout)


BIG = 2 ** 63 - 1  # the largest con_id the tree's JSON can hold


class FakeSway(socketserver.ThreadingUnixStreamServer):
    """An IPC socket that answers as sway would, with one window of the
    largest id, and records the commands it gets; or, lying, answers
    get_tree with a reply longer than sway ever sends."""
    daemon_threads = True

    def __init__(self, path, lying):
        super().__init__(str(path), lambda conn, _, server: server.serve(conn))
        self.commands, self.lying, self.hidden = [], lying, False
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def tree(self):
        window = dict(id=BIG, type="con", shell="xdg_shell", name="Big", app_id="wct-fake",
                      nodes=[], floating_nodes=[])
        workspace = dict(type="workspace", name="__i3_scratch" if self.hidden else "1",
                         nodes=[window], floating_nodes=[])
        return dict(type="root", name="root", nodes=[workspace], floating_nodes=[])

    def serve(self, conn):
        with contextlib.suppress(OSError):  # wincue hung up
            while len(header := conn.recv(14, socket.MSG_WAITALL)) == 14:
                length, kind = struct.unpack("<II", header[6:])
                body = conn.recv(length, socket.MSG_WAITALL).decode() if length else ""
                if kind == 4 and self.lying:
                    size = (64 << 20) + 1
                    conn.sendall(b"i3-ipc" + struct.pack("<II", size, kind) + b" " * size)
                    continue
                if kind == 0:
                    self.commands.append(body)
                    self.hidden = "move scratchpad" in body or (self.hidden and "focus" not in body)
                reply = {7: dict(variant="sway", human_readable="fake"), 2: dict(success=True),
                         4: self.tree(), 0: [dict(success=True)]}[kind]
                data = json.dumps(reply).encode()
                conn.sendall(b"i3-ipc" + struct.pack("<II", len(data), kind) + data)


# What a sway that answers each request gets from wincue, or what wincue
# says of one that lies: (name, whether it lies, the Display steps, the
# commands it gets, standard error).
FAKES = [
    ("ids of any size reach sway whole (four in one show command)", False, "01",
     ["[con_id=%d tiling] mark --add _wincue_tiled_%d; [con_id=%d] move scratchpad" % (
         BIG, BIG, BIG),
      "[con_id=%d] focus; [con_id=%d con_mark=\"^_wincue_tiled_%d$\"] floating disable, "
      "unmark _wincue_tiled_%d" % (BIG, BIG, BIG, BIG)], rb""),
    ("a reply longer than sway sends is not read: sway is lost", True, "0", [],
     rb"wincue: lost sway at .*\n"),
]


@pytest.mark.parametrize("name,lying,flags,commands,err", FAKES, ids=[f[0] for f in FAKES])
def test_a_fake_sway(tmp_path, ends, name, lying, flags, commands, err):
    """A window whose con_id has 19 digits, on a fake sway's socket."""
    fake = FakeSway(tmp_path / "sway.sock", lying)
    ends(fake.server_close)
    ends(fake.shutdown)
    target = Target("host")
    target.env = {k: v for k, v in os.environ.items() if k != "DISPLAY"} | dict(
        WAYLAND_DISPLAY="wayland-fake", SWAYSOCK=str(tmp_path / "sway.sock"))
    wincue(target, tmp_path, *[("Display", dict(ClassName="wct-fake", Display=f)) for f in flags])
    assert (fake.commands, re.fullmatch(err, target.err, re.S) is not None) == (commands, True)
