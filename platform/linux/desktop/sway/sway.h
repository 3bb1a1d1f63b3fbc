/*
 * What the sway files behind the window stand-ins share. sway shows its
 * windows, native and XWayland, only over its IPC socket ($SWAYSOCK): two
 * connections, one for requests (the tree, commands) and one subscribed
 * to window events, which only tell that the tree changed. A copy of the
 * windows of the tree is read again only after such a change.
 *
 * The files call only those below them:
 *   sway_show.cpp     ShowWindow, activating and closing
 *   sway_desktop.cpp  the desktop table
 *   sway_tree.cpp     the windows of the tree (json-c)
 *   sway_ipc.cpp      the sockets and the i3-ipc framing
 */
#ifndef WINCUE_SWAY_H
#define WINCUE_SWAY_H

#include <stddef.h>
#include <stdint.h>

#include "../desktop.h"

enum {
	SwayOpenMs = 1000,  /* the longest sway may take to answer at the start */
	SwayReplyMs = 5000, /* ... and later, before it counts as lost */
	/* The longest reply taken: a tree of some ten thousand windows. A
	 * longer one counts as sway lost, never as memory to grant. */
	SwayReplyCap = 64 << 20,
};

/* The i3-ipc message types wincue sends. */
enum { SwayRunCommand = 0, SwaySubscribe = 2, SwayGetTree = 4, SwayGetVersion = 7 };

/* A window of the tree, as the last read found it: its id is sway's
 * con_id, its class the app_id, or an XWayland window's X11 class. */
struct SwayWindow {
	DeskWindow desk;
	bool hidden;       /* in the scratchpad and not shown */
	uint32_t xwayland; /* an XWayland window's X11 id; 0 for a native one */
};

/* Program-wide sway state: sway_ipc.cpp, sway_tree.cpp. */
extern uint64_t swayChanges;  /* event messages and commands so far: the version */
extern WindowCache swayCache; /* the windows of the last read, the focused first */
extern HWND swayFocused;      /* the window sway had focused then, or 0 */

/* The desktop table: sway_desktop.cpp. */
extern const Desktop swayDesktop;

/* The window functions over sway that the table lists: sway_show.cpp. */
BOOL SwayShowWindow(HWND hWnd, int nCmdShow);
BOOL SwayActivate(HWND hWnd);
BOOL SwayClose(HWND hWnd, bool ask);

static inline SwayWindow *SwayFind(HWND id)
{
	return (SwayWindow *)CacheFind(&swayCache, id);
}

/* -- sway_tree.cpp ------------------------------------------------------ */

/* Replaces the copy with the tree as sway has it now; false (the copy
 * emptied) when sway is lost. */
bool SwayReadTree(void);

/* -- sway_ipc.cpp ------------------------------------------------------- */

/* Connects both sockets and subscribes to window events; false, having
 * written nothing, when $SWAYSOCK does not answer as sway. */
bool SwayConnect(void);

/* Sends a request and returns sway's reply (malloc'd, NUL-terminated, its
 * length in *length), or NULL once sway is lost. */
char *SwayRequest(uint32_t type, const char *payload, size_t *length);

/* Counts what has arrived on the event socket as a change; false once
 * sway is lost. */
bool SwayTakeEvents(void);

/* The descriptor that becomes readable when sway reports a change; -1
 * once sway is lost. */
int SwayEventDescriptor(void);

/* False once sway is lost, which the first to notice says on standard
 * error; it stays lost. */
bool SwayAlive(void);

#endif
