/*
 * Shields: what makes a disabled window swallow the clicks and keys that
 * land on it. A shield is an InputOnly child covering the window, above
 * its own children, that stops every input event in its do-not-propagate
 * mask: the event reaches neither the window's program nor, as it would
 * through an empty input region, the window behind.
 *
 * Shields must outlive wincue, so the connection that makes them (ours)
 * is retained by the server when it closes, and keeps a client slot until
 * someone kills it. A server has a few hundred slots, so each retained
 * connection also leaves an anchor: an unmapped window on the root, listed
 * in the root's _WINCUE_SHIELD_OWNERS, that lists the shields it made. A
 * later run kills the connection through its anchor once none of those
 * shields is left (their windows were enabled, or died).
 */
#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include "x11.h"

enum { MaxOwners = 1024, MaxShields = 4096 };

/* Shield state */
static xcb_window_t anchor;            /* ours, once we made a shield */
static xcb_window_t owners[MaxOwners]; /* anchors to keep listed */
static xcb_get_geometry_cookie_t checks[MaxShields];

static void AppendWindow(xcb_window_t on, xcb_atom_t property, xcb_window_t value)
{
	xcb_change_property(x11, XCB_PROP_MODE_APPEND, on, property, XCB_ATOM_WINDOW, 32, 1,
	                    &value);
}

/* From the first shield on, the server keeps what this connection made
 * when it closes. The anchor lists its shields before it is listed
 * itself, so a run reclaiming meanwhile never takes it for spent. */
static void MakeAnchor(void)
{
	uint32_t pid = (uint32_t)getpid();

	xcb_set_close_down_mode(x11, XCB_CLOSE_DOWN_RETAIN_PERMANENT);
	anchor = xcb_generate_id(x11);
	xcb_create_window(x11, 0, anchor, x11Root, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
	                  XCB_COPY_FROM_PARENT, 0, NULL);
	xcb_change_property(x11, XCB_PROP_MODE_REPLACE, anchor, x11Atoms[X11AtomNetWmPid],
	                    XCB_ATOM_CARDINAL, 32, 1, &pid);
}

xcb_window_t X11RaiseShield(xcb_window_t window)
{
	/* Every device event; the server allows no others in this mask. */
	const uint32_t swallowed = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE |
	                           XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
	                           XCB_EVENT_MASK_POINTER_MOTION | XCB_EVENT_MASK_BUTTON_MOTION |
	                           XCB_EVENT_MASK_BUTTON_1_MOTION | XCB_EVENT_MASK_BUTTON_2_MOTION |
	                           XCB_EVENT_MASK_BUTTON_3_MOTION | XCB_EVENT_MASK_BUTTON_4_MOTION |
	                           XCB_EVENT_MASK_BUTTON_5_MOTION;
	xcb_window_t shield;
	bool first = anchor == XCB_NONE;

	if (first)
		MakeAnchor();
	/* As large as a window can be: the window clips it to itself, so it
	 * needs no resizing when the window grows. */
	shield = xcb_generate_id(x11);
	xcb_create_window(x11, 0, shield, window, 0, 0, 32767, 32767, 0,
	                  XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_DONT_PROPAGATE,
	                  &swallowed);
	xcb_map_window(x11, shield);
	AppendWindow(anchor, x11Atoms[X11AtomShields], shield);
	if (first)
		AppendWindow(x11Root, x11Atoms[X11AtomShieldOwners], anchor);
	return shield;
}

bool X11IsShieldOf(xcb_window_t shield, xcb_window_t window)
{
	xcb_query_tree_reply_t *r;
	bool is;

	if (shield == XCB_NONE)
		return false;
	r = xcb_query_tree_reply(x11, xcb_query_tree(x11, shield), NULL);
	is = r != NULL && r->parent == window;
	free(r);
	return is;
}

/* Whether any shield the anchor lists still exists. A list too long to
 * read whole counts as live. */
static bool HasLiveShields(const xcb_get_property_reply_t *list)
{
	const xcb_window_t *shields = (const xcb_window_t *)xcb_get_property_value(list);
	int count = xcb_get_property_value_length(list) / 4;
	bool live = list->bytes_after > 0;

	for (int i = 0; i < count; i++)
		checks[i] = xcb_get_geometry(x11, shields[i]);
	for (int i = 0; i < count; i++) {
		xcb_get_geometry_reply_t *g = xcb_get_geometry_reply(x11, checks[i], NULL);
		live = live || g != NULL;
		free(g);
	}
	return live;
}

/* Whether the run that made the anchor still runs (on this machine: a
 * reused process id only keeps a slot a while longer). */
static bool OwnerRuns(const xcb_get_property_reply_t *pid)
{
	if (pid == NULL || pid->type != XCB_ATOM_CARDINAL || pid->format != 32 ||
	    xcb_get_property_value_length(pid) != 4)
		return false;
	return kill((pid_t) * (const uint32_t *)xcb_get_property_value(pid), 0) == 0 ||
	       errno == EPERM;
}

/* Kills the anchor's connection when its run has ended and its shields
 * are all gone. Returns whether the anchor stays listed: not when it is
 * gone, or is no longer ours (its id then belongs to another client,
 * which is left alone). */
static bool ReclaimOwner(xcb_window_t owner)
{
	xcb_get_property_cookie_t pidCookie =
	    xcb_get_property(x11, 0, owner, x11Atoms[X11AtomNetWmPid], XCB_ATOM_CARDINAL, 0, 1);
	xcb_get_property_reply_t *list =
	    xcb_get_property_reply(x11,
	                           xcb_get_property(x11, 0, owner, x11Atoms[X11AtomShields],
	                                            XCB_ATOM_WINDOW, 0, MaxShields),
	                           NULL);
	xcb_get_property_reply_t *pid = xcb_get_property_reply(x11, pidCookie, NULL);
	bool keep = false;

	if (list != NULL && list->type == XCB_ATOM_WINDOW && list->format == 32) {
		keep = OwnerRuns(pid) || HasLiveShields(list);
		if (!keep)
			xcb_kill_client(x11, owner);
	}
	free(list);
	free(pid);
	return keep;
}

/* The list is taken off the root and what stays is appended back, so
 * anchors that other runs list meanwhile are kept. */
void X11ReclaimShields(void)
{
	xcb_get_property_reply_t *r;
	int count, kept = 0;

	r = xcb_get_property_reply(x11,
	                           xcb_get_property(x11, 1, x11Root, x11Atoms[X11AtomShieldOwners],
	                                            XCB_ATOM_WINDOW, 0, MaxOwners),
	                           NULL);
	/* Not taken off when it was too long to read whole. */
	count = r != NULL && r->bytes_after == 0 && r->format == 32
	            ? xcb_get_property_value_length(r) / 4
	            : 0;
	for (int i = 0; i < count; i++) {
		xcb_window_t owner = ((const xcb_window_t *)xcb_get_property_value(r))[i];
		if (owner == anchor || ReclaimOwner(owner))
			owners[kept++] = owner;
	}
	free(r);
	if (kept > 0)
		xcb_change_property(x11, XCB_PROP_MODE_APPEND, x11Root,
		                    x11Atoms[X11AtomShieldOwners], XCB_ATOM_WINDOW, 32,
		                    (uint32_t)kept, owners);
}
