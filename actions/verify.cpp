/*
 * Steps that say when they did not take. Windows accepts a request that
 * changes nothing without a word: a program running elevated ignores
 * ShowWindow and EnableWindow from one that is not, and a program may undo
 * what a step did. So each window a step acted on is read back once the
 * step's pass is over, and one line on standard error names every window
 * left otherwise, with the cause when it can be known. Standard output
 * and the exit status are those of the step as ever.
 */
#include <stdint.h>

#include "../script/steps.h"
#include "actions.h"
#include "verbs.h"

/* The windows the step acted on, in order; those past the room go
 * unchecked. */
enum { MaxActed = 1024 };
static HWND acted[MaxActed];
static int actedCount;

/* Windows ignores requests from a process below the window's program's
 * integrity level: an elevated program ignores a wincue that is not. The
 * token of either process tells whether it is elevated; -1 when it cannot
 * be read. */
static int Elevation(HANDLE process)
{
	HANDLE token;
	TOKEN_ELEVATION elevation;
	DWORD size = 0;
	int elevated = -1;

	if (!OpenProcessToken(process, TOKEN_QUERY, &token))
		return -1;
	if (GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size))
		elevated = elevation.TokenIsElevated != 0;
	CloseHandle(token);
	return elevated;
}

/* Our own level first: a desktop that tells no window's program says so
 * when asked, which a step that matches by none must not make it say. */
bool RunsAboveUs(HWND window)
{
	DWORD pid = 0;
	HANDLE process;
	int theirs;

	if (Elevation(GetCurrentProcess()) != 0)
		return false;
	GetWindowThreadProcessId(window, &pid);
	process = pid != 0 ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid) : NULL;
	if (process == NULL)
		return false;
	theirs = Elevation(process);
	CloseHandle(process);
	return theirs == 1;
}

void SayStayed(HWND window, const char *state, DWORD error)
{
	char title[ValueSize];
	const char *cause = NULL;

	memset(title, 0, sizeof title);
	WindowTitle(window, title);
	if (RunsAboveUs(window))
		cause = "its program runs at a higher integrity level than wincue";
	else if (error == ERROR_INVALID_MESSAGE)
		cause = "its program takes no request to close";
	/* One write, so that the line never mixes with another program's. */
	fprintf(stderr, "wincue: [Section%d] %s: \"%s\" (0x%0*lx) stayed %s%s%s\n", currentStep,
	        StepTable[currentStep].Action, title, IdDigits(window),
	        (unsigned long)(uintptr_t)window, state, cause != NULL ? ": " : "",
	        cause != NULL ? cause : "");
}

/* -- what each step leaves a window as -------------------------------- */

/* The errors of a query: the desktop has no such state when it fails
 * with ERROR_NOT_SUPPORTED (the Linux desktops); it has said so then. */
static bool Unsupported(void)
{
	return GetLastError() == ERROR_NOT_SUPPORTED;
}

/* Each returns the word for the window's state now, or NULL when it is
 * as the step wanted, or the desktop has no such state. */
const char *EnabledNow(HWND window)
{
	bool wanted = ValueEquals(StepTable[currentStep].Enable, "1");
	bool enabled;

	SetLastError(0);
	enabled = IsWindowEnabled(window) != FALSE;
	if (Unsupported() || enabled == wanted)
		return NULL;
	return enabled ? "enabled" : "disabled";
}

const char *ShownNow(HWND window)
{
	bool wanted = ValueEquals(StepTable[currentStep].Display, "1");
	bool shown = IsWindowVisible(window) != FALSE;

	return shown == wanted ? NULL : shown ? "shown" : "hidden";
}

/* Minimized, maximized or neither ("normal"), and which of the two
 * states the desktop has. */
static const char *StateOf(HWND window, bool *minimizes, bool *maximizes)
{
	bool minimized, maximized;

	SetLastError(0);
	minimized = IsIconic(window) != FALSE;
	*minimizes = !Unsupported();
	SetLastError(0);
	maximized = IsZoomed(window) != FALSE;
	*maximizes = !Unsupported();
	return minimized ? "minimized" : maximized ? "maximized" : "normal";
}

static const char *StateNow(HWND window, const char *wanted)
{
	bool minimizes, maximizes;
	const char *now = StateOf(window, &minimizes, &maximizes);

	if (ValueEquals(wanted, "minimized")   ? !minimizes
	    : ValueEquals(wanted, "maximized") ? !maximizes
	                                       : !minimizes && !maximizes)
		return NULL;
	return ValueEquals(now, wanted) ? NULL : now;
}

const char *MinimizedNow(HWND window)
{
	return StateNow(window, "minimized");
}

const char *MaximizedNow(HWND window)
{
	return StateNow(window, "maximized");
}

const char *RestoredNow(HWND window)
{
	return StateNow(window, "normal");
}

/* -- windows a step cannot act on, for --check ------------------------ */

bool CannotEnable(HWND window)
{
	SetLastError(0);
	IsWindowEnabled(window);
	return Unsupported();
}

static bool CannotChange(HWND window, bool minimize, bool maximize)
{
	bool minimizes, maximizes;

	StateOf(window, &minimizes, &maximizes);
	return (minimize && !minimizes) || (maximize && !maximizes) ||
	       (!minimize && !maximize && !minimizes && !maximizes);
}

bool CannotMinimize(HWND window)
{
	return CannotChange(window, true, false);
}

bool CannotMaximize(HWND window)
{
	return CannotChange(window, false, true);
}

bool CannotRestore(HWND window)
{
	return CannotChange(window, false, false);
}

/* A disabled window refuses the focus. */
bool CannotActivate(HWND window)
{
	if (!IsWindowEnabled(window))
		return true;
	SetLastError(0);
	GetForegroundWindow();
	return Unsupported();
}

/* WM_NULL asks nothing of a window; posting it fails where a WM_CLOSE
 * would not reach the window. */
bool CannotClose(HWND window)
{
	return !PostMessageA(window, WM_NULL, 0, 0);
}

bool CanAlways(HWND window)
{
	(void)window;
	return false;
}

void BeginActing(void)
{
	actedCount = 0;
}

void NoteActedOn(HWND window)
{
	if (actedCount < MaxActed)
		acted[actedCount++] = window;
}

/* Once the pass is over, the desktop has done what it was asked: a window
 * gone meanwhile is left out. */
void SayWhatStayed(void)
{
	const Verb *verb = StepVerb();

	for (int i = 0; verb != NULL && verb->stateNow != NULL && i < actedCount; i++) {
		const char *now;
		if (!IsWindow(acted[i]))
			continue;
		now = verb->stateNow(acted[i]);
		if (now != NULL)
			SayStayed(acted[i], now, 0);
	}
}

bool OutOfReach(HWND window)
{
	const Verb *verb = StepVerb();

	return verb != NULL && verb->cannot != NULL &&
	       (RunsAboveUs(window) || verb->cannot(window));
}
