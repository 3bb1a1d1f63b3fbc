/*
 * testwindows: makes top-level windows on request, so that tests can act
 * on them with wincue and read back what the desktop says about them.
 * One command a line on standard input, fields separated by tabs:
 *
 *   (at start)                     -> ready
 *   create CLASS TITLE [hidden]    -> created ID   (IDs count from 0)
 *   state                          -> CLASS TITLE visible=0|1 enabled=0|1
 *                                     for each window in order, then end
 *   show ID, close ID              -> shown ID, closed ID
 *   ids                            -> each window's handle (0x and 8 hex
 *                                     digits) in order, then end
 *   quit, or the end of the input  -> exits; its windows go with it
 *
 * Anything else gets "error ..." back. The main thread owns the windows
 * and keeps pumping their messages: another program's ShowWindow and
 * EnableWindow on them wait until this thread has handled them. A second
 * thread reads the input and hands each line over.
 */
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

enum { LineSize = 1024, MaxFields = 4, MaxWindows = 256, NameSize = 256 };

static HWND windows[MaxWindows];
static int windowCount;

/* The reader fills line, then signals lineReady and waits for lineTaken. */
static char line[LineSize];
static volatile LONG inputEnded;
static HANDLE lineReady, lineTaken;

static DWORD WINAPI ReadInput(LPVOID unused)
{
	(void)unused;
	for (;;) {
		WaitForSingleObject(lineTaken, INFINITE);
		if (fgets(line, sizeof line, stdin) == NULL) {
			InterlockedExchange(&inputEnded, 1);
			SetEvent(lineReady);
			return 0;
		}
		SetEvent(lineReady);
	}
}

/* Each reply reaches the pipe at once: the test waits on it. */
static void Reply(const char *format, ...)
{
	va_list ap;

	va_start(ap, format);
	vprintf(format, ap);
	va_end(ap);
	fflush(stdout);
}

/* Cuts the line at its tabs; returns the number of fields. */
static int SplitFields(char *text, char **fields)
{
	int n = 0;

	text[strcspn(text, "\r\n")] = '\0';
	fields[n++] = text;
	while (n < MaxFields && (text = strchr(text, '\t')) != NULL) {
		*text++ = '\0';
		fields[n++] = text;
	}
	return n;
}

static BOOL EnsureClass(const char *className)
{
	HINSTANCE instance = GetModuleHandleA(NULL);
	WNDCLASSA wc;

	if (GetClassInfoA(instance, className, &wc))
		return TRUE;
	memset(&wc, 0, sizeof wc);
	wc.lpfnWndProc = DefWindowProcA;
	wc.hInstance = instance;
	wc.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
	wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
	wc.lpszClassName = className;
	return RegisterClassA(&wc) != 0;
}

static void CreateTestWindow(char **fields, int n)
{
	bool hidden = n == 4 && strcmp(fields[3], "hidden") == 0;
	HWND window;

	if (n < 3 || (n == 4 && !hidden) || fields[1][0] == '\0' || windowCount == MaxWindows ||
	    !EnsureClass(fields[1])) {
		Reply("error create\n");
		return;
	}
	/* The title comes last, once the window is shown: a program waiting
	 * for that title never meets the window half made. */
	window = CreateWindowExA(0, fields[1], "", WS_OVERLAPPEDWINDOW, 40 + 20 * windowCount,
	                         40 + 20 * windowCount, 240, 120, NULL, NULL,
	                         GetModuleHandleA(NULL), NULL);
	if (window == NULL) {
		Reply("error create\n");
		return;
	}
	if (!hidden)
		ShowWindow(window, SW_SHOW);
	SetWindowTextA(window, fields[2]);
	windows[windowCount++] = window;
	Reply("created %d\n", windowCount - 1);
}

static void ChangeWindow(char **fields, int n)
{
	bool show = strcmp(fields[0], "show") == 0;
	int id = n == 2 ? atoi(fields[1]) : -1;

	if (id < 0 || id >= windowCount) {
		Reply("error %s\n", fields[0]);
		return;
	}
	if (show)
		ShowWindow(windows[id], SW_SHOW);
	else
		DestroyWindow(windows[id]);
	Reply("%s %d\n", show ? "shown" : "closed", id);
}

static void ReportIds(void)
{
	for (int i = 0; i < windowCount; i++)
		Reply("0x%08lx\n", (unsigned long)(ULONG_PTR)windows[i]);
	Reply("end\n");
}

static void ReportState(void)
{
	char className[NameSize], title[NameSize];

	for (int i = 0; i < windowCount; i++) {
		if (!IsWindow(windows[i])) {
			Reply("gone\n");
			continue;
		}
		className[0] = title[0] = '\0';
		GetClassNameA(windows[i], className, sizeof className);
		GetWindowTextA(windows[i], title, sizeof title);
		Reply("%s\t%s\tvisible=%d\tenabled=%d\n", className, title,
		      IsWindowVisible(windows[i]) ? 1 : 0, IsWindowEnabled(windows[i]) ? 1 : 0);
	}
	Reply("end\n");
}

/* Returns false once the program should end. */
static bool HandleLine(void)
{
	char *fields[MaxFields];
	int n;

	if (inputEnded)
		return false;
	n = SplitFields(line, fields);
	if (strcmp(fields[0], "quit") == 0)
		return false;
	if (strcmp(fields[0], "create") == 0)
		CreateTestWindow(fields, n);
	else if (strcmp(fields[0], "state") == 0 && n == 1)
		ReportState();
	else if (strcmp(fields[0], "ids") == 0 && n == 1)
		ReportIds();
	else if (strcmp(fields[0], "show") == 0 || strcmp(fields[0], "close") == 0)
		ChangeWindow(fields, n);
	else
		Reply("error unknown command\n");
	return true;
}

static void PumpMessages(void)
{
	MSG msg;

	while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
		TranslateMessage(&msg);
		DispatchMessageA(&msg);
	}
}

int main(void)
{
	HANDLE reader;

	lineReady = CreateEventA(NULL, FALSE, FALSE, NULL);
	lineTaken = CreateEventA(NULL, FALSE, TRUE, NULL);
	reader = CreateThread(NULL, 0, ReadInput, NULL, 0, NULL);
	if (lineReady == NULL || lineTaken == NULL || reader == NULL)
		return 1;
	Reply("ready\n");
	for (;;) {
		DWORD woken =
		    MsgWaitForMultipleObjects(1, &lineReady, FALSE, INFINITE, QS_ALLINPUT);

		if (woken == WAIT_OBJECT_0) {
			if (!HandleLine())
				break;
			SetEvent(lineTaken);
		}
		PumpMessages();
	}
	/* The windows go with the process. (Destroying them one by one first
	 * costs Wine two seconds for each shown window when no window manager
	 * runs: it waits for one to confirm the unmap.) */
	ExitProcess(0);
}
