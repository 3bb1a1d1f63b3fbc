/*
 * EnableWindow over X11, which has no such state. Disabling combines what
 * keeps real mouse and keyboard input away: a shield over the window that
 * swallows the clicks and keys landing on it (x11_shield.cpp), the ICCCM
 * "no input" model (WM_HINTS.input False, WM_TAKE_FOCUS gone) so that the
 * manager does not give it the focus, and the focus taken off it. What it
 * changed is saved in a property on the window itself, so that enabling,
 * in this run or a later one, puts it back exactly, and a window never
 * disabled is left as it is.
 *
 * Runs may disable and enable one window at the same moment: each reads
 * and writes a window's saved state inside a short server grab (one round
 * trip, never a wait for the manager), so the window ends either fully
 * disabled, its originals saved once, or exactly as it was. The writes
 * are ordered so that a run killed between any two leaves the saved state
 * first: enabling then finds and undoes what was done.
 */
#include <stdlib.h>
#include <string.h>

#include "../../../winapi.h"
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

enum { MaxShields = 16 }; /* shields of one window, all runs' */

static uint32_t saved[SavedLength];
static uint32_t hints[HintsLength];
static xcb_atom_t protocols[MaxProtocols + 1];
static xcb_window_t shields[MaxShields];
/* The focus window and its ancestors up to the root, read once a pass. */
static xcb_window_t focusChain[64];
static int focusDepth;
static uint64_t focusPass; /* the pass that read it; 0: read again */

/* The answers about one window that disabling and enabling work from. */
struct InputState {
	xcb_get_property_reply_t *saved;
	xcb_get_property_reply_t *hints;
	xcb_get_property_reply_t *protocols;
	xcb_get_property_reply_t *active; /* the root's _NET_ACTIVE_WINDOW */
	xcb_query_tree_reply_t *tree;     /* NULL when the window has gone */
};

static int Items32(const xcb_get_property_reply_t *r, xcb_atom_t type)
{
	int count;

	X11Items32(r, type, &count);
	return count;
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
	xcb_query_tree_cookie_t treeCookie = xcb_query_tree(x11, id);

	s->saved = xcb_get_property_reply(x11, savedCookie, NULL);
	s->hints = xcb_get_property_reply(x11, hintsCookie, NULL);
	s->protocols = xcb_get_property_reply(x11, protocolsCookie, NULL);
	s->active = xcb_get_property_reply(x11, activeCookie, NULL);
	s->tree = xcb_query_tree_reply(x11, treeCookie, NULL);
}

static void FreeInputState(InputState *s)
{
	free(s->saved);
	free(s->hints);
	free(s->protocols);
	free(s->active);
	free(s->tree);
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

static void ReadFocus(void)
{
	xcb_get_input_focus_reply_t *r =
	    xcb_get_input_focus_reply(x11, xcb_get_input_focus(x11), NULL);
	xcb_window_t focus = r != NULL ? r->focus : XCB_NONE;

	free(r);
	focusDepth = 0;
	while (focusDepth < 64 && focus > XCB_INPUT_FOCUS_POINTER_ROOT && focus != x11Root) {
		focusChain[focusDepth++] = focus;
		xcb_query_tree_reply_t *t =
		    xcb_query_tree_reply(x11, xcb_query_tree(x11, focus), NULL);
		focus = t != NULL ? t->parent : XCB_NONE;
		free(t);
	}
}

/* True when the focus is on the window or inside it. A pass over many
 * windows reads where the focus is once, until it moves the focus. */
static bool HasFocus(xcb_window_t id)
{
	if (AskOncePerPass(&focusPass))
		ReadFocus();
	for (int i = 0; i < focusDepth; i++)
		if (focusChain[i] == id)
			return true;
	return false;
}

static void SetFocus(uint8_t revertTo, xcb_window_t window)
{
	xcb_set_input_focus(x11, revertTo, window, XCB_CURRENT_TIME);
	focusPass = 0;
}

/* A manager acts on what it read of the window before this step: taking
 * it in, it focuses it a moment after it has shown it; a click on it while
 * disabled may make it active only later. Once the manager has answered,
 * it has done all that, for every window, and the focus and the windows'
 * state can be read: a pass asks once, at its first window it shows. */
static void SettleManager(xcb_window_t id)
{
	static uint64_t settledPass; /* the pass that asked; 0: ask again */
	const X11Window *w = X11Find(id);

	if (!x11Managed || w == NULL || w->overrideRedirect || w->state != X11StateNormal ||
	    !AskOncePerPass(&settledPass))
		return;
	X11AwaitManagerAnswer(id, PassDeadline());
	focusPass = 0;
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
		SetFocus(XCB_INPUT_FOCUS_PARENT, shield);
	else
		SetFocus(XCB_INPUT_FOCUS_POINTER_ROOT, XCB_INPUT_FOCUS_POINTER_ROOT);
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
		SetFocus(XCB_INPUT_FOCUS_PARENT, id);
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

/* Saves the window's input state, unless saved already, and refuses it
 * the focus; covers it with a shield unless its saved one is there.
 * Returns the window's shield. */
static xcb_window_t Disable(xcb_window_t id, const InputState *s)
{
	const uint32_t *v = SavedItems(s);
	xcb_window_t shield = v != NULL ? v[2] : XCB_NONE;

	/* A shield may have gone with a connection someone killed. */
	if (X11HasChild(s->tree, shield)) {
		RefuseFocus(id, s);
		return shield;
	}
	shield = xcb_generate_id(x11);
	/* Saved once: disabling again must not take our own changes for
	 * the window's. */
	if (v != NULL) {
		memcpy(saved, v, sizeof saved);
		saved[2] = shield;
		xcb_change_property(x11, XCB_PROP_MODE_REPLACE, id, x11Atoms[X11AtomSavedInput],
		                    XCB_ATOM_CARDINAL, 32, SavedLength, saved);
	} else {
		SaveInput(id, s, shield);
	}
	RefuseFocus(id, s);
	X11RaiseShield(id, shield);
	return shield;
}

/* Puts back what was saved and removes every shield of the window; the
 * saved state goes last. */
static void Enable(xcb_window_t id, const InputState *s)
{
	const uint32_t *v = SavedItems(s);
	int count = X11ShieldsOf(id, s->tree, v != NULL ? v[2] : XCB_NONE, shields, MaxShields);

	if (v != NULL) {
		RestoreHints(id, v[0], s->hints);
		RestoreTakeFocus(id, v[0], v[1], s->protocols);
	}
	for (int i = 0; i < count; i++)
		xcb_destroy_window(x11, shields[i]);
	if (v != NULL)
		xcb_delete_property(x11, id, x11Atoms[X11AtomSavedInput]);
}

/* Reads and changes the window inside a grab; moves the focus after. */
static BOOL SetEnabled(xcb_window_t id, BOOL enable)
{
	InputState s;
	BOOL wasDisabled;
	xcb_window_t shield = XCB_NONE;

	xcb_grab_server(x11);
	ReadInputState(id, &s);
	wasDisabled = SavedItems(&s) != NULL;
	if (s.tree != NULL && enable)
		Enable(id, &s);
	else if (s.tree != NULL)
		shield = Disable(id, &s);
	/* Sent with the next requests, a moment later: nothing waits between. */
	xcb_ungrab_server(x11);
	if (s.tree != NULL && enable && wasDisabled)
		FocusIfActive(id, &s, SavedItems(&s)[0]);
	else if (s.tree != NULL && !enable)
		DropFocus(id, shield);
	FreeInputState(&s);
	return wasDisabled;
}

/* Returns whether the window was disabled before, as Windows does. */
BOOL X11EnableWindow(HWND hWnd, DeskInput to)
{
	BOOL bEnable = to == DeskInputTaken;
	BOOL wasDisabled;

	if (!X11Alive() || hWnd == 0 || hWnd > UINT32_MAX)
		return FALSE;
	SettleManager((xcb_window_t)hWnd);
	wasDisabled = SetEnabled((xcb_window_t)hWnd, bEnable);
	X11AwaitProgram(X11Find((xcb_window_t)hWnd));
	return wasDisabled;
}

/* Disabled is what Enable=0 leaves: the saved-input property. FALSE, as on
 * Windows, also for a window that cannot be read. */
BOOL X11IsWindowEnabled(HWND hWnd)
{
	xcb_get_property_cookie_t cookie;
	xcb_get_property_reply_t *r;
	BOOL enabled;

	if (!X11Alive() || hWnd == 0 || hWnd > UINT32_MAX)
		return FALSE;
	cookie = xcb_get_property(x11, 0, (xcb_window_t)hWnd, x11Atoms[X11AtomSavedInput],
	                          XCB_ATOM_CARDINAL, 0, SavedLength);
	r = xcb_get_property_reply(x11, cookie, NULL);
	enabled = r != NULL && Items32(r, XCB_ATOM_CARDINAL) < SavedLength;
	free(r);
	return enabled;
}
