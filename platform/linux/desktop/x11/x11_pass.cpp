/*
 * The X11 desktop's table: what a pass asks of the cache, its bound on
 * waiting for the window manager, and the hides and shows it waits for.
 * Inside a pass the waits of all its windows run together at its end,
 * within one bound, so a step that matches every window cannot stall for
 * long.
 */
#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include "../../../winapi.h"
#include "x11.h"

static bool awaiting;        /* windows carry what the pass waits for */
static uint64_t deadline;    /* 0 until the pass first waits */
static xcb_window_t focusee; /* to focus once the manager has shown it */
static xcb_window_t pinged;  /* a window whose program was pinged this pass */

uint64_t X11PassDeadline(void)
{
	if (deadline == 0)
		deadline = NowMs() + X11WaitBoundMs;
	return deadline;
}

/* Unmanaged, back among the root's children. */
static bool IsWithdrawn(const X11Window *w)
{
	return (w->state == X11StateNone || w->state == X11StateWithdrawn) && !w->framed;
}

/* Managed and viewable; or kept minimized, if that is the manager's will. */
static bool IsViewable(const X11Window *w)
{
	const X11Window *frame = X11FrameOf(w);

	return w->mapped && (!w->framed || (frame != NULL && frame->mapped));
}

bool X11IsShown(const X11Window *w)
{
	if (w->state == X11StateIconic)
		return true;
	return w->state == X11StateNormal && IsViewable(w);
}

static bool IsNormal(const X11Window *w)
{
	return w->state == X11StateNormal && IsViewable(w);
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

/* No manager acts on an override-redirect window, nor on any when none
 * runs: then the server has done it all once it has the request. */
static bool ManagerInvolved(const X11Window *w)
{
	return w != NULL && x11Managed && !w->overrideRedirect;
}

void X11AwaitManager(X11Window *w, char what)
{
	char was;

	if (!ManagerInvolved(w))
		return;
	was = w->awaiting;
	w->awaiting = what;
	if (ManagerFinished(w)) {
		w->awaiting = was;
		return;
	}
	awaiting = true;
	X11PassDeadline();
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
	X11PassDeadline();
}

/* Raises the window and gives it the focus, once it can take it. */
static void FocusWhenShown(void)
{
	const uint32_t above = XCB_STACK_MODE_ABOVE;
	X11Window *w = X11Find(focusee);

	if (w != NULL && IsViewable(w)) {
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

/* Waits, within the pass bound, until the manager has finished every hide
 * and show asked for, then makes sure the server has done all requests. */
static bool Finish(bool acted)
{
	while (awaiting && X11Ready()) {
		X11Update();
		if (AllFinished() || NowMs() >= X11PassDeadline())
			break;
		X11WaitEvent(X11PassDeadline());
	}
	/* What a pinged program asked of the manager in answer (a window it
	 * mapped again) the manager has done once it answers after it. */
	if (pinged != XCB_NONE && X11Find(pinged) != NULL)
		X11AwaitManagerAnswer(pinged, X11PassDeadline());
	pinged = XCB_NONE;
	if (focusee != XCB_NONE)
		FocusWhenShown();
	/* When the step ends, the server has done what it asked. */
	if (acted)
		X11Sync();
	if (awaiting)
		ForgetAwaited();
	deadline = 0;
	return X11Alive();
}

/* A new question gets a fresh look; one asked again and again, after
 * pauses, what the server has sent since. */
static bool Update(bool waiting)
{
	if (!X11Ready())
		return false;
	return waiting ? X11Refresh() : X11Sync();
}

static uint64_t Version(void)
{
	return x11Changes;
}

/* Waits for an event unless reads are left, or events came, since. */
static void Wait(uint64_t end)
{
	if (X11Current())
		X11WaitEvent(end);
}

/* A framed window is a client once the manager has put WM_STATE on it,
 * and already while the manager takes it in: then it sits in a root child
 * that is not a client, as frames are (override-redirect or not). */
static bool IsFramedClient(const X11Window *w, const X11Window *frame)
{
	if (w->state != X11StateNone)
		return true;
	return x11Managed && !w->embedded && frame != NULL && frame->state == X11StateNone;
}

/* Works out which framed windows are clients and which root children
 * are their frames, never visited. */
static void MarkFrames(void)
{
	for (int i = 0; i < x11Cache.count; i++)
		X11At(i)->holdsClient = false;
	for (int i = 0; i < x11Cache.count; i++) {
		X11Window *w = X11At(i);
		X11Window *frame = w->desk.id != 0 && w->framed ? X11FrameOf(w) : NULL;
		w->isClient = w->desk.id != 0 && w->framed && IsFramedClient(w, frame);
		if (w->isClient && frame != NULL)
			frame->holdsClient = true;
	}
}

/* Windows no program means to be seen. An InputOnly window can show
 * nothing, and some managers exit when asked to frame one. A toolkit's
 * client leader (ICCCM 5.1) only carries the program's session properties;
 * GTK and Qt make one per program, with its class or name, and never map
 * it. Its WM_HINTS are missing: the program's own windows all carry them. */
static bool IsHelper(const X11Window *w)
{
	if (w->inputOnly)
		return true;
	return w->ownLeader && !w->hasHints && !w->mapped && w->state == X11StateNone;
}

static bool IsTopLevel(const X11Window *w)
{
	if (w->desk.id == 0 || IsHelper(w))
		return false;
	return w->framed ? w->isClient : !w->holdsClient;
}

/* Where a window stands in the stacking order: its root child's place,
 * from the bottom; one that came after the order was last read is on top,
 * where X puts a window as it is mapped. */
static long PlaceOf(const X11Window *w)
{
	const X11Window *root = w->framed ? X11FrameOf(w) : w;

	if (root == NULL || root->stacked != x11Syncs)
		return LONG_MAX;
	return root->stack;
}

/* The top-level windows with their places, sorted in List. */
struct Placed {
	long place;
	int slot;
};
static Placed *placed;
static int placedCapacity;

static int TopFirst(const void *a, const void *b)
{
	const Placed *x = (const Placed *)a;
	const Placed *y = (const Placed *)b;

	if (x->place != y->place)
		return x->place > y->place ? -1 : 1;
	return x->slot > y->slot ? -1 : x->slot < y->slot;
}

/* The top-level windows among those tracked, the top of the stacking
 * order first: frames and helpers are not. When memory runs out they come
 * in the cache's order. */
static int List(HWND *room, int size)
{
	int count = 0;
	Placed *grown = (Placed *)X11Grow(placed, &placedCapacity, x11Cache.count, sizeof *placed);

	MarkFrames();
	if (grown != NULL)
		placed = grown;
	for (int i = 0; i < x11Cache.count; i++) {
		if (!IsTopLevel(X11At(i)))
			continue;
		if (grown != NULL) {
			placed[count].place = PlaceOf(X11At(i));
			placed[count].slot = i;
		} else if (count < size) {
			room[count] = X11At(i)->desk.id;
		}
		count++;
	}
	if (grown == NULL)
		return count;
	qsort(placed, (size_t)count, sizeof *placed, TopFirst);
	for (int i = 0; i < count && i < size; i++)
		room[i] = X11At(placed[i].slot)->desk.id;
	return count;
}

X11Window *X11TopLevelOf(xcb_window_t id)
{
	X11Window *w = X11Find(id);

	MarkFrames();
	if (w == NULL)
		return NULL;
	if (IsTopLevel(w))
		return w;
	if (!w->holdsClient)
		return NULL;
	for (int i = 0; i < x11Cache.count; i++)
		if (X11At(i)->isClient && X11FrameOf(X11At(i)) == w)
			return X11At(i);
	return NULL;
}

/* As Windows sees it: a window is shown once it can be seen, and under a
 * manager (which may still be taking it in) once managed, minimized
 * included, as Windows keeps a minimized window visible. */
static BOOL IsWindowShown(HWND hWnd)
{
	const X11Window *w;

	if (!X11Alive() || hWnd == 0 || hWnd > UINT32_MAX)
		return FALSE;
	w = X11Find((xcb_window_t)hWnd);
	if (w == NULL)
		return FALSE;
	return ManagerInvolved(w) ? X11IsShown(w) : IsViewable(w);
}

/* X11 is the desktop left when no other answers: opening always picks
 * it, having said why when the display cannot be opened. */
static bool Open(void)
{
	X11Ready();
	return true;
}

const Desktop x11Desktop = {
    "X11",         &x11Cache,          Open,          Update,          Version,   List,
    IsWindowShown, X11IsWindowEnabled, X11ShowWindow, X11EnableWindow, Finish,    Wait,
    X11Activate,   X11Active,          X11Close,      X11States,       X11Cannot, X11SetState,
    false,
};
