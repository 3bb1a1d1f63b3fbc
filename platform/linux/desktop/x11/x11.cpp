/*
 * The connection to the X server and the cache of windows it keeps
 * current, for the files above it (x11_walk.cpp builds the cache, the
 * pass visits it).
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
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "../../../winapi.h"
#include "x11.h"
#include "x11_text.h"

/* X11 state */
xcb_connection_t *x11;
xcb_window_t x11Root;
xcb_atom_t x11Atoms[X11AtomCount];
bool x11Managed;
WindowCache x11Cache = {sizeof(X11Window), NULL, 0, 0, 0, NULL, 0, 0};
uint64_t x11Changes;
uint64_t x11Syncs;

static bool readsLeft;         /* the last round trip left reads (a frame's trace) */
static xcb_window_t answering; /* a window whose manager's answer is awaited */
static bool answered;

static const char *const atomNames[X11AtomCount] = {
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
    "WM_CLIENT_LEADER",
    "_WINCUE_SHIELD_OWNERS",
    "_WINCUE_SHIELDS",
    "_NET_WM_PID",
    "_WINCUE_SHIELD_OF",
    "WM_NAME",
    "WM_CLASS",
    "WM_HINTS",
    "STRING",
    "WINDOW",
    "_NET_WM_STATE",
    "_NET_WM_STATE_MAXIMIZED_VERT",
    "_NET_WM_STATE_MAXIMIZED_HORZ",
    "_NET_SUPPORTED",
    "WM_CHANGE_STATE",
    "WM_DELETE_WINDOW",
    "WM_CLIENT_MACHINE",
    "_NET_WM_PING",
    "_WINCUE_RUN",
};

static const uint32_t WindowEvents =
    XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;

/* A desktop with no windows from now on. The broken connection is kept:
 * xcb answers every call on it at once, with nothing, so whatever was
 * under way when the server went runs on safely to its end. */
static void DropDisplay(void)
{
	SayDesktopLost("lost the X display", getenv("DISPLAY"));
	CacheEmpty(&x11Cache);
}

bool X11Alive(void)
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

const uint32_t *X11Items32(const xcb_get_property_reply_t *r, xcb_atom_t type, int *count)
{
	*count = 0;
	if (r == NULL || r->type != type || r->format != 32)
		return NULL;
	*count = xcb_get_property_value_length(r) / 4;
	return (const uint32_t *)xcb_get_property_value(r);
}

void *X11Grow(void *array, int *capacity, int count, size_t size)
{
	int grown = *capacity > 0 ? *capacity : 64;

	if (count <= *capacity && array != NULL)
		return array;
	while (grown < count)
		grown *= 2;
	array = realloc(array, (size_t)grown * size);
	if (array != NULL)
		*capacity = grown;
	return array;
}

X11Window *X11FrameOf(const X11Window *window)
{
	if (!window->framed || window->frame == 0)
		return NULL;
	if (window->frameSlot >= 0 && window->frameSlot < x11Cache.count &&
	    X11At(window->frameSlot)->desk.id == window->frame)
		return X11At(window->frameSlot);
	return X11Find(window->frame);
}

X11Window *X11Track(xcb_window_t id)
{
	X11Window *w = X11Find(id);

	if (w != NULL)
		return w;
	w = (X11Window *)CacheAdd(&x11Cache, id);
	if (w == NULL)
		return NULL;
	w->state = X11StateNone;
	w->frameSlot = -1;
	w->stale = X11StaleAll;
	xcb_change_window_attributes(x11, id, XCB_CW_EVENT_MASK, &WindowEvents);
	return w;
}

static void Untrack(X11Window *w)
{
	CacheRemove(&x11Cache, &w->desk);
}

/* Records that w now lives below parent, and which root child holds it. */
static void PlaceBelow(X11Window *w, xcb_window_t parent)
{
	X11Window *p = X11Find(parent);

	w->framed = true;
	w->probe = 0;
	w->stale &= ~X11StaleProbe;
	/* A manager's frame is a root child without WM_STATE; anything else
	 * tracked is a client, which this window now lives in. */
	w->embedded = p != NULL && (p->framed || p->state != X11StateNone);
	if (p != NULL && !p->framed) {
		w->frame = parent;
		w->frameSlot = CacheSlotOf(&x11Cache, &p->desk);
	} else if (p != NULL && p->frame != 0) {
		w->frame = p->frame;
		w->frameSlot = p->frameSlot;
	} else {
		/* Deeper in a frame: trace it up, one level per round trip. */
		w->frame = 0;
		w->probe = parent;
		w->stale |= X11StaleProbe;
	}
}

static void PlaceAtRoot(X11Window *w)
{
	w->framed = false;
	w->embedded = false;
	w->frame = 0;
	w->probe = 0;
	w->stale &= ~X11StaleProbe;
}

/* -- reading properties ------------------------------------------------ */

static enum X11Encoding EncodingOf(xcb_atom_t type)
{
	if (type == x11Atoms[X11AtomUtf8String])
		return X11TextUtf8;
	if (type == x11Atoms[X11AtomCompoundText])
		return X11TextCompound;
	return X11TextLatin1;
}

static bool HasText(const xcb_get_property_reply_t *r)
{
	return r != NULL && r->type != XCB_NONE && r->format == 8;
}

static void DecodeTitle(X11Window *w, enum X11Encoding encoding, const xcb_get_property_reply_t *r)
{
	X11DecodeText(encoding, (const char *)xcb_get_property_value(r),
	              xcb_get_property_value_length(r), w->desk.title, DeskNameSize);
}

static void ReadState(X11Window *w, const xcb_get_property_reply_t *r)
{
	int count;
	const uint32_t *v = X11Items32(r, x11Atoms[X11AtomWmState], &count);

	w->state = count >= 1 ? (int)v[0] : X11StateNone;
}

/* _NET_WM_NAME when present, else WM_NAME (read right after it). */
static void ReadNetName(X11Window *w, const xcb_get_property_reply_t *r)
{
	w->netTitle = HasText(r);
	if (w->netTitle)
		DecodeTitle(w, X11TextUtf8, r);
}

static void ReadName(X11Window *w, const xcb_get_property_reply_t *r)
{
	if (w->netTitle)
		return;
	if (HasText(r))
		DecodeTitle(w, EncodingOf(r->type), r);
	else
		w->desk.title[0] = '\0';
}

/* WM_CLASS holds the instance name, then the class name. */
static void ReadClass(X11Window *w, const xcb_get_property_reply_t *r)
{
	const char *value;
	const char *end;
	const char *instanceEnd;

	w->desk.className[0] = '\0';
	if (!HasText(r))
		return;
	value = (const char *)xcb_get_property_value(r);
	end = value + xcb_get_property_value_length(r);
	instanceEnd = (const char *)memchr(value, '\0', (size_t)(end - value));
	if (instanceEnd != NULL)
		X11DecodeText(X11TextLatin1, instanceEnd + 1, (int)(end - instanceEnd - 1),
		              w->desk.className, DeskNameSize);
}

static void ReadLeader(X11Window *w, const xcb_get_property_reply_t *r)
{
	int count;
	const uint32_t *v = X11Items32(r, XCB_ATOM_WINDOW, &count);

	w->ownLeader = count >= 1 && v[0] == w->desk.id;
}

static void ReadHints(X11Window *w, const xcb_get_property_reply_t *r)
{
	w->hasHints = r != NULL && r->type != XCB_NONE;
}

static void ReadPid(X11Window *w, const xcb_get_property_reply_t *r)
{
	int count;
	const uint32_t *v = X11Items32(r, XCB_ATOM_CARDINAL, &count);

	w->netPid = count >= 1 ? v[0] : 0;
}

/* A pid names a process of this machine only when the window's program
 * runs here: WM_CLIENT_MACHINE, when set, names this host. */
static void ReadMachine(X11Window *w, const xcb_get_property_reply_t *r)
{
	static char host[256];
	int length;

	if (host[0] == '\0' && gethostname(host, sizeof host - 1) != 0)
		host[0] = '\0';
	w->desk.pid = w->netPid;
	if (!HasText(r))
		return;
	length = xcb_get_property_value_length(r);
	if ((size_t)length != strlen(host) || memcmp(xcb_get_property_value(r), host, length) != 0)
		w->desk.pid = 0;
}

static void ReadProtocols(X11Window *w, const xcb_get_property_reply_t *r)
{
	int count;
	const uint32_t *v = X11Items32(r, XCB_ATOM_ATOM, &count);

	w->takesDelete = w->takesPing = false;
	for (int i = 0; i < count; i++) {
		w->takesDelete |= v[i] == x11Atoms[X11AtomWmDeleteWindow];
		w->takesPing |= v[i] == x11Atoms[X11AtomNetWmPing];
	}
}

static void ReadNetState(X11Window *w, const xcb_get_property_reply_t *r)
{
	int count;
	const uint32_t *v = X11Items32(r, XCB_ATOM_ATOM, &count);
	int found = 0;

	for (int i = 0; i < count; i++)
		found |= (v[i] == x11Atoms[X11AtomNetWmStateMaximizedVert]) |
		         (v[i] == x11Atoms[X11AtomNetWmStateMaximizedHorz]) << 1;
	w->maximized = found == 3;
}

/* What is read of a window's properties, one row each by X11Property: a
 * change of the property makes its stale bit set, and the rows of a set
 * bit are asked together and read in this order. */
static const struct {
	enum X11AtomName atom;
	int type;        /* an X11AtomName, or -1 for any type */
	uint32_t length; /* 32-bit units to read */
	unsigned stale;
	void (*read)(X11Window *w, const xcb_get_property_reply_t *r);
} properties[X11PropertyCount] = {
    {X11AtomWmState, X11AtomWmState, 1, X11StaleState, ReadState},
    /* 64 units: more than the 254 bytes a title keeps */
    {X11AtomNetWmName, -1, 64, X11StaleTitle, ReadNetName},
    {X11AtomWmName, -1, 64, X11StaleTitle, ReadName},
    {X11AtomWmClass, X11AtomString, 256, X11StaleClass, ReadClass},
    {X11AtomWmClientLeader, X11AtomWindow, 1, X11StaleRole, ReadLeader},
    {X11AtomWmHints, -1, 0, X11StaleRole, ReadHints},
    {X11AtomNetWmPid, -1, 1, X11StaleProgram, ReadPid},
    {X11AtomWmClientMachine, -1, 64, X11StaleProgram, ReadMachine},
    {X11AtomNetWmState, -1, 32, X11StaleNetState, ReadNetState},
    {X11AtomWmProtocols, -1, 64, X11StaleProtocols, ReadProtocols},
};

/* The stale bit of a tracked property, or 0. */
static unsigned StaleBitOf(xcb_atom_t atom)
{
	for (int i = 0; i < X11PropertyCount; i++)
		if (x11Atoms[properties[i].atom] == atom)
			return properties[i].stale;
	return 0;
}

static void AskStale(X11Window *w)
{
	unsigned stale = w->stale;
	xcb_window_t id = (xcb_window_t)w->desk.id;

	if (stale & X11StaleAttributes)
		w->attributesCookie = xcb_get_window_attributes(x11, id);
	for (int i = 0; i < X11PropertyCount; i++)
		if (stale & properties[i].stale)
			w->cookies[i] = xcb_get_property(x11, 0, id, x11Atoms[properties[i].atom],
			                                 properties[i].type < 0
			                                     ? (xcb_atom_t)XCB_GET_PROPERTY_TYPE_ANY
			                                     : x11Atoms[properties[i].type],
			                                 0, properties[i].length);
	if (stale & X11StaleProbe)
		w->probeCookie = xcb_query_tree(x11, w->probe);
	w->asked = stale;
	w->stale = 0;
}

static void ReadProbe(X11Window *w, xcb_query_tree_reply_t *r)
{
	xcb_window_t probe = w->probe;

	if (r == NULL) { /* the frame went meanwhile; a new place is on its way */
		w->probe = 0;
		return;
	}
	if (probe == w->desk.id) { /* where the window itself lies */
		w->probe = 0;
		if (r->parent == x11Root)
			PlaceAtRoot(w);
		else
			PlaceBelow(w, r->parent);
	} else if (r->parent == x11Root) {
		X11Window *frame = X11Find(probe);
		w->frame = probe;
		w->frameSlot = frame != NULL ? CacheSlotOf(&x11Cache, &frame->desk) : -1;
		w->probe = 0;
	} else {
		PlaceBelow(w, r->parent);
	}
}

/* Reads every answer asked for; false when the window has gone. */
static bool ReadAnswers(X11Window *w)
{
	unsigned asked = w->asked;
	xcb_generic_error_t *error = NULL;
	bool gone = false;

	w->asked = 0;
	if (asked & X11StaleAttributes) {
		xcb_get_window_attributes_reply_t *r =
		    xcb_get_window_attributes_reply(x11, w->attributesCookie, &error);
		if (r != NULL) {
			w->overrideRedirect = r->override_redirect;
			w->mapped = r->map_state != XCB_MAP_STATE_UNMAPPED;
			w->inputOnly = r->_class == XCB_WINDOW_CLASS_INPUT_ONLY;
		}
		free(r);
		gone |= IsGone(error);
	}
	for (int i = 0; i < X11PropertyCount; i++) {
		if (!(asked & properties[i].stale))
			continue;
		xcb_get_property_reply_t *r = xcb_get_property_reply(x11, w->cookies[i], &error);
		properties[i].read(w, r);
		free(r);
		gone |= IsGone(error);
	}
	if (asked & X11StaleProbe) {
		xcb_query_tree_reply_t *r = xcb_query_tree_reply(x11, w->probeCookie, &error);
		ReadProbe(w, r);
		free(r);
		free(error);
	}
	return !gone;
}

/* -- events ------------------------------------------------------------ */

static void OnCreate(const xcb_create_notify_event_t *e)
{
	X11Window *w;

	if (e->parent != x11Root)
		return;
	/* Its attributes are still read: the event does not say whether it
	 * is InputOnly. */
	w = X11Track(e->window);
	if (w != NULL)
		w->overrideRedirect = e->override_redirect;
}

static void OnDestroy(const xcb_destroy_notify_event_t *e)
{
	X11Window *w = X11Find(e->window);

	if (w != NULL)
		Untrack(w);
}

static void OnMap(const xcb_map_notify_event_t *e)
{
	X11Window *w = X11Find(e->window);

	if (w != NULL) {
		w->mapped = true;
		w->overrideRedirect = e->override_redirect;
	}
}

static void OnUnmap(const xcb_unmap_notify_event_t *e)
{
	X11Window *w = X11Find(e->window);

	if (w != NULL)
		w->mapped = false;
}

static void OnReparent(const xcb_reparent_notify_event_t *e)
{
	X11Window *w = X11Find(e->window);

	/* Through the root's events: a window coming to the root, or one
	 * leaving it, which the first walk may have missed while a manager
	 * was taking it in. */
	if (w == NULL && e->event == x11Root)
		w = X11Track(e->window);
	if (w == NULL)
		return;
	if (e->parent == x11Root)
		PlaceAtRoot(w);
	else
		PlaceBelow(w, e->parent);
	w->overrideRedirect = e->override_redirect;
}

/* An untracked window reports only what the first walk watches for: a
 * window in a frame that a manager has just made its client. Where it
 * lies is read with its names. */
static void AdoptLateClient(xcb_window_t id)
{
	X11Window *w = X11Track(id);

	if (w == NULL)
		return;
	w->framed = true;
	w->probe = id;
	w->stale |= X11StaleProbe;
}

static void OnProperty(const xcb_property_notify_event_t *e)
{
	X11Window *w = X11Find(e->window);
	bool deleted = e->state == XCB_PROPERTY_DELETE;

	if (w == NULL) {
		if (e->atom == x11Atoms[X11AtomWmState] && !deleted)
			AdoptLateClient(e->window);
		return;
	}
	if (e->atom == x11Atoms[X11AtomWmState] && deleted)
		w->state = X11StateNone;
	else
		w->stale |= StaleBitOf(e->atom);
}

/* Requests on a window that has just gone fail; that is how some
 * disappearances show. Every other error is of no consequence here. */
static void OnError(const xcb_generic_error_t *e)
{
	X11Window *w;

	if (e->error_code != XCB_WINDOW)
		return;
	w = X11Find(e->resource_id);
	if (w != NULL)
		Untrack(w);
}

static void OnPong(const xcb_client_message_event_t *e)
{
	X11Window *w;

	if (e->type != x11Atoms[X11AtomWmProtocols] || e->format != 32 ||
	    e->data.data32[0] != x11Atoms[X11AtomNetWmPing])
		return;
	w = X11Find(e->data.data32[2]);
	if (w != NULL)
		w->pinged = false;
}

static void HandleEvent(const xcb_generic_event_t *e)
{
	if (e->response_type == 0) {
		OnError((const xcb_generic_error_t *)e);
		return;
	}
	/* A sent event is another client's claim, not the server's word; a
	 * ConfigureNotify for the window awaited is its manager's answer, and
	 * a ping sent back to the root its program's. */
	if (e->response_type & 0x80) {
		if ((e->response_type & 0x7f) == XCB_CONFIGURE_NOTIFY &&
		    ((const xcb_configure_notify_event_t *)e)->window == answering)
			answered = true;
		if ((e->response_type & 0x7f) == XCB_CLIENT_MESSAGE)
			OnPong((const xcb_client_message_event_t *)e);
		return;
	}
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

	while (X11Alive() &&
	       (e = queued ? xcb_poll_for_queued_event(x11) : xcb_poll_for_event(x11)) != NULL) {
		HandleEvent(e);
		free(e);
		count++;
		x11Changes++;
	}
	return count;
}

/* Sends the reads of every changed window; returns how many. */
static int AskAllStale(void)
{
	int asked = 0;

	for (int i = 0; i < x11Cache.count; i++) {
		if (X11At(i)->desk.id != 0 && X11At(i)->stale != 0) {
			AskStale(X11At(i));
			asked++;
		}
	}
	return asked;
}

static void ReadAllAnswers(void)
{
	for (int i = 0; i < x11Cache.count && X11Alive(); i++) {
		X11Window *w = X11At(i);
		if (w->desk.id != 0 && w->asked != 0 && !ReadAnswers(w))
			Untrack(w);
	}
}

/* One batch, one round trip: what has come in by now, and what it makes
 * stale. Changes that arrive meanwhile wait for the next call, so a busy
 * manager cannot keep a pass going. */
void X11Update(void)
{
	DrainEvents(true);
	if (X11Alive() && AskAllStale() > 0)
		ReadAllAnswers();
}

/* The root's children, bottom first: each tracked one's place. */
static void ReadStacking(xcb_query_tree_reply_t *tree)
{
	xcb_window_t *children;

	x11Syncs++;
	if (tree == NULL)
		return;
	children = xcb_query_tree_children(tree);
	for (int i = 0; i < xcb_query_tree_children_length(tree); i++) {
		X11Window *w = X11Find(children[i]);
		if (w != NULL) {
			w->stack = i;
			w->stacked = x11Syncs;
		}
	}
}

bool X11Sync(void)
{
	xcb_get_window_attributes_cookie_t cookie;
	xcb_get_window_attributes_reply_t *r;
	xcb_query_tree_cookie_t stacking;

	if (!X11Alive())
		return false;
	/* What has arrived already is read in the same round trip. */
	DrainEvents(false);
	AskAllStale();
	/* The root's attributes answer two things: every event sent before
	 * them has now arrived, and whether a manager redirects the root. */
	cookie = xcb_get_window_attributes(x11, x11Root);
	stacking = xcb_query_tree(x11, x11Root);
	ReadAllAnswers();
	r = xcb_get_window_attributes_reply(x11, cookie, NULL);
	if (r != NULL)
		x11Managed = (r->all_event_masks & XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT) != 0;
	free(r);
	xcb_query_tree_reply_t *tree = xcb_query_tree_reply(x11, stacking, NULL);
	ReadStacking(tree);
	free(tree);
	X11Update();
	readsLeft = false;
	for (int i = 0; i < x11Cache.count && !readsLeft; i++)
		readsLeft = X11At(i)->desk.id != 0 && X11At(i)->stale != 0;
	return X11Alive();
}

void X11Drain(void)
{
	if (!X11Alive())
		return;
	xcb_flush(x11);
	DrainEvents(false);
	/* What the last round trip left to read is news, as an event is. */
	if (readsLeft) {
		readsLeft = false;
		x11Changes++;
	}
}

int X11Descriptor(void)
{
	return X11Alive() ? xcb_get_file_descriptor(x11) : -1;
}

void X11WaitEvent(uint64_t deadline)
{
	if (!X11Alive())
		return;
	xcb_flush(x11);
	if (DrainEvents(false) > 0 || !X11Alive())
		return;
	WaitReadable(xcb_get_file_descriptor(x11), deadline);
	DrainEvents(false);
}

/* Whether the manager declares the EWMH (_NET_SUPPORTING_WM_CHECK); one
 * that does not (twm) neither answers an empty configure request nor
 * focuses a window it takes in. */
static bool ManagerDeclaresEwmh(void)
{
	xcb_get_property_reply_t *r = xcb_get_property_reply(
	    x11,
	    xcb_get_property(x11, 0, x11Root, x11Atoms[X11AtomNetSupportingWmCheck],
	                     XCB_ATOM_WINDOW, 0, 1),
	    NULL);
	int count;

	X11Items32(r, XCB_ATOM_WINDOW, &count);
	free(r);
	return count == 1;
}

bool X11AwaitManagerAnswer(xcb_window_t id, uint64_t deadline)
{
	static int silent = -1; /* a manager that did not answer is not asked again */

	if (!X11Alive())
		return false;
	if (silent < 0)
		silent = !ManagerDeclaresEwmh();
	if (silent)
		return false;
	answering = id;
	answered = false;
	xcb_configure_window(x11, id, 0, NULL);
	while (!answered && X11Alive() && X11Find(id) != NULL && NowMs() < deadline)
		X11WaitEvent(deadline);
	answering = XCB_NONE;
	silent = !answered && X11Find(id) != NULL;
	return answered;
}

/* -- the connection ---------------------------------------------------- */

static void InternAtoms(void)
{
	xcb_intern_atom_cookie_t cookies[X11AtomCount];

	for (int i = 0; i < X11AtomCount; i++)
		cookies[i] = xcb_intern_atom(x11, 0, (uint16_t)strlen(atomNames[i]), atomNames[i]);
	for (int i = 0; i < X11AtomCount; i++) {
		xcb_intern_atom_reply_t *r = xcb_intern_atom_reply(x11, cookies[i], NULL);
		x11Atoms[i] = r != NULL ? r->atom : XCB_NONE;
		free(r);
	}
}

bool X11Connect(void)
{
	int screenNumber = 0;
	xcb_connection_t *c = xcb_connect(NULL, &screenNumber);

	if (xcb_connection_has_error(c)) {
		xcb_disconnect(c);
		SayDesktopLost("cannot open the X display", getenv("DISPLAY"));
		return false;
	}
	xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
	for (int i = 0; i < screenNumber && screens.rem > 1; i++)
		xcb_screen_next(&screens);
	x11 = c;
	x11Root = screens.data->root;
	InternAtoms();
	return true;
}
