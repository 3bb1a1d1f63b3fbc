/*
 * The Windows window functions over the chosen desktop, and the one pass
 * that every desktop shares.
 *
 * A pass visits the top-level windows as they were when it began; one that
 * goes meanwhile reads as nameless, and acting on it does nothing. The
 * callback's user value names the step that asks, so a pass can tell a
 * program that asks the same again from one that asks something new: a
 * Find or Gone step asks the same pass again and again after a pause.
 * Once it has done so a few times over an unchanged desktop, its pause
 * waits until the desktop tells something new (at most a second, never
 * past the step's timer), and its passes take what the desktop has sent
 * instead of looking afresh, but for one fresh look a second.
 *
 * Every timing decision is made here: when a desktop is looked at afresh,
 * how long a pause waits for it, and how long a pass may wait for it to
 * carry out what it asked. A desktop only answers.
 */
#include <stdio.h>
#include <stdlib.h>

#include "desktop.h"

static HWND *visits; /* the windows of the current pass */
static int visitCapacity;
static bool inPass;
static bool repeated;   /* the current pass asks what the last did, after a pause */
static bool acted;      /* the current pass asked the desktop for changes */
static uint64_t passes; /* passes begun */
static bool slept;      /* the program paused since the last pass */
/* The PassDeadline of the current pass or action, which also bounds what
 * the step reads back after it; 0 until asked. */
static uint64_t deadline;

/* On a desktop whose actions are done when the pass is finished
 * (settled), what a window was then, for each the pass acted on: a step
 * that reads back what it did reads that, not what another program did
 * since. */
enum { MaxReported = 1024 };
static struct {
	HWND window;
	BOOL visible;
	BOOL enabled;
	unsigned states;
} reported[MaxReported];
static int reportedCount;

/* The last pass. */
static struct {
	WNDENUMPROC callback;
	LPARAM parameter;
	uint64_t version; /* the desktop's when it ended */
	bool idle;        /* it changed nothing */
	bool dead;        /* it found no desktop to read */
	int repeats;      /* passes before it that asked the same after a pause */
} last;

/* The last fresh look at the desktop. */
static struct {
	uint64_t version; /* the desktop's after it */
	uint64_t at;      /* when, on the monotonic clock; 0: none yet */
} look;

/* The step's timer as the waits inside it last saw it. */
static struct {
	uint64_t setting;
	uint64_t lookUntil; /* its first wait's start and PassLookMs */
} step;

bool AskOncePerPass(uint64_t *askedIn)
{
	if (inPass && *askedIn == passes)
		return false;
	*askedIn = inPass ? passes : 0;
	return true;
}

/* The latest a wait inside the step may end: its timer, or PassLookMs
 * from its first wait when that is later; none without a timer. */
static uint64_t StepBound(void)
{
	uint64_t setting;
	uint64_t due = TimerDue(&setting);

	if (due == 0)
		return UINT64_MAX;
	if (setting != step.setting) {
		step.setting = setting;
		step.lookUntil = NowMs() + PassLookMs;
	}
	return due > step.lookUntil ? due : step.lookUntil;
}

/* The end of a wait of at most limit within the step. */
static uint64_t PassWaitEnd(uint64_t limit)
{
	uint64_t bound = StepBound();

	return limit < bound ? limit : bound;
}

uint64_t PassDeadline(void)
{
	const Desktop *desktop = DesktopIfChosen();

	if (desktop == NULL)
		return StepBound();
	if (deadline == 0)
		deadline = PassWaitEnd(NowMs() + desktop->answerMs);
	return deadline;
}

void PassGiveUp(void)
{
	deadline = NowMs();
}

/* The desktop's top-level windows in visits; their number, or -1 when
 * memory runs out. */
static int ListWindows(const Desktop *desktop)
{
	int count = desktop->list(visits, visitCapacity);

	while (count > visitCapacity) {
		int capacity = visitCapacity > 0 ? visitCapacity : 64;
		while (capacity < count)
			capacity *= 2;
		HWND *grown = (HWND *)realloc(visits, (size_t)capacity * sizeof *visits);
		if (grown == NULL)
			return -1;
		visits = grown;
		visitCapacity = capacity;
		count = desktop->list(visits, visitCapacity);
	}
	return count;
}

/* Brings the windows up to date; false when there is no desktop to read.
 * A waiting program's pass takes what the desktop has sent, and looks
 * afresh only once it has told something since the last look, or the
 * look is WaitingFallbackMs old; any other pass looks afresh. */
static bool Look(const Desktop *desktop, bool waiting)
{
	uint64_t now = NowMs();

	if (waiting && look.at != 0 && now - look.at < WaitingFallbackMs) {
		desktop->drain();
		if (desktop->version() == look.version)
			return desktop->fd() >= 0;
	}
	if (!desktop->update()) {
		look.at = 0;
		return false;
	}
	look.version = desktop->version();
	look.at = now;
	return true;
}

/* Waits until the desktop tells something new, at most until end: at
 * once when it has told something since the last look. */
static void AwaitNews(const Desktop *desktop, uint64_t end)
{
	desktop->drain();
	if (desktop->version() == look.version)
		WaitReadable(desktop->fd(), end);
}

static void NotePass(WNDENUMPROC callback, LPARAM parameter, bool same, bool dead, uint64_t version)
{
	last.repeats = same && last.dead == dead && last.version == version ? last.repeats + 1 : 0;
	last.callback = callback;
	last.parameter = parameter;
	last.version = version;
	last.idle = !acted;
	last.dead = dead;
}

static void ReadReported(const Desktop *desktop);
static void DesktopSlept(uint64_t due);

BOOL EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam)
{
	const Desktop *desktop = ChosenDesktop();
	bool same = slept && last.idle && last.callback == lpEnumFunc && last.parameter == lParam;
	BOOL completed = TRUE;
	int count;

	SetPauseHook(DesktopSlept); /* the pauses after a pass are heard */
	repeated = same;
	slept = false;
	passes++;
	acted = false;
	reportedCount = 0;
	deadline = 0;
	if (!Look(desktop, same && last.repeats >= WaitingRepeats) ||
	    (count = ListWindows(desktop)) < 0) {
		/* No desktop to read: the steps go on as on an empty one. */
		NotePass(lpEnumFunc, lParam, same, true, 0);
		return FALSE;
	}
	inPass = true;
	for (int i = 0; i < count; i++) {
		if (!lpEnumFunc(visits[i], lParam)) {
			completed = FALSE;
			break;
		}
	}
	inPass = false;
	NotePass(lpEnumFunc, lParam, same, false, desktop->version());
	if (!desktop->finish(acted)) {
		reportedCount = 0; /* gone: nothing it said holds */
		return FALSE;
	}
	ReadReported(desktop);
	return completed;
}

/* The pause hook. A waiting program looks again at least every
 * WaitingFallbackMs, and by the time its timer is due. */
static void DesktopSlept(uint64_t due)
{
	const Desktop *desktop = DesktopIfChosen();
	uint64_t end = NowMs() + WaitingFallbackMs;

	slept = true;
	if (desktop == NULL || !last.idle || last.repeats < WaitingRepeats)
		return;
	if (due != 0 && due < end)
		end = due;
	if (last.dead)
		WaitReadable(-1, end); /* nothing can change: a pause */
	else if (desktop->version() == last.version)
		AwaitNews(desktop, end);
}

/* -- the window functions ------------------------------------------------ */

/* What a settled desktop said of a window the last pass acted on, once
 * the pass is over; NULL for any other. */
static int ReportedSlot(HWND window)
{
	for (int i = 0; i < reportedCount; i++)
		if (reported[i].window == window)
			return i;
	return -1;
}

/* Notes a window the pass acts on; its state is read once the pass is
 * finished. */
static void NoteReported(const Desktop *desktop, HWND window)
{
	if (!desktop->settled || !inPass || ReportedSlot(window) >= 0 ||
	    reportedCount == MaxReported)
		return;
	reported[reportedCount++].window = window;
}

static void ReadReported(const Desktop *desktop)
{
	for (int i = 0; i < reportedCount; i++) {
		HWND window = reported[i].window;
		reported[i].visible = desktop->isVisible(window) == DeskVisible;
		reported[i].enabled = desktop->isEnabled(window) == DeskInputTaken;
		reported[i].states = desktop->states != NULL ? desktop->states(window) : 0;
	}
}

static int Reported(HWND window)
{
	return inPass ? -1 : ReportedSlot(window);
}

static DeskWindow *Find(HWND window)
{
	return CacheFind(ChosenDesktop()->windows, window);
}

static const char *NameOf(HWND window, bool title)
{
	DeskWindow *w = Find(window);

	if (w == NULL)
		return NULL;
	return title ? w->title : w->className;
}

/* As GetWindowTextA: cut to fit, always terminated; NULL (no such window)
 * is an empty name. */
static int CopyName(const char *name, char *out, int size)
{
	int length = 0;

	if (size <= 0)
		return 0;
	while (name != NULL && length < size - 1 && name[length] != '\0') {
		out[length] = name[length];
		length++;
	}
	out[length] = '\0';
	return length;
}

int GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount)
{
	return CopyName(NameOf(hWnd, true), lpString, nMaxCount);
}

int GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount)
{
	return CopyName(NameOf(hWnd, false), lpClassName, nMaxCount);
}

BOOL IsWindowVisible(HWND hWnd)
{
	int r = Reported(hWnd);

	return r >= 0 ? reported[r].visible : ChosenDesktop()->isVisible(hWnd) == DeskVisible;
}

/* A desktop that cannot refuse input has every window enabled, and says
 * it has no such state. */
BOOL IsWindowEnabled(HWND hWnd)
{
	const Desktop *desktop = ChosenDesktop();
	int r = Reported(hWnd);

	if (desktop->enable == NULL)
		SetLastError(ERROR_NOT_SUPPORTED);
	return r >= 0 ? reported[r].enabled : desktop->isEnabled(hWnd) == DeskInputTaken;
}

BOOL IsWindow(HWND hWnd)
{
	return Find(hWnd) != NULL;
}

static void SayNoProgram(const Desktop *desktop);

/* A step matching by program asks inside its passes: on a desktop that
 * tells none, its first pass says so (a waiting step's repeats do not). */
DWORD GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId)
{
	const Desktop *desktop = ChosenDesktop();
	DeskWindow *w = Find(hWnd);
	DWORD pid = w != NULL ? w->pid : 0;

	if (w != NULL && desktop->tellsNoProgram && inPass && !repeated)
		SayNoProgram(desktop);

	if (lpdwProcessId != NULL)
		*lpdwProcessId = pid;
	return pid; /* a Linux process's first thread has its id */
}

HWND FindWindowExA(HWND hWndParent, HWND hWndChildAfter, LPCSTR lpszClass, LPCSTR lpszWindow)
{
	(void)hWndParent;
	(void)hWndChildAfter;
	(void)lpszClass;
	(void)lpszWindow;
	return 0;
}

/* An action inside a pass is finished with the pass; one outside works on
 * a fresh look and is finished at once. */
static bool BeginAction(const Desktop *desktop)
{
	if (inPass)
		return true;
	last.idle = false; /* what a pass saw no longer holds */
	acted = false;
	deadline = 0;
	return Look(desktop, false);
}

static void EndAction(const Desktop *desktop)
{
	if (inPass)
		return;
	desktop->finish(acted);
}

static BOOL SetState(const Desktop *desktop, HWND hWnd, int nCmdShow);

BOOL ShowWindow(HWND hWnd, int nCmdShow)
{
	const Desktop *desktop = ChosenDesktop();
	BOOL result;

	if (nCmdShow == SW_MINIMIZE || nCmdShow == SW_MAXIMIZE || nCmdShow == SW_RESTORE)
		return SetState(desktop, hWnd, nCmdShow);
	if (!BeginAction(desktop))
		return FALSE;
	acted = true;
	result = desktop->show(hWnd, nCmdShow);
	NoteReported(desktop, hWnd);
	EndAction(desktop);
	return result;
}

/* What a desktop may lack, each said once a pass that met a window it
 * could not act on, or once a call outside a pass: a user must not believe
 * a step took when it did not. */
enum Lack { LackInput, LackMinimize, LackMaximize, LackRestore, LackClose, LackProgram, LackCount };

static const struct {
	const char *what;
	const char *outcome;
} lacks[LackCount] = {
    {"stop a window taking input", "Enable changed nothing"},
    {"minimize a window", "Minimize changed nothing"},
    {"maximize a window", "Maximize changed nothing"},
    {"restore a window", "Restore changed nothing"},
    {"close a window", "Close changed nothing"},
    {"tell a window's program", "Process matches no window"},
};
static uint64_t saidIn[LackCount]; /* the pass that said it */

static void SayCannot(const char *who, enum Lack lack)
{
	if (AskOncePerPass(&saidIn[lack]))
		fprintf(stderr, "wincue: %s cannot %s: %s\n", who, lacks[lack].what,
		        lacks[lack].outcome);
}

static void SayNoProgram(const Desktop *desktop)
{
	SayCannot(desktop->name, LackProgram);
}

/* Fails as a desktop that lacks it, having said so if the window is one
 * of the desktop's. */
static BOOL Unsupported(const Desktop *desktop, const char *who, enum Lack lack, HWND window)
{
	if (CacheFind(desktop->windows, window) != NULL)
		SayCannot(who, lack);
	SetLastError(ERROR_NOT_SUPPORTED);
	return FALSE;
}

BOOL EnableWindow(HWND hWnd, BOOL bEnable)
{
	const Desktop *desktop = ChosenDesktop();
	BOOL result;

	if (desktop->enable == NULL)
		return Unsupported(desktop, desktop->name, LackInput, hWnd);
	if (!BeginAction(desktop))
		return FALSE;
	acted = true;
	result = desktop->enable(hWnd, bEnable ? DeskInputTaken : DeskInputRefused);
	NoteReported(desktop, hWnd);
	EndAction(desktop);
	return result;
}

/* -- states, activation and closing -------------------------------------- */

/* Who cannot set the state a command sets, or NULL; restoring needs
 * either state. */
static const char *WhoCannot(const Desktop *desktop, int command)
{
	const char *minimize, *maximize;

	if (desktop->states == NULL || desktop->setState == NULL)
		return desktop->name;
	if (desktop->cannot == NULL)
		return NULL;
	minimize = desktop->cannot(DeskMinimized);
	maximize = desktop->cannot(DeskMaximized);
	if (command == SW_MINIMIZE)
		return minimize;
	if (command == SW_MAXIMIZE)
		return maximize;
	return minimize != NULL && maximize != NULL ? minimize : NULL;
}

static BOOL SetState(const Desktop *desktop, HWND hWnd, int nCmdShow)
{
	const char *who = WhoCannot(desktop, nCmdShow);
	BOOL result;

	if (who != NULL)
		return Unsupported(desktop, who,
		                   nCmdShow == SW_MINIMIZE   ? LackMinimize
		                   : nCmdShow == SW_MAXIMIZE ? LackMaximize
		                                             : LackRestore,
		                   hWnd);
	if (!BeginAction(desktop))
		return FALSE;
	acted = true;
	result = desktop->setState(hWnd, (DeskStateCommand)nCmdShow);
	NoteReported(desktop, hWnd);
	EndAction(desktop);
	return result;
}

/* FALSE with ERROR_NOT_SUPPORTED where the desktop has no such state. */
static BOOL HasState(HWND hWnd, unsigned state, int command)
{
	const Desktop *desktop = ChosenDesktop();
	int r = Reported(hWnd);

	if (WhoCannot(desktop, command) != NULL) {
		SetLastError(ERROR_NOT_SUPPORTED);
		return FALSE;
	}
	return ((r >= 0 ? reported[r].states : desktop->states(hWnd)) & state) != 0;
}

BOOL IsIconic(HWND hWnd)
{
	return HasState(hWnd, DeskMinimized, SW_MINIMIZE);
}

BOOL IsZoomed(HWND hWnd)
{
	return HasState(hWnd, DeskMaximized, SW_MAXIMIZE);
}

HWND GetForegroundWindow(void)
{
	const Desktop *desktop = ChosenDesktop();

	if (desktop->active == NULL) {
		SetLastError(ERROR_NOT_SUPPORTED);
		return 0;
	}
	return desktop->active();
}

/* No line: the Activate step that asks says why it gave up. */
BOOL SetForegroundWindow(HWND hWnd)
{
	const Desktop *desktop = ChosenDesktop();
	BOOL result;

	if (desktop->activate == NULL) {
		SetLastError(ERROR_NOT_SUPPORTED);
		return FALSE;
	}
	if (!BeginAction(desktop))
		return FALSE;
	acted = true;
	result = desktop->activate(hWnd);
	EndAction(desktop);
	return result;
}

/* WM_CLOSE is the desktop's request to close; WM_NULL asks nothing and
 * fails where that request would not be taken. A window that takes no
 * request to close fails with ERROR_INVALID_MESSAGE. No other message is
 * delivered. */
BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
	const Desktop *desktop = ChosenDesktop();
	BOOL result;

	(void)wParam;
	(void)lParam;
	if (Msg != WM_CLOSE && Msg != WM_NULL) {
		SetLastError(ERROR_NOT_SUPPORTED);
		return FALSE;
	}
	if (desktop->close == NULL) {
		if (Msg == WM_NULL) {
			SetLastError(ERROR_NOT_SUPPORTED);
			return FALSE;
		}
		return Unsupported(desktop, desktop->name, LackClose, hWnd);
	}
	if (Msg == WM_NULL)
		return BeginAction(desktop) && desktop->close(hWnd, false);
	if (!BeginAction(desktop))
		return FALSE;
	acted = true;
	result = desktop->close(hWnd, true);
	EndAction(desktop);
	if (!result)
		SetLastError(ERROR_INVALID_MESSAGE);
	return result;
}

/* Every window a desktop lists is a top-level one. */
HWND GetAncestor(HWND hwnd, UINT gaFlags)
{
	return gaFlags == GA_ROOT && IsWindow(hwnd) ? hwnd : 0;
}

/* -- window events: none, the pass hears its desktop itself --------------- */

HWINEVENTHOOK SetWinEventHook(DWORD eventMin, DWORD eventMax, HMODULE hmodWinEventProc,
                              WINEVENTPROC pfnWinEventProc, DWORD idProcess, DWORD idThread,
                              DWORD dwFlags)
{
	(void)eventMin;
	(void)eventMax;
	(void)hmodWinEventProc;
	(void)pfnWinEventProc;
	(void)idProcess;
	(void)idThread;
	(void)dwFlags;
	SetLastError(ERROR_NOT_SUPPORTED);
	return NULL;
}

BOOL UnhookWinEvent(HWINEVENTHOOK hWinEventHook)
{
	(void)hWinEventHook;
	return FALSE;
}

BOOL PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg)
{
	(void)lpMsg;
	(void)hWnd;
	(void)wMsgFilterMin;
	(void)wMsgFilterMax;
	(void)wRemoveMsg;
	return FALSE;
}

LRESULT DispatchMessageA(const MSG *lpMsg)
{
	(void)lpMsg;
	return 0;
}
