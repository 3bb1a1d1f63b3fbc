/*
 * The session bus connection, the script's calls and the cache of windows
 * they keep. Only KWin's own connection may tell the program of windows:
 * calls from any other are refused.
 *
 * sd-bus waits 90 s for a bus to take a new connection and 25 s for an
 * answer unless told otherwise, and flushes without end: every call here
 * is given its time, and the connection is waited on only through
 * sd_bus_wait with a timeout.
 */
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include "../bus.h"
#include "kwin.h"

static const char objectPath[] = "/org/wincue/KWin";
static const char interfaceName[] = "org.wincue.KWin";

WindowCache kwinCache = {sizeof(KWinWindow), NULL, 0, 0, 0, NULL, 0, 0};
uint64_t kwinChanges;
char kwinActive[KWinIdSize];

static sd_bus *bus;
static bool lost;
static char kwinOwner[64];    /* KWin's unique bus name */
static char scriptName[32];   /* wincue-PID */
static char scriptFile[4096]; /* the script's text until KWin has read it */
static uint64_t listBy;       /* when the script must have listed the windows */
static bool ready;            /* it has */
static bool saidLate;         /* it had not by then, and a line said so */
static int batchNumber;       /* the last batch the script told */
static sd_bus_message *held;  /* the script's newest Next call, unanswered */
static char *orders;          /* commands to send: "UUID\tm\t1\n"... */
static size_t ordersLength, ordersSize;
static const char *ordersDo;        /* what they do, as the late line says */
static char (*awaited)[KWinIdSize]; /* windows whose shields have not called */
static int awaitedCount, awaitedSize;
static bool shieldless;        /* a shield could not be made this pass */
static const char *uniqueName; /* the program's own bus name */
static int applied;            /* the last command the script says it did */
static int sent;               /* the last command sent */
static uint64_t allowedDue;    /* the step deadline that had its KWinLookMs */
static uint64_t allowedUntil;

/* -- bounds ------------------------------------------------------------ */

/* When a wait must end: at limit, or at the step's deadline when that
 * comes first, though not before KWinLookMs from the step's first wait. */
static uint64_t WaitEnd(uint64_t limit)
{
	uint64_t due = TimerDue();

	if (due == 0 || due >= limit)
		return limit;
	if (due != allowedDue) {
		allowedDue = due;
		allowedUntil = NowMs() + KWinLookMs;
		if (allowedUntil < due)
			allowedUntil = due;
	}
	return allowedUntil < limit ? allowedUntil : limit;
}

static uint64_t Usec(uint64_t end)
{
	uint64_t now = NowMs();

	return end > now ? (end - now) * 1000 : 0;
}

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

/* -- the script's batches ---------------------------------------------- */

static int HexDigit(char c)
{
	return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

/* The UTF-16 unit of the \uXXXX at p (before end), or -1. */
static long Escaped(const char *p, const char *end)
{
	long unit = 0;

	if (end - p < 6 || p[0] != '\\' || p[1] != 'u')
		return -1;
	for (int i = 2; i < 6; i++) {
		int v = HexDigit(p[i]);
		if (v < 0)
			return -1;
		unit = unit << 4 | v;
	}
	return unit;
}

static int PutUtf8(unsigned long c, char *out)
{
	if (c < 0x80) {
		out[0] = (char)c;
		return 1;
	}
	if (c < 0x800) {
		out[0] = (char)(0xc0 | c >> 6);
		out[1] = (char)(0x80 | (c & 0x3f));
		return 2;
	}
	if (c < 0x10000) {
		out[0] = (char)(0xe0 | c >> 12);
		out[1] = (char)(0x80 | (c >> 6 & 0x3f));
		out[2] = (char)(0x80 | (c & 0x3f));
		return 3;
	}
	out[0] = (char)(0xf0 | c >> 18);
	out[1] = (char)(0x80 | (c >> 12 & 0x3f));
	out[2] = (char)(0x80 | (c >> 6 & 0x3f));
	out[3] = (char)(0x80 | (c & 0x3f));
	return 4;
}

/* The script's text from p to end as UTF-8 in out (size bytes, at least
 * 5), as many whole characters as fit; a lone surrogate reads as U+FFFD. */
static void Unescape(const char *p, const char *end, char *out, size_t size)
{
	size_t length = 0;

	while (p < end) {
		long unit = Escaped(p, end);
		unsigned long c;
		char bytes[4];
		int n;

		if (unit < 0) {
			c = (unsigned char)*p++;
		} else {
			long low = Escaped(p + 6, end);
			p += 6;
			c = (unsigned long)unit;
			if (unit >= 0xd800 && unit < 0xdc00 && low >= 0xdc00 && low < 0xe000) {
				c = 0x10000 + ((unsigned long)(unit - 0xd800) << 10) +
				    (unsigned long)(low - 0xdc00);
				p += 6;
			} else if (unit >= 0xd800 && unit < 0xe000) {
				c = 0xfffd;
			}
		}
		n = PutUtf8(c, bytes);
		if (length + (size_t)n >= size)
			break;
		memcpy(out + length, bytes, (size_t)n);
		length += (size_t)n;
	}
	out[length] = '\0';
}

/* The first count tab-separated fields of the line at *p (any more are
 * left); false when it has fewer. *p moves to the next line. */
static bool Fields(const char **p, const char *fields[], const char *ends[], int count)
{
	const char *at = *p, *stop = strchr(at, '\n');

	if (stop == NULL)
		stop = at + strlen(at);
	*p = *stop == '\n' ? stop + 1 : stop;
	for (int n = 0; n < count; n++) {
		const char *tab = (const char *)memchr(at, '\t', (size_t)(stop - at));
		fields[n] = at;
		ends[n] = tab != NULL ? tab : stop;
		if (tab == NULL)
			return n == count - 1;
		at = tab + 1;
	}
	return true;
}

/* The window of the text from p to end, a UUID, or NULL; its id in uuid. */
static KWinWindow *WindowOf(const char *p, const char *end, char uuid[KWinIdSize])
{
	if (end - p >= KWinIdSize)
		return NULL;
	memcpy(uuid, p, (size_t)(end - p));
	uuid[end - p] = '\0';
	return FindUuid(uuid);
}

/* One line of a batch: a window's state (A, its id, 1 when minimized, its
 * pid, its place in the stacking order, its class and its title), what a
 * command just done left it (C, its id, 1 when minimized), its going (R,
 * its id), or the active window (F, its id or nothing). */
static void ApplyLine(const char **p)
{
	const char *fields[7], *ends[7];
	char uuid[KWinIdSize], name[DeskNameSize + 4];
	char kind = **p;
	KWinWindow *w;

	if (!Fields(p, fields, ends,
	            kind == 'A'   ? 7
	            : kind == 'C' ? 3
	                          : 2) ||
	    ends[0] - fields[0] != 1 || ends[1] - fields[1] >= KWinIdSize)
		return;
	w = WindowOf(fields[1], ends[1], uuid);
	if (kind == 'C' && w != NULL)
		w->commanded = *fields[2] == '1' ? 'h' : 's';
	if (kind == 'F') {
		KeepName(kwinActive, sizeof kwinActive, uuid);
		return;
	}
	if (kind == 'R' && w != NULL)
		CacheRemove(&kwinCache, &w->desk);
	if (kind != 'A' ||
	    (w == NULL && (w = (KWinWindow *)CacheAdd(&kwinCache, IdOf(uuid))) == NULL))
		return;
	KeepName(w->uuid, sizeof w->uuid, uuid);
	w->minimized = *fields[2] == '1';
	w->desk.pid = (DWORD)strtoul(fields[3], NULL, 10);
	w->stack = (int)strtol(fields[4], NULL, 10);
	Unescape(fields[5], ends[5], name, sizeof name);
	KeepName(w->desk.className, sizeof w->desk.className, name);
	Unescape(fields[6], ends[6], name, sizeof name);
	KeepName(w->desk.title, sizeof w->desk.title, name);
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

/* KWin has read the script's file once the script calls. */
static void ForgetScriptFile(void)
{
	if (scriptFile[0] != '\0')
		unlink(scriptFile);
	scriptFile[0] = '\0';
}

/* A batch: its number, the last command done, whether every window has
 * been told, and a line for each window. A batch older than one applied
 * (a copy sent again) is left alone; one told again is applied again. */
static int Tell(sd_bus_message *m, void *unused, sd_bus_error *error)
{
	const char *text;
	int number, done, all;

	(void)unused;
	if (!FromKWin(m))
		return Refuse(error);
	ForgetScriptFile();
	if (sd_bus_message_read(m, "iibs", &number, &done, &all, &text) >= 0 &&
	    number >= batchNumber) {
		batchNumber = number;
		while (*text != '\0')
			ApplyLine(&text);
		if (done > applied)
			applied = done;
		ready = ready || all;
		kwinChanges++;
	}
	return sd_bus_reply_method_return(m, NULL);
}

/* The commands not yet done go as the answer to the script's call. */
static void SendOrders(void)
{
	sd_bus_reply_method_return(held, "si", orders != NULL ? orders : "", sent);
	held = sd_bus_message_unref(held);
}

/* Held until commands go as its answer; an older one held is let go. When
 * commands sent are not done, the script lost them: they go again (the
 * script does a command of one number once). */
static int Next(sd_bus_message *m, void *unused, sd_bus_error *error)
{
	(void)unused;
	if (!FromKWin(m))
		return Refuse(error);
	if (held != NULL) {
		sd_bus_reply_method_return(held, "si", "", 0);
		sd_bus_message_unref(held);
	}
	held = sd_bus_message_ref(m);
	if (applied < sent && ordersLength > 0)
		SendOrders();
	return 1;
}

/* A shield's call, or the script's for it: the window's id and what came
 * of it (shielded, held, gone or cannot). */
static int Shielded(sd_bus_message *m, void *unused, sd_bus_error *error)
{
	const char *uuid, *outcome;

	(void)unused;
	if (!FromKWin(m))
		return Refuse(error);
	if (sd_bus_message_read(m, "ss", &uuid, &outcome) >= 0) {
		for (int i = 0; i < awaitedCount; i++) {
			if (strcmp(awaited[i], uuid) == 0) {
				memcpy(awaited[i], awaited[--awaitedCount], KWinIdSize);
				break;
			}
		}
		shieldless = shieldless || strcmp(outcome, "cannot") == 0;
	}
	return sd_bus_reply_method_return(m, NULL);
}

static const sd_bus_vtable vtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Tell", "iibs", "", Tell, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Next", "", "si", Next, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Shielded", "ss", "", Shielded, SD_BUS_VTABLE_UNPRIVILEGED),
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
	if (!KWinAlive())
		return;
	while (sd_bus_process(bus, NULL) > 0)
		;
	KWinAlive();
}

int KWinDescriptor(void)
{
	return KWinAlive() ? sd_bus_get_fd(bus) : -1;
}

/* Handles messages until done holds or the clock reaches end, and no
 * message past the one that made it hold: what the script told then is
 * what a step reads back, not what another run did since (the next
 * update hears the rest). */
static bool AwaitCondition(bool (*done)(void), uint64_t end)
{
	for (;;) {
		while (!done() && KWinAlive() && sd_bus_process(bus, NULL) > 0)
			;
		if (done() || !KWinAlive() || NowMs() >= end)
			return done();
		sd_bus_wait(bus, Usec(end));
	}
}

static bool IsReady(void)
{
	return ready;
}

static bool IsHeld(void)
{
	return held != NULL;
}

/* The commands are done, and every shield they made holds its window. */
static bool IsApplied(void)
{
	return applied >= sent && awaitedCount == 0;
}

void KWinAwaitList(void)
{
	if (ready || saidLate)
		return;
	AwaitCondition(IsReady, WaitEnd(listBy));
	if (!ready && NowMs() >= listBy && KWinAlive()) {
		fputs("wincue: KWin's script did not list the windows in time\n", stderr);
		saidLate = true;
	}
}

/* Adds the line "UUID\tverb\targ" to the orders. */
static void Order(const KWinWindow *w, const char *verb, const char *arg)
{
	size_t need = ordersLength + strlen(w->uuid) + strlen(verb) + strlen(arg) + 4;

	if (need > ordersSize) {
		size_t size = need > 2 * ordersSize ? need : 2 * ordersSize;
		char *grown = (char *)realloc(orders, size);
		if (grown == NULL)
			return;
		orders = grown;
		ordersSize = size;
	}
	ordersLength += (size_t)sprintf(orders + ordersLength, "%s\t%s\t%s\n", w->uuid, verb, arg);
}

void KWinOrder(const KWinWindow *w, const char *verb, const char *arg, const char *does)
{
	ordersDo = does;
	Order(w, verb, arg);
}

/* Notes that the shield of the window is to call. */
static bool Await(const char *uuid)
{
	if (awaitedCount == awaitedSize) {
		int size = awaitedSize > 0 ? 2 * awaitedSize : 16;
		char(*grown)[KWinIdSize] =
		    (char(*)[KWinIdSize])realloc(awaited, (size_t)size * sizeof *awaited);
		if (grown == NULL)
			return false;
		awaited = grown;
		awaitedSize = size;
	}
	KeepName(awaited[awaitedCount++], KWinIdSize, uuid);
	return true;
}

void KWinOrderEnabled(const KWinWindow *w, bool enable)
{
	char path[4096];

	ordersDo = "enabled or disabled";
	if (enable)
		Order(w, "e", "");
	else if (KWinWriteShield(uniqueName, w->uuid, path, sizeof path) && Await(w->uuid))
		Order(w, "d", path);
}

/* The shield scripts of the orders, once KWin has read them. */
static void RemoveShieldFiles(void)
{
	for (char *line = orders; line != NULL && *line != '\0';) {
		char *end = strchr(line, '\n'), *verb = strchr(line, '\t');
		*end = '\0';
		if (verb != NULL && strncmp(verb, "\td\t", 3) == 0)
			unlink(verb + 3);
		line = end + 1;
	}
}

static bool AskedIsLoaded(const char *name, bool *loaded);

bool KWinDisabled(KWinWindow *w)
{
	char name[KWinIdSize + 16];
	bool loaded = false;

	if (!AskOncePerPass(&w->askedIn))
		return w->disabled;
	snprintf(name, sizeof name, "wincue-off-%s", w->uuid);
	w->disabled = AskedIsLoaded(name, &loaded) && loaded;
	return w->disabled;
}

bool KWinCarryOut(void)
{
	uint64_t end = WaitEnd(NowMs() + KWinCommandMs);
	bool done;

	if (ordersLength == 0)
		return true;
	sent++;
	kwinChanges++; /* the cache no longer holds */
	if (AwaitCondition(IsHeld, end))
		SendOrders();
	done = AwaitCondition(IsApplied, end);
	if (done || !KWinAlive())
		RemoveShieldFiles(); /* else KWin may still read them */
	ordersLength = 0;
	orders[0] = '\0';
	if (!done && KWinAlive())
		fprintf(stderr, "wincue: KWin did not answer in time: windows may not be %s\n",
		        ordersDo != NULL ? ordersDo : "hidden or shown");
	if (shieldless)
		fputs("wincue: KWin could not make a window refuse input (its QtQuick window "
		      "module is missing): Enable changed nothing\n",
		      stderr);
	ordersDo = NULL;
	shieldless = false;
	awaitedCount = 0;
	return done;
}

static int CallV(const char *destination, const char *path, const char *interface,
                 const char *member, uint64_t end, sd_bus_message **reply, const char *types,
                 va_list ap)
{
	sd_bus_message *m = NULL;
	uint64_t usec = Usec(end);
	int r;

	if (usec == 0)
		return -ETIMEDOUT;
	r = sd_bus_message_new_method_call(bus, &m, destination, path, interface, member);
	if (r >= 0 && types != NULL)
		r = sd_bus_message_appendv(m, types, ap);
	if (r >= 0)
		r = sd_bus_call(bus, m, usec, NULL, reply);
	sd_bus_message_unref(m);
	return r;
}

/* Calls the bus itself, waiting for its answer until end at most; the
 * answer (to unref) in *reply unless reply is NULL. */
static int CallBus(const char *member, uint64_t end, sd_bus_message **reply, const char *types, ...)
{
	va_list ap;
	int r;

	va_start(ap, types);
	r = CallV("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", member,
	          end, reply, types, ap);
	va_end(ap);
	return r;
}

/* Calls KWin's scripting interface, as CallBus calls the bus. */
static int CallKWin(const char *member, uint64_t end, sd_bus_message **reply, const char *types,
                    ...)
{
	va_list ap;
	int r;

	va_start(ap, types);
	r = CallV("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting", member, end, reply, types,
	          ap);
	va_end(ap);
	return r;
}

/* Calls a method of KWin's own interface with one string, waiting
 * KWinCallMs at most; the answer in *reply. */
static int AskKWin(const char *member, const char *text, sd_bus_message **reply)
{
	sd_bus_message *m = NULL;
	uint64_t usec = Usec(WaitEnd(NowMs() + KWinCallMs));
	int r;

	if (usec == 0)
		return -ETIMEDOUT;
	r = sd_bus_message_new_method_call(bus, &m, "org.kde.KWin", "/KWin", "org.kde.KWin",
	                                   member);
	if (r >= 0)
		r = sd_bus_message_append(m, "s", text);
	if (r >= 0)
		r = sd_bus_call(bus, m, usec, NULL, reply);
	sd_bus_message_unref(m);
	return r;
}

/* Asks KWin whether a script of that name is loaded; false when it did
 * not answer within KWinCallMs. */
static bool AskedIsLoaded(const char *name, bool *loaded)
{
	sd_bus_message *reply = NULL;
	int value = 0;
	bool answered =
	    bus != NULL && !lost &&
	    CallKWin("isScriptLoaded", WaitEnd(NowMs() + KWinCallMs), &reply, "s", name) >= 0 &&
	    sd_bus_message_read(reply, "b", &value) >= 0;

	sd_bus_message_unref(reply);
	*loaded = value != 0;
	return answered;
}

/* A flag KWin gives as a boolean or a number (its maximize bits). */
static bool ReadFlag(sd_bus_message *m, int *flag)
{
	const char *type;
	char kind;
	uint32_t number = 0;

	if (sd_bus_message_peek_type(m, &kind, &type) <= 0 || kind != 'v' || type == NULL ||
	    (strcmp(type, "b") != 0 && strcmp(type, "i") != 0 && strcmp(type, "u") != 0))
		return false;
	if (sd_bus_message_read(m, "v", type, &number) < 0)
		return false;
	*flag = number != 0;
	return true;
}

bool KWinMaximized(KWinWindow *w)
{
	sd_bus_message *reply = NULL;
	const char *key;
	int horizontal = 0, vertical = 0;

	if (!AskOncePerPass(&w->statesIn))
		return w->maximized;
	if (bus != NULL && !lost && AskKWin("getWindowInfo", w->uuid, &reply) >= 0 &&
	    sd_bus_message_enter_container(reply, 'a', "{sv}") > 0) {
		while (sd_bus_message_enter_container(reply, 'e', "sv") > 0) {
			int *flag = NULL;
			if (sd_bus_message_read(reply, "s", &key) < 0)
				break;
			if (strcmp(key, "maximizeHorizontal") == 0)
				flag = &horizontal;
			else if (strcmp(key, "maximizeVertical") == 0)
				flag = &vertical;
			if (flag == NULL || !ReadFlag(reply, flag))
				sd_bus_message_skip(reply, "v");
			sd_bus_message_exit_container(reply);
		}
	}
	sd_bus_message_unref(reply);
	w->maximized = horizontal && vertical;
	return w->maximized;
}

/* Has KWin unload the script, waiting KWinExitMs at most: a bus that
 * answers nothing holds no exit. A script not unloaded so unloads itself
 * once the program's name goes. */
static void UnloadScript(void)
{
	ForgetScriptFile();
	if (bus != NULL && !lost)
		CallKWin("unloadScript", NowMs() + KWinExitMs, NULL, "s", scriptName);
}

/* Loads the script under this process's name (one a killed run of the
 * same pid left is unloaded first) and has KWin start it. KWin names a
 * script's D-Bus object by how many scripts it holds, so after an unload
 * a new script may get the object of one still loaded, and "run" there
 * would run that one: "start" runs every loaded script not yet running,
 * ours among them (it also reads KWin's configuration again). */
static bool LoadScript(uint64_t end)
{
	const char *caller;
	sd_bus_message *reply = NULL;
	int id = -1;

	if (sd_bus_get_unique_name(bus, &caller) < 0 ||
	    !KWinWriteScript(caller, scriptName, scriptFile, sizeof scriptFile)) {
		scriptFile[0] = '\0';
		return false;
	}
	if (CallKWin("unloadScript", end, NULL, "s", scriptName) >= 0 &&
	    CallKWin("loadScript", end, &reply, "ss", scriptFile, scriptName) >= 0)
		sd_bus_message_read(reply, "i", &id);
	sd_bus_message_unref(reply);
	uniqueName = caller;
	if (id >= 0 && CallKWin("start", end, NULL, NULL) >= 0)
		return true;
	ForgetScriptFile();
	return false;
}

/* KWin's unique name, when it owns org.kde.KWin and has /Scripting. */
static bool FindKWin(uint64_t end)
{
	sd_bus_message *reply = NULL;
	const char *owner;
	bool found = false;

	if (CallBus("GetNameOwner", end, &reply, "s", "org.kde.KWin") >= 0 &&
	    sd_bus_message_read(reply, "s", &owner) >= 0) {
		KeepName(kwinOwner, sizeof kwinOwner, owner);
		found = true;
	}
	sd_bus_message_unref(reply);
	return found && CallKWin("isScriptLoaded", end, NULL, "s", scriptName) >= 0;
}

static bool Close(void)
{
	bus = sd_bus_close_unref(bus);
	return false;
}

bool KWinConnect(void)
{
	uint64_t now = NowMs();
	uint64_t end = WaitEnd(now + KWinListMs);
	uint64_t callEnd = now + KWinCallMs < end ? now + KWinCallMs : end;

	listBy = now + KWinListMs;
	snprintf(scriptName, sizeof scriptName, "wincue-%ld", (long)getpid());
	if (sd_bus_open_user(&bus) < 0) {
		bus = NULL;
		return false;
	}
	if (!BusStarted(bus, callEnd) ||
	    sd_bus_add_match_async(
	        bus, NULL,
	        "type='signal',sender='org.freedesktop.DBus',member='NameOwnerChanged',"
	        "arg0='org.kde.KWin'",
	        OwnerChanged, NULL, NULL) < 0 ||
	    !FindKWin(callEnd) ||
	    sd_bus_add_object_vtable(bus, NULL, objectPath, interfaceName, vtable, NULL) < 0)
		return Close();
	if (!LoadScript(end)) {
		fputs("wincue: KWin would not run the script that shows its windows\n", stderr);
		return Close();
	}
	atexit(UnloadScript);
	KWinAwaitList();
	return true;
}
