/* The session bus link that KWin and GNOME share. */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "bus.h"
#include "desktop.h"

/* Waits, until end at most, for the bus to take the new connection: a bus
 * that accepts and never answers would hold sd-bus 90 s. */
static bool Started(sd_bus *bus, uint64_t end)
{
	int r;

	while ((r = sd_bus_is_ready(bus)) == 0) {
		uint64_t now = NowMs();
		if (now >= end)
			return false;
		r = sd_bus_process(bus, NULL);
		if (r < 0)
			return false;
		if (r == 0 && sd_bus_wait(bus, (end - now) * 1000) < 0)
			return false;
	}
	return r > 0;
}

static int OnOwnerChanged(sd_bus_message *m, void *link, sd_bus_error *error)
{
	(void)m;
	(void)error;
	((BusLink *)link)->peerGone = true;
	return 0;
}

bool BusOpen(BusLink *link, const char *name, uint64_t end)
{
	char rule[256];

	if (sd_bus_open_user(&link->bus) < 0) {
		link->bus = NULL;
		return false;
	}
	snprintf(rule, sizeof rule,
	         "type='signal',sender='org.freedesktop.DBus',member='NameOwnerChanged',"
	         "arg0='%s'",
	         name);
	if (!Started(link->bus, end) ||
	    sd_bus_add_match_async(link->bus, NULL, rule, OnOwnerChanged, NULL, link) < 0)
		return BusClose(link);
	return true;
}

bool BusClose(BusLink *link)
{
	link->bus = sd_bus_close_unref(link->bus);
	return false;
}

static const BusObject busItself = {"org.freedesktop.DBus", "/org/freedesktop/DBus",
                                    "org.freedesktop.DBus"};

bool BusOwner(BusLink *link, const char *name, char *owner, int size, uint64_t end)
{
	sd_bus_message *reply = NULL;
	const char *found;
	bool owned = BusCall(link, &busItself, "GetNameOwner", end, NULL, &reply, "s", name) >= 0 &&
	             sd_bus_message_read(reply, "s", &found) > 0;

	if (owned && owner != NULL)
		KeepName(owner, size, found);
	sd_bus_message_unref(reply);
	return owned;
}

void BusLose(BusLink *link, const char *problem)
{
	if (link->lost)
		return;
	link->lost = true;
	if (link->emptied != NULL)
		CacheEmpty(link->emptied);
	(*link->changes)++;
	SayDesktopLost(problem, getenv("DBUS_SESSION_BUS_ADDRESS"));
}

bool BusAlive(BusLink *link)
{
	if (link->bus != NULL && !link->lost && (link->peerGone || sd_bus_is_open(link->bus) <= 0))
		BusLose(link, link->lostLine);
	return link->bus != NULL && !link->lost;
}

/* No flush, which has no bound: sd_bus_process writes what it can. */
void BusDrain(BusLink *link)
{
	if (!BusAlive(link))
		return;
	while (sd_bus_process(link->bus, NULL) > 0)
		;
	BusAlive(link);
}

int BusFd(BusLink *link)
{
	return BusAlive(link) ? sd_bus_get_fd(link->bus) : -1;
}

bool BusFromPeer(const BusLink *link, sd_bus_message *m)
{
	const char *sender = sd_bus_message_get_sender(m);

	return sender != NULL && strcmp(sender, link->peer) == 0;
}

int BusSend(BusLink *link, sd_bus_message *call, int r, uint64_t end, sd_bus_error *error,
            sd_bus_message **reply)
{
	uint64_t now = NowMs();
	bool sent = r >= 0 && now < end;

	if (sent)
		r = sd_bus_call(link->bus, call, (end - now) * 1000, error, reply);
	else if (r >= 0)
		r = -ETIMEDOUT;
	if (sent && r == -ETIMEDOUT && link->late != NULL)
		link->late();
	if (r < 0 && error != NULL && !sd_bus_error_is_set(error))
		sd_bus_error_set_errno(error, r);
	sd_bus_message_unref(call);
	return r;
}

int BusCall(BusLink *link, const BusObject *object, const char *member, uint64_t end,
            sd_bus_error *error, sd_bus_message **reply, const char *types, ...)
{
	const char *destination = object->destination != NULL ? object->destination : link->peer;
	sd_bus_message *call = NULL;
	va_list ap;
	int r = sd_bus_message_new_method_call(link->bus, &call, destination, object->path,
	                                       object->interface, member);

	va_start(ap, types);
	if (r >= 0 && types != NULL)
		r = sd_bus_message_appendv(call, types, ap);
	va_end(ap);
	return BusSend(link, call, r, end, error, reply);
}
