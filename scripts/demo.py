"""make demo: runs the bundled example script with wincue.exe under Wine on
a private virtual display, next to a watcher that reports, from outside,
what happens to the target program's window at each step. Screenshots of
the display at each change are saved under build/demo/.
"""
import os
import queue
import shutil
import subprocess
import sys
import threading
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "harness"))
from world import BUILD, World, stop_pid, wait_until  # noqa: E402

OUT = BUILD / "demo"


def follow(name, stream, lines):
    for raw in iter(stream.readline, b""):
        lines.put((time.monotonic(), name, raw.decode("latin-1").rstrip("\r\n")))
    lines.put((time.monotonic(), name, None))


def screenshot(world, n, label):
    if shutil.which("import"):
        words = "".join(c if c.isalnum() else "-" for c in label).strip("-")
        f = OUT / ("%02d-%s.png" % (n, "-".join(w for w in words.split("-") if w)))
        subprocess.run(["import", "-window", "root", str(f)], env=world.env,
                       capture_output=True, timeout=30)
        return f.name
    return None


def windows_demo():
    print("== wincue.exe under Wine: examples/config.ini on Notepad ==")
    world = World(OUT / "world", manager="openbox", wine=True).start()
    try:
        lines = queue.Queue()
        watch = subprocess.Popen(world.windows_exe("watch.exe") + ["Notepad"], env=world.env,
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        threading.Thread(target=follow, args=("window", watch.stdout, lines), daemon=True).start()
        first = lines.get(timeout=60)
        assert first[2] == "watching", first
        wincue = subprocess.Popen(world.windows_exe("wincue.exe"), cwd=ROOT / "examples",
                                  env=world.env, stdout=subprocess.PIPE,
                                  stdin=subprocess.DEVNULL)
        threading.Thread(target=follow, args=("wincue", wincue.stdout, lines),
                         daemon=True).start()
        # The end is wincue's exit, not the end of its output: the program
        # it started may hold the same pipe open.
        threading.Thread(target=lambda: lines.put((0, "exit", wincue.wait())),
                         daemon=True).start()
        start, shots, running = time.monotonic(), 0, True
        while running:
            t, who, text = lines.get(timeout=120)
            if who == "exit":
                running = False
                continue
            if text is None:
                continue
            note = ""
            if who == "window":
                shots += 1
                f = screenshot(world, shots, text)
                note = "   [screenshot build/demo/%s]" % f if f else ""
            print("%7.3f s  %-6s | %s%s" % (t - start, who, text, note))
        wincue.wait()
        print("wincue exit status:", wincue.returncode)
        subprocess.run([world.wine_loader, "taskkill", "/f", "/im", "notepad.exe"],
                       env=world.env, capture_output=True, timeout=60)
        try:
            wait_until(lambda: _drain_until(lines, "no Notepad window"), 30, "Notepad to end")
            print("Notepad ended.")
        except TimeoutError:
            print("Notepad did not end; the world's stop ends it.")
        stop_pid(watch.pid)
    finally:
        world.stop()


def _drain_until(lines, text):
    try:
        while True:
            _, _, got = lines.get_nowait()
            if got == text:
                return True
    except queue.Empty:
        return False


def main():
    shutil.rmtree(OUT, ignore_errors=True)
    OUT.mkdir(parents=True)
    windows_demo()


if __name__ == "__main__":
    main()
