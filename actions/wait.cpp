/* What the steps that wait for windows share (Find, Gone, Activate): the
 * step's time limit, the pause between passes, and the line when one gave
 * up. */
#include "../script/steps.h"
#include "actions.h"
#include "verbs.h"

int windowGaveUp;

/* How a waiting step hears that windows changed. Where the system tells
 * (Windows' window events about other programs' windows), a pause lasts
 * until it does, and at most QuietPauseMs. Wine 8 tells only of windows
 * made, and only by a program that has read its messages since the hook
 * was set: that pause decides how soon a window shown or renamed there is
 * seen. A pass over 100 windows costs Wine a few ms of wincue and of the
 * wineserver each, so 750 ms keeps both near 1 % of a core and still sees
 * such a window within a second. After news, or at a step's start, the
 * pause begins at a millisecond and doubles: a window made and then
 * titled, or a focus given a moment late, is seen soon after. Where the
 * system tells nothing (Linux, whose desktop layer stretches each pause
 * until its desktop changes), every pause is a millisecond. */
enum { QuietPauseMs = 750 };

static const struct {
	DWORD first, last;
} WindowEvents[] = {
    {EVENT_OBJECT_CREATE, EVENT_OBJECT_HIDE},             /* made, gone, shown, hidden */
    {EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE},   /* renamed */
    {EVENT_OBJECT_STATECHANGE, EVENT_OBJECT_STATECHANGE}, /* enabled, disabled */
    {EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND},   /* made active */
    {EVENT_SYSTEM_MINIMIZESTART, EVENT_SYSTEM_MINIMIZEEND},
};
enum { WindowEventRanges = sizeof WindowEvents / sizeof WindowEvents[0] };

/* Waiting state, set afresh by each waiting step */
static HWINEVENTHOOK listening[WindowEventRanges]; /* NULL: not set */
static bool heard;                                 /* some hook is set: news ends a pause */
static bool windowNews;  /* a top-level window changed since the last pass */
static DWORD quietPause; /* the next pause without news, in ms */

long StepTimeLimit(long unlessGiven)
{
	const char *timeout = StepTable[currentStep].Timeout;

	return timeout[0] != '\0' ? (long)SleepMilliseconds(timeout) : unlessGiven;
}

/* Runs out of wincue's process: a child window's change matters to no
 * step, while a window already gone may have been a top-level one. */
static void CALLBACK NoteWindowNews(HWINEVENTHOOK hook, DWORD event, HWND window, LONG object,
                                    LONG child, DWORD thread, DWORD time)
{
	HWND root;

	(void)hook;
	(void)event;
	(void)thread;
	(void)time;
	if (object != OBJID_WINDOW || child != CHILDID_SELF)
		return;
	root = GetAncestor(window, GA_ROOT);
	if (root == 0 || root == window)
		windowNews = true;
}

/* Set before the step's first pass, so that no change after it goes
 * unheard. */
static void Listen(void)
{
	heard = false;
	for (int i = 0; i < WindowEventRanges; i++) {
		listening[i] = SetWinEventHook(WindowEvents[i].first, WindowEvents[i].last, NULL,
		                               NoteWindowNews, 0, 0,
		                               WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
		heard = heard || listening[i] != NULL;
	}
	windowNews = false;
	quietPause = 1;
}

/* The deadline lives in the platform, so that a wait the platform
 * stretches (X11 sleeps until the desktop changes) still ends on time. A
 * timer that cannot be made leaves the step waiting as without a limit. */
HANDLE StartTimeLimit(long unlessGiven)
{
	long limit = StepTimeLimit(unlessGiven);
	LARGE_INTEGER due;
	HANDLE timer;

	Listen();
	if (limit < 0)
		return NULL;
	timer = CreateWaitableTimerA(NULL, TRUE, NULL);
	if (timer == NULL)
		return NULL;
	due.QuadPart = -10000LL * limit; /* relative, in 100 ns */
	if (!SetWaitableTimer(timer, &due, 0, NULL, NULL, FALSE)) {
		CloseHandle(timer);
		return NULL;
	}
	return timer;
}

/* No event is queued for a step that does not wait. */
void EndTimeLimit(HANDLE timer)
{
	for (int i = 0; i < WindowEventRanges; i++) {
		if (listening[i] != NULL)
			UnhookWinEvent(listening[i]);
		listening[i] = NULL;
	}
	if (timer != NULL)
		CloseHandle(timer);
}

/* Runs the window events that came (NoteWindowNews). */
static void TakeMessages(void)
{
	MSG message;

	while (PeekMessageA(&message, 0, 0, 0, PM_REMOVE))
		DispatchMessageA(&message);
}

/* Waits at most ms for the timer, less when news comes: what
 * MsgWaitForMultipleObjects returned last. */
static DWORD AwaitNews(HANDLE timer, DWORD ms)
{
	DWORD count = timer != NULL ? 1 : 0;
	DWORD end = GetTickCount() + ms;
	DWORD left = ms;
	DWORD woken;

	for (;;) {
		TakeMessages();
		woken = MsgWaitForMultipleObjects(count, &timer, FALSE, windowNews ? 0 : left,
		                                  QS_ALLINPUT);
		if (woken != WAIT_OBJECT_0 + count || windowNews)
			return woken;
		left = end - GetTickCount();
		if (left > ms) /* past the end */
			left = 0;
	}
}

bool PauseBetweenPasses(HANDLE timer)
{
	DWORD woken = AwaitNews(timer, heard ? quietPause : 1);

	if (timer != NULL && woken == WAIT_OBJECT_0)
		return false;
	if (windowNews)
		quietPause = 1;
	else
		quietPause =
		    quietPause * 2 < (DWORD)QuietPauseMs ? quietPause * 2 : (DWORD)QuietPauseMs;
	windowNews = false;
	return true;
}

/* What the step looks for, as its line names it, into out (Described
 * bytes): " window with Text "Setup" and ClassName "X"", with how Text
 * matches when the step says and the program it names. */
void DescribeWanted(char *out)
{
	const StepRecord *step = &StepTable[currentStep];
	const Verb *verb = StepVerb();
	bool shown =
	    ValueEquals(step->Visible, "1") || (verb != NULL && (verb->traits & ShownOnly));
	const char *joint = "";
	int n = sprintf_s(out, Described, "%s window with", shown ? " shown" : "");

	if (step->Text[0] != '\0') {
		n += sprintf_s(out + n, Described - n, " Text \"%s\"", step->Text);
		if (step->Match[0] != '\0' || step->Case[0] != '\0')
			n += sprintf_s(out + n, Described - n, " (Match=%s%s%s)",
			               step->Match[0] != '\0' ? step->Match : "exact",
			               step->Case[0] != '\0' ? ", Case=" : "", step->Case);
		joint = " and";
	}
	if (step->ClassName[0] != '\0') {
		n += sprintf_s(out + n, Described - n, "%s ClassName \"%s\"", joint,
		               step->ClassName);
		joint = " and";
	}
	if (step->Process[0] != '\0')
		sprintf_s(out + n, Described - n, "%s Process \"%s\"", joint, step->Process);
}

void ReportGaveUp(void)
{
	const Verb *verb = StepVerb();

	if (verb != NULL && verb->gaveUp != NULL)
		verb->gaveUp();
}
