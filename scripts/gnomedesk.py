"""GNOME Shell as the tests see it from outside, over the session bus:
  - the shell's own window list (org.gnome.Shell.Introspect), which answers
    a caller owning a name of the desktop portal: the title, class, whether
    a window is hidden (minimized) and whether it has the focus;
  - real input (org.gnome.Mutter.RemoteDesktop): a virtual pointer and
    keyboard the shell routes as it routes a user's, through its picking,
    key bindings and focus;
  - wincue's extension (org.wincue.Shell), which answers only the user of
    the session: what it marks disabled, and its commands.
"""
import time

from gi.repository import Gio, GLib

from world import wait_until

INTROSPECT = ("org.gnome.Shell.Introspect", "/org/gnome/Shell/Introspect",
              "org.gnome.Shell.Introspect")
SHELL = ("org.gnome.Shell", "/org/gnome/Shell", "org.gnome.Shell")
REMOTE = ("org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop",
          "org.gnome.Mutter.RemoteDesktop")
SESSION = "org.gnome.Mutter.RemoteDesktop.Session"
IDLE = ("org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core",
        "org.gnome.Mutter.IdleMonitor")
EXTENSION = ("org.wincue.Shell", "/org/wincue/Shell", "org.wincue.Shell")
# Introspect answers the desktop portals; a test owning the name is one.
PORTAL = "org.freedesktop.impl.portal.desktop.gtk"
SCREEN = (1280, 800)  # the world's virtual monitor
BTN_LEFT = 0x110
KEYSYMS = {"Shift_L": 0xffe1, "Alt_L": 0xffe9, "Super_L": 0xffeb, "Tab": 0xff09, "Return": 0xff0d,
           "Left": 0xff51, "Right": 0xff53}


def record(r):
    """A record of wincue's extension as a dict."""
    return dict(zip(("id", "name", "cls", "pid", "hidden", "maximized", "disabled"), r))


class GnomeDesk:
    SCREEN = SCREEN

    def __init__(self, address=None):
        self.bus = (Gio.DBusConnection.new_for_address_sync(
            address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
            Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
            if address else Gio.bus_get_sync(Gio.BusType.SESSION, None))
        self.session = None

    def close(self):
        self.bus.close_sync(None)

    def call(self, where, method, args=None, reply="()", path=None):
        return self.bus.call_sync(where[0], path or where[1], where[2], method, args,
                                  GLib.VariantType(reply), Gio.DBusCallFlags.NONE, 5000,
                                  None).unpack()

    def owned(self, name):
        return self.call(("org.freedesktop.DBus", "/org/freedesktop/DBus",
                          "org.freedesktop.DBus"), "NameHasOwner", GLib.Variant("(s)", (name,)),
                         "(b)")[0]

    # -- the shell's own view ----------------------------------------------

    def windows(self):
        """{id: window} for every window the shell lists: name, cls, hidden,
        focus."""
        found = self._introspect()
        if found is None:
            # Takes the name from any other reader: the shell admits its
            # owner only, once it has heard who that is.
            self.call(("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus"),
                      "RequestName", GLib.Variant("(su)", (PORTAL, 3)), "(u)")
            found = wait_until(lambda: self._introspect(), 10,
                               "the shell to admit the portal's name")
        return {i: dict(name=w.get("title", ""), cls=w.get("wm-class", ""), hidden=w["is-hidden"],
                        focus=w["has-focus"], width=w["width"]) for i, w in found[0].items()}

    def _introspect(self):
        """The shell's answer in a list, or None when it refuses."""
        try:
            return [self.call(INTROSPECT, "GetWindows", reply="(a{ta{sv}})")[0]]
        except GLib.Error as e:
            if "AccessDenied" not in e.message:
                raise
            return None

    def screenshot(self, path):
        """The screen as a PNG at path (which the shell writes)."""
        self.windows()  # the shell takes the picture for a portal too
        return self.call(("org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot",
                          "org.gnome.Shell.Screenshot"), "Screenshot",
                         GLib.Variant("(bbs)", (False, False, str(path))), "(bs)")

    def focused(self):
        return next((i for i, w in self.windows().items() if w["focus"]), None)

    def overview(self, shown=None):
        """Whether the overview is shown; with shown, shows or hides it."""
        where = ("org.gnome.Shell", "/org/gnome/Shell", "org.freedesktop.DBus.Properties")
        if shown is None:
            return self.call(where, "Get", GLib.Variant("(ss)", ("org.gnome.Shell",
                                                                 "OverviewActive")), "(v)")[0]
        self.call(where, "Set", GLib.Variant("(ssv)", ("org.gnome.Shell", "OverviewActive",
                                                       GLib.Variant("b", shown))))

    # -- real input --------------------------------------------------------

    def _input(self, method, args):
        if self.session is None:
            self.session = self.call(REMOTE, "CreateSession", reply="(o)")[0]
            self.call(REMOTE[:1] + (None, SESSION), "Start", path=self.session)
            # The shell takes in a new virtual device a moment after: what
            # comes before is lost. Input it has taken resets its idle time.
            for probe in [("NotifyKeyboardKeysym", ("(ub)", (keysym, pressed)))
                          for keysym in (KEYSYMS["Shift_L"], ord("x")) for pressed in (1, 0)] + [
                    ("NotifyPointerMotionRelative", ("(dd)", (1, 0)))]:
                wait_until(lambda: self._taken(*probe), 20, "the shell to take virtual input")
        self.call(REMOTE[:1] + (None, SESSION), method, GLib.Variant(*args), path=self.session)

    def _taken(self, method, args):
        """Sends input; whether the shell took it within a moment."""
        sent = time.monotonic()
        self.call(REMOTE[:1] + (None, SESSION), method, GLib.Variant(*args), path=self.session)
        deadline = time.monotonic() + 0.5
        while time.monotonic() < deadline:
            idle = self.call(IDLE, "GetIdletime", reply="(t)")[0]
            if idle <= (time.monotonic() - sent) * 1000:
                return True
            time.sleep(0.005)
        return False

    def move(self, x, y):
        """The pointer to (x, y), from the bottom right corner: the top left
        one is the shell's hot corner."""
        self._input("NotifyPointerMotionRelative", ("(dd)", (SCREEN[0] * 2, SCREEN[1] * 2)))
        self._input("NotifyPointerMotionRelative", ("(dd)", (x - SCREEN[0] + 1,
                                                             y - SCREEN[1] + 1)))

    def click(self, x, y):
        self.move(x, y)
        for pressed in (True, False):
            self._input("NotifyPointerButton", ("(ib)", (BTN_LEFT, pressed)))

    def key(self, name, pressed=None):
        keysym = KEYSYMS.get(name, ord(name[0]))
        for state in ((True, False) if pressed is None else (pressed,)):
            self._input("NotifyKeyboardKeysym", ("(ub)", (keysym, state)))

    def ready(self):
        """Makes the virtual devices, before any window can take their input."""
        self._input("NotifyPointerMotionRelative", ("(dd)", (0, 0)))

    def type(self, text):
        for c in text:
            self.key(c)

    def alt_tab(self):
        self.key("Alt_L", True)
        self.key("Tab")
        self.key("Alt_L", False)

    def tile(self, side):
        """Super+Left or Super+Right: the focused window fills that half."""
        self.key("Super_L", True)
        self.key(side)
        self.key("Super_L", False)

    # -- wincue's extension ------------------------------------------------

    def extension(self, method, *args, deadline=0):
        """A method of wincue's extension called with args, and with the
        deadline (microseconds on the monotonic clock, 0: none) of the
        methods that change a window; its answer."""
        types = {"GetVersion": ("()", "(u)"), "Register": ("()", "()"),
                 "GetWindows": ("(t)", "(a(tssibbb)b)"), "GetStacking": ("()", "(at)"),
                 "GetActive": ("()", "(t)"), "SetMinimized": ("(tbx)", "(bb)"),
                 "SetEnabled": ("(atbx)", "(a(bb))"), "SetMaximized": ("(tbx)", "(bb)"),
                 "Activate": ("(tx)", "(b)"), "Close": ("(tx)", "(b)")}[method]
        if types[0].endswith("x)"):
            args += (deadline,)
        return self.call(EXTENSION, method, GLib.Variant(types[0], args) if args else None,
                         types[1])

    def marked(self):
        """{id: record} as wincue's extension has them, every page."""
        found, after, more = {}, 0, True
        while more:
            page, more = self.extension("GetWindows", after)
            for r in page:
                found[r[0]] = record(r)
                after = r[0]
        return found
