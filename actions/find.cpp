#include "../script/steps.h"
#include "actions.h"

int windowFound;
int windowGaveUp;

/* Ends the pass at the first match. */
BOOL CALLBACK FindWindowProc(HWND window, LPARAM step)
{
	(void)step;
	if (MatchesStep(window)) {
		windowFound = 1;
		return FALSE;
	}
	return TRUE;
}

/* A timer due when the step's Timeout runs out, or NULL without one. The
 * deadline lives in the platform, so that a wait the platform stretches
 * (X11 sleeps until the desktop changes) still ends on time. A timer that
 * cannot be made leaves the step waiting as without a Timeout. */
static HANDLE StartTimeLimit(void)
{
	const char *timeout = StepTable[currentStep].Timeout;
	LARGE_INTEGER due;
	HANDLE timer;

	if (timeout[0] == '\0')
		return NULL;
	timer = CreateWaitableTimerA(NULL, TRUE, NULL);
	if (timer == NULL)
		return NULL;
	due.QuadPart = -10000LL * SleepMilliseconds(timeout); /* relative, in 100 ns */
	if (!SetWaitableTimer(timer, &due, 0, NULL, NULL, FALSE)) {
		CloseHandle(timer);
		return NULL;
	}
	return timer;
}

/* The pause between passes; false once the time is up. */
static bool PauseBetweenPasses(HANDLE timer)
{
	if (timer == NULL) {
		Sleep(1);
		return true;
	}
	return WaitForSingleObject(timer, 1) != WAIT_OBJECT_0;
}

/* Passes until windowFound is wanted: 1 for a matching window, 0 for
 * none; or until the Timeout, which sets windowGaveUp. */
static void WaitForFinding(int wanted)
{
	HANDLE timer = StartTimeLimit();

	windowGaveUp = 0;
	windowFound = 0;
	EnumWindows(FindWindowProc, currentStep);
	while (windowFound != wanted) {
		if (!PauseBetweenPasses(timer)) {
			windowGaveUp = 1;
			break;
		}
		windowFound = 0;
		EnumWindows(FindWindowProc, currentStep);
	}
	if (timer != NULL)
		CloseHandle(timer);
}

/* Holds the run until a matching window exists; without a Timeout there
 * is no time limit. */
void WaitForWindow(void)
{
	WaitForFinding(1);
}

/* Holds the run until no matching window exists. */
void WaitForNoWindow(void)
{
	WaitForFinding(0);
}

/* One write, so that the line never mixes with another program's. */
void ReportGaveUp(void)
{
	const StepRecord *step = &StepTable[currentStep];
	bool text = step->Text[0] != '\0';
	bool className = step->ClassName[0] != '\0';

	fprintf(stderr,
	        "wincue: [Section%d] %s gave up after %lu ms: %s%s window with%s%s%s%s%s%s%s\n",
	        currentStep, step->Action, (unsigned long)SleepMilliseconds(step->Timeout),
	        ValueEquals(step->Action, "Gone") ? "still a" : "no",
	        ValueEquals(step->Visible, "1") ? " shown" : "", text ? " Text \"" : "", step->Text,
	        text ? "\"" : "", text && className ? " and" : "", className ? " ClassName \"" : "",
	        step->ClassName, className ? "\"" : "");
}
