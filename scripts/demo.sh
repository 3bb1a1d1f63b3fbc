#!/bin/sh
# Debian's python3: the harness it shares with the tests needs python3-xlib.
exec /usr/bin/python3 "$(dirname "$0")/demo.py" "$@"
