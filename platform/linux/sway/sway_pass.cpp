/*
 * EnumWindows over the copy of sway's tree, the names and the shown state
 * it holds, and the waits. A pass asking something new reads the tree
 * afresh (one round trip); a program waiting for the desktop to change
 * sleeps on the event socket, and its passes read the tree again only
 * once sway has reported a change, or a second has gone by.
 */
#include "../../winapi.h"
#include "../compositor.h"
#include "sway.h"

static bool waited;     /* the last Sleep waited for a change */
static uint64_t readAt; /* swayChanges when the copy was read */
static uint64_t readMs; /* and when; 0 until it first was */

/* A waiting program's pass trusts the copy until sway reports a change
 * (or the fallback time passes); any other reads the tree. */
static bool Refresh(bool trustCopy)
{
	if (!SwayTakeEvents())
		return false;
	if (trustCopy && readMs != 0 && readAt == swayChanges &&
	    NowMs() - readMs < WaitingFallbackMs)
		return true;
	readAt = swayChanges;
	readMs = NowMs();
	return SwayReadTree();
}

SwayWindow *SwayWindowOf(HWND hWnd)
{
	if (!InPass() && !Refresh(false))
		return NULL;
	return SwayFind((uint64_t)hWnd);
}

/* Visits the windows as they were when the pass began; one that goes
 * meanwhile reads as nameless, and acting on it does nothing. */
static BOOL SwayEnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam)
{
	bool fresh = Refresh(waited);
	HWND *visits;

	waited = false;
	if (!fresh) {
		NoteEmptyPass(lpEnumFunc, lParam, swayChanges);
		return FALSE; /* no desktop to read: the steps go on as on an empty one */
	}
	visits = VisitRoom(swayWindowCount);
	if (visits == NULL)
		return FALSE;
	for (int i = 0; i < swayWindowCount; i++)
		visits[i] = (HWND)swayWindows[i].id;
	return VisitWindows(swayWindowCount, lpEnumFunc, lParam, &swayChanges) && SwayAlive();
}

/* A name of the copy, or NULL. */
static const char *NameOf(HWND window, bool title)
{
	const SwayWindow *w = SwayWindowOf(window);

	if (w == NULL)
		return NULL;
	return title ? w->title : w->className;
}

static int SwayGetWindowText(HWND hWnd, LPSTR lpString, int nMaxCount)
{
	return CopyName(NameOf(hWnd, true), lpString, nMaxCount);
}

static int SwayGetClassName(HWND hWnd, LPSTR lpClassName, int nMaxCount)
{
	return CopyName(NameOf(hWnd, false), lpClassName, nMaxCount);
}

/* Hidden means in the scratchpad: a window on another workspace is
 * visible, as on Windows. */
static BOOL SwayIsWindowVisible(HWND hWnd)
{
	const SwayWindow *w = SwayWindowOf(hWnd);

	return w != NULL && !w->hidden;
}

/* A program asking the same pass again and again over an unchanged tree
 * sleeps until sway reports a change. */
static void SwaySlept(uint64_t due)
{
	uint64_t end;

	SwayTakeEvents();
	waited = IsWaiting(swayChanges, due, &end);
	if (waited)
		WaitReadable(SwayEventDescriptor(), end);
}

const Desktop swayDesktop = {
    SwayConnect,      SwayEnumWindows,     SwayGetWindowText,   SwayGetClassName, SwayShowWindow,
    SwayEnableWindow, SwayIsWindowVisible, SwayIsWindowEnabled, SwaySlept,
};
