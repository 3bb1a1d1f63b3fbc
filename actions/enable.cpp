#include "../script/steps.h"
#include "actions.h"

/* Visits every window: one pass treats every match. */
BOOL CALLBACK EnableWindowsProc(HWND window, LPARAM step)
{
	const char *flag = StepTable[currentStep].Enable;

	(void)step;
	if (MatchesStep(window)) {
		if (ValueEquals(flag, "1"))
			EnableWindow(window, TRUE);
		if (ValueEquals(flag, "0"))
			EnableWindow(window, FALSE);
		NoteActedOn(window);
	}
	return TRUE;
}

void EnableMatchingWindows(void)
{
	BeginActing();
	EnumWindows(EnableWindowsProc, currentStep);
	SayWhatStayed();
}
