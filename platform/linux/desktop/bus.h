#ifndef WINCUE_BUS_H
#define WINCUE_BUS_H

#include <stdarg.h>
#include <stdint.h>
#include <systemd/sd-bus.h>

/* A connection to the session bus for one peer: the program that owns a
 * well-known name there (KWin, GNOME Shell's extension). The peer is lost
 * once the name changes hands, since the program that held it has gone
 * and what it held with it, or once the connection closes: the link says
 * so on standard error once and waits on nothing more.
 *
 * sd-bus waits 90 s for a bus to take a new connection and 25 s for an
 * answer unless told otherwise, and flushes without end: every wait here
 * ends by a bound its caller gives. */
struct BusLink {
	sd_bus *bus;          /* NULL until opened, and once closed */
	const char *lostLine; /* the line for a lost peer: "lost KWin on the session bus" */
	void (*lose)(void);   /* the desktop's part of a loss: a change to count */
	void (*late)(void);   /* NULL, or a call's answer did not come in time */
	char peer[64];        /* the peer's unique name, once BusOwner found it */
	bool peerGone;        /* the well-known name changed hands */
	bool lost;
};

/* Opens the user's session bus, waiting until end at most on the
 * monotonic clock for it to take the connection, and watches who owns
 * name; false, closed, when it did not. */
bool BusOpen(BusLink *link, const char *name, uint64_t end);

/* Closes the connection; returns false, for a failed open to return. */
bool BusClose(BusLink *link);

/* The unique name owning name, in owner (room for size) unless owner is
 * NULL; false when none does or the bus did not answer by end. */
bool BusOwner(BusLink *link, const char *name, char *owner, int size, uint64_t end);

/* False once the peer is lost (or the link never opened); says so once. */
bool BusAlive(BusLink *link);

/* The peer is lost for problem, which the line names; no-op once lost. */
void BusLose(BusLink *link, const char *problem);

/* Handles every message that has come, without waiting. */
void BusDrain(BusLink *link);

/* The connection's descriptor, readable when a message comes; -1 once the
 * peer is lost, when nothing more can come. */
int BusFd(BusLink *link);

/* Whether the peer sent m: only it may tell of its windows. */
bool BusFromPeer(const BusLink *link, sd_bus_message *m);

/* Sends call, made as r says (a negative errno: not made), and waits for
 * its answer until end at most, put in *reply unless reply is NULL;
 * returns what sd_bus_call does, -ETIMEDOUT having sent nothing when end
 * has passed. A failure is also in *error unless error is NULL. Unrefs
 * call. */
int BusSend(BusLink *link, sd_bus_message *call, int r, uint64_t end, sd_bus_error *error,
            sd_bus_message **reply);

/* Calls member with the arguments types gives (NULL: none), as BusSend. */
int BusCallV(BusLink *link, const char *destination, const char *path, const char *interface,
             const char *member, uint64_t end, sd_bus_error *error, sd_bus_message **reply,
             const char *types, va_list ap);
int BusCall(BusLink *link, const char *destination, const char *path, const char *interface,
            const char *member, uint64_t end, sd_bus_error *error, sd_bus_message **reply,
            const char *types, ...);

#endif
