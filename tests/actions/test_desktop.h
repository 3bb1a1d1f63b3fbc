/* An in-memory desktop for unit tests: the window functions of
 * platform/winapi.h over a small table of windows, and a Sleep that only
 * records. Every call that changes something, every pass of EnumWindows
 * and every pause is written to one event log, in order. */
#ifndef WINCUE_TEST_DESKTOP_H
#define WINCUE_TEST_DESKTOP_H

#include "platform/winapi.h"

/* When a window goes away during the pass that reaches it. */
enum Vanish { Stays, VanishesBeforeReads, VanishesBetweenReads };

struct TestWindow {
	const char *title, *className;
	bool visible, enabled;
	int appearsAfter;                          /* passes of EnumWindows that still miss it */
	Vanish vanishes;                           /* then its name reads from there on fail */
	const char *program = NULL;                /* its program's path; NULL: not known */
	bool minimized = false, maximized = false; /* maximized when not minimized */
	bool cloaked = false;                      /* visible, but on another virtual desktop */
};

enum { MaxTestWindows = 8 };

/* The log, tokens separated by one space: "pass" for each EnumWindows
 * call whose user value is the running step's number ("pass(N)"
 * otherwise), "sleep(ms)", "enable(handle,flag)", "show(handle,command)",
 * "activate(handle)"; for the one timer, "timer(ms)" when set, "wait(ms)"
 * and "close". A window's process id is its handle. */
extern char testDesktopLog[4096];

/* Window events: without them SetWinEventHook fails, as on Linux. Each
 * comes when the clock reaches its time, if a hook covers it: a wait ends
 * then, and dispatching it logs "event(code,handle)". Handles from 100 up
 * are child windows of window 1. */
struct TestEvent {
	DWORD at, code; /* at: ms after the reset */
	HWND window;
	LONG object = OBJID_WINDOW;
};

/* A fresh desktop holding these windows (handles 1, 2, ... in order), an
 * empty log and zero counters; hooks take when events are given (none
 * with a count of 0). */
void TestDesktopReset(const TestWindow *windows, int count, const TestEvent *events = NULL,
                      int eventCount = -1);

/* Callback calls so far, name reads of each kind, and window event hooks
 * set and not yet removed. */
extern int testDesktopVisits, testDesktopTitleReads, testDesktopClassReads, testDesktopHooks;

#endif
