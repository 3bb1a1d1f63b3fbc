/*
 * What the X11 files behind the window stand-ins share. One XCB
 * connection, opened at the first window operation, and a cache of the
 * top-level windows that the server's events keep current for the life of
 * the process, so a pass over the desktop costs one round trip.
 *
 * The files call only those below them:
 *   x11_desktop.cpp               the desktop table
 *   x11_show.cpp, x11_enable.cpp  ShowWindow, EnableWindow
 *   x11_verbs.cpp                 activating, closing, minimizing and
 *                                 maximizing
 *   x11_manager.cpp               waiting for the window manager
 *   x11_toplevel.cpp              which windows are top-level, their
 *                                 stacking order
 *   x11_walk.cpp                  opening the display, the first walk
 *   x11_shield.cpp                what disabled windows hide behind
 *   x11.cpp                       the connection, the cache, its events
 *   x11_text.cpp                  decoding titles (no xcb)
 */
#ifndef WINCUE_X11_H
#define WINCUE_X11_H

#include <stddef.h>
#include <stdint.h>
#include <xcb/xcb.h>

#include "../desktop.h"

enum {
	X11ListLength = 1 << 24, /* items of a window list property to read: all */
	/* The longest one pass waits for the window manager: on a busy machine
	 * twm took over 250 ms to handle a map, and a hide that came first was
	 * undone. The wait ends as soon as the manager is done. */
	X11WaitBoundMs = 1000,
};

/* WM_STATE as the window manager sets it; X11StateNone when it is absent. */
enum { X11StateNone = -1, X11StateWithdrawn = 0, X11StateNormal = 1, X11StateIconic = 3 };

/* Properties and answers still to read for a window. */
enum {
	X11StaleAttributes = 1 << 0,
	X11StaleState = 1 << 1,
	X11StaleTitle = 1 << 2,
	X11StaleClass = 1 << 3,
	X11StaleRole = 1 << 4,     /* WM_CLIENT_LEADER and WM_HINTS */
	X11StaleProgram = 1 << 5,  /* _NET_WM_PID and WM_CLIENT_MACHINE */
	X11StaleNetState = 1 << 6, /* _NET_WM_STATE */
	X11StaleProtocols = 1 << 7,
	X11StaleProbe = 1 << 8,
	X11StaleAll = (1 << 8) - 1, /* all but the probe */
};

enum X11AtomName {
	X11AtomWmState,
	X11AtomNetWmName,
	X11AtomUtf8String,
	X11AtomCompoundText,
	X11AtomWmProtocols,
	X11AtomWmTakeFocus,
	X11AtomNetClientList,
	X11AtomNetClientListStacking,
	X11AtomNetActiveWindow,
	X11AtomNetSupportingWmCheck,
	X11AtomSavedInput,
	X11AtomWmClientLeader,
	X11AtomShieldOwners,
	X11AtomShields,
	X11AtomNetWmPid,
	X11AtomShieldOf,
	X11AtomWmName,
	X11AtomWmClass,
	X11AtomWmHints,
	X11AtomString,
	X11AtomWindow,
	X11AtomNetWmState,
	X11AtomNetWmStateMaximizedVert,
	X11AtomNetWmStateMaximizedHorz,
	X11AtomNetSupported,
	X11AtomWmChangeState,
	X11AtomWmDeleteWindow,
	X11AtomWmClientMachine,
	X11AtomNetWmPing,
	X11AtomRunStamp,
	X11AtomCount
};

/* The window properties the cache reads, in the order read (x11.cpp). */
enum X11Property {
	X11PropertyState,
	X11PropertyNetName,
	X11PropertyName, /* after _NET_WM_NAME, which it gives way to */
	X11PropertyClass,
	X11PropertyLeader,
	X11PropertyHints,
	X11PropertyPid,
	X11PropertyMachine, /* after _NET_WM_PID, which it vouches for */
	X11PropertyNetState,
	X11PropertyProtocols,
	X11PropertyCount
};

/* A child of the root, or a client a window manager holds in a frame; its
 * id is an xcb_window_t, its title UTF-8, its class the class part of
 * WM_CLASS. */
struct X11Window {
	DeskWindow desk;
	xcb_window_t frame; /* the root child holding a framed client */
	xcb_window_t probe; /* an ancestor still to trace up to that root child */
	int frameSlot;      /* frame's slot, valid while its id still matches */
	int state;          /* WM_STATE */
	bool framed;        /* its parent is not the root */
	bool mapped;
	bool overrideRedirect;
	bool inputOnly;   /* can show nothing */
	bool ownLeader;   /* its own WM_CLIENT_LEADER */
	bool netTitle;    /* the title came from _NET_WM_NAME */
	bool hasHints;    /* has WM_HINTS */
	bool embedded;    /* put inside another client, not in a frame */
	bool isClient;    /* a framed client; worked out at each pass */
	bool holdsClient; /* a frame; worked out at each pass */
	bool maximized;   /* _NET_WM_STATE holds both maximized states */
	bool takesDelete; /* WM_PROTOCOLS holds WM_DELETE_WINDOW */
	bool takesPing;   /* ... and _NET_WM_PING */
	bool pinged;      /* a ping is out whose answer the pass waits for */
	/* The pass waits for the manager: 's'how, 'w'ithdraw, 'i'conify,
	 * 'm'aximize, 'r'estore; 0 for nothing. */
	char awaiting;
	uint32_t netPid;  /* _NET_WM_PID, the program's on its machine */
	int stack;        /* its root child's place from the bottom, as last read */
	uint64_t stacked; /* the read (x11Syncs) that set stack */
	unsigned stale;   /* Stale* bits to read again */
	unsigned asked;   /* Stale* bits whose answers are on the way */
	xcb_get_window_attributes_cookie_t attributesCookie;
	xcb_get_property_cookie_t cookies[X11PropertyCount];
	xcb_query_tree_cookie_t probeCookie;
};

/* Program-wide X11 state, defined in x11.cpp. */
extern xcb_connection_t *x11; /* NULL until opened; once lost, kept broken */
extern xcb_window_t x11Root;
extern xcb_atom_t x11Atoms[X11AtomCount];
extern bool x11Managed;      /* a window manager redirects the root's children */
extern WindowCache x11Cache; /* the tracked windows, X11Window records */
extern uint64_t x11Changes;  /* events handled so far: the desktop's version */
extern uint64_t x11Syncs;    /* round trips that read the stacking order */

/* The desktop table: x11_desktop.cpp. */
extern const Desktop x11Desktop;

/* The window functions over X11 that the table lists: x11_show.cpp,
 * x11_enable.cpp. */
BOOL X11ShowWindow(HWND hWnd, int nCmdShow);
BOOL X11EnableWindow(HWND hWnd, DeskInput to);
BOOL X11IsWindowEnabled(HWND hWnd);

/* The table's entries from x11_verbs.cpp; see desktop.h. */
BOOL X11Activate(HWND hWnd);
HWND X11Active(void);
BOOL X11Close(HWND hWnd, bool ask);
unsigned X11States(HWND hWnd);
const char *X11Cannot(unsigned state);
BOOL X11SetState(HWND hWnd, DeskStateCommand command);

/* The record in a slot of the cache, free (id 0) or not. */
static inline X11Window *X11At(int slot)
{
	return (X11Window *)CacheAt(&x11Cache, slot);
}

/* -- x11.cpp ------------------------------------------------------------ */

/* Opens the display and interns the atoms; false (after one line on
 * standard error) when it cannot be opened. */
bool X11Connect(void);

/* False once the display is gone (or was never opened); the first time
 * it notices, it says so on standard error and empties the cache. */
bool X11Alive(void);

/* Brings the cache up to date with every change the server has made so
 * far: one round trip, plus one per batch of changed windows. Returns
 * false when the display is gone. */
bool X11Sync(void);

/* Sends what is buffered, and handles every event that has arrived; reads
 * the last round trip left count as a change. */
void X11Drain(void);

/* The connection's descriptor; -1 once the display is gone. */
int X11Descriptor(void);

/* Handles what the server has already sent and re-reads what changed. */
void X11Update(void);

/* Waits until an event arrives or the monotonic clock reaches deadline. */
void X11WaitEvent(uint64_t deadline);

/* Room for count items of size bytes in array, which grows by doubling
 * (capacity counts items). Returns the array, perhaps moved; NULL, with
 * array left as it was, when memory runs out. */
void *X11Grow(void *array, int *capacity, int count, size_t size);

/* The tracked window with this id, or NULL. A window's address holds
 * until the cache next changes: X11Track, or any handling of events. */
static inline X11Window *X11Find(xcb_window_t id)
{
	return (X11Window *)CacheFind(&x11Cache, id);
}

/* The frame holding a framed client, or NULL while unknown. */
X11Window *X11FrameOf(const X11Window *window);

/* Starts tracking a window (or returns it if tracked already); NULL when
 * memory runs out. Its events are selected before its reads are sent. */
X11Window *X11Track(xcb_window_t id);

/* The items of a property reply that holds 32-bit values of this type,
 * and their number in count; NULL (count 0) for any other reply. */
const uint32_t *X11Items32(const xcb_get_property_reply_t *r, xcb_atom_t type, int *count);

/* Asks the manager to configure a window it holds as it is, and waits
 * until it answers (ICCCM 4.1.5: a synthetic ConfigureNotify) or the
 * deadline passes. A manager handles what it gets in order, so once it
 * has answered it has done all it was about to do with the window. After
 * one that went unanswered, and under a manager that does not declare the
 * EWMH, answers are not waited for. */
bool X11AwaitManagerAnswer(xcb_window_t id, uint64_t deadline);

/* -- x11_manager.cpp ---------------------------------------------------- */

/* Has the pass wait until the manager has done what was asked of the
 * window (w, as it was before the request; an awaiting letter), when a
 * manager is involved. */
void X11AwaitManager(X11Window *w, char what);

/* No manager acts on an override-redirect window, nor on any when none
 * runs: then the server has done it all once it has the request. */
bool X11ManagerInvolved(const X11Window *w);

/* Managed and viewable; or kept minimized, if that is the manager's will. */
bool X11IsViewable(const X11Window *w);

/* Managed and viewable, or minimized. */
bool X11IsShown(const X11Window *w);

/* Has the pass give the window the focus once the manager has shown it. */
void X11FocusWhenShown(xcb_window_t id);

/* Has the pass wait, within its deadline, for the window's program to
 * answer a ping (_NET_WM_PING), when it takes one: whatever the program
 * did on the events before it has reached the server then. */
void X11AwaitProgram(X11Window *w);

/* The table's finish: waits, never past the pass's deadline, until the
 * manager has finished every hide and show asked for, then makes sure the
 * server has done all requests. False once the display is gone. */
bool X11FinishPass(bool acted);

/* -- x11_toplevel.cpp --------------------------------------------------- */

/* The table's list: the top-level windows among those tracked, the top of
 * the stacking order first; frames and helpers are not. When memory runs
 * out they come in the cache's order. */
int X11List(HWND *room, int size);

/* The top-level window that holds a window (itself, or the client a frame
 * holds), or NULL. */
X11Window *X11TopLevelOf(xcb_window_t id);

/* -- x11_walk.cpp ------------------------------------------------------- */

/* True when the display is open, opening it and building the cache on
 * the first call; false for good once it could not be opened or is lost
 * (after one line on standard error). */
bool X11Ready(void);

/* -- x11_shield.cpp ----------------------------------------------------- */

/* Covers the window with a new shield, of the id given, that swallows
 * its input and outlives this process. */
void X11RaiseShield(xcb_window_t window, xcb_window_t shield);

/* True when child is among the children the tree lists. */
bool X11HasChild(const xcb_query_tree_reply_t *tree, xcb_window_t child);

/* Puts in shields (room for max) the window's shields among the children
 * its tree lists: those marked as its own, and saved; returns how many.
 * One round trip when it has children. */
int X11ShieldsOf(xcb_window_t window, const xcb_query_tree_reply_t *tree, xcb_window_t saved,
                 xcb_window_t *shields, int max);

/* Frees the client slots that earlier runs kept for shields no longer
 * there (their windows were enabled or died); done when the display
 * opens. */
void X11ReclaimShields(void);

#endif
