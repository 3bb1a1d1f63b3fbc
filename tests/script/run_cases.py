"""Runs the script table (cases.py) against one build of wincue.

usage: run_cases.py host|wine
Each case runs in a fresh directory; output and exit status must be exact.
"""
import os
import shutil
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "harness"))
from cases import CASES, FIND_HELD, NOTHING, echo, run  # noqa: E402
from wincue import Target, script_dir  # noqa: E402
from world import World, wait_until  # noqa: E402

DECOY = b"[Section0]\nAction=Sleep\nSleep=decoy\n"
REAL = "[Section0]\nAction=Sleep\nSleep=0\n"


def check(results, name, want, got, status=0, got_status=0, also=True):
    ok = want == got and status == got_status and also
    results.append(ok)
    print("%s %s" % ("PASS" if ok else "FAIL", name))
    if not ok:
        print("  want %r (exit %s)\n  got  %r (exit %s)" % (want, status, got, got_status))


def deep_dir(drive_root, visible_prefix_len, length):
    """Makes a directory below drive_root whose path, as wincue sees it,
    is `length` characters long."""
    need = length - visible_prefix_len
    parts, left = [], need
    while left > 0:
        n = min(100, left)  # component plus its separator
        parts.append("d" * (n - 1))
        left -= n
    d = Path(drive_root, *parts)
    d.mkdir(parents=True)
    return d


def directory_limits(target, root, results):
    """243 characters of directory still fit the 254 of the script path;
    244 do not (the path would overflow), nor 255 (the directory itself
    does not fit, and an emptied one would lead to the root's config.ini):
    then nothing at all is read, neither a decoy there nor a cut-off name."""
    drive = Path(tempfile.mkdtemp(prefix="drive-", dir=root))
    root_decoy = None
    if target.name == "wine":
        link = Path(target.env["WINEPREFIX"]) / "dosdevices" / "m:"
        if link.is_symlink():
            link.unlink()
        link.symlink_to(drive)
        (drive / "config.ini").write_bytes(DECOY)
        prefix_len = len("M:\\") - 1  # the drive's own separator counts as the first "/"
    else:
        drive = Path(os.path.realpath(drive))
        prefix_len = len(str(drive))
        if os.access("/", os.W_OK) and not os.path.exists("/config.ini"):
            root_decoy = Path("/config.ini")
            root_decoy.write_bytes(DECOY)
    try:
        for length, want in ((243, echo(0, "Sleep", "Sleep", "0") + run("Sleep")),
                             (244, NOTHING), (255, NOTHING)):
            d = deep_dir(drive, prefix_len, length)
            (d / "config.ini").write_text(REAL)
            (d / "config.in").write_bytes(DECOY)
            status, out = target.run(d)
            check(results, "current directory of %d characters" % length,
                  target.expected(want), out, 0, status)
    finally:
        if root_decoy:
            root_decoy.unlink()


def sleep_and_cmd(target, root, results):
    """Sleep pauses the run; Cmd starts a program and goes on at once."""
    d = script_dir(root, b"[Section0]\nAction=Sleep\nSleep=500\n")
    t = time.monotonic()
    status, out = target.run(d)
    took = time.monotonic() - t
    check(results, "Sleep 500 pauses at least half a second (took %.3f s)" % took,
          target.expected(echo(0, "Sleep", "Sleep", "500") + run("Sleep")), out, 0, status,
          also=took >= 0.5)

    d = script_dir(root, b"[Section0]\nAction=Sleep\nSleep=-1\n")
    status, out = target.run(d, timeout=30)
    check(results, "a negative Sleep does not hang",
          target.expected(echo(0, "Sleep", "Sleep", "-1") + run("Sleep")), out, 0, status)

    # The program can only end once the test lets it, so wincue exiting with
    # it still waiting proves the run did not wait for it.
    cmd = '%s ran%%s%%d.txt 100%% "two words"' % target.program_path("linger")
    d = script_dir(root, ("[Section0]\nAction=Cmd\nCmd=%s\n" % cmd).encode())
    status, out = target.run_to_exit(d)
    check(results, "Cmd: the end line comes without waiting for the program",
          target.expected(echo(0, "Cmd", "Cmd", cmd) + run("Cmd")), out, 0, status)
    ran = d / "ran%s%d.txt"
    try:
        # the file exists a moment before its first line is written
        wait_until(lambda: ran.exists() and ran.read_text().endswith("\n"), 30,
                   "the started program")
        text = ran.read_text()
    except TimeoutError:
        text = "(never started)"
    check(results, "Cmd: the program ran with its arguments, % and all",
          "started 100% two words\n", text)
    (d / "ran%s%d.txt.stop").touch()
    if ran.exists():
        wait_until(lambda: "ended" in ran.read_text(), 70, "the started program to end")


def main():
    name = sys.argv[1]
    world = World.attach(wine=True) if name == "wine" else None
    target = Target(name, world)
    root = tempfile.mkdtemp(prefix="wincue-script-")
    results = []
    try:
        for case, config, want in CASES:
            d = script_dir(root, None if config is None else config.encode("latin-1"))
            status, out = target.run(d)
            check(results, case, target.expected(want), out, 0, status)
        case, config, want = FIND_HELD
        d = script_dir(root, config.encode())
        out = target.run_until(d, target.expected(want))
        check(results, case, target.expected(want), out)
        directory_limits(target, root, results)
        sleep_and_cmd(target, root, results)
    finally:
        shutil.rmtree(root, ignore_errors=True)
        if world:
            world.close()
    print("%d passed, %d failed" % (results.count(True), results.count(False)))
    sys.exit(0 if all(results) else 1)


if __name__ == "__main__":
    main()
