#include "../script/steps.h"
#include "actions.h"

int windowFound;

/* Ends the pass at the first match. */
BOOL CALLBACK FindWindowProc(HWND window, LPARAM unused)
{
	(void)unused;
	if (MatchesStep(window)) {
		windowFound = 1;
		return FALSE;
	}
	return TRUE;
}

/* Holds the run until a matching window exists; there is no time limit. */
void WaitForWindow(void)
{
	windowFound = 0;
	EnumWindows(FindWindowProc, 0);
	while (windowFound != 1) {
		Sleep(1);
		EnumWindows(FindWindowProc, 0);
	}
}
