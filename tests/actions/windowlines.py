"""The line protocol of the Linux test window programs, testwindows_x11.py
and testwindows_wayland.py, that of testwindows.cpp under Wine and more, so
that one table of window cases runs on every desktop. One command a line,
its fields separated by tabs:

  (at start)                        -> ready
  create CLASS TITLE [FLAGS]        -> created ID      (IDs count from 0)
  state                             -> CLASS TITLE visible=0|1 enabled=0|1 ..., end
  look                              -> as state, then minimized=0|1 maximized=0|1
                                       active=0|1, end
  show ID, close ID                 -> shown ID, closed ID
  title ID TITLE                    -> titled ID
  ids                               -> each window's id (0x and 8 hex digits), end
  events                            -> the clicks and keys each window got since the
                                       last "events" (button ID, key ID), end
  quit, or the end of the input     -> exits; its windows go with it

FLAGS, a comma list of NAME or NAME=VALUE, and the commands each program
adds, are its own (see there). A closed window reads "gone".
"""
import os
import sys
import time

WAIT = 60  # seconds a desktop may take on a loaded machine
events = []  # what "events" gives next


def reply(text):
    sys.stdout.write(text + "\n")
    sys.stdout.flush()


def flags(text):
    return dict(f.partition("=")[::2] for f in text.split(",") if f)


def until(check, what, pump=lambda: None):
    """Until check() gives a true value, which it returns, pumping the
    program's events between looks; a generous bound, then the program ends
    saying what it waited for (no answer is better than a wrong one; not by
    sys.exit, which GTK's handlers catch)."""
    deadline = time.monotonic() + WAIT
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > deadline:
            sys.stderr.write("%s: timed out waiting for %s\n" % (
                os.path.basename(sys.argv[0]), what))
            os._exit(1)
        pump()
        time.sleep(0.002)


def serve(line, acts, lists, settle):
    """Answers one line; false at its end. acts maps a command to the
    numbers of arguments it takes and a function that does it and gives its
    answer; lists, a command to a function that gives its lines once
    settle() has handled what came before."""
    if not line or line.strip() == "quit":
        return False
    verb, *args = line.rstrip("\r\n").split("\t")
    lists = dict(lists, events=lambda: [events.pop(0) for _ in list(events)])  # told once
    if verb in lists and not args:
        settle()
        for text in list(lists[verb]()) + ["end"]:
            reply(text)
    elif verb in acts and len(args) in acts[verb][0]:
        reply(acts[verb][1](*args))
    else:
        reply("error unknown command")
    return True
