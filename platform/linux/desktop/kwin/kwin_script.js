/* wincue's KWin script (kwin_script.cpp says what it does). The program
 * writes it for KWin after a line that names caller, its bus name, and
 * name, the script's own. */
/* global caller, name */
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
