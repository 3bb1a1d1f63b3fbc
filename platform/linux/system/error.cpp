/* GetLastError and SetLastError: one program thread, one last error. */
#include "../../winapi.h"

static DWORD lastError;

DWORD GetLastError(void)
{
	return lastError;
}

void SetLastError(DWORD dwErrCode)
{
	lastError = dwErrCode;
}
