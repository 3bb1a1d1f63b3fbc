/*
 * The desktop layer behind the Windows window functions. Each desktop
 * (x11/, sway/, kwin/, gnome/, wlr/) fills one table of its own operations and keeps its
 * windows in a cache of records that begin alike; the layer picks the
 * session's desktop at the first window operation, loading that desktop's
 * module then (choice.cpp), and runs one pass over whichever it is
 * (pass.cpp). A module calls only what this header and the system's
 * declare (exports.list names them).
 */
#ifndef WINCUE_DESKTOP_H
#define WINCUE_DESKTOP_H

#include <stdint.h>

#include "../../winapi.h"
#include "../system/system.h"

enum {
	DeskNameSize = 255, /* a title or class: at most 254 bytes */
	/* Passes asking the same after pauses, over an unchanged desktop,
	 * that make a program waiting: a Find or Gone step's loop. */
	WaitingRepeats = 16,
	WaitingFallbackMs = 1000, /* the longest a waiting program goes without a look */
	PassLookMs = 500,         /* what a step's timer leaves its waits at least */
};

/* How every desktop's record of a window begins. */
struct DeskWindow {
	HWND id;                      /* 0: a free slot */
	char title[DeskNameSize];     /* UTF-8, cut between characters */
	char className[DeskNameSize]; /* the desktop's nearest to a window class */
	DWORD pid;                    /* its program's process, 0 while not known */
};

/* Window states beyond shown and hidden. */
enum { DeskMinimized = 1, DeskMaximized = 2 };

/* A desktop's windows: records of recordSize bytes, each beginning with a
 * DeskWindow, in slots that grow by doubling, found by id through an index
 * of open addressing (cache.cpp). A record's address holds until a record
 * is next added. */
struct WindowCache {
	size_t recordSize;
	char *records;
	int count; /* every record in use lies below this slot */
	int capacity;
	int freeHint; /* no slot below it is free */
	int *index;   /* slot + 1 by id; 0: empty */
	unsigned mask;
	int indexed;
};

/* The record of id, or NULL. */
DeskWindow *CacheFind(WindowCache *cache, HWND id);

/* The record of id, a new one zero-filled but for its id when it had
 * none; NULL when memory runs out. */
DeskWindow *CacheAdd(WindowCache *cache, HWND id);

void CacheRemove(WindowCache *cache, DeskWindow *window);

/* No records any more; the memory is kept. */
void CacheEmpty(WindowCache *cache);

/* The ids of the records in slot order, as a desktop's list gives them
 * (room holds size of them); returns how many there are. */
int CacheList(const WindowCache *cache, HWND *room, int size);

/* The record in a slot, free (id 0) or not. */
static inline DeskWindow *CacheAt(const WindowCache *cache, int slot)
{
	return (DeskWindow *)(cache->records + (size_t)slot * cache->recordSize);
}

static inline int CacheSlotOf(const WindowCache *cache, const DeskWindow *window)
{
	return (int)(((const char *)window - cache->records) / (ptrdiff_t)cache->recordSize);
}

/* Keeps a name the desktop told (terminated UTF-8) in out, as the system
 * cuts every text (FitText). */
void KeepName(char *out, int size, const char *name);

/* What a window query answers, each in a type of its own, so that a
 * table cannot give one desktop function for another. */
enum DeskVisibility { DeskHidden, DeskVisible };
enum DeskInput { DeskInputRefused, DeskInputTaken };
/* The states SetState sets: the ShowWindow commands of the same name. */
enum DeskStateCommand {
	DeskMinimize = SW_MINIMIZE,
	DeskMaximize = SW_MAXIMIZE,
	DeskRestore = SW_RESTORE, /* neither minimized nor maximized */
};

/* What a desktop does, over its own windows: it answers questions and
 * carries out actions. The layer does the rest, and alone decides when to
 * look again, how long to wait and for what (pass.cpp). A module fills it
 * with designated initialisers; the entries it may leave out come last. */
struct Desktop {
	/* -- required --------------------------------------------------- */
	const char *name; /* as the lines on standard error call it: "KWin" */
	WindowCache *windows;
	/* Connects; false, having written nothing, when the session runs
	 * another desktop. X11, the desktop left when no other answers,
	 * says why when it cannot open the display. */
	bool (*open)(void);
	/* A fresh look: brings the windows up to date with the desktop as it
	 * is now, having handled what it sent. False when there is no
	 * desktop to read. */
	bool (*update)(void);
	/* Handles what the desktop has sent so far, without waiting: the
	 * windows then hold all it told, and version counts it. */
	void (*drain)(void);
	/* The descriptor that becomes readable when the desktop tells
	 * something; -1 once it has gone, when nothing more can come. */
	int (*fd)(void);
	/* Changes heard so far: a pass over a desktop whose version has not
	 * moved since a look finds what that look found. */
	uint64_t (*version)(void);
	/* Puts the ids of the top-level windows in room (size of them), in
	 * the desktop's stacking order from the top where it has one;
	 * returns how many there are, which may be more than size. */
	int (*list)(HWND *room, int size);
	DeskVisibility (*isVisible)(HWND window);
	DeskInput (*isEnabled)(HWND window);
	/* Returns what ShowWindow returns. */
	BOOL (*show)(HWND window, int command);
	/* After a pass, or an action outside one; acted says it asked the
	 * desktop for changes, which then are waited for, never past
	 * PassDeadline. False once the desktop has gone. */
	bool (*finish)(bool acted);

	/* -- optional: each absence has one meaning ---------------------- */
	/* The longest a pass waits for the desktop to carry out what it
	 * asked (PassDeadline); 0: it has done so once it answers. */
	unsigned answerMs;
	/* A pass's actions are done once finish returns, and no window's
	 * program can undo them: what a window was then is what a step
	 * reads back, not what another program made of it since. Absent
	 * (false): a step reads the window as it is. */
	bool settled;
	/* The actions from here on return what the Windows functions
	 * return, and are finished as show is. NULL: the desktop cannot do
	 * it; the layer says so in one line a pass on standard error, and
	 * the step changes nothing. */
	BOOL (*enable)(HWND window, DeskInput to); /* NULL: every window takes input */
	/* Makes the window the active one: restored if minimized, raised,
	 * with the keyboard focus. */
	BOOL (*activate)(HWND window);
	/* The top-level window holding the keyboard focus, or 0. NULL: no
	 * window can be told active. */
	HWND (*active)(void);
	/* With ask, asks the window to close as its close button does;
	 * without, only tells whether it would be asked. FALSE, having
	 * asked nothing, for a window that takes no such request. */
	BOOL (*close)(HWND window, bool ask);
	/* The window's states: Desk* bits. NULL, or setState NULL: the
	 * desktop has neither state. */
	unsigned (*states)(HWND window);
	BOOL (*setState)(HWND window, DeskStateCommand command);
	/* Who cannot set a state (a Desk* bit) now, as the line names it
	 * ("this window manager"), or NULL when it can. NULL: it can set
	 * every state it has. */
	const char *(*cannot)(unsigned state);
	/* The desktop tells no window's program: a step's Process matches
	 * none of its windows, which the layer says once a step. Absent
	 * (false): a window's pid is 0 only while it is not known. */
	bool tellsNoProgram;
};

/* The layer's own (choice.cpp): the desktop chosen, choosing it at the
 * first call; and the one chosen so far, or NULL. */
const Desktop *ChosenDesktop(void);
const Desktop *DesktopIfChosen(void);

/* For tests that link a desktop into the program: it is the one the
 * window functions use, not loaded and not asked to open. */
void UseDesktop(const Desktop *desktop);

/* One line on standard error, instead of the layer's own, when the session's
 * compositor answers but cannot show its windows yet (why says what the
 * user can do); the layer then goes on over X11. */
void SayWaylandUnreached(const char *why);

/* One line on standard error when the desktop cannot be read (problem,
 * then where, e.g. the display's name), the first time only: standard
 * output carries the script's lines and nothing else. None when the
 * program reports failures itself (SetErrorMode). */
void SayDesktopLost(const char *problem, const char *where);

/* Whether a question a pass needs answered once must be asked now: true
 * outside a pass, and the first time in a pass; *askedIn, zero at the
 * start, is the question's memo. */
bool AskOncePerPass(uint64_t *askedIn);

/* The latest the current pass, or action outside one, and what the step
 * reads back after it, may wait for the desktop: the desktop's answerMs
 * after its first call, and never past the step's timer, though a step
 * whose timer is due gets PassLookMs from its first wait. While a desktop
 * opens, only the step's timer bounds it. */
uint64_t PassDeadline(void);

/* The desktop let a wait run out: the current pass waits on it no more
 * (PassDeadline is now), so a desktop that has stopped holds a step once,
 * not once a window. */
void PassGiveUp(void);

#endif
