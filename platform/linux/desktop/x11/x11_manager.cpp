/*
 * Waiting for the window manager: the hides and shows a pass asked of it,
 * the programs it pinged, and the focus it gives once a window is shown.
 * Inside a pass the waits of all its windows run together at its end,
 * within the pass's deadline, so a step that matches every window cannot
 * stall for long.
 */
#include <string.h>

#include "../../../winapi.h"
#include "x11.h"

static bool awaiting;        /* windows carry what the pass waits for */
static xcb_window_t focusee; /* to focus once the manager has shown it */
static xcb_window_t pinged;  /* a window whose program was pinged this pass */

/* Unmanaged, back among the root's children, and not mapped there: a
 * manager that handles a map late (twm) can map a window it has just let
 * go, which leaves it on the screen. */
static bool IsWithdrawn(const X11Window *w)
{
	return (w->state == X11StateNone || w->state == X11StateWithdrawn) && !w->framed &&
	       !w->mapped;
}

bool X11IsViewable(const X11Window *w)
{
	const X11Window *frame = X11FrameOf(w);

	return w->mapped && (!w->framed || (frame != NULL && frame->mapped));
}

/* Managed and normal or minimized; or mapped on the root, which is on the
 * screen whatever the manager recorded. */
bool X11IsShown(const X11Window *w)
{
	if (w->state == X11StateIconic)
		return true;
	if (!w->framed && w->mapped)
		return true;
	return w->state == X11StateNormal && X11IsViewable(w);
}

static bool IsNormal(const X11Window *w)
{
	return w->state == X11StateNormal && X11IsViewable(w);
}

/* Whether the manager has done what the pass waits for; and the program
 * answered its ping. */
static bool ManagerFinished(const X11Window *w)
{
	if (w->pinged)
		return false;
	switch (w->awaiting) {
	case 's':
		return X11IsShown(w);
	case 'w':
		return IsWithdrawn(w);
	case 'i':
		return w->state == X11StateIconic;
	case 'm':
		return w->maximized && IsNormal(w);
	case 'r':
		return !w->maximized && IsNormal(w);
	}
	return true;
}

bool X11ManagerInvolved(const X11Window *w)
{
	return w != NULL && x11Managed && !w->overrideRedirect;
}

void X11AwaitManager(X11Window *w, char what)
{
	char was;

	if (!X11ManagerInvolved(w))
		return;
	was = w->awaiting;
	w->awaiting = what;
	if (ManagerFinished(w)) {
		w->awaiting = was;
		return;
	}
	awaiting = true;
	PassDeadline(); /* the bound runs from the first request */
}

void X11FocusWhenShown(xcb_window_t id)
{
	focusee = id;
}

/* The ping of EWMH: the program sends it back to the root, which wincue
 * hears, once it has handled every event before it. */
void X11AwaitProgram(X11Window *w)
{
	xcb_client_message_event_t m;

	if (w == NULL || w->pinged || !w->takesPing)
		return;
	memset(&m, 0, sizeof m);
	m.response_type = XCB_CLIENT_MESSAGE;
	m.format = 32;
	m.window = (xcb_window_t)w->desk.id;
	m.type = x11Atoms[X11AtomWmProtocols];
	m.data.data32[0] = x11Atoms[X11AtomNetWmPing];
	m.data.data32[1] = XCB_CURRENT_TIME;
	m.data.data32[2] = (xcb_window_t)w->desk.id;
	xcb_send_event(x11, 0, (xcb_window_t)w->desk.id, XCB_EVENT_MASK_NO_EVENT, (const char *)&m);
	w->pinged = true;
	pinged = (xcb_window_t)w->desk.id;
	awaiting = true;
	PassDeadline();
}

/* Raises the window and gives it the focus, once it can take it. */
static void FocusWhenShown(void)
{
	const uint32_t above = XCB_STACK_MODE_ABOVE;
	X11Window *w = X11Find(focusee);

	if (w != NULL && X11IsViewable(w)) {
		xcb_configure_window(x11, focusee, XCB_CONFIG_WINDOW_STACK_MODE, &above);
		xcb_set_input_focus(x11, XCB_INPUT_FOCUS_PARENT, focusee, XCB_CURRENT_TIME);
	}
	focusee = XCB_NONE;
}

/* A window that has gone needs nothing more. */
static bool AllFinished(void)
{
	for (int i = 0; i < x11Cache.count; i++) {
		const X11Window *w = X11At(i);
		if (w->desk.id != 0 && (w->awaiting != 0 || w->pinged) && !ManagerFinished(w))
			return false;
	}
	return true;
}

static void ForgetAwaited(void)
{
	for (int i = 0; i < x11Cache.count; i++) {
		X11At(i)->awaiting = 0;
		X11At(i)->pinged = false;
	}
	awaiting = false;
}

bool X11FinishPass(bool acted)
{
	while (awaiting && X11Ready()) {
		X11Update();
		if (AllFinished() || NowMs() >= PassDeadline())
			break;
		X11WaitEvent(PassDeadline());
	}
	/* What a pinged program asked of the manager in answer (a window it
	 * mapped again) the manager has done once it answers after it. */
	if (pinged != XCB_NONE && X11Find(pinged) != NULL)
		X11AwaitManagerAnswer(pinged, PassDeadline());
	pinged = XCB_NONE;
	if (focusee != XCB_NONE)
		FocusWhenShown();
	/* When the step ends, the server has done what it asked. */
	if (acted)
		X11Sync();
	if (awaiting)
		ForgetAwaited();
	return X11Alive();
}
