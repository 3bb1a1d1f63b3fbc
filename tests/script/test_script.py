"""Scripts and faults, each with the exact output and exit status (0 unless
given) that every build must give: the Linux build, its ASan/UBSan build, and
wincue.exe under Wine. Expected text uses "\\n"; the Windows build's CR LF is
added."""
import codecs
import os
import random
import re
import shutil
import subprocess
import time
from pathlib import Path

import pytest

from harness import (DEADLINE, ROOT, Target, begun, echoed, ran, rejected, script, script_dir,
                     stop_pid, wait_until)
from world import readable_copy

NOTHING = "Can not read a config.ini ."
NOCLASS = "wincue-no-such-class"  # window steps that touch nothing
NOWHERE = "ClassName=%s\n" % NOCLASS
SLEEP0 = "Action=Sleep\nSleep=0\n"
RAN = echoed(0, "Sleep", Sleep="0") + ran("Sleep")
KEYS = ("Text", "ClassName", "Action", "Enable", "Display", "Sleep", "Cmd")
PERCENT = ("%s%s%s%s", "%n%n", "%d%x%p", "%%", "%999999999s", "%.*s%ls", "%c%hhn")
CUT = tuple(k[0] * 255 for k in KEYS)
SLEEPS = ("-0", "+0", "000", "+7", "+-5", "12abc", "0x10", "- 5", "0" * 40 + "1", "-1", "abc")


def sections(first, last, body=SLEEP0):
    return "".join("[Section%d]\n%s" % (i, body) for i in range(first, last + 1))


def section_of(i, values):
    return "[Section%d]\n" % i + "".join("%s=%s\n" % kv for kv in zip(KEYS, values))


def sleeps(n):
    return "".join(echoed(i, "Sleep", Sleep="0") for i in range(n)) + ran(*["Sleep"] * n)


def refused(**values):
    """config.ini of one section that is refused, and the output."""
    return ("[Section0]\n" + "".join("%s=%s\n" % kv for kv in values.items()),
            rejected(0, **values) + NOTHING)


def gives_up(steps, failing, err):
    """config.ini for steps of which the one of index failing gives up, and
    the exit status, output and last line on standard error of its run."""
    config, out = script(*steps, fails=failing)
    return config, (1, out, err)


def junk(size, seed=6):
    return b"x" + random.Random(seed).randbytes(size - 1)  # no byte-order mark


def long_lines():
    x = b"x" * 100000
    return (b"[" + x + b"]\n;" + x + b"\n[Section0]\n" + x + b"=1\nAction=Cmd\nCmd=" + x +
            b"\nText=" + x + b"\n[Section1]\nAction=Sleep\nSleep=0" + x + b"\n")


HOSTS, ALL = ("host", "asan"), ("host", "asan", "wine")
VERSION = re.search(r"project\(wincue VERSION (\S+)", (ROOT / "CMakeLists.txt").read_text())[1]
NEWER = re.sub(r"\d+$", lambda m: str(int(m[0]) + 1), VERSION)  # this one's next
REQUIRE = "[Section0]\nAction=Require\nVersion=1.3\n"
NEEDS_13 = "wincue: [Section%d] %s needs Action=Require with Version=1.3 or later in [Section0]\n"
# A 1.4 script is Unicode text: UTF-8 with or without its mark, UTF-16 with
# its mark (CR LF there); blanks and one pair of quotes go as Windows reads,
# and sections are found out of order.
UNICODE_STEPS = [("Require", dict(Version="1.4")),
                 ("Cmd", dict(Cmd="wincue-no-\u03a9\u00e9\U0001f600")),
                 ("Cmd", dict(Cmd="\u65e5" * 90)), ("Cmd", dict(Cmd="\u00e9" * 130))]
_text, UNICODE_RAN = script(*UNICODE_STEPS)
_text = _text.replace("Cmd=w", "Cmd= \t'w").replace("\U0001f600", "\U0001f600' ")
_s = _text.split("[")  # the file's sections 0, 2, 1, 3: each read by its number
_text = "[" + "[".join([_s[1], _s[3], _s[2], _s[4]])
UNICODE_RAN = UNICODE_RAN.replace("\u65e5" * 90, "\u65e5" * 84).replace(
    "\u00e9" * 130, "\u00e9" * 127).encode().decode("latin-1")
UNICODE = [("UTF-8", _text.encode()), ("UTF-8 with its mark", codecs.BOM_UTF8 + _text.encode()),
           ("UTF-16 with its mark", codecs.BOM_UTF16_LE + _text.replace("\n", "\r\n").encode(
               "utf-16-le"))]
# Every action of 1.3 on no window, with the keys each echoes.
VERBS_13 = [("Close", dict(ClassName="wincue-none", Match="part")),
            ("Minimize", dict(Text="x", ClassName="wincue-none", Case="0")),
            ("Maximize", dict(ClassName="wincue-none", Process="wincue-none")),
            ("Restore", dict(Text="x", Match="suffix", Case="1", ClassName="wincue-none")),
            ("Enable", dict(Enable="1", Process="wincue-none", Match="prefix")),
            ("Activate", dict(ClassName="wincue-none", Timeout="0", Match="exact"))]

# (name, config.ini: text, bytes, None for none, or a kind; expected output, or
#  (exit status, output, the last line on standard error); targets, if not all)
CASES = [
    ("missing config.ini", None, NOTHING),
    ("empty config.ini", "", NOTHING),
    ("only other sections and keys", "[General]\n" + SLEEP0 + "[Section0]\nFoo=1\n", NOTHING),
    ("empty values end the script silently", "[Section0]\nAction=\nSleep=\nCmd=\n", NOTHING),
    ("names in any case, echoed as formatted", "[SECTION0]\naction=Sleep\nSLEEP=0\n", RAN),
    ("Enable without Text or ClassName, Enable 0 and Display 0 and 1", *script(
        ("Enable", dict(Enable="1")), ("Enable", dict(Enable="0", ClassName=NOCLASS)),
        ("Display", dict(Display="0", Text="x", ClassName=NOCLASS)),
        ("Display", dict(Display="1", ClassName=NOCLASS)))),
    ("Cmd of no program", *script(("Cmd", dict(Cmd="wincue-no-such-program")))),
    ("values the action does not use", "[Section0]\n" + SLEEP0 + "Cmd=x\nText=t\nEnable=1\n", RAN),
    ("a gap in the numbering ends the script", sections(0, 1) + sections(3, 3), sleeps(2)),
    ("255 sections are read, the 256th never", sections(0, 255), sleeps(255)),
    ("10,000 sections, numbered backwards",
     "".join("[Section%d]\n%s" % (i, SLEEP0) for i in range(9999, -1, -1)), sleeps(255), HOSTS),
    ("values of 254 kept, of 255 cut", "[Section0]\nAction=Cmd\nCmd=" + "c" * 254 + "\n" +
     section_of(1, CUT), echoed(0, "Cmd", Cmd="c" * 254) +
     rejected(1, **{k: v[:254] for k, v in zip(KEYS, CUT)}) + ran("Cmd")),
    ("% in every value", "[Section0]\nAction=Cmd\nCmd=%s%n%x\n" + section_of(1, PERCENT),
     echoed(0, "Cmd", Cmd="%s%n%x") + rejected(1, **dict(zip(KEYS, PERCENT))) + ran("Cmd")),
    ("Enable other than 1 or 0", *refused(Action="Enable", Enable="2")),
    ("Display without a value", *refused(Action="Display", Text="x")),
    ("Find needs Text or ClassName", *refused(Action="Find", Sleep="5")),
    ("Sleep needs its value", *refused(Action="Sleep", Cmd="x")),
    ("no Action but a Cmd", *refused(Cmd="notepad")),
    ("unknown action word", *refused(Action="Jump", Display="1")),
    ("a rejection after accepted steps: they still run", sections(0, 2) +
     "[Section3]\nAction=Cmd\nText=a\nClassName=b\nEnable=1\nDisplay=0\nSleep=9\n" +
     sections(4, 4), sleeps(3)[:-len(ran("Sleep")) * 3] + rejected(
         3, Action="Cmd", Text="a", ClassName="b", Enable="1", Display="0", Sleep="9") +
     ran("Sleep", "Sleep", "Sleep")),
    ("Sleep with signs and letters: none hangs",
     *script(*[("Sleep", dict(Sleep=s)) for s in SLEEPS])),
    ("config.ini is a directory", "dir", NOTHING),
    ("config.ini is a FIFO: no wait for a writer", "fifo", NOTHING),
    ("config.ini links to /dev/zero", "zero", NOTHING),
    ("config.ini links to a script", "link", RAN),
    ("only blanks and line ends", b" \t\r\n\v\f \n\n\t \r\r\n  ", NOTHING),
    ("binary junk", junk(65536), NOTHING),
    ("binary junk, then a script", junk(65536) + b"\n[Section0]\n" + SLEEP0.encode(), RAN),
    ("50 MB of junk, then a script", "big", RAN, HOSTS),
    ("NUL bytes end names and values",
     b"[Section0]\nAction=Sleep\0Cmd\nSleep=0\0\n[Section1\0x]\nAction=Cmd\nCmd=a\0b\n"
     b"[Section2]\nAc\0tion=Find\nText=\0t\nClassName=c\0d\n",
     echoed(0, "Sleep", Sleep="0") + echoed(1, "Cmd", Cmd="a") + rejected(2, ClassName="c") +
     ran("Sleep", "Cmd")),
    ("lines of 100,000 characters", long_lines(), echoed(0, "Cmd", Cmd="x" * 254) +
     echoed(1, "Sleep", Sleep="0" + "x" * 253) + ran("Cmd", "Sleep")),
    ("a key after 40 other lines of its section",
     "[Section0]\n" + "".join("k%d=v\n" % i for i in range(40)) + SLEEP0, RAN),
    ("a negative Timeout looks once, gives up, and nothing after it runs", *gives_up(
        [("Find", dict(Timeout="-5", ClassName="wincue-none")), ("Sleep", dict(Sleep="0"))], 0,
        'wincue: [Section0] Find gave up after 0 ms: no window with ClassName "wincue-none"\n')),
    ("Visible=0 is echoed, empty extensions are not", *script(("Gone", dict(
        Visible="0", ClassName="wincue-none")),
        ("Gone", dict(Timeout="", Visible="", ClassName="wincue-none")))),
    ("Visible other than 1 or 0", *refused(Action="Find", Visible="2", ClassName="wincue-none")),
    ("Gone needs Text or ClassName", *refused(Action="Gone", Timeout="5")),
    ("Require of an older version, in three parts", *script(("Require", dict(Version="1.2.9")))),
    ("Require of a newer version rejects the script, saying which it needs",
     "[Section0]\nAction=Require\nVersion=%s\n[Section1]\n" % NEWER + SLEEP0,
     (0, rejected(0, Action="Require") + NOTHING,
      "wincue: [Section0] the script needs wincue %s or later; this is wincue %s\n"
      % (NEWER, VERSION))),
    ("Require of no version is rejected", "[Section0]\nAction=Require\nVersion=1.x\n",
     (0, rejected(0, Action="Require") + NOTHING, "")),
    ("Require after section 0 is rejected", "[Section0]\n" + SLEEP0 + REQUIRE.replace("0", "1", 1),
     (0, echoed(0, "Sleep", Sleep="0") + rejected(1, Action="Require") + ran("Sleep"),
      "wincue: [Section1] Require is read in [Section0] only\n")),
    ("a key of 1.3 without Require rejects its section", "[Section0]\nAction=Find\nText=x\n"
     "Match=part\n", (0, rejected(0, Action="Find", Text="x") + NOTHING, NEEDS_13 % (0, "Match"))),
    ("a Require of 1.2 takes no key of 1.3",
     "[Section0]\nAction=Require\nVersion=1.2\n[Section1]\nAction=Display\nDisplay=0\n"
     "Process=x\n", (0, echoed(0, "Require", Version="1.2") + rejected(
         1, Action="Display", Display="0") + ran("Require"), NEEDS_13 % (1, "Process"))),
    *[("%s takes %s" % (k, takes), REQUIRE + "[Section1]\nAction=%s\nText=x\n%s=%s\n" % (a, k, v),
       echoed(0, "Require", Version="1.3") + rejected(1, Action=a, Text="x") + ran("Require"))
      for a, k, v, takes in [("Gone", "Match", "middle", "exact, prefix, suffix or part"),
                             ("Close", "Case", "2", "1 or 0")]],
    ("Close needs Text or ClassName: never the whole desktop", *refused(Action="Close", Sleep="1")),
    *[("a 1.4 script in %s: values in UTF-8, cut between characters" % name, config, UNICODE_RAN)
      for name, config in UNICODE],
    ("a mark of UTF-8 still hides [Section0] of a 1.3 script", codecs.BOM_UTF8 + REQUIRE.encode() +
     b"[Section1]\n" + SLEEP0.encode(), NOTHING, HOSTS),
    ("the actions of 1.3 on no window: their echo, and Activate gives up", *gives_up(
        [("Require", dict(Version="1.3"))] + VERBS_13, 6, 'wincue: [Section6] Activate gave up '
        'after 0 ms: no shown window with ClassName "wincue-none"\n')),
]
CASES = [c + (ALL,) * (len(c) == 3) for c in CASES]  # every build unless named


# (name, arguments, config.ini, exit status, output, standard error, targets)
OPTIONS = [
    ("--version, and no script run", ["--version"], "[Section0]\n" + SLEEP0, 0,
     "wincue %s\n" % VERSION, "", ALL),
    ("other arguments are ignored", ["--frobnicate", "list"], "[Section0]\n" + SLEEP0, 0, RAN, "",
     ALL),
    ("--check stops at a rejected section", ["--check"], sections(0, 0) + "[Section1]\nAction=J\n", 1,
     echoed(0, "Sleep", Sleep="0") + rejected(1, Action="J"), "", ALL),
    ("--check without a script", ["--check"], None, 1, NOTHING, "", ALL),
    ("--list without a display", ["--list"], None, 1, "", "wincue: cannot read the desktop\n",
     HOSTS),
]


@pytest.mark.parametrize("name,args,config,status,out,err,where", OPTIONS,
                         ids=[o[0] for o in OPTIONS])
def test_option(target, tmp_path, name, args, config, status, out, err, where):
    if target.name not in where:
        pytest.skip("Wine always has a desktop")
    got = target.run(script_dir(tmp_path, config), args=args)
    assert (got, target.err) == ((status, target.expected(out)), target.expected(err))


# Standard output and error on one pipe, as on a terminal: (name, arguments,
# config.ini, what must come in this order).
ONE_PIPE = [
    ("--check echoes before it counts", ["--check"],
     "[Section0]\nAction=Display\n" + NOWHERE + "Display=0\n",
     [echoed(0, "Display", Display="0"), "wincue: [Section0] Display: 0 matching windows\n"]),
    ("a step's fail line before why it gave up", [],
     "[Section0]\nAction=Find\nTimeout=-5\n" + NOWHERE,
     ["start - Find\n", "fail  - Find\n", "wincue: [Section0] Find gave up after 0 ms"]),
]


@pytest.mark.parametrize("name,args,config,order", ONE_PIPE, ids=[o[0] for o in ONE_PIPE])
def test_one_pipe(target, tmp_path, name, args, config, order):
    """Both into one file, as into one pipe, waiting for wincue's exit and
    not for the end of the output, which Wine's services may hold."""
    with open(tmp_path / "both", "wb") as both:
        p = subprocess.Popen(target.argv + args, env=target.env, stdin=subprocess.DEVNULL,
                             cwd=script_dir(tmp_path, config), stdout=both,
                             stderr=subprocess.STDOUT)
        p.wait(DEADLINE)
    out = (tmp_path / "both").read_bytes()
    at = [out.find(target.expected(text)) for text in order]
    assert -1 not in at and at == sorted(at), out


@pytest.mark.parametrize("option", ["--help", "/?"])
def test_help(target, tmp_path, option):
    """A short usage naming every option; the script in the folder is not run."""
    status, out = target.run(script_dir(tmp_path, "[Section0]\n" + SLEEP0), args=[option])
    assert (status, out.split(b"\n")[0].rstrip(b"\r")) == (
        0, b"Usage: wincue [--list | --list-utf8 | --check | --help | --version]")
    assert all(o in out for o in (b"--check", b"/?", b"--version")) and b"start - " not in out


def make(d, config):
    kinds = {"dir": lambda p: p.mkdir(), "fifo": os.mkfifo,
             "zero": lambda p: p.symlink_to("/dev/zero"),
             "link": lambda p: (p.with_name("real.ini").write_text("[Section0]\n" + SLEEP0),
                                p.symlink_to("real.ini")),
             "big": lambda p: p.write_bytes(junk(50 << 20, 7) + b"\n[Section0]\n" +
                                            SLEEP0.encode())}
    if config in kinds:
        kinds[config](d / "config.ini")
        return d
    return script_dir(d, config)


@pytest.mark.parametrize("name,config,want,where", CASES, ids=[c[0] for c in CASES])
def test_script(target, tmp_path, name, config, want, where):
    if target.name not in where:
        pytest.skip("measures only the INI reader of Wine")
    status, want, err = want if isinstance(want, tuple) else (0, want, "")
    assert target.run(make(tmp_path, config)) == (status, target.expected(want))
    assert target.err.endswith(target.expected(err))


# Runs a program in a root of its own: a private mount namespace (a user
# namespace too when not root) chrooted into $1, with /usr and /proc bound in.
OWN_ROOT = ('r=$1; shift; for d in usr proc; do mount --rbind /$d "$r/$d" || exit 125; done; '
            'exec unshare --root="$r" --wd="$1" "$2"')


def own_root(target, root, directory):
    """target run in root, holding a copy of its program, from directory
    (a path inside root); skips where no namespace can be made."""
    for d in ("usr", "proc"):
        (root / d).mkdir()
    for d in ("bin", "lib", "lib64"):  # Debian's merged /usr
        (root / d).symlink_to(os.readlink("/" + d))
    shutil.copy(target.argv[0], root / "wincue")
    argv = ["unshare", "--mount"] + (["--map-root-user"] if os.geteuid() else []) + [
        "sh", "-c", OWN_ROOT, "sh", str(root)]
    probe = subprocess.run(argv + ["/", "/bin/true"], capture_output=True, text=True)
    if probe.returncode:
        pytest.skip("no root of its own here: " + probe.stderr.strip())
    ran = Target(target.name)
    ran.argv = argv + [directory, "/wincue"]
    return ran


@pytest.mark.parametrize("length", [243, 244, 255])
def test_current_directory_length(target, tmp_path, length):
    """243 characters of directory fit the script path; 244 do not (the path
    would overflow), nor 255 (the directory itself does not fit, and an
    emptied one would lead to the root's config.ini): then nothing is read,
    neither a decoy at the root nor a cut-off name. The root is the test's
    own: Wine's drive M:, or on Linux a chroot."""
    decoy = b"[Section0]\nAction=Sleep\nSleep=decoy\n"
    root = tmp_path / "root"
    drive = root / "drive"
    drive.mkdir(parents=True)
    (root / "config.ini").write_bytes(decoy)
    if target.name == "wine":  # drive M: is the root, M:\config.ini the decoy
        link = Path(target.env["WINEPREFIX"]) / "dosdevices" / "m:"
        if link.is_symlink():
            link.unlink()
        link.symlink_to(root)
        prefix = len("M:\\drive")
    else:
        prefix = len("/drive")
    d, left = drive, length - prefix
    while left > 0:
        d, left = d / ("d" * (min(100, left) - 1)), left - min(100, left)
    d.mkdir(parents=True)
    (d / "config.ini").write_text("[Section0]\n" + SLEEP0)
    (d / "config.in").write_bytes(decoy)
    if target.name != "wine":
        target = own_root(target, root, "/" + str(d.relative_to(root)))
    assert target.run(d) == (0, target.expected(RAN if length == 243 else NOTHING))


def test_sleep_pauses(target, tmp_path):
    t = time.monotonic()
    status, out = target.run(script_dir(tmp_path, "[Section0]\nAction=Sleep\nSleep=500\n"))
    assert (status, out) == (0, target.expected(echoed(0, "Sleep", Sleep="500") + ran("Sleep")))
    assert time.monotonic() - t >= 0.5


@pytest.mark.parametrize("held", [("Find", dict(ClassName="never")),
                                  ("Sleep", dict(Sleep="60000"))], ids=lambda h: h[0])
def test_lines_leave_before_a_wait_and_together_before_none(target, tmp_path, ends, held):
    """A step that waits (a Find whose window never comes, a long Sleep)
    holds the run; ended from outside, it has written every line before it.
    A script of Sleep=0 steps, which neither wait nor act, writes its whole
    output at once (Linux: counted from outside)."""
    config, want = script(("Sleep", dict(Sleep="0")), ("Sleep", dict(Sleep="0")), held)
    want = target.expected(want[:-len("end   - %s\n" % held[0])])
    assert begun(ends, target, tmp_path, config, want).out == want
    if target.name == "wine" or held[0] == "Find":
        return
    trace = tmp_path / "writes"
    script_dir(tmp_path, sections(0, 254))
    subprocess.run(["strace", "-e", "trace=write", "-o", str(trace)] + target.argv, cwd=tmp_path,
                   stdout=subprocess.DEVNULL, env=dict(target.env, ASAN_OPTIONS="detect_leaks=0"),
                   check=True, timeout=60)  # LeakSanitizer cannot run under ptrace
    assert sum(line.startswith("write(1,") for line in trace.read_text().splitlines()) == 1


def linger_report(path):
    """What linger wrote: its arguments, and on Linux what it inherited."""
    wait_until(lambda: path.exists() and "reported\n" in path.read_text(), DEADLINE, path.name)
    return path.read_text().split("\n")


# (name, Cmd lines, the first line of each report the programs leave, or None: no report)
COMMANDS = [
    ("the program runs with its arguments, % and all",
     ['{linger} ran%s%d.txt 100% "two words"'], {"ran%s%d.txt": "started 100% two words"}),
    ("a file that is no program is skipped", ["{notexec}", "{linger} after.txt"],
     {"after.txt": "started", "ran.txt": None}),
    ("unbalanced quotes: nothing runs, or the argument runs to the end",
     ['"{linger} never.txt', '{linger} args.txt "two  words'],
     {"args.txt": "started two  words", "never.txt": None}),
]


@pytest.mark.parametrize("name,lines,reports", COMMANDS, ids=[c[0] for c in COMMANDS])
def test_cmd(target, tmp_path, ends, name, lines, reports):
    """The end line comes while the program still runs (it ends only when
    the test lets it), and the program ran as asked, in a session of its own
    with the standard streams and nothing else."""
    notexec = "notexec.exe" if target.name == "wine" else "./notexec"
    (tmp_path / notexec).write_text("#!/bin/sh\necho ran > ran.txt\n")
    lines = [x.format(linger=target.program("linger"), notexec=notexec) for x in lines]
    config = "".join("[Section%d]\nAction=Cmd\nCmd=%s\n" % (i, x) for i, x in enumerate(lines))
    want = "".join(echoed(i, "Cmd", Cmd=x) for i, x in enumerate(lines)) + ran(*["Cmd"] * len(lines))
    ends(lambda: [(tmp_path / (name + ".stop")).touch() for name in reports])
    with open(os.devnull) as held:  # wincue's own descriptors stay its own
        got = target.run(script_dir(tmp_path, config), pass_fds=(held.fileno(),))
    assert got == (0, target.expected(want))
    # files that must not appear are checked once the others show the programs ran
    for name, first in sorted(reports.items(), key=lambda r: r[1] is None):
        if first is None:
            assert not (tmp_path / name).exists()
            continue
        report = linger_report(tmp_path / name)
        assert report[0] == first
        if target.name != "wine":
            assert report[1] != "session %d" % os.getsid(0)
            assert report[2:6] == ["fds 0 1 2", "blocked 0", "ignored", "cwd %s" % tmp_path]


def test_output_to_a_pipe_nobody_reads(target, tmp_path, ends):
    """Every line fails to be written, and the run goes on to its end, as on
    Windows: the program of the last step still starts."""
    config = "[Section0]\n" + SLEEP0 + "[Section1]\nAction=Cmd\nCmd=%s after.txt\n" % (
        target.program("linger"))
    r, w = os.pipe()
    os.close(r)
    p = subprocess.Popen(target.argv, cwd=script_dir(tmp_path, config), env=target.env,
                         stdin=subprocess.DEVNULL, stdout=w, stderr=subprocess.DEVNULL)
    os.close(w)
    ends(lambda: stop_pid(p.pid))
    ends((tmp_path / "after.txt.stop").touch)
    assert (p.wait(DEADLINE), linger_report(tmp_path / "after.txt")[0]) == (0, "started")


@pytest.mark.parametrize("readable", [False, True])
def test_unreadable_to_the_user(tmp_path, readable):
    """Run as an unprivileged user: an unreadable config.ini is no script."""
    (script_dir(tmp_path, "[Section0]\n" + SLEEP0) / "config.ini").chmod(0o644 if readable else 0)
    target = Target("host")
    if os.geteuid() == 0:  # nobody runs a copy: it may not reach the build
        target.argv = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", str(
            readable_copy(tmp_path / "copy") / "build" / "host" / "wincue")]
    assert target.run(tmp_path) == (0, (RAN if readable else NOTHING).encode())
