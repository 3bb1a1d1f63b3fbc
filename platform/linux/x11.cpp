/*
 * The top-level windows of an X11 desktop, as EnumWindows visits them.
 *
 * ICCCM: a client's top-level window is a child of the root, or was one
 * before the window manager put it in a frame; the manager marks the
 * clients it holds with WM_STATE. So the cache tracks every child of the
 * root and every client found in a frame. Events keep it current: the root
 * reports its children being created, destroyed, mapped and reparented;
 * each tracked window reports its own structure and property changes.
 * Event masks are always selected before anything is read, so no change
 * falls between a read and its notification.
 */
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "../winapi.h"
#include "x11.h"

/* X11 state */
xcb_connection_t *x11;
xcb_window_t x11Root;
xcb_atom_t x11Atoms[AtomCount];
bool x11Managed;
bool x11InPass;
TrackedWindow trackedWindows[MaxWindows];

static int slotCount;     /* every tracked window lies below this slot */
static int lookupHint;    /* slot of the last window looked up */
static bool displayTried; /* the display is opened once per process */

static HWND visitIds[MaxWindows];  /* the windows of the current pass */
static int visitSlots[MaxWindows]; /* and their slots, for quick lookups */

static const char *const atomNames[AtomCount] = {
    "WM_STATE",
    "_NET_WM_NAME",
    "UTF8_STRING",
    "COMPOUND_TEXT",
    "WM_PROTOCOLS",
    "WM_TAKE_FOCUS",
    "_NET_CLIENT_LIST",
    "_NET_CLIENT_LIST_STACKING",
    "_NET_ACTIVE_WINDOW",
    "_NET_SUPPORTING_WM_CHECK",
    "_WINCUE_SAVED_INPUT",
};

static const uint32_t RootEvents = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
static const uint32_t WindowEvents =
    XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;

uint64_t MonotonicMs(void)
{
	struct timespec now;

	clock_gettime(CLOCK_MONOTONIC, &now);
	return (uint64_t)now.tv_sec * 1000 + (uint64_t)now.tv_nsec / 1000000;
}

/* One line on standard error, the first time only: standard output
 * carries the script's lines and nothing else. */
static void ReportOnce(const char *problem, const char *display)
{
	static bool reported;

	if (reported)
		return;
	reported = true;
	fprintf(stderr, "wincue: %s \"%s\"; going on as a desktop with no windows\n", problem,
	        display ? display : "");
}

/* A desktop with no windows from now on. The broken connection is kept:
 * xcb answers every call on it at once, with nothing, so whatever was
 * under way when the server went runs on safely to its end. */
static void DropDisplay(void)
{
	ReportOnce("lost the X display", getenv("DISPLAY"));
	memset(trackedWindows, 0, sizeof trackedWindows[0] * (size_t)slotCount);
	slotCount = 0;
}

static bool Alive(void)
{
	if (x11 == NULL)
		return false;
	if (xcb_connection_has_error(x11)) {
		DropDisplay();
		return false;
	}
	return true;
}

/* True when the error says the window no longer exists; frees it. */
static bool IsGone(xcb_generic_error_t *error)
{
	bool gone = error != NULL && error->error_code == XCB_WINDOW;

	free(error);
	return gone;
}

TrackedWindow *FindTracked(xcb_window_t id)
{
	if (id == 0)
		return NULL;
	if (lookupHint < slotCount && trackedWindows[lookupHint].id == id)
		return &trackedWindows[lookupHint];
	for (int i = 0; i < slotCount; i++) {
		if (trackedWindows[i].id == id) {
			lookupHint = i;
			return &trackedWindows[i];
		}
	}
	return NULL;
}

TrackedWindow *FrameOf(const TrackedWindow *window)
{
	if (!window->framed || window->frame == 0)
		return NULL;
	if (window->frameSlot >= 0 && window->frameSlot < slotCount &&
	    trackedWindows[window->frameSlot].id == window->frame)
		return &trackedWindows[window->frameSlot];
	return FindTracked(window->frame);
}

/* Starts tracking a window (or returns it if tracked already); NULL when
 * the table is full. Its events are selected before its reads are sent. */
static TrackedWindow *AddTracked(xcb_window_t id)
{
	TrackedWindow *w = FindTracked(id);
	int slot = 0;

	if (w != NULL)
		return w;
	while (slot < slotCount && trackedWindows[slot].id != 0)
		slot++;
	if (slot == MaxWindows)
		return NULL;
	if (slot == slotCount)
		slotCount++;
	w = &trackedWindows[slot];
	memset(w, 0, sizeof *w);
	w->id = id;
	w->state = StateNone;
	w->frameSlot = -1;
	w->stale = StaleAll;
	xcb_change_window_attributes(x11, id, XCB_CW_EVENT_MASK, &WindowEvents);
	return w;
}

static void RemoveTracked(TrackedWindow *w)
{
	w->id = 0;
	while (slotCount > 0 && trackedWindows[slotCount - 1].id == 0)
		slotCount--;
}

/* Records that w now lives below parent, and which root child holds it. */
static void PlaceBelow(TrackedWindow *w, xcb_window_t parent)
{
	TrackedWindow *p = FindTracked(parent);

	w->framed = true;
	w->probe = 0;
	w->stale &= ~StaleProbe;
	/* A manager's frame is a root child without WM_STATE; anything else
	 * tracked is a client, which this window now lives in. */
	w->embedded = p != NULL && (p->framed || p->state != StateNone);
	if (p != NULL && !p->framed) {
		w->frame = parent;
		w->frameSlot = (int)(p - trackedWindows);
	} else if (p != NULL && p->frame != 0) {
		w->frame = p->frame;
		w->frameSlot = p->frameSlot;
	} else {
		/* Deeper in a frame: trace it up, one level per round trip. */
		w->frame = 0;
		w->probe = parent;
		w->stale |= StaleProbe;
	}
}

static void PlaceAtRoot(TrackedWindow *w)
{
	w->framed = false;
	w->embedded = false;
	w->frame = 0;
	w->probe = 0;
	w->stale &= ~StaleProbe;
}

/* -- events ------------------------------------------------------------ */

static void OnCreate(const xcb_create_notify_event_t *e)
{
	TrackedWindow *w;

	if (e->parent != x11Root)
		return;
	w = AddTracked(e->window);
	if (w != NULL && (w->stale & StaleAttributes)) {
		w->overrideRedirect = e->override_redirect;
		w->stale &= ~StaleAttributes; /* a new window is unmapped */
	}
}

static void OnDestroy(const xcb_destroy_notify_event_t *e)
{
	TrackedWindow *w = FindTracked(e->window);

	if (w != NULL)
		RemoveTracked(w);
}

static void OnMap(const xcb_map_notify_event_t *e)
{
	TrackedWindow *w = FindTracked(e->window);

	if (w != NULL) {
		w->mapped = true;
		w->overrideRedirect = e->override_redirect;
	}
}

static void OnUnmap(const xcb_unmap_notify_event_t *e)
{
	TrackedWindow *w = FindTracked(e->window);

	if (w != NULL)
		w->mapped = false;
}

static void OnReparent(const xcb_reparent_notify_event_t *e)
{
	TrackedWindow *w = FindTracked(e->window);

	if (e->parent == x11Root) {
		if (w == NULL)
			w = AddTracked(e->window);
		if (w != NULL)
			PlaceAtRoot(w);
	} else if (w != NULL) {
		PlaceBelow(w, e->parent);
	}
	if (w != NULL)
		w->overrideRedirect = e->override_redirect;
}

static void OnProperty(const xcb_property_notify_event_t *e)
{
	TrackedWindow *w = FindTracked(e->window);
	bool deleted = e->state == XCB_PROPERTY_DELETE;

	if (w == NULL)
		return;
	if (e->atom == x11Atoms[AtomWmState]) {
		if (deleted)
			w->state = StateNone;
		else
			w->stale |= StaleState;
	} else if (e->atom == XCB_ATOM_WM_NAME || e->atom == x11Atoms[AtomNetWmName]) {
		w->stale |= StaleTitle;
	} else if (e->atom == XCB_ATOM_WM_CLASS) {
		w->stale |= StaleClass;
	} else if (e->atom == x11Atoms[AtomSavedInput]) {
		w->disabled = !deleted;
	}
}

/* Requests on a window that has just gone fail; that is how some
 * disappearances show. Every other error is of no consequence here. */
static void OnError(const xcb_generic_error_t *e)
{
	TrackedWindow *w;

	if (e->error_code != XCB_WINDOW)
		return;
	w = FindTracked(e->resource_id);
	if (w != NULL)
		RemoveTracked(w);
}

static void HandleEvent(const xcb_generic_event_t *e)
{
	if (e->response_type == 0) {
		OnError((const xcb_generic_error_t *)e);
		return;
	}
	/* A sent event is another client's claim, not the server's word. */
	if (e->response_type & 0x80)
		return;
	switch (e->response_type) {
	case XCB_CREATE_NOTIFY:
		OnCreate((const xcb_create_notify_event_t *)e);
		break;
	case XCB_DESTROY_NOTIFY:
		OnDestroy((const xcb_destroy_notify_event_t *)e);
		break;
	case XCB_MAP_NOTIFY:
		OnMap((const xcb_map_notify_event_t *)e);
		break;
	case XCB_UNMAP_NOTIFY:
		OnUnmap((const xcb_unmap_notify_event_t *)e);
		break;
	case XCB_REPARENT_NOTIFY:
		OnReparent((const xcb_reparent_notify_event_t *)e);
		break;
	case XCB_PROPERTY_NOTIFY:
		OnProperty((const xcb_property_notify_event_t *)e);
		break;
	}
}

/* Handles every event that has arrived, reading the socket too unless
 * queued is set; returns how many. */
static int DrainEvents(bool queued)
{
	xcb_generic_event_t *e;
	int count = 0;

	while (Alive() &&
	       (e = queued ? xcb_poll_for_queued_event(x11) : xcb_poll_for_event(x11)) != NULL) {
		HandleEvent(e);
		free(e);
		count++;
	}
	return count;
}

/* -- reading properties ------------------------------------------------ */

static void AskStale(TrackedWindow *w)
{
	unsigned stale = w->stale;
	xcb_window_t id = w->id;

	if (stale & StaleAttributes)
		w->attributesCookie = xcb_get_window_attributes(x11, id);
	if (stale & StaleState)
		w->stateCookie = xcb_get_property(x11, 0, id, x11Atoms[AtomWmState],
		                                  x11Atoms[AtomWmState], 0, 1);
	if (stale & StaleTitle) {
		/* 64 units of 4 bytes: more than the 254 bytes a title keeps */
		w->netNameCookie = xcb_get_property(x11, 0, id, x11Atoms[AtomNetWmName],
		                                    XCB_GET_PROPERTY_TYPE_ANY, 0, 64);
		w->nameCookie = xcb_get_property(x11, 0, id, XCB_ATOM_WM_NAME,
		                                 XCB_GET_PROPERTY_TYPE_ANY, 0, 64);
	}
	if (stale & StaleClass)
		w->classCookie =
		    xcb_get_property(x11, 0, id, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256);
	if (stale & StaleSaved)
		w->savedCookie = xcb_get_property(x11, 0, id, x11Atoms[AtomSavedInput],
		                                  XCB_GET_PROPERTY_TYPE_ANY, 0, 0);
	if (stale & StaleProbe)
		w->probeCookie = xcb_query_tree(x11, w->probe);
	w->asked = stale;
	w->stale = 0;
}

static enum TextEncoding EncodingOf(xcb_atom_t type)
{
	if (type == x11Atoms[AtomUtf8String])
		return TextUtf8;
	if (type == x11Atoms[AtomCompoundText])
		return TextCompound;
	return TextLatin1;
}

static bool HasText(const xcb_get_property_reply_t *r)
{
	return r != NULL && r->type != XCB_NONE && r->format == 8;
}

/* _NET_WM_NAME when present, else WM_NAME. */
static void ReadTitle(TrackedWindow *w, xcb_get_property_reply_t *net,
                      xcb_get_property_reply_t *name)
{
	if (HasText(net))
		DecodeText(TextUtf8, (const char *)xcb_get_property_value(net),
		           xcb_get_property_value_length(net), w->title, TextSize);
	else if (HasText(name))
		DecodeText(EncodingOf(name->type), (const char *)xcb_get_property_value(name),
		           xcb_get_property_value_length(name), w->title, TextSize);
	else
		w->title[0] = '\0';
}

/* WM_CLASS holds the instance name, then the class name. */
static void ReadClass(TrackedWindow *w, xcb_get_property_reply_t *r)
{
	const char *value;
	const char *end;
	const char *instanceEnd;

	w->className[0] = '\0';
	if (!HasText(r))
		return;
	value = (const char *)xcb_get_property_value(r);
	end = value + xcb_get_property_value_length(r);
	instanceEnd = (const char *)memchr(value, '\0', (size_t)(end - value));
	if (instanceEnd != NULL)
		DecodeText(TextLatin1, instanceEnd + 1, (int)(end - instanceEnd - 1), w->className,
		           TextSize);
}

static void ReadState(TrackedWindow *w, xcb_get_property_reply_t *r)
{
	w->state = StateNone;
	if (r != NULL && r->type == x11Atoms[AtomWmState] && r->format == 32 &&
	    xcb_get_property_value_length(r) >= 4)
		w->state = (int)*(const uint32_t *)xcb_get_property_value(r);
}

static void ReadProbe(TrackedWindow *w, xcb_query_tree_reply_t *r)
{
	xcb_window_t probe = w->probe;

	if (r == NULL) { /* the frame went meanwhile; a new place is on its way */
		w->probe = 0;
		return;
	}
	if (r->parent == x11Root) {
		TrackedWindow *frame = FindTracked(probe);
		w->frame = probe;
		w->frameSlot = frame != NULL ? (int)(frame - trackedWindows) : -1;
		w->probe = 0;
	} else {
		PlaceBelow(w, r->parent);
	}
}

/* Reads every answer asked for; false when the window has gone. */
static bool ReadAnswers(TrackedWindow *w)
{
	unsigned asked = w->asked;
	xcb_generic_error_t *error = NULL;
	bool gone = false;

	w->asked = 0;
	if (asked & StaleAttributes) {
		xcb_get_window_attributes_reply_t *r =
		    xcb_get_window_attributes_reply(x11, w->attributesCookie, &error);
		if (r != NULL) {
			w->overrideRedirect = r->override_redirect;
			w->mapped = r->map_state != XCB_MAP_STATE_UNMAPPED;
		}
		free(r);
		gone |= IsGone(error);
	}
	if (asked & StaleState) {
		xcb_get_property_reply_t *r = xcb_get_property_reply(x11, w->stateCookie, &error);
		ReadState(w, r);
		free(r);
		gone |= IsGone(error);
	}
	if (asked & StaleTitle) {
		xcb_get_property_reply_t *net =
		    xcb_get_property_reply(x11, w->netNameCookie, &error);
		gone |= IsGone(error);
		xcb_get_property_reply_t *name = xcb_get_property_reply(x11, w->nameCookie, &error);
		gone |= IsGone(error);
		ReadTitle(w, net, name);
		free(net);
		free(name);
	}
	if (asked & StaleClass) {
		xcb_get_property_reply_t *r = xcb_get_property_reply(x11, w->classCookie, &error);
		ReadClass(w, r);
		free(r);
		gone |= IsGone(error);
	}
	if (asked & StaleSaved) {
		xcb_get_property_reply_t *r = xcb_get_property_reply(x11, w->savedCookie, &error);
		w->disabled = r != NULL && r->type != XCB_NONE;
		free(r);
		gone |= IsGone(error);
	}
	if (asked & StaleProbe) {
		xcb_query_tree_reply_t *r = xcb_query_tree_reply(x11, w->probeCookie, &error);
		ReadProbe(w, r);
		free(r);
		free(error);
	}
	return !gone;
}

/* Sends the reads of every changed window; returns how many. */
static int AskAllStale(void)
{
	int asked = 0;

	for (int i = 0; i < slotCount; i++) {
		if (trackedWindows[i].id != 0 && trackedWindows[i].stale != 0) {
			AskStale(&trackedWindows[i]);
			asked++;
		}
	}
	return asked;
}

static void ReadAllAnswers(void)
{
	for (int i = 0; i < slotCount && Alive(); i++) {
		TrackedWindow *w = &trackedWindows[i];
		if (w->id != 0 && w->asked != 0 && !ReadAnswers(w))
			RemoveTracked(w);
	}
}

/* One batch, one round trip: what has come in by now, and what it makes
 * stale. Changes that arrive meanwhile wait for the next call, so a busy
 * manager cannot keep a pass going. */
void X11Update(void)
{
	DrainEvents(true);
	if (Alive() && AskAllStale() > 0)
		ReadAllAnswers();
}

bool X11Sync(void)
{
	xcb_get_window_attributes_cookie_t cookie;
	xcb_get_window_attributes_reply_t *r;

	if (!Alive())
		return false;
	/* What has arrived already is read in the same round trip. */
	DrainEvents(false);
	AskAllStale();
	/* The root's attributes answer two things: every event sent before
	 * them has now arrived, and whether a manager redirects the root. */
	cookie = xcb_get_window_attributes(x11, x11Root);
	ReadAllAnswers();
	r = xcb_get_window_attributes_reply(x11, cookie, NULL);
	if (r != NULL)
		x11Managed = (r->all_event_masks & XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT) != 0;
	free(r);
	X11Update();
	return Alive();
}

void X11WaitEvent(uint64_t deadline)
{
	struct pollfd fd;
	uint64_t now;

	if (!Alive())
		return;
	xcb_flush(x11);
	if (DrainEvents(false) > 0)
		return;
	now = MonotonicMs();
	if (now >= deadline || !Alive())
		return;
	fd.fd = xcb_get_file_descriptor(x11);
	fd.events = POLLIN;
	fd.revents = 0;
	poll(&fd, 1, (int)(deadline - now));
	DrainEvents(false);
}

/* -- the first pass ---------------------------------------------------- */

/* Looking inside root children for the clients their frames hold:
 * breadth first, a whole level at a time, stopping below a root child at
 * the first level holding a client. Each level is one batch of requests. */
enum { MaxSearch = 16384 };
static xcb_window_t levelWindows[MaxSearch], nextWindows[MaxSearch];
static int levelOwners[MaxSearch], nextOwners[MaxSearch]; /* root child slots */
static xcb_query_tree_cookie_t treeCookies[MaxSearch];
static xcb_get_property_cookie_t stateCookies[MaxSearch];
static bool stateAsked[MaxSearch];
static bool ownerFound[MaxWindows];            /* a client was found below the root child */
static xcb_window_t listedClients[MaxWindows]; /* _NET_CLIENT_LIST, sorted */
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
		if (listedCount > MaxWindows)
			listedCount = MaxWindows;
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
	TrackedWindow *w = AddTracked(id);

	if (w == NULL)
		return;
	w->framed = true;
	w->frame = trackedWindows[ownerSlot].id;
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
			    xcb_get_property(x11, 0, nextWindows[j], x11Atoms[AtomWmState],
			                     x11Atoms[AtomWmState], 0, 0);
	}
	for (int j = 0; j < count && Alive(); j++) {
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
	for (int i = 0; i < slotCount && count < MaxSearch; i++) {
		const TrackedWindow *w = &trackedWindows[i];
		/* A frame has no WM_STATE; it may be override-redirect, as
		 * some managers make theirs to keep them out of their own way. */
		if (w->id != 0 && !w->framed && w->state == StateNone) {
			levelWindows[count] = w->id;
			levelOwners[count] = i;
			count++;
		}
	}
	while (count > 0 && Alive())
		count = SearchLevel(ListNextLevel(count));
}

static void BuildCache(void)
{
	xcb_query_tree_cookie_t treeCookie;
	xcb_get_property_cookie_t listCookie;
	xcb_query_tree_reply_t *tree;

	xcb_change_window_attributes(x11, x11Root, XCB_CW_EVENT_MASK, &RootEvents);
	treeCookie = xcb_query_tree(x11, x11Root);
	listCookie = xcb_get_property(x11, 0, x11Root, x11Atoms[AtomNetClientList], XCB_ATOM_WINDOW,
	                              0, MaxWindows);
	tree = xcb_query_tree_reply(x11, treeCookie, NULL);
	if (tree != NULL) {
		xcb_window_t *children = xcb_query_tree_children(tree);
		int length = xcb_query_tree_children_length(tree);
		for (int i = 0; i < length; i++)
			AddTracked(children[i]);
	}
	free(tree);
	ReadClientList(listCookie);
	X11Update();
	FindFramedClients();
	X11Update();
}

static void InternAtoms(void)
{
	xcb_intern_atom_cookie_t cookies[AtomCount];

	for (int i = 0; i < AtomCount; i++)
		cookies[i] = xcb_intern_atom(x11, 0, (uint16_t)strlen(atomNames[i]), atomNames[i]);
	for (int i = 0; i < AtomCount; i++) {
		xcb_intern_atom_reply_t *r = xcb_intern_atom_reply(x11, cookies[i], NULL);
		x11Atoms[i] = r != NULL ? r->atom : XCB_NONE;
		free(r);
	}
}

static void OpenDisplay(void)
{
	int screenNumber = 0;
	xcb_connection_t *c = xcb_connect(NULL, &screenNumber);

	if (xcb_connection_has_error(c)) {
		xcb_disconnect(c);
		ReportOnce("cannot open the X display", getenv("DISPLAY"));
		return;
	}
	xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
	for (int i = 0; i < screenNumber && screens.rem > 1; i++)
		xcb_screen_next(&screens);
	x11 = c;
	x11Root = screens.data->root;
	InternAtoms();
	BuildCache();
}

bool X11Ready(void)
{
	if (!displayTried) {
		displayTried = true;
		OpenDisplay();
	}
	return Alive();
}

/* -- the stand-ins ----------------------------------------------------- */

/* A framed window is a client once the manager has put WM_STATE on it,
 * and already while the manager takes it in: then it sits in a root child
 * that is not a client, as frames are (override-redirect or not). */
static bool IsFramedClient(const TrackedWindow *w, const TrackedWindow *frame)
{
	if (w->state != StateNone)
		return true;
	return x11Managed && !w->embedded && frame != NULL && frame->state == StateNone;
}

/* Works out which framed windows are clients and which root children
 * are their frames, never visited. */
static void MarkFrames(void)
{
	for (int i = 0; i < slotCount; i++)
		trackedWindows[i].holdsClient = false;
	for (int i = 0; i < slotCount; i++) {
		TrackedWindow *w = &trackedWindows[i];
		TrackedWindow *frame = w->id != 0 && w->framed ? FrameOf(w) : NULL;
		w->isClient = w->id != 0 && w->framed && IsFramedClient(w, frame);
		if (w->isClient && frame != NULL)
			frame->holdsClient = true;
	}
}

static bool IsTopLevel(const TrackedWindow *w)
{
	if (w->id == 0)
		return false;
	return w->framed ? w->isClient : !w->holdsClient;
}

/* Visits the windows as they were when the pass began; one that goes
 * meanwhile reads as nameless, and acting on it does nothing. */
BOOL EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam)
{
	int count = 0;
	BOOL completed = TRUE;

	if (!X11Ready() || !X11Sync())
		return TRUE;
	MarkFrames();
	for (int i = 0; i < slotCount; i++) {
		if (IsTopLevel(&trackedWindows[i])) {
			visitSlots[count] = i;
			visitIds[count++] = trackedWindows[i].id;
		}
	}
	x11InPass = true;
	for (int i = 0; i < count && Alive(); i++) {
		lookupHint = visitSlots[i]; /* the callback asks for this window's names */
		if (!lpEnumFunc(visitIds[i], lParam)) {
			completed = FALSE;
			break;
		}
	}
	x11InPass = false;
	FinishWindowActions();
	return completed;
}

/* Copies a cached name, cut to fit and always terminated. */
static int CopyName(HWND window, bool title, char *out, int size)
{
	const TrackedWindow *w;
	const char *name;
	int length = 0;

	if (size <= 0)
		return 0;
	out[0] = '\0';
	if (!X11Ready() || window > UINT32_MAX)
		return 0;
	w = FindTracked((xcb_window_t)window);
	if (w == NULL)
		return 0;
	name = title ? w->title : w->className;
	while (length < size - 1 && name[length] != '\0') {
		out[length] = name[length];
		length++;
	}
	out[length] = '\0';
	return length;
}

int GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount)
{
	return CopyName(hWnd, true, lpString, nMaxCount);
}

int GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount)
{
	return CopyName(hWnd, false, lpClassName, nMaxCount);
}
