/*
 * What the wlroots desktop's files share. The compositors built on
 * wlroots, and others (labwc, wayfire, Hyprland, niri, river, Mir, sway
 * without its socket), tell any client every window over
 * zwlr_foreign_toplevel_manager_v1: each window's handle sends its title,
 * app id and states, then "done", and takes requests to activate, close,
 * minimize and maximize. The protocol tells neither a window's pid nor a
 * stacking order, and a handle holds for one connection: the ids are this
 * run's own, counted as the compositor announces the windows.
 *
 * The files call only those below them:
 *   wlr_desktop.cpp  the desktop table and the requests
 *   wlr_wayland.cpp  the connection, the handles, waits with a deadline
 */
#ifndef WINCUE_WLR_H
#define WINCUE_WLR_H

#include <stddef.h>
#include <stdint.h>

#include "../desktop.h"

struct zwlr_foreign_toplevel_handle_v1;

enum {
	WlrOpenMs = 1000,   /* the longest the compositor may take to answer at the start */
	WlrAnswerMs = 2000, /* ... to carry out a request a pass made */
	WlrReplyMs = 5000,  /* ... to answer a round trip, before it counts as lost */
	WlrVersion = 3,     /* the manager's version bound */
};

/* A window's states: the Desk* bits, and the protocol's others. */
enum {
	WlrMinimized = DeskMinimized,
	WlrMaximized = DeskMaximized,
	WlrActivated = 4,
	WlrFullscreen = 8
};

struct WlrWindow {
	DeskWindow desk;
	zwlr_foreign_toplevel_handle_v1 *handle;
	unsigned states;   /* as of the handle's last "done" */
	unsigned told;     /* as the state events since then tell */
	unsigned asked;    /* the states the pass's requests change ... */
	unsigned wanted;   /* ... and what it wants them to be */
	uint64_t activeAt; /* when it last became active, counted: its place in the list */
};

/* Program-wide state: wlr_wayland.cpp. */
extern WindowCache wlrCache;
extern uint64_t wlrChanges; /* "done" and "closed" events so far: the version */
extern unsigned wlrIgnored; /* states a request left unchanged by its deadline */

/* The desktop table: wlr_desktop.cpp. */
extern const Desktop wlrDesktop;

static inline WlrWindow *WlrFind(HWND id)
{
	return (WlrWindow *)CacheFind(&wlrCache, id);
}

/* The Wlr* bits of the protocol's state array (count values); values this
 * program does not know are left out. */
unsigned WlrStateBits(const uint32_t *values, size_t count);

/* Connects to $WAYLAND_DISPLAY and binds the manager; false, having
 * written nothing and kept nothing, when the compositor offers none or
 * does not answer within WlrOpenMs. */
bool WlrConnect(void);

/* Handles what the compositor sent until it has answered a round trip
 * (all it had to tell then is heard), at most until deadline; false when
 * it has not (a compositor that has not answered for WlrReplyMs is lost,
 * which the line says). */
bool WlrRoundTrip(uint64_t deadline);

/* Handles what has come, sends what is queued, without waiting. */
void WlrDrain(void);

/* Handles what comes until every window's asked states are as wanted, at
 * most until deadline; the states left unchanged go to wlrIgnored. */
void WlrAwaitAsked(uint64_t deadline);

/* The descriptor that becomes readable when the compositor tells
 * something; -1 once it is lost. */
int WlrDescriptor(void);

/* The first seat, which activation names; NULL when there is none. */
struct wl_seat *WlrSeat(void);

#endif
