/*
 * EnableWindow over X11, which has no such state. Disabling combines what
 * keeps real mouse and keyboard input away: a shield over the window that
 * swallows the clicks and keys landing on it (x11_shield.cpp), the ICCCM
 * "no input" model (WM_HINTS.input False, WM_TAKE_FOCUS gone) so that the
 * manager does not give it the focus, and the focus taken off it. What it
 * changed is saved in a property on the window itself, so that enabling,
 * in this run or a later one, puts it back exactly, and a window never
 * disabled is left as it is.
 */
#include <stdlib.h>
#include <string.h>

#include "../winapi.h"
#include "x11.h"

/* The saved-input property, CARDINAL: [0] Saved* flags, [1] the index of
 * WM_TAKE_FOCUS in WM_PROTOCOLS, [2] the shield. */
enum {
	SavedHints = 1,      /* WM_HINTS was set */
	SavedInputFlag = 2,  /* with its InputHint flag */
	SavedInputValue = 4, /* and input True */
	SavedTakeFocus = 8,  /* WM_PROTOCOLS held WM_TAKE_FOCUS */
};
enum { SavedLength = 3, HintsLength = 9, InputHint = 1, MaxProtocols = 64 };

static uint32_t saved[SavedLength];
static uint32_t hints[HintsLength];
static xcb_atom_t protocols[MaxProtocols + 1];
static bool reclaimed; /* spent shield owners were looked for this run */

/* The answers about one window that disabling and enabling work from. */
struct InputState {
	xcb_get_property_reply_t *saved;
	xcb_get_property_reply_t *hints;
	xcb_get_property_reply_t *protocols;
	xcb_get_property_reply_t *active; /* the root's _NET_ACTIVE_WINDOW */
	bool exists;
};

static int Items32(const xcb_get_property_reply_t *r, xcb_atom_t type)
{
	if (r == NULL || r->type != type || r->format != 32)
		return 0;
	return xcb_get_property_value_length(r) / 4;
}

/* Reads it all in one round trip. */
static void ReadInputState(xcb_window_t id, InputState *s)
{
	xcb_get_property_cookie_t savedCookie = xcb_get_property(
	    x11, 0, id, x11Atoms[X11AtomSavedInput], XCB_ATOM_CARDINAL, 0, SavedLength);
	xcb_get_property_cookie_t hintsCookie =
	    xcb_get_property(x11, 0, id, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 0, HintsLength);
	xcb_get_property_cookie_t protocolsCookie = xcb_get_property(
	    x11, 0, id, x11Atoms[X11AtomWmProtocols], XCB_ATOM_ATOM, 0, MaxProtocols);
	xcb_get_property_cookie_t activeCookie = xcb_get_property(
	    x11, 0, x11Root, x11Atoms[X11AtomNetActiveWindow], XCB_ATOM_WINDOW, 0, 1);
	xcb_get_geometry_cookie_t geometryCookie = xcb_get_geometry(x11, id);
	xcb_get_geometry_reply_t *geometry;

	s->saved = xcb_get_property_reply(x11, savedCookie, NULL);
	s->hints = xcb_get_property_reply(x11, hintsCookie, NULL);
	s->protocols = xcb_get_property_reply(x11, protocolsCookie, NULL);
	s->active = xcb_get_property_reply(x11, activeCookie, NULL);
	geometry = xcb_get_geometry_reply(x11, geometryCookie, NULL);
	s->exists = geometry != NULL;
	free(geometry);
}

static void FreeInputState(InputState *s)
{
	free(s->saved);
	free(s->hints);
	free(s->protocols);
	free(s->active);
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

/* The saved property's items, or NULL when the window is not disabled. */
static const uint32_t *SavedItems(const InputState *s)
{
	if (Items32(s->saved, XCB_ATOM_CARDINAL) < SavedLength)
		return NULL;
	return (const uint32_t *)xcb_get_property_value(s->saved);
}

/* Writes what disabling is about to change, and the shield. */
static void SaveInput(xcb_window_t id, const InputState *s, xcb_window_t shield)
{
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
	saved[2] = shield;
	xcb_change_property(x11, XCB_PROP_MODE_REPLACE, id, x11Atoms[X11AtomSavedInput],
	                    XCB_ATOM_CARDINAL, 32, SavedLength, saved);
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

static void RefuseFocus(xcb_window_t id, const InputState *s)
{
	uint32_t length = CopyHints(s->hints);
	int takeFocus = TakeFocusIndex(s->protocols);

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

/* A manager acts on what it read of the window before this step: taking
 * it in, it focuses it a moment after it has shown it; a click on it while
 * disabled may make it active only later. Once the manager has answered,
 * it has done all that, and the window's focus and state can be read. */
static void SettleManager(xcb_window_t id)
{
	const X11Window *w = X11Find(id);

	if (x11Managed && w != NULL && !w->overrideRedirect && w->state == X11StateNormal)
		X11AwaitManagerAnswer(id, X11PassDeadline());
}

/* As on Windows, the focus is lost and no other window is activated:
 * under a manager it goes to the shield, where keys die and which the
 * manager takes for the window itself, so it activates no other; when
 * the shield goes, it falls back to the window. Without a manager the
 * pointer picks the window that gets the keys, as it did before. */
static void DropFocus(xcb_window_t id, xcb_window_t shield)
{
	if (!HasFocus(id))
		return;
	if (x11Managed && shield != XCB_NONE)
		xcb_set_input_focus(x11, XCB_INPUT_FOCUS_PARENT, shield, XCB_CURRENT_TIME);
	else
		xcb_set_input_focus(x11, XCB_INPUT_FOCUS_POINTER_ROOT, XCB_INPUT_FOCUS_POINTER_ROOT,
		                    XCB_CURRENT_TIME);
}

/* A manager may have made the window active while it refused the focus
 * (a click on it, or showing it); it then takes it for focused, and a
 * click would no longer focus it. The focus goes to it as the manager
 * would have given it, by its input model. */
static void FocusIfActive(xcb_window_t id, const InputState *s, uint32_t flags)
{
	bool input = !(flags & SavedInputFlag) || (flags & SavedInputValue);
	xcb_client_message_event_t m;

	if (Items32(s->active, XCB_ATOM_WINDOW) < 1 ||
	    *(const xcb_window_t *)xcb_get_property_value(s->active) != id || HasFocus(id))
		return;
	if (input)
		xcb_set_input_focus(x11, XCB_INPUT_FOCUS_PARENT, id, XCB_CURRENT_TIME);
	if (!(flags & SavedTakeFocus))
		return;
	memset(&m, 0, sizeof m);
	m.response_type = XCB_CLIENT_MESSAGE;
	m.format = 32;
	m.window = id;
	m.type = x11Atoms[X11AtomWmProtocols];
	m.data.data32[0] = x11Atoms[X11AtomWmTakeFocus];
	m.data.data32[1] = XCB_CURRENT_TIME;
	xcb_send_event(x11, 0, id, XCB_EVENT_MASK_NO_EVENT, (const char *)&m);
}

/* -- enabling ---------------------------------------------------------- */

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

/* Returns whether the window was disabled. */
static BOOL Disable(xcb_window_t id)
{
	InputState s;
	const uint32_t *v;
	xcb_window_t shield = XCB_NONE;

	ReadInputState(id, &s);
	v = SavedItems(&s);
	if (s.exists) {
		/* A shield may have gone with a connection someone killed. */
		shield = v != NULL ? v[2] : XCB_NONE;
		if (!X11IsShieldOf(shield, id)) {
			shield = X11RaiseShield(id);
			/* Saved once: disabling again must not take our own
			 * changes for the window's. */
			if (v != NULL) {
				memcpy(saved, v, sizeof saved);
				saved[2] = shield;
				xcb_change_property(x11, XCB_PROP_MODE_REPLACE, id,
				                    x11Atoms[X11AtomSavedInput], XCB_ATOM_CARDINAL,
				                    32, SavedLength, saved);
			} else {
				SaveInput(id, &s, shield);
			}
		}
		RefuseFocus(id, &s);
		DropFocus(id, shield);
	}
	FreeInputState(&s);
	return v != NULL;
}

static BOOL Enable(xcb_window_t id)
{
	InputState s;
	const uint32_t *v;

	ReadInputState(id, &s);
	v = SavedItems(&s);
	if (v != NULL) {
		RestoreHints(id, v[0], s.hints);
		RestoreTakeFocus(id, v[0], v[1], s.protocols);
		if (X11IsShieldOf(v[2], id))
			xcb_destroy_window(x11, v[2]);
		xcb_delete_property(x11, id, x11Atoms[X11AtomSavedInput]);
		FocusIfActive(id, &s, v[0]);
	}
	FreeInputState(&s);
	return v != NULL;
}

/* Returns whether the window was disabled before, as Windows does. */
BOOL EnableWindow(HWND hWnd, BOOL bEnable)
{
	BOOL wasDisabled;

	if (!X11Ready() || hWnd == 0 || hWnd > UINT32_MAX || !X11BeginAction())
		return FALSE;
	if (!reclaimed) {
		reclaimed = true;
		X11ReclaimShields();
	}
	SettleManager((xcb_window_t)hWnd);
	wasDisabled = bEnable ? Enable((xcb_window_t)hWnd) : Disable((xcb_window_t)hWnd);
	X11NoteRequests();
	X11EndAction();
	return wasDisabled;
}
