/*
 * EnableWindow over X11, which has no such state. Disabling combines what
 * keeps real mouse and keyboard input away: an empty input region (SHAPE),
 * the ICCCM "no input" model (WM_HINTS.input False, WM_TAKE_FOCUS gone),
 * and the focus moved elsewhere; either half alone lets keys or clicks
 * through. What it changed is saved in a property on the window itself,
 * so that enabling, in this run or a later one, puts it back exactly, and
 * a window never disabled is left as it is.
 */
#include <stdlib.h>
#include <string.h>
#include <xcb/shape.h>

#include "../winapi.h"
#include "x11.h"

/* The saved-input property, CARDINAL: [0] Saved* flags, [1] the index of
 * WM_TAKE_FOCUS in WM_PROTOCOLS, then, for an input region of the
 * window's own, two items per rectangle: x << 16 | y, width << 16 | height.
 * A region of more rectangles than fit is not saved: enabling then gives
 * the window its default region. */
enum {
	SavedHints = 1,      /* WM_HINTS was set */
	SavedInputFlag = 2,  /* with its InputHint flag */
	SavedInputValue = 4, /* and input True */
	SavedTakeFocus = 8,  /* WM_PROTOCOLS held WM_TAKE_FOCUS */
	SavedRegion = 16,    /* an input region of its own */
};
enum { MaxRectangles = 1024, SavedHeader = 2, HintsLength = 9, InputHint = 1, MaxProtocols = 64 };

static uint32_t saved[SavedHeader + 2 * MaxRectangles];
static uint32_t hints[HintsLength];
static xcb_atom_t protocols[MaxProtocols + 1];
static xcb_rectangle_t rectangles[MaxRectangles];

/* The answers about one window that disabling and enabling work from. */
struct InputState {
	xcb_get_property_reply_t *saved;
	xcb_get_property_reply_t *hints;
	xcb_get_property_reply_t *protocols;
	xcb_shape_get_rectangles_reply_t *region;
	xcb_get_geometry_reply_t *geometry;
};

static bool HasShape(void)
{
	const xcb_query_extension_reply_t *e = xcb_get_extension_data(x11, &xcb_shape_id);

	return e != NULL && e->present;
}

static int Items32(const xcb_get_property_reply_t *r, xcb_atom_t type)
{
	if (r == NULL || r->type != type || r->format != 32)
		return 0;
	return xcb_get_property_value_length(r) / 4;
}

/* Reads it all in one round trip. */
static void ReadInputState(xcb_window_t id, InputState *s, uint32_t savedLength)
{
	bool shape = HasShape();
	xcb_get_property_cookie_t savedCookie = xcb_get_property(
	    x11, 0, id, x11Atoms[X11AtomSavedInput], XCB_ATOM_CARDINAL, 0, savedLength);
	xcb_get_property_cookie_t hintsCookie =
	    xcb_get_property(x11, 0, id, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 0, HintsLength);
	xcb_get_property_cookie_t protocolsCookie = xcb_get_property(
	    x11, 0, id, x11Atoms[X11AtomWmProtocols], XCB_ATOM_ATOM, 0, MaxProtocols);
	xcb_shape_get_rectangles_cookie_t regionCookie;
	xcb_get_geometry_cookie_t geometryCookie = xcb_get_geometry(x11, id);

	if (shape)
		regionCookie = xcb_shape_get_rectangles(x11, id, XCB_SHAPE_SK_INPUT);
	s->saved = xcb_get_property_reply(x11, savedCookie, NULL);
	s->hints = xcb_get_property_reply(x11, hintsCookie, NULL);
	s->protocols = xcb_get_property_reply(x11, protocolsCookie, NULL);
	s->geometry = xcb_get_geometry_reply(x11, geometryCookie, NULL);
	s->region = shape ? xcb_shape_get_rectangles_reply(x11, regionCookie, NULL) : NULL;
}

static void FreeInputState(InputState *s)
{
	free(s->saved);
	free(s->hints);
	free(s->protocols);
	free(s->region);
	free(s->geometry);
}

static int TakeFocusIndex(const xcb_get_property_reply_t *r)
{
	const xcb_atom_t *atoms = (const xcb_atom_t *)xcb_get_property_value(r);
	int count = Items32(r, XCB_ATOM_ATOM);

	for (int i = 0; i < count; i++)
		if (atoms[i] == x11Atoms[X11AtomWmTakeFocus])
			return i;
	return -1;
}

/* The server reports an unshaped window's input region as the one
 * rectangle of the window and its border. */
static bool HasOwnRegion(const InputState *s)
{
	const xcb_rectangle_t *r;
	int border;

	if (s->region == NULL || s->geometry == NULL)
		return false;
	if (xcb_shape_get_rectangles_rectangles_length(s->region) != 1)
		return true;
	r = xcb_shape_get_rectangles_rectangles(s->region);
	border = s->geometry->border_width;
	return r->x != -border || r->y != -border || r->width != s->geometry->width + 2 * border ||
	       r->height != s->geometry->height + 2 * border;
}

/* Writes what disabling is about to change. */
static void SaveInput(xcb_window_t id, const InputState *s)
{
	uint32_t length = SavedHeader;
	int takeFocus = TakeFocusIndex(s->protocols);

	saved[0] = 0;
	saved[1] = 0;
	if (Items32(s->hints, XCB_ATOM_WM_HINTS) >= 2) {
		const uint32_t *v = (const uint32_t *)xcb_get_property_value(s->hints);
		saved[0] |= SavedHints;
		saved[0] |= (v[0] & InputHint) ? SavedInputFlag : 0;
		saved[0] |= v[1] ? SavedInputValue : 0;
	}
	if (takeFocus >= 0) {
		saved[0] |= SavedTakeFocus;
		saved[1] = (uint32_t)takeFocus;
	}
	if (HasOwnRegion(s) &&
	    xcb_shape_get_rectangles_rectangles_length(s->region) <= MaxRectangles) {
		const xcb_rectangle_t *r = xcb_shape_get_rectangles_rectangles(s->region);
		int count = xcb_shape_get_rectangles_rectangles_length(s->region);
		saved[0] |= SavedRegion;
		for (int i = 0; i < count; i++) {
			saved[length++] = (uint32_t)(uint16_t)r[i].x << 16 | (uint16_t)r[i].y;
			saved[length++] = (uint32_t)r[i].width << 16 | r[i].height;
		}
	}
	xcb_change_property(x11, XCB_PROP_MODE_REPLACE, id, x11Atoms[X11AtomSavedInput],
	                    XCB_ATOM_CARDINAL, 32, length, saved);
}

/* WM_HINTS as it is, or all zero when it is missing. Returns its length. */
static uint32_t CopyHints(const xcb_get_property_reply_t *r)
{
	uint32_t length = (uint32_t)Items32(r, XCB_ATOM_WM_HINTS);

	memset(hints, 0, sizeof hints);
	if (length > HintsLength)
		length = HintsLength;
	if (length > 0)
		memcpy(hints, xcb_get_property_value(r), length * 4);
	return length < 2 ? (uint32_t)HintsLength : length;
}

static void WriteHints(xcb_window_t id, uint32_t length)
{
	xcb_change_property(x11, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS,
	                    32, length, hints);
}

static void WriteProtocols(xcb_window_t id, int count)
{
	xcb_change_property(x11, XCB_PROP_MODE_REPLACE, id, x11Atoms[X11AtomWmProtocols],
	                    XCB_ATOM_ATOM, 32, (uint32_t)count, protocols);
}

static void RefuseInput(xcb_window_t id, const InputState *s)
{
	uint32_t length = CopyHints(s->hints);
	int takeFocus = TakeFocusIndex(s->protocols);

	if (HasShape())
		xcb_shape_rectangles(x11, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT,
		                     XCB_CLIP_ORDERING_UNSORTED, id, 0, 0, 0, NULL);
	hints[0] |= InputHint;
	hints[1] = 0;
	WriteHints(id, length);
	if (takeFocus >= 0) {
		const xcb_atom_t *atoms = (const xcb_atom_t *)xcb_get_property_value(s->protocols);
		int count = 0;
		for (int i = 0; i < Items32(s->protocols, XCB_ATOM_ATOM); i++)
			if (i != takeFocus)
				protocols[count++] = atoms[i];
		WriteProtocols(id, count);
	}
}

/* -- the focus --------------------------------------------------------- */

/* True when the focus is on the window or inside it. */
static bool HasFocus(xcb_window_t id)
{
	xcb_get_input_focus_reply_t *r =
	    xcb_get_input_focus_reply(x11, xcb_get_input_focus(x11), NULL);
	xcb_window_t focus = r != NULL ? r->focus : XCB_NONE;

	free(r);
	for (int depth = 0; depth < 64 && focus > XCB_INPUT_FOCUS_POINTER_ROOT; depth++) {
		if (focus == id)
			return true;
		if (focus == x11Root)
			return false;
		xcb_query_tree_reply_t *t =
		    xcb_query_tree_reply(x11, xcb_query_tree(x11, focus), NULL);
		focus = t != NULL ? t->parent : XCB_NONE;
		free(t);
	}
	return false;
}

static bool RootHas(xcb_atom_t property)
{
	xcb_get_property_reply_t *r = xcb_get_property_reply(
	    x11, xcb_get_property(x11, 0, x11Root, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0),
	    NULL);
	bool has = r != NULL && r->type != XCB_NONE;

	free(r);
	return has;
}

/* The topmost other client that takes input, or XCB_NONE. */
static xcb_window_t OtherClient(xcb_window_t id)
{
	xcb_get_property_reply_t *r = xcb_get_property_reply(
	    x11,
	    xcb_get_property(x11, 0, x11Root, x11Atoms[X11AtomNetClientListStacking],
	                     XCB_ATOM_WINDOW, 0, X11ListLength),
	    NULL);
	const xcb_window_t *stack =
	    r != NULL ? (const xcb_window_t *)xcb_get_property_value(r) : NULL;
	xcb_window_t other = XCB_NONE;

	for (int i = Items32(r, XCB_ATOM_WINDOW) - 1; i >= 0 && other == XCB_NONE; i--) {
		const X11Window *w = X11Find(stack[i]);
		if (stack[i] != id && w != NULL && w->state == X11StateNormal && w->mapped &&
		    !w->disabled)
			other = stack[i];
	}
	free(r);
	return other;
}

/* EWMH: the manager activates the window, as a pager would ask it to. */
static void AskToActivate(xcb_window_t other, xcb_window_t current)
{
	xcb_client_message_event_t m;

	memset(&m, 0, sizeof m);
	m.response_type = XCB_CLIENT_MESSAGE;
	m.format = 32;
	m.window = other;
	m.type = x11Atoms[X11AtomNetActiveWindow];
	m.data.data32[0] = 2; /* source: a pager or similar tool */
	m.data.data32[1] = XCB_CURRENT_TIME;
	m.data.data32[2] = current;
	xcb_send_event(x11, 0, x11Root,
	               XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
	               (const char *)&m);
}

enum { ManagerFocusMs = 50 }; /* how long the manager gets to move the focus */

static void WaitFocusLeaves(xcb_window_t id, uint64_t until)
{
	if (until > X11PassDeadline())
		until = X11PassDeadline();
	while (X11Ready() && HasFocus(id) && X11NowMs() < until) {
		uint64_t soon = X11NowMs() + 2;
		X11WaitEvent(soon < until ? soon : until);
	}
}

/* Under a manager the focus moves through it (setting it directly
 * confuses some); without one, it follows the pointer. Waits within the
 * pass bound until it has left. */
static void MoveFocusAway(xcb_window_t id)
{
	xcb_window_t other = XCB_NONE;

	if (!HasFocus(id))
		return;
	if (x11Managed && RootHas(x11Atoms[X11AtomNetSupportingWmCheck]))
		other = OtherClient(id);
	if (other != XCB_NONE) {
		AskToActivate(other, id);
		WaitFocusLeaves(id, X11NowMs() + ManagerFocusMs);
		if (!X11Ready() || !HasFocus(id))
			return;
	}
	/* No manager, no other client, or the manager would not move it. */
	xcb_set_input_focus(x11, XCB_INPUT_FOCUS_POINTER_ROOT, XCB_INPUT_FOCUS_POINTER_ROOT,
	                    XCB_CURRENT_TIME);
	WaitFocusLeaves(id, X11PassDeadline());
}

/* -- enabling ---------------------------------------------------------- */

static void RestoreRegion(xcb_window_t id, const xcb_get_property_reply_t *r)
{
	const uint32_t *v = (const uint32_t *)xcb_get_property_value(r);
	int count = (Items32(r, XCB_ATOM_CARDINAL) - SavedHeader) / 2;

	if (!HasShape())
		return;
	if (!(v[0] & SavedRegion)) {
		xcb_shape_mask(x11, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, id, 0, 0, XCB_NONE);
		return;
	}
	for (int i = 0; i < count; i++) {
		uint32_t at = v[SavedHeader + 2 * i], size = v[SavedHeader + 2 * i + 1];
		rectangles[i].x = (int16_t)(at >> 16);
		rectangles[i].y = (int16_t)(at & 0xFFFF);
		rectangles[i].width = (uint16_t)(size >> 16);
		rectangles[i].height = (uint16_t)(size & 0xFFFF);
	}
	xcb_shape_rectangles(x11, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED,
	                     id, 0, 0, (uint32_t)count, rectangles);
}

/* Puts back the input hint alone: the program may have changed the
 * others meanwhile. Hints that only disabling made are removed. */
static void RestoreHints(xcb_window_t id, uint32_t flags, const xcb_get_property_reply_t *r)
{
	uint32_t length = CopyHints(r);

	hints[0] &= ~(uint32_t)InputHint;
	hints[0] |= (flags & SavedInputFlag) ? InputHint : 0;
	hints[1] = (flags & SavedInputValue) ? 1 : 0;
	if (!(flags & SavedHints) && hints[0] == 0)
		xcb_delete_property(x11, id, XCB_ATOM_WM_HINTS);
	else
		WriteHints(id, length);
}

static void RestoreTakeFocus(xcb_window_t id, uint32_t flags, uint32_t index,
                             const xcb_get_property_reply_t *r)
{
	const xcb_atom_t *atoms = (const xcb_atom_t *)xcb_get_property_value(r);
	int count = Items32(r, XCB_ATOM_ATOM);
	int at = (int)(index < (uint32_t)count ? index : (uint32_t)count);
	int length = 0;

	if (!(flags & SavedTakeFocus) || TakeFocusIndex(r) >= 0 || count >= MaxProtocols)
		return;
	for (int i = 0; i < count; i++) {
		if (i == at)
			protocols[length++] = x11Atoms[X11AtomWmTakeFocus];
		protocols[length++] = atoms[i];
	}
	if (at == count)
		protocols[length++] = x11Atoms[X11AtomWmTakeFocus];
	WriteProtocols(id, length);
}

static void MarkDisabled(xcb_window_t id, bool disabled)
{
	X11Window *w = X11Find(id);

	if (w != NULL)
		w->disabled = disabled;
}

/* Returns whether the window was disabled. */
static BOOL Disable(xcb_window_t id)
{
	InputState s;
	bool wasDisabled;

	ReadInputState(id, &s, 0);
	wasDisabled = s.saved != NULL && s.saved->type != XCB_NONE;
	/* Saved once: disabling again must not take our own changes for the
	 * window's. */
	if (!wasDisabled && s.geometry != NULL)
		SaveInput(id, &s);
	if (s.geometry != NULL) /* else the window is gone */
		RefuseInput(id, &s);
	FreeInputState(&s);
	/* Known at once, so the focus is not handed to a window this same
	 * pass has just disabled. */
	MarkDisabled(id, true);
	MoveFocusAway(id);
	return wasDisabled;
}

static BOOL Enable(xcb_window_t id)
{
	InputState s;
	bool wasDisabled;

	ReadInputState(id, &s, SavedHeader + 2 * MaxRectangles);
	wasDisabled = Items32(s.saved, XCB_ATOM_CARDINAL) >= SavedHeader;
	if (wasDisabled) {
		const uint32_t *v = (const uint32_t *)xcb_get_property_value(s.saved);
		RestoreRegion(id, s.saved);
		RestoreHints(id, v[0], s.hints);
		RestoreTakeFocus(id, v[0], v[1], s.protocols);
		xcb_delete_property(x11, id, x11Atoms[X11AtomSavedInput]);
		MarkDisabled(id, false);
	}
	FreeInputState(&s);
	return wasDisabled;
}

/* Returns whether the window was disabled before, as Windows does. */
BOOL EnableWindow(HWND hWnd, BOOL bEnable)
{
	BOOL wasDisabled;

	if (!X11Ready() || hWnd == 0 || hWnd > UINT32_MAX || !X11BeginAction())
		return FALSE;
	wasDisabled = bEnable ? Enable((xcb_window_t)hWnd) : Disable((xcb_window_t)hWnd);
	X11NoteRequests();
	X11EndAction();
	return wasDisabled;
}
