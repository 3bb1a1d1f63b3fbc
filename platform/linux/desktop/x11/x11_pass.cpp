/*
 * The X11 desktop's table: what a pass asks of the cache, its bound on
 * waiting for the window manager, and the hides and shows it waits for.
 * Inside a pass the waits of all its windows run together at its end,
 * within one bound, so a step that matches every window cannot stall for
 * long.
 */
#include "../../../winapi.h"
#include "x11.h"

static bool awaiting;     /* windows carry what the pass waits for */
static uint64_t deadline; /* 0 until the pass first waits */

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

static bool IsShown(const X11Window *w)
{
	if (w->state == X11StateIconic)
		return true;
	return w->state == X11StateNormal && IsViewable(w);
}

static bool ManagerFinished(const X11Window *w)
{
	return w->awaiting == 's' ? IsShown(w) : IsWithdrawn(w);
}

/* No manager acts on an override-redirect window, nor on any when none
 * runs: then the server has done it all once it has the request. */
static bool ManagerInvolved(const X11Window *w)
{
	return w != NULL && x11Managed && !w->overrideRedirect;
}

void X11AwaitManager(X11Window *w, bool show)
{
	if (!ManagerInvolved(w) || (show ? IsShown(w) : IsWithdrawn(w)))
		return;
	w->awaiting = show ? 's' : 'w';
	awaiting = true;
	X11PassDeadline();
}

/* A window that has gone needs nothing more. */
static bool AllFinished(void)
{
	for (int i = 0; i < x11Cache.count; i++) {
		const X11Window *w = X11At(i);
		if (w->desk.id != 0 && w->awaiting != 0 && !ManagerFinished(w))
			return false;
	}
	return true;
}

static void ForgetAwaited(void)
{
	for (int i = 0; i < x11Cache.count; i++)
		X11At(i)->awaiting = 0;
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

/* The top-level windows among those tracked: frames and helpers are not. */
static int List(HWND *room, int size)
{
	int count = 0;

	MarkFrames();
	for (int i = 0; i < x11Cache.count; i++) {
		if (!IsTopLevel(X11At(i)))
			continue;
		if (count < size)
			room[count] = X11At(i)->desk.id;
		count++;
	}
	return count;
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
	return ManagerInvolved(w) ? IsShown(w) : IsViewable(w);
}

/* X11 is the desktop left when no other answers: opening always picks
 * it, having said why when the display cannot be opened. */
static bool Open(void)
{
	X11Ready();
	return true;
}

const Desktop x11Desktop = {
    "X11",         &x11Cache,          Open,          Update,          Version, List,
    IsWindowShown, X11IsWindowEnabled, X11ShowWindow, X11EnableWindow, Finish,  Wait,
};
