#include <errno.h>
#include <time.h>

#include "../winapi.h"

/* Suspends for the whole time, also when a signal interrupts it. */
void Sleep(DWORD dwMilliseconds)
{
	struct timespec left;

	left.tv_sec = dwMilliseconds / 1000;
	left.tv_nsec = (long)(dwMilliseconds % 1000) * 1000000L;
	while (nanosleep(&left, &left) == -1 && errno == EINTR)
		;
}

BOOL CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine,
                    LPSECURITY_ATTRIBUTES lpProcessAttributes,
                    LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                    DWORD dwCreationFlags, LPVOID lpEnvironment, LPCSTR lpCurrentDirectory,
                    LPSTARTUPINFOA lpStartupInfo, LPPROCESS_INFORMATION lpProcessInformation)
{
	(void)lpApplicationName;
	(void)lpCommandLine;
	(void)lpProcessAttributes;
	(void)lpThreadAttributes;
	(void)bInheritHandles;
	(void)dwCreationFlags;
	(void)lpEnvironment;
	(void)lpCurrentDirectory;
	(void)lpStartupInfo;
	(void)lpProcessInformation;
	return FALSE;
}

BOOL CloseHandle(HANDLE hObject)
{
	(void)hObject;
	return TRUE;
}
