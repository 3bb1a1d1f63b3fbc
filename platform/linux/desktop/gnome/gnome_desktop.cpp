/*
 * The GNOME desktop's table. Hidden is minimized: a window the shell
 * minimized (for wincue or its user) reads as hidden, and showing it
 * restores it without activating it. Disabled is the extension's own mark:
 * the shell keeps the pointer and the focus off such a window.
 */
#include "gnome.h"

/* The extension tells every change as it happens: the cache is current
 * once what has come is handled, for a waiting program and any other. */
static bool Update(bool waiting)
{
	(void)waiting;
	GnomeDrain();
	return GnomeAlive();
}

static uint64_t Version(void)
{
	return gnomeChanges;
}

static int List(HWND *room, int size)
{
	return CacheList(&gnomeCache, room, size);
}

static BOOL IsWindowShown(HWND hWnd)
{
	const GnomeWindow *w = GnomeFind(hWnd);

	return w != NULL && !w->minimized;
}

static BOOL TakesInput(HWND hWnd)
{
	const GnomeWindow *w = GnomeFind(hWnd);

	return w != NULL && !w->disabled;
}

/* Returns whether the window was visible before, as Windows does. */
static BOOL ShowWindowOnGnome(HWND hWnd, int nCmdShow)
{
	GnomeWindow *w = GnomeFind(hWnd);
	bool hide = nCmdShow == SW_HIDE;
	int was;

	if (w == NULL)
		return FALSE;
	if (w->minimized == hide)
		return !hide;
	was = GnomeSet(GnomeMinimize, hWnd, hide);
	if (was < 0)
		return FALSE;
	if ((w = GnomeFind(hWnd)) != NULL) /* the extension's signal says so too */
		w->minimized = hide;
	return !was;
}

/* Returns whether the window was disabled before, as Windows does. */
static BOOL EnableWindowOnGnome(HWND hWnd, BOOL bEnable)
{
	GnomeWindow *w = GnomeFind(hWnd);
	int wasEnabled;

	if (w == NULL)
		return FALSE;
	wasEnabled = GnomeSet(GnomeEnable, hWnd, bEnable != FALSE);
	if (wasEnabled < 0)
		return FALSE;
	if ((w = GnomeFind(hWnd)) != NULL)
		w->disabled = !bEnable;
	return !wasEnabled;
}

static bool Finish(bool acted)
{
	(void)acted;
	GnomeDrain();
	return GnomeAlive();
}

/* Messages that came since the last update end the wait at once; once the
 * shell has gone, nothing can change: it just pauses. */
static void Wait(uint64_t end)
{
	uint64_t before = gnomeChanges;

	GnomeDrain();
	if (gnomeChanges == before)
		GnomeWaitMessage(end);
}

const Desktop gnomeDesktop = {
    "GNOME Shell", &gnomeCache,       GnomeConnect,        Update, Version, List, IsWindowShown,
    TakesInput,    ShowWindowOnGnome, EnableWindowOnGnome, Finish, Wait,
};
