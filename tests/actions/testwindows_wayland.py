"""testwindows_wayland: the Wayland twin of testwindows_x11.py, speaking the
line protocol of windowlines.py on native Wayland windows: GTK 3 toplevels
whose app_id is CLASS. FLAGS: hidden, size=W:H, asks (a request to close is
refused), maximized and minimized (not on sway, which has no such states); a
Wayland program cannot undo a hide, and no compositor can be asked by a
program to enable it, so reenable and reshow change nothing. What a window's
state is, and hiding one, belong to the compositor and are read from outside,
through its own interface (labwc's: the window list wlroots compositors
share): COMPOSITORS holds, per compositor, how to list its windows and to
hide and show one (KWin's, GNOME's and labwc's minimized windows are their
hidden ones, and their maximized ones are read from them; which window is
active is what KWin's GTK says, and GNOME's own word elsewhere). Also:

  layout                            -> ID tiled|floating per window, end
  activate ID                       -> activated ID   (GNOME: wincue's extension;
                                       KWin: a script of KWin's)
  active                            -> the ID of each window that has the focus, end
  crowd CLASS N                     -> crowded N: N small windows titled CLASS 0 ...,
                                       listed with their titles (not counted as IDs)

A window is "created" once the compositor lists it with its title; the title
comes last, after the compositor has listed the window under a placeholder,
as a toolkit's late title does. A hidden one is hidden by the compositor's
own means once listed. enabled is 1 but under GNOME, where wincue's
extension says whether the window is disabled, and KWin, where the script
wincue leaves in KWin for a disabled window says so.
"""
import os
import sys
import time

import gi

os.environ.update(GDK_BACKEND="wayland", NO_AT_BRIDGE="1")  # no accessibility bus to outlive us
gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402

sys.path.insert(0, __file__.rsplit("/", 3)[0] + "/scripts")
from windowlines import events, flags as parsed, reply, serve, until as waited  # noqa: E402


def sway():
    from swaydesk import SwayDesk
    desk = SwayDesk()
    return dict(
        # {id: (class, title, hidden, floating, active, disabled, maximized)}
        windows=lambda: {i: (w["cls"], w["name"], w["hidden"], w["floating"], w["focused"], False,
                             False)
                         for i, w in desk.windows().items()},
        hide=lambda i: desk.command("[con_id=%d] move scratchpad" % i),
        show=lambda i: desk.command("[con_id=%d] focus" % i))


def kwin():
    from kwindesk import KWinDesk
    desk = KWinDesk()

    def minimize(i, hide):
        w = desk.windows()[i]
        if w["hidden"] != hide:
            desk.toggle_minimized(w["uuid"])
    return dict(
        # KWin never tiles here: every window floats
        # (..., whether it is active: as GTK sees it, disabled, maximized)
        windows=lambda: {i: (w["cls"], w["name"], w["hidden"], True, None,
                             desk.disabled(w["uuid"]), w["maximized"])
                         for i, w in desk.windows().items()},
        hide=lambda i: minimize(i, True), show=lambda i: minimize(i, False),
        activate=lambda i: desk.activate(desk.windows()[i]["uuid"]))


def gnome():
    """The shell's own list; what is disabled, and the commands, through
    wincue's extension (this program runs as the session's user). The shell
    hides a window it minimizes a moment later: its list is read once it
    agrees with what the extension says is minimized, or after a while."""
    from gnomedesk import GnomeDesk
    desk = GnomeDesk()

    def agreed():
        shown, marked = desk.windows(), desk.marked()
        found = {i: (w["cls"], w["name"], w["hidden"], True, w["focus"], marked[i]["disabled"],
                     marked[i]["maximized"])
                 for i, w in shown.items() if i in marked}
        return found, all(marked[i]["hidden"] == w[2] for i, w in found.items())

    def windows():
        deadline = time.monotonic() + 5
        found, settled = agreed()
        while not settled and time.monotonic() < deadline:
            time.sleep(0.005)
            found, settled = agreed()
        return found
    return dict(windows=windows, hide=lambda i: desk.extension("SetMinimized", i, True),
                show=lambda i: desk.extension("SetMinimized", i, False),
                activate=lambda i: desk.extension("Activate", i))


def labwc():
    """Through the window list a panel reads; minimized windows are the
    hidden ones, as on KWin. A run numbers the windows from 1 in the order
    the list first tells them to it, as to any new client: newest first."""
    from wlrdesk import WlrDesk
    desk = WlrDesk()

    def number(wid):
        """(0 for a window gone: no run sees it.)"""
        mine = desk.windows()
        key = lambda i: (mine[i]["cls"], mine[i]["name"]) if i in mine else None  # noqa: E731
        if key(wid) is None:
            return 0
        fresh = WlrDesk()
        told = [n + 1 for n, (_, w) in enumerate(sorted(fresh.windows().items()))
                if (w["cls"], w["name"]) == key(wid)]
        fresh.close()
        twins = [i for _, i in windows if key(i) == key(wid)]
        return told[len(twins) - 1 - twins.index(wid)]
    return dict(
        windows=lambda: {i: (w["cls"], w["name"], w["minimized"], True, w["activated"], False,
                             w["maximized"]) for i, w in desk.windows().items()},
        hide=lambda i: desk.request(i, "minimize"), show=lambda i: desk.request(i, "unminimize"),
        activate=lambda i: desk.request(i, "activate"), number=number)


COMPOSITORS = {"sway": sway, "kwin": kwin, "gnome": gnome, "labwc": labwc}
name = os.environ.get("WINCUE_COMPOSITOR") or ("sway" if os.environ.get("SWAYSOCK") else None)
if name not in COMPOSITORS:
    sys.exit("testwindows_wayland: no compositor to read (set SWAYSOCK or WINCUE_COMPOSITOR)")
desk = COMPOSITORS[name]()
STATES = name in ("kwin", "gnome", "labwc")  # minimized and maximized: sway has neither
number = desk.get("number", int)  # wincue's id of a window, from the compositor's
windows = []  # (GTK window, compositor id)
crowds = []  # windows made in bulk


def pump():
    """Handles what has come."""
    while GLib.MainContext.default().iteration(False):
        pass


def until(check, what):
    return waited(check, what, pump)


def heard(kind, number):
    def note(window, event):
        if event.type not in (Gdk.EventType._2BUTTON_PRESS, Gdk.EventType._3BUTTON_PRESS):
            events.append("%s %d" % (kind, number))  # a click is one press
        return True
    return note


def create(cls, title, flags=""):
    flags = parsed(flags)
    GLib.set_prgname(cls)  # GTK takes the app_id from it as the window is made
    w = Gtk.Window()
    if "asks" in flags:
        w.connect("delete-event", lambda *_: True)  # asks a user who never answers
    placeholder = "wct-making-%d-%d" % (os.getpid(), len(windows))
    w.set_title(placeholder)
    w.set_default_size(*(int(n) for n in flags.get("size", "240:120").split(":")))
    w.add_events(Gdk.EventMask.BUTTON_PRESS_MASK)
    for signal, kind in (("button-press-event", "button"), ("key-press-event", "key")):
        w.connect(signal, heard(kind, len(windows)))
    if "maximized" in flags and STATES:
        w.maximize()
    w.show_all()
    wid = until(lambda: next((i for i, w in desk["windows"]().items() if w[1] == placeholder),
                             None), "the window")
    if "maximized" in flags and STATES:
        until(lambda: desk["windows"]()[wid][6], "the maximize")
    if "hidden" in flags or ("minimized" in flags and STATES):
        desk["hide"](wid)
        until(lambda: desk["windows"]()[wid][2], "the hide")
    entitle(w, wid, title)
    windows.append((w, wid))
    return "created %d" % (len(windows) - 1)


def entitle(w, wid, title):
    w.set_title(title)
    until(lambda: desk["windows"]().get(wid, (0, ""))[1] == title, "the title")


def crowd(cls, count):
    count = int(count)
    GLib.set_prgname(cls)
    for i in range(count):
        w = Gtk.Window(title="%s %d" % (cls, i))
        w.set_default_size(60, 40)
        w.show_all()
        crowds.append(w)
    until(lambda: sum(w[0] == cls for w in desk["windows"]().values()) >= count, "the crowd")
    return "crowded %d" % count


def state(wid):
    w = desk["windows"]().get(wid)
    return "gone" if w is None else "%s\t%s\tvisible=%d\tenabled=%d" % (*w[:2], not w[2], not w[5])


def look(wid):
    """KWin's and GNOME's minimized windows are their hidden ones."""
    w = desk["windows"]().get(wid)
    if w is None:
        return "gone"
    active = w[4] if w[4] is not None else next(g for g, i in windows if i == wid).is_active()
    return "%s\tminimized=%d\tmaximized=%d\tactive=%d" % (
        state(wid), STATES and w[2], STATES and w[6], active)


def show(number):
    # Done once the compositor has answered: a run waiting for the show may
    # hide the window again before a look would see it.
    desk["show"](windows[int(number)][1])
    return "shown " + number


def close(number):
    w, wid = windows[int(number)]
    w.destroy()
    until(lambda: wid not in desk["windows"](), "the close")
    return "closed " + number


def activate(number):
    desk["activate"](windows[int(number)][1])
    return "activated " + number


def each(line):
    return lambda: [line(wid) for _, wid in windows]


ACTS = dict(create=((2, 3), create), show=((1,), show), close=((1,), close), crowd=((2,), crowd),
            title=((2,), lambda n, title: entitle(*windows[int(n)], title) or "titled " + n),
            activate=((1,), activate))
# as wincue shows an id: 16 digits past 32 bits (KWin's)
LISTS = dict(ids=each(lambda wid: "0x%0*x" % (16 if wid >> 32 else 8, number(wid))),
             state=each(state), look=each(look),
             layout=each(lambda wid: "%d %s" % (wid, "floating" if desk["windows"]()[wid][3]
                                                 else "tiled")),
             active=lambda: [str(i) for i, (w, _) in enumerate(windows)
                             if w.get_mapped() and w.is_active()])


def on_input(fd, condition):
    # what the compositor sent before is handled before a list
    if serve(sys.stdin.readline(), ACTS, LISTS, lambda: Gdk.Display.get_default().sync() or pump()):
        return True
    Gtk.main_quit()
    return False


reply("ready")
GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()), GLib.PRIORITY_DEFAULT,
                  GLib.IO_IN | GLib.IO_HUP, on_input)
Gtk.main()
