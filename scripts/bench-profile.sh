#!/bin/sh
# Figures for the Linux INI reader: one call, LoadScript of a 255-step
# script, 50 MB of junk. Prints numbers; asserts nothing.
set -e
cd "$(dirname "$0")/.."
cmake --preset host >/dev/null
cmake --build --preset host -j 2 --target profile_bench >/dev/null
exec build/host/bench/profile_bench
