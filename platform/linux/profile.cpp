#include <unistd.h>

#include "../winapi.h"

DWORD GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer)
{
	char dir[4096];
	size_t n;

	if (getcwd(dir, sizeof dir) == NULL)
		return 0;
	n = strlen(dir);
	if (n >= nBufferLength)
		return (DWORD)n + 1; /* as Windows: the size needed, buffer untouched */
	memcpy(lpBuffer, dir, n + 1);
	return (DWORD)n;
}

DWORD GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                               LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName)
{
	(void)lpAppName;
	(void)lpKeyName;
	(void)lpFileName;
	if (nSize == 0)
		return 0;
	snprintf(lpReturnedString, nSize, "%s", lpDefault ? lpDefault : "");
	return (DWORD)strlen(lpReturnedString);
}
