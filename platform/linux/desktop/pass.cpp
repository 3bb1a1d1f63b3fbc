/*
 * The Windows window functions over the chosen desktop, and the one pass
 * that every desktop shares.
 *
 * A pass visits the top-level windows as they were when it began; one that
 * goes meanwhile reads as nameless, and acting on it does nothing. The
 * callback's user value names the step that asks, so a pass can tell a
 * program that asks the same again from one that asks something new: a
 * Find or Gone step asks the same pass again and again after a pause.
 * Once it has done so a few times over an unchanged desktop, its pause
 * waits until the desktop tells something new (at most a second, never
 * past the step's timer), and its passes take what the desktop has sent
 * instead of asking it afresh.
 */
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>

#include "desktop.h"

static HWND *visits; /* the windows of the current pass */
static int visitCapacity;
static bool inPass;
static bool acted;      /* the current pass asked the desktop for changes */
static uint64_t passes; /* passes begun */
static uint64_t saidIn; /* the pass that said the desktop cannot refuse input */
static bool slept;      /* the program paused since the last pass */

/* The last pass. */
static struct {
	WNDENUMPROC callback;
	LPARAM parameter;
	uint64_t version; /* the desktop's when it ended */
	bool idle;        /* it changed nothing */
	bool dead;        /* it found no desktop to read */
	int repeats;      /* passes before it that asked the same after a pause */
} last;

bool InPass(void)
{
	return inPass;
}

uint64_t PassNumber(void)
{
	return passes;
}

void WaitReadable(int fd, uint64_t end)
{
	struct pollfd p = {fd, POLLIN, 0};
	uint64_t now = NowMs();

	if (end > now)
		poll(&p, 1, (int)(end - now));
}

/* The desktop's top-level windows in visits; their number, or -1 when
 * memory runs out. */
static int ListWindows(const Desktop *desktop)
{
	int count = desktop->list(visits, visitCapacity);

	while (count > visitCapacity) {
		int capacity = visitCapacity > 0 ? visitCapacity : 64;
		while (capacity < count)
			capacity *= 2;
		HWND *grown = (HWND *)realloc(visits, (size_t)capacity * sizeof *visits);
		if (grown == NULL)
			return -1;
		visits = grown;
		visitCapacity = capacity;
		count = desktop->list(visits, visitCapacity);
	}
	return count;
}

static void NotePass(WNDENUMPROC callback, LPARAM parameter, bool same, bool dead, uint64_t version)
{
	last.repeats = same && last.dead == dead && last.version == version ? last.repeats + 1 : 0;
	last.callback = callback;
	last.parameter = parameter;
	last.version = version;
	last.idle = !acted;
	last.dead = dead;
}

BOOL EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam)
{
	const Desktop *desktop = ChosenDesktop();
	bool same = slept && last.idle && last.callback == lpEnumFunc && last.parameter == lParam;
	BOOL completed = TRUE;
	int count;

	slept = false;
	passes++;
	acted = false;
	if (!desktop->update(same && last.repeats >= WaitingRepeats) ||
	    (count = ListWindows(desktop)) < 0) {
		/* No desktop to read: the steps go on as on an empty one. */
		NotePass(lpEnumFunc, lParam, same, true, 0);
		return FALSE;
	}
	inPass = true;
	for (int i = 0; i < count; i++) {
		if (!lpEnumFunc(visits[i], lParam)) {
			completed = FALSE;
			break;
		}
	}
	inPass = false;
	NotePass(lpEnumFunc, lParam, same, false, desktop->version());
	return desktop->finish(acted) && completed;
}

/* A waiting program looks again at least every WaitingFallbackMs, and by
 * the time its timer is due. */
void DesktopSlept(uint64_t due)
{
	const Desktop *desktop = DesktopIfChosen();
	uint64_t end = NowMs() + WaitingFallbackMs;

	slept = true;
	if (desktop == NULL || !last.idle || last.repeats < WaitingRepeats)
		return;
	if (due != 0 && due < end)
		end = due;
	if (last.dead)
		WaitReadable(-1, end); /* nothing can change: a pause */
	else if (desktop->version() == last.version)
		desktop->wait(end);
}

/* -- the window functions ------------------------------------------------ */

static const char *NameOf(HWND window, bool title)
{
	DeskWindow *w = CacheFind(ChosenDesktop()->windows, window);

	if (w == NULL)
		return NULL;
	return title ? w->title : w->className;
}

/* As GetWindowTextA: cut to fit, always terminated; NULL (no such window)
 * is an empty name. */
static int CopyName(const char *name, char *out, int size)
{
	int length = 0;

	if (size <= 0)
		return 0;
	while (name != NULL && length < size - 1 && name[length] != '\0') {
		out[length] = name[length];
		length++;
	}
	out[length] = '\0';
	return length;
}

int GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount)
{
	return CopyName(NameOf(hWnd, true), lpString, nMaxCount);
}

int GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount)
{
	return CopyName(NameOf(hWnd, false), lpClassName, nMaxCount);
}

BOOL IsWindowVisible(HWND hWnd)
{
	return ChosenDesktop()->isVisible(hWnd);
}

BOOL IsWindowEnabled(HWND hWnd)
{
	return ChosenDesktop()->isEnabled(hWnd);
}

/* An action inside a pass is finished with the pass; one outside works on
 * a fresh look and is finished at once. */
static bool BeginAction(const Desktop *desktop)
{
	if (inPass)
		return true;
	last.idle = false; /* what a pass saw no longer holds */
	acted = false;
	return desktop->update(false);
}

static void EndAction(const Desktop *desktop)
{
	if (!inPass)
		desktop->finish(acted);
}

BOOL ShowWindow(HWND hWnd, int nCmdShow)
{
	const Desktop *desktop = ChosenDesktop();
	BOOL result;

	if (!BeginAction(desktop))
		return FALSE;
	acted = true;
	result = desktop->show(hWnd, nCmdShow);
	EndAction(desktop);
	return result;
}

/* A user must not believe a window locked when it is not: one line a pass
 * that met one, or a call outside a pass. */
static void SayCannotRefuseInput(const Desktop *desktop)
{
	if (inPass && saidIn == passes)
		return;
	fprintf(stderr, "wincue: %s cannot stop a window taking input: Enable changed nothing\n",
	        desktop->name);
	saidIn = inPass ? passes : 0;
}

BOOL EnableWindow(HWND hWnd, BOOL bEnable)
{
	const Desktop *desktop = ChosenDesktop();
	BOOL result;

	if (desktop->enable == NULL) {
		if (CacheFind(desktop->windows, hWnd) != NULL)
			SayCannotRefuseInput(desktop);
		return FALSE;
	}
	if (!BeginAction(desktop))
		return FALSE;
	acted = true;
	result = desktop->enable(hWnd, bEnable);
	EndAction(desktop);
	return result;
}
