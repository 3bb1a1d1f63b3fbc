#include "../script/steps.h"
#include "actions.h"

/* Visits every window: one pass treats every match. */
BOOL CALLBACK EnableWindowsProc(HWND window, LPARAM unused)
{
	const char *flag = StepTable[currentStep].Enable;

	(void)unused;
	if (MatchesStep(window)) {
		if (ValueEquals(flag, "1"))
			EnableWindow(window, TRUE);
		if (ValueEquals(flag, "0"))
			EnableWindow(window, FALSE);
	}
	return TRUE;
}

void EnableMatchingWindows(void)
{
	EnumWindows(EnableWindowsProc, 0);
}
