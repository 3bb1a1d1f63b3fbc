/*
 * The desktops the window stand-ins can act on, and the choice between
 * them (desktop.cpp). Each is a table of the Windows functions over one
 * desktop, with their Windows meanings; the first window operation picks
 * one for the life of the process.
 */
#ifndef WINCUE_DESKTOP_H
#define WINCUE_DESKTOP_H

#include <stdint.h>

#include "../winapi.h"

struct Desktop {
	/* A compositor's: connects; false, having written nothing, when it is
	 * not the one the session runs. (X11's display opens at its first
	 * use, and says why not.) */
	bool (*open)(void);
	BOOL (*enumWindows)(WNDENUMPROC lpEnumFunc, LPARAM lParam);
	int (*getWindowText)(HWND hWnd, LPSTR lpString, int nMaxCount);
	int (*getClassName)(HWND hWnd, LPSTR lpClassName, int nMaxCount);
	BOOL (*showWindow)(HWND hWnd, int nCmdShow);
	BOOL (*enableWindow)(HWND hWnd, BOOL bEnable);
	BOOL (*isWindowVisible)(HWND hWnd);
	BOOL (*isWindowEnabled)(HWND hWnd);
	/* Sleep has slept (due 0), or a wait for the timer due at due has: a
	 * program asking the same pass again and again over an unchanged
	 * desktop may be kept waiting here until it changes, never past due. */
	void (*slept)(uint64_t due);
};

extern const Desktop x11Desktop;  /* x11/x11_pass.cpp */
extern const Desktop swayDesktop; /* sway/sway_pass.cpp */
extern const Desktop kwinDesktop; /* kwin/kwin_desktop.cpp */

/* One line on standard error when the desktop cannot be read (problem,
 * then where, e.g. the display's name), the first time only: standard
 * output carries the script's lines and nothing else. None when the
 * program reports failures itself (SetErrorMode). */
void SayDesktopLost(const char *problem, const char *where);

/* Copies a window's name (NULL: no such window, an empty name) into out,
 * cut to fit size and always terminated, as GetWindowTextA does; returns
 * its length. */
int CopyName(const char *name, char *out, int size);

/* Keeps a name a compositor told (UTF-8) in out, cut to fit size bytes
 * with its terminator, never inside a character. */
void KeepName(char *out, int size, const char *name);

/* Tells the chosen desktop that the program slept; nothing before the
 * first window operation. */
void DesktopSlept(uint64_t due);

/* Milliseconds on the monotonic clock: process.cpp. */
uint64_t NowMs(void);

#endif
