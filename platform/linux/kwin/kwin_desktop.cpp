/*
 * The Windows functions over KWin's windows, as the desktop table lists
 * them. Hidden is minimized: a window KWin minimized (by wincue or by its
 * user) reads as hidden, and showing it restores it without activating
 * it. KWin offers nothing that keeps a window from taking input: Enable
 * leaves the window as it is and says so.
 */
#include <stdio.h>
#include <stdlib.h>

#include "../compositor.h"
#include "kwin.h"

/* Visits the windows as they were when the pass began; one that goes
 * meanwhile reads as nameless, and acting on it does nothing. */
static BOOL KWinEnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam)
{
	int count = 0;
	HWND *visits;

	KWinDrain();
	if (!KWinAlive()) {
		NoteEmptyPass(lpEnumFunc, lParam, kwinChanges);
		return FALSE; /* no desktop to read: the steps go on as on an empty one */
	}
	visits = VisitRoom(kwinWindowCount);
	if (visits == NULL)
		return FALSE;
	for (int i = 0; i < kwinWindowCount; i++)
		if (kwinWindows[i].id != 0)
			visits[count++] = kwinWindows[i].id;
	return VisitWindows(count, lpEnumFunc, lParam, &kwinChanges);
}

/* A name of the cache, or NULL. */
static const char *NameOf(HWND hWnd, bool title)
{
	const KWinWindow *w = KWinFind(hWnd);

	if (w == NULL)
		return NULL;
	return title ? w->title : w->className;
}

static int KWinGetWindowText(HWND hWnd, LPSTR lpString, int nMaxCount)
{
	return CopyName(NameOf(hWnd, true), lpString, nMaxCount);
}

static int KWinGetClassName(HWND hWnd, LPSTR lpClassName, int nMaxCount)
{
	return CopyName(NameOf(hWnd, false), lpClassName, nMaxCount);
}

static BOOL KWinIsWindowVisible(HWND hWnd)
{
	const KWinWindow *w = KWinFind(hWnd);

	return w != NULL && !w->minimized;
}

/* Returns whether the window was visible before, as Windows does. */
static BOOL KWinShowWindow(HWND hWnd, int nCmdShow)
{
	const KWinWindow *w;
	bool hide = nCmdShow == SW_HIDE;
	BOOL wasVisible;

	if (!InPass())
		KWinDrain();
	w = KWinFind(hWnd);
	if (w == NULL)
		return FALSE;
	wasVisible = !w->minimized;
	if (w->minimized != hide)
		KWinSetMinimized(w, hide);
	return wasVisible;
}

static BOOL KWinEnableWindow(HWND hWnd, BOOL bEnable)
{
	(void)bEnable;
	if (KWinFind(hWnd) != NULL)
		SayEnableChangedNothing("KWin");
	return FALSE;
}

static BOOL KWinIsWindowEnabled(HWND hWnd)
{
	return KWinFind(hWnd) != NULL;
}

/* A waiting program sleeps on the bus until the script tells a change;
 * once KWin has gone, nothing can change: it just pauses. */
static void KWinSlept(uint64_t due)
{
	uint64_t end;

	KWinDrain();
	if (IsWaiting(kwinChanges, due, &end))
		KWinWaitMessage(end);
}

const Desktop kwinDesktop = {
    KWinConnect,      KWinEnumWindows,     KWinGetWindowText,   KWinGetClassName, KWinShowWindow,
    KWinEnableWindow, KWinIsWindowVisible, KWinIsWindowEnabled, KWinSlept,
};
