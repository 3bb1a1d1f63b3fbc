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
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <systemd/sd-bus.h>

#include "../bus.h"
#include "gnome.h"

static const char busName[] = "org.wincue.Shell";
static const char objectPath[] = "/org/wincue/Shell";
static const char interfaceName[] = "org.wincue.Shell";

/* The extension's own connection, its unique name when the program first
 * found it. */
static BusLink extension = {"lost GNOME Shell on the session bus", &gnomeChanges};
static const BusObject shell = {NULL, objectPath, interfaceName};

/* The windows to enable or disable with the next call. */
static uint64_t *orders;
static int orderCount, orderCapacity;
static bool ordersEnable;

static int OnSignal(sd_bus_message *m, void *unused, sd_bus_error *error)
{
	(void)unused;
	(void)error;
	if (BusFromPeer(&extension, m))
		GnomeReadSignal(m);
	return 0;
}

/* -- the connection ---------------------------------------------------- */

bool GnomeAlive(void)
{
	return BusAlive(&extension);
}

/* A lost shell's cache stays until the next drain: a step reads back the
 * windows it could not act on and names them. */
void GnomeDrain(void)
{
	if (!GnomeAlive() && gnomeCache.count > 0)
		GnomeForgetWindows();
	BusDrain(&extension);
}

int GnomeDescriptor(void)
{
	return BusFd(&extension);
}

/* The deadline a change carries for the extension: microseconds on the
 * monotonic clock, which the shell shares (0 would be none). */
static int64_t ActDeadline(uint64_t end)
{
	return end > GnomeActMarginMs ? (int64_t)(end - GnomeActMarginMs) * 1000 : 1;
}

/* The lost shell's line when a call failed for want of an answer: an
 * answer that refuses is not a lost shell. */
static void CallFailed(const sd_bus_error *error)
{
	if (sd_bus_error_has_name(error, SD_BUS_ERROR_TIMEOUT) ||
	    sd_bus_error_has_name(error, SD_BUS_ERROR_NO_REPLY) ||
	    sd_bus_error_get_errno(error) == ETIMEDOUT)
		BusLose(&extension, "GNOME Shell does not answer on the session bus");
	GnomeAlive();
}

int GnomeSet(enum GnomeCommand command, HWND id, bool value)
{
	static const char *const methods[] = {"SetMinimized", "SetMaximized"};
	sd_bus_error error = SD_BUS_ERROR_NULL;
	sd_bus_message *reply = NULL;
	uint64_t end = NowMs() + GnomeReplyMs;
	int found = 0, was = 0;

	if (!GnomeAlive())
		return -1;
	if (BusCall(&extension, &shell, methods[command], end, &error, &reply, "tbx", (uint64_t)id,
	            (int)value, ActDeadline(end)) < 0)
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
	sd_bus_message *reply = NULL;
	int found = 0;

	uint64_t end = NowMs() + GnomeReplyMs;

	if (!GnomeAlive())
		return false;
	if (BusCall(&extension, &shell, method, end, &error, &reply, "tx", (uint64_t)id,
	            ActDeadline(end)) < 0)
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
	sd_bus_message *call = NULL, *reply = NULL;
	uint64_t end = NowMs() + GnomeReplyMs;
	int r;

	if (orderCount == 0)
		return true;
	if (!GnomeAlive()) {
		orderCount = 0;
		return false;
	}
	r = sd_bus_message_new_method_call(extension.bus, &call, extension.peer, objectPath,
	                                   interfaceName, "SetEnabled");
	if (r >= 0)
		r = sd_bus_message_append_array(call, 't', orders,
		                                (size_t)orderCount * sizeof *orders);
	if (r >= 0)
		r = sd_bus_message_append(call, "bx", (int)ordersEnable, ActDeadline(end));
	if (BusSend(&extension, call, r, end, &error, &reply) < 0)
		CallFailed(&error);
	else if (KeepEnabled(reply) < 0)
		BusLose(&extension,
		        "GNOME Shell's wincue extension sent an answer wincue cannot read");
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
	sd_bus_message *reply = NULL;
	uint64_t id = 0;

	if (BusCall(&extension, &shell, "GetActive", NowMs() + GnomeReplyMs, &error, &reply,
	            NULL) >= 0 &&
	    sd_bus_message_read(reply, "t", &id) > 0)
		gnomeActive = (HWND)id;
	reply = sd_bus_message_unref(reply);
	sd_bus_error_free(&error);
	if (BusCall(&extension, &shell, "GetStacking", NowMs() + GnomeReplyMs, &error, &reply,
	            NULL) >= 0)
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
		sd_bus_message *reply = NULL;
		int r =
		    BusCall(&extension, &shell, "GetWindows", end, &error, &reply, "t", after) >= 0
		        ? GnomeReadPage(reply, &after, &more)
		        : -EINVAL;

		sd_bus_message_unref(reply);
		if (r < 0) {
			if (reply == NULL)
				CallFailed(&error);
			else
				BusLose(&extension,
				        "GNOME Shell's wincue extension sent a list wincue cannot "
				        "read");
			sd_bus_error_free(&error);
			return false;
		}
	}
	return GnomeAlive();
}

/* The extension's signals, from its connection alone. */
static bool Watch(void)
{
	return BusOwner(&extension, busName, extension.peer, sizeof extension.peer,
	                NowMs() + GnomeReplyMs) &&
	       sd_bus_match_signal(extension.bus, NULL, extension.peer, objectPath, interfaceName,
	                           NULL, OnSignal, NULL) >= 0;
}

static const char installLine[] =
    "install it with \"wincue --install-gnome-extension\" and log in again";

/* The extension's version, once it has proved to answer this user; says
 * why not when it does not. */
static bool Greet(void)
{
	sd_bus_error error = SD_BUS_ERROR_NULL;
	sd_bus_message *reply = NULL;
	uint32_t version = 0;
	char why[256];

	if (BusCall(&extension, &shell, "GetVersion", NowMs() + GnomeReplyMs, &error, &reply,
	            NULL) >= 0)
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
	sd_bus_message *reply = NULL;

	BusCall(&extension, &shell, "Register", NowMs() + GnomeReplyMs, &error, &reply, NULL);
	if (reply == NULL)
		BusLose(&extension,
		        "GNOME Shell's wincue extension does not answer on the session bus");
	sd_bus_message_unref(reply);
	sd_bus_error_free(&error);
	return reply != NULL;
}

bool GnomeConnect(void)
{
	char why[256];

	if (!BusOpen(&extension, busName, NowMs() + GnomeStartMs))
		return false;
	/* sd-bus's own bound for a call is 25 s */
	if (sd_bus_set_method_call_timeout(extension.bus, GnomeReplyMs * 1000) < 0)
		return BusClose(&extension);
	if (!Watch()) {
		if (BusOwner(&extension, "org.gnome.Shell", NULL, 0, NowMs() + GnomeReplyMs)) {
			snprintf(why, sizeof why,
			         "GNOME Shell shows wincue its windows only through wincue's "
			         "extension: %s",
			         installLine);
			SayWaylandUnreached(why);
		}
		return BusClose(&extension);
	}
	if (!Greet())
		return BusClose(&extension);
	if (Register() && ListWindows())
		ReadOrder();
	return true;
}
