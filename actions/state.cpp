/* Minimize, Maximize and Restore: every matching shown window (hidden
 * ones are left as they are), one pass. */
#include "../script/steps.h"
#include "actions.h"

static int wanted; /* SW_MINIMIZE, SW_MAXIMIZE or SW_RESTORE */

/* A window already so is left alone: ShowWindow would also activate it. */
static BOOL CALLBACK StateWindowsProc(HWND window, LPARAM step)
{
	(void)step;
	if (!MatchesStep(window))
		return TRUE;
	if (wanted == SW_MINIMIZE && !IsIconic(window))
		ShowWindow(window, SW_MINIMIZE);
	if (wanted == SW_MAXIMIZE && !IsZoomed(window))
		ShowWindow(window, SW_MAXIMIZE);
	/* A window minimized from maximized comes back maximized; a second
	 * restore makes it neither. */
	if (wanted == SW_RESTORE && (IsIconic(window) || IsZoomed(window))) {
		ShowWindow(window, SW_RESTORE);
		if (IsZoomed(window))
			ShowWindow(window, SW_RESTORE);
	}
	NoteActedOn(window);
	return TRUE;
}

static void SetWindowsState(int command)
{
	wanted = command;
	BeginActing();
	EnumWindows(StateWindowsProc, currentStep);
	SayWhatStayed();
}

void MinimizeWindows(void)
{
	SetWindowsState(SW_MINIMIZE);
}

void MaximizeWindows(void)
{
	SetWindowsState(SW_MAXIMIZE);
}

void RestoreWindows(void)
{
	SetWindowsState(SW_RESTORE);
}
