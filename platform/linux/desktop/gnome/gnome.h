/*
 * What the GNOME files behind the window stand-ins share. GNOME Shell shows
 * other programs none of its windows; wincue's own extension, running
 * inside the shell (extension/), serves them on the session bus as
 * org.wincue.Shell: the program lists them page by page at the start, then
 * keeps its cache current from the extension's signals, and asks it to
 * minimize, restore, maximize, disable, enable, activate or close a window
 * with one call each.
 *
 * The files call only those below them:
 *   gnome_desktop.cpp  the desktop table
 *   gnome_bus.cpp      the connection, the calls, the signals
 *   gnome_records.cpp  what the extension tells, read into the cache
 * gnome_install.cpp, a module of its own, installs the extension.
 */
#ifndef WINCUE_GNOME_H
#define WINCUE_GNOME_H

#include <stdint.h>
#include <systemd/sd-bus.h>

#include "../desktop.h"

enum {
	GnomeInterfaceVersion = 2, /* the extension's interface this program speaks */
	/* The longest the extension may take to answer a call, or to list
	 * every window, before the shell counts as lost. */
	GnomeReplyMs = 5000,
	/* A change the extension has not begun this long before the call's
	 * answer is due is not made at all: the shell was stopped, and its
	 * answer (after a frame, 250 ms at most) would come after wincue has
	 * given it up. */
	GnomeActMarginMs = 1000,
	GnomeStartMs = 500, /* for the bus to take the connection */
};

/* A window of the shell: its id is the shell's (Meta.Window's), its class
 * the Wayland app_id, or an XWayland window's X11 class. */
struct GnomeWindow {
	DeskWindow desk;
	bool minimized;
	bool maximized;
	bool disabled;
};

/* Defined in gnome_records.cpp. */
extern WindowCache gnomeCache;
extern uint64_t gnomeChanges; /* changes told so far: the desktop's version */
extern HWND gnomeActive;      /* the window with the focus, 0 for none */
extern HWND *gnomeStacking;   /* the windows from the bottom of the stack up */
extern int gnomeStackingCount;

/* The desktop table: gnome_desktop.cpp. */
extern const Desktop gnomeDesktop;

/* -- gnome_records.cpp ------------------------------------------------- */

/* Each reads what m holds next into the cache or the order, and returns
 * what sd-bus does: 1, 0 when an array has no more, or a negative errno
 * when m holds something else, which leaves what it could not read as it
 * was. */
int GnomeReadRecord(sd_bus_message *m, uint64_t *id); /* (tssibbb): a window */
int GnomeReadStacking(sd_bus_message *m);             /* at: the ids, bottom up */
/* A page of the list, a(tssibbb)b: *after becomes the last id read. */
int GnomeReadPage(sd_bus_message *m, uint64_t *after, int *more);
/* A signal of the extension's interface, read as its member says; 0 for
 * one it does not send. */
int GnomeReadSignal(sd_bus_message *m);

/* No windows, no active one, no order: the shell has gone (or a test
 * begins). */
void GnomeForgetWindows(void);

/* -- gnome_bus.cpp ----------------------------------------------------- */

/* Connects to the session bus and lists the windows; false when the
 * extension does not answer there, having said why on standard error when
 * GNOME Shell does. */
bool GnomeConnect(void);

/* False once the shell or the bus is lost; says so on standard error once. */
bool GnomeAlive(void);

/* Handles every message that has come. */
void GnomeDrain(void);

/* The connection's descriptor, readable when a message comes; -1 once
 * the shell is lost. */
int GnomeDescriptor(void);

static inline GnomeWindow *GnomeFind(HWND id)
{
	return (GnomeWindow *)CacheFind(&gnomeCache, id);
}

/* The extension's commands on one window: SetMinimized, SetMaximized. */
enum GnomeCommand { GnomeMinimize, GnomeMaximize };

/* Has the extension set the window's state to value, and returns what it
 * was; -1 when the window has gone or the shell did not answer. */
int GnomeSet(enum GnomeCommand command, HWND id, bool value);

/* Notes that the window is to be enabled or disabled with the others of
 * the pass, in one call (GnomeCarryOut); a window of another value sends
 * those noted so far first. */
void GnomeOrderEnabled(HWND id, bool enable);

/* Has the extension enable or disable every window noted, and keeps what
 * it did in the cache; false when the shell did not answer, which leaves
 * them as they were there, and in the cache until the next update. */
bool GnomeCarryOut(void);

/* Has the extension activate or close the window (method "Activate" or
 * "Close"); false when the window has gone or the shell did not answer. */
bool GnomeAsk(const char *method, HWND id);

#endif
