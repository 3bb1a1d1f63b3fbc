/*
 * Activate: makes the first matching shown window, from the top of the
 * desktop's stacking order, the active one (restored if minimized,
 * raised, with the keyboard focus), and ends once it is. It waits for that
 * up to its Timeout, or a second without one; then it gives up as a Find
 * does, saying why.
 */
#include <stdint.h>

#include "../script/steps.h"
#include "actions.h"

enum { ActivateWaitMs = 1000 };

/* Why the step is not done yet: its line if it gives up. */
enum Why { NoneMatched, Disabled, NotGiven, CannotGive };

/* Activate state */
static HWND target; /* the first match of the last pass, or 0 */
static HWND asked;  /* the window asked to become active, or 0 */
static enum Why why;

static BOOL CALLBACK ActivateWindowProc(HWND window, LPARAM step)
{
	(void)step;
	if (MatchesStep(window)) {
		target = window;
		return FALSE;
	}
	return TRUE;
}

/* Windows gives the foreground only to a program the foreground program
 * allows, and a console program is not one: wincue joins the foreground
 * thread's input for the call, as the foreground program itself would
 * ask. False when the desktop cannot give a window the focus. */
static bool BringToFront(HWND window)
{
	HWND front = GetForegroundWindow();
	DWORD frontThread = front != 0 ? GetWindowThreadProcessId(front, NULL) : 0;
	DWORD own = GetCurrentThreadId();
	BOOL joined =
	    frontThread != 0 && frontThread != own && AttachThreadInput(own, frontThread, TRUE);
	BOOL given;
	DWORD error;

	if (IsIconic(window))
		ShowWindow(window, SW_RESTORE);
	SetLastError(0);
	given = SetForegroundWindow(window);
	error = GetLastError();
	if (joined)
		AttachThreadInput(own, frontThread, FALSE);
	return given || error != ERROR_NOT_SUPPORTED;
}

/* Active and not minimized: a minimized window may stay the foreground
 * one, and takes no input there. */
static bool IsActive(HWND window)
{
	return GetForegroundWindow() == window && !IsIconic(window);
}

/* One look at the desktop; true once the window is the active one. A
 * window is asked once: the desktop may take a while to answer. */
static bool ActivateOnce(void)
{
	target = 0;
	EnumWindows(ActivateWindowProc, currentStep);
	if (target == 0) {
		why = NoneMatched;
		return false;
	}
	if (!IsWindowEnabled(target)) {
		why = Disabled;
		return false;
	}
	if (IsActive(target))
		return true;
	if (target == asked)
		return false;
	asked = target;
	why = BringToFront(target) ? NotGiven : CannotGive;
	return why == NotGiven && IsActive(target);
}

void ActivateWindow(void)
{
	HANDLE timer = StartTimeLimit(ActivateWaitMs);

	windowGaveUp = 0;
	asked = 0;
	while (!ActivateOnce()) {
		if (why == CannotGive || !PauseBetweenPasses(timer)) {
			windowGaveUp = 1;
			break;
		}
	}
	EndTimeLimit(timer);
}

/* One write, so that the line never mixes with another program's. */
void ReportActivateGaveUp(void)
{
	char title[ValueSize];
	char wanted[Described];
	char reason[(int)Described + (int)ValueSize];
	unsigned long id = (unsigned long)(uintptr_t)target;
	int digits = IdDigits(target);

	memset(title, 0, sizeof title);
	if (target != 0)
		WindowTitle(target, title);
	if (why == CannotGive) {
		fprintf(stderr,
		        "wincue: [Section%d] Activate gave up: this desktop cannot give \"%s\" "
		        "(0x%0*lx) the focus\n",
		        currentStep, title, digits, id);
		return;
	}
	if (why == NoneMatched) {
		DescribeWanted(wanted);
		sprintf_s(reason, sizeof reason, "no%s", wanted);
	} else if (why == Disabled) {
		sprintf_s(reason, sizeof reason,
		          "\"%s\" (0x%0*lx) is disabled, so it refuses the focus", title, digits,
		          id);
	} else {
		sprintf_s(reason, sizeof reason,
		          "the desktop did not give \"%s\" (0x%0*lx) the focus%s", title, digits,
		          id,
		          RunsAboveUs(target)
		              ? ": its program runs at a higher integrity level than wincue"
		              : "");
	}
	fprintf(stderr, "wincue: [Section%d] Activate gave up after %ld ms: %s\n", currentStep,
	        StepTimeLimit(ActivateWaitMs), reason);
}
