"""Writes the fuzzer's seed corpus: every script the project ships or tests.

usage: seeds.py DIR    (DIR is emptied first)
Sources: examples/config.ini, the script table, the INI reader's rows.
"""
import hashlib
import shutil
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path[:0] = [str(ROOT / "tests"), str(ROOT / "tests" / "script"),
                str(ROOT / "tests" / "platform")]
from test_profile import ROWS  # noqa: E402
from test_script import CASES  # noqa: E402


def scripts():
    yield (ROOT / "examples" / "config.ini").read_bytes()
    for config in [c[1] for c in CASES] + [r[1] for r in ROWS]:
        if isinstance(config, bytes):
            yield config
        elif isinstance(config, str) and "\n" in config:
            yield config.encode("latin-1")


def main():
    out = Path(sys.argv[1])
    shutil.rmtree(out, ignore_errors=True)
    out.mkdir(parents=True)
    for data in scripts():
        (out / hashlib.sha1(data).hexdigest()).write_bytes(data)


if __name__ == "__main__":
    main()
