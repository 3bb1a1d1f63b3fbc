/*
 * What the sway files behind the window stand-ins share. sway shows its
 * windows, native and XWayland, only over its IPC socket ($SWAYSOCK): two
 * connections, one for requests (the tree, commands) and one subscribed
 * to window events, which only tell that the tree changed. A copy of the
 * windows of the tree is read again only after such a change.
 *
 * The files call only those below them:
 *   sway_show.cpp   ShowWindow, EnableWindow, IsWindowEnabled
 *   sway_pass.cpp   EnumWindows, the names, IsWindowVisible, waits, the table
 *   sway_tree.cpp   the windows of the tree (json-c)
 *   sway_ipc.cpp    the sockets and the i3-ipc framing
 */
#ifndef WINCUE_SWAY_H
#define WINCUE_SWAY_H

#include <stddef.h>
#include <stdint.h>

#include "../desktop.h"

enum {
	SwayTextSize = 255,    /* a title or class: at most 254 bytes */
	SwayOpenMs = 1000,     /* the longest sway may take to answer at the start */
	SwayReplyMs = 5000,    /* ... and later, before it counts as lost */
	SwayCommandSize = 160, /* a command for one window */
};

/* The i3-ipc message types wincue sends. */
enum { SwayRunCommand = 0, SwaySubscribe = 2, SwayGetTree = 4, SwayGetVersion = 7 };

/* A window of the tree, as the last read found it. */
struct SwayWindow {
	uint64_t id;                  /* sway's con_id, the HWND */
	bool hidden;                  /* in the scratchpad and not shown */
	char title[SwayTextSize];     /* UTF-8 */
	char className[SwayTextSize]; /* app_id, or an XWayland window's class */
};

/* Program-wide sway state: sway_ipc.cpp, sway_tree.cpp. */
extern uint64_t swayChanges;    /* event messages and commands so far: the version */
extern SwayWindow *swayWindows; /* the windows of the last read, in tree order */
extern int swayWindowCount;

/* The Windows functions over sway, as the desktop table lists them. */
BOOL SwayShowWindow(HWND hWnd, int nCmdShow);
BOOL SwayEnableWindow(HWND hWnd, BOOL bEnable);
BOOL SwayIsWindowEnabled(HWND hWnd);

/* -- sway_pass.cpp ------------------------------------------------------ */

/* The window of the current copy with this id, or NULL; outside a pass
 * the copy is brought up to date first. */
SwayWindow *SwayWindowOf(HWND hWnd);

/* -- sway_tree.cpp ------------------------------------------------------ */

/* Replaces the copy with the tree as sway has it now; false (the copy
 * emptied) when sway is lost. */
bool SwayReadTree(void);

/* The window with this id in the copy, or NULL. */
SwayWindow *SwayFind(uint64_t id);

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
