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

long StepTimeLimit(long unlessGiven)
{
	const char *timeout = StepTable[currentStep].Timeout;

	return timeout[0] != '\0' ? (long)SleepMilliseconds(timeout) : unlessGiven;
}

/* The deadline lives in the platform, so that a wait the platform
 * stretches (X11 sleeps until the desktop changes) still ends on time. A
 * timer that cannot be made leaves the step waiting as without a limit. */
HANDLE StartTimeLimit(long unlessGiven)
{
	long limit = StepTimeLimit(unlessGiven);
	LARGE_INTEGER due;
	HANDLE timer;

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

bool PauseBetweenPasses(HANDLE timer)
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
	HANDLE timer = StartTimeLimit(NoTimeLimit);

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

/* What the step looks for, as its line names it, into out (Described
 * bytes): " window with Text "Setup" and ClassName "X"", with how Text
 * matches when the step says and the program it names. */
void DescribeWanted(char *out)
{
	const StepRecord *step = &StepTable[currentStep];
	bool shown = ValueEquals(step->Visible, "1") || ValueEquals(step->Action, "Activate");
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

/* One write, so that the line never mixes with another program's. */
void ReportGaveUp(void)
{
	const StepRecord *step = &StepTable[currentStep];
	char wanted[Described];

	if (ValueEquals(step->Action, "Activate")) {
		ReportActivateGaveUp();
		return;
	}
	DescribeWanted(wanted);
	fprintf(stderr, "wincue: [Section%d] %s gave up after %ld ms: %s%s\n", currentStep,
	        step->Action, StepTimeLimit(0),
	        ValueEquals(step->Action, "Gone") ? "still a" : "no", wanted);
}
