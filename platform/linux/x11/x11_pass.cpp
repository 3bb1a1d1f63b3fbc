/*
 * EnumWindows over the cache, and what one pass shares: its bound on
 * waiting for the window manager, and the hides and shows it waits for.
 * ShowWindow and EnableWindow act through X11BeginAction/X11EndAction, so
 * that inside a pass the waits of all its windows run together at its
 * end, within one bound, and a step that matches every window cannot
 * stall for long. A program that asks the same pass again and again
 * while nothing changes is waiting: its Sleep waits for a change.
 */
#include <poll.h>

#include "../../winapi.h"
#include "x11.h"

static HWND *visits; /* the windows of the current pass */
static int visitCapacity;
static bool awaiting; /* windows carry what the pass waits for */

/* The last pass, to tell a program that asks the desktop the same
 * question again after a Sleep (a wait) from one asking something new. */
static struct {
	WNDENUMPROC callback;
	LPARAM parameter;
	uint64_t changes; /* x11Changes when it looked */
	bool idle;        /* it changed nothing */
	int repeats;      /* passes before it that asked the same after a Sleep */
	bool dead;        /* it found the display gone */
} lastPass;
static bool slept;        /* Sleep was called since the last pass */
static uint64_t wakeBy;   /* when a stretched Sleep must end at the latest; 0: any time */
static bool requestsSent; /* the pass changed something */
static uint64_t deadline; /* 0 until the pass first waits */

uint64_t X11PassDeadline(void)
{
	if (deadline == 0)
		deadline = NowMs() + X11WaitBoundMs;
	return deadline;
}

void X11NoteRequests(void)
{
	requestsSent = true;
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
	for (int i = 0; i < x11WindowCount; i++) {
		const X11Window *w = &x11Windows[i];
		if (w->id != 0 && w->awaiting != 0 && !ManagerFinished(w))
			return false;
	}
	return true;
}

static void ForgetAwaited(void)
{
	for (int i = 0; i < x11WindowCount; i++)
		x11Windows[i].awaiting = 0;
	awaiting = false;
}

/* Waits, within the pass bound, until the manager has finished every hide
 * and show asked for, then makes sure the server has done all requests. */
static void FinishPass(void)
{
	while (awaiting && X11Ready()) {
		X11Update();
		if (AllFinished() || NowMs() >= X11PassDeadline())
			break;
		X11WaitEvent(X11PassDeadline());
	}
	/* When the step ends, the server has done what it asked. */
	if (requestsSent)
		X11Sync();
	if (awaiting)
		ForgetAwaited();
	requestsSent = false;
	deadline = 0;
}

bool X11BeginAction(void)
{
	if (!X11Ready())
		return false;
	if (x11InPass)
		return true;
	lastPass.idle = false; /* what a pass saw no longer holds */
	return X11Sync();
}

/* A pass over a display that has gone, which stays gone. */
static void NoteDeadPass(WNDENUMPROC callback, LPARAM parameter, bool same)
{
	lastPass.repeats = same && lastPass.dead ? lastPass.repeats + 1 : 0;
	lastPass.callback = callback;
	lastPass.parameter = parameter;
	lastPass.dead = true;
	lastPass.idle = true;
}

/* A waiting program looks again at least every X11FallbackMs, and by the
 * time its timer is due. */
static uint64_t StretchEnd(void)
{
	uint64_t fallback = NowMs() + X11FallbackMs;

	return wakeBy != 0 && wakeBy < fallback ? wakeBy : fallback;
}

/* A signal may cut it short. */
static void PauseUntil(uint64_t end)
{
	uint64_t now = NowMs();

	if (end > now)
		poll(NULL, 0, (int)(end - now));
}

/* Passes asking the same again and again after pauses, on the same
 * desktop, are a program waiting for the answer to change; the answer
 * cannot change before the desktop does, and never once it has gone. */
void X11Slept(void)
{
	slept = true;
	if (!lastPass.idle || lastPass.repeats < X11WaitingRepeats)
		return;
	if (lastPass.dead)
		PauseUntil(StretchEnd());
	else if (lastPass.changes == x11Changes && X11Current())
		X11WaitEvent(StretchEnd());
}

void X11SleptUntil(uint64_t due)
{
	wakeBy = due;
	X11Slept();
	wakeBy = 0;
}

void X11EndAction(void)
{
	if (!x11InPass)
		FinishPass();
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
	for (int i = 0; i < x11WindowCount; i++)
		x11Windows[i].holdsClient = false;
	for (int i = 0; i < x11WindowCount; i++) {
		X11Window *w = &x11Windows[i];
		X11Window *frame = w->id != 0 && w->framed ? X11FrameOf(w) : NULL;
		w->isClient = w->id != 0 && w->framed && IsFramedClient(w, frame);
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
	if (w->id == 0 || IsHelper(w))
		return false;
	return w->framed ? w->isClient : !w->holdsClient;
}

/* Visits the windows as they were when the pass began; one that goes
 * meanwhile reads as nameless, and acting on it does nothing. */
BOOL X11EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam)
{
	int count = 0;
	BOOL completed = TRUE;
	HWND *grown;
	bool same = slept && lastPass.idle && lastPass.callback == lpEnumFunc &&
	            lastPass.parameter == lParam;
	bool waiting = same && lastPass.repeats >= X11WaitingRepeats;

	/* A new question gets a fresh look; one asked again and again, after
	 * pauses, what the server has sent since. */
	slept = false;
	x11Passes++;
	if (!X11Ready() || !(waiting ? X11Refresh() : X11Sync())) {
		NoteDeadPass(lpEnumFunc, lParam, same);
		return FALSE; /* no desktop to read: the steps go on as on an empty one */
	}
	grown = (HWND *)X11Grow(visits, &visitCapacity, x11WindowCount, sizeof *visits);
	if (grown == NULL)
		return FALSE; /* out of memory: a failure, as Windows has them */
	visits = grown;
	MarkFrames();
	for (int i = 0; i < x11WindowCount; i++)
		if (IsTopLevel(&x11Windows[i]))
			visits[count++] = x11Windows[i].id;
	x11InPass = true;
	for (int i = 0; i < count && X11Alive(); i++) {
		if (!lpEnumFunc(visits[i], lParam)) {
			completed = FALSE;
			break;
		}
	}
	x11InPass = false;
	lastPass.repeats = same && lastPass.changes == x11Changes ? lastPass.repeats + 1 : 0;
	lastPass.callback = lpEnumFunc;
	lastPass.parameter = lParam;
	lastPass.changes = x11Changes;
	/* A Gone step's passes end early, at the window still there. */
	lastPass.idle = !requestsSent;
	lastPass.dead = false;
	FinishPass();
	return completed && X11Alive();
}

/* A cached name, or NULL. */
static const char *NameOf(HWND window, bool title)
{
	const X11Window *w;

	if (!X11Ready() || window > UINT32_MAX)
		return NULL;
	w = X11Find((xcb_window_t)window);
	if (w == NULL)
		return NULL;
	return title ? w->title : w->className;
}

int X11GetWindowText(HWND hWnd, LPSTR lpString, int nMaxCount)
{
	return CopyName(NameOf(hWnd, true), lpString, nMaxCount);
}

int X11GetClassName(HWND hWnd, LPSTR lpClassName, int nMaxCount)
{
	return CopyName(NameOf(hWnd, false), lpClassName, nMaxCount);
}

/* As Windows sees it: a window is shown once it can be seen, and under a
 * manager (which may still be taking it in) once managed, minimized
 * included, as Windows keeps a minimized window visible. */
BOOL X11IsWindowVisible(HWND hWnd)
{
	const X11Window *w;

	if (!X11Ready() || hWnd == 0 || hWnd > UINT32_MAX)
		return FALSE;
	w = X11Find((xcb_window_t)hWnd);
	if (w == NULL)
		return FALSE;
	return ManagerInvolved(w) ? IsShown(w) : IsViewable(w);
}

const Desktop x11Desktop = {
    NULL, /* never asked: X11 is what is left */
    X11EnumWindows,
    X11GetWindowText,
    X11GetClassName,
    X11ShowWindow,
    X11EnableWindow,
    X11IsWindowVisible,
    X11IsWindowEnabled,
    X11SleptUntil,
};
