#include "../script/steps.h"
#include "actions.h"

int windowFound;

/* Ends the pass at the first match. */
BOOL CALLBACK FindWindowProc(HWND window, LPARAM step)
{
	if (MatchesStep(window, (const StepRecord *)step)) {
		windowFound = 1;
		return FALSE;
	}
	return TRUE;
}

/* Holds the run until a matching window exists; there is no time limit.
 * Every pass asks with the same step, so that the desktop can tell this
 * wait from a new question. */
void WaitForWindow(void)
{
	LPARAM step = (LPARAM)&StepTable[currentStep];

	windowFound = 0;
	EnumWindows(FindWindowProc, step);
	while (windowFound != 1) {
		Sleep(1);
		EnumWindows(FindWindowProc, step);
	}
}
