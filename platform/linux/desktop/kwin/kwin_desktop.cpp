/*
 * The KWin desktop's table. Hidden is minimized: a window KWin minimized
 * (by wincue or by its user) reads as hidden, and showing it restores it
 * without activating it. Disabled is a shield script KWin holds for the
 * window (kwin_script.cpp), named after it, which outlives the run.
 * Every action is a command the pass's end sends to the script, and a step
 * reads back what KWin did then.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "kwin.h"

/* The script tells every change as it happens: the cache is current once
 * what has come is handled, for a waiting program and any other, and the
 * script has listed the windows. */
static bool Update(void)
{
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

/* Higher in KWin's stacking order first. */
static int Above(const void *a, const void *b)
{
	const KWinWindow *x = KWinFind(*(const HWND *)a), *y = KWinFind(*(const HWND *)b);

	return (y != NULL ? y->stack : 0) - (x != NULL ? x->stack : 0);
}

/* From the top of KWin's stacking order. */
static int List(HWND *room, int size)
{
	int count = CacheList(&kwinCache, room, size);

	if (count > 0 && count <= size) /* room may be NULL when size is 0 */
		qsort(room, (size_t)count, sizeof *room, Above);
	return count;
}

static DeskVisibility IsWindowShown(HWND hWnd)
{
	const KWinWindow *w = KWinFind(hWnd);

	if (w != NULL && w->commanded != 0)
		return w->commanded == 's' ? DeskVisible : DeskHidden;
	return w != NULL && !w->minimized ? DeskVisible : DeskHidden;
}

/* Refused, as on Windows, also for a window KWin does not list. */
static DeskInput TakesInput(HWND hWnd)
{
	KWinWindow *w = KWinFind(hWnd);

	return w != NULL && !KWinDisabled(w) ? DeskInputTaken : DeskInputRefused;
}

/* Returns whether the window was disabled before, as Windows does; the
 * pass's changes go to KWin together when it ends. */
static BOOL EnableWindowOnKWin(HWND hWnd, DeskInput to)
{
	BOOL bEnable = to == DeskInputTaken;
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
	KWinWindow *w = KWinFind(hWnd);
	bool hide = nCmdShow == SW_HIDE;

	if (w == NULL)
		return FALSE;
	bool was = !w->minimized;

	if (w->minimized != hide)
		KWinOrder(w, "m", hide ? "1" : "0", "hidden or shown");
	else
		w->commanded = hide ? 'h' : 's'; /* as the pass found it */
	return was;
}

static bool Finish(bool acted)
{
	if (acted)
		KWinCarryOut();
	return KWinAlive();
}

/* KWin activates it as a script's activation does: restored if
 * minimized, raised, with the focus. */
static BOOL Activate(HWND hWnd)
{
	const KWinWindow *w = KWinFind(hWnd);

	if (w == NULL)
		return FALSE;
	KWinOrder(w, "a", "", "activated");
	return TRUE;
}

static HWND Active(void)
{
	const KWinWindow *w = NULL;

	for (int i = 0; i < kwinCache.count && w == NULL; i++) {
		const KWinWindow *at = (const KWinWindow *)CacheAt(&kwinCache, i);
		if (at->desk.id != 0 && strcmp(at->uuid, kwinActive) == 0)
			w = at;
	}
	return w != NULL ? w->desk.id : 0;
}

/* KWin closes any window as its close button does. */
static BOOL Close(HWND hWnd, bool ask)
{
	const KWinWindow *w = KWinFind(hWnd);

	if (w != NULL && ask)
		KWinOrder(w, "c", "", "closed");
	return w != NULL;
}

static unsigned States(HWND hWnd)
{
	KWinWindow *w = KWinFind(hWnd);

	if (w == NULL)
		return 0;
	bool minimized = w->commanded != 0 ? w->commanded == 'h' : w->minimized;

	return (minimized ? DeskMinimized : 0) | (KWinMaximized(w) ? DeskMaximized : 0);
}

/* Restoring undoes the states the window has: the script waits for a
 * maximize to change. */
static BOOL SetState(HWND hWnd, DeskStateCommand nCmdShow)
{
	const char *does = "minimized, maximized or restored";
	KWinWindow *w = KWinFind(hWnd);

	if (w == NULL)
		return FALSE;
	if (nCmdShow == SW_MINIMIZE || (nCmdShow == SW_RESTORE && w->minimized))
		KWinOrder(w, "m", nCmdShow == SW_MINIMIZE ? "1" : "0", does);
	if (nCmdShow == SW_MAXIMIZE || (nCmdShow == SW_RESTORE && KWinMaximized(w)))
		KWinOrder(w, "x", nCmdShow == SW_MAXIMIZE ? "1" : "0", does);
	return TRUE;
}

/* Settled: what a pass asked is done when it is finished, and read back
 * then (a hide or show as the command left the window). */
const Desktop kwinDesktop = {
    .name = "KWin",
    .windows = &kwinCache,
    .open = KWinConnect,
    .update = Update,
    .drain = KWinDrain,
    .fd = KWinDescriptor,
    .version = Version,
    .list = List,
    .isVisible = IsWindowShown,
    .isEnabled = TakesInput,
    .show = ShowWindowOnKWin,
    .finish = Finish,
    .answerMs = KWinStepMs,
    .settled = true,
    .enable = EnableWindowOnKWin,
    .activate = Activate,
    .active = Active,
    .close = Close,
    .states = States,
    .setState = SetState,
};
