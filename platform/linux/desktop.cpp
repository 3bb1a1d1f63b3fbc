#include "../winapi.h"

/* A desktop with no windows: Enable and Display steps find nothing to
 * act on, and a Find step waits. */
BOOL EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam)
{
	(void)lpEnumFunc;
	(void)lParam;
	return TRUE;
}

int GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount)
{
	(void)hWnd;
	if (nMaxCount > 0)
		lpString[0] = '\0';
	return 0;
}

int GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount)
{
	(void)hWnd;
	if (nMaxCount > 0)
		lpClassName[0] = '\0';
	return 0;
}

BOOL EnableWindow(HWND hWnd, BOOL bEnable)
{
	(void)hWnd;
	(void)bEnable;
	return FALSE;
}

BOOL ShowWindow(HWND hWnd, int nCmdShow)
{
	(void)hWnd;
	(void)nCmdShow;
	return FALSE;
}
