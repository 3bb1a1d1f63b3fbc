#ifndef WINCUE_BUS_H
#define WINCUE_BUS_H

#include <stdint.h>

typedef struct sd_bus sd_bus;

/* Waits, until end at most on the monotonic clock, for the bus to take a
 * new connection: sd-bus alone would wait 90 s on a bus that accepts and
 * never answers. */
bool BusStarted(sd_bus *bus, uint64_t end);

#endif
