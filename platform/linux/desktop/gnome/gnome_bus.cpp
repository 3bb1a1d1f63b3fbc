/*
 * The session bus connection to wincue's extension in GNOME Shell, its
 * calls and signals, and the cache of windows they keep. Only the
 * extension's own connection (its unique name when the program first
 * found it) may tell of windows; once the name changes hands, the shell
 * that ran it has gone, and the disabled windows with it.
 *
 * The extension sends its signals to the runs that registered, each
 * addressed to its own. A run registers before it lists the windows, so
 * every window shown after the registration's answer is signalled, and
 * every one before is listed. Every message is handled in the order it
 * came: a page of the list that arrives after a signal is newer than it,
 * and a signal that the extension sends during a call queues until the
 * call has its answer, so the cache ends as the extension's windows are.
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

static sd_bus *bus;
static bool lost;
static bool ownerChanged;  /* the extension's bus name changed hands */
static char extension[64]; /* its unique name */

/* The windows to enable or disable with the next call. */
static uint64_t *orders;
static int orderCount, orderCapacity;
static bool ordersEnable;

static int OnSignal(sd_bus_message *m, void *unused, sd_bus_error *error)
{
	const char *sender = sd_bus_message_get_sender(m);

	(void)unused;
	(void)error;
	if (sender != NULL && strcmp(sender, extension) == 0)
		GnomeReadSignal(m);
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

/* The cache stays until the next drain: a step reads back the windows it
 * could not act on and names them. */
static void MarkLost(const char *problem)
{
	if (lost)
		return;
	lost = true;
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
	if (!GnomeAlive()) {
		if (gnomeCache.count > 0)
			GnomeForgetWindows();
		return;
	}
	while (sd_bus_process(bus, NULL) > 0)
		;
	sd_bus_flush(bus);
	GnomeAlive();
}

int GnomeDescriptor(void)
{
	return GnomeAlive() ? sd_bus_get_fd(bus) : -1;
}

/* The deadline a change carries for the extension: microseconds on the
 * monotonic clock, which the shell shares (0 would be none). */
static int64_t ActDeadline(uint64_t end)
{
	return end > GnomeActMarginMs ? (int64_t)(end - GnomeActMarginMs) * 1000 : 1;
}

/* Sends the call (r: how making it went) and returns its answer, or NULL,
 * with the error in *error, when none came by end on the monotonic clock. */
static sd_bus_message *Send(sd_bus_message *call, int r, uint64_t end, sd_bus_error *error)
{
	sd_bus_message *reply = NULL;
	uint64_t now = NowMs();

	if (r >= 0)
		r = sd_bus_call(bus, call, end > now ? (end - now) * 1000 : 1, error, &reply);
	if (r < 0 && !sd_bus_error_is_set(error))
		sd_bus_error_set_errno(error, r);
	sd_bus_message_unref(call);
	return r >= 0 ? reply : NULL;
}

/* Calls the extension's method; its answer as Send gives it. */
static sd_bus_message *Call(const char *method, uint64_t end, sd_bus_error *error,
                            const char *types, ...)
{
	sd_bus_message *call = NULL;
	va_list ap;
	int r;

	r = sd_bus_message_new_method_call(bus, &call, extension, objectPath, interfaceName,
	                                   method);
	if (r >= 0 && types != NULL) {
		va_start(ap, types);
		r = sd_bus_message_appendv(call, types, ap);
		va_end(ap);
	}
	return Send(call, r, end, error);
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
	static const char *const methods[] = {"SetMinimized", "SetMaximized"};
	sd_bus_error error = SD_BUS_ERROR_NULL;
	sd_bus_message *reply;
	uint64_t end = NowMs() + GnomeReplyMs;
	int found = 0, was = 0;

	if (!GnomeAlive())
		return -1;
	reply =
	    Call(methods[command], end, &error, "tbx", (uint64_t)id, (int)value, ActDeadline(end));
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

	uint64_t end = NowMs() + GnomeReplyMs;

	if (!GnomeAlive())
		return false;
	reply = Call(method, end, &error, "tx", (uint64_t)id, ActDeadline(end));
	if (reply == NULL)
		CallFailed(&error);
	else if (sd_bus_message_read(reply, "b", &found) < 0)
		found = 0;
	sd_bus_message_unref(reply);
	sd_bus_error_free(&error);
	return found != 0;
}

void GnomeOrderEnabled(HWND id, bool enable)
{
	if (orderCount > 0 && ordersEnable != enable)
		GnomeCarryOut();
	if (orderCount == orderCapacity) {
		int capacity = orderCapacity > 0 ? 2 * orderCapacity : 64;
		uint64_t *grown = (uint64_t *)realloc(orders, (size_t)capacity * sizeof *grown);
		if (grown == NULL)
			return; /* not acted on: the step reads it back and says so */
		orders = grown;
		orderCapacity = capacity;
	}
	ordersEnable = enable;
	orders[orderCount++] = (uint64_t)id;
}

/* Keeps what the extension did with each window ordered, from its answer:
 * a (found, wasEnabled) pair each, in the order of the ids. */
static int KeepEnabled(sd_bus_message *reply)
{
	int r = sd_bus_message_enter_container(reply, 'a', "(bb)");

	for (int i = 0; r > 0 && i < orderCount; i++) {
		int found = 0, was = 0;
		GnomeWindow *w;
		r = sd_bus_message_read(reply, "(bb)", &found, &was);
		if (r > 0 && found && (w = GnomeFind((HWND)orders[i])) != NULL)
			w->disabled = !ordersEnable;
	}
	return r;
}

bool GnomeCarryOut(void)
{
	sd_bus_error error = SD_BUS_ERROR_NULL;
	sd_bus_message *call = NULL, *reply;
	uint64_t end = NowMs() + GnomeReplyMs;
	int r;

	if (orderCount == 0)
		return true;
	if (!GnomeAlive()) {
		orderCount = 0;
		return false;
	}
	r = sd_bus_message_new_method_call(bus, &call, extension, objectPath, interfaceName,
	                                   "SetEnabled");
	if (r >= 0)
		r = sd_bus_message_append_array(call, 't', orders,
		                                (size_t)orderCount * sizeof *orders);
	if (r >= 0)
		r = sd_bus_message_append(call, "bx", (int)ordersEnable, ActDeadline(end));
	reply = Send(call, r, end, &error);
	if (reply == NULL)
		CallFailed(&error);
	else if (KeepEnabled(reply) < 0)
		MarkLost("GNOME Shell's wincue extension sent an answer wincue cannot read");
	sd_bus_message_unref(reply);
	sd_bus_error_free(&error);
	orderCount = 0;
	return reply != NULL && GnomeAlive();
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
		GnomeReadStacking(reply);
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
		int r = reply != NULL ? GnomeReadPage(reply, &after, &more) : -EINVAL;

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
	return sd_bus_match_signal(bus, NULL, extension, objectPath, interfaceName, NULL, OnSignal,
	                           NULL) >= 0;
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

/* Asks the extension for its signals, before the list; false, with the
 * shell counted as lost, when it does not answer. */
static bool Register(void)
{
	sd_bus_error error = SD_BUS_ERROR_NULL;
	sd_bus_message *reply = Call("Register", NowMs() + GnomeReplyMs, &error, NULL);

	if (reply == NULL)
		MarkLost("GNOME Shell's wincue extension does not answer on the session bus");
	sd_bus_message_unref(reply);
	sd_bus_error_free(&error);
	return reply != NULL;
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
	if (Register() && ListWindows())
		ReadOrder();
	return true;
}
