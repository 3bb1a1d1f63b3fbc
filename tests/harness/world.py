"""The world an end-to-end test runs in: a private Xvfb display, optionally a
window manager, and optionally a Wine prefix with a persistent wineserver.

A CTest fixture starts one world for the whole run (`world.py start DIR`)
and stops it at the end (`world.py stop DIR`); tests attach to it with
`World.attach()`. A test run alone starts its own world instead. Every
process is started here and ended by its PID.
"""
import json
import os
import select
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
BUILD = ROOT / "build"
WINE32 = "/usr/lib/wine/wine"
WINE64 = "/usr/lib/wine/wine64"
WINESERVER64 = "/usr/lib/wine/wineserver64"
DEFAULT_DIR = BUILD / "host" / "world"


def can_run_32bit_wine():
    """True where the 32-bit Wine loader can execute (some kernels and
    sandboxes refuse 32-bit code)."""
    try:
        r = subprocess.run([WINE32, "--version"], capture_output=True, timeout=30)
    except OSError:
        return False
    return r.returncode == 0


def wait_until(check, timeout, what):
    """Polls check() until it is true; raises after timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TimeoutError("timed out waiting for " + what)
        time.sleep(0.01)


def stop_pid(pid, timeout=5.0):
    """Ends one process we started: SIGTERM, then SIGKILL if it lingers."""
    try:
        os.kill(pid, signal.SIGTERM)
    except ProcessLookupError:
        return
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            done, _ = os.waitpid(pid, os.WNOHANG)
            if done:
                return
        except ChildProcessError:  # not our child: poll for it to go
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


class World:
    def __init__(self, directory, manager=None, wine=False):
        self.dir = Path(directory)
        self.manager = manager
        self.wine = wine
        self.pids = []
        self.env = dict(os.environ)
        self.env.pop("DISPLAY", None)
        self.wine_loader = None
        self.windows_build = None

    # -- starting -----------------------------------------------------------
    def start(self):
        self.dir.mkdir(parents=True, exist_ok=True)
        try:
            self._start_xvfb()
            if self.manager:
                self._start_manager()
            if self.wine:
                self._start_wine()
        except BaseException:
            self.stop()
            raise
        return self

    def _spawn(self, argv, **kw):
        p = subprocess.Popen(argv, env=self.env, start_new_session=True, **kw)
        self.pids.append(p.pid)
        return p

    def _start_xvfb(self):
        r, w = os.pipe()
        log = open(self.dir / "xvfb.log", "wb")
        self._spawn(["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24",
                     "-nolisten", "tcp", "-noreset"], pass_fds=(w,), stdout=log, stderr=log)
        os.close(w)
        # Xvfb writes the number, then the line end, and dies if the pipe
        # is closed in between: read the whole line.
        got = b""
        deadline = time.monotonic() + 20
        while not got.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([r], [], [], deadline - time.monotonic())
            chunk = os.read(r, 64) if ready else b""
            if not chunk:
                break
            got += chunk
        number = got.decode().strip() if got.endswith(b"\n") else ""
        os.close(r)
        if not number:
            raise RuntimeError("Xvfb did not start; see " + str(self.dir / "xvfb.log"))
        self.env["DISPLAY"] = ":" + number

    def _start_manager(self):
        log = open(self.dir / (self.manager + ".log"), "wb")
        self._spawn([self.manager], stdout=log, stderr=log)
        # A manager is ready once it manages a freshly mapped window. One
        # mapped while the manager starts up may stay unmanaged for good
        # (seen with openbox), so a probe that is not taken in soon is
        # replaced by a fresh one.
        deadline = time.monotonic() + 20
        while True:
            probe = self._spawn(["xmessage", "-name", "wincue-probe", "probe"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                wait_until(lambda: self._managed("wincue-probe"), 1, "the probe")
                return
            except TimeoutError:
                if time.monotonic() > deadline:
                    raise TimeoutError("timed out waiting for %s to manage windows"
                                       % self.manager)
            finally:
                stop_pid(probe.pid)
                self.pids.remove(probe.pid)

    def _managed(self, name):
        ids = subprocess.run(["xdotool", "search", "--classname", name], env=self.env,
                             capture_output=True, text=True).stdout.split()
        for wid in ids:
            out = subprocess.run(["xprop", "-id", wid, "WM_STATE"], env=self.env,
                                 capture_output=True, text=True).stdout
            if "Normal" in out:
                return True
        return False

    def _start_wine(self):
        self.env.update(WINEPREFIX=str(self.dir / "prefix"), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        if can_run_32bit_wine():
            self.wine_loader, self.windows_build = WINE32, BUILD / "win32"
        else:
            self.wine_loader, self.windows_build = WINE64, BUILD / "win64"
        log = open(self.dir / "wine.log", "wb")
        # One persistent server for the whole run keeps each Wine start quick.
        (self.dir / "prefix").mkdir(exist_ok=True)
        self._spawn([WINESERVER64, "-f", "-p"], stdout=log, stderr=log)
        subprocess.run([WINE64, "wineboot", "-i"], env=self.env, stdout=log, stderr=log,
                       check=True, timeout=300)

    # -- using --------------------------------------------------------------
    def windows_exe(self, name):
        """Command to run a program of the Windows build under Wine."""
        return [self.wine_loader, str(self.windows_build / name)]

    def save(self):
        state = dict(pids=self.pids, env={k: self.env[k] for k in self.env
                                          if k == "DISPLAY" or k.startswith("WINE")},
                     manager=self.manager, wine=self.wine, wine_loader=self.wine_loader,
                     windows_build=str(self.windows_build) if self.windows_build else None)
        (self.dir / "world.json").write_text(json.dumps(state))

    @classmethod
    def attach(cls, directory=None, manager=None, wine=False):
        """The fixture's world if one runs, else a new one of our own (the
        caller then stops it)."""
        d = Path(directory or os.environ.get("WINCUE_WORLD", DEFAULT_DIR))
        f = d / "world.json"
        if f.exists():
            state = json.loads(f.read_text())
            if (state["manager"] == manager and (state["wine"] or not wine)
                    and all(_alive(p) for p in state["pids"])):
                w = cls(d, state["manager"], state["wine"])
                w.env.update(state["env"])
                w.wine_loader = state["wine_loader"]
                w.windows_build = Path(state["windows_build"]) if state["windows_build"] else None
                w.owned = False
                return w
        w = cls(d / ("own-%d" % os.getpid()), manager, wine).start()
        w.owned = True
        return w

    # -- stopping -----------------------------------------------------------
    def stop(self):
        if self.wine and self.env.get("WINEPREFIX"):
            subprocess.run([WINESERVER64, "-k"], env=self.env, capture_output=True, timeout=30)
        for pid in reversed(self.pids):
            stop_pid(pid)
        self.pids = []

    def close(self):
        """Stops the world if this test started it."""
        if getattr(self, "owned", True):
            self.stop()


def _alive(pid):
    try:
        os.kill(pid, 0)
        return True
    except ProcessLookupError:
        return False


def main(argv):
    if len(argv) < 3 or argv[1] not in ("start", "stop"):
        sys.exit("usage: world.py start|stop DIR [--wine] [--manager NAME]")
    d = Path(argv[2])
    if argv[1] == "start":
        stop_saved(d)  # a run that was cut short may have left one behind
        manager = argv[argv.index("--manager") + 1] if "--manager" in argv else None
        w = World(d, manager, "--wine" in argv).start()
        w.save()
        print("world ready on", w.env["DISPLAY"], "wine:", w.wine_loader)
    else:
        stop_saved(d)


def stop_saved(d):
    f = d / "world.json"
    if f.exists():
        state = json.loads(f.read_text())
        w = World(d, state["manager"], state["wine"])
        w.env.update(state["env"])
        w.pids = state["pids"]
        w.stop()
        f.unlink()


if __name__ == "__main__":
    main(sys.argv)
