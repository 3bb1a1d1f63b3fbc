/*
 * Activating, closing, minimizing and maximizing over X11. These belong to
 * the window manager, and are asked of it as EWMH and ICCCM say: the
 * active window with _NET_ACTIVE_WINDOW (as a tool, source 2), minimizing
 * with WM_CHANGE_STATE, maximizing and restoring with _NET_WM_STATE, each
 * a client message to the root. Without a manager that declares it, a
 * window is activated by wincue itself: mapped from minimized, raised and
 * focused. Closing asks the window's program with WM_DELETE_WINDOW, which
 * is what a close button does; never the manager's _NET_CLOSE_WINDOW,
 * with which openbox kills a program that takes no such request. The pass
 * waits, within its bound, until the manager has done what was asked.
 */
#include <stdlib.h>
#include <string.h>

#include "../../../winapi.h"
#include "x11.h"

/* _NET_WM_STATE's actions, and the source of a request: a tool. */
enum { StateRemove = 0, StateAdd = 1, FromTool = 2 };

/* Whether a manager runs that lists the atom in _NET_SUPPORTED. Its list
 * is read once a run, at the first question. */
static bool ManagerSupports(xcb_atom_t atom)
{
	static xcb_get_property_reply_t *supported;
	static bool read;
	int count;
	const uint32_t *atoms;

	if (!x11Managed)
		return false;
	if (!read) {
		read = true;
		supported = xcb_get_property_reply(
		    x11,
		    xcb_get_property(x11, 0, x11Root, x11Atoms[X11AtomNetSupported], XCB_ATOM_ATOM,
		                     0, X11ListLength),
		    NULL);
	}
	atoms = X11Items32(supported, XCB_ATOM_ATOM, &count);
	for (int i = 0; i < count; i++)
		if (atoms[i] == atom)
			return true;
	return false;
}

/* A client message about the window, to the manager through the root. */
static void AskManager(xcb_window_t id, xcb_atom_t type, uint32_t a, uint32_t b, uint32_t c,
                       uint32_t d)
{
	xcb_client_message_event_t m;

	memset(&m, 0, sizeof m);
	m.response_type = XCB_CLIENT_MESSAGE;
	m.format = 32;
	m.window = id;
	m.type = type;
	m.data.data32[0] = a;
	m.data.data32[1] = b;
	m.data.data32[2] = c;
	m.data.data32[3] = d;
	xcb_send_event(x11, 0, x11Root,
	               XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
	               (const char *)&m);
}

static X11Window *Target(HWND hWnd)
{
	if (!X11Alive() || hWnd == 0 || hWnd > UINT32_MAX)
		return NULL;
	return X11Find((xcb_window_t)hWnd);
}

BOOL X11Activate(HWND hWnd)
{
	X11Window *w = Target(hWnd);
	xcb_window_t id = (xcb_window_t)hWnd;

	if (w == NULL)
		return FALSE;
	if (ManagerSupports(x11Atoms[X11AtomNetActiveWindow])) {
		AskManager(id, x11Atoms[X11AtomNetActiveWindow], FromTool, XCB_CURRENT_TIME, 0, 0);
		return TRUE;
	}
	/* The step has restored a minimized window first (ShowWindow). */
	X11FocusWhenShown(id);
	return TRUE;
}

/* The top-level window holding the focus, or, where the focus follows
 * the pointer, the one under the pointer. */
HWND X11Active(void)
{
	xcb_get_input_focus_reply_t *f;
	xcb_window_t id;

	if (!X11Alive())
		return 0;
	f = xcb_get_input_focus_reply(x11, xcb_get_input_focus(x11), NULL);
	id = f != NULL ? f->focus : XCB_NONE;
	free(f);
	if (id == XCB_INPUT_FOCUS_POINTER_ROOT || id == x11Root) {
		xcb_query_pointer_reply_t *p =
		    xcb_query_pointer_reply(x11, xcb_query_pointer(x11, x11Root), NULL);
		id = p != NULL ? p->child : XCB_NONE;
		free(p);
	}
	for (int depth = 0; id != XCB_NONE && id != x11Root && depth < 64; depth++) {
		X11Window *top = X11TopLevelOf(id);
		xcb_query_tree_reply_t *t;
		if (top != NULL)
			return top->desk.id;
		t = xcb_query_tree_reply(x11, xcb_query_tree(x11, id), NULL);
		id = t != NULL ? t->parent : XCB_NONE;
		free(t);
	}
	return 0;
}

BOOL X11Close(HWND hWnd, bool ask)
{
	X11Window *w = Target(hWnd);
	xcb_client_message_event_t m;

	if (w == NULL || !w->takesDelete)
		return FALSE;
	if (!ask)
		return TRUE;
	memset(&m, 0, sizeof m);
	m.response_type = XCB_CLIENT_MESSAGE;
	m.format = 32;
	m.window = (xcb_window_t)hWnd;
	m.type = x11Atoms[X11AtomWmProtocols];
	m.data.data32[0] = x11Atoms[X11AtomWmDeleteWindow];
	m.data.data32[1] = XCB_CURRENT_TIME;
	xcb_send_event(x11, 0, (xcb_window_t)hWnd, XCB_EVENT_MASK_NO_EVENT, (const char *)&m);
	return TRUE;
}

unsigned X11States(HWND hWnd)
{
	const X11Window *w = Target(hWnd);

	if (w == NULL)
		return 0;
	return (w->state == X11StateIconic ? DeskMinimized : 0) |
	       (w->maximized ? DeskMaximized : 0);
}

/* Only a manager minimizes, and only one that declares the maximized
 * states maximizes. */
const char *X11Cannot(unsigned state)
{
	if (!x11Managed)
		return "X11 without a window manager";
	if (state == DeskMaximized && !(ManagerSupports(x11Atoms[X11AtomNetWmStateMaximizedVert]) &&
	                                ManagerSupports(x11Atoms[X11AtomNetWmStateMaximizedHorz])))
		return "this window manager";
	return NULL;
}

/* Returns whether the window was visible before, as ShowWindow does. */
BOOL X11SetState(HWND hWnd, DeskStateCommand command)
{
	X11Window *w = Target(hWnd);
	xcb_window_t id = (xcb_window_t)hWnd;
	bool minimized;
	BOOL wasVisible;

	if (w == NULL)
		return FALSE;
	minimized = w->state == X11StateIconic;
	wasVisible = X11IsShown(w);
	if (command == SW_MINIMIZE) {
		AskManager(id, x11Atoms[X11AtomWmChangeState], X11StateIconic, 0, 0, 0);
		X11AwaitManager(w, 'i');
	} else {
		if (minimized)
			xcb_map_window(x11, id);
		/* A manager may bring a minimized window back maximized, as
		 * Windows does: restoring asks for neither after the map. */
		if (command == SW_MAXIMIZE || w->maximized ||
		    (minimized && X11Cannot(DeskMaximized) == NULL))
			AskManager(id, x11Atoms[X11AtomNetWmState],
			           command == SW_MAXIMIZE ? StateAdd : StateRemove,
			           x11Atoms[X11AtomNetWmStateMaximizedVert],
			           x11Atoms[X11AtomNetWmStateMaximizedHorz], FromTool);
		X11AwaitManager(w, command == SW_MAXIMIZE ? 'm' : 'r');
	}
	X11AwaitProgram(w);
	return wasVisible;
}
