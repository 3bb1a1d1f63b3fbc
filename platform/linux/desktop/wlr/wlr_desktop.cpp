/*
 * The wlroots desktop's table. Hidden is minimized, as the compositor
 * tells it; every request goes on the window's handle, and the pass's
 * finish waits for the states it asked, up to PassDeadline. A state a
 * request left unchanged by then is one the compositor ignores (Hyprland
 * and niri ignore minimize, sway every state): it is asked no more, and
 * from the next pass on the layer's line names the compositor.
 */
#include <stdlib.h>
#include <string.h>

#include "../../../winapi.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"
#include "wlr.h"

/* The compositor as the session names it (XDG_CURRENT_DESKTOP's first
 * name), for the lines. */
static char compositor[DeskNameSize] = "this compositor";
static unsigned said; /* the states wlrIgnored held at the last fresh look */

/* A name made of these only: a session's variable is no text to print
 * as it comes. */
static void NameCompositor(void)
{
	const char *session = getenv("XDG_CURRENT_DESKTOP");
	size_t n = 0;

	while (session != NULL && n < 32 && session[n] != '\0' && session[n] != ':' &&
	       strchr("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.",
	              session[n]) != NULL)
		n++;
	if (n > 0 && (session[n] == '\0' || session[n] == ':')) {
		memcpy(compositor, session, n);
		compositor[n] = '\0';
	}
}

static bool Open(void)
{
	if (!WlrConnect())
		return false;
	NameCompositor();
	return true;
}

/* A fresh look is a round trip; a compositor slow to answer leaves the
 * windows as last heard, and the pass waits on it no more. */
static bool Update(void)
{
	if (!WlrRoundTrip(PassDeadline()))
		PassGiveUp();
	said = wlrIgnored;
	return WlrDescriptor() >= 0;
}

static uint64_t Version(void)
{
	return wlrChanges;
}

/* The most recently active first. */
static int Later(const void *a, const void *b)
{
	const WlrWindow *x = WlrFind(*(const HWND *)a), *y = WlrFind(*(const HWND *)b);
	uint64_t ax = x != NULL ? x->activeAt : 0, ay = y != NULL ? y->activeAt : 0;

	return ax < ay ? 1 : ax > ay ? -1 : 0;
}

static int List(HWND *room, int size)
{
	int count = CacheList(&wlrCache, room, size);

	if (count > 0 && count <= size)
		qsort(room, (size_t)count, sizeof *room, Later);
	return count;
}

static DeskVisibility IsWindowShown(HWND hWnd)
{
	const WlrWindow *w = WlrFind(hWnd);

	return w != NULL && !(w->states & WlrMinimized) ? DeskVisible : DeskHidden;
}

/* No wlroots protocol lets one program take another's input away. */
static DeskInput TakesInput(HWND hWnd)
{
	return WlrFind(hWnd) != NULL ? DeskInputTaken : DeskInputRefused;
}

/* Asks for a state unless the window has it, or the compositor ignored
 * it before: finish waits for it. */
static void Want(WlrWindow *w, unsigned state, bool on)
{
	if (((w->states & state) != 0) == on || (wlrIgnored & state))
		return;
	w->asked |= state;
	w->wanted = (w->wanted & ~state) | (on ? state : 0);
	if (state == WlrMinimized && on)
		zwlr_foreign_toplevel_handle_v1_set_minimized(w->handle);
	else if (state == WlrMinimized)
		zwlr_foreign_toplevel_handle_v1_unset_minimized(w->handle);
	else if (on)
		zwlr_foreign_toplevel_handle_v1_set_maximized(w->handle);
	else
		zwlr_foreign_toplevel_handle_v1_unset_maximized(w->handle);
}

/* A hide is a minimize, any show its undoing. Returns whether the window
 * was visible before, as Windows does. */
static BOOL Show(HWND hWnd, int nCmdShow)
{
	WlrWindow *w = WlrFind(hWnd);
	bool was = w != NULL && !(w->states & WlrMinimized);

	if (w != NULL)
		Want(w, WlrMinimized, nCmdShow == SW_HIDE);
	return was;
}

static BOOL SetState(HWND hWnd, DeskStateCommand command)
{
	WlrWindow *w = WlrFind(hWnd);

	if (w == NULL)
		return FALSE;
	if (command != DeskMaximize)
		Want(w, WlrMinimized, command == DeskMinimize);
	if (command != DeskMinimize)
		Want(w, WlrMaximized, command == DeskMaximize);
	return TRUE;
}

static unsigned States(HWND hWnd)
{
	const WlrWindow *w = WlrFind(hWnd);

	return w != NULL ? w->states & (WlrMinimized | WlrMaximized) : 0;
}

/* On the first seat: the protocol's activation names one. */
static BOOL Activate(HWND hWnd)
{
	WlrWindow *w = WlrFind(hWnd);

	if (w == NULL || WlrSeat() == NULL)
		return FALSE;
	w->asked |= WlrActivated;
	w->wanted |= WlrActivated;
	zwlr_foreign_toplevel_handle_v1_activate(w->handle, WlrSeat());
	return TRUE;
}

/* The active window the most recently made so, where seats disagree. */
static HWND Active(void)
{
	const WlrWindow *active = NULL;

	for (int i = 0; i < wlrCache.count; i++) {
		const WlrWindow *w = (const WlrWindow *)CacheAt(&wlrCache, i);
		if (w->desk.id != 0 && (w->states & WlrActivated) &&
		    (active == NULL || w->activeAt > active->activeAt))
			active = w;
	}
	return active != NULL ? active->desk.id : 0;
}

/* The compositor asks the window to close as its close button does. */
static BOOL Close(HWND hWnd, bool ask)
{
	WlrWindow *w = WlrFind(hWnd);

	if (w != NULL && ask)
		zwlr_foreign_toplevel_handle_v1_close(w->handle);
	return w != NULL;
}

/* Said from the pass after the one that found it out: the step that
 * asked reads back what the compositor left, and says so itself. */
static const char *Cannot(unsigned state)
{
	return (said & state) ? compositor : NULL;
}

static bool Finish(bool acted)
{
	if (acted)
		WlrAwaitAsked(PassDeadline());
	return WlrDescriptor() >= 0;
}

const Desktop wlrDesktop = {
    .name = compositor,
    .windows = &wlrCache,
    .open = Open,
    .update = Update,
    .drain = WlrDrain,
    .fd = WlrDescriptor,
    .version = Version,
    .list = List,
    .isVisible = IsWindowShown,
    .isEnabled = TakesInput,
    .show = Show,
    .finish = Finish,
    .answerMs = WlrAnswerMs,
    .settled = true,
    .activate = Activate,
    .active = Active,
    .close = Close,
    .states = States,
    .setState = SetState,
    .cannot = Cannot,
    .tellsNoProgram = true,
};
