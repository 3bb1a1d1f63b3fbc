/*
 * ShowWindow over X11: hide is the ICCCM withdraw, show maps and raises.
 * Under a window manager both finish only when the manager has handled
 * them; a hide followed at once by a show otherwise loses the window with
 * some managers. The waits of one pass run together at its end, within
 * one bound, so a step that matches every window cannot stall for long.
 */
#include <string.h>

#include "../winapi.h"
#include "x11.h"

/* Hides and shows the current pass waits for. */
static struct {
	xcb_window_t id;
	bool show;
} waiting[MaxWindows];
static int waitingCount;
static bool requestsSent; /* the pass changed something */
static uint64_t deadline; /* 0 until the pass first waits */

uint64_t PassDeadline(void)
{
	if (deadline == 0)
		deadline = MonotonicMs() + WaitBoundMs;
	return deadline;
}

void NoteRequestsSent(void)
{
	requestsSent = true;
}

/* Unmanaged, back among the root's children. */
static bool IsWithdrawn(const TrackedWindow *w)
{
	return (w->state == StateNone || w->state == StateWithdrawn) && !w->framed;
}

/* Managed and viewable; or kept minimized, if that is the manager's will. */
static bool IsShown(const TrackedWindow *w)
{
	const TrackedWindow *frame = FrameOf(w);

	if (w->state == StateIconic)
		return true;
	return w->state == StateNormal && w->mapped && (!w->framed || (frame && frame->mapped));
}

static bool ManagerFinished(int i)
{
	const TrackedWindow *w = FindTracked(waiting[i].id);

	if (w == NULL)
		return true;
	return waiting[i].show ? IsShown(w) : IsWithdrawn(w);
}

static void AwaitManager(xcb_window_t id, bool show)
{
	int i = 0;

	while (i < waitingCount && waiting[i].id != id)
		i++;
	if (i == waitingCount) {
		if (waitingCount == MaxWindows)
			return;
		waitingCount++;
	}
	waiting[i].id = id;
	waiting[i].show = show;
	PassDeadline();
}

/* No manager acts on an override-redirect window, nor on any when none
 * runs: then the server has done it all once it has the request. */
static bool ManagerInvolved(const TrackedWindow *w)
{
	return w != NULL && x11Managed && !w->overrideRedirect;
}

/* Xlib's XWithdrawWindow: unmap, then the synthetic UnmapNotify that
 * tells the manager, also for a minimized window, which is unmapped
 * already. */
static void Withdraw(xcb_window_t id, const TrackedWindow *w)
{
	union {
		xcb_unmap_notify_event_t event;
		char bytes[32]; /* a sent event is always 32 bytes */
	} notice;

	memset(&notice, 0, sizeof notice);
	notice.event.response_type = XCB_UNMAP_NOTIFY;
	notice.event.event = x11Root;
	notice.event.window = id;
	xcb_unmap_window(x11, id);
	xcb_send_event(x11, 0, x11Root,
	               XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
	               notice.bytes);
	requestsSent = true;
	if (ManagerInvolved(w) && !IsWithdrawn(w))
		AwaitManager(id, false);
}

/* Xlib's XMapRaised; without a manager a plain map leaves the window
 * below the others. A minimized window counts as shown already: mapping
 * it would restore it. */
static void MapRaised(xcb_window_t id, const TrackedWindow *w)
{
	const uint32_t above = XCB_STACK_MODE_ABOVE;

	if (w != NULL && w->state == StateIconic)
		return;
	xcb_configure_window(x11, id, XCB_CONFIG_WINDOW_STACK_MODE, &above);
	xcb_map_window(x11, id);
	requestsSent = true;
	if (ManagerInvolved(w) && !IsShown(w))
		AwaitManager(id, true);
}

static bool AllFinished(void)
{
	for (int i = 0; i < waitingCount; i++)
		if (!ManagerFinished(i))
			return false;
	return true;
}

void FinishWindowActions(void)
{
	while (waitingCount > 0 && X11Ready()) {
		X11Update();
		if (AllFinished() || MonotonicMs() >= PassDeadline())
			break;
		X11WaitEvent(PassDeadline());
	}
	/* When the step ends, the server has done what it asked. */
	if (requestsSent)
		X11Sync();
	waitingCount = 0;
	requestsSent = false;
	deadline = 0;
}

/* Returns whether the window was mapped before, as Windows does. */
BOOL ShowWindow(HWND hWnd, int nCmdShow)
{
	const TrackedWindow *w;
	BOOL wasVisible;

	if (!X11Ready() || hWnd == 0 || hWnd > UINT32_MAX)
		return FALSE;
	if (!x11InPass && !X11Sync())
		return FALSE;
	w = FindTracked((xcb_window_t)hWnd);
	wasVisible = w != NULL && w->mapped;
	if (nCmdShow == SW_HIDE)
		Withdraw((xcb_window_t)hWnd, w);
	else if (nCmdShow == SW_SHOW)
		MapRaised((xcb_window_t)hWnd, w);
	if (!x11InPass)
		FinishWindowActions();
	return wasVisible;
}
