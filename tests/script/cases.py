"""Scripts and the exact output wincue must print for them, the same on
every build. Expected text uses "\\n"; the Windows build's CR LF is added by
the runner. Each case: (name, config.ini text or None, expected output).
"""


def sections(first, last, body):
    return "".join("[Section%d]\n%s" % (i, body) for i in range(first, last + 1))


def echo(i, action, field, value):
    return "[Section%d]\nAction    =%s\n%s=%s\n\n" % (i, action, field.ljust(10), value)


def run(*actions):
    return "".join("start - %s\nend   - %s\n" % (a, a) for a in actions)


def rejected(i, action="", text="", cls="", enable="", display="", sleep="", cmd=""):
    return ("Can not understand a Section .\n[Section%d]\nAction    =%s\nText      =%s\n"
            "ClassName =%s\nEnable    =%s\nDisplay   =%s\nSleep     =%s\nCmd       =%s\n"
            % (i, action, text, cls, enable, display, sleep, cmd))


NOTHING = "Can not read a config.ini ."
LONG = "wincue-no-such-program-" + "x" * 300
NOWHERE = "ClassName=wincue-no-such-class\n"  # window steps that touch nothing

CASES = [
    ("missing config.ini", None, NOTHING),
    ("empty config.ini", "", NOTHING),
    ("only other sections and keys", "[General]\nAction=Sleep\nSleep=1\n[Section0]\nFoo=1\n",
     NOTHING),
    ("empty values end the script silently", "[Section0]\nAction=\nSleep=\nCmd=\n", NOTHING),
    ("one Sleep step", "[Section0]\nAction=Sleep\nSleep=0\n",
     echo(0, "Sleep", "Sleep", "0") + run("Sleep")),
    ("section and key names in any case, echoed as formatted",
     "[SECTION0]\naction=Sleep\nSLEEP=0\n", echo(0, "Sleep", "Sleep", "0") + run("Sleep")),
    ("Sleep of letters is accepted and echoed unchanged", "[Section0]\nAction=Sleep\nSleep=abc\n",
     echo(0, "Sleep", "Sleep", "abc") + run("Sleep")),
    ("Enable with neither Text nor ClassName echoes neither",
     "[Section0]\nAction=Enable\nEnable=1\n", echo(0, "Enable", "Enable", "1") + run("Enable")),
    ("Enable 0 and Display 0 and 1",
     "[Section0]\nAction=Enable\nEnable=0\n" + NOWHERE +
     "[Section1]\nAction=Display\nDisplay=0\nText=x\n" + NOWHERE +
     "[Section2]\nAction=Display\nDisplay=1\n" + NOWHERE,
     echo(0, "Enable", "Enable", "0") + echo(1, "Display", "Display", "0") +
     echo(2, "Display", "Display", "1") + run("Enable", "Display", "Display")),
    ("Cmd of a program that does not exist", "[Section0]\nAction=Cmd\nCmd=wincue-no-such-program\n",
     echo(0, "Cmd", "Cmd", "wincue-no-such-program") + run("Cmd")),
    ("values the action does not use are kept quiet",
     "[Section0]\nAction=Sleep\nSleep=0\nCmd=x\nText=t\nEnable=1\n",
     echo(0, "Sleep", "Sleep", "0") + run("Sleep")),
    ("a gap in the numbering ends the script",
     sections(0, 1, "Action=Sleep\nSleep=0\n") + "[Section3]\nAction=Sleep\nSleep=0\n",
     echo(0, "Sleep", "Sleep", "0") + echo(1, "Sleep", "Sleep", "0") + run("Sleep", "Sleep")),
    ("255 sections are read, the 256th never",
     sections(0, 255, "Action=Sleep\nSleep=0\n"),
     "".join(echo(i, "Sleep", "Sleep", "0") for i in range(255)) + run(*["Sleep"] * 255)),
    ("values are cut at 254 characters", "[Section0]\nAction=Cmd\nCmd=%s\n" % LONG,
     echo(0, "Cmd", "Cmd", LONG[:254]) + run("Cmd")),
    ("% in values is printed as it is",
     "[Section0]\nAction=Sleep\nSleep=0%s%d%n%%\n[Section1]\nAction=%s%n\nText=%x\n",
     echo(0, "Sleep", "Sleep", "0%s%d%n%%") + rejected(1, action="%s%n", text="%x") +
     run("Sleep")),
    ("action word in lower case is rejected", "[Section0]\nAction=enable\nEnable=1\n",
     rejected(0, action="enable", enable="1") + NOTHING),
    ("Enable value other than 1 or 0 is rejected", "[Section0]\nAction=Enable\nEnable=2\n",
     rejected(0, action="Enable", enable="2") + NOTHING),
    ("Display without a value is rejected", "[Section0]\nAction=Display\nText=x\n",
     rejected(0, action="Display", text="x") + NOTHING),
    ("Find needs Text or ClassName", "[Section0]\nAction=Find\nSleep=5\n",
     rejected(0, action="Find", sleep="5") + NOTHING),
    ("Sleep and Cmd need their value",
     "[Section0]\nAction=Sleep\nCmd=x\n", rejected(0, action="Sleep", cmd="x") + NOTHING),
    ("no Action but a Cmd is rejected", "[Section0]\nCmd=notepad\n",
     rejected(0, cmd="notepad") + NOTHING),
    ("unknown action word is rejected", "[Section0]\nAction=Jump\nDisplay=1\n",
     rejected(0, action="Jump", display="1") + NOTHING),
    ("rejection after accepted steps: they still run",
     sections(0, 2, "Action=Sleep\nSleep=0\n") + "[Section3]\nAction=Cmd\nText=a\nClassName=b\n"
     "Enable=1\nDisplay=0\nSleep=9\n[Section4]\nAction=Sleep\nSleep=0\n",
     "".join(echo(i, "Sleep", "Sleep", "0") for i in range(3)) +
     rejected(3, action="Cmd", text="a", cls="b", enable="1", display="0", sleep="9") +
     run("Sleep", "Sleep", "Sleep")),
]

# A Find step whose window never comes holds the run; ended from outside,
# every line written so far must have reached the pipe.
FIND_HELD = ("Find waits; lines so far survive the kill",
             "[Section0]\nAction=Sleep\nSleep=0\n[Section1]\nAction=Find\n"
             "ClassName=wincue-never-there\n",
             echo(0, "Sleep", "Sleep", "0") +
             "[Section1]\nAction    =Find\nText      =\nClassName =wincue-never-there\n\n" +
             run("Sleep") + "start - Find\n")
