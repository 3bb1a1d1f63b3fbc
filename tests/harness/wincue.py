"""Runs a wincue build on a script in a directory of its own."""
import os
import subprocess
import tempfile
import time
from pathlib import Path

from world import BUILD, stop_pid


class Target:
    """One build of wincue: "host" runs build/host/wincue, "wine" runs
    the Windows build under Wine in the given world."""

    def __init__(self, name, world=None, host_binary=None):
        self.name = name
        self.world = world
        if name == "host":
            binary = host_binary or os.environ.get("WINCUE_HOST") or BUILD / "host" / "wincue"
            self.argv = [str(binary)]
            self.env = dict(world.env) if world else dict(os.environ)
        else:
            self.argv = world.windows_exe("wincue.exe")
            self.env = world.env

    def expected(self, text):
        """The bytes a run must print for text written with "\\n" line ends:
        the Microsoft runtime writes CR LF."""
        b = text.encode("latin-1")
        return b.replace(b"\n", b"\r\n") if self.name == "wine" else b

    def run(self, cwd, timeout=60):
        """Runs to the end; a run still going after timeout seconds is
        ended and reported with status None."""
        try:
            r = subprocess.run(self.argv, cwd=cwd, env=self.env, stdin=subprocess.DEVNULL,
                               capture_output=True, timeout=timeout)
        except subprocess.TimeoutExpired as e:
            return None, e.stdout or b""
        return r.returncode, r.stdout

    def run_to_exit(self, cwd, timeout=60):
        """Like run, but ends at wincue's exit, not at the end of its output:
        a program it started may hold the same output open. Output goes to a
        file, read once wincue has exited."""
        out = Path(cwd) / "wincue.out"
        with open(out, "wb") as f:
            p = subprocess.Popen(self.argv, cwd=cwd, env=self.env, stdin=subprocess.DEVNULL,
                                 stdout=f, stderr=subprocess.DEVNULL)
            try:
                status = p.wait(timeout)
            except subprocess.TimeoutExpired:
                stop_pid(p.pid)
                status = None
        return status, out.read_bytes()

    def program_path(self, name):
        """How a Cmd line names one of our test programs on this build."""
        if self.name == "host":
            return str(BUILD / "host" / "tests" / name)
        return "Z:" + str(self.world.windows_build / "tests" / (name + ".exe")).replace("/", "\\")

    def start(self, cwd):
        return subprocess.Popen(self.argv, cwd=cwd, env=self.env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

    def run_until(self, cwd, want, timeout=30):
        """Starts wincue, reads its output until it holds `want` (or the
        time is up), then ends it from outside. Returns all it wrote."""
        p = self.start(cwd)
        got = b""
        deadline = time.monotonic() + timeout
        os.set_blocking(p.stdout.fileno(), False)
        while not got.startswith(want) and time.monotonic() < deadline:
            chunk = p.stdout.read()
            if chunk:
                got += chunk
            elif p.poll() is not None:
                break
            else:
                time.sleep(0.005)
        stop_pid(p.pid)
        rest = p.stdout.read()
        return got + (rest or b"")


def script_dir(root, config):
    """A fresh directory holding config (bytes, or None for no file)."""
    d = Path(tempfile.mkdtemp(prefix="case-", dir=root))
    if config is not None:
        (d / "config.ini").write_bytes(config)
    return d
