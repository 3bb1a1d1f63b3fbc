/*
 * EnumWindows over the copy of sway's tree, the names and the shown state
 * it holds, and the waits. A pass asking something new reads the tree
 * afresh (one round trip); a program waiting for the desktop to change
 * sleeps on the event socket, and its passes read the tree again only
 * once sway has reported a change, or a second has gone by.
 */
#include "../../winapi.h"
#include "../waiting.h"
#include "sway.h"

static HWND *visits; /* the windows of the current pass */
static int visitCapacity;
static bool inPass;
static bool waited;        /* the last Sleep waited for a change */
static bool readOnce;      /* the copy has been read */
static uint64_t readAt;    /* swayChanges when the copy was read */
static uint64_t readMs;    /* and when */
static uint64_t actedFrom; /* swayChanges as the pass began */
uint64_t swayPasses;

bool SwayInPass(void)
{
	return inPass;
}

/* A waiting program's pass trusts the copy until sway reports a change
 * (or the fallback time passes); any other reads the tree. */
static bool Refresh(bool trustCopy)
{
	if (!SwayTakeEvents())
		return false;
	if (trustCopy && readOnce && readAt == swayChanges && NowMs() - readMs < WaitingFallbackMs)
		return true;
	readOnce = true;
	readAt = swayChanges;
	readMs = NowMs();
	return SwayReadTree();
}

SwayWindow *SwayWindowOf(HWND hWnd)
{
	if (!inPass && !Refresh(false))
		return NULL;
	return SwayFind((uint64_t)hWnd);
}

/* Room for count visits; false when memory runs out. */
static bool GrowVisits(int count)
{
	HWND *grown;
	int wanted = visitCapacity == 0 ? 64 : visitCapacity;

	if (count <= visitCapacity)
		return true;
	while (wanted < count)
		wanted *= 2;
	grown = (HWND *)realloc(visits, (size_t)wanted * sizeof *visits);
	if (grown == NULL)
		return false;
	visits = grown;
	visitCapacity = wanted;
	return true;
}

/* Visits the windows as they were when the pass began; one that goes
 * meanwhile reads as nameless, and acting on it does nothing. */
static BOOL SwayEnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam)
{
	int count;
	BOOL completed = TRUE;
	bool fresh = Refresh(waited);

	waited = false;
	swayPasses++;
	if (!fresh) {
		NotePass(lpEnumFunc, lParam, swayChanges, false);
		return FALSE; /* no desktop to read: the steps go on as on an empty one */
	}
	count = swayWindowCount;
	if (!GrowVisits(count))
		return FALSE; /* out of memory: a failure, as Windows has them */
	for (int i = 0; i < count; i++)
		visits[i] = (HWND)swayWindows[i].id;
	actedFrom = swayChanges;
	inPass = true;
	for (int i = 0; i < count; i++) {
		if (!lpEnumFunc(visits[i], lParam)) {
			completed = FALSE;
			break;
		}
	}
	inPass = false;
	NotePass(lpEnumFunc, lParam, swayChanges, swayChanges != actedFrom);
	return completed && SwayAlive();
}

/* Copies a name of the copy, cut to fit and always terminated. */
static int CopyName(HWND window, bool title, char *out, int size)
{
	const SwayWindow *w;
	const char *name;
	int length = 0;

	if (size <= 0)
		return 0;
	out[0] = '\0';
	w = SwayWindowOf(window);
	if (w == NULL)
		return 0;
	name = title ? w->title : w->className;
	while (length < size - 1 && name[length] != '\0') {
		out[length] = name[length];
		length++;
	}
	out[length] = '\0';
	return length;
}

static int SwayGetWindowText(HWND hWnd, LPSTR lpString, int nMaxCount)
{
	return CopyName(hWnd, true, lpString, nMaxCount);
}

static int SwayGetClassName(HWND hWnd, LPSTR lpClassName, int nMaxCount)
{
	return CopyName(hWnd, false, lpClassName, nMaxCount);
}

/* Hidden means in the scratchpad: a window on another workspace is
 * visible, as on Windows. */
static BOOL SwayIsWindowVisible(HWND hWnd)
{
	const SwayWindow *w = SwayWindowOf(hWnd);

	return w != NULL && !w->hidden;
}

/* A program asking the same pass again and again over an unchanged tree
 * sleeps until sway reports a change. */
static void SwaySlept(uint64_t due)
{
	uint64_t end;

	SwayTakeEvents();
	waited = IsWaiting(swayChanges, due, &end);
	if (waited)
		WaitReadable(SwayEventDescriptor(), end);
}

static bool Open(void)
{
	return SwayConnect();
}

const Desktop swayDesktop = {
    "sway",
    Open,
    SwayEnumWindows,
    SwayGetWindowText,
    SwayGetClassName,
    SwayShowWindow,
    SwayEnableWindow,
    SwayIsWindowVisible,
    SwayIsWindowEnabled,
    SwaySlept,
};
