/* The action words, one row each: what a section with the word must give,
 * the keys it reads, what runs it, and how its effect on a window is read
 * back. Adding a verb is adding a row (actions/verbs.cpp); the loader, the
 * runner and the window steps all look the word up here. */
#ifndef WINCUE_VERBS_H
#define WINCUE_VERBS_H

#include "../platform/winapi.h"

/* What a section needs beside its word. */
enum VerbNeed : unsigned char {
	NeedFlag,   /* its value key is "0" or "1" */
	NeedWindow, /* Text or ClassName, or both */
	NeedValue,  /* its value key is not empty */
	NeedVersion /* a version this wincue has, in [Section0] */
};

/* The extension keys a word reads (script/load.cpp says since which
 * version each is taken); a word never needs a Require, since an older
 * wincue rejects a word it does not know with the block. */
enum { TakesTimeout = 1, TakesVisible = 2, TakesMatch = 4, TakesVersion = 8 };
enum { WaitTakes = TakesTimeout | TakesVisible | TakesMatch };

enum {
	PicksWindows = 1, /* by Text and ClassName: counted by --check */
	ShownOnly = 2     /* a hidden window never matches, Visible or not */
};

struct Verb {
	const char *word;
	VerbNeed need;
	/* The key whose value it requires and echoes (StepKey); a window
	 * step echoes Text and ClassName. */
	unsigned char key;
	unsigned char takes;  /* Takes* bits */
	unsigned char traits; /* PicksWindows, ShownOnly */
	void (*run)(void);
	/* Its line on standard error when it gave up; NULL: it never does. */
	void (*gaveUp)(void);
	/* What a window it acted on is now, as the line names it, or NULL
	 * when as wanted or unknown to the desktop; NULL: the step says what
	 * stayed itself, or acts on no window. */
	const char *(*stateNow)(HWND window);
	/* Whether it cannot act on the window (the desktop lacks the state
	 * or the action); NULL: it acts on no window. */
	bool (*cannot)(HWND window);
};

extern const Verb verbs[];
extern const int verbCount;

/* The row of a word, or NULL. */
const Verb *VerbOf(const char *word);

/* The row of the step at currentStep, or NULL. */
const Verb *StepVerb(void);

#endif
