/*
 * The session bus connection, the script's calls and the cache of windows
 * they keep. Only KWin's own connection may tell the program of windows:
 * calls from any other are refused.
 */
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include "kwin.h"

static const char objectPath[] = "/org/wincue/KWin";
static const char interfaceName[] = "org.wincue.KWin";

WindowCache kwinCache = {sizeof(KWinWindow), NULL, 0, 0, 0, NULL, 0, 0};
uint64_t kwinChanges;

static sd_bus *bus;
static bool lost;
static char kwinOwner[64];   /* KWin's unique bus name */
static char scriptName[32];  /* wincue-PID */
static bool ready;           /* the script has told every window */
static sd_bus_message *held; /* the script's newest Next call, unanswered */
static int applied;          /* the last command the script says it did */
static int sent;             /* the last command sent */

/* -- the cache --------------------------------------------------------- */

/* KWin's window ids are random UUIDs: their first 64 bits make an id that
 * stays the same for the window's life, in every run. */
static HWND IdOf(const char *uuid)
{
	uint64_t id = 0;
	int digits = 0;

	for (const char *p = uuid; *p != '\0' && digits < 16; p++) {
		int v = *p >= '0' && *p <= '9'   ? *p - '0'
		        : *p >= 'a' && *p <= 'f' ? *p - 'a' + 10
		        : *p >= 'A' && *p <= 'F' ? *p - 'A' + 10
		                                 : -1;
		if (v >= 0) {
			id = id << 4 | (uint64_t)v;
			digits++;
		}
	}
	return id != 0 ? (HWND)id : 1;
}

/* The window of this UUID, or NULL. */
static KWinWindow *FindUuid(const char *uuid)
{
	KWinWindow *w = KWinFind(IdOf(uuid));

	return w != NULL && strcmp(w->uuid, uuid) == 0 ? w : NULL;
}

/* -- the script's calls ------------------------------------------------ */

static bool FromKWin(sd_bus_message *m)
{
	const char *sender = sd_bus_message_get_sender(m);

	return sender != NULL && strcmp(sender, kwinOwner) == 0;
}

static int Refuse(sd_bus_error *error)
{
	return sd_bus_error_set(error, SD_BUS_ERROR_ACCESS_DENIED, "only KWin tells of windows");
}

static int Added(sd_bus_message *m, void *unused, sd_bus_error *error)
{
	const char *uuid, *className;
	int pid, minimized;
	KWinWindow *w;

	(void)unused;
	if (!FromKWin(m))
		return Refuse(error);
	if (sd_bus_message_read(m, "ssib", &uuid, &className, &pid, &minimized) < 0)
		return sd_bus_reply_method_return(m, NULL);
	w = (KWinWindow *)CacheAdd(&kwinCache, IdOf(uuid));
	if (w != NULL) {
		KeepName(w->uuid, sizeof w->uuid, uuid);
		w->desk.title[0] = '\0'; /* until Title tells it */
		KeepName(w->desk.className, sizeof w->desk.className, className);
		w->minimized = minimized != 0;
		kwinChanges++;
	}
	return sd_bus_reply_method_return(m, NULL);
}

static int Title(sd_bus_message *m, void *unused, sd_bus_error *error)
{
	const char *uuid, *title;
	KWinWindow *w;

	(void)unused;
	if (!FromKWin(m))
		return Refuse(error);
	if (sd_bus_message_read(m, "ss", &uuid, &title) >= 0 && (w = FindUuid(uuid)) != NULL) {
		KeepName(w->desk.title, sizeof w->desk.title, title);
		kwinChanges++;
	}
	return sd_bus_reply_method_return(m, NULL);
}

/* A class may come after the window: an X11 program's WM_CLASS, or an
 * app_id set late. */
static int Class(sd_bus_message *m, void *unused, sd_bus_error *error)
{
	const char *uuid, *className;
	KWinWindow *w;

	(void)unused;
	if (!FromKWin(m))
		return Refuse(error);
	if (sd_bus_message_read(m, "ss", &uuid, &className) >= 0 && (w = FindUuid(uuid)) != NULL) {
		KeepName(w->desk.className, sizeof w->desk.className, className);
		kwinChanges++;
	}
	return sd_bus_reply_method_return(m, NULL);
}

static int Minimized(sd_bus_message *m, void *unused, sd_bus_error *error)
{
	const char *uuid;
	int minimized;
	KWinWindow *w;

	(void)unused;
	if (!FromKWin(m))
		return Refuse(error);
	if (sd_bus_message_read(m, "sb", &uuid, &minimized) >= 0 && (w = FindUuid(uuid)) != NULL) {
		w->minimized = minimized != 0;
		kwinChanges++;
	}
	return sd_bus_reply_method_return(m, NULL);
}

static int Removed(sd_bus_message *m, void *unused, sd_bus_error *error)
{
	const char *uuid;
	KWinWindow *w;

	(void)unused;
	if (!FromKWin(m))
		return Refuse(error);
	if (sd_bus_message_read(m, "s", &uuid) >= 0 && (w = FindUuid(uuid)) != NULL) {
		CacheRemove(&kwinCache, &w->desk);
		kwinChanges++;
	}
	return sd_bus_reply_method_return(m, NULL);
}

static int Ready(sd_bus_message *m, void *unused, sd_bus_error *error)
{
	(void)unused;
	if (!FromKWin(m))
		return Refuse(error);
	ready = true;
	return sd_bus_reply_method_return(m, NULL);
}

/* Answered at once with no command, so that the script forgets it. */
static void Dismiss(sd_bus_message *call)
{
	sd_bus_reply_method_return(call, "sbi", "", 0, 0);
	sd_bus_message_unref(call);
}

/* Held until a command goes as its answer; an older one held is let go. */
static int Next(sd_bus_message *m, void *unused, sd_bus_error *error)
{
	int done;

	(void)unused;
	if (!FromKWin(m))
		return Refuse(error);
	if (sd_bus_message_read(m, "i", &done) >= 0 && done > applied)
		applied = done;
	if (held != NULL)
		Dismiss(held);
	held = sd_bus_message_ref(m);
	return 1;
}

static const sd_bus_vtable vtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Added", "ssib", "", Added, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Title", "ss", "", Title, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Class", "ss", "", Class, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Minimized", "sb", "", Minimized, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Removed", "s", "", Removed, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Ready", "", "", Ready, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Next", "i", "sbi", Next, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

/* -- the connection ---------------------------------------------------- */

static bool kwinGone; /* org.kde.KWin changed hands: our script went with it */

static int OwnerChanged(sd_bus_message *m, void *unused, sd_bus_error *error)
{
	(void)m;
	(void)unused;
	(void)error;
	kwinGone = true;
	return 0;
}

bool KWinAlive(void)
{
	if (bus != NULL && !lost && (kwinGone || sd_bus_is_open(bus) <= 0)) {
		lost = true;
		CacheEmpty(&kwinCache);
		kwinChanges++;
		SayDesktopLost("lost KWin on the session bus", getenv("DBUS_SESSION_BUS_ADDRESS"));
	}
	return bus != NULL && !lost;
}

void KWinDrain(void)
{
	int r;

	if (!KWinAlive())
		return;
	do
		r = sd_bus_process(bus, NULL);
	while (r > 0);
	sd_bus_flush(bus);
	KWinAlive();
}

void KWinWaitMessage(uint64_t end)
{
	WaitReadable(KWinAlive() ? sd_bus_get_fd(bus) : -1, end); /* gone: a pause */
	KWinDrain();
}

/* Handles messages until done holds or the clock reaches end. */
static bool AwaitCondition(bool (*done)(void), uint64_t end)
{
	KWinDrain();
	while (!done() && KWinAlive() && NowMs() < end)
		KWinWaitMessage(end);
	return done();
}

static bool IsReady(void)
{
	return ready;
}

static bool IsHeld(void)
{
	return held != NULL;
}

static bool IsApplied(void)
{
	return applied >= sent;
}

bool KWinSetMinimized(const KWinWindow *w, bool minimized)
{
	uint64_t end = NowMs() + KWinCommandMs;
	char uuid[KWinIdSize];

	memcpy(uuid, w->uuid, sizeof uuid); /* the cache may change meanwhile */
	if (!AwaitCondition(IsHeld, end))
		return false;
	sent++;
	sd_bus_reply_method_return(held, "sbi", uuid, (int)minimized, sent);
	sd_bus_message_unref(held);
	held = NULL;
	kwinChanges++; /* the cache no longer holds */
	return AwaitCondition(IsApplied, end);
}

static void UnloadScript(void)
{
	if (held != NULL)
		Dismiss(held);
	held = NULL;
	if (KWinAlive())
		sd_bus_call_method(bus, "org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting",
		                   "unloadScript", NULL, NULL, "s", scriptName);
}

/* The script's D-Bus object: /Scripting/ScriptN in later KWins, /N before. */
static bool RunScript(int id)
{
	char path[64];
	int r;

	snprintf(path, sizeof path, "/Scripting/Script%d", id);
	r = sd_bus_call_method(bus, "org.kde.KWin", path, "org.kde.kwin.Script", "run", NULL, NULL,
	                       "");
	if (r >= 0)
		return true;
	snprintf(path, sizeof path, "/%d", id);
	return sd_bus_call_method(bus, "org.kde.KWin", path, "org.kde.kwin.Script", "run", NULL,
	                          NULL, "") >= 0;
}

/* Loads the script under this process's name; one a killed run of the
 * same pid left is unloaded first. KWin has read the file once run has
 * answered. */
static bool LoadScript(void)
{
	const char *caller;
	char file[4096];
	sd_bus_message *reply = NULL;
	int id = -1;
	int r;

	if (sd_bus_get_unique_name(bus, &caller) < 0 ||
	    !KWinWriteScript(caller, scriptName, file, sizeof file))
		return false;
	sd_bus_call_method(bus, "org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting",
	                   "unloadScript", NULL, NULL, "s", scriptName);
	r = sd_bus_call_method(bus, "org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting",
	                       "loadScript", NULL, &reply, "ss", file, scriptName);
	if (r >= 0)
		sd_bus_message_read(reply, "i", &id);
	sd_bus_message_unref(reply);
	r = id >= 0 && RunScript(id);
	unlink(file);
	return r;
}

/* KWin's unique name, when it owns org.kde.KWin and has /Scripting. */
static bool FindKWin(void)
{
	sd_bus_message *reply = NULL;
	const char *owner;
	bool found = false;

	if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
	                       "org.freedesktop.DBus", "GetNameOwner", NULL, &reply, "s",
	                       "org.kde.KWin") >= 0 &&
	    sd_bus_message_read(reply, "s", &owner) >= 0) {
		KeepName(kwinOwner, sizeof kwinOwner, owner);
		found = true;
	}
	sd_bus_message_unref(reply);
	return found &&
	       sd_bus_call_method(bus, "org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting",
	                          "isScriptLoaded", NULL, NULL, "s", scriptName) >= 0;
}

bool KWinConnect(void)
{
	snprintf(scriptName, sizeof scriptName, "wincue-%ld", (long)getpid());
	if (sd_bus_open_user(&bus) < 0) {
		bus = NULL;
		return false;
	}
	if (sd_bus_add_match(
	        bus, NULL,
	        "type='signal',sender='org.freedesktop.DBus',member='NameOwnerChanged',"
	        "arg0='org.kde.KWin'",
	        OwnerChanged, NULL) < 0 ||
	    !FindKWin() ||
	    sd_bus_add_object_vtable(bus, NULL, objectPath, interfaceName, vtable, NULL) < 0) {
		bus = sd_bus_flush_close_unref(bus);
		return false;
	}
	if (!LoadScript()) {
		fputs("wincue: KWin would not run the script that shows its windows\n", stderr);
		bus = sd_bus_flush_close_unref(bus);
		return false;
	}
	atexit(UnloadScript);
	if (!AwaitCondition(IsReady, NowMs() + KWinStartMs))
		fputs("wincue: KWin's script did not list the windows in time\n", stderr);
	return true;
}
