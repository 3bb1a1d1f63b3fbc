/*
 * The script KWin runs for the program. It tells the program of the
 * windows in batches: each holds the whole state (minimized, pid, place in
 * the stacking order, class, title) of every window that changed since the
 * batch before, or that it went, and the active window when that changed,
 * so a batch told twice does no harm. One batch at a time is on its way; the
 * next goes when the program answers, and the same again when no answer
 * comes in time (KWin's callDBus never calls back on an error, such as a
 * bus refusing a call past its limit of replies outstanding).
 *
 * Commands come as answers to a Next call the script keeps waiting: each
 * carries a number, and the batch after them says the last number carried
 * out, so the program knows when they took effect; the script waits on the
 * program again once that batch is answered. A command is a line: a
 * window's id, then m and 1 or 0 (minimize or restore it), x and 1 or 0
 * (maximize it or not), a (activate it), c (close it as its close button
 * does), d and the path
 * of a shield script (disable it: KWin loads that script under the name
 * wincue-off-ID and starts it, both asked at once, so no run killed
 * meanwhile can part them), or e (enable it: KWin unloads the shield).
 * Commands count as carried out once KWin has answered those calls. Each
 * d has one Shielded call back: from the shield, or from the script when
 * the window has gone ("gone") or KWin already held a shield ("held"). A waiting call fails after
 * 25 s: one waiting 10 s is replaced (a timer looks every 5 s), and the
 * program answers the newest. When the program's bus name goes (it ended,
 * or was killed), the script unloads itself at the next look, the first
 * at once.
 *
 * Texts cross the bus as ASCII: every character outside printable ASCII,
 * and the backslash, goes as \uXXXX (UTF-16), so any title arrives as it
 * is, and tabs and newlines part the fields and windows.
 *
 * KWin 6 lists its own windows to scripts too, the shields among them:
 * the script leaves those out.
 */
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kwin.h"

static const char script[] = R"js(
var path = "/org/wincue/KWin", face = "org.wincue.KWin";
/* Plasma 6 renamed the workspace's list and signals, and gives a window's
 * title without the " <2>" Plasma 5 adds to same-titled windows. */
var six = workspace.windowList !== undefined;
var windows = {};    /* by id: {c, title}; no title until it is known */
var changed = {};    /* ids of windows the next batch tells */
var results = {};    /* by id: what the commands done left a window, 1 minimized */
var listed = false;  /* every window there at the start is watched */
var batch = null;    /* the batch told and not yet answered */
var batches = 0, resendMs = 1000;
var told = {done: 0, ready: false}; /* the batch last answered */
var activeChanged = true; /* the next batch tells the active window */
var done = 0;        /* the last command carried out */
var doing = 0;       /* the command being carried out */
var armed = 0, armedAt = 0, rearm = false;
var lookups = [], looking = null, lookedAt = 0; /* Plasma 5's titles */

function ascii(s) {
	return String(s).replace(/[^\x20-\x5b\x5d-\x7e]/g, function (ch) {
		return "\\u" + ("000" + ch.charCodeAt(0).toString(16)).slice(-4);
	});
}

function tell() {
	if (batch !== null || !listed)
		return;
	/* Qt 6's for-in ends after 255 keys when keys go meanwhile: a copy */
	var ids = Object.keys(changed), text = "";
	var ready = lookups.length == 0 && looking === null;
	changed = {};
	/* What a command left, told with the batch that says it is done: a
	 * window another program changes meanwhile is told apart. */
	for (var id in results)
		text += "C\t" + id + "\t" + results[id] + "\n";
	results = {};
	for (var i = 0; i < ids.length; i++) {
		var id = ids[i], w = windows[id];
		if (w === undefined)
			text += "R\t" + id + "\n";
		else if (w.title === undefined)
			changed[id] = true; /* told once its title is */
		else
			text += "A\t" + id + "\t" + (w.c.minimized ? 1 : 0) + "\t" +
			        Math.max(0, w.c.pid) + "\t" + w.c.stackingOrder + "\t" +
			        ascii(w.c.resourceClass) + "\t" + ascii(w.title) + "\n";
	}
	if (activeChanged) {
		var a = six ? workspace.activeWindow : workspace.activeClient;
		text += "F\t" + (a ? String(a.internalId) : "") + "\n";
		activeChanged = false;
	}
	if (text == "" && done == told.done && ready == told.ready)
		return;
	batch = {number: ++batches, done: done, ready: ready, text: text};
	resendMs = 1000;
	post();
}

function post() {
	var b = batch;
	callDBus(caller, path, face, "Tell", b.number, b.done, b.ready, b.text, function () {
		if (batch !== b)
			return; /* the answer to a copy */
		batch = null;
		told = b;
		if (rearm && b.done == done) {
			rearm = false;
			arm();
		}
		tell();
	});
	resend.interval = resendMs;
	resend.start();
}

function note(id) {
	changed[id] = true;
	tell();
}

/* KWin maximizes a Wayland window once its program has answered: done
 * then, or after a second. The program asks only for a change (KWin 5
 * tells scripts no window's maximized state, only its changes). */
function maximized(c, full, done) {
	var timer = new QTimer(), over = false;
	var end = function () {
		if (!over) {
			over = true;
			timer.stop();
			done();
		}
	};
	if (six)
		c.maximizedChanged.connect(function () {
			if ((c.maximizeMode == 3) == full)
				end();
		});
	else
		workspace.clientMaximizeSet.connect(function (w, h, v) {
			if (w === c && (h && v) == full)
				end();
		});
	timer.singleShot = true;
	timer.interval = 1000;
	timer.timeout.connect(end);
	timer.start();
}

/* Tells the program that KWin held the shield of the window already. */
function held(id) {
	return function (number) {
		if (number < 0)
			callDBus(caller, path, face, "Shielded", id, "held");
	};
}

/* Calls KWin's scripting interface; done, if given, once KWin answers. */
function scripting(method, arg1, arg2, done) {
	var s = "org.kde.KWin", p = "/Scripting", f = "org.kde.kwin.Scripting";
	if (arg1 === undefined)
		callDBus(s, p, f, method, done);
	else if (arg2 === undefined)
		callDBus(s, p, f, method, arg1, done);
	else
		callDBus(s, p, f, method, arg1, arg2, done);
}

function arm() {
	var mine = ++armed;
	armedAt = Date.now();
	callDBus(caller, path, face, "Next", function (commands, number) {
		if (number <= done || number == doing) {
			if (mine == armed && !rearm)
				arm(); /* dismissed: waits again */
			return;
		}
		var lines = String(commands).split("\n"), waiting = 1;
		var settle = function () {
			if (--waiting == 0) {
				done = number;
				rearm = true;
				tell();
			}
		};
		doing = number;
		for (var i = 0; i < lines.length; i++) {
			var f = lines[i].split("\t"), w = windows[f[0]], off = "wincue-off-" + f[0];
			if (f[1] == "m" && w !== undefined) {
				w.c.minimized = f[2] == "1";
				results[f[0]] = w.c.minimized ? 1 : 0;
			} else if (f[1] == "x" && w !== undefined) {
				w.c.setMaximize(f[2] == "1", f[2] == "1");
				if (!six || (w.c.maximizeMode == 3) != (f[2] == "1")) {
					waiting++;
					maximized(w.c, f[2] == "1", settle);
				}
			} else if (f[1] == "a" && w !== undefined) {
				if (six)
					workspace.activeWindow = w.c;
				else
					workspace.activeClient = w.c;
			} else if (f[1] == "c" && w !== undefined) {
				w.c.closeWindow();
			} else if (f[1] == "d" && w === undefined) {
				callDBus(caller, path, face, "Shielded", f[0], "gone");
			} else if (f[1] == "d") {
				waiting++;
				scripting("loadDeclarativeScript", f.slice(2).join("\t"), off,
				          held(f[0]));
				scripting("start", undefined, undefined, settle);
			} else if (f[1] == "e") {
				waiting++;
				scripting("unloadScript", off, undefined, settle);
			}
		}
		settle();
	});
}

/* Plasma 5 shows same-titled windows as "Title <2>" (X11 ones with a mark
 * after it), and may add a machine or shortcut; its D-Bus interface gives
 * the title without them. One look-up at a time. */
function title(w) {
	var caption = String(six ? w.c.captionNormal : w.c.caption);
	if (six || !/(>\u200e?|\})$/.test(caption)) {
		w.title = caption;
		note(w.id);
	} else if (lookups.indexOf(w.id) < 0) {
		lookups.push(w.id);
		look();
	}
}

function look() {
	if (looking !== null || lookups.length == 0)
		return;
	var id = lookups.shift();
	looking = id;
	lookedAt = Date.now();
	callDBus("org.kde.KWin", "/KWin", "org.kde.KWin", "getWindowInfo", id, function (info) {
		if (looking !== id)
			return;
		looking = null;
		var w = windows[id];
		if (w !== undefined) {
			w.title = String(info.caption !== undefined ? info.caption : w.c.caption);
			note(id);
		}
		look();
	});
}

/* A shield of ours, which KWin 6 lists as a window of its own. */
function shield(c) {
	return String(c.caption).indexOf("wincue-shield ") == 0 && String(c.resourceClass) == "";
}

function watch(c) {
	var id = String(c.internalId), w = {c: c, id: id};
	if (shield(c))
		return;
	windows[id] = w;
	c.captionChanged.connect(function () {
		if (windows[id] === w)
			title(w);
	});
	c.windowClassChanged.connect(function () {
		if (windows[id] === w)
			note(id);
	});
	c.minimizedChanged.connect(function () {
		if (windows[id] === w)
			note(id);
	});
	c.stackingOrderChanged.connect(function () {
		if (windows[id] === w)
			note(id);
	});
	title(w);
}

function forget(c) {
	var id = String(c.internalId);
	if (windows[id] !== undefined) {
		delete windows[id];
		note(id);
	}
}

function check() {
	callDBus("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
	         "NameHasOwner", caller, function (owned) {
		if (!owned)
			callDBus("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting", "unloadScript",
			         name);
		else if (!rearm && Date.now() - armedAt >= 10000)
			arm();
	});
	if (looking !== null && Date.now() - lookedAt >= 5000) {
		lookups.push(looking); /* no answer: asked again */
		looking = null;
		look();
	}
}

var resend = new QTimer();
resend.singleShot = true;
resend.timeout.connect(function () {
	if (batch !== null) {
		resendMs = Math.min(resendMs * 2, 8000);
		post();
	}
});

var list = six ? workspace.windowList() : workspace.clientList();
for (var i = 0; i < list.length; i++)
	watch(list[i]);
(six ? workspace.windowAdded : workspace.clientAdded).connect(watch);
(six ? workspace.windowRemoved : workspace.clientRemoved).connect(forget);
(six ? workspace.windowActivated : workspace.clientActivated).connect(function () {
	activeChanged = true;
	tell();
});
listed = true;
tell();
arm();

var timer = new QTimer();
timer.interval = 5000;
timer.timeout.connect(check);
timer.start();
check();
)js";

/*
 * The shield: a declarative script KWin keeps for one disabled window,
 * under the name wincue-off-ID, until Enable=1 unloads it, the window
 * closes (it then unloads itself) or KWin ends. No property of a window
 * stops its input, so the script does it from inside KWin:
 *
 * - the pointer: a transparent window of KWin's own over the window's
 *   frame, which swallows clicks and the wheel. KWin keeps its own windows
 *   above every other, so the shield lets the pointer through (KWin's
 *   outputOnly) where a window stacked above the disabled one covers the
 *   pointer; that is worked out again whenever the pointer, a window's
 *   place, stacking, desktop or minimizing changes, which KWin tells
 *   before it picks the window under the pointer for the next event. It
 *   shows without activating, or KWin would give it every key;
 * - the keyboard: the window is left out of the task switcher, taken off
 *   the focus when disabled, and any activation of it (a script, the
 *   focused window closing) is undone at once, inside KWin's own
 *   activation, so no key reaches it: the window active before gets the
 *   focus back a moment later, if it is still there.
 *
 * KWin takes a window of its own in, and picks it for the pointer, only
 * once it has drawn its first frame, a moment after the script started:
 * the script then calls back the program that wrote it (Shielded, with the
 * window's id and "shielded"), which ends its step then. It calls "gone"
 * when the window has closed, and "cannot" when it could not make its
 * window (the QtQuick window module is missing); then it unloads itself,
 * and the window stays enabled. The text begins with the bus name to call
 * back and the window's id, as QML strings.
 */
static const char shieldHead[] = R"qml(import QtQuick 2.0
import org.kde.kwin 3.0 as KWinComponents

Item {
    id: root
)qml";

static const char shieldBody[] = R"qml(
    /* The module's workspace (KWin 6 gives declarative scripts no other),
     * with Plasma 6's names where it has them */
    readonly property QtObject ws: KWinComponents.Workspace
    property bool six: false
    property bool drawn: false
    property string outcome: ""
    property QtObject target: null
    property QtObject lastActive: null
    property var windows: []
    property bool skipped: false
    property QtObject shield: null

    /* Drawn on the current desktop and activity, as KWin picks windows. */
    function shown(w) {
        if (w.deleted || w.minimized || w.hidden)
            return false;
        if (!w.onAllDesktops && (six ? w.desktops.indexOf(ws.currentDesktop) < 0
                                     : w.desktop != ws.currentDesktop))
            return false;
        return w.activities.length == 0 || w.activities.indexOf(ws.currentActivity) >= 0;
    }
    function covers(w, p) {
        var g = w.frameGeometry;
        return p.x >= g.x && p.x < g.x + g.width && p.y >= g.y && p.y < g.y + g.height;
    }
    function isShield(w) {
        return String(w.caption).indexOf("wincue-shield ") == 0 && String(w.resourceClass) == "";
    }
    /* Whether the shield takes the pointer: the window is shown and no
     * window above it covers the pointer. Any doubt blocks. */
    function blocks() {
        try {
            var p = ws.cursorPos;
            if (target === null || !shown(target))
                return false;
            for (var i = 0; i < windows.length; i++) {
                var w = windows[i];
                if (w !== target && w.stackingOrder > target.stackingOrder && !isShield(w) &&
                    shown(w) && covers(w, p))
                    return false;
            }
        } catch (e) {
        }
        return true;
    }
    function activate(w) {
        if (six)
            ws.activeWindow = w;
        else
            ws.activeClient = w;
    }
    /* The focus leaves the window at once, inside KWin's activation; the
     * window active before gets it back a moment later, unless it went
     * meanwhile (activating a window KWin is closing crashes KWin 5). */
    function activated(w) {
        if (w === null || target === null)
            return;
        if (w !== target) {
            lastActive = w;
        } else {
            activate(null);
            Qt.callLater(giveBack);
        }
    }
    function giveBack() {
        var active = six ? ws.activeWindow : ws.activeClient;
        if (active === null && lastActive !== null && windows.indexOf(lastActive) >= 0 &&
            shown(lastActive))
            activate(lastActive);
    }
    function added(w) {
        windows = windows.concat([w]);
    }
    function removed(w) {
        windows = windows.filter(function (x) { return x !== w; });
        if (w === lastActive)
            lastActive = null;
        if (w === target)
            fail("gone");
    }

    /* Tells the program that loaded the shield what came of it. */
    function tell(what) {
        outcome = what;
        told.call();
    }
    function fail(what) {
        target = null;
        tell(what);
        unload.call();
    }

    KWinComponents.DBusCall {
        id: told
        service: root.caller
        path: "/org/wincue/KWin"
        dbusInterface: "org.wincue.KWin"
        method: "Shielded"
        arguments: [root.uuid, root.outcome]
    }
    KWinComponents.DBusCall {
        id: unload
        service: "org.kde.KWin"
        path: "/Scripting"
        dbusInterface: "org.kde.kwin.Scripting"
        method: "unloadScript"
        arguments: ["wincue-off-" + root.uuid]
    }
    Connections {
        target: root.ws
        ignoreUnknownSignals: true
        function onClientActivated(w) { root.activated(w) }
        function onWindowActivated(w) { root.activated(w) }
        function onClientAdded(w) { root.added(w) }
        function onWindowAdded(w) { root.added(w) }
        function onClientRemoved(w) { root.removed(w) }
        function onWindowRemoved(w) { root.removed(w) }
    }
    Component.onCompleted: {
        six = ws.windows !== undefined;
        var list = six ? ws.windows : ws.clients, all = [];
        for (var i = 0; i < list.length; i++) {
            all.push(list[i]);
            if (String(list[i].internalId) == uuid)
                target = list[i];
        }
        windows = all;
        try {
            if (target !== null)
                shield = Qt.createQmlObject(
                    'import QtQuick 2.0; import QtQuick.Window 2.0; Window {' +
                    ' property bool _q_showWithoutActivating: true;' +
                    ' property bool outputOnly: !root.blocks();' +
                    ' flags: Qt.FramelessWindowHint | Qt.WindowDoesNotAcceptFocus |' +
                    '     Qt.BypassWindowManagerHint;' +
                    ' color: "transparent"; title: "wincue-shield " + root.uuid;' +
                    ' x: root.target ? root.target.frameGeometry.x : 0;' +
                    ' y: root.target ? root.target.frameGeometry.y : 0;' +
                    ' width: root.target ? Math.max(1, root.target.frameGeometry.width) : 1;' +
                    ' height: root.target ? Math.max(1, root.target.frameGeometry.height) : 1;' +
                    ' visible: root.target !== null;' +
                    ' onFrameSwapped: if (!root.drawn) { root.drawn = true;' +
                    '     root.tell("shielded") }' +
                    ' MouseArea { anchors.fill: parent; acceptedButtons: Qt.AllButtons;' +
                    '     onWheel: function (wheel) { wheel.accepted = true } } }', root,
                    "shield");
        } catch (e) {
        }
        if (shield === null) {
            fail(target === null ? "gone" : "cannot");
            return;
        }
        skipped = target.skipSwitcher;
        target.skipSwitcher = true;
        if (target.active)
            activate(null);
        else
            lastActive = six ? ws.activeWindow : ws.activeClient;
    }
    Component.onDestruction: {
        if (target !== null)
            target.skipSwitcher = skipped;
        if (outcome == "")
            tell("gone"); /* unloaded before its first frame */
    }
}
)qml";

/* The run directory is the user's own; KWin, perhaps another user, needs
 * only to read the file, whose name ends in suffix. */
static int CreateScriptFile(char *path, int size, const char *suffix)
{
	const char *dir = getenv("XDG_RUNTIME_DIR");
	int fd;

	if (dir == NULL || dir[0] != '/')
		dir = "/tmp";
	if (snprintf(path, (size_t)size, "%s/wincue-kwin-XXXXXX%s", dir, suffix) >= size ||
	    strchr(path, '\n') != NULL)
		return -1;
	fd = mkstemps(path, (int)strlen(suffix));
	if (fd >= 0 && fchmod(fd, 0644) != 0) {
		close(fd);
		unlink(path);
		return -1;
	}
	return fd;
}

/* Writes what format says, then text, to a new file readable by KWin. */
static bool WriteScript(const char *text, const char *suffix, char *path, int size,
                        const char *format, ...)
{
	int fd = CreateScriptFile(path, size, suffix);
	va_list ap;
	FILE *f;
	bool written;

	if (fd < 0)
		return false;
	f = fdopen(fd, "w");
	if (f == NULL) {
		close(fd);
		unlink(path);
		return false;
	}
	va_start(ap, format);
	vfprintf(f, format, ap);
	va_end(ap);
	fputs(text, f);
	written = ferror(f) == 0;
	if (fclose(f) != 0 || !written) {
		unlink(path);
		return false;
	}
	return true;
}

/* Whether text has only characters of chars: nothing else goes into the
 * scripts' text. */
static bool Only(const char *text, const char *chars)
{
	return strspn(text, chars) == strlen(text);
}

/* What a unique bus name, and so a script's name, is made of. */
static const char busNameChars[] = ":._-0123456789"
                                   "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

bool KWinWriteScript(const char *caller, const char *name, char *path, int size)
{
	if (!Only(caller, busNameChars) || !Only(name, busNameChars))
		return false;
	return WriteScript(script, ".js", path, size, "var caller = \"%s\", name = \"%s\";\n",
	                   caller, name);
}

bool KWinWriteShield(const char *caller, const char *uuid, char *path, int size)
{
	if (!Only(uuid, "0123456789abcdefABCDEF{}-") || !Only(caller, busNameChars))
		return false;
	return WriteScript(shieldBody, ".qml", path, size,
	                   "%s    readonly property string caller: \"%s\"\n"
	                   "    readonly property string uuid: \"%s\"",
	                   shieldHead, caller, uuid);
}
