#include "../script/steps.h"
#include "actions.h"

/* Visits every window: one pass treats every match. */
BOOL CALLBACK DisplayWindowsProc(HWND window, LPARAM step)
{
	const char *flag = StepTable[currentStep].Display;

	(void)step;
	if (MatchesStep(window)) {
		if (ValueEquals(flag, "1"))
			ShowWindow(window, SW_SHOW);
		if (ValueEquals(flag, "0"))
			ShowWindow(window, SW_HIDE);
		NoteActedOn(window);
	}
	return TRUE;
}

void DisplayMatchingWindows(void)
{
	BeginActing();
	EnumWindows(DisplayWindowsProc, currentStep);
	SayWhatStayed();
}
