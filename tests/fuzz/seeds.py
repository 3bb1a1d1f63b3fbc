"""Writes the fuzzer's seed corpus: every script the project ships or tests.

usage: seeds.py DIR    (DIR is emptied first)
Sources: examples/config.ini, the script and fault tables, the INI
comparison rows.
"""
import hashlib
import shutil
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path[:0] = [str(ROOT / "tests" / "script"), str(ROOT / "tests" / "platform")]
from cases import CASES, FIND_HELD  # noqa: E402
from run_faults import FAULTS  # noqa: E402
from run_profile_diff import ROWS  # noqa: E402


def scripts():
    yield (ROOT / "examples" / "config.ini").read_bytes()
    for _, config, _ in CASES + [FIND_HELD]:
        if config is not None:
            yield config.encode("latin-1")
    for _, content, _, _ in FAULTS + ROWS:
        if isinstance(content, bytes):
            yield content


def main():
    out = Path(sys.argv[1])
    shutil.rmtree(out, ignore_errors=True)
    out.mkdir(parents=True)
    for data in scripts():
        (out / hashlib.sha1(data).hexdigest()).write_bytes(data)


if __name__ == "__main__":
    main()
