#include "../script/steps.h"
#include "actions.h"

int windowFound;

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
	EndTimeLimit(timer);
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
static void ReportWaitGaveUp(const char *lead)
{
	char wanted[Described];

	DescribeWanted(wanted);
	fprintf(stderr, "wincue: [Section%d] %s gave up after %ld ms: %s%s\n", currentStep,
	        StepTable[currentStep].Action, StepTimeLimit(0), lead, wanted);
}

void ReportNotFound(void)
{
	ReportWaitGaveUp("no");
}

void ReportStillThere(void)
{
	ReportWaitGaveUp("still a");
}
