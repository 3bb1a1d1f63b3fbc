/*
 * Shields: what makes a disabled window swallow the clicks and keys that
 * land on it. A shield is an InputOnly child covering the window, above
 * its own children, that stops every input event in its do-not-propagate
 * mask: the event reaches neither the window's program nor, as it would
 * through an empty input region, the window behind. Each shield names the
 * window it covers in _WINCUE_SHIELD_OF, so that enabling finds every
 * shield of a window, whichever run made it.
 *
 * Shields must outlive wincue, so the connection that makes them (ours)
 * is retained by the server when it closes, and keeps a client slot until
 * someone kills it. A server has a few hundred slots, so each retained
 * connection also leaves an anchor: an unmapped window on the root, listed
 * in the root's _WINCUE_SHIELD_OWNERS, that lists the shields it made. A
 * later run kills the connection through its anchor once none of those
 * shields is left (their windows were enabled, or died) and its run has
 * ended. An anchor's process id means something only on the machine, and
 * in the PID namespace, of its run: each anchor is stamped with both, and
 * one from elsewhere is never taken for ended. Any program can list a
 * window on the root, so a window without the stamp is never killed.
 *
 * A run may be killed between any two requests, and the server carries
 * out what it had received: every sequence below is ordered so that each
 * of its beginnings leaves nothing that a later run cannot find and undo.
 */
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "x11.h"

enum { MaxOwners = 1024, MaxShields = 4096, MaxChildren = 1024, StampSize = 128 };

/* Shield state */
static xcb_window_t anchor;           /* ours, once we made a shield */
static xcb_window_t spent[MaxOwners]; /* anchors found spent, this run */
static xcb_get_geometry_cookie_t checks[MaxShields];
static xcb_get_property_cookie_t marks[MaxChildren];

/* Where this run's process ids mean what they say: "BOOT-ID pid:[INODE]",
 * the kernel's boot id and the PID namespace; empty when either cannot be
 * read, and then every other run counts as running elsewhere. */
static const char *OwnStamp(void)
{
	static char stamp[StampSize];
	static bool known;
	char boot[64] = "", ns[64];
	int fd;
	ssize_t n = -1, m;

	if (known)
		return stamp;
	known = true;
	fd = open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC);
	if (fd >= 0) {
		n = read(fd, boot, sizeof boot - 1);
		close(fd);
	}
	m = readlink("/proc/self/ns/pid", ns, sizeof ns - 1);
	if (n > 0 && m > 0) {
		boot[strcspn(boot, "\n")] = '\0';
		ns[m] = '\0';
		if (boot[0] != '\0')
			snprintf(stamp, sizeof stamp, "%s %s", boot, ns);
	}
	return stamp;
}

static void AppendWindow(xcb_window_t on, xcb_atom_t property, xcb_window_t value)
{
	xcb_change_property(x11, XCB_PROP_MODE_APPEND, on, property, XCB_ATOM_WINDOW, 32, 1,
	                    &value);
}

/* The anchor, with its stamp, its pid and an empty list of shields, is
 * listed on the root before the server is told to keep it: a run killed in
 * between leaves a listed anchor that the server destroys, or one that a
 * later run finds spent and kills. */
static void MakeAnchor(void)
{
	uint32_t pid = (uint32_t)getpid();
	const char *stamp = OwnStamp();

	anchor = xcb_generate_id(x11);
	xcb_create_window(x11, 0, anchor, x11Root, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
	                  XCB_COPY_FROM_PARENT, 0, NULL);
	xcb_change_property(x11, XCB_PROP_MODE_REPLACE, anchor, x11Atoms[X11AtomRunStamp],
	                    XCB_ATOM_STRING, 8, (uint32_t)strlen(stamp), stamp);
	xcb_change_property(x11, XCB_PROP_MODE_REPLACE, anchor, x11Atoms[X11AtomNetWmPid],
	                    XCB_ATOM_CARDINAL, 32, 1, &pid);
	xcb_change_property(x11, XCB_PROP_MODE_REPLACE, anchor, x11Atoms[X11AtomShields],
	                    XCB_ATOM_WINDOW, 32, 0, NULL);
	AppendWindow(x11Root, x11Atoms[X11AtomShieldOwners], anchor);
	xcb_set_close_down_mode(x11, XCB_CLOSE_DOWN_RETAIN_PERMANENT);
}

void X11RaiseShield(xcb_window_t window, xcb_window_t shield)
{
	/* Every device event; the server allows no others in this mask. */
	const uint32_t swallowed = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE |
	                           XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
	                           XCB_EVENT_MASK_POINTER_MOTION | XCB_EVENT_MASK_BUTTON_MOTION |
	                           XCB_EVENT_MASK_BUTTON_1_MOTION | XCB_EVENT_MASK_BUTTON_2_MOTION |
	                           XCB_EVENT_MASK_BUTTON_3_MOTION | XCB_EVENT_MASK_BUTTON_4_MOTION |
	                           XCB_EVENT_MASK_BUTTON_5_MOTION;

	if (anchor == XCB_NONE)
		MakeAnchor();
	/* Listed before it exists: a listed shield that never came to be
	 * is simply not live. */
	AppendWindow(anchor, x11Atoms[X11AtomShields], shield);
	/* As large as a window can be: the window clips it to itself, so it
	 * needs no resizing when the window grows. */
	xcb_create_window(x11, 0, shield, window, 0, 0, 32767, 32767, 0,
	                  XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_DONT_PROPAGATE,
	                  &swallowed);
	xcb_change_property(x11, XCB_PROP_MODE_REPLACE, shield, x11Atoms[X11AtomShieldOf],
	                    XCB_ATOM_WINDOW, 32, 1, &window);
	xcb_map_window(x11, shield);
}

bool X11HasChild(const xcb_query_tree_reply_t *tree, xcb_window_t child)
{
	const xcb_window_t *children = xcb_query_tree_children(tree);
	int count = xcb_query_tree_children_length(tree);

	for (int i = 0; child != XCB_NONE && i < count; i++)
		if (children[i] == child)
			return true;
	return false;
}

/* The saved shield needs no asking; the topmost MaxChildren of the other
 * children are asked for their mark (shields are made above the children
 * a window had). */
int X11ShieldsOf(xcb_window_t window, const xcb_query_tree_reply_t *tree, xcb_window_t saved,
                 xcb_window_t *shields, int max)
{
	const xcb_window_t *children = xcb_query_tree_children(tree);
	int count = xcb_query_tree_children_length(tree);
	int first = count > MaxChildren ? count - MaxChildren : 0;
	int found = 0;

	for (int i = first; i < count; i++)
		if (children[i] != saved)
			marks[i - first] = xcb_get_property(
			    x11, 0, children[i], x11Atoms[X11AtomShieldOf], XCB_ATOM_WINDOW, 0, 1);
	for (int i = first; i < count; i++) {
		xcb_get_property_reply_t *r = NULL;
		int n = 0;
		const uint32_t *v = NULL;
		if (children[i] != saved) {
			r = xcb_get_property_reply(x11, marks[i - first], NULL);
			v = X11Items32(r, XCB_ATOM_WINDOW, &n);
		}
		if (found < max && (children[i] == saved || (n == 1 && v[0] == window)))
			shields[found++] = children[i];
		free(r);
	}
	return found;
}

/* -- freeing the slots of spent runs ------------------------------------ */

/* Whether any shield the anchor lists still exists. A list too long to
 * read whole counts as live. */
static bool HasLiveShields(const xcb_get_property_reply_t *list)
{
	int count;
	const uint32_t *shields = X11Items32(list, XCB_ATOM_WINDOW, &count);
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

/* Whether a stamp is a run's of this machine and PID namespace. */
static bool StampedHere(const xcb_get_property_reply_t *stamp)
{
	const char *own = OwnStamp();
	int length = xcb_get_property_value_length(stamp);

	return own[0] != '\0' && length == (int)strlen(own) &&
	       memcmp(xcb_get_property_value(stamp), own, (size_t)length) == 0;
}

/* Whether the run that made the anchor still runs: one stamped elsewhere
 * does, for all this run can tell (a reused process id only keeps a slot a
 * while longer). */
static bool OwnerRuns(const xcb_get_property_reply_t *stamp, const xcb_get_property_reply_t *pid)
{
	int count;
	const uint32_t *v = X11Items32(pid, XCB_ATOM_CARDINAL, &count);

	if (!StampedHere(stamp))
		return true;
	return count == 1 && (kill((pid_t)v[0], 0) == 0 || errno == EPERM);
}

/* Whether the anchor is spent: gone, or not ours (no stamp: its id then
 * belongs to another client, which is left alone), or its run has ended
 * and its shields are all gone, when its connection is killed. */
static bool IsSpent(xcb_window_t owner)
{
	xcb_get_property_cookie_t stampCookie = xcb_get_property(
	    x11, 0, owner, x11Atoms[X11AtomRunStamp], XCB_ATOM_STRING, 0, StampSize / 4);
	xcb_get_property_cookie_t pidCookie =
	    xcb_get_property(x11, 0, owner, x11Atoms[X11AtomNetWmPid], XCB_ATOM_CARDINAL, 0, 1);
	xcb_get_property_reply_t *list =
	    xcb_get_property_reply(x11,
	                           xcb_get_property(x11, 0, owner, x11Atoms[X11AtomShields],
	                                            XCB_ATOM_WINDOW, 0, MaxShields),
	                           NULL);
	xcb_get_property_reply_t *stamp = xcb_get_property_reply(x11, stampCookie, NULL);
	xcb_get_property_reply_t *pid = xcb_get_property_reply(x11, pidCookie, NULL);
	bool ours = list != NULL && list->type == XCB_ATOM_WINDOW && list->format == 32 &&
	            stamp != NULL && stamp->type == XCB_ATOM_STRING && stamp->format == 8 &&
	            xcb_get_property_value_length(stamp) > 0;
	bool keep = ours && (OwnerRuns(stamp, pid) || HasLiveShields(list));

	if (ours && !keep)
		xcb_kill_client(x11, owner);
	free(list);
	free(stamp);
	free(pid);
	return !keep;
}

static bool IsListed(xcb_window_t owner, const xcb_window_t *list, int count)
{
	for (int i = 0; i < count; i++)
		if (list[i] == owner)
			return true;
	return false;
}

/* Takes the spent anchors off the root's list, and nothing else: inside
 * a grab, so that no anchor another run lists meanwhile is lost. The
 * connections were killed before, so a run killed here leaves spent
 * anchors listed, for the next run to take off. */
static void Unlist(int count)
{
	xcb_get_property_reply_t *r;
	uint32_t *owners;
	int length, kept = 0;

	xcb_grab_server(x11);
	r = xcb_get_property_reply(x11,
	                           xcb_get_property(x11, 0, x11Root, x11Atoms[X11AtomShieldOwners],
	                                            XCB_ATOM_WINDOW, 0, X11ListLength),
	                           NULL);
	owners = (uint32_t *)X11Items32(r, XCB_ATOM_WINDOW, &length);
	if (owners != NULL && r->bytes_after == 0) {
		for (int i = 0; i < length; i++)
			if (!IsListed(owners[i], spent, count))
				owners[kept++] = owners[i];
		xcb_change_property(x11, XCB_PROP_MODE_REPLACE, x11Root,
		                    x11Atoms[X11AtomShieldOwners], XCB_ATOM_WINDOW, 32,
		                    (uint32_t)kept, owners);
	}
	xcb_ungrab_server(x11);
	xcb_flush(x11);
	free(r);
}

void X11ReclaimShields(void)
{
	xcb_get_property_reply_t *r;
	const uint32_t *owners;
	int count, found = 0;

	r = xcb_get_property_reply(x11,
	                           xcb_get_property(x11, 0, x11Root, x11Atoms[X11AtomShieldOwners],
	                                            XCB_ATOM_WINDOW, 0, MaxOwners),
	                           NULL);
	owners = X11Items32(r, XCB_ATOM_WINDOW, &count);
	for (int i = 0; i < count; i++)
		if (owners[i] != anchor && IsSpent(owners[i]))
			spent[found++] = owners[i];
	free(r);
	if (found > 0)
		Unlist(found);
}
