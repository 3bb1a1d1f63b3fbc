#include "test_desktop.h"
#include "script/steps.h"

#include <stdarg.h>

/* Window state and the log; everything is reset per test. */
static TestWindow windows[MaxTestWindows];
static bool gone[MaxTestWindows];
static int windowCount, passes;
static DWORD now, due; /* a clock that only waits move, in ms */
static bool timerMade;
static HWND foreground;
int testDesktopVisits, testDesktopTitleReads, testDesktopClassReads, testDesktopHooks;
char testDesktopLog[4096];

/* Window events and the hooks that hear them. */
enum { MaxTestEvents = 8, MaxTestHooks = 8 };
static TestEvent events[MaxTestEvents];
static bool delivered[MaxTestEvents];
static int eventCount = -1; /* -1: no hook takes */
static struct {
	DWORD first, last;
	WINEVENTPROC proc;
} hooks[MaxTestHooks];

void TestDesktopReset(const TestWindow *list, int count, const TestEvent *heard, int heardCount)
{
	if (count > MaxTestWindows || heardCount > MaxTestEvents)
		abort();
	memset(gone, 0, sizeof gone);
	memcpy(windows, list, count * sizeof *list);
	windowCount = count;
	passes = testDesktopVisits = testDesktopTitleReads = testDesktopClassReads =
	    testDesktopHooks = 0;
	now = due = 0;
	timerMade = false;
	foreground = 0;
	testDesktopLog[0] = '\0';
	if (heardCount > 0)
		memcpy(events, heard, heardCount * sizeof *heard);
	eventCount = heardCount;
	memset(hooks, 0, sizeof hooks);
	memset(delivered, 0, sizeof delivered);
}

/* A full log means a loop that does not end (a Find that never finds):
 * stop the test program rather than hang. */
static void Record(const char *format, ...)
{
	size_t used = strlen(testDesktopLog);
	va_list ap;
	int n;

	if (used > 0 && used < sizeof testDesktopLog - 1)
		testDesktopLog[used++] = ' ';
	va_start(ap, format);
	n = vsnprintf(testDesktopLog + used, sizeof testDesktopLog - used, format, ap);
	va_end(ap);
	if (n < 0 || (size_t)n >= sizeof testDesktopLog - used) {
		fprintf(stderr, "test desktop: event log full, a loop never ended\n");
		abort();
	}
}

/* The window behind a handle while it can still be used, else NULL. */
static TestWindow *Lookup(HWND handle)
{
	bool held = handle >= 1 && handle <= (HWND)windowCount && !gone[handle - 1];

	return held ? &windows[handle - 1] : NULL;
}

BOOL EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam)
{
	passes++;
	Record(lParam == currentStep ? "pass" : "pass(%ld)", (long)lParam);
	for (int i = 0; i < windowCount; i++) {
		if (gone[i] || passes <= windows[i].appearsAfter)
			continue;
		/* Handed out, but gone before its names can be read. */
		if (windows[i].vanishes == VanishesBeforeReads)
			gone[i] = true;
		testDesktopVisits++;
		if (!lpEnumFunc((HWND)(i + 1), lParam))
			return TRUE;
	}
	return TRUE;
}

/* As Windows: the name cut to fit with its terminator; on failure 0 and
 * the buffer left untouched. */
static int CopyName(const char *name, LPSTR buffer, int size)
{
	int n = (int)strlen(name);

	if (size <= 0)
		return 0;
	if (n > size - 1)
		n = size - 1;
	memcpy(buffer, name, (size_t)n);
	buffer[n] = '\0';
	return n;
}

int GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount)
{
	TestWindow *w = Lookup(hWnd);

	testDesktopTitleReads++;
	if (w == NULL)
		return 0;
	if (w->vanishes == VanishesBetweenReads)
		gone[hWnd - 1] = true;
	return CopyName(w->title, lpString, nMaxCount);
}

int GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount)
{
	TestWindow *w = Lookup(hWnd);

	testDesktopClassReads++;
	return w ? CopyName(w->className, lpClassName, nMaxCount) : 0;
}

BOOL EnableWindow(HWND hWnd, BOOL bEnable)
{
	TestWindow *w = Lookup(hWnd);
	BOOL wasDisabled = w && !w->enabled;

	Record("enable(%lu,%d)", (unsigned long)hWnd, bEnable);
	if (w)
		w->enabled = bEnable != FALSE;
	return wasDisabled;
}

BOOL ShowWindow(HWND hWnd, int nCmdShow)
{
	TestWindow *w = Lookup(hWnd);
	BOOL wasVisible = w && w->visible;

	Record("show(%lu,%d)", (unsigned long)hWnd, nCmdShow);
	if (w == NULL)
		return FALSE;
	if (nCmdShow == SW_SHOW || nCmdShow == SW_HIDE)
		w->visible = nCmdShow == SW_SHOW;
	/* As Windows: a window minimized from maximized comes back so. */
	if (nCmdShow == SW_MAXIMIZE || (nCmdShow == SW_RESTORE && !w->minimized))
		w->maximized = nCmdShow == SW_MAXIMIZE;
	if (nCmdShow == SW_MINIMIZE || nCmdShow == SW_MAXIMIZE || nCmdShow == SW_RESTORE)
		w->minimized = nCmdShow == SW_MINIMIZE;
	return wasVisible;
}

void Sleep(DWORD dwMilliseconds)
{
	Record("sleep(%lu)", (unsigned long)dwMilliseconds);
}

HANDLE CreateWaitableTimerA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR)
{
	timerMade = true;
	return &timerMade;
}

BOOL SetWaitableTimer(HANDLE timer, const LARGE_INTEGER *dueTime, LONG, PTIMERAPCROUTINE, LPVOID,
                      BOOL)
{
	due = now + (DWORD)(-dueTime->QuadPart / 10000);
	Record("timer(%lu)", (unsigned long)(due - now));
	return timer == &timerMade;
}

BOOL CloseHandle(HANDLE handle)
{
	if (handle == &timerMade)
		Record("close");
	timerMade = timerMade && handle != &timerMade;
	return TRUE;
}

HRESULT DwmGetWindowAttribute(HWND hwnd, DWORD dwAttribute, PVOID pvAttribute, DWORD)
{
	TestWindow *w = Lookup(hwnd);

	if (w == NULL || dwAttribute != DWMWA_CLOAKED)
		return -1;
	*(DWORD *)pvAttribute = w->cloaked;
	return S_OK;
}

/* What Windows tells of a window: FALSE for one gone. */
#define WINDOW_STATE(name, state)                                                                  \
	BOOL name(HWND hWnd)                                                                       \
	{                                                                                          \
		TestWindow *w = Lookup(hWnd);                                                      \
		return w != NULL && (state);                                                       \
	}
WINDOW_STATE(IsWindow, true)
WINDOW_STATE(IsWindowVisible, w->visible)
WINDOW_STATE(IsWindowEnabled, w->enabled)
WINDOW_STATE(IsIconic, w->minimized)
WINDOW_STATE(IsZoomed, w->maximized && !w->minimized)

HWND GetForegroundWindow(void)
{
	return foreground;
}

/* A disabled window refuses the focus. */
BOOL SetForegroundWindow(HWND hWnd)
{
	TestWindow *w = Lookup(hWnd);

	Record("activate(%lu)", (unsigned long)hWnd);
	if (w && w->enabled)
		foreground = hWnd;
	return w && w->enabled;
}

BOOL PostMessageA(HWND hWnd, UINT, WPARAM, LPARAM)
{
	return Lookup(hWnd) != NULL;
}

DWORD GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId)
{
	DWORD id = Lookup(hWnd) != NULL ? (DWORD)hWnd : 0;

	if (lpdwProcessId != NULL)
		*lpdwProcessId = id;
	return id;
}

/* No process the desktop knows is wincue's own; none carries a token. */
HANDLE GetCurrentProcess(void)
{
	return (HANDLE)(uintptr_t)0xffff;
}

DWORD GetCurrentThreadId(void)
{
	return 0xffff;
}

HANDLE OpenProcess(DWORD, BOOL, DWORD dwProcessId)
{
	TestWindow *w = Lookup(dwProcessId);

	return w && w->program ? (HANDLE)(uintptr_t)dwProcessId : NULL;
}

BOOL QueryFullProcessImageNameA(HANDLE hProcess, DWORD, LPSTR lpExeName, PDWORD lpdwSize)
{
	TestWindow *w = Lookup((HWND)(uintptr_t)hProcess);

	if (!w || !w->program || strlen(w->program) >= *lpdwSize)
		return FALSE;
	*lpdwSize = (DWORD)strlen(w->program);
	memcpy(lpExeName, w->program, *lpdwSize + 1);
	return TRUE;
}

/* What this desktop refuses: it starts nothing (the steps' table names
 * Cmd's executor too), holds no frame host's window, no process token and
 * no thread to join. */
#define REFUSED(declaration)                                                                       \
	declaration                                                                                \
	{                                                                                          \
		return 0;                                                                          \
	}
REFUSED(BOOL CreateProcessA(LPCSTR, LPSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL,
                            DWORD, LPVOID, LPCSTR, LPSTARTUPINFOA, LPPROCESS_INFORMATION))
REFUSED(HWND FindWindowExA(HWND, HWND, LPCSTR, LPCSTR))
REFUSED(BOOL OpenProcessToken(HANDLE, DWORD, PHANDLE))
REFUSED(BOOL GetTokenInformation(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD))
REFUSED(BOOL AttachThreadInput(DWORD, DWORD, BOOL))

HWND GetAncestor(HWND hwnd, UINT)
{
	return hwnd >= 100 ? 1 : Lookup(hwnd) != NULL ? hwnd : 0;
}

HWINEVENTHOOK SetWinEventHook(DWORD eventMin, DWORD eventMax, HMODULE, WINEVENTPROC pfnWinEventProc,
                              DWORD, DWORD, DWORD)
{
	if (eventCount < 0)
		return NULL;
	for (int i = 0; i < MaxTestHooks; i++) {
		if (hooks[i].proc == NULL) {
			hooks[i] = {eventMin, eventMax, pfnWinEventProc};
			testDesktopHooks++;
			return &hooks[i];
		}
	}
	return NULL;
}

BOOL UnhookWinEvent(HWINEVENTHOOK hWinEventHook)
{
	for (int i = 0; i < MaxTestHooks; i++) {
		if (hWinEventHook == &hooks[i] && hooks[i].proc != NULL) {
			hooks[i].proc = NULL;
			testDesktopHooks--;
			return TRUE;
		}
	}
	return FALSE;
}

/* The hook that hears the next event not yet dispatched, or -1; that
 * event in *next. An event no hook hears never comes. */
static int NextHeard(int *next)
{
	for (int e = 0; e < eventCount; e++) {
		if (delivered[e])
			continue;
		for (int h = 0; h < MaxTestHooks; h++) {
			if (hooks[h].proc != NULL && hooks[h].first <= events[e].code &&
			    events[e].code <= hooks[h].last) {
				*next = e;
				return h;
			}
		}
	}
	return -1;
}

DWORD MsgWaitForMultipleObjects(DWORD nCount, const HANDLE *pHandles, BOOL, DWORD dwMilliseconds,
                                DWORD)
{
	DWORD until = now + dwMilliseconds;
	int next = 0;
	bool timed = nCount == 1;

	Record(timed ? "wait(%lu)" : "sleep(%lu)", (unsigned long)dwMilliseconds);
	if (timed && (pHandles[0] != &timerMade || !timerMade))
		return WAIT_FAILED;
	if (timed && due < until)
		until = due;
	if (NextHeard(&next) >= 0 && events[next].at < until)
		until = events[next].at > now ? events[next].at : now;
	now = until;
	if (timed && now >= due)
		return WAIT_OBJECT_0;
	if (NextHeard(&next) >= 0 && events[next].at <= now)
		return WAIT_OBJECT_0 + nCount;
	return WAIT_TIMEOUT;
}

BOOL PeekMessageA(LPMSG lpMsg, HWND, UINT, UINT, UINT wRemoveMsg)
{
	int next = 0;

	if (wRemoveMsg != PM_REMOVE || NextHeard(&next) < 0 || events[next].at > now)
		return FALSE;
	memset(lpMsg, 0, sizeof *lpMsg);
	lpMsg->wParam = (WPARAM)next;
	return TRUE;
}

/* Runs the hook as Windows does for an event from another program. */
LRESULT DispatchMessageA(const MSG *lpMsg)
{
	int next = 0;
	int hook = NextHeard(&next);
	const TestEvent *e = &events[lpMsg->wParam];

	if (hook < 0 || next != (int)lpMsg->wParam)
		return 0;
	Record("event(%lx,%lu)", (unsigned long)e->code, (unsigned long)e->window);
	delivered[next] = true;
	hooks[hook].proc(&hooks[hook], e->code, e->window, e->object, CHILDID_SELF, 0, now);
	return 0;
}

DWORD GetTickCount(void)
{
	return now;
}
