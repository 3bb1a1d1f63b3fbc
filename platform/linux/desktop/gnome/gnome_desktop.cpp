/*
 * The GNOME desktop's table. Hidden is minimized: a window the shell
 * minimized (for wincue or its user) reads as hidden, and showing it
 * restores it without activating it. Disabled is the extension's own mark:
 * the shell keeps the pointer and the focus off such a window.
 */
#include "gnome.h"

/* The extension tells every change as it happens: the cache is current
 * once what has come is handled, for a waiting program and any other. */
static bool Update(void)
{
	GnomeDrain();
	return GnomeAlive();
}

static uint64_t Version(void)
{
	return gnomeChanges;
}

/* From the top of the shell's stack down; a window the order does not
 * hold yet (it has just come) goes after those it does. */
static int List(HWND *room, int size)
{
	int count = 0;

	for (int i = gnomeStackingCount - 1; i >= 0; i--) {
		if (GnomeFind(gnomeStacking[i]) == NULL)
			continue;
		if (count < size)
			room[count] = gnomeStacking[i];
		count++;
	}
	for (int slot = 0; slot < gnomeCache.count; slot++) {
		HWND id = CacheAt(&gnomeCache, slot)->id;
		bool stacked = false;
		for (int i = 0; i < gnomeStackingCount && !stacked; i++)
			stacked = gnomeStacking[i] == id;
		if (id == 0 || stacked)
			continue;
		if (count < size)
			room[count] = id;
		count++;
	}
	return count;
}

static DeskVisibility IsWindowShown(HWND hWnd)
{
	const GnomeWindow *w = GnomeFind(hWnd);

	return w != NULL && !w->minimized ? DeskVisible : DeskHidden;
}

static DeskInput TakesInput(HWND hWnd)
{
	const GnomeWindow *w = GnomeFind(hWnd);

	return w != NULL && !w->disabled ? DeskInputTaken : DeskInputRefused;
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

/* Returns whether the window was disabled before, as Windows does; the
 * pass's enables and disables go to the shell together when it ends. */
static BOOL EnableWindowOnGnome(HWND hWnd, DeskInput to)
{
	const GnomeWindow *w = GnomeFind(hWnd);

	if (w == NULL)
		return FALSE;
	GnomeOrderEnabled(hWnd, to == DeskInputTaken);
	return w->disabled;
}

/* The shell activates it: raised, with the focus; the extension hands the
 * focus on at once from a disabled window. */
static BOOL Activate(HWND hWnd)
{
	return GnomeFind(hWnd) != NULL && GnomeAsk("Activate", hWnd);
}

static HWND Active(void)
{
	return GnomeFind(gnomeActive) != NULL ? gnomeActive : 0;
}

/* As the window's close button does: its program is asked. */
static BOOL Close(HWND hWnd, bool ask)
{
	if (GnomeFind(hWnd) == NULL)
		return FALSE;
	return !ask || GnomeAsk("Close", hWnd);
}

/* A minimized window is a hidden one, as Display=0 leaves it. */
static unsigned States(HWND hWnd)
{
	const GnomeWindow *w = GnomeFind(hWnd);

	if (w == NULL)
		return 0;
	return (w->minimized ? DeskMinimized : 0) | (w->maximized ? DeskMaximized : 0);
}

/* Restore makes a shown window neither maximized nor minimized; the steps
 * that set states act on shown windows only. */
static BOOL SetState(HWND hWnd, DeskStateCommand nCmdShow)
{
	GnomeWindow *w = GnomeFind(hWnd);
	bool minimize = nCmdShow == SW_MINIMIZE;
	bool maximize = nCmdShow == SW_MAXIMIZE;
	int was = 0;

	if (w == NULL)
		return FALSE;
	if (minimize || (nCmdShow == SW_RESTORE && w->minimized))
		was = GnomeSet(GnomeMinimize, hWnd, minimize);
	if (was >= 0 && (maximize || (nCmdShow == SW_RESTORE && w->maximized)))
		was = GnomeSet(GnomeMaximize, hWnd, maximize);
	if (was < 0)
		return FALSE;
	if ((w = GnomeFind(hWnd)) != NULL) { /* the extension's signal says so too */
		w->minimized = minimize;
		w->maximized = maximize;
	}
	return TRUE;
}

/* A call the shell did not answer leaves the cache to the step, which
 * reads back the windows it could not act on. */
static bool Finish(bool acted)
{
	if (acted && !GnomeCarryOut())
		return false;
	GnomeDrain();
	return GnomeAlive();
}

/* Each command is done when the extension answers it. */
const Desktop gnomeDesktop = {
    .name = "GNOME Shell",
    .windows = &gnomeCache,
    .open = GnomeConnect,
    .update = Update,
    .drain = GnomeDrain,
    .fd = GnomeDescriptor,
    .version = Version,
    .list = List,
    .isVisible = IsWindowShown,
    .isEnabled = TakesInput,
    .show = ShowWindowOnGnome,
    .finish = Finish,
    .settled = true,
    .enable = EnableWindowOnGnome,
    .activate = Activate,
    .active = Active,
    .close = Close,
    .states = States,
    .setState = SetState,
};
