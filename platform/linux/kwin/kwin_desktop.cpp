/*
 * The Windows functions over KWin's windows, as the desktop table lists
 * them. Hidden is minimized: a window KWin minimized (by wincue or by its
 * user) reads as hidden, and showing it restores it without activating
 * it. KWin offers nothing that keeps a window from taking input: Enable
 * leaves the window as it is and says so.
 */
#include <stdio.h>
#include <stdlib.h>

#include "../waiting.h"
#include "kwin.h"

static HWND *visits; /* the windows of the current pass */
static int visitCapacity;
static bool inPass;
static bool acted;      /* the pass changed a window */
static bool enableTold; /* the pass has said Enable does nothing */

static bool Grow(int count)
{
	HWND *grown;
	int capacity = visitCapacity > 0 ? visitCapacity : 64;

	if (count <= visitCapacity)
		return true;
	while (capacity < count)
		capacity *= 2;
	grown = (HWND *)realloc(visits, (size_t)capacity * sizeof *grown);
	if (grown == NULL)
		return false;
	visits = grown;
	visitCapacity = capacity;
	return true;
}

/* Visits the windows as they were when the pass began; one that goes
 * meanwhile reads as nameless, and acting on it does nothing. */
static BOOL KWinEnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam)
{
	int count = 0;
	BOOL completed = TRUE;

	KWinDrain();
	if (!KWinAlive()) {
		NotePass(lpEnumFunc, lParam, kwinChanges, false);
		return FALSE; /* no desktop to read: the steps go on as on an empty one */
	}
	if (!Grow(kwinWindowCount))
		return FALSE;
	for (int i = 0; i < kwinWindowCount; i++)
		if (kwinWindows[i].id != 0)
			visits[count++] = kwinWindows[i].id;
	inPass = true;
	acted = enableTold = false;
	for (int i = 0; i < count; i++) {
		if (!lpEnumFunc(visits[i], lParam)) {
			completed = FALSE;
			break;
		}
	}
	inPass = false;
	NotePass(lpEnumFunc, lParam, kwinChanges, acted);
	return completed;
}

static int CopyName(HWND hWnd, bool title, char *out, int size)
{
	const KWinWindow *w = KWinFind(hWnd);
	const char *name;
	int length = 0;

	if (size <= 0)
		return 0;
	out[0] = '\0';
	if (w == NULL)
		return 0;
	name = title ? w->title : w->className;
	while (length < size - 1 && name[length] != '\0') {
		out[length] = name[length];
		length++;
	}
	out[length] = '\0';
	return length;
}

static int KWinGetWindowText(HWND hWnd, LPSTR lpString, int nMaxCount)
{
	return CopyName(hWnd, true, lpString, nMaxCount);
}

static int KWinGetClassName(HWND hWnd, LPSTR lpClassName, int nMaxCount)
{
	return CopyName(hWnd, false, lpClassName, nMaxCount);
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

	if (!inPass)
		KWinDrain();
	w = KWinFind(hWnd);
	if (w == NULL)
		return FALSE;
	wasVisible = !w->minimized;
	if (w->minimized != hide) {
		acted = true;
		KWinSetMinimized(w, hide);
	}
	return wasVisible;
}

static BOOL KWinEnableWindow(HWND hWnd, BOOL bEnable)
{
	(void)hWnd;
	(void)bEnable;
	if (!inPass || !enableTold)
		fputs("wincue: KWin cannot stop a window taking input: Enable changed nothing\n",
		      stderr);
	enableTold = inPass;
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
	if (!IsWaiting(kwinChanges, due, &end))
		return;
	if (KWinAlive())
		KWinWaitMessage(end);
	else
		WaitReadable(-1, end); /* poll skips a negative descriptor */
}

const Desktop kwinDesktop = {
    "KWin",         KWinConnect,      KWinEnumWindows,     KWinGetWindowText,   KWinGetClassName,
    KWinShowWindow, KWinEnableWindow, KWinIsWindowVisible, KWinIsWindowEnabled, KWinSlept,
};
