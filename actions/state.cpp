/* Minimize, Maximize and Restore: every matching shown window (hidden
 * ones are left as they are), one pass. */
#include "../script/steps.h"
#include "actions.h"

/* A window already so is left alone: ShowWindow would also activate it. */
BOOL CALLBACK StateWindowsProc(HWND window, LPARAM step)
{
	const char *action = StepTable[currentStep].Action;

	(void)step;
	if (!MatchesStep(window))
		return TRUE;
	if (ValueEquals(action, "Minimize") && !IsIconic(window))
		ShowWindow(window, SW_MINIMIZE);
	if (ValueEquals(action, "Maximize") && !IsZoomed(window))
		ShowWindow(window, SW_MAXIMIZE);
	/* A window minimized from maximized comes back maximized; a second
	 * restore makes it neither. */
	if (ValueEquals(action, "Restore") && (IsIconic(window) || IsZoomed(window))) {
		ShowWindow(window, SW_RESTORE);
		if (IsZoomed(window))
			ShowWindow(window, SW_RESTORE);
	}
	NoteActedOn(window);
	return TRUE;
}

void SetWindowsState(void)
{
	BeginActing();
	EnumWindows(StateWindowsProc, currentStep);
	SayWhatStayed();
}
