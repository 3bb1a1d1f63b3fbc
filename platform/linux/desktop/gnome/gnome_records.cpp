/*
 * What the extension tells of its windows, read into the cache: a window's
 * record, a closed window, the active window, the stacking order, and the
 * pages of the list. The bytes come from another process: a message of any
 * other shape is an error, and what could not be read stays as it was.
 */
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "gnome.h"

static const char interfaceName[] = "org.wincue.Shell";
static const char record[] = "(tssibbb)";

WindowCache gnomeCache = {sizeof(GnomeWindow), NULL, 0, 0, 0, NULL, 0, 0};
uint64_t gnomeChanges;

HWND gnomeActive;
HWND *gnomeStacking;
int gnomeStackingCount;
static int stackingCapacity;

int GnomeReadRecord(sd_bus_message *m, uint64_t *id)
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

	return GnomeReadRecord(m, &id);
}

static int Closed(sd_bus_message *m)
{
	uint64_t id;
	GnomeWindow *w;
	int r = sd_bus_message_read(m, "t", &id);

	if (r > 0 && (w = GnomeFind((HWND)id)) != NULL) {
		CacheRemove(&gnomeCache, &w->desk);
		gnomeChanges++;
	}
	return r;
}

static int ActiveChanged(sd_bus_message *m)
{
	uint64_t id;
	int r = sd_bus_message_read(m, "t", &id);

	if (r > 0) {
		gnomeActive = (HWND)id;
		gnomeChanges++;
	}
	return r;
}

int GnomeReadStacking(sd_bus_message *m)
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
    {"WindowAdded", Kept},
    {"WindowChanged", Kept},
    {"WindowClosed", Closed},
    {"ActiveChanged", ActiveChanged},
    {"Restacked", GnomeReadStacking},
};

int GnomeReadPage(sd_bus_message *m, uint64_t *after, int *more)
{
	int r = sd_bus_message_enter_container(m, 'a', record);

	while (r > 0 && (r = GnomeReadRecord(m, after)) > 0)
		;
	if (r >= 0)
		r = sd_bus_message_exit_container(m);
	if (r >= 0)
		r = sd_bus_message_read(m, "b", more);
	return r;
}

int GnomeReadSignal(sd_bus_message *m)
{
	for (size_t i = 0; i < sizeof signals / sizeof signals[0]; i++)
		if (sd_bus_message_is_signal(m, interfaceName, signals[i].member))
			return signals[i].read(m);
	return 0;
}

void GnomeForgetWindows(void)
{
	CacheEmpty(&gnomeCache);
	gnomeActive = 0;
	gnomeStackingCount = 0;
	gnomeChanges++;
}
