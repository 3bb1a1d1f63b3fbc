"""testwindows_x11: the X11 twin of testwindows.cpp, speaking the line
protocol of windowlines.py. FLAGS: hidden; maximized, minimized (asked of the
manager as it takes the window in; both: minimized from maximized); asks (a
request to close is asked of a user who never answers: the window stays);
reenable, reshow (the window's program undoes a disable, a hide, as soon as it
hears of it); takefocus, nohints, focus (take the focus once shown), deaf
(takes no WM_DELETE_WINDOW), at=X:Y:W:H, region=X:Y:W:H (an input region of
its own). A window closes when asked to (WM_DELETE_WINDOW) and answers pings
(_NET_WM_PING) after handling what came before them. Also "input": ID
region=... (whole: the window's own rectangle) hints=... protocols=... per
window (what wincue's Enable must give back exactly), end. A shown window is
"created" once viewable (framed, under a manager, which has caught up), its
title set last, as on Windows; "shown" also once a run has hidden it again.
enabled is 0 while a shield covers the window: a child that swallows the
clicks and keys landing on it ("input" counts them).
"""
import os
import socket
import select
import sys
import time

from Xlib import X, Xatom, Xutil
from Xlib.ext import shape
from Xlib.protocol import event

sys.path.insert(0, __file__.rsplit("/", 3)[0] + "/scripts")
from windowlines import events, flags as parsed, reply, serve, until  # noqa: E402
from xdesk import MASK, Desk  # noqa: E402

desk = Desk()
MAXIMIZED = [desk.atom("_NET_WM_STATE_MAXIMIZED_VERT"), desk.atom("_NET_WM_STATE_MAXIMIZED_HORZ")]
windows = []
flags_of = {}  # wid: its flags
mapped = set()  # windows mapped since they were last asked to show


def box(text):
    return tuple(int(n) for n in text.split(":"))


def managed():
    return desk.root.get_attributes().all_event_masks & X.SubstructureRedirectMask != 0


def caught_up():
    """twm maps a frame's parts again, the window with them, only as it hears
    the window's MapNotify, which comes after the window is viewable: a hide
    in between is undone. A manager that declares no EWMH support (twm here)
    has heard it once it has taken in a probe mapped after (it handles what
    comes in order)."""
    if not managed() or desk.prop(desk.root.id, "_NET_SUPPORTING_WM_CHECK") is not None:
        return
    probe = desk.make_window("wct-probe", None, True, (0, 0, 1, 1))
    until(lambda: desk.map_state(probe) == X.IsViewable, "the manager")
    desk.destroy(probe)


def until_viewable(wid, minimized=False):
    """Maps the window; until it can be seen, or was seen and a run has
    hidden it at once, and its manager has caught up with it; a minimized
    one, until it is minimized (or seen, where no manager minimizes it)."""
    take_events()
    mapped.discard(wid)
    desk.window(wid).map()
    until(lambda: take_events() or desk.map_state(wid) == X.IsViewable or (
        wid in mapped and desk.map_state(wid) == X.IsUnmapped) or (
        minimized and desk.wm_state(wid) == 3), "the show")
    caught_up()


def create(cls, title, flags=""):
    flags = parsed(flags)
    hidden = "hidden" in flags
    wid = desk.make_window(cls, None, False, box(flags.get("at", "40:40:240:120")),
                           "nohints" not in flags, "takefocus" in flags,
                           box(flags["region"]) if "region" in flags else None)
    w = desk.window(wid)
    flags_of[wid] = flags
    windows.append(wid)  # its events are its own while it is made
    protocols = [desk.atom(p) for p, wanted in (
        ("WM_DELETE_WINDOW", "deaf" not in flags), ("WM_TAKE_FOCUS", "takefocus" in flags),
        ("_NET_WM_PING", True)) if wanted]
    w.set_wm_protocols(protocols)
    w.change_property(desk.atom("_NET_WM_PID"), Xatom.CARDINAL, 32, [os.getpid()])
    w.change_property(Xatom.WM_CLIENT_MACHINE, Xatom.STRING, 8,
                      socket.gethostname().encode())
    if "reenable" in flags:
        w.change_attributes(event_mask=MASK | X.PropertyChangeMask)
    if "maximized" in flags:
        w.change_property(desk.atom("_NET_WM_STATE"), Xatom.ATOM, 32, MAXIMIZED)
    iconic = "minimized" in flags and "maximized" not in flags
    if iconic:
        w.set_wm_hints(flags=1 | 2, input=1, initial_state=Xutil.IconicState)
    if not hidden:
        until_viewable(wid, iconic)
    if "minimized" in flags and "maximized" in flags and managed():
        # minimized once it has been shown maximized, as a user would
        desk.root.send_event(event.ClientMessage(window=w, client_type=desk.atom(
            "WM_CHANGE_STATE"), data=(32, [Xutil.IconicState, 0, 0, 0, 0])),
            event_mask=X.SubstructureNotifyMask | X.SubstructureRedirectMask)
        # i3 minimizes nothing: after a while, the window is as it left it
        deadline = time.monotonic() + 10
        while desk.wm_state(wid) != Xutil.IconicState and time.monotonic() < deadline:
            time.sleep(0.002)
    if "focus" in flags:
        w.set_input_focus(X.RevertToParent, X.CurrentTime)
    desk.set_title(w, title)
    desk.d.sync()
    return "created %d" % (len(windows) - 1)


def state(wid):
    cls = desk._ask(desk.window(wid).get_wm_class)
    title = desk.prop(wid, "_NET_WM_NAME")
    if cls is None or title is None:
        return "gone"
    return "%s\t%s\tvisible=%d\tenabled=%d" % (
        cls[1], title.decode("latin-1"), desk.map_state(wid) == X.IsViewable,
        not desk.shields(wid))


def input_region(wid):
    """The window's input region; "whole" while it is the default, the
    window's own rectangle, which a manager may resize at any time (read
    with the size in one grab)."""
    w = desk.window(wid)
    desk.d.grab_server()
    try:
        r = w.shape_get_rectangles(shape.SK.Input).rectangles
        g = w.get_geometry()
    finally:
        desk.d.ungrab_server()
        desk.d.sync()
    boxes = [(x.x, x.y, x.width, x.height) for x in r]
    b = g.border_width
    if boxes == [(-b, -b, g.width + 2 * b, g.height + 2 * b)]:
        return "whole"
    return ";".join("%d,%d,%d,%d" % box for box in boxes)


def input_state(i, wid):
    hints, protocols = desk.prop(wid, "WM_HINTS"), desk.prop(wid, "WM_PROTOCOLS")
    return "%d region=%s hints=%s protocols=%s shields=%d" % (
        i, input_region(wid), "%d:%d" % tuple(hints[:2]) if hints is not None else "none",
        ",".join(map(str, protocols)) if protocols is not None else "none", len(desk.shields(wid)))


def look(wid):
    seen = state(wid)
    if seen == "gone":
        return seen
    return "%s\tminimized=%d\tmaximized=%d\tactive=%d" % (
        seen, desk.wm_state(wid) == 3,
        set(MAXIMIZED) <= set(desk.prop(wid, "_NET_WM_STATE") or []), desk.has_focus(wid))


def answer_message(e):
    """A request to close, unless the window asks first; a ping goes back to
    the root, which tells the sender everything before it has been done."""
    kind = e.data[1][0]
    if kind == desk.atom("WM_DELETE_WINDOW") and "asks" not in flags_of.get(e.window.id, {}):
        desk.destroy(e.window.id)
    elif kind == desk.atom("_NET_WM_PING"):
        desk.root.send_event(event.ClientMessage(window=desk.root, client_type=e.client_type,
                                                 data=e.data),
                             event_mask=X.SubstructureNotifyMask | X.SubstructureRedirectMask)
        desk.d.flush()


def undo(e):
    """What a program that will not be disabled or hidden does: it takes
    back what wincue did as soon as it hears of it."""
    wid, flags = e.window.id, flags_of.get(e.window.id, {})
    if e.type == X.PropertyNotify and "reenable" in flags and e.state == X.PropertyNewValue and \
            e.atom == desk.atom("_WINCUE_SAVED_INPUT"):
        for shield in desk.shields(wid):
            desk.window(shield).destroy()
        desk.window(wid).delete_property(e.atom)
        desk.window(wid).set_wm_hints(flags=1, input=1)
    elif e.type == X.UnmapNotify and "reshow" in flags and e.window.id == e.event.id:
        desk.window(wid).map()
    desk.d.flush()


def take_events():
    while desk.d.pending_events():
        e = desk.d.next_event()
        if e.type == X.MapNotify:
            mapped.add(e.window.id)
        if e.type in (X.ButtonPress, X.KeyPress) and e.window.id in windows:
            events.append("%s %d" % ("button" if e.type == X.ButtonPress else "key",
                                     windows.index(e.window.id)))
        elif e.type == X.ClientMessage and e.window.id in windows:
            answer_message(e)
        elif e.type in (X.PropertyNotify, X.UnmapNotify) and e.window.id in windows:
            undo(e)


def act(do, said):
    """A command on window ID that does do(its id, the rest), then says so."""
    def done(number, *rest):
        do(windows[int(number)], *rest)
        desk.d.sync()
        return "%s %s" % (said, number)
    return done


ACTS = dict(create=((2, 3), create), show=((1,), act(until_viewable, "shown")),
            close=((1,), act(desk.destroy, "closed")),
            title=((2,), act(lambda wid, text: desk.set_title(desk.window(wid), text), "titled")))
LISTS = dict(ids=lambda: ["0x%08x" % wid for wid in windows],
             state=lambda: [state(wid) for wid in windows],
             look=lambda: [look(wid) for wid in windows],
             input=lambda: [input_state(i, wid) for i, wid in enumerate(windows)])
reply("ready")
while True:
    ready, _, _ = select.select([sys.stdin, desk.d.fileno()], [], [])
    take_events()
    if sys.stdin in ready and not serve(sys.stdin.readline(), ACTS, LISTS,
                                        lambda: desk.d.sync() or take_events()):
        break
