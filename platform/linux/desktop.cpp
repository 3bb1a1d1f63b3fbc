/*
 * Which desktop the window functions act on. A Wayland compositor shows
 * a program's windows to outside programs only through an interface of
 * its own, when it has one; every other session is reached over X11,
 * which also holds a Wayland session's XWayland windows.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "desktop.h"

/* Compositors with an interface of their own, tried in turn. */
static const Desktop *const compositors[] = {
    &swayDesktop,
    &kwinDesktop,
};

static const Desktop *chosen;

static const Desktop *Choose(void)
{
	const char *wayland = getenv("WAYLAND_DISPLAY");

	if (wayland == NULL || wayland[0] == '\0')
		return &x11Desktop;
	for (size_t i = 0; i < sizeof compositors / sizeof compositors[0]; i++)
		if (compositors[i]->open())
			return compositors[i];
	fputs("wincue: this Wayland desktop shows other programs none of its own windows: "
	      "only XWayland windows can be reached\n",
	      stderr);
	return &x11Desktop;
}

static const Desktop *Chosen(void)
{
	if (chosen == NULL)
		chosen = Choose();
	return chosen;
}

void SayDesktopLost(const char *problem, const char *where)
{
	static bool said;

	if (said || (GetErrorMode() & SEM_FAILCRITICALERRORS))
		return;
	said = true;
	fprintf(stderr, "wincue: %s \"%s\"; going on as a desktop with no windows\n", problem,
	        where ? where : "");
}

int CopyName(const char *name, char *out, int size)
{
	int length = 0;

	if (size <= 0)
		return 0;
	while (name != NULL && length < size - 1 && name[length] != '\0') {
		out[length] = name[length];
		length++;
	}
	out[length] = '\0';
	return length;
}

void KeepName(char *out, int size, const char *name)
{
	int length = 0;

	while (length < size - 1 && name[length] != '\0')
		length++;
	if (name[length] != '\0') /* cut: back to the start of a character */
		while (length > 0 && ((unsigned char)name[length] & 0xC0) == 0x80)
			length--;
	memcpy(out, name, (size_t)length);
	out[length] = '\0';
}

void DesktopSlept(uint64_t due)
{
	if (chosen != NULL)
		chosen->slept(due);
}

BOOL EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam)
{
	return Chosen()->enumWindows(lpEnumFunc, lParam);
}

int GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount)
{
	return Chosen()->getWindowText(hWnd, lpString, nMaxCount);
}

int GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount)
{
	return Chosen()->getClassName(hWnd, lpClassName, nMaxCount);
}

BOOL ShowWindow(HWND hWnd, int nCmdShow)
{
	return Chosen()->showWindow(hWnd, nCmdShow);
}

BOOL EnableWindow(HWND hWnd, BOOL bEnable)
{
	return Chosen()->enableWindow(hWnd, bEnable);
}

BOOL IsWindowVisible(HWND hWnd)
{
	return Chosen()->isWindowVisible(hWnd);
}

BOOL IsWindowEnabled(HWND hWnd)
{
	return Chosen()->isWindowEnabled(hWnd);
}
