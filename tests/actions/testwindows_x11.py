"""testwindows_x11: the X11 twin of testwindows.cpp, with its line protocol,
so that one table of window cases runs on both desktops:

  (at start)                        -> ready
  create CLASS TITLE [FLAGS]        -> created ID      (IDs count from 0)
  state                             -> CLASS TITLE visible=0|1 enabled=0|1 ..., end
  show ID, close ID                 -> shown ID, closed ID
  title ID TITLE                    -> titled ID
  ids                               -> each window's id (0x and 8 hex digits), end
  quit, or the end of the input     -> exits; its windows go with it

FLAGS, a comma list: hidden, and on X11 also takefocus, nohints, focus (take
the focus once shown), at=X:Y:W:H, region=X:Y:W:H (an input region of its
own). X11 only: "input" answers ID region=... hints=... protocols=... per
window (what wincue's Enable must give back exactly), and "events" the clicks
and keys each window got since the last "events" (button ID, key ID), then end.
A shown window is "created" once viewable (framed, under a manager), its title
set last, as on Windows. enabled is 0 while a shield covers the window: a
child that swallows the clicks and keys landing on it ("input" counts them).
"""
import select
import sys
import time

from Xlib import X
from Xlib.ext import shape

sys.path.insert(0, __file__.rsplit("/", 3)[0] + "/scripts")
from xdesk import Desk  # noqa: E402

desk = Desk()
windows, events = [], []


def reply(text):
    sys.stdout.write(text + "\n")
    sys.stdout.flush()


def box(text):
    return tuple(int(n) for n in text.split(":"))


def until_viewable(wid):
    deadline = time.monotonic() + 10
    while desk.map_state(wid) != X.IsViewable and time.monotonic() < deadline:
        time.sleep(0.002)


def create(cls, title, flags=""):
    flags = dict(f.partition("=")[::2] for f in flags.split(",") if f)
    hidden = "hidden" in flags
    wid = desk.make_window(cls, None, not hidden, box(flags.get("at", "40:40:240:120")),
                           "nohints" not in flags, "takefocus" in flags,
                           box(flags["region"]) if "region" in flags else None)
    if not hidden:
        until_viewable(wid)
    w = desk.window(wid)
    if "focus" in flags:
        w.set_input_focus(X.RevertToParent, X.CurrentTime)
    desk.set_title(w, title)
    desk.d.sync()
    windows.append(wid)
    reply("created %d" % (len(windows) - 1))


def state(wid):
    cls = desk._ask(desk.window(wid).get_wm_class)
    title = desk.prop(wid, "_NET_WM_NAME")
    if cls is None or title is None:
        return "gone"
    return "%s\t%s\tvisible=%d\tenabled=%d" % (
        cls[1], title.decode("latin-1"), desk.map_state(wid) == X.IsViewable,
        not desk.shields(wid))


def input_state(i, wid):
    r = desk.window(wid).shape_get_rectangles(shape.SK.Input).rectangles
    hints = desk.prop(wid, "WM_HINTS")
    protocols = desk.prop(wid, "WM_PROTOCOLS")
    return "%d region=%s hints=%s protocols=%s shields=%d" % (
        i, ";".join("%d,%d,%d,%d" % (x.x, x.y, x.width, x.height) for x in r),
        "%d:%d" % tuple(hints[:2]) if hints is not None else "none",
        ",".join(map(str, protocols)) if protocols is not None else "none",
        len(desk.shields(wid)))


def take_events():
    while desk.d.pending_events():
        e = desk.d.next_event()
        if e.type in (X.ButtonPress, X.KeyPress) and e.window.id in windows:
            events.append("%s %d" % ("button" if e.type == X.ButtonPress else "key",
                                     windows.index(e.window.id)))


def command(fields):
    if fields[0] == "create" and 3 <= len(fields) <= 4:
        create(*fields[1:])
    elif fields[0] in ("show", "close") and len(fields) == 2:
        wid = windows[int(fields[1])]
        if fields[0] == "show":
            desk.window(wid).map()
            until_viewable(wid)
        else:
            desk.destroy(wid)
        desk.d.sync()
        reply("%s %s" % ("shown" if fields[0] == "show" else "closed", fields[1]))
    elif fields[0] == "title" and len(fields) == 3:
        desk.set_title(desk.window(windows[int(fields[1])]), fields[2])
        desk.d.sync()
        reply("titled " + fields[1])
    elif fields[0] == "ids":
        for wid in windows:
            reply("0x%08x" % wid)
        reply("end")
    elif fields[0] == "state":
        for wid in windows:
            reply(state(wid))
        reply("end")
    elif fields[0] == "input":
        for i, wid in enumerate(windows):
            reply(input_state(i, wid))
        reply("end")
    elif fields[0] == "events":
        desk.d.sync()
        take_events()
        for e in events:
            reply(e)
        events.clear()
        reply("end")
    else:
        reply("error unknown command")


reply("ready")
while True:
    ready, _, _ = select.select([sys.stdin, desk.d.fileno()], [], [])
    take_events()
    if sys.stdin in ready:
        line = sys.stdin.readline()
        if not line or line.strip() == "quit":
            break
        command(line.rstrip("\r\n").split("\t"))
