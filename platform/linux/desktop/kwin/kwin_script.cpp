/*
 * The script KWin runs for the program. It calls the program back with
 * each window (Added, Title, Class, Minimized, Removed) and, once it has told
 * all there were, Ready. Commands come as answers to a Next call it keeps
 * waiting: each carries a number, and the next Next call says the last
 * number done, so the program knows when its command took effect. A call
 * left waiting fails after 25 s: one waiting 10 s is replaced by a new
 * one (a timer looks every 5 s), and the program answers the newest. When
 * the program's bus name goes (it ended, or was killed), the script
 * unloads itself at the next look.
 */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kwin.h"

static const char script[] = R"js(
var path = "/org/wincue/KWin", face = "org.wincue.KWin";
var clients = {}, applied = 0, sentAt = 0, unsent = 0, ready = false;

function tell(method, a, b, c, d) {
	callDBus(caller, path, face, method, a, b, c, d);
}

function key(c) {
	return String(c.internalId);
}

function toldAll() {
	if (!ready && unsent == 0) {
		ready = true;
		tell("Ready");
	}
}

/* KWin tells windows of one title apart with " <2>" after it; its own
 * D-Bus interface gives the title as the window set it. */
function title(c) {
	var id = key(c), caption = String(c.caption);
	if (!/ <[0-9]+>$/.test(caption)) {
		tell("Title", id, caption);
		return;
	}
	unsent++;
	callDBus("org.kde.KWin", "/KWin", "org.kde.KWin", "getWindowInfo", id, function (info) {
		if (info.caption !== undefined && clients[id] !== undefined)
			tell("Title", id, String(info.caption));
		unsent--;
		toldAll();
	});
}

function watch(c) {
	var id = key(c);
	clients[id] = c;
	tell("Added", id, String(c.resourceClass), c.pid, c.minimized);
	title(c);
	c.captionChanged.connect(function () {
		if (clients[id] !== undefined)
			title(c);
	});
	c.windowClassChanged.connect(function () {
		if (clients[id] !== undefined)
			tell("Class", id, String(c.resourceClass));
	});
	c.minimizedChanged.connect(function () {
		if (clients[id] !== undefined)
			tell("Minimized", id, c.minimized);
	});
}

function forget(c) {
	var id = key(c);
	if (clients[id] === undefined)
		return;
	delete clients[id];
	tell("Removed", id);
}

function arm() {
	sentAt = Date.now();
	callDBus(caller, path, face, "Next", applied, function (id, minimized, number) {
		if (number <= applied)
			return; /* the answer to a call that a newer one replaced */
		if (clients[id] !== undefined)
			clients[id].minimized = minimized;
		applied = number;
		arm();
	});
}

var list = workspace.clientList();
for (var i = 0; i < list.length; i++)
	watch(list[i]);
workspace.clientAdded.connect(watch);
workspace.clientRemoved.connect(forget);
toldAll();
arm();

var timer = new QTimer();
timer.interval = 5000;
timer.timeout.connect(function () {
	callDBus("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
	         "NameHasOwner", caller, function (owned) {
		if (!owned)
			callDBus("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting", "unloadScript",
			         name);
		else if (Date.now() - sentAt >= 10000)
			arm();
	});
});
timer.start();
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
