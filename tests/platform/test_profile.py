"""The Linux INI reader answers as Windows' GetPrivateProfileStringA and
GetPrivateProfileSectionA do. Each row holds Windows' answers; the Linux reader
must give them on every machine, and under Wine, Windows' own reader is asked
too, to confirm that the stored answers still hold (except on the rows where
Wine reads differently). Every key query with an empty default and 255 bytes
is asked twice: of GetPrivateProfileStringA, and as the script loader reads it
from the section's list. Both builds of profile_probe answer the queries of
every row at once."""
import os
import subprocess

import pytest

from harness import BUILD

# config.ini that is not a file, and how each is made
KINDS = dict(directory=lambda p: p.mkdir(), FIFO=os.mkfifo,
             device=lambda p: p.symlink_to("/dev/null"))


def q(section, key, want, default="", size=255):
    return "string", section, key, default, size, want


def section(name, size, count, lines):
    """GetPrivateProfileSectionA's count and list: each line and the list ended by a NUL."""
    return "section", name, "", "", size, (count, "".join(l + "\0" for l in lines) + "\0")


def utf16(text):
    return b"\xff\xfe" + text.encode("utf-16-le")


# (name, config.ini bytes or a kind, queries, True where Wine differs from Windows)
ROWS = [
    *[(name, content, [q("Section0", "Action", "")], False) for name, content in [
        ("missing file", None), ("empty file", b"")] + [(kind, kind) for kind in KINDS]],
    ("UTF-16LE with its mark",
     utf16("[Section0]\r\nAction=Sleep\r\n[Section1]\r\nCmd = x y \r\n"),
     [q("Section0", "Action", "Sleep"), q("Section1", "Cmd", "x y")], False),
    ("UTF-8 mark stays glued to the first line",
     b"\xef\xbb\xbf[Section0]\nAction=Sleep\n[Section1]\nAction=Cmd\n",
     [q("Section0", "Action", ""), q("Section1", "Action", "Cmd")], True),
    ("UTF-16BE is not decoded", b"\xfe\xff" + "[Section0]\nAction=Sleep\n".encode("utf-16-be"),
     [q("Section0", "Action", "")], True),
    ("line ends CR LF, LF, lone CR, runs, no last one",
     b"[Section0]\r\nA=1\rB=2\n\r\n\r\rC=3\r\n[Section1]\nD=4",
     [q("Section0", "A", "1"), q("Section0", "B", "2"), q("Section0", "C", "3"),
      q("Section1", "D", "4")], False),
    ("blanks trimmed at both ends, kept inside",
     b" \t[\tSection0 ]\t\n \t Action \t=\t Sle ep \t\n\vK\f=\fv\v\n",
     [q("Section0", "Action", "Sle ep"), q("Section0", "K", "v"), q(" Section0\t", "\tK ", "v")],
     False),
    ("header: text after ] ignored", b"[Section0] trailing\nA=1\n", [q("Section0", "A", "1")],
     False),
    ("header: name ends at the first ]", b"[Sec]tion0]\nA=1\n[x]y]\nB=2\n",
     [q("Sec", "A", "1"), q("Sec]tion0", "A", ""), q("x", "B", "2")], True),
    ("header without ]", b"[Section0\nA=1\n", [q("Section0", "A", "1")], True),
    ("comments: ; only, whole lines",
     b"[Section0]\n;Action=Cmd\n  ; Sleep=1\n#Cmd=2\nAction=Sleep ; x\n",
     [q("Section0", "Action", "Sleep ; x"), q("Section0", "Sleep", ""), q("Section0", "#Cmd", "2")],
     False),
    ("key lines: first = splits, no = is no value", b"[Section0]\nA==v\nB\nB=late\nC=\n = x\n",
     [q("Section0", "A", "=v"), q("Section0", "B", "dflt", "dflt"), q("Section0", "C", "", "dflt"),
      q("Section0", "D", "dflt", "dflt")], False),
    ("names ignore case, values keep it", b"[sEcTiOn0]\naCtIoN=SlEeP\n",
     [q("SECTION0", "action", "SlEeP"), q("section0", "ACTION", "SlEeP")], False),
    ("duplicates: first section, first key",
     b"[Section0]\nA=1\nA=2\n[Section1]\nB=1\n[SECTION0]\nA=3\nC=4\n",
     [q("Section0", "A", "1"), q("Section0", "C", ""), q("Section1", "B", "1")], False),
    ("quotes: one matching outer pair goes",
     b"[Section0]\nA=\"ab\"\nB='ab'\nC=\"ab'\nD=\"ab\nE=\"\nF=\"\"\nG=a\"b\"\nH=\" a \"\n"
     b"I=\"a\"b\"\nJ=ab\"\n",
     [q("Section0", k, v) for k, v in zip("ABCDEFGHIJ", ["ab", "ab", "\"ab'", "\"ab", "\"", "",
                                                         "a\"b\"", " a ", "a\"b", "ab\""])],
     False),
    ("long values cut at 254, later lines intact",
     b"[Section0]\nA=" + b"x" * 300 + b"\nX=" + b"y" * 100000 + b"\nB=after\n",
     [q("Section0", "A", "x" * 254), q("Section0", "B", "after")], False),
    ("a line the section list cuts is read by itself",
     b"[Section0]\nA=" + b"x" * 3400 + b"\nB=" + b"y" * 300 + b"\n",
     [q("Section0", "B", "y" * 254)], False),
    ("quoted value of 253 characters", b"[Section0]\nA=\"" + b"q" * 253 + b"\"\n",
     [q("Section0", "A", "q" * 253)], False),
    ("quoted value of 254 characters", b"[Section0]\nA=\"" + b"q" * 254 + b"\"\n",
     [q("Section0", "A", "q" * 254)], True),
    ("NUL ends a value", b"[Section0]\nA=ab\x00cd\nB=\"ab\x00cd\"\nC=ab \x00cd\n",
     [q("Section0", "A", "ab"), q("Section0", "B", "\"ab"), q("Section0", "C", "ab ")], False),
    ("bytes of 0x80 and up come back unchanged", b"[Section0]\nA=caf\xe9 \xfc\n",
     [q("Section0", "A", "caf\xe9 \xfc")], False),
    ("small buffers", b"[Section0]\nA=abcdef\nB=\"abcdef\"\n",
     [q("Section0", "A", v, size=s) for s, v in ((0, None), (1, ""), (2, "a"), (6, "abcde"),
                                                 (7, "abcdef"))] +
     [q("Section0", "B", v, size=s) for s, v in ((1, ""), (4, "abc"), (8, "abcdef"))], False),
    ("quoted value filling a small buffer", b"[Section0]\nB=\"abcdef\"\n",
     [q("Section0", "B", "abcdef", size=7)], True),
    ("default: trailing spaces go, missing keys only", b"[Section0]\nA=\n",
     [q("Section0", "A", "", "d  "), q("Section0", "Z", " d", " d  "),
      q("Section9", "Z", "d d", "d d ")], False),
    ("section list: first section, key lines as read, sizes",
     b"[Keys]\n a = 1 \n\n;c=2\nB\nQ=\"q\"\nK==v\n=x\n = y\nb=2\n[keys]\nZ=9\n",
     [section("kEYS", 255, 24, ["a=1", "B", "Q=\"q\"", "K==v", "=x", "b=2"]),
      section("Other", 255, 0, []), section(" Keys", 255, 0, []), section("Keys", 3, 1, ["a"]),
      section("Keys", 5, 3, ["a=1"]), section("Keys", 6, 4, ["a=1"]),
      section("Keys", 11, 9, ["a=1", "B", "Q=\""])], False),
]


def answer(want):
    """profile_probe's line: the count, then the buffer up to its terminator."""
    if isinstance(want, tuple):
        return "%d %s" % (want[0], want[1].encode("latin-1").hex())
    return "0 -" if want is None else "%d %s" % (len(want), (want + "\0").encode("latin-1").hex())


def queries(row):
    """A row's queries, each key query asked as the loader asks (an empty default, 255
    bytes, names without blanks around them) asked of the loader too, and of the
    reader of 1.4 scripts, unless a UTF-8 mark, which that reader skips, begins the file."""
    marked = isinstance(row[1], bytes) and row[1].startswith(b"\xef\xbb\xbf")
    return [x for query in row[2] for x in [query] + (
        [(r,) + query[1:] for r in ("loader", "unicode")[:1 + (not marked)]]
        if query[0] == "string" and query[3:5] == ("", 255) and
        query[1:3] == (query[1].strip(), query[2].strip()) else [])]


def ask(argv, env, tmp_path, drive, rows):
    """Each row's answers from one run of a probe."""
    args = []
    for i, row in enumerate(rows):
        (tmp_path / str(i)).mkdir(exist_ok=True)
        if row[1] is not None:
            KINDS.get(row[1], lambda p: p.write_bytes(row[1]))(tmp_path / str(i) / "config.ini")
        path = str(tmp_path / str(i)) + "\\config.ini"
        for reader, section, key, default, size, _ in queries(row):
            args += [reader, drive + path.replace("/", "\\") if drive else path, section, key,
                     default, str(size)]
    lines = subprocess.run(argv + args, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                           timeout=120).stdout.decode("ascii").replace("\r", "").splitlines()
    return [[lines.pop(0) if lines else None for _ in queries(row)] for row in rows]


@pytest.mark.parametrize("reader", ["host", "wine"])
def test_reads_as_windows(reader, worlds, tmp_path):
    if reader == "host":
        rows = ROWS
        got = ask([str(BUILD / "host" / "tests" / "profile_probe")], None, tmp_path, "", rows)
    else:
        rows = [r for r in ROWS if not r[3]]
        world = worlds(wine=True)
        got = ask(world.windows_exe("tests/profile_probe.exe"), world.env, tmp_path, "Z:",
                  rows)
    assert {r[0]: g for r, g in zip(rows, got)} == {r[0]: [answer(x[5]) for x in queries(r)]
                                                    for r in rows}
