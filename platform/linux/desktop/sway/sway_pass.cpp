/*
 * The sway desktop's table over the copy of sway's tree. A pass asking
 * something new reads the tree afresh (one round trip); a program waiting
 * for the desktop to change sleeps on the event socket, and its passes
 * read the tree again only once sway has reported a change, or a second
 * has gone by.
 */
#include "../../../winapi.h"
#include "sway.h"

static uint64_t readAt; /* swayChanges when the copy was read */
static uint64_t readMs; /* and when; 0 until it first was */

/* A waiting program's pass trusts the copy until sway reports a change
 * (or the fallback time passes); any other reads the tree. */
static bool Update(bool waiting)
{
	if (!SwayTakeEvents())
		return false;
	if (waiting && readMs != 0 && readAt == swayChanges && NowMs() - readMs < WaitingFallbackMs)
		return true;
	readAt = swayChanges;
	readMs = NowMs();
	return SwayReadTree();
}

static uint64_t Version(void)
{
	return swayChanges;
}

/* The most recently focused first. */
static int List(HWND *room, int size)
{
	return CacheList(&swayCache, room, size);
}

/* Hidden means in the scratchpad: a window on another workspace is
 * visible, as on Windows. */
static BOOL IsWindowShown(HWND hWnd)
{
	const SwayWindow *w = SwayFind(hWnd);

	return w != NULL && !w->hidden;
}

/* sway cannot refuse a window's input: every window takes it. */
static BOOL TakesInput(HWND hWnd)
{
	return SwayFind(hWnd) != NULL;
}

static HWND Active(void)
{
	return SwayFind(swayFocused) != NULL ? swayFocused : 0;
}

/* sway has carried out a command when it answers it. */
static bool Finish(bool acted)
{
	(void)acted;
	return SwayAlive();
}

/* Events that came since the last update end the wait at once. */
static void Wait(uint64_t end)
{
	uint64_t before = swayChanges;

	if (SwayTakeEvents() && swayChanges == before)
		WaitReadable(SwayEventDescriptor(), end);
}

/* sway has neither minimized nor maximized windows (fullscreen is
 * another thing: it hides every other window of the output). */
const Desktop swayDesktop = {
    "sway",     &swayCache,     SwayConnect, Update, Version, List,         IsWindowShown,
    TakesInput, SwayShowWindow, NULL,        Finish, Wait,    SwayActivate, Active,
    SwayClose,  NULL,           NULL,        NULL,   true,
};
