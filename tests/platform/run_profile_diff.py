"""Compares our GetPrivateProfileStringA with Windows' own, run under Wine.

usage: run_profile_diff.py HOST_PROBE
Each row writes one config.ini, then both builds of profile_probe answer the
row's queries: the host build (our reader) and the Windows build (Wine's).
Where Wine is known to read differently from Windows, the row gives the
Windows answers and our reader must match those instead.
"""
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "harness"))
from world import World  # noqa: E402

DIR, FIFO, DEVICE = "directory", "fifo", "device"  # config.ini that is not a file
S0 = b"[Section0]\n"


def q(section, key, default="", size=255):
    return (section, key, default, str(size))


def utf16(text):
    return b"\xff\xfe" + text.encode("utf-16-le")


LONG = b"x" * 300
QUOTED_254 = b'"' + b"q" * 254 + b'"'

# (name, config.ini bytes or a kind, queries, Windows answers when Wine differs)
ROWS = [
    ("missing file", None, [q("Section0", "Action")], None),
    ("directory", DIR, [q("Section0", "Action")], None),
    ("FIFO", FIFO, [q("Section0", "Action")], None),
    ("device", DEVICE, [q("Section0", "Action")], None),
    ("empty file", b"", [q("Section0", "Action")], None),
    ("UTF-16LE with its mark", utf16("[Section0]\r\nAction=Sleep\r\n[Section1]\r\nCmd = x y \r\n"),
     [q("Section0", "Action"), q("Section1", "Cmd")], None),
    ("UTF-8 mark stays glued to the first line",
     b"\xef\xbb\xbf[Section0]\nAction=Sleep\n[Section1]\nAction=Cmd\n",
     [q("Section0", "Action"), q("Section1", "Action")], ["", "Cmd"]),
    ("UTF-16BE is not decoded", b"\xfe\xff" + "[Section0]\nAction=Sleep\n".encode("utf-16-be"),
     [q("Section0", "Action")], [""]),
    ("line ends CR LF, LF, lone CR, runs, no last one",
     b"[Section0]\r\nA=1\rB=2\n\r\n\r\rC=3\r\n[Section1]\nD=4",
     [q("Section0", "A"), q("Section0", "B"), q("Section0", "C"), q("Section1", "D")], None),
    ("blanks trimmed at both ends, kept inside",
     b" \t[\tSection0 ]\t\n \t Action \t=\t Sle ep \t\n\vK\f=\fv\v\n",
     [q("Section0", "Action"), q("Section0", "K"), q(" Section0\t", "\tK ")], None),
    ("header: text after ] ignored", b"[Section0] trailing\nA=1\n", [q("Section0", "A")], None),
    ("header: name ends at the first ]", b"[Sec]tion0]\nA=1\n[x]y]\nB=2\n",
     [q("Sec", "A"), q("Sec]tion0", "A"), q("x", "B")], ["1", "", "2"]),
    ("header without ]", b"[Section0\nA=1\n", [q("Section0", "A")], ["1"]),
    ("comments: ; only, whole lines",
     b"[Section0]\n;Action=Cmd\n  ; Sleep=1\n#Cmd=2\nAction=Sleep ; x\n",
     [q("Section0", "Action"), q("Section0", "Sleep"), q("Section0", "#Cmd")], None),
    ("key lines: first = splits, no = is no value",
     b"[Section0]\nA==v\nB\nB=late\nC=\n = x\n",
     [q("Section0", "A"), q("Section0", "B", "dflt"), q("Section0", "C", "dflt"),
      q("Section0", "D", "dflt")], None),
    ("names ignore case, values keep it", b"[sEcTiOn0]\naCtIoN=SlEeP\n",
     [q("SECTION0", "action"), q("section0", "ACTION")], None),
    ("duplicates: first section, first key",
     b"[Section0]\nA=1\nA=2\n[Section1]\nB=1\n[SECTION0]\nA=3\nC=4\n",
     [q("Section0", "A"), q("Section0", "C"), q("Section1", "B")], None),
    ("quotes: one matching outer pair goes",
     b"[Section0]\nA=\"ab\"\nB='ab'\nC=\"ab'\nD=\"ab\nE=\"\nF=\"\"\nG=a\"b\"\nH=\" a \"\n"
     b"I=\"a\"b\"\nJ=ab\"\n",
     [q("Section0", k) for k in "ABCDEFGHIJ"], None),
    ("long values cut at 254, later lines intact",
     b"[Section0]\nA=" + LONG + b"\nX=" + b"y" * 100000 + b"\nB=after\n",
     [q("Section0", "A"), q("Section0", "B")], None),
    ("quoted value of 253 characters", b"[Section0]\nA=\"" + b"q" * 253 + b"\"\n",
     [q("Section0", "A")], None),
    ("quoted value of 254 characters", b"[Section0]\nA=" + QUOTED_254 + b"\n",
     [q("Section0", "A")], ["q" * 254]),
    ("NUL ends a value", b"[Section0]\nA=ab\x00cd\nB=\"ab\x00cd\"\nC=ab \x00cd\n",
     [q("Section0", "A"), q("Section0", "B"), q("Section0", "C")], None),
    ("bytes of 0x80 and up come back unchanged", b"[Section0]\nA=caf\xe9 \xfc\n",
     [q("Section0", "A")], None),
    ("small buffers", b"[Section0]\nA=abcdef\nB=\"abcdef\"\n",
     [q("Section0", "A", size=s) for s in (0, 1, 2, 6, 7)] +
     [q("Section0", "B", size=s) for s in (1, 4, 8)], None),
    ("quoted value filling a small buffer", b"[Section0]\nB=\"abcdef\"\n",
     [q("Section0", "B", size=7)], ["abcdef"]),
    ("default: trailing spaces go, missing keys only", b"[Section0]\nA=\n",
     [q("Section0", "A", "d  "), q("Section0", "Z", " d  "), q("Section9", "Z", "d d ")], None),
]


def answer(value, size=255):
    """The probe's line for a value read with an empty default."""
    b = value.encode("latin-1")[:size - 1] + b"\0"
    return "%d %s" % (len(b) - 1, b.hex())


def make_file(path, content):
    if content is None:
        return
    if content == DIR:
        path.mkdir()
    elif content == FIFO:
        os.mkfifo(path)
    elif content == DEVICE:
        path.symlink_to("/dev/null")
    else:
        path.write_bytes(content)


def probe(argv, env, groups):
    r = subprocess.run(argv + [a for g in groups for a in g], env=env, stdin=subprocess.DEVNULL,
                       capture_output=True, timeout=120)
    return r.stdout.decode("ascii").replace("\r", "").splitlines()


def main():
    host_probe = sys.argv[1]
    world = World.attach(wine=True)
    windows_probe = world.windows_exe("tests/profile_probe.exe")
    if not Path(windows_probe[-1]).exists():
        world.close()
        sys.exit("no %s: build the Windows presets first" % windows_probe[-1])
    root = Path(tempfile.mkdtemp(prefix="wincue-profile-"))
    host, wine, index = [], [], []
    try:
        for i, (name, content, queries, _) in enumerate(ROWS):
            d = root / ("row%d" % i)
            d.mkdir()
            make_file(d / "config.ini", content)
            wine_path = "Z:" + str(d).replace("/", "\\") + "\\config.ini"
            for qu in queries:
                host.append((str(d) + "\\config.ini",) + qu)
                wine.append((wine_path,) + qu)
                index.append(i)
        got_host = probe([host_probe], os.environ, host)
        got_wine = probe(windows_probe, world.env, wine)
    finally:
        shutil.rmtree(root, ignore_errors=True)
        world.close()
    if len(got_host) != len(host) or len(got_wine) != len(wine):
        sys.exit("probe gave %d and %d answers for %d queries" %
                 (len(got_host), len(got_wine), len(host)))
    passed = failed = 0
    for i, (name, _, queries, windows) in enumerate(ROWS):
        rows = [k for k in range(len(index)) if index[k] == i]
        want = [answer(v, int(queries[n][3])) for n, v in enumerate(windows)] if windows \
            else [got_wine[k] for k in rows]
        mine = [got_host[k] for k in rows]
        ok = mine == want
        passed, failed = passed + ok, failed + (not ok)
        print("%s %s%s" % ("PASS" if ok else "FAIL", name, " (Windows answers)" if windows else ""))
        if not ok:
            for n, k in enumerate(rows):
                print("  %s %s: want %s got %s (Wine %s)" % (queries[n][0], queries[n][1],
                                                             want[n], mine[n], got_wine[k]))
    print("%d passed, %d failed" % (passed, failed))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
