/*
 * The KWin desktop's table. Hidden is minimized: a window KWin minimized
 * (by wincue or by its user) reads as hidden, and showing it restores it
 * without activating it. Disabled is a shield script KWin holds for the
 * window (kwin_script.cpp), named after it, which outlives the run.
 */
#include <stdio.h>
#include <stdlib.h>

#include "kwin.h"

/* The script tells every change as it happens: the cache is current once
 * what has come is handled, for a waiting program and any other, and the
 * script has listed the windows. */
static bool Update(bool waiting)
{
	(void)waiting;
	KWinDrain();
	KWinAwaitList();
	return KWinAlive();
}

static uint64_t Version(void)
{
	return kwinChanges;
}

static int List(HWND *room, int size)
{
	return CacheList(&kwinCache, room, size);
}

static BOOL IsWindowShown(HWND hWnd)
{
	const KWinWindow *w = KWinFind(hWnd);

	return w != NULL && !w->minimized;
}

/* FALSE, as on Windows, also for a window KWin does not list. */
static BOOL TakesInput(HWND hWnd)
{
	KWinWindow *w = KWinFind(hWnd);

	return w != NULL && !KWinDisabled(w);
}

/* Returns whether the window was disabled before, as Windows does; the
 * pass's changes go to KWin together when it ends. */
static BOOL EnableWindowOnKWin(HWND hWnd, BOOL bEnable)
{
	KWinWindow *w = KWinFind(hWnd);
	bool disabled;

	if (w == NULL)
		return FALSE;
	disabled = KWinDisabled(w);
	if (disabled == (bool)bEnable)
		KWinOrderEnabled(w, bEnable);
	return disabled;
}

/* Returns whether the window was visible before, as Windows does; the
 * pass's hides and shows go to KWin together when it ends. */
static BOOL ShowWindowOnKWin(HWND hWnd, int nCmdShow)
{
	const KWinWindow *w = KWinFind(hWnd);
	bool hide = nCmdShow == SW_HIDE;

	if (w == NULL)
		return FALSE;
	if (w->minimized != hide)
		KWinOrder(w, hide);
	return !w->minimized;
}

static bool Finish(bool acted)
{
	if (acted)
		KWinCarryOut();
	return KWinAlive();
}

/* Messages that came since the last update end the wait at once; once
 * KWin has gone, nothing can change: it just pauses. */
static void Wait(uint64_t end)
{
	uint64_t before = kwinChanges;

	KWinDrain();
	if (kwinChanges == before)
		KWinWaitMessage(end);
}

const Desktop kwinDesktop = {
    "KWin",     &kwinCache,       KWinConnect,        Update, Version, List, IsWindowShown,
    TakesInput, ShowWindowOnKWin, EnableWindowOnKWin, Finish, Wait,
};
