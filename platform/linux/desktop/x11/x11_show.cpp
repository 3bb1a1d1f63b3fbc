/*
 * ShowWindow over X11: hide is the ICCCM withdraw, show maps and raises.
 * Under a window manager both finish only when the manager has handled
 * them; a hide followed at once by a show otherwise loses the window with
 * some managers. The pass (x11_manager.cpp) does the waiting, at its end.
 */
#include <string.h>

#include "../../../winapi.h"
#include "x11.h"

/* Xlib's XWithdrawWindow: unmap, then the synthetic UnmapNotify that
 * tells the manager, also for a minimized window, which is unmapped
 * already. */
static void Withdraw(xcb_window_t id, X11Window *w)
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
	X11AwaitManager(w, 'w');
}

/* Xlib's XMapRaised; without a manager a plain map leaves the window
 * below the others. A minimized window counts as shown already: mapping
 * it would restore it. */
static void MapRaised(xcb_window_t id, X11Window *w)
{
	const uint32_t above = XCB_STACK_MODE_ABOVE;

	if (w != NULL && w->state == X11StateIconic)
		return;
	xcb_configure_window(x11, id, XCB_CONFIG_WINDOW_STACK_MODE, &above);
	xcb_map_window(x11, id);
	X11AwaitManager(w, 's');
}

/* Returns whether the window was mapped before, as Windows does. */
BOOL X11ShowWindow(HWND hWnd, int nCmdShow)
{
	X11Window *w;
	BOOL wasVisible;

	if (!X11Alive() || hWnd == 0 || hWnd > UINT32_MAX)
		return FALSE;
	w = X11Find((xcb_window_t)hWnd);
	wasVisible = w != NULL && w->mapped;
	if (nCmdShow == SW_HIDE)
		Withdraw((xcb_window_t)hWnd, w);
	else if (nCmdShow == SW_SHOW)
		MapRaised((xcb_window_t)hWnd, w);
	X11AwaitProgram(w);
	return wasVisible;
}
