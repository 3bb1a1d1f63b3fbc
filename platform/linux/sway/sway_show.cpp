/*
 * ShowWindow and EnableWindow over sway. Hiding moves the window to the
 * scratchpad, which sway keeps floating: a tiled window is marked first,
 * in the same command message, so that showing can tile it again. sway
 * runs one message's commands together, so a run killed at any instant
 * leaves a window either untouched or hidden and marked. Showing is a
 * focus, which brings a scratchpad window back and, unlike "scratchpad
 * show", never hides one already shown: runs acting at once cannot leave
 * a window in a state a later run cannot undo. sway has nothing that
 * stops a window taking input, so Enable says so and changes nothing.
 */
#include "../../winapi.h"
#include "../compositor.h"
#include "sway.h"

/* What a window was, kept on it where every run can read it. */
#define TiledMark "_wincue_tiled_%llu"

static void Command(const char *format, unsigned long long id)
{
	char command[SwayCommandSize];

	sprintf_s(command, sizeof command, format, id, id, id, id);
	free(SwayRequest(SwayRunCommand, command, NULL));
	swayChanges++; /* the copy no longer holds */
}

static void Hide(unsigned long long id)
{
	Command("[con_id=%llu tiling] mark --add " TiledMark "; [con_id=%llu] move scratchpad", id);
}

/* The mark goes with the tiling put back, so a later hide marks afresh. */
static void Show(unsigned long long id)
{
	Command("[con_id=%llu] focus; [con_id=%llu con_mark=\"^" TiledMark
	        "$\"] floating disable, unmark " TiledMark,
	        id);
}

/* Returns whether the window was visible before, as Windows does. */
BOOL SwayShowWindow(HWND hWnd, int nCmdShow)
{
	SwayWindow *w = SwayWindowOf(hWnd);
	bool wasVisible = w != NULL && !w->hidden;

	if (w == NULL)
		return FALSE;
	if (nCmdShow == SW_HIDE && wasVisible)
		Hide((unsigned long long)w->id);
	else if (nCmdShow == SW_SHOW && !wasVisible)
		Show((unsigned long long)w->id);
	else
		return wasVisible;
	w->hidden = nCmdShow == SW_HIDE; /* for the rest of the pass */
	return wasVisible;
}

/* A user must not believe a window locked when it is not: one line a
 * pass that tried, or a call outside a pass. */
BOOL SwayEnableWindow(HWND hWnd, BOOL bEnable)
{
	(void)bEnable;
	if (SwayWindowOf(hWnd) != NULL)
		SayEnableChangedNothing("sway");
	return FALSE;
}

BOOL SwayIsWindowEnabled(HWND hWnd)
{
	return SwayWindowOf(hWnd) != NULL;
}
