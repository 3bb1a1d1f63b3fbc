/*
 * The session bus connection to wincue's extension in GNOME Shell, its
 * calls and signals, and the cache of windows they keep. Only the
 * extension's own connection (its unique name when the program first
 * found it) may tell of windows; once the name changes hands, the shell
 * that ran it has gone, and the disabled windows with it.
 *
 * Every message is handled in the order it came: a page of the list that
 * arrives after a signal is newer than it, and a signal that the extension
 * sends during a call queues until the call has its answer, so the cache
 * ends as the extension's windows are.
 */
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <systemd/sd-bus.h>

#include "../bus.h"
#include "gnome.h"

static const char busName[] = "org.wincue.Shell";
static const char objectPath[] = "/org/wincue/Shell";
static const char interfaceName[] = "org.wincue.Shell";
static const char record[] = "(tssibbb)";

WindowCache gnomeCache = {sizeof(GnomeWindow), NULL, 0, 0, 0, NULL, 0, 0};
uint64_t gnomeChanges;

HWND gnomeActive;
HWND *gnomeStacking;
int gnomeStackingCount;
static int stackingCapacity;

static sd_bus *bus;
static bool lost;
static bool ownerChanged;  /* the extension's bus name changed hands */
static char extension[64]; /* its unique name */

/* -- the records ------------------------------------------------------- */

/* Keeps the record m holds next: 1, 0 when there is none, or an error. */
static int KeepRecord(sd_bus_message *m, uint64_t *id)
{
	const char *title, *className;
	int32_t pid;
	int minimized, maximized, disabled;
	GnomeWindow *w;
	int r = sd_bus_message_read(m, record, id, &title, &className, &pid, &minimized, &maximized,
	                            &disabled);

	if (r <= 0)
		return r;
	w = (GnomeWindow *)CacheAdd(&gnomeCache, (HWND)*id);
	if (w != NULL) {
		KeepName(w->desk.title, sizeof w->desk.title, title);
		KeepName(w->desk.className, sizeof w->desk.className, className);
		w->desk.pid = pid > 0 ? (DWORD)pid : 0;
		w->minimized = minimized != 0;
		w->maximized = maximized != 0;
		w->disabled = disabled != 0;
	}
	gnomeChanges++;
	return 1;
}

static int Kept(sd_bus_message *m)
{
	uint64_t id;

	return KeepRecord(m, &id);
}

static int Closed(sd_bus_message *m)
{
	uint64_t id;
	GnomeWindow *w;

	if (sd_bus_message_read(m, "t", &id) > 0 && (w = GnomeFind((HWND)id)) != NULL) {
		CacheRemove(&gnomeCache, &w->desk);
		gnomeChanges++;
	}
	return 0;
}

static int ActiveChanged(sd_bus_message *m)
{
	uint64_t id;

	if (sd_bus_message_read(m, "t", &id) > 0) {
		gnomeActive = (HWND)id;
		gnomeChanges++;
	}
	return 0;
}

/* The stacking order, from the bottom up, read from an array m holds next. */
static int KeepStacking(sd_bus_message *m)
{
	const void *ids;
	size_t size;
	int r = sd_bus_message_read_array(m, 't', &ids, &size);

	if (r < 0)
		return r;
	if ((int)(size / sizeof(uint64_t)) > stackingCapacity) {
		int capacity = (int)(size / sizeof(uint64_t));
		HWND *grown = (HWND *)realloc(gnomeStacking, (size_t)capacity * sizeof *grown);
		if (grown == NULL)
			return -ENOMEM; /* the order of the last that fitted stays */
		gnomeStacking = grown;
		stackingCapacity = capacity;
	}
	gnomeStackingCount = (int)(size / sizeof(uint64_t));
	for (int i = 0; i < gnomeStackingCount; i++)
		gnomeStacking[i] = (HWND)((const uint64_t *)ids)[i];
	gnomeChanges++;
	return 1;
}

/* The signals that change the windows, each with how it is read. */
static const struct {
	const char *member;
	int (*read)(sd_bus_message *m);
} signals[] = {
    {"WindowAdded", Kept},       {"WindowChanged", Kept},
    {"WindowClosed", Closed},    {"ActiveChanged", ActiveChanged},
    {"Restacked", KeepStacking},
};

static int OnSignal(sd_bus_message *m, void *unused, sd_bus_error *error)
{
	const char *sender = sd_bus_message_get_sender(m);

	(void)unused;
	(void)error;
	if (sender == NULL || strcmp(sender, extension) != 0)
		return 0;
	for (size_t i = 0; i < sizeof signals / sizeof signals[0]; i++)
		if (sd_bus_message_is_signal(m, interfaceName, signals[i].member))
			signals[i].read(m);
	return 0;
}

static int OnOwnerChanged(sd_bus_message *m, void *unused, sd_bus_error *error)
{
	(void)m;
	(void)unused;
	(void)error;
	ownerChanged = true;
	return 0;
}

/* -- the connection ---------------------------------------------------- */

static void MarkLost(const char *problem)
{
	if (lost)
		return;
	lost = true;
	CacheEmpty(&gnomeCache);
	gnomeChanges++;
	SayDesktopLost(problem, getenv("DBUS_SESSION_BUS_ADDRESS"));
}

bool GnomeAlive(void)
{
	if (bus != NULL && !lost && (ownerChanged || sd_bus_is_open(bus) <= 0))
		MarkLost("lost GNOME Shell on the session bus");
	return bus != NULL && !lost;
}

void GnomeDrain(void)
{
	if (!GnomeAlive())
		return;
	while (sd_bus_process(bus, NULL) > 0)
		;
	sd_bus_flush(bus);
	GnomeAlive();
}

int GnomeDescriptor(void)
{
	return GnomeAlive() ? sd_bus_get_fd(bus) : -1;
	GnomeDrain();
}

/* Calls the extension's method and returns its answer, or NULL, with the
 * error in *error, when none came by end on the monotonic clock. */
static sd_bus_message *Call(const char *method, uint64_t end, sd_bus_error *error,
                            const char *types, ...)
{
	sd_bus_message *call = NULL, *reply = NULL;
	uint64_t now = NowMs();
	va_list ap;
	int r;

	r = sd_bus_message_new_method_call(bus, &call, extension, objectPath, interfaceName,
	                                   method);
	if (r >= 0 && types != NULL) {
		va_start(ap, types);
		r = sd_bus_message_appendv(call, types, ap);
		va_end(ap);
	}
	if (r >= 0)
		r = sd_bus_call(bus, call, end > now ? (end - now) * 1000 : 1, error, &reply);
	if (r < 0 && !sd_bus_error_is_set(error))
		sd_bus_error_set_errno(error, r);
	sd_bus_message_unref(call);
	return r >= 0 ? reply : NULL;
}

/* The lost shell's line when a call failed for want of an answer: an
 * answer that refuses is not a lost shell. */
static void CallFailed(const sd_bus_error *error)
{
	if (sd_bus_error_has_name(error, SD_BUS_ERROR_TIMEOUT) ||
	    sd_bus_error_has_name(error, SD_BUS_ERROR_NO_REPLY) ||
	    sd_bus_error_get_errno(error) == ETIMEDOUT)
		MarkLost("GNOME Shell does not answer on the session bus");
	GnomeAlive();
}

int GnomeSet(enum GnomeCommand command, HWND id, bool value)
{
	static const char *const methods[] = {"SetMinimized", "SetEnabled", "SetMaximized"};
	sd_bus_error error = SD_BUS_ERROR_NULL;
	sd_bus_message *reply;
	int found = 0, was = 0;

	if (!GnomeAlive())
		return -1;
	reply =
	    Call(methods[command], NowMs() + GnomeReplyMs, &error, "tb", (uint64_t)id, (int)value);
	if (reply == NULL)
		CallFailed(&error);
	else if (sd_bus_message_read(reply, "bb", &found, &was) < 0)
		found = 0;
	sd_bus_message_unref(reply);
	sd_bus_error_free(&error);
	return found ? was != 0 : -1;
}

bool GnomeAsk(const char *method, HWND id)
{
	sd_bus_error error = SD_BUS_ERROR_NULL;
	sd_bus_message *reply;
	int found = 0;

	if (!GnomeAlive())
		return false;
	reply = Call(method, NowMs() + GnomeReplyMs, &error, "t", (uint64_t)id);
	if (reply == NULL)
		CallFailed(&error);
	else if (sd_bus_message_read(reply, "b", &found) < 0)
		found = 0;
	sd_bus_message_unref(reply);
	sd_bus_error_free(&error);
	return found != 0;
}

/* The active window and the stacking order as they are now; signals keep
 * them so from then on. */
static void ReadOrder(void)
{
	sd_bus_error error = SD_BUS_ERROR_NULL;
	sd_bus_message *reply = Call("GetActive", NowMs() + GnomeReplyMs, &error, NULL);
	uint64_t id = 0;

	if (reply != NULL && sd_bus_message_read(reply, "t", &id) > 0)
		gnomeActive = (HWND)id;
	sd_bus_message_unref(reply);
	sd_bus_error_free(&error);
	reply = Call("GetStacking", NowMs() + GnomeReplyMs, &error, NULL);
	if (reply != NULL)
		KeepStacking(reply);
	else
		CallFailed(&error);
	sd_bus_message_unref(reply);
	sd_bus_error_free(&error);
}

/* Every window, a page at a time in the order of their ids; false when the
 * extension stopped answering. */
static bool ListWindows(void)
{
	uint64_t end = NowMs() + GnomeReplyMs;
	uint64_t after = 0;
	int more = 1;

	while (more && GnomeAlive()) {
		sd_bus_error error = SD_BUS_ERROR_NULL;
		sd_bus_message *reply = Call("GetWindows", end, &error, "t", after);
		int r =
		    reply != NULL ? sd_bus_message_enter_container(reply, 'a', record) : -EINVAL;

		while (r > 0 && (r = KeepRecord(reply, &after)) > 0)
			;
		if (r >= 0)
			r = sd_bus_message_exit_container(reply);
		if (r >= 0)
			r = sd_bus_message_read(reply, "b", &more);
		sd_bus_message_unref(reply);
		if (r < 0) {
			if (reply == NULL)
				CallFailed(&error);
			else
				MarkLost("GNOME Shell's wincue extension sent a list wincue cannot "
				         "read");
			sd_bus_error_free(&error);
			return false;
		}
	}
	return GnomeAlive();
}

/* The unique name owning name on the bus, in owner (room for size); false
 * when none does. */
static bool FindOwner(const char *name, char *owner, int size)
{
	sd_bus_message *reply = NULL;
	const char *found;
	bool owned = sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
	                                "org.freedesktop.DBus", "GetNameOwner", NULL, &reply, "s",
	                                name) >= 0 &&
	             sd_bus_message_read(reply, "s", &found) > 0;

	if (owned && owner != NULL)
		KeepName(owner, size, found);
	sd_bus_message_unref(reply);
	return owned;
}

static bool Watch(void)
{
	char rule[128];

	snprintf(rule, sizeof rule,
	         "type='signal',sender='org.freedesktop.DBus',member='NameOwnerChanged',"
	         "arg0='%s'",
	         busName);
	if (sd_bus_add_match(bus, NULL, rule, OnOwnerChanged, NULL) < 0)
		return false;
	if (!FindOwner(busName, extension, sizeof extension))
		return false;
	for (size_t i = 0; i < sizeof signals / sizeof signals[0]; i++)
		if (sd_bus_match_signal(bus, NULL, extension, objectPath, interfaceName,
		                        signals[i].member, OnSignal, NULL) < 0)
			return false;
	return true;
}

static const char installLine[] =
    "install it with \"wincue --install-gnome-extension\" and log in again";

/* The extension's version, once it has proved to answer this user; says
 * why not when it does not. */
static bool Greet(void)
{
	sd_bus_error error = SD_BUS_ERROR_NULL;
	sd_bus_message *reply = Call("GetVersion", NowMs() + GnomeReplyMs, &error, NULL);
	uint32_t version = 0;
	char why[256];

	if (reply != NULL)
		sd_bus_message_read(reply, "u", &version);
	else if (sd_bus_error_has_name(&error, SD_BUS_ERROR_ACCESS_DENIED))
		snprintf(why, sizeof why,
		         "GNOME Shell's wincue extension answers only the user of its session: "
		         "run wincue as that user");
	else
		snprintf(why, sizeof why, "GNOME Shell's wincue extension does not answer: %s",
		         error.message != NULL ? error.message
		                               : strerror(-sd_bus_error_get_errno(&error)));
	if (reply != NULL && version != GnomeInterfaceVersion)
		snprintf(why, sizeof why,
		         "GNOME Shell runs a wincue extension of another version than this "
		         "wincue's: %s",
		         installLine);
	sd_bus_message_unref(reply);
	sd_bus_error_free(&error);
	if (version != GnomeInterfaceVersion)
		SayWaylandUnreached(why);
	return version == GnomeInterfaceVersion;
}

bool GnomeConnect(void)
{
	char why[256];

	if (sd_bus_open_user(&bus) < 0) {
		bus = NULL;
		return false;
	}
	/* sd-bus's own bounds are 90 s for the start, 25 s for a call */
	if (sd_bus_set_method_call_timeout(bus, GnomeReplyMs * 1000) < 0 ||
	    !BusStarted(bus, NowMs() + GnomeStartMs)) {
		bus = sd_bus_close_unref(bus);
		return false;
	}
	if (!Watch()) {
		if (FindOwner("org.gnome.Shell", NULL, 0)) {
			snprintf(why, sizeof why,
			         "GNOME Shell shows wincue its windows only through wincue's "
			         "extension: %s",
			         installLine);
			SayWaylandUnreached(why);
		}
		bus = sd_bus_close_unref(bus);
		return false;
	}
	if (!Greet()) {
		bus = sd_bus_close_unref(bus);
		return false;
	}
	if (ListWindows())
		ReadOrder();
	return true;
}
