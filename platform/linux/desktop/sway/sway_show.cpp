/*
 * ShowWindow over sway, and activating and closing. Hiding moves the window to the scratchpad,
 * which sway keeps floating: a tiled window is marked first, in the same command message, so that
 * showing can tile it again. sway runs one message's commands together, so a run killed at any
 * instant leaves a window either untouched or hidden and marked. Showing is a focus, which brings a
 * scratchpad window back and, unlike "scratchpad show", never hides one
 * already shown: runs acting at once cannot leave a window in a state a
 * later run cannot undo.
 */
#include <stdio.h>
#include <string.h>
#include <xcb/xcb.h>

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

static const char focusRequest[] = "[con_id=%llu] focus";
static const char killRequest[] = "[con_id=%llu] kill";

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
	if ((nCmdShow == SW_HIDE && wasVisible && Command(hide, id)) ||
	    (nCmdShow == SW_SHOW && !wasVisible && Command(show, id)))
		w->hidden = nCmdShow == SW_HIDE; /* for the rest of the pass */
	return wasVisible;
}

/* sway's focus shows, raises and focuses; sway has done it when it
 * answers. */
BOOL SwayActivate(HWND hWnd)
{
	if (SwayFind(hWnd) == NULL || !Command(focusRequest, (unsigned long long)hWnd))
		return FALSE;
	swayFocused = hWnd; /* until the tree is read again */
	return TRUE;
}

/* Whether an X11 window takes WM_DELETE_WINDOW, read on XWayland's display
 * ($DISPLAY); false when it cannot be read. */
static bool TakesDelete(uint32_t window)
{
	static const char *const names[] = {"WM_PROTOCOLS", "WM_DELETE_WINDOW"};
	xcb_connection_t *c = xcb_connect(NULL, NULL);
	xcb_intern_atom_cookie_t cookies[2];
	xcb_atom_t atoms[2] = {XCB_NONE, XCB_NONE};
	xcb_get_property_reply_t *r;
	bool takes = false;

	if (xcb_connection_has_error(c)) {
		xcb_disconnect(c);
		return false;
	}
	for (int i = 0; i < 2; i++)
		cookies[i] = xcb_intern_atom(c, 1, (uint16_t)strlen(names[i]), names[i]);
	for (int i = 0; i < 2; i++) {
		xcb_intern_atom_reply_t *a = xcb_intern_atom_reply(c, cookies[i], NULL);
		atoms[i] = a != NULL ? a->atom : XCB_NONE;
		free(a);
	}
	r = xcb_get_property_reply(
	    c, xcb_get_property(c, 0, window, atoms[0], XCB_ATOM_ATOM, 0, 64), NULL);
	if (r != NULL && r->type == XCB_ATOM_ATOM && r->format == 32 && atoms[1] != XCB_NONE) {
		const xcb_atom_t *v = (const xcb_atom_t *)xcb_get_property_value(r);
		for (int i = 0; i < xcb_get_property_value_length(r) / 4; i++)
			takes |= v[i] == atoms[1];
	}
	free(r);
	xcb_disconnect(c);
	return takes;
}

/* sway's kill asks a native window to close as its close button does;
 * an XWayland window that takes no WM_DELETE_WINDOW it would end with its
 * program (wlroots kills that X client), so such a one is asked nothing. */
BOOL SwayClose(HWND hWnd, bool ask)
{
	SwayWindow *w = SwayFind(hWnd);

	if (w == NULL || (w->xwayland != 0 && !TakesDelete(w->xwayland)))
		return FALSE;
	return !ask || Command(killRequest, (unsigned long long)hWnd);
}
