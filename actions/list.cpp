/* What --list and --check show of the desktop: the windows as the window
 * steps see them. */
#include <stdint.h>

#include "../script/steps.h"
#include "actions.h"

static int matchCount;

/* Hidden, shown, or for a script requiring 1.4 also cloaked: visible to
 * Windows but not shown (on another virtual desktop). */
static const char *Visibility(HWND window)
{
	return !IsWindowVisible(window) ? "hidden" : IsShown(window) ? "shown" : "cloaked";
}

/* One line a window: its id, states, class and title, tab-separated, the
 * names read and cut as the window steps read them. */
static BOOL CALLBACK ListWindowProc(HWND window, LPARAM step)
{
	char title[ValueSize];
	char className[ValueSize];

	(void)step;
	memset(title, 0, sizeof title);
	memset(className, 0, sizeof className);
	WindowTitle(window, title);
	WindowClass(window, className);
	printf("0x%0*lx\t%s\t%s\t%s\t%s\n", IdDigits(window), (unsigned long)(uintptr_t)window,
	       Visibility(window), IsWindowEnabled(window) ? "enabled" : "disabled", className,
	       title);
	return TRUE;
}

BOOL ListWindows(void)
{
	return EnumWindows(ListWindowProc, 0);
}

static bool outOfReachOnly; /* count only the windows the step cannot act on */

static BOOL CALLBACK CountWindowProc(HWND window, LPARAM step)
{
	(void)step;
	if (MatchesStep(window) && (!outOfReachOnly || OutOfReach(window)))
		matchCount++;
	return TRUE;
}

static int Count(bool outOfReach)
{
	matchCount = 0;
	outOfReachOnly = outOfReach;
	EnumWindows(CountWindowProc, currentStep);
	return matchCount;
}

int CountMatchingWindows(void)
{
	return Count(false);
}

int CountOutOfReach(void)
{
	return Count(true);
}
