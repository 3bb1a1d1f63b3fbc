/*
 * The X11 desktop's table. The cache is kept current by the server's
 * events: a fresh look is one round trip, and between looks what the
 * server sent is handled as it comes.
 */
#include "../../../winapi.h"
#include "x11.h"

static bool Update(void)
{
	return X11Ready() && X11Sync();
}

static void Drain(void)
{
	if (X11Ready())
		X11Drain();
}

static uint64_t Version(void)
{
	return x11Changes;
}

/* As Windows sees it: a window is shown once it can be seen, and under a
 * manager (which may still be taking it in) once managed, minimized
 * included, as Windows keeps a minimized window visible. */
static DeskVisibility IsWindowShown(HWND hWnd)
{
	const X11Window *w;

	if (!X11Alive() || hWnd == 0 || hWnd > UINT32_MAX)
		return DeskHidden;
	w = X11Find((xcb_window_t)hWnd);
	if (w == NULL)
		return DeskHidden;
	return (X11ManagerInvolved(w) ? X11IsShown(w) : X11IsViewable(w)) ? DeskVisible
	                                                                  : DeskHidden;
}

static DeskInput TakesInput(HWND hWnd)
{
	return X11IsWindowEnabled(hWnd) ? DeskInputTaken : DeskInputRefused;
}

/* X11 is the desktop left when no other answers: opening always picks
 * it, having said why when the display cannot be opened. */
static bool Open(void)
{
	X11Ready();
	return true;
}

const Desktop x11Desktop = {
    .name = "X11",
    .windows = &x11Cache,
    .open = Open,
    .update = Update,
    .drain = Drain,
    .fd = X11Descriptor,
    .version = Version,
    .list = X11List,
    .isVisible = IsWindowShown,
    .isEnabled = TakesInput,
    .show = X11ShowWindow,
    .finish = X11FinishPass,
    .answerMs = X11WaitBoundMs,
    .enable = X11EnableWindow,
    .activate = X11Activate,
    .active = X11Active,
    .close = X11Close,
    .states = X11States,
    .setState = X11SetState,
    .cannot = X11Cannot,
};
