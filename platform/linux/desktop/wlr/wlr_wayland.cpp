/*
 * The Wayland connection of the wlroots desktop. Every wait polls the
 * connection's descriptor with a deadline, never libwayland's blocking
 * round trip, so a compositor that stops answering holds a step no longer
 * than its deadline. What a handle tells is read through one table of
 * listeners; a handle's state applies at its "done", as the protocol
 * means it to.
 */
#include <errno.h>
#include <poll.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <wayland-client.h>

#include "../../../winapi.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"
#include "wlr.h"

WindowCache wlrCache = {sizeof(WlrWindow), NULL, 0, 0, 0, NULL, 0, 0};
uint64_t wlrChanges;
unsigned wlrIgnored;

static struct wl_display *display;
static struct wl_registry *registry;
static struct zwlr_foreign_toplevel_manager_v1 *manager;
static struct wl_seat *seat;
static struct wl_callback *sync; /* the round trip under way, or NULL */
static uint64_t syncSent;        /* when it was asked */
static bool opening;             /* WlrConnect has not returned: say nothing */
static bool lost;                /* the connection failed, or the manager finished */
static HWND lastId;              /* the ids given so far */
static uint64_t activations;     /* windows become active so far */
static char where[DeskNameSize]; /* $WAYLAND_DISPLAY, for the line */

unsigned WlrStateBits(const uint32_t *values, size_t count)
{
	unsigned states = 0;

	for (size_t i = 0; i < count; i++) {
		switch (values[i]) {
		case ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_MAXIMIZED:
			states |= WlrMaximized;
			break;
		case ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_MINIMIZED:
			states |= WlrMinimized;
			break;
		case ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED:
			states |= WlrActivated;
			break;
		case ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_FULLSCREEN:
			states |= WlrFullscreen;
			break;
		}
	}
	return states;
}

/* -- a handle's events ---------------------------------------------------- */

static WlrWindow *Of(void *data)
{
	return WlrFind((HWND)(uintptr_t)data);
}

static void Titled(void *data, zwlr_foreign_toplevel_handle_v1 *, const char *title)
{
	WlrWindow *w = Of(data);

	if (w != NULL)
		KeepName(w->desk.title, sizeof w->desk.title, title);
}

static void Named(void *data, zwlr_foreign_toplevel_handle_v1 *, const char *appId)
{
	WlrWindow *w = Of(data);

	if (w != NULL)
		KeepName(w->desk.className, sizeof w->desk.className, appId);
}

static void Entered(void *, zwlr_foreign_toplevel_handle_v1 *, struct wl_output *)
{
}

static void Stated(void *data, zwlr_foreign_toplevel_handle_v1 *, struct wl_array *states)
{
	WlrWindow *w = Of(data);

	if (w != NULL)
		w->told =
		    WlrStateBits((const uint32_t *)states->data, states->size / sizeof(uint32_t));
}

static void Done(void *data, zwlr_foreign_toplevel_handle_v1 *)
{
	WlrWindow *w = Of(data);

	if (w == NULL)
		return;
	if (w->told & ~w->states & WlrActivated)
		w->activeAt = ++activations;
	w->states = w->told;
	wlrChanges++;
}

static void Closed(void *data, zwlr_foreign_toplevel_handle_v1 *handle)
{
	WlrWindow *w = Of(data);

	zwlr_foreign_toplevel_handle_v1_destroy(handle);
	if (w != NULL)
		CacheRemove(&wlrCache, &w->desk);
	wlrChanges++;
}

static void Parented(void *, zwlr_foreign_toplevel_handle_v1 *, zwlr_foreign_toplevel_handle_v1 *)
{
}

static const zwlr_foreign_toplevel_handle_v1_listener handleEvents = {
    .title = Titled,
    .app_id = Named,
    .output_enter = Entered,
    .output_leave = Entered,
    .state = Stated,
    .done = Done,
    .closed = Closed,
    .parent = Parented,
};

/* -- the manager and the globals ----------------------------------------- */

/* A new window: an id of this run's; one that memory cannot hold goes
 * unlisted, its handle let go. */
static void Announced(void *, zwlr_foreign_toplevel_manager_v1 *,
                      zwlr_foreign_toplevel_handle_v1 *handle)
{
	WlrWindow *w = (WlrWindow *)CacheAdd(&wlrCache, ++lastId);

	if (w == NULL) {
		zwlr_foreign_toplevel_handle_v1_destroy(handle);
		return;
	}
	w->handle = handle;
	zwlr_foreign_toplevel_handle_v1_add_listener(handle, &handleEvents,
	                                             (void *)(uintptr_t)w->desk.id);
}

static void Finished(void *, zwlr_foreign_toplevel_manager_v1 *)
{
	lost = true; /* nothing more will come: as a compositor gone */
}

static const zwlr_foreign_toplevel_manager_v1_listener managerEvents = {
    .toplevel = Announced,
    .finished = Finished,
};

static void Offered(void *, struct wl_registry *, uint32_t name, const char *interface,
                    uint32_t version)
{
	if (manager == NULL &&
	    strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) == 0) {
		manager = (zwlr_foreign_toplevel_manager_v1 *)wl_registry_bind(
		    registry, name, &zwlr_foreign_toplevel_manager_v1_interface,
		    version < (uint32_t)WlrVersion ? version : (uint32_t)WlrVersion);
		zwlr_foreign_toplevel_manager_v1_add_listener(manager, &managerEvents, NULL);
	} else if (seat == NULL && strcmp(interface, wl_seat_interface.name) == 0)
		seat = (struct wl_seat *)wl_registry_bind(registry, name, &wl_seat_interface, 1);
}

static void Withdrawn(void *, struct wl_registry *, uint32_t)
{
}

static const wl_registry_listener registryEvents = {
    .global = Offered,
    .global_remove = Withdrawn,
};

/* -- waiting -------------------------------------------------------------- */

/* Lets every proxy go and closes the connection; the windows go with it. */
static void Disconnect(void)
{
	for (int i = 0; i < wlrCache.count; i++) {
		WlrWindow *w = (WlrWindow *)CacheAt(&wlrCache, i);
		if (w->desk.id != 0)
			zwlr_foreign_toplevel_handle_v1_destroy(w->handle);
	}
	CacheEmpty(&wlrCache);
	if (sync != NULL)
		wl_callback_destroy(sync);
	if (manager != NULL)
		zwlr_foreign_toplevel_manager_v1_destroy(manager);
	if (seat != NULL)
		wl_seat_destroy(seat);
	if (registry != NULL)
		wl_registry_destroy(registry);
	if (display != NULL)
		wl_display_disconnect(display);
	display = NULL;
	registry = NULL;
	manager = NULL;
	seat = NULL;
	sync = NULL;
}

static bool Lose(const char *problem)
{
	if (display == NULL)
		return false;
	lost = true;
	Disconnect();
	wlrChanges++;
	if (!opening)
		SayDesktopLost(problem, where);
	return false;
}

/* Handles what comes until ready() holds, or until deadline once nothing
 * more has come; false once the compositor is lost. */
static bool DispatchUntil(bool (*ready)(void), uint64_t deadline)
{
	for (;;) {
		struct pollfd p;
		uint64_t now;
		int flushed, got;

		if (display == NULL)
			return false;
		if (wl_display_dispatch_pending(display) < 0 || lost)
			return Lose("lost the Wayland compositor at");
		if (ready != NULL && ready())
			return true;
		flushed = wl_display_flush(display);
		if (flushed < 0 && errno != EAGAIN)
			return Lose("lost the Wayland compositor at");
		if (wl_display_prepare_read(display) != 0)
			continue; /* events queued meanwhile: handle them first */
		/* Requests left unsent wait for room on the socket too. */
		p = {wl_display_get_fd(display), (short)(POLLIN | (flushed < 0 ? POLLOUT : 0)), 0};
		now = NowMs();
		got = poll(&p, 1, now < deadline ? (int)(deadline - now) : 0);
		if (got > 0 && !(p.revents & (POLLIN | POLLHUP | POLLERR))) {
			wl_display_cancel_read(display);
			continue; /* room to send: the next turn does */
		}
		if (got <= 0) {
			wl_display_cancel_read(display);
			if (got < 0 && errno == EINTR)
				continue;
			if (got < 0 || NowMs() >= deadline)
				return true;
			continue;
		}
		if (wl_display_read_events(display) < 0)
			return Lose("lost the Wayland compositor at");
	}
}

static void Synced(void *, struct wl_callback *callback, uint32_t)
{
	wl_callback_destroy(callback);
	sync = NULL;
}

static const wl_callback_listener syncEvents = {.done = Synced};

static bool NoSync(void)
{
	return sync == NULL;
}

/* One round trip at a time: a later call waits for the one under way. */
bool WlrRoundTrip(uint64_t deadline)
{
	if (display == NULL)
		return false;
	if (sync == NULL) {
		sync = wl_display_sync(display);
		if (sync == NULL)
			return Lose("lost the Wayland compositor at");
		wl_callback_add_listener(sync, &syncEvents, NULL);
		syncSent = NowMs();
	}
	if (!DispatchUntil(NoSync, deadline))
		return false;
	if (sync == NULL)
		return true;
	if (NowMs() - syncSent >= WlrReplyMs)
		Lose("the Wayland compositor stopped answering at");
	return false;
}

void WlrDrain(void)
{
	DispatchUntil(NULL, 0);
}

/* Whether every window's asked states are as wanted; a window gone has
 * nothing more to wait for. */
static bool Carried(void)
{
	for (int i = 0; i < wlrCache.count; i++) {
		const WlrWindow *w = (const WlrWindow *)CacheAt(&wlrCache, i);
		if (w->desk.id != 0 && (w->states & w->asked) != w->wanted)
			return false;
	}
	return true;
}

void WlrAwaitAsked(uint64_t deadline)
{
	DispatchUntil(Carried, deadline);
	for (int i = 0; i < wlrCache.count; i++) {
		WlrWindow *w = (WlrWindow *)CacheAt(&wlrCache, i);
		if (w->desk.id != 0)
			wlrIgnored |=
			    ((w->states & w->asked) ^ w->wanted) & (WlrMinimized | WlrMaximized);
		w->asked = w->wanted = 0;
	}
}

int WlrDescriptor(void)
{
	return display != NULL ? wl_display_get_fd(display) : -1;
}

struct wl_seat *WlrSeat(void)
{
	return seat;
}

/* libwayland's own complaints (no XDG_RUNTIME_DIR, a protocol error):
 * standard error carries this program's lines only. */
static void Unsaid(const char *, va_list)
{
}

/* Two round trips: the globals, then the windows the manager announces
 * as it is bound. */
bool WlrConnect(void)
{
	const char *name = getenv("WAYLAND_DISPLAY");
	uint64_t deadline = NowMs() + WlrOpenMs;

	KeepName(where, sizeof where, name != NULL ? name : "");
	wl_log_set_handler_client(Unsaid);
	display = wl_display_connect(NULL);
	if (display == NULL)
		return false;
	opening = true;
	registry = wl_display_get_registry(display);
	if (registry != NULL)
		wl_registry_add_listener(registry, &registryEvents, NULL);
	bool bound =
	    registry != NULL && WlrRoundTrip(deadline) && manager != NULL && WlrRoundTrip(deadline);
	opening = false;
	if (!bound) {
		Disconnect();
		lost = false;
		wlrChanges = 0;
	}
	return bound;
}
