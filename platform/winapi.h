/*
 * The one door to the operating system. The rest of wincue calls the
 * Windows functions by their Windows names; on Windows this is the real
 * <windows.h>, elsewhere it declares our own stand-ins (platform/linux/)
 * with the same names, signatures and meanings.
 */
#ifndef WINCUE_WINAPI_H
#define WINCUE_WINAPI_H

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <stddef.h>
#include <stdint.h>

#define WINAPI
#define CALLBACK
#define TRUE 1
#define FALSE 0
#define SW_HIDE 0
#define SW_SHOW 5
#define WAIT_OBJECT_0 0
#define WAIT_TIMEOUT 258
#define WAIT_FAILED 0xFFFFFFFF
#define SEM_FAILCRITICALERRORS 0x0001

typedef int BOOL;
typedef unsigned int UINT;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint16_t WORD;
typedef unsigned char BYTE;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef void *LPVOID;
typedef void *HANDLE;
typedef intptr_t LPARAM;
typedef uintptr_t HWND; /* an X11 window id on Linux */
typedef BOOL(CALLBACK *WNDENUMPROC)(HWND, LPARAM);
typedef void(CALLBACK *PTIMERAPCROUTINE)(LPVOID, DWORD, DWORD);

typedef struct {
	int64_t QuadPart;
} LARGE_INTEGER;

typedef struct {
	DWORD cb;
	LPSTR lpReserved;
	LPSTR lpDesktop;
	LPSTR lpTitle;
	DWORD dwX, dwY, dwXSize, dwYSize;
	DWORD dwXCountChars, dwYCountChars;
	DWORD dwFillAttribute;
	DWORD dwFlags;
	WORD wShowWindow;
	WORD cbReserved2;
	BYTE *lpReserved2;
	HANDLE hStdInput, hStdOutput, hStdError;
} STARTUPINFOA, *LPSTARTUPINFOA;

typedef struct {
	HANDLE hProcess;
	HANDLE hThread;
	DWORD dwProcessId;
	DWORD dwThreadId;
} PROCESS_INFORMATION, *LPPROCESS_INFORMATION;

typedef struct {
	DWORD nLength;
	LPVOID lpSecurityDescriptor;
	BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

/* Files and processes: platform/linux/profile.cpp, process.cpp */
DWORD GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer);
DWORD GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                               LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName);
void Sleep(DWORD dwMilliseconds);
BOOL CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine,
                    LPSECURITY_ATTRIBUTES lpProcessAttributes,
                    LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                    DWORD dwCreationFlags, LPVOID lpEnvironment, LPCSTR lpCurrentDirectory,
                    LPSTARTUPINFOA lpStartupInfo, LPPROCESS_INFORMATION lpProcessInformation);
BOOL CloseHandle(HANDLE hObject);

/* Waitable timers, with Sleep: platform/linux/process.cpp */
HANDLE CreateWaitableTimerA(LPSECURITY_ATTRIBUTES lpTimerAttributes, BOOL bManualReset,
                            LPCSTR lpTimerName);
BOOL SetWaitableTimer(HANDLE hTimer, const LARGE_INTEGER *lpDueTime, LONG lPeriod,
                      PTIMERAPCROUTINE pfnCompletionRoutine, LPVOID lpArgToCompletionRoutine,
                      BOOL fResume);
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);

/* With SEM_FAILCRITICALERRORS the program reports failures itself, and the
 * X11 layer does not: platform/linux/process.cpp */
UINT SetErrorMode(UINT uMode);
UINT GetErrorMode(void);

/* The desktop, X11: platform/linux/x11*.cpp */
BOOL EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam);
int GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount);
int GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount);
BOOL EnableWindow(HWND hWnd, BOOL bEnable);
BOOL ShowWindow(HWND hWnd, int nCmdShow);
BOOL IsWindowVisible(HWND hWnd);
BOOL IsWindowEnabled(HWND hWnd);

/* The Microsoft runtime's bounded formatter: platform/linux/format.cpp */
int sprintf_s(char *buffer, size_t sizeOfBuffer, const char *format, ...);
#endif

#endif
