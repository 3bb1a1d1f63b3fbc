/*
 * The sway desktop's table over the copy of sway's tree. A fresh look
 * reads the tree (one round trip); the event socket only tells that the
 * tree changed.
 */
#include "../../../winapi.h"
#include "sway.h"

static bool Update(void)
{
	return SwayTakeEvents() && SwayReadTree();
}

static void Drain(void)
{
	SwayTakeEvents();
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
static DeskVisibility IsWindowShown(HWND hWnd)
{
	const SwayWindow *w = SwayFind(hWnd);

	return w != NULL && !w->hidden ? DeskVisible : DeskHidden;
}

/* sway cannot refuse a window's input: every window takes it. */
static DeskInput TakesInput(HWND hWnd)
{
	return SwayFind(hWnd) != NULL ? DeskInputTaken : DeskInputRefused;
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

/* sway has neither minimized nor maximized windows (fullscreen is
 * another thing: it hides every other window of the output). */
const Desktop swayDesktop = {
    .name = "sway",
    .windows = &swayCache,
    .open = SwayConnect,
    .update = Update,
    .drain = Drain,
    .fd = SwayEventDescriptor,
    .version = Version,
    .list = List,
    .isVisible = IsWindowShown,
    .isEnabled = TakesInput,
    .show = SwayShowWindow,
    .finish = Finish,
    .settled = true,
    .activate = SwayActivate,
    .active = Active,
    .close = SwayClose,
};
