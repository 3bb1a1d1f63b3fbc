/*
 * The first walk over the desktop, when the display is first used: it
 * tracks every child of the root and finds the clients that window
 * managers hold in frames. From then on events keep the cache current.
 * Every run that opens the display also frees the slots that earlier runs
 * kept for shields no longer there.
 */
#include <stdlib.h>
#include <string.h>

#include "x11.h"

static bool displayTried; /* the display is opened once per process */

/* Looking inside root children for the clients their frames hold:
 * breadth first, a whole level at a time, stopping below a root child at
 * the first level holding a client. Each level is one batch of requests.
 * The lists live for the walk only. */
struct Searched {
	xcb_window_t id;
	int owner; /* the slot of the root child it lies below */
	bool stateAsked;
	xcb_query_tree_cookie_t tree;
	xcb_get_property_cookie_t state;
};
static Searched *level, *next;
static int levelCapacity, nextCapacity;
static bool *ownerFound; /* by slot: a client was found below the root child */
static xcb_get_property_reply_t *clientList;
static xcb_window_t *listedClients; /* _NET_CLIENT_LIST, sorted in its reply */
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

	clientList = r;
	listedCount = 0;
	if (r != NULL && r->type == XCB_ATOM_WINDOW && r->format == 32) {
		listedClients = (xcb_window_t *)xcb_get_property_value(r);
		listedCount = xcb_get_property_value_length(r) / 4;
		qsort(listedClients, (size_t)listedCount, sizeof listedClients[0], CompareWindows);
	}
}

static bool IsListedClient(xcb_window_t id)
{
	return listedCount > 0 &&
	       bsearch(&id, listedClients, (size_t)listedCount, sizeof id, CompareWindows) != NULL;
}

static void AdoptClient(xcb_window_t id, int ownerSlot)
{
	X11Window *w = X11Track(id);

	if (w == NULL)
		return;
	w->framed = true;
	w->frame = (xcb_window_t)X11At(ownerSlot)->desk.id;
	w->frameSlot = ownerSlot;
	ownerFound[ownerSlot] = true;
}

/* Lists the children of the level's windows; returns their count. Only
 * when memory runs out are some left unlisted. */
static int ListNextLevel(int count)
{
	int listed = 0;

	for (int i = 0; i < count; i++)
		level[i].tree = xcb_query_tree(x11, level[i].id);
	for (int i = 0; i < count; i++) {
		xcb_query_tree_reply_t *r = xcb_query_tree_reply(x11, level[i].tree, NULL);
		if (r == NULL)
			continue;
		xcb_window_t *children = xcb_query_tree_children(r);
		int length = xcb_query_tree_children_length(r);
		Searched *grown =
		    (Searched *)X11Grow(next, &nextCapacity, listed + length, sizeof *next);
		if (grown != NULL) {
			next = grown;
			for (int k = 0; k < length; k++) {
				next[listed].id = children[k];
				next[listed].owner = level[i].owner;
				listed++;
			}
		}
		free(r);
	}
	return listed;
}

/* Finds the clients on the level just listed; keeps for the next level
 * the windows below root children still without one. */
static int SearchLevel(int count)
{
	const uint32_t watch = XCB_EVENT_MASK_PROPERTY_CHANGE;
	int kept = 0;
	Searched *swap;
	int swapCapacity;

	for (int j = 0; j < count; j++)
		if (IsListedClient(next[j].id))
			AdoptClient(next[j].id, next[j].owner);
	for (int j = 0; j < count; j++) {
		next[j].stateAsked = !ownerFound[next[j].owner];
		if (!next[j].stateAsked)
			continue;
		/* A manager may be taking the client in right now: its WM_STATE
		 * comes later, and says so (x11.cpp adopts it then). One tracked
		 * already, a root child framed since the walk began, keeps all
		 * its events: with only this one its maps would go unheard. */
		if (X11Find(next[j].id) == NULL)
			xcb_change_window_attributes(x11, next[j].id, XCB_CW_EVENT_MASK, &watch);
		next[j].state = xcb_get_property(x11, 0, next[j].id, x11Atoms[X11AtomWmState],
		                                 x11Atoms[X11AtomWmState], 0, 0);
	}
	for (int j = 0; j < count && X11Alive(); j++) {
		if (!next[j].stateAsked)
			continue;
		xcb_get_property_reply_t *r = xcb_get_property_reply(x11, next[j].state, NULL);
		if (r != NULL && r->type != XCB_NONE)
			AdoptClient(next[j].id, next[j].owner);
		free(r);
	}
	for (int j = 0; j < count; j++)
		if (!ownerFound[next[j].owner])
			next[kept++] = next[j];
	/* What is kept is the next level. */
	swap = level, level = next, next = swap;
	swapCapacity = levelCapacity, levelCapacity = nextCapacity, nextCapacity = swapCapacity;
	return kept;
}

/* Searches below every root child that may be a frame. */
static void SearchFrames(int roots)
{
	int count = 0;

	level = (Searched *)X11Grow(level, &levelCapacity, roots, sizeof *level);
	ownerFound = (bool *)calloc((size_t)roots + 1, sizeof *ownerFound);
	if (level == NULL || ownerFound == NULL)
		return; /* out of memory: no framed clients known until they change */
	for (int i = 0; i < roots; i++) {
		const X11Window *w = X11At(i);
		/* A frame has no WM_STATE; it may be override-redirect, as
		 * some managers make theirs to keep them out of their own way. */
		if (w->desk.id != 0 && !w->framed && w->state == X11StateNone) {
			level[count].id = (xcb_window_t)w->desk.id;
			level[count].owner = i;
			count++;
		}
	}
	while (count > 0 && X11Alive())
		count = SearchLevel(ListNextLevel(count));
}

static void FindFramedClients(void)
{
	SearchFrames(x11Cache.count);
	free(level);
	free(next);
	free(ownerFound);
	free(clientList);
	level = next = NULL;
	levelCapacity = nextCapacity = 0;
	ownerFound = NULL;
	clientList = NULL;
	listedCount = 0;
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
	                              XCB_ATOM_WINDOW, 0, X11ListLength);
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
		if (X11Connect()) {
			BuildCache();
			X11ReclaimShields();
		}
	}
	return X11Alive();
}
