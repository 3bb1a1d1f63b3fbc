/*
 * The script KWin runs for the program. It tells the program of the
 * windows in batches: each holds the whole state (class, title, minimized)
 * of every window that changed since the batch before, or that it went, so
 * a batch told twice does no harm. One batch at a time is on its way; the
 * next goes when the program answers, and the same again when no answer
 * comes in time (KWin's callDBus never calls back on an error, such as a
 * bus refusing a call past its limit of replies outstanding).
 *
 * Commands come as answers to a Next call the script keeps waiting: each
 * carries a number, and the batch after them says the last number carried
 * out, so the program knows when they took effect; the script waits on the
 * program again once that batch is answered. A waiting call fails after
 * 25 s: one waiting 10 s is replaced (a timer looks every 5 s), and the
 * program answers the newest. When the program's bus name goes (it ended,
 * or was killed), the script unloads itself at the next look, the first
 * at once.
 *
 * Texts cross the bus as ASCII: every character outside printable ASCII,
 * and the backslash, goes as \uXXXX (UTF-16), so any title arrives as it
 * is, and tabs and newlines part the fields and windows.
 */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
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
var done = 0;        /* the last command carried out */
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
			        ascii(w.c.resourceClass) + "\t" + ascii(w.title) + "\n";
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

function arm() {
	var mine = ++armed;
	armedAt = Date.now();
	callDBus(caller, path, face, "Next", function (commands, number) {
		if (number <= done) {
			if (mine == armed && !rearm)
				arm(); /* dismissed: waits again */
			return;
		}
		var lines = String(commands).split("\n");
		for (var i = 0; i < lines.length; i++) {
			var f = lines[i].split("\t"), w = windows[f[0]];
			if (w !== undefined) {
				w.c.minimized = f[1] == "1";
				results[f[0]] = w.c.minimized ? 1 : 0;
			}
		}
		done = number;
		rearm = true;
		tell();
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

function watch(c) {
	var id = String(c.internalId), w = {c: c, id: id};
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
listed = true;
tell();
arm();

var timer = new QTimer();
timer.interval = 5000;
timer.timeout.connect(check);
timer.start();
check();
)js";

/* The run directory is the user's own; KWin, perhaps another user, needs
 * only to read the file. */
static int CreateScriptFile(char *path, int size)
{
	const char *dir = getenv("XDG_RUNTIME_DIR");
	int fd;

	if (dir == NULL || dir[0] != '/')
		dir = "/tmp";
	if (snprintf(path, (size_t)size, "%s/wincue-kwin-XXXXXX", dir) >= size)
		return -1;
	fd = mkstemp(path);
	if (fd >= 0 && fchmod(fd, 0644) != 0) {
		close(fd);
		unlink(path);
		return -1;
	}
	return fd;
}

bool KWinWriteScript(const char *caller, const char *name, char *path, int size)
{
	int fd = CreateScriptFile(path, size);
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
	fprintf(f, "var caller = \"%s\", name = \"%s\";\n", caller, name);
	fputs(script, f);
	written = ferror(f) == 0;
	if (fclose(f) != 0 || !written) {
		unlink(path);
		return false;
	}
	return true;
}
