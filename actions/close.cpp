#include "../script/steps.h"
#include "actions.h"

/* Asks every matching window to close, as its close button does, and
 * goes on at once: a posted WM_CLOSE never waits for its program, which
 * may ask its user first, or be hung. A window that cannot be asked gets
 * its line at once. */
BOOL CALLBACK CloseWindowsProc(HWND window, LPARAM step)
{
	(void)step;
	if (MatchesStep(window)) {
		SetLastError(0);
		if (!PostMessageA(window, WM_CLOSE, 0, 0) && GetLastError() != ERROR_NOT_SUPPORTED)
			SayStayed(window, "open", GetLastError());
	}
	return TRUE;
}

void CloseMatchingWindows(void)
{
	EnumWindows(CloseWindowsProc, currentStep);
}
