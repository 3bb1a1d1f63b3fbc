/*
 * testwindows: makes top-level windows on request, so that tests can act
 * on them with wincue and read back what the desktop says about them.
 * One command a line on standard input, fields separated by tabs:
 *
 *   (at start)                     -> ready
 *   create CLASS TITLE [FLAGS]     -> created ID   (IDs count from 0)
 *   state                          -> CLASS TITLE visible=0|1 enabled=0|1
 *                                     for each window in order, then end
 *   look                           -> as state, then minimized=0|1
 *                                     maximized=0|1 active=0|1, then end
 *   show ID, close ID              -> shown ID, closed ID
 *   title ID TITLE                 -> titled ID
 *   ids                            -> each window's handle (0x and 8 hex
 *                                     digits) in order, then end
 *   quit, or the end of the input  -> exits; its windows go with it
 *
 * FLAGS, a comma list: hidden; maximized, minimized (shown so; both: minimized
 * from maximized); asks (WM_CLOSE asks a user who never answers: the window
 * stays); reenable, reshow (the window enables itself again when disabled,
 * shows itself again when hidden, before the call that did it returns).
 * Anything else gets "error ..." back. A window closes on WM_CLOSE. The main
 * thread owns the windows and keeps pumping their messages: another program's
 * ShowWindow and EnableWindow on them wait until this thread has handled
 * them. A second thread reads the input and hands each line over.
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

/* What a window does besides the default, in its GWLP_USERDATA. */
enum { Asks = 1, Reenables = 2, Reshows = 4 };
/* How a window is shown first, beside them in a create line's flags. */
enum { Maximized = 8, Minimized = 16, Hidden = 32 };

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
	LONG_PTR flags = GetWindowLongPtrA(window, GWLP_USERDATA);

	if (message == WM_CLOSE && (flags & Asks))
		return 0;
	if (message == WM_ENABLE && !wParam && (flags & Reenables))
		EnableWindow(window, TRUE);
	if (message == WM_WINDOWPOSCHANGED && (flags & Reshows) &&
	    (((const WINDOWPOS *)lParam)->flags & SWP_HIDEWINDOW))
		ShowWindow(window, SW_SHOWNA);
	return DefWindowProcW(window, message, wParam, lParam);
}

/* The flags of a create line, or -1 for one it does not know. */
static LONG_PTR ParseFlags(char *text)
{
	static const struct {
		const char *name;
		LONG_PTR flag;
	} known[] = {{"hidden", Hidden},  {"asks", Asks},           {"reenable", Reenables},
	             {"reshow", Reshows}, {"maximized", Maximized}, {"minimized", Minimized}};
	LONG_PTR flags = 0;

	for (char *flag = strtok(text, ","); flag != NULL; flag = strtok(NULL, ",")) {
		size_t i = 0;
		while (i < sizeof known / sizeof known[0] && strcmp(flag, known[i].name) != 0)
			i++;
		if (i == sizeof known / sizeof known[0])
			return -1;
		flags |= known[i].flag;
	}
	return flags;
}

static BOOL EnsureClass(const WCHAR *className)
{
	HINSTANCE instance = GetModuleHandleA(NULL);
	WNDCLASSW wc;

	if (GetClassInfoW(instance, className, &wc))
		return TRUE;
	memset(&wc, 0, sizeof wc);
	wc.lpfnWndProc = WindowProc;
	wc.hInstance = instance;
	wc.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
	wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
	wc.lpszClassName = className;
	return RegisterClassW(&wc) != 0;
}

/* Names come as UTF-8, and the windows are Unicode ones, so that a window
 * can bear any language whatever the code page. */
static bool Wide(const char *text, WCHAR *wide)
{
	return MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, 512) > 0;
}

static BOOL SetTitle(HWND window, const char *title)
{
	WCHAR wide[512];

	return Wide(title, wide) && SetWindowTextW(window, wide);
}

static void CreateTestWindow(char **fields, int n)
{
	LONG_PTR flags = n == 4 ? ParseFlags(fields[3]) : 0;
	HWND window = NULL;
	WCHAR className[512];

	/* The title comes last, once the window is shown: a program waiting
	 * for that title never meets the window half made. */
	if (n >= 3 && flags >= 0 && fields[1][0] != '\0' && windowCount < MaxWindows &&
	    Wide(fields[1], className) && EnsureClass(className))
		window = CreateWindowExW(0, className, L"", WS_OVERLAPPEDWINDOW,
		                         40 + 20 * windowCount, 40 + 20 * windowCount, 240, 120,
		                         NULL, NULL, GetModuleHandleA(NULL), NULL);
	if (window == NULL) {
		Reply("error create\n");
		return;
	}
	SetWindowLongPtrA(window, GWLP_USERDATA, flags & (Asks | Reenables | Reshows));
	if (!(flags & Hidden))
		ShowWindow(window, (flags & Maximized) ? SW_SHOWMAXIMIZED : SW_SHOW);
	if (flags & Minimized)
		ShowWindow(window, SW_MINIMIZE);
	SetTitle(window, fields[2]);
	windows[windowCount++] = window;
	Reply("created %d\n", windowCount - 1);
}

/* show ID, close ID, title ID TITLE; the reply (shown, closed, titled)
 * is the command's word and the window's ID. */
static void ActOnWindow(char **fields, int n)
{
	bool title = strcmp(fields[0], "title") == 0;
	bool show = strcmp(fields[0], "show") == 0;
	int id = n == (title ? 3 : 2) ? atoi(fields[1]) : -1;

	if (id < 0 || id >= windowCount || (title && !SetTitle(windows[id], fields[2]))) {
		Reply("error %s\n", fields[0]);
		return;
	}
	if (show)
		ShowWindow(windows[id], SW_SHOW);
	else if (!title)
		DestroyWindow(windows[id]);
	Reply("%s%s %d\n", fields[0], show ? "n" : "d", id);
}

/* ids: each window's handle; state: its class, title, visible and
 * enabled; look: these, then minimized, maximized and active. */
static void Report(const char *what)
{
	char className[NameSize], title[NameSize];

	for (int i = 0; i < windowCount; i++) {
		HWND w = windows[i];
		if (strcmp(what, "ids") == 0) {
			Reply("0x%08lx\n", (unsigned long)(ULONG_PTR)w);
			continue;
		}
		if (!IsWindow(w)) {
			Reply("gone\n");
			continue;
		}
		className[0] = title[0] = '\0';
		GetClassNameA(w, className, sizeof className);
		GetWindowTextA(w, title, sizeof title);
		Reply("%s\t%s\tvisible=%d\tenabled=%d", className, title,
		      IsWindowVisible(w) ? 1 : 0, IsWindowEnabled(w) ? 1 : 0);
		if (strcmp(what, "look") == 0)
			Reply("\tminimized=%d\tmaximized=%d\tactive=%d", IsIconic(w) ? 1 : 0,
			      IsZoomed(w) ? 1 : 0, GetForegroundWindow() == w ? 1 : 0);
		Reply("\n");
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
	else if (n == 1 && (strcmp(fields[0], "state") == 0 || strcmp(fields[0], "look") == 0 ||
	                    strcmp(fields[0], "ids") == 0))
		Report(fields[0]);
	else if (strcmp(fields[0], "show") == 0 || strcmp(fields[0], "close") == 0 ||
	         strcmp(fields[0], "title") == 0)
		ActOnWindow(fields, n);
	else
		Reply("error unknown command\n");
	return true;
}

int main(void)
{
	HANDLE reader;
	MSG msg;

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
		while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
			TranslateMessage(&msg);
			DispatchMessageA(&msg);
		}
	}
	/* The windows go with the process. (Destroying them one by one first
	 * costs Wine two seconds for each shown window when no window manager
	 * runs: it waits for one to confirm the unmap.) */
	ExitProcess(0);
}
