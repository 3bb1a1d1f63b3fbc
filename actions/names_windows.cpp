/* What wincue reads of windows and processes, how it starts a program and
 * how its lines reach a console, on Windows: through the ANSI functions,
 * as always, or for a script that requires 1.4 through the wide ones, the
 * names as UTF-8. */
#include "../platform/utf8.h"
#include "../script/steps.h"
#include "actions.h"

/* A script of 1.4 or later is Unicode (script/unicode.cpp). */
static bool Unicode(void)
{
	return Requires("1.4");
}

/* length UTF-16 units as UTF-8 into out (size bytes), cut between
 * characters; a lone surrogate becomes U+FFFD, as the script reader makes
 * it. */
static void PutUtf8(const WCHAR *text, int length, char *out, size_t size)
{
	char whole[3 * ValueSize + 1];
	int n = length > 0
	            ? WideCharToMultiByte(CP_UTF8, 0, text, length, whole, sizeof whole, NULL, NULL)
	            : 0;
	size_t kept = FitText(whole, n > 0 ? (size_t)n : 0, size);

	memcpy(out, whole, kept);
	out[kept] = '\0';
}

void WindowTitle(HWND window, char *title)
{
	WCHAR wide[ValueSize];

	if (!Unicode())
		GetWindowTextA(window, title, ValueSize);
	else
		PutUtf8(wide, GetWindowTextW(window, wide, ValueSize), title, ValueSize);
}

void WindowClass(HWND window, char *className)
{
	WCHAR wide[ValueSize];

	if (!Unicode())
		GetClassNameA(window, className, ValueSize);
	else
		PutUtf8(wide, GetClassNameW(window, wide, ValueSize), className, ValueSize);
}

bool ProgramPath(HANDLE process, char *path)
{
	WCHAR wide[ValueSize];
	DWORD size = ValueSize;

	if (!Unicode())
		return QueryFullProcessImageNameA(process, 0, path, &size);
	if (!QueryFullProcessImageNameW(process, 0, wide, &size))
		return false;
	PutUtf8(wide, (int)size, path, PathSize);
	return true;
}

bool StartProgram(char *commandLine, PROCESS_INFORMATION *process)
{
	STARTUPINFOA startup;
	STARTUPINFOW wideStartup;
	WCHAR wide[ValueSize];

	if (!Unicode()) {
		memset(&startup, 0, sizeof startup);
		startup.cb = sizeof startup;
		return CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup,
		                      process);
	}
	/* The value is at most ValueSize - 1 bytes, so as many units at most. */
	if (MultiByteToWideChar(CP_UTF8, 0, commandLine, -1, wide, ValueSize) == 0)
		return false;
	memset(&wideStartup, 0, sizeof wideStartup);
	wideStartup.cb = sizeof wideStartup;
	return CreateProcessW(NULL, wide, NULL, NULL, FALSE, 0, NULL, NULL, &wideStartup, process);
}

static UINT consoleCodePage; /* the console's own, while wincue shows UTF-8 */

static void RestoreConsole(void)
{
	if (consoleCodePage != 0)
		SetConsoleOutputCP(consoleCodePage);
	consoleCodePage = 0;
}

/* Ctrl+C, Ctrl+Break or the console closed: the default handler ends
 * the process, without the exit handlers. */
static BOOL WINAPI RestoreOnEnd(DWORD event)
{
	(void)event;
	RestoreConsole();
	return FALSE;
}

void ShowUtf8OnConsole(void)
{
	DWORD mode;

	if (consoleCodePage != 0 || (!GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) &&
	                             !GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode)))
		return;
	consoleCodePage = GetConsoleOutputCP();
	if (consoleCodePage == CP_UTF8 || !SetConsoleOutputCP(CP_UTF8)) {
		consoleCodePage = 0;
		return;
	}
	atexit(RestoreConsole);
	SetConsoleCtrlHandler(RestoreOnEnd, TRUE);
}
