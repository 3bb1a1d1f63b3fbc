/*
 * ShowWindow over sway. Hiding moves the window to the scratchpad, which
 * sway keeps floating: a tiled window is marked first, in the same command
 * message, so that showing can tile it again. sway runs one message's
 * commands together, so a run killed at any instant leaves a window either
 * untouched or hidden and marked. Showing is a focus, which brings a
 * scratchpad window back and, unlike "scratchpad show", never hides one
 * already shown: runs acting at once cannot leave a window in a state a
 * later run cannot undo.
 */
#include <stdio.h>

#include "../../../winapi.h"
#include "sway.h"

/* What a window was, kept on it where every run can read it; "--add"
 * keeps the marks its user set. */
#define TiledMark "_wincue_tiled_%llu"

static const char hide[] =
    "[con_id=%llu tiling] mark --add " TiledMark "; [con_id=%llu] move scratchpad";
/* The mark goes with the tiling put back, so a later hide marks afresh. */
static const char show[] = "[con_id=%llu] focus; [con_id=%llu con_mark=\"^" TiledMark
                           "$\"] floating disable, unmark " TiledMark;

/* Room for either with four ids of 20 digits each. */
enum { CommandSize = sizeof show + 4 * 20 };

/* Sends the command for one window; false when sway did not take it. */
static bool Command(const char *format, unsigned long long id)
{
	char command[CommandSize];
	int n = snprintf(command, sizeof command, format, id, id, id, id);
	char *reply;

	if (n < 0 || (size_t)n >= sizeof command)
		return false;
	reply = SwayRequest(SwayRunCommand, command, NULL);
	swayChanges++; /* the copy no longer holds */
	free(reply);
	return reply != NULL;
}

/* Returns whether the window was visible before, as Windows does. */
BOOL SwayShowWindow(HWND hWnd, int nCmdShow)
{
	SwayWindow *w = SwayFind(hWnd);
	bool wasVisible = w != NULL && !w->hidden;
	unsigned long long id = (unsigned long long)hWnd;

	if (w == NULL)
		return FALSE;
	if (nCmdShow == SW_HIDE && wasVisible)
		Command(hide, id);
	else if (nCmdShow == SW_SHOW && !wasVisible)
		Command(show, id);
	else
		return wasVisible;
	w->hidden = nCmdShow == SW_HIDE; /* for the rest of the pass */
	return wasVisible;
}
