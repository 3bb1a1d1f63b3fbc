/*
 * The X11 desktop behind the window stand-ins (platform/linux/x11*.cpp).
 * One XCB connection, opened at the first window operation, and a cache of
 * the top-level windows that the server's events keep current for the life
 * of the process, so a pass over the desktop costs one round trip.
 */
#ifndef WINCUE_X11_H
#define WINCUE_X11_H

#include <stdint.h>
#include <xcb/xcb.h>

enum {
	MaxWindows = 4096, /* windows tracked; later ones go unseen */
	TextSize = 255,    /* a title or class: at most 254 bytes */
	WaitBoundMs = 250, /* the longest one pass waits for the window manager */
};

/* WM_STATE as the window manager sets it; StateNone when it is absent. */
enum { StateNone = -1, StateWithdrawn = 0, StateNormal = 1, StateIconic = 3 };

/* Properties and answers still to read for a window. */
enum {
	StaleAttributes = 1 << 0,
	StaleState = 1 << 1,
	StaleTitle = 1 << 2,
	StaleClass = 1 << 3,
	StaleSaved = 1 << 4,
	StaleProbe = 1 << 5,
	StaleAll = (1 << 5) - 1, /* all but the probe */
};

enum AtomName {
	AtomWmState,
	AtomNetWmName,
	AtomUtf8String,
	AtomCompoundText,
	AtomWmProtocols,
	AtomWmTakeFocus,
	AtomNetClientList,
	AtomNetClientListStacking,
	AtomNetActiveWindow,
	AtomNetSupportingWmCheck,
	AtomSavedInput,
	AtomCount
};

/* A child of the root, or a client a window manager holds in a frame. */
struct TrackedWindow {
	xcb_window_t id;    /* 0: a free slot */
	xcb_window_t frame; /* the root child holding a framed client */
	xcb_window_t probe; /* an ancestor still to trace up to that root child */
	int frameSlot;      /* frame's slot, valid while its id still matches */
	int state;          /* WM_STATE */
	bool framed;        /* its parent is not the root */
	bool mapped;
	bool overrideRedirect;
	bool embedded;    /* put inside another client, not in a frame */
	bool disabled;    /* carries our saved-input property */
	bool isClient;    /* a framed client; worked out at each pass */
	bool holdsClient; /* a frame; worked out at each pass */
	unsigned stale;   /* Stale* bits to read again */
	unsigned asked;   /* Stale* bits whose answers are on the way */
	xcb_get_window_attributes_cookie_t attributesCookie;
	xcb_get_property_cookie_t stateCookie, netNameCookie, nameCookie, classCookie;
	xcb_get_property_cookie_t savedCookie;
	xcb_query_tree_cookie_t probeCookie;
	char title[TextSize];     /* UTF-8 */
	char className[TextSize]; /* class part of WM_CLASS */
};

/* Program-wide X11 state, defined in x11.cpp. */
extern xcb_connection_t *x11; /* NULL until opened; once lost, kept broken */
extern xcb_window_t x11Root;
extern xcb_atom_t x11Atoms[AtomCount];
extern bool x11Managed; /* a window manager redirects the root's children */
extern bool x11InPass;  /* EnumWindows is calling back */
extern TrackedWindow trackedWindows[MaxWindows];

/* True when the display is open, opening it and building the cache on
 * the first call; false for good once it could not be opened or is lost
 * (after one line on standard error). */
bool X11Ready(void);

/* Brings the cache up to date with every change the server has made so
 * far: one round trip, plus one per batch of changed windows. Returns
 * false when the display is gone. */
bool X11Sync(void);

/* Handles what the server has already sent and re-reads what changed. */
void X11Update(void);

/* Waits until an event arrives or the monotonic clock reaches deadline. */
void X11WaitEvent(uint64_t deadline);

/* The tracked window with this id, or NULL. */
TrackedWindow *FindTracked(xcb_window_t id);

/* The frame holding a framed client, or NULL while unknown. */
TrackedWindow *FrameOf(const TrackedWindow *window);

/* Milliseconds on the monotonic clock. */
uint64_t MonotonicMs(void);

/* The latest time the current pass may wait for the window manager, set
 * on first use; a call outside a pass gets a bound of its own. */
uint64_t PassDeadline(void);

/* Waits, within the pass bound, until the manager has finished every hide
 * and show asked for, then makes sure the server has done all requests.
 * (x11_show.cpp) */
void FinishWindowActions(void);

/* Tells FinishWindowActions that the pass changed a window. */
void NoteRequestsSent(void);

/* Text of a property, by its type, as terminated UTF-8 cut to size - 1
 * bytes; returns the length. (x11_text.cpp) */
enum TextEncoding { TextUtf8, TextLatin1, TextCompound };
int DecodeText(enum TextEncoding encoding, const char *bytes, int length, char *out, int size);

#endif
