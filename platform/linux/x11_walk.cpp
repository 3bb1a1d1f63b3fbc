/*
 * The first walk over the desktop, when the display is first used: it
 * tracks every child of the root and finds the clients that window
 * managers hold in frames. From then on events keep the cache current.
 */
#include <stdlib.h>
#include <string.h>

#include "x11.h"

static bool displayTried; /* the display is opened once per process */

/* Looking inside root children for the clients their frames hold:
 * breadth first, a whole level at a time, stopping below a root child at
 * the first level holding a client. Each level is one batch of requests. */
enum { MaxSearch = 16384 };
static xcb_window_t levelWindows[MaxSearch], nextWindows[MaxSearch];
static int levelOwners[MaxSearch], nextOwners[MaxSearch]; /* root child slots */
static xcb_query_tree_cookie_t treeCookies[MaxSearch];
static xcb_get_property_cookie_t stateCookies[MaxSearch];
static bool stateAsked[MaxSearch];
static bool ownerFound[X11MaxWindows];            /* a client was found below the root child */
static xcb_window_t listedClients[X11MaxWindows]; /* _NET_CLIENT_LIST, sorted */
static int listedCount;

static int CompareWindows(const void *a, const void *b)
{
	xcb_window_t x = *(const xcb_window_t *)a;
	xcb_window_t y = *(const xcb_window_t *)b;

	return x < y ? -1 : x > y;
}

/* The manager's own list of clients spares asking each of a frame's many
 * subwindows for WM_STATE. */
static void ReadClientList(xcb_get_property_cookie_t cookie)
{
	xcb_get_property_reply_t *r = xcb_get_property_reply(x11, cookie, NULL);

	listedCount = 0;
	if (r != NULL && r->type == XCB_ATOM_WINDOW && r->format == 32) {
		listedCount = xcb_get_property_value_length(r) / 4;
		if (listedCount > X11MaxWindows)
			listedCount = X11MaxWindows;
		memcpy(listedClients, xcb_get_property_value(r),
		       sizeof(xcb_window_t) * (size_t)listedCount);
		qsort(listedClients, (size_t)listedCount, sizeof listedClients[0], CompareWindows);
	}
	free(r);
}

static bool IsListedClient(xcb_window_t id)
{
	return bsearch(&id, listedClients, (size_t)listedCount, sizeof id, CompareWindows) != NULL;
}

static void AdoptClient(xcb_window_t id, int ownerSlot)
{
	X11Window *w = X11Track(id);

	if (w == NULL)
		return;
	w->framed = true;
	w->frame = x11Windows[ownerSlot].id;
	w->frameSlot = ownerSlot;
	ownerFound[ownerSlot] = true;
}

/* Lists the children of the level's windows; returns their count. */
static int ListNextLevel(int count)
{
	int next = 0;

	for (int i = 0; i < count; i++)
		treeCookies[i] = xcb_query_tree(x11, levelWindows[i]);
	for (int i = 0; i < count; i++) {
		xcb_query_tree_reply_t *r = xcb_query_tree_reply(x11, treeCookies[i], NULL);
		if (r == NULL)
			continue;
		xcb_window_t *children = xcb_query_tree_children(r);
		int length = xcb_query_tree_children_length(r);
		for (int k = 0; k < length && next < MaxSearch; k++) {
			nextWindows[next] = children[k];
			nextOwners[next] = levelOwners[i];
			next++;
		}
		free(r);
	}
	return next;
}

/* Finds the clients on the level just listed; keeps for the next level
 * the windows below root children still without one. */
static int SearchLevel(int count)
{
	int kept = 0;

	for (int j = 0; j < count; j++)
		if (IsListedClient(nextWindows[j]))
			AdoptClient(nextWindows[j], nextOwners[j]);
	for (int j = 0; j < count; j++) {
		stateAsked[j] = !ownerFound[nextOwners[j]];
		if (stateAsked[j])
			stateCookies[j] =
			    xcb_get_property(x11, 0, nextWindows[j], x11Atoms[X11AtomWmState],
			                     x11Atoms[X11AtomWmState], 0, 0);
	}
	for (int j = 0; j < count && X11Alive(); j++) {
		if (!stateAsked[j])
			continue;
		xcb_get_property_reply_t *r = xcb_get_property_reply(x11, stateCookies[j], NULL);
		if (r != NULL && r->type != XCB_NONE)
			AdoptClient(nextWindows[j], nextOwners[j]);
		free(r);
	}
	for (int j = 0; j < count; j++) {
		if (ownerFound[nextOwners[j]])
			continue;
		levelWindows[kept] = nextWindows[j];
		levelOwners[kept] = nextOwners[j];
		kept++;
	}
	return kept;
}

static void FindFramedClients(void)
{
	int count = 0;

	memset(ownerFound, 0, sizeof ownerFound);
	for (int i = 0; i < x11WindowCount && count < MaxSearch; i++) {
		const X11Window *w = &x11Windows[i];
		/* A frame has no WM_STATE; it may be override-redirect, as
		 * some managers make theirs to keep them out of their own way. */
		if (w->id != 0 && !w->framed && w->state == X11StateNone) {
			levelWindows[count] = w->id;
			levelOwners[count] = i;
			count++;
		}
	}
	while (count > 0 && X11Alive())
		count = SearchLevel(ListNextLevel(count));
}

static void BuildCache(void)
{
	const uint32_t rootEvents = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
	xcb_query_tree_cookie_t treeCookie;
	xcb_get_property_cookie_t listCookie;
	xcb_query_tree_reply_t *tree;

	xcb_change_window_attributes(x11, x11Root, XCB_CW_EVENT_MASK, &rootEvents);
	treeCookie = xcb_query_tree(x11, x11Root);
	listCookie = xcb_get_property(x11, 0, x11Root, x11Atoms[X11AtomNetClientList],
	                              XCB_ATOM_WINDOW, 0, X11MaxWindows);
	tree = xcb_query_tree_reply(x11, treeCookie, NULL);
	if (tree != NULL) {
		xcb_window_t *children = xcb_query_tree_children(tree);
		int length = xcb_query_tree_children_length(tree);
		for (int i = 0; i < length; i++)
			X11Track(children[i]);
	}
	free(tree);
	ReadClientList(listCookie);
	X11Update();
	FindFramedClients();
	X11Update();
}

bool X11Ready(void)
{
	if (!displayTried) {
		displayTried = true;
		if (X11Connect())
			BuildCache();
	}
	return X11Alive();
}
