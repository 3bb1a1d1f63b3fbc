/*
 * What the KWin files behind the window stand-ins share. KWin shows other
 * programs its windows only to a script it runs itself: the program loads
 * one (kwin_script.cpp) over D-Bus, the script tells the program of every
 * window and change by calling it back, and takes the program's commands
 * as the answers to a call it keeps waiting. The program keeps what it
 * was told in a cache, so a pass over the desktop reads no more than the
 * messages that came.
 *
 * Every wait on the bus ends by a fixed bound and by the pass's deadline
 * (PassDeadline: KWinStepMs for all its waits together, never past the
 * step's timer, and no more waiting once KWin has let one run out), though
 * the first wait of a step with a timer gets PassLookMs: a step that looks
 * once (Timeout=0) still sees the windows.
 *
 * The files call only those below them:
 *   kwin_desktop.cpp  the desktop table
 *   kwin_bus.cpp      the connection, the script's calls, the bounds
 *   kwin_orders.cpp   the commands a pass sends, and the shield files
 *   kwin_lines.cpp    the lines of the script's batches, the cache
 *   kwin_script.cpp   the scripts' texts (kwin_script.js, kwin_shield.qml),
 *                     written where KWin reads them
 */
#ifndef WINCUE_KWIN_H
#define WINCUE_KWIN_H

#include <stdint.h>

#include "../desktop.h"

enum {
	KWinIdSize = 40,      /* KWin's window id, "{" a UUID "}" */
	KWinCallMs = 2000,    /* the longest one call to KWin or the bus may take */
	KWinListMs = 5000,    /* the longest the script may take to list the windows */
	KWinCommandMs = 3000, /* the longest a pass's hides and shows may take */
	KWinStepMs = 5000,    /* the longest a step may wait on KWin in all */
	KWinExitMs = 100,     /* the longest the exit waits for the unload */
};

/* A window KWin manages: its id is the first 64 bits of its UUID, its
 * class KWin's resourceClass. */
struct KWinWindow {
	DeskWindow desk;
	char uuid[KWinIdSize];
	bool minimized;
	int stack;         /* its place in KWin's stacking order, from the bottom */
	bool disabled;     /* KWin held its shield when last asked */
	uint64_t askedIn;  /* its memo (AskOncePerPass) */
	bool maximized;    /* KWin had it maximized when last asked */
	uint64_t statesIn; /* ... and this one's */
	/* What the command of the pass just finished left it: 'h'idden,
	 * 's'hown, 0 none; what the pass reads back. */
	char commanded;
};

/* Defined in kwin_lines.cpp, and kwinChanges in kwin_bus.cpp. */
extern WindowCache kwinCache;
extern uint64_t kwinChanges;        /* changes told so far: the desktop's version */
extern char kwinActive[KWinIdSize]; /* the active window's UUID, or "" */

/* The desktop table: kwin_desktop.cpp. */
extern const Desktop kwinDesktop;

/* -- kwin_lines.cpp ---------------------------------------------------- */

/* Applies the lines of a batch the script told, each ended by a newline
 * but the last: a window's state (A, its id, 1 when minimized, its pid,
 * its place in the stacking order, its class and its title), what a
 * command just done left it (C, its id, 1 when minimized), its going (R,
 * its id), or the active window (F, its id or nothing); fields are parted
 * by tabs, and texts carry \uXXXX escapes (UTF-16). A line of another
 * kind, or with fields missing, is left alone. */
void KWinApplyLines(const char *text);

/* -- kwin_orders.cpp --------------------------------------------------- */

/* Notes a command for the window (verb and arg, as the script reads them;
 * does: what a late answer leaves undone, "hidden or shown"); KWinCarryOut
 * has the script do every one noted. */
void KWinOrder(const KWinWindow *w, const char *verb, const char *arg, const char *does);

/* Notes that the window is to be enabled or disabled: its shield script
 * unloaded, or written and loaded; KWinCarryOut then also waits until the
 * shield holds the window. */
void KWinOrderEnabled(const KWinWindow *w, bool enable);

/* The commands noted and not yet sent, a line each ("" when none). */
const char *KWinOrders(void);

/* A shield (or the script for it) called for the window of that UUID;
 * cannot: it could not be made. */
void KWinShieldCalled(const char *uuid, bool cannot);

/* Whether every shield the commands make has called. */
bool KWinShieldsCalled(void);

/* The commands went as command number: says what they left undone when
 * late, keeps their shield files until that number is done, and forgets
 * them. */
void KWinOrdersSent(int number, bool late);

/* Removes the shield files of the commands up to number (INT_MAX: all). */
void KWinRemoveShieldFiles(int number);

/* -- kwin_bus.cpp ------------------------------------------------------ */

/* Connects to the session bus and has KWin run the script; false, having
 * written nothing, when no KWin answers there. */
bool KWinConnect(void);

/* False once the connection is lost; says so on standard error once. */
bool KWinAlive(void);

/* Handles every message that has come. */
void KWinDrain(void);

/* Until the script has listed every window, waits for it, within the
 * bounds; says once on standard error when it did not in time. */
void KWinAwaitList(void);

/* The connection's descriptor, readable when a message comes; -1 once
 * KWin has gone. */
int KWinDescriptor(void);

static inline KWinWindow *KWinFind(HWND id)
{
	return (KWinWindow *)CacheFind(&kwinCache, id);
}

/* The program's unique bus name, which the shields call back. */
const char *KWinCaller(void);

/* Sends what was noted and waits until the script has done it; false,
 * having said so on standard error, when it did not answer in time. */
bool KWinCarryOut(void);

/* Whether KWin holds the window's shield script, asked once a pass (and at
 * every call outside one); false when KWin did not answer. */
bool KWinDisabled(KWinWindow *w);

/* Whether KWin has the window maximized both ways, asked as KWinDisabled
 * asks (KWin's getWindowInfo); false when KWin did not answer. */
bool KWinMaximized(KWinWindow *w);

/* -- kwin_script.cpp --------------------------------------------------- */

/* Writes the script, calling back the bus name caller and known to KWin
 * as name, to a new file readable by KWin; its path goes to path (room
 * for size). False when no file could be written, or when caller or name
 * has a character no bus name has. */
bool KWinWriteScript(const char *caller, const char *name, char *path, int size);

/* Writes the shield script for the window of that UUID, calling back the
 * bus name caller once it holds the window, as KWinWriteScript writes;
 * false also for an id that is no UUID or a caller that is no unique bus
 * name. */
bool KWinWriteShield(const char *caller, const char *uuid, char *path, int size);

#endif
