/*
 * The KWin desktop's table. Hidden is minimized: a window KWin minimized
 * (by wincue or by its user) reads as hidden, and showing it restores it
 * without activating it. KWin offers nothing that keeps a window from
 * taking input.
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
	/* What the last pass's commands left no longer holds. */
	for (int i = 0; i < kwinCache.count; i++)
		((KWinWindow *)CacheAt(&kwinCache, i))->commanded = 0;
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

	if (w != NULL && w->commanded != 0)
		return w->commanded == 's';
	return w != NULL && !w->minimized;
}

static BOOL TakesInput(HWND hWnd)
{
	return KWinFind(hWnd) != NULL;
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

/* Activating, closing and the states are not wired to the script yet:
 * the layer says KWin cannot. A show or hide is done when it returns. */
const Desktop kwinDesktop = {
    "KWin",        &kwinCache, KWinConnect,
    Update,        Version,    List,
    IsWindowShown, TakesInput, ShowWindowOnKWin,
    NULL,          Finish,     Wait,
    NULL,          NULL,       NULL,
    NULL,          NULL,       NULL,
    true,
};
