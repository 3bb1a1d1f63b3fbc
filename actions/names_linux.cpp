/* What wincue reads of windows and processes, how it starts a program and
 * how its lines reach a terminal, on Linux: every name is UTF-8 already,
 * whatever the script, and so is a terminal. */
#include "../script/steps.h"
#include "actions.h"

void WindowTitle(HWND window, char *title)
{
	GetWindowTextA(window, title, ValueSize);
}

void WindowClass(HWND window, char *className)
{
	GetClassNameA(window, className, ValueSize);
}

bool ProgramPath(HANDLE process, char *path)
{
	DWORD size = ValueSize;

	return QueryFullProcessImageNameA(process, 0, path, &size);
}

bool StartProgram(char *commandLine, PROCESS_INFORMATION *process)
{
	STARTUPINFOA startup;

	memset(&startup, 0, sizeof startup);
	startup.cb = sizeof startup;
	return CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup,
	                      process);
}

void ShowUtf8OnConsole(void)
{
}
