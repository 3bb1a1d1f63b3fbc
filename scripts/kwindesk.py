"""KWin as the tests see it from outside, over its own D-Bus interfaces (no
script of wincue's): its windows runner lists every window, minimized ones
included, getWindowInfo gives a window's title as the window set it, its
class, place and whether it is minimized, and the runner's minimize action
toggles that; whether KWin holds wincue's shield for a window; and small
scripts of the tests' own that activate or move a window."""
import os
import tempfile
import time

from gi.repository import Gio, GLib

SCRIPTING = ("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting")
RUNNER = ("org.kde.KWin", "/WindowsRunner", "org.kde.krunner1")
KWIN = ("org.kde.KWin", "/KWin", "org.kde.KWin")
MINIMIZE = 2  # the runner's action number, before the window's id in a match id


# A script that does something to the window of a UUID (w), then unloads
# itself.
ON_WINDOW = """var six = workspace.windowList !== undefined;
var list = six ? workspace.windowList() : workspace.clientList();
for (var i = 0; i < list.length; i++) {
    var w = list[i];
    if (String(w.internalId) == "%s") {
        %s
    }
}
callDBus("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting", "unloadScript", "%s");
"""


def window_id(uuid):
    """The id wincue gives a KWin window: the first 64 bits of its UUID, the
    top one set when the first 32 are zero."""
    value = int(uuid.strip("{}").replace("-", "")[:16], 16)
    return value if value >> 32 else value | 1 << 63


def script_of(bus_name):
    """The name of the script a run on that unique bus name has KWin load."""
    return "wincue-" + bus_name[1:]


class KWinDesk:
    def __init__(self, address=None):
        self.bus = (Gio.DBusConnection.new_for_address_sync(
            address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
            Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
            if address else Gio.bus_get_sync(Gio.BusType.SESSION, None))

    def close(self):
        self.bus.close_sync(None)

    def watch(self):
        """From now on, notes the unique name of every connection made to the
        bus (runs() gives them)."""
        self.joined = []
        self.bus.signal_subscribe(
            "org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged", None, None,
            Gio.DBusSignalFlags.NONE,
            lambda *a: a[5][0].startswith(":") and a[5][2] and self.joined.append(a[5][0]))

    def runs(self):
        """The names of the scripts that the connections made since watch()
        would have KWin load, were they runs of wincue: the bus tells every
        connection before it answers a call made after it."""
        self.call(("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus"),
                  "GetId", None, "(s)")
        while GLib.MainContext.default().iteration(False):
            pass
        return [script_of(name) for name in self.joined]

    def call(self, where, method, args, reply):
        return self.bus.call_sync(where[0], where[1], where[2], method, args,
                                  GLib.VariantType(reply), Gio.DBusCallFlags.NONE, 5000,
                                  None).unpack()

    def loaded(self, name):
        """Whether KWin has a script of that name loaded."""
        return self.call(SCRIPTING, "isScriptLoaded", GLib.Variant("(s)", (name,)), "(b)")[0]

    def scripting(self):
        """True once KWin's scripting interface answers."""
        try:
            self.loaded("wincue-probe")
            return True
        except GLib.Error:
            return False

    def disabled(self, uuid):
        """Whether wincue has disabled the window: KWin holds the script that
        keeps its input away."""
        return self.loaded("wincue-off-" + uuid)

    def on_window(self, uuid, code):
        """Runs code on the window (w) in a KWin script of our own; returns
        once the script has (it unloads itself then)."""
        name = "wct-script-%d" % os.getpid()
        # KWin runs as another user: the shared temporary folder, not the
        # session's runtime folder, which may be its user's alone.
        with tempfile.NamedTemporaryFile("w", suffix=".js", delete=False) as f:
            f.write(ON_WINDOW % (uuid, code, name))
        os.chmod(f.name, 0o644)
        try:
            self.call(SCRIPTING, "loadScript", GLib.Variant("(ss)", (f.name, name)), "(i)")
            self.call(SCRIPTING, "start", None, "()")
            deadline = time.monotonic() + 10
            while self.loaded(name) and time.monotonic() < deadline:
                time.sleep(0.005)
        finally:
            os.unlink(f.name)

    def activate(self, uuid):
        """Activates the window as a KWin script does."""
        self.on_window(uuid, "if (six) workspace.activeWindow = w; else workspace.activeClient = w;")

    def place(self, uuid, x, y, width, height):
        self.on_window(uuid, "w.frameGeometry = {x: %d, y: %d, width: %d, height: %d};" % (
            x, y, width, height))

    def major(self):
        """KWin's major version: 5 or 6."""
        info = self.call(KWIN, "supportInformation", None, "(s)")[0]
        return int(info.split("KWin version: ", 1)[1].split(".", 1)[0])

    def uuids(self):
        return [m[0].split("_", 1)[1] for m in self.call(
            RUNNER, "Match", GLib.Variant("(s)", ("window",)), "(a(sssida{sv}))")[0]]

    def windows(self):
        """{id: window} for every window: uuid, name, cls, hidden (minimized),
        at (x, y, width, height of its frame), skip (kept out of the task
        switcher), maximized."""
        found = {}
        for uuid in self.uuids():
            try:
                info = self.call(KWIN, "getWindowInfo", GLib.Variant("(s)", (uuid,)),
                                 "(a{sv})")[0]
            except GLib.Error:
                continue  # gone meanwhile
            if info:
                found[window_id(uuid)] = dict(uuid=uuid, name=info["caption"],
                                              cls=info["resourceClass"],
                                              hidden=info["minimized"],
                                              at=(info["x"], info["y"], info["width"],
                                                  info["height"]),
                                              skip=info["skipSwitcher"],
                                              maximized=info["maximizeHorizontal"] and
                                              info["maximizeVertical"])
        return found

    def toggle_minimized(self, uuid):
        self.call(RUNNER, "Run", GLib.Variant("(ss)", ("%d_%s" % (MINIMIZE, uuid), "")), "()")
