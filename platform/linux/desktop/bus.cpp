/* What the desktops on the session bus share. */
#include <systemd/sd-bus.h>

#include "../system/system.h"
#include "bus.h"

bool BusStarted(sd_bus *bus, uint64_t end)
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
