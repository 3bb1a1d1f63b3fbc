#ifndef WINCUE_BUS_H
#define WINCUE_BUS_H

#include <stdint.h>
#include <systemd/sd-bus.h>

struct WindowCache;

/* A session bus connection to one peer, the program that owns a
 * well-known name (KWin, GNOME Shell's extension). The peer is lost once
 * the name changes hands (the program that held it has gone, and what it
 * held with it) or the connection closes: the link says so once on
 * standard error and waits on nothing more. sd-bus alone would wait 90 s
 * for a start, 25 s for an answer and without end for a flush: every wait
 * here ends by a bound its caller gives. */
struct BusLink {
	const char *lostLine;        /* "lost KWin on the session bus" */
	uint64_t *changes;           /* the desktop's version, which a loss moves */
	WindowCache *emptied = NULL; /* NULL, or the cache a loss empties at once */
	void (*late)(void) = NULL;   /* what a call's answer not in time does */
	sd_bus *bus = NULL;          /* NULL until opened, and once closed */
	char peer[64] = "";          /* the peer's unique name, once BusOwner found it */
	bool peerGone = false;       /* the well-known name changed hands */
	bool lost = false;
};

/* What a call goes to; destination NULL: the peer's unique name. */
struct BusObject {
	const char *destination, *path, *interface;
};

/* Opens the session bus, waiting until end at most on the monotonic clock
 * for it to take the connection, and watches who owns name; false, closed,
 * when it did not. BusClose returns false for it. */
bool BusOpen(BusLink *link, const char *name, uint64_t end);
bool BusClose(BusLink *link);

/* The unique name owning name, in owner (room for size) unless NULL;
 * false when none does or the bus did not answer by end. */
bool BusOwner(BusLink *link, const char *name, char *owner, int size, uint64_t end);

/* False once the peer is lost (or the link never opened), which BusLose
 * says once, naming problem. */
bool BusAlive(BusLink *link);
void BusLose(BusLink *link, const char *problem);

/* Handles every message that has come, without waiting. */
void BusDrain(BusLink *link);

/* Readable when a message comes; -1 once the peer is lost. */
int BusFd(BusLink *link);

bool BusFromPeer(const BusLink *link, sd_bus_message *m);

/* Sends call, made as r says (negative: not made), and unrefs it; returns
 * what sd_bus_call does, with the answer in *reply and a failure in
 * *error (each unless NULL): -ETIMEDOUT, sending nothing, once end has
 * passed. BusCall makes the call of member with the arguments types gives
 * (NULL: none). */
int BusSend(BusLink *link, sd_bus_message *call, int r, uint64_t end, sd_bus_error *error,
            sd_bus_message **reply);
int BusCall(BusLink *link, const BusObject *object, const char *member, uint64_t end,
            sd_bus_error *error, sd_bus_message **reply, const char *types, ...);

#endif
