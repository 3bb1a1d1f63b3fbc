"""Worlds for the demo, the benchmarks and the tests: a private Xvfb,
optionally a window manager and a Wine prefix, or a headless Wayland
compositor (sway, KWin, GNOME Shell); and started programs read
with deadlines. Every process is started here and ended by its PID; every
wait is on something observed.
"""
import glob
import os
import select
import shutil
import signal
import subprocess
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
BUILD = Path(os.environ.get("WINCUE_BUILD", ROOT / "build"))
WINE32, WINE64 = "/usr/lib/wine/wine", "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver64"
# How long to wait for a program to answer or end. Runs take under a second
# here, but under Wine an Enable of every window waits up to 10 s on Wine's
# own service windows; twice that still lets a fault (a Find that never ends)
# fail the suite in minutes.
DEADLINE = 20


# -- processes ------------------------------------------------------------------

def stop_pid(pid, timeout=5.0):
    """Ends one process we started: SIGTERM, then SIGKILL if it lingers."""
    try:
        os.kill(pid, signal.SIGTERM)
    except ProcessLookupError:
        return
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            if os.waitpid(pid, os.WNOHANG)[0]:
                return
        except ChildProcessError:  # not our child: watch it go
            try:
                os.kill(pid, 0)
            except ProcessLookupError:
                return
        time.sleep(0.01)
    try:
        os.kill(pid, signal.SIGKILL)
        os.waitpid(pid, 0)
    except (ProcessLookupError, ChildProcessError):
        pass


def wait_until(check, timeout, what):
    """Polls check() until it gives a true value, and returns it."""
    deadline = time.monotonic() + timeout
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TimeoutError("timed out waiting for " + what)
        time.sleep(0.01)


class Child:
    """A started program whose standard output is read with deadlines."""

    def __init__(self, argv, env=None, cwd=None, stdin=subprocess.DEVNULL, **kw):
        self.p = subprocess.Popen(argv, env=env, cwd=cwd, stdin=stdin, stdout=subprocess.PIPE,
                                  stderr=kw.pop("stderr", subprocess.DEVNULL), **kw)
        self.out, self.ended = b"", False

    def read(self, done=lambda out: False, timeout=DEADLINE):
        """Reads until done(output) holds or the output ends; whether it holds."""
        deadline = time.monotonic() + timeout
        fd = self.p.stdout.fileno()
        while not done(self.out) and not self.ended:
            ready, _, _ = select.select([fd], [], [], max(0, deadline - time.monotonic()))
            if not ready:
                break
            chunk = os.read(fd, 65536)
            self.out += chunk
            self.ended = not chunk
        return done(self.out)

    def line(self, timeout=DEADLINE):
        """The next line, without its line end."""
        if not self.read(lambda out: b"\n" in out, timeout):
            raise TimeoutError("no line from %s; got %r" % (self.p.args, self.out))
        text, self.out = self.out.split(b"\n", 1)
        return text.rstrip(b"\r").decode("utf-8", "replace")

    def wait(self, timeout=DEADLINE):
        """Reads to the exit; the status, or None (and ended) when it ran on."""
        deadline = time.monotonic() + timeout
        while self.p.poll() is None and time.monotonic() < deadline:
            self.read(timeout=0.01)
        self.read(timeout=0)
        if self.p.poll() is None:
            self.stop()
            return None
        return self.p.returncode

    def stop(self):
        stop_pid(self.p.pid)
        self.p.stdout.close()
        if self.p.stderr:
            self.p.stderr.close()


# -- worlds ---------------------------------------------------------------------

def absent(manager):
    """Why a world of that manager cannot start here, or None."""
    if manager == "labwc" and not shutil.which("labwc"):
        return "no labwc here: Debian packages it from Debian 13 on"
    return None


def can_run_32bit():
    """Some kernels and sandboxes refuse 32-bit code, and 32-bit Wine with it."""
    try:
        return subprocess.run([WINE32, "--version"], capture_output=True, timeout=30).returncode == 0
    except OSError:
        return False


# How each window manager is started; a config of its own keeps it quiet
# (no first-run wizard, no placement by hand).
MANAGER_COMMANDS = {
    "openbox": ["openbox"],
    "icewm": ["icewm"],
    "twm": ["twm", "-f", "{conf}"],
    "i3": ["i3", "-c", "{conf}"],
    "metacity": ["dbus-run-session", "--", "metacity", "--no-composite"],
}
MANAGERS = ["none"] + list(MANAGER_COMMANDS)
CONFIGS = {"twm": "RandomPlacement\nUsePPosition \"on\"\n", "i3": "# defaults\n"}

# Compositors run as this unprivileged user: sway refuses root.
NOBODY = 65534
# XWayland started with sway and kept: sway 1.10 starts it on demand with
# -terminate 10, and a new one, after 10 s without clients, would no longer
# admit root.
SWAY_CONFIG = ("output HEADLESS-1 resolution 1280x800\ndefault_border none\n"
               "focus_follows_mouse no\nxwayland force\n")
# The session bus of a KWin world: root (the tests) and nobody (KWin) both
# connect to it.
KWIN_BUS = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>session</type><listen>unix:path=%s</listen><auth>EXTERNAL</auth>
<policy context="default"><allow user="*"/><allow send_destination="*" eavesdrop="true"/>
<allow eavesdrop="true"/><allow own="*"/></policy></busconfig>
"""
MENU = """<Menu><Name>Applications</Name><DefaultAppDirs/><Include><All/></Include></Menu>
"""
# A system bus of nobody's own: GNOME Shell dies at its start without one,
# where it looks for logind, whose absence it takes calmly.
SYSTEM_BUS = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>system</type><listen>unix:path=%s</listen><auth>EXTERNAL</auth>
<policy context="default"><allow user="*"/><allow send_destination="*"/><allow receive_sender="*"/>
<allow own="*"/>
</policy></busconfig>
"""
# What a GNOME world's user has set before the shell starts: every window
# opens centred on the screen, where a test clicks it, and nothing animates.
GNOME_SETTINGS = [("org.gnome.mutter", "center-new-windows", "true"),
                  ("org.gnome.desktop.interface", "enable-animations", "false")]
AS_NOBODY = ["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY, "--clear-groups"]
ADMIT_ROOT = ("from Xlib import X, display\nd = display.Display()\n"
              "d.change_hosts(X.HostInsert, 5, b'localuser\\0root')\nd.sync()\n")


# -- what another user runs -----------------------------------------------------

def readable_copy(folder, owner=NOBODY):
    """Copies, owned by owner, of what a world's other user runs of ours: the
    program with what it finds beside it (its modules, the GNOME extension),
    the test programs a Cmd starts, and the Python of the window programs and
    probes, laid out as in the checkout. That user may not pass through the
    folders above the checkout (a home is mode 700). The copy's root."""
    folder = Path(folder)
    host = BUILD / "host"
    copies = [(f, folder / "build" / f.relative_to(BUILD)) for f in (
        [f for f in host.iterdir() if f.is_file() and os.access(f, os.X_OK)] +
        [f for f in (host / "tests").iterdir() if f.is_file() and os.access(f, os.X_OK) and
         not f.name.endswith("_test")] +  # unit tests: ctest runs those
        [f for f in (host / "gnome-shell").rglob("*") if f.is_file()])]
    copies += [(f, folder / f.relative_to(ROOT)) for d in ("scripts", "tests/actions")
               for f in (ROOT / d).glob("*.py")]
    for source, copy in copies:
        copy.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy(source, copy)
    for path in [folder] + list(folder.rglob("*")):
        os.chown(path, owner, owner)
    return folder


class World:
    """A private Xvfb, optionally a window manager and a Wine prefix; or, with
    manager "sway", a headless sway and the XWayland display it offers."""

    def __init__(self, directory, manager=None, wine=False):
        self.dir, self.manager, self.wine = Path(directory), manager, wine
        self.pids = []
        self.user = []  # how to run a program as the session's user, when not root
        # The checkout and the build as that user reaches them.
        self.root, self.build = ROOT, BUILD
        self.desk = None  # GNOME: the tests' connection, and its virtual devices
        self.runtime = None  # a compositor's runtime directory, which we remove
        self.env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        self.wine_loader = self.windows_build = None
        self.input_program = None  # a KWin world's kwin_input, when built

    def start(self):
        self.dir.mkdir(parents=True, exist_ok=True)
        try:
            if self.manager == "sway":
                self._start_sway()
                return self
            if self.manager == "kwin":
                self._start_kwin()
                return self
            if self.manager == "gnome":
                self._start_gnome()
                return self
            if self.manager == "labwc":
                self._start_labwc()
                return self
            self._start_xvfb()
            if self.manager:
                self._start_manager()
            if self.wine:
                self._start_wine()
        except BaseException:
            self.stop()
            raise
        return self

    def spawn(self, argv, log, env_override=None, **kw):
        with open(self.dir / log, "ab") as f:
            p = subprocess.Popen(argv, env=env_override or self.env, start_new_session=True,
                                 stdout=f, stderr=f,
                                 stdin=subprocess.DEVNULL, **kw)
        self.pids.append(p.pid)
        return p

    def _start_xvfb(self):
        r, w = os.pipe()
        self.spawn(["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24", "-nolisten",
                    "tcp", "-noreset"], "xvfb.log", pass_fds=(w,))
        os.close(w)
        got, deadline = b"", time.monotonic() + 60  # the number, then its line end
        while not got.endswith(b"\n") and select.select([r], [], [], max(0, deadline -
                                                                        time.monotonic()))[0]:
            chunk = os.read(r, 64)
            if not chunk:
                break
            got += chunk
        os.close(r)
        if not got.endswith(b"\n"):
            raise RuntimeError("Xvfb did not start; see %s" % (self.dir / "xvfb.log"))
        self.env["DISPLAY"] = ":" + got.decode().strip()

    def _start_sway(self):
        """As user nobody, in a runtime directory of its own outside ours (which
        nobody may not enter); ready once its IPC socket answers."""
        from swaydesk import SwayDesk
        self.runtime = Path(tempfile.mkdtemp(prefix="wincue-sway-"))
        (self.runtime / "home").mkdir()
        (self.runtime / "sway.conf").write_text(SWAY_CONFIG)
        for path in (self.runtime, self.runtime / "home", self.runtime / "sway.conf"):
            os.chown(path, NOBODY, NOBODY)
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": str(self.runtime / "home"),
               "XDG_RUNTIME_DIR": str(self.runtime), "WLR_BACKENDS": "headless",
               "WLR_LIBINPUT_NO_DEVICES": "1", "WLR_RENDERER": "pixman"}
        sway = self.spawn(["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY,
                           "--clear-groups", "sway", "-c", str(self.runtime / "sway.conf")],
                          "sway.log", env_override=env)

        def answering():
            if sway.poll() is not None:
                raise RuntimeError("sway ended; see %s" % (self.dir / "sway.log"))
            socks = glob.glob(str(self.runtime / "sway-ipc.*.sock"))
            shown = [p for p in glob.glob(str(self.runtime / "wayland-*")) if "." not in p]
            if not socks or not shown:
                return None
            try:
                SwayDesk(socks[0]).close()
            except OSError:
                return None
            return socks[0], os.path.basename(shown[0])
        sock, display = wait_until(answering, 60, "sway")
        # No session bus: without one a GTK program autolaunches its own
        # through XWayland's display, a process no test would end.
        self.env.update(XDG_RUNTIME_DIR=str(self.runtime), WAYLAND_DISPLAY=display,
                        SWAYSOCK=sock, DBUS_SESSION_BUS_ADDRESS="disabled:")
        # XWayland starts at a display sway locks in its own name just after
        # its IPC opens.
        self._admit_root(sway.pid, env)

    def _start_labwc(self):
        """labwc as nobody, with no configuration; ready once its socket
        offers the window list. XWayland, which labwc starts on demand and
        ends when its last client leaves, is kept by a client of nobody's."""
        from wlrdesk import WlrDesk
        env = self._nobody_runtime("wincue-labwc-")
        env.update(WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1", WLR_RENDERER="pixman")
        labwc = self._as_nobody(["labwc"], "labwc.log", env)

        def answering():
            if labwc.poll() is not None:
                raise RuntimeError("labwc ended; see %s" % (self.dir / "labwc.log"))
            shown = [p for p in glob.glob(str(self.runtime / "wayland-*")) if "." not in p]
            try:
                desk = WlrDesk(shown[0], self.runtime) if shown else None
            except OSError:
                return None
            desk and desk.close()
            return desk and desk.offered() and os.path.basename(shown[0])
        display = wait_until(answering, 60, "labwc's window list")
        self.env.update(XDG_RUNTIME_DIR=str(self.runtime), WAYLAND_DISPLAY=display,
                        WINCUE_COMPOSITOR="labwc", DBUS_SESSION_BUS_ADDRESS="disabled:",
                        XDG_CURRENT_DESKTOP="labwc:wlroots")  # as labwc sets for a session
        self._admit_root(labwc.pid, env, keep=True)

    def _nobody_runtime(self, prefix):
        """A runtime directory (also HOME) owned by nobody, outside ours,
        which nobody may not enter; the environment to run in it."""
        self.runtime = Path(tempfile.mkdtemp(prefix=prefix))
        (self.runtime / "home").mkdir()
        for path in (self.runtime, self.runtime / "home"):
            os.chown(path, NOBODY, NOBODY)
        return {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": str(self.runtime / "home"),
                "XDG_RUNTIME_DIR": str(self.runtime)}

    def _as_nobody(self, argv, log, env):
        return self.spawn(AS_NOBODY + argv, log, env_override=env)

    def _session_bus(self, env, config=KWIN_BUS, name="bus"):
        """A bus of nobody's (a session bus unless config says otherwise);
        its address."""
        bus = self.runtime / name
        (self.runtime / (name + ".conf")).write_text(config % bus)
        self._as_nobody(["dbus-daemon", "--nofork", "--config-file=%s" % (
            self.runtime / (name + ".conf"))], name + ".log", env)
        wait_until(lambda: bus.exists(), 60, "the bus " + name)
        return "unix:path=%s" % bus

    def _start_kwin(self):
        """kwin_wayland --virtual as nobody, on a session bus of its own; a
        copy of the binary, which carries a file capability that refuses a
        user switch. Ready once its scripting interface answers."""
        from kwindesk import KWinDesk
        env = self._nobody_runtime("wincue-kwin-")
        self._admit_fake_input()
        bus = self.runtime / "bus"
        (self.runtime / "bus.conf").write_text(KWIN_BUS % bus)
        shutil.copy("/usr/bin/kwin_wayland", self.runtime / "kwin_wayland")
        # KWin, not root, cannot make the X socket directory a fresh /tmp
        # lacks (a root's, or a booted system's before its tmpfiles ran):
        # without it, no XWayland.
        if not os.path.isdir("/tmp/.X11-unix"):
            os.mkdir("/tmp/.X11-unix")
            os.chmod("/tmp/.X11-unix", 0o1777)
        self._as_nobody(["dbus-daemon", "--nofork", "--config-file=%s" % (self.runtime /
                                                                          "bus.conf")],
                        "dbus.log", env)
        wait_until(lambda: bus.exists(), 60, "the session bus")
        env.update(DBUS_SESSION_BUS_ADDRESS="unix:path=%s" % bus, KWIN_COMPOSE="Q",
                   QT_QPA_PLATFORM="offscreen")
        kwin = self._as_nobody([str(self.runtime / "kwin_wayland"), "--virtual", "--xwayland",
                                "--socket", "wayland-1"], "kwin.log", env)
        desk = KWinDesk(env["DBUS_SESSION_BUS_ADDRESS"])

        def answering():
            if kwin.poll() is not None:
                raise RuntimeError("kwin_wayland ended; see %s" % (self.dir / "kwin.log"))
            return desk.scripting()
        wait_until(answering, 60, "KWin")
        self.env.update(XDG_RUNTIME_DIR=str(self.runtime), WAYLAND_DISPLAY="wayland-1",
                        DBUS_SESSION_BUS_ADDRESS=env["DBUS_SESSION_BUS_ADDRESS"],
                        WINCUE_COMPOSITOR="kwin", NO_AT_BRIDGE="1")
        self._admit_root(kwin.pid, env)

    def _admit_fake_input(self):
        """A copy of the tests' kwin_input that KWin lets send real input:
        declared by a .desktop file of KWin's user, written before KWin
        starts and reads the applications, and run as that user (KWin
        checks the binary through /proc, which it may read only for its
        own user's processes)."""
        built = BUILD / "host" / "tests" / "kwin_input"
        if not built.exists():
            return
        program = self.runtime / "kwin_input"
        shutil.copy(built, program)
        apps = self.runtime / "home" / ".local" / "share" / "applications"
        apps.mkdir(parents=True)
        (apps / "wincue-kwin-input.desktop").write_text(
            "[Desktop Entry]\nType=Application\nName=wincue test input\nExec=%s\nNoDisplay=true\n"
            "X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n" % program)
        # KDE Frameworks 6 list applications through the desktop's menu,
        # which Plasma has and a bare KWin lacks: a menu of all of them.
        menus = self.runtime / "home" / ".config" / "menus"
        menus.mkdir(parents=True)
        (menus / "applications.menu").write_text(MENU)
        for path in (program, apps.parent.parent, apps.parent, apps, menus.parent, menus):
            os.chown(path, NOBODY, NOBODY)
        self.input_program = program

    def _start_gnome(self):
        """gnome-shell --headless as nobody, on a session bus of its own and a
        private, empty system bus, with wincue's extension installed and
        enabled before the shell starts (by wincue, with no bus running), as
        a user does before logging in. Ready once the shell says it has
        started, the extension answers, and the shell, having shown the
        overview it starts in (where keys go to its search), has hidden it
        again."""
        from gi.repository import GLib
        from gnomedesk import GnomeDesk
        env = self._nobody_runtime("wincue-gnome-")
        self.root = readable_copy(self.runtime / "checkout")
        self.build = self.root / "build"
        with open(self.dir / "install.log", "ab") as log:
            for argv in ([str(self.build / "host" / "wincue"), "--install-gnome-extension"],
                         ["dbus-run-session", "--", "sh", "-c", "; ".join(
                             "gsettings set %s %s %s" % s for s in GNOME_SETTINGS)]):
                if subprocess.run(AS_NOBODY + argv, env=env, stdout=log, stderr=log,
                                  timeout=DEADLINE).returncode != 0:
                    log.close()  # what it said is why the world failed, also in CI
                    raise RuntimeError("%s failed: %s" % (argv[0], (
                        self.dir / "install.log").read_text(errors="replace")[-2000:]))
        env.update(DBUS_SESSION_BUS_ADDRESS=self._session_bus(env),
                   DBUS_SYSTEM_BUS_ADDRESS=self._session_bus(env, SYSTEM_BUS, "system_bus"),
                   NO_AT_BRIDGE="1")
        shell = self._as_nobody(["gnome-shell", "--headless", "--wayland", "--no-x11",
                                 "--virtual-monitor", "%dx%d" % (1280, 800)], "gnome-shell.log",
                                env)
        desk = GnomeDesk(env["DBUS_SESSION_BUS_ADDRESS"])

        def answering():
            if shell.poll() is not None:
                raise RuntimeError("gnome-shell ended; see %s" % (self.dir / "gnome-shell.log"))
            # Started: until then its startup animation holds the input
            # (and hiding the overview during it left every click lost, on
            # GNOME 48, in half the worlds).
            if b"GNOME Shell started at" not in (self.dir / "gnome-shell.log").read_bytes():
                return False
            if not desk.owned("org.wincue.Shell") or not (self.runtime / "wayland-0").exists():
                return False
            try:
                return desk.overview()
            except GLib.Error:  # its own interface comes a moment later
                return False
        try:
            wait_until(answering, 60, "GNOME Shell, wincue's extension and the overview")
            desk.overview(False)
            wait_until(lambda: not desk.overview(), 60, "the overview to go")
            desk.ready()
        except BaseException:
            desk.close()
            raise
        self.desk = desk  # its real input lives as long as the world
        self.env.update(XDG_RUNTIME_DIR=str(self.runtime), WAYLAND_DISPLAY="wayland-0",
                        HOME=env["HOME"], DBUS_SESSION_BUS_ADDRESS=env["DBUS_SESSION_BUS_ADDRESS"],
                        WINCUE_COMPOSITOR="gnome", NO_AT_BRIDGE="1")
        self.user = AS_NOBODY

    def _admit_root(self, compositor, env, keep=False):
        """The XWayland display the compositor locked in its own name, if it
        started one, opened to root (XWayland admits its own user only; this
        also starts one that waits for its first client); keep: kept up by a
        client of the compositor's user."""
        def xwayland():
            for lock in glob.glob("/tmp/.X*-lock"):
                try:
                    if int(Path(lock).read_text().strip(" \n\0")) == compositor:
                        return ":" + lock[len("/tmp/.X"):-len("-lock")]
                except (OSError, ValueError):
                    pass
            return None
        try:
            display = wait_until(xwayland, 30, "XWayland's display")
        except TimeoutError:
            return  # no free display: no XWayland windows
        if keep:
            self._as_nobody(["xprop", "-root", "-spy"], "xwayland-keeper.log",
                            dict(env, DISPLAY=display))
        subprocess.run(["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY,
                        "--clear-groups", "/usr/bin/python3", "-c", ADMIT_ROOT],
                       env=dict(env, DISPLAY=display), check=True, timeout=DEADLINE)
        self.env["DISPLAY"] = display

    def _start_manager(self):
        conf = self.dir / ("%s.conf" % self.manager)
        conf.write_text(CONFIGS.get(self.manager, ""))
        self.spawn([a.format(conf=conf) for a in MANAGER_COMMANDS[self.manager]], self.manager + ".log")
        # Ready once it manages a freshly mapped window; one mapped while the
        # manager starts up may stay unmanaged, so a slow probe is replaced.
        from xdesk import Desk
        desk, deadline = Desk(self.env["DISPLAY"]), time.monotonic() + 30
        try:
            while True:
                probe = desk.make_window("wincue-probe")
                try:
                    wait_until(lambda: desk.wm_state(probe) == 1, 1, "the probe")
                    return
                except TimeoutError:
                    if time.monotonic() > deadline:
                        raise TimeoutError("%s does not manage windows" % self.manager)
                finally:
                    desk.destroy(probe)
        finally:
            desk.close()

    def _start_wine(self):
        self.env.update(WINEPREFIX=str(self.dir / "prefix"), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.wine_loader, self.windows_build = ((WINE32, BUILD / "win32") if can_run_32bit()
                                                else (WINE64, BUILD / "win64"))
        (self.dir / "prefix").mkdir(exist_ok=True)
        # One persistent server keeps each Wine start quick.
        self.spawn([WINESERVER, "-f", "-p"], "wine.log")
        with open(self.dir / "wine.log", "ab") as log:
            status = subprocess.run([WINE64, "wineboot", "-i"], env=self.env, stdout=log,
                                    stderr=log, timeout=300).returncode
        if status != 0:  # the log goes with the failure: CI's roots do not outlive a run
            raise RuntimeError("wineboot -i ended with status %d; %s ends:\n%s" % (
                status, self.dir / "wine.log", (self.dir / "wine.log").read_text(
                    errors="replace")[-2000:]))

    def windows_exe(self, name):
        """Command that runs a program of the Windows build under Wine."""
        return [self.wine_loader, str(self.windows_build / name)]

    def stop(self):
        if self.desk:
            self.desk.close()
            self.desk = None
        if self.wine and self.env.get("WINEPREFIX"):
            subprocess.run([WINESERVER, "-k"], env=self.env, capture_output=True, timeout=30)
        for pid in reversed(self.pids):
            try:  # a manager may run under a session bus of its own
                os.killpg(pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
            stop_pid(pid)
            # What it forked and left behind goes too: once a copy sway
            # had forked stayed asleep in its group after sway ended.
            try:
                os.killpg(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        self.pids = []
        if self.runtime:
            shutil.rmtree(self.runtime, ignore_errors=True)
            self.runtime = None
