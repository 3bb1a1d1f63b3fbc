"""make demo: runs the bundled example script with wincue.exe under Wine on
a private virtual display (Notepad), then the Linux build's example on a
private Xvfb with openbox (xlogo), then the Wayland example under a private
headless sway (a zenity message box), then a GNOME script under a private
headless GNOME Shell with wincue's extension (a zenity message box whose OK
button and Enter key real input tries while it is disabled), each next to a
watcher that reports, from outside, what happens to the target program's
window at each step. Screenshots of the display at each change are saved
under build/demo/.
"""
import queue
import shutil
import subprocess
import sys
import threading
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "scripts"))
from world import BUILD, World, stop_pid, wait_until  # noqa: E402

OUT = BUILD / "demo"


def follow(name, stream, lines):
    for raw in iter(stream.readline, b""):
        lines.put((time.monotonic(), name, raw.decode("latin-1").rstrip("\r\n")))
    lines.put((time.monotonic(), name, None))


def screenshot(world, tag, n, label):
    """The whole display: grim takes it from sway, GNOME Shell its own, import
    from an X server."""
    shot = ["grim"] if tag == "wayland" else ["import", "-window", "root"]
    words = "".join(c if c.isalnum() else "-" for c in label).strip("-")
    f = OUT / ("%s-%02d-%s.png" % (tag, n, "-".join(w for w in words.split("-") if w)))
    if tag == "gnome":  # the shell writes it, as its user, where it may
        taken = world.runtime / "shot.png"
        if world.desk.screenshot(taken)[0]:
            shutil.copyfile(taken, f)
            return f.name
        return None
    if shutil.which(shot[0]):
        subprocess.run(shot + [str(f)], env=world.env, capture_output=True, timeout=30)
        return f.name
    return None


def windows_demo():
    world = World(OUT / "world", manager="openbox", wine=True).start()
    print("== %s under Wine with openbox: examples/config.ini on Notepad =="
          % world.windows_exe("wincue.exe")[1].replace(str(ROOT) + "/", ""))
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
        show_run(world, wincue, lines, "wine")
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


def x_state(env, cls):
    """How the X server sees the windows of a class: mapped or not, and
    whether wincue's saved input state (its mark of a disabled window) is on."""
    run = lambda *a: subprocess.run(a, env=env, capture_output=True, text=True).stdout
    ids = run("xdotool", "search", "--class", "^%s$" % cls).split()
    if not ids:
        return "no %s window" % cls
    seen = []
    for wid in ids:
        mapped = "IsViewable" in run("xwininfo", "-id", wid)
        disabled = "not found" not in run("xprop", "-id", wid, "_WINCUE_SAVED_INPUT")
        seen.append("%s, %s" % ("visible" if mapped else "hidden",
                                "disabled" if disabled else "enabled"))
    return "%s: %s" % (cls, "; ".join(seen))


def watch(state, lines, stop):
    """Puts each new answer of state() in lines until stop is set."""
    last = None
    while not stop.is_set():
        now = state()
        if now != last:
            lines.put((time.monotonic(), "window", now))
            last = now
        time.sleep(0.02)


def linux_demo():
    print()
    print("== wincue (Linux build) on Xvfb with openbox: examples/linux/config.ini on xlogo ==")
    world = World(OUT / "world-x11", manager="openbox").start()
    stop = threading.Event()
    try:
        lines = queue.Queue()
        threading.Thread(target=watch, args=(lambda: x_state(world.env, "XLogo"), lines, stop),
                         daemon=True).start()
        lines.get(timeout=30)
        # stderr is quiet: xlogo, started by wincue, shares it and complains
        # when it is ended at the close.
        wincue = subprocess.Popen([str(BUILD / "host" / "wincue")], cwd=ROOT / "examples" / "linux",
                                  env=world.env, stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        show_run(world, wincue, lines, "x11")
        stop.set()
        # xlogo was started by wincue, not by us: end it through its window.
        for wid in subprocess.run(["xdotool", "search", "--class", "^XLogo$"], env=world.env,
                                  capture_output=True, text=True).stdout.split():
            subprocess.run(["xkill", "-id", wid], env=world.env, capture_output=True)
        wait_until(lambda: x_state(world.env, "XLogo") == "no XLogo window", 30, "xlogo to end")
        print("xlogo ended.")
    finally:
        stop.set()
        world.stop()


def sway_state(env, title):
    """How sway's tree holds the windows of a title: shown (tiled or
    floating) or hidden in the scratchpad."""
    from swaydesk import SwayDesk
    desk = SwayDesk(env["SWAYSOCK"])
    try:
        seen = [w for w in desk.windows().values() if w["name"] == title]
    finally:
        desk.close()
    if not seen:
        return "no %s window" % title
    return "%s: %s" % (title, "; ".join(
        "hidden (scratchpad)" if w["hidden"] else
        "visible, %s" % ("floating" if w["floating"] else "tiled") for w in seen))


def wayland_demo():
    print()
    print("== wincue (Linux build) on a headless sway: examples/wayland/config.ini on zenity ==")
    world = World(OUT / "world-sway", manager="sway").start()
    stop = threading.Event()
    try:
        lines = queue.Queue()
        threading.Thread(target=watch, args=(lambda: sway_state(world.env, "wincue example"),
                                             lines, stop), daemon=True).start()
        lines.get(timeout=30)
        # Standard error joins the output: there sway's limits are said.
        wincue = subprocess.Popen([str(BUILD / "host" / "wincue")],
                                  cwd=ROOT / "examples" / "wayland", env=world.env,
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                  stdin=subprocess.DEVNULL)
        show_run(world, wincue, lines, "wayland")
        stop.set()
        # zenity was started by wincue, not by us: end it through sway.
        from swaydesk import SwayDesk
        desk = SwayDesk(world.env["SWAYSOCK"])
        desk.command('[title="^wincue example$"] kill')
        desk.close()
        gone = "no wincue example window"
        wait_until(lambda: sway_state(world.env, "wincue example") == gone, 30, "zenity to end")
        print("zenity ended.")
    finally:
        stop.set()
        world.stop()


GNOME_SCRIPT = """; Start a zenity message box, wait for it, hide and show it, disable it while
; real input tries its OK button and Enter, enable it, and wait until that
; input closes it.
[Section0]
Action=Cmd
Cmd=zenity --info --title="wincue example" --text="OK and Enter close me, unless I am disabled."

[Section1]
Action=Find
Text=wincue example
Visible=1

[Section2]
Action=Display
Text=wincue example
Display=0

[Section3]
Action=Sleep
Sleep=500

[Section4]
Action=Display
Text=wincue example
Display=1

[Section5]
Action=Enable
Text=wincue example
Enable=0

[Section6]
Action=Sleep
Sleep=3000

[Section7]
Action=Enable
Text=wincue example
Enable=1

[Section8]
Action=Gone
Text=wincue example
Timeout=10000
"""


def gnome_state(desk, title):
    """How GNOME Shell's own list holds the windows of a title: hidden
    (minimized, or not shown yet) or shown, and whether it has the focus."""
    seen = [w for w in desk.windows().values() if w["name"] == title]
    if not seen:
        return "no %s window" % title
    return "%s: %s" % (title, "; ".join(
        "hidden" if w["hidden"] else "shown, %s" % ("focused" if w["focus"] else "not focused")
        for w in seen))


def gnome_input(desk, lines, what):
    """Real input (RemoteDesktop), told in the run's lines: a click on the
    message box's OK button, Alt+Tab, Enter; then what the watcher sees."""
    ok = (desk.SCREEN[0] // 2 + 158, desk.SCREEN[1] // 2 + 69)  # zenity centres its box
    for label, act in (("click on OK", lambda: desk.click(*ok)),
                       ("Alt+Tab", desk.alt_tab), ("Enter", lambda: desk.key("Return"))):
        if label in what:
            lines.put((time.monotonic(), "input", label))
            act()
    lines.put((time.monotonic(), "window", gnome_state(desk, "wincue example") +
               " after the input"))


def gnome_demo():
    print()
    print("== wincue (Linux build) on a headless GNOME Shell with wincue's extension: "
          "a zenity message box ==")
    world = World(OUT / "world-gnome", manager="gnome").start()
    stop = threading.Event()
    script = world.runtime / "demo"  # wincue runs as the session's user, who reaches it
    script.mkdir()
    (script / "config.ini").write_text(GNOME_SCRIPT)
    script.chmod(0o755)
    watcher = threading.Thread(target=watch, args=(
        lambda: gnome_state(world.desk, "wincue example"), lines := queue.Queue(), stop),
        daemon=True)
    try:
        watcher.start()
        lines.get(timeout=30)
        wincue = subprocess.Popen(world.user + [str(world.build / "host" / "wincue")], cwd=script,
                                  env=world.env, stdout=subprocess.PIPE,
                                  stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)

        def act(line):
            """While disabled, input tries to close the box; then again."""
            if line == "start - Sleep" and act.enabled is False:
                gnome_input(world.desk, lines, "click on OK, Alt+Tab, Enter")
            elif line == "end   - Enable":
                act.enabled = not act.enabled if act.enabled is not None else False
            elif line == "start - Gone":
                gnome_input(world.desk, lines, "click on OK")
        act.enabled = None
        show_run(world, wincue, lines, "gnome", act)
        print("zenity ended: the click on OK closed it once it was enabled.")
    finally:
        stop.set()
        watcher.join(10)
        world.stop()


def show_run(world, wincue, lines, tag, act=lambda line: None):
    """Prints wincue's lines and the watcher's, in order, until wincue exits;
    act hears each of wincue's lines."""
    threading.Thread(target=follow, args=("wincue", wincue.stdout, lines), daemon=True).start()
    # The end is wincue's exit, not the end of its output: the program
    # it started may hold the same pipe open.
    threading.Thread(target=lambda: lines.put((0, "exit", wincue.wait())), daemon=True).start()
    start, shots = time.monotonic(), 0
    while True:
        t, who, text = lines.get(timeout=120)
        if who == "exit":
            break
        if text is None:
            continue
        note = ""
        if who == "window":
            shots += 1
            f = screenshot(world, tag, shots, text)
            note = "   [screenshot build/demo/%s]" % f if f else ""
        print("%7.3f s  %-6s | %s%s" % (t - start, who, text, note), flush=True)
        if who == "wincue":
            act(text)
    print("wincue exit status:", wincue.returncode)


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
    linux_demo()
    wayland_demo()
    gnome_demo()


if __name__ == "__main__":
    main()
