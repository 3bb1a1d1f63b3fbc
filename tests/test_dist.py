"""The release packages `make dist` leaves in build/dist: the Windows zip,
the Debian package and the manual page they carry."""
import hashlib
import os
import re
import shutil
import subprocess
import tempfile
import zipfile
from pathlib import Path

import pytest

from harness import BUILD, ROOT

with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
    VERSION = re.search(r"project\(wincue VERSION (\S+)", f.read()).group(1)
ARCH = subprocess.run(["dpkg", "--print-architecture"], capture_output=True,
                      text=True, check=True).stdout.strip()
ZIP = os.path.join(BUILD, "dist", f"wincue-{VERSION}-win32.zip")
DEB = os.path.join(BUILD, "dist", f"wincue_{VERSION}_{ARCH}.deb")
DOC = "usr/share/doc/wincue/"
# The pages the README links to, which both packages carry beside it.
PAGES = sorted("docs/" + f for f in os.listdir(os.path.join(ROOT, "docs")) if f.endswith(".md"))
DEB_FILES = {"usr/bin/wincue": "-rwxr-xr-x", "usr/share/man/man1/wincue.1.gz": "-rw-r--r--",
             **{"usr/lib/wincue/wincue-%s.so" % d: "-rw-r--r--" for d in ("x11", "sway", "kwin",
                                                                          "gnome", "gnome-install",
                                                                          "wlr")},
             **{"usr/share/gnome-shell/extensions/%s/%s" % (uuid, f): "-rw-r--r--"
                for uuid in ("wincue-43@wincue.example", "wincue-45@wincue.example")
                for f in ("metadata.json", "extension.js")},
             **{DOC + f: "-rw-r--r--" for f in ("README.md", "LICENSE", "copyright",
                "changelog.gz", "examples/config.ini", "examples/linux/config.ini",
                "examples/wayland/config.ini", *PAGES)}}
SLEEP_RUN = b"[Section0]\nAction    =Sleep\nSleep     =0\n\nstart - Sleep\nend   - Sleep\n"
FIELDS = dict(Package="wincue", Version=VERSION, Architecture=ARCH, Suggests="x11-apps, zenity",
              Depends="libc6 libglib2.0-0 libjson-c5 libsystemd0 libwayland-client0 libxcb1")


def run(*cmd, **kw):
    return subprocess.run(cmd, capture_output=True, text=True, timeout=120, **kw)


def test_package_contents():
    """Every file in each package; the zip's program is the one release_check passes."""
    lines = run("dpkg-deb", "-c", DEB).stdout.splitlines()
    assert {l.split()[-1][2:]: l.split()[0] for l in lines if not l.endswith("/")} == DEB_FILES
    assert set(zipfile.ZipFile(ZIP).namelist()) == {
        "wincue.exe", "README.txt", "LICENSE.txt", "CHANGES.txt", "examples/",
        "examples/config.ini", "docs/", *PAGES}
    with open(os.path.join(BUILD, "win32", "wincue.exe"), "rb") as f:
        assert zipfile.ZipFile(ZIP).read("wincue.exe") == f.read()


@pytest.mark.parametrize("member,source", [
    ("README.txt", "resources/README.txt"), ("LICENSE.txt", "LICENSE"),
    ("CHANGES.txt", "cmake/debian-changelog"),
    ("examples/config.ini", "examples/config.ini"), *((page, page) for page in PAGES)])
def test_zip_text_is_source_with_crlf(member, source):
    data = zipfile.ZipFile(ZIP).read(member)
    assert data.count(b"\n") == data.count(b"\r\n") == data.count(b"\r") > 0
    with open(os.path.join(ROOT, source), "rb") as f:
        assert data.replace(b"\r\n", b"\n") == f.read()


def test_windows_users_get_plain_text_and_sums():
    """README.txt reads in Notepad as it is, the Windows quick start first; SHA256SUMS
    lists both packages."""
    text = zipfile.ZipFile(ZIP).read("README.txt").decode("ascii")
    assert re.findall(r"\r\n(\w[^\r\n]*)\r\n-+\r\n", text)[:1] == ["Quick start"]
    assert "..\\wincue.exe" in text and not re.search(r"```|\]\(|^#", text, re.M)
    with open(os.path.join(BUILD, "dist", "SHA256SUMS")) as f:
        listed = dict(line.split("  ")[::-1] for line in f.read().splitlines())
    assert listed == {os.path.basename(p): hashlib.sha256(open(p, "rb").read()).hexdigest()
                      for p in (ZIP, DEB)}


def source_date_epoch():
    """What `make dist` stamps the packages with: the environment's, else the commit's."""
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return os.environ["SOURCE_DATE_EPOCH"]
    out = shutil.which("git") and run("git", "-C", ROOT, "log", "-1", "--format=%ct")
    if not out or out.returncode != 0:  # no git: make dist has no commit time either
        pytest.skip("no commit to take the packages' time from")
    return out.stdout.strip()


def on_tmpfs(path):
    return run("stat", "-f", "-c", "%T", path).stdout.strip() == "tmpfs"


# Where a second build can go: on a tmpfs, or else on a disk.
TMPFS_DIRS = ("/dev/shm", "/run/shm", "/tmp", os.environ.get("XDG_RUNTIME_DIR"))
DISK_DIRS = ("/var/tmp", tempfile.gettempdir(), os.path.expanduser("~"))


@pytest.fixture(scope="module")
def rebuilt():
    """The packages built again on a file system of the other kind than the build's:
    a tmpfs lists a directory newest first, ext4 by hash, and they size directories
    differently."""
    here = on_tmpfs(BUILD)
    tried = DISK_DIRS if here else TMPFS_DIRS
    other = next((d for d in tried if d and os.access(d, os.W_OK) and on_tmpfs(d) != here),
                 None)
    if other is None:
        pytest.skip("no directory on a file system of another kind than %s's to build the"
                    " packages again in (tried %s)" % (BUILD, ", ".join(filter(None, tried))))
    tmp = Path(tempfile.mkdtemp(prefix="wincue-rebuilt-", dir=other))
    try:
        yield build_packages(tmp)
    finally:
        shutil.rmtree(tmp)


def build_packages(tmp):
    """The packages built from the presets but in tmp, with only what they hold."""
    env = dict(os.environ, SOURCE_DATE_EPOCH=source_date_epoch())
    for preset, generator in (("win32", "ZIP"), ("host", "DEB")):
        build = str(tmp / preset)
        for cmd in (("cmake", "--preset", preset, "-B", build, "-DBUILD_TESTING=OFF",
                     "-DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON"),
                    ("cmake", "--build", build, "-j2", "--target", "wincue"),
                    ("cpack", "-G", generator, "-B", str(tmp / "dist"))):
            out = run(*cmd, cwd=build if cmd[0] == "cpack" else ROOT, env=env)
            assert out.returncode == 0, out.stdout + out.stderr
    return tmp / "dist"


@pytest.mark.parametrize("package", [ZIP, DEB], ids=["zip", "deb"])
def test_package_is_reproducible(rebuilt, package):
    with open(package, "rb") as a, open(rebuilt / os.path.basename(package), "rb") as b:
        assert a.read() == b.read()


def test_deb_fields():
    info = dict(re.findall(r"(?m)^ (\w+): (.*)$", run("dpkg-deb", "-I", DEB).stdout))
    # Depends by name only: shlibdeps' versions follow the libraries, and
    # Debian 13 names some for their 64-bit time (libglib2.0-0t64)
    info["Depends"] = " ".join(sorted(d.split(" ")[0].removesuffix("t64")
                                      for d in info["Depends"].split(", ")))
    assert {f: info.get(f) for f in FIELDS} == FIELDS


def test_deb_program_runs_a_script_and_installs_the_gnome_extension(tmp_path):
    """The packaged program runs a script, and finds the extension where the
    package put it."""
    assert run("dpkg", "-x", DEB, str(tmp_path / "root")).returncode == 0
    (tmp_path / "config.ini").write_text("[Section0]\nAction=Sleep\nSleep=0\n")
    out = subprocess.run([str(tmp_path / "root/usr/bin/wincue")], cwd=tmp_path,
                         capture_output=True, timeout=30)
    assert (out.returncode, out.stdout) == (0, SLEEP_RUN)
    (tmp_path / "home").mkdir()
    out = subprocess.run([str(tmp_path / "root/usr/bin/wincue"), "--install-gnome-extension"],
                         capture_output=True, text=True, timeout=60,
                         env={"HOME": str(tmp_path / "home"), "PATH": os.environ["PATH"],
                              "XDG_RUNTIME_DIR": str(tmp_path)})
    version = int(run("gnome-shell", "--version").stdout.split()[2].split(".")[0])
    uuid = "wincue-%d@wincue.example" % (43 if version < 45 else 45)
    installed = tmp_path / "home/.local/share/gnome-shell/extensions" / uuid
    assert (out.returncode, out.stderr) == (0, "")
    assert [(installed / f).read_bytes() for f in ("metadata.json", "extension.js")] == [
        (tmp_path / "root/usr/share/gnome-shell/extensions" / uuid / f).read_bytes()
        for f in ("metadata.json", "extension.js")]


@pytest.mark.parametrize("cmd,complaint", [
    (("lintian", DEB), r"(?m)^E: "),
    # A stale man database on the build machine is no fault of the page.
    (("mandoc", "-T", "lint", os.path.join(ROOT, "wincue.1")),
     r"(?m)^(?!mandoc: outdated mandoc\.db lacks)\S")])
def test_no_complaints(cmd, complaint):
    out = run(*cmd)
    report = out.stdout + out.stderr
    assert out.returncode == 0 and not re.search(complaint, report), report
