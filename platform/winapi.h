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

/* How a program's file name is told from the path Windows gives, and
 * compared: without case, as Windows names files. */
enum { PathSeparator = '\\', FileNamesIgnoreCase = 1 };

/* The shell cloaks a window on another virtual desktop, which Windows
 * still calls visible. dwmapi.dll's function, looked up when first called
 * (platform/windows/dwm.cpp) so that the program imports no other DLL;
 * where it is missing or knows no cloaking (before Windows 8) it fails
 * and leaves the value as it was. */
enum { DWMWA_CLOAKED = 14 };
HRESULT WINAPI DwmGetWindowAttribute(HWND hwnd, DWORD dwAttribute, PVOID pvAttribute,
                                     DWORD cbAttribute);
#else
#include <stddef.h>
#include <stdint.h>

#define WINAPI
#define CALLBACK
#define TRUE 1
#define FALSE 0
#define SW_HIDE 0
#define SW_MAXIMIZE 3
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_RESTORE 9
#define WM_NULL 0x0000
#define WM_CLOSE 0x0010
#define ERROR_ACCESS_DENIED 5
#define ERROR_NOT_SUPPORTED 50
#define ERROR_INVALID_MESSAGE 1002
#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000
#define TOKEN_QUERY 0x0008
#define WAIT_OBJECT_0 0
#define WAIT_TIMEOUT 258
#define WAIT_FAILED 0xFFFFFFFF
#define SEM_FAILCRITICALERRORS 0x0001
#define QS_ALLINPUT 0x04FF
#define PM_REMOVE 0x0001
#define WINEVENT_OUTOFCONTEXT 0x0000
#define WINEVENT_SKIPOWNPROCESS 0x0002
#define EVENT_SYSTEM_FOREGROUND 0x0003
#define EVENT_SYSTEM_MINIMIZESTART 0x0016
#define EVENT_SYSTEM_MINIMIZEEND 0x0017
#define EVENT_OBJECT_CREATE 0x8000
#define EVENT_OBJECT_DESTROY 0x8001
#define EVENT_OBJECT_SHOW 0x8002
#define EVENT_OBJECT_HIDE 0x8003
#define EVENT_OBJECT_STATECHANGE 0x800A
#define EVENT_OBJECT_NAMECHANGE 0x800C
#define OBJID_WINDOW 0
#define OBJID_CURSOR (-9)
#define CHILDID_SELF 0
#define GA_ROOT 2
#define DWMWA_CLOAKED 14
#define S_OK 0
#define GENERIC_READ 0x80000000u
#define FILE_SHARE_READ 0x1
#define FILE_SHARE_WRITE 0x2
#define FILE_SHARE_DELETE 0x4
#define OPEN_EXISTING 3
#define FILE_ATTRIBUTE_NORMAL 0x80
#define FILE_BEGIN 0
#define INVALID_SET_FILE_POINTER ((DWORD)-1)
#define FILE_TYPE_DISK 0x0001
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

typedef int BOOL;
typedef unsigned int UINT;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint16_t WORD;
typedef unsigned char BYTE;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef void *LPVOID, *PVOID;
typedef LONG HRESULT;
typedef void *HANDLE;
typedef intptr_t LPARAM;
typedef uintptr_t WPARAM;
typedef DWORD *LPDWORD, *PDWORD;
typedef HANDLE *PHANDLE;
typedef LONG *PLONG;
typedef struct _OVERLAPPED *LPOVERLAPPED;
typedef uintptr_t HWND; /* an X11 window id on Linux */
typedef BOOL(CALLBACK *WNDENUMPROC)(HWND, LPARAM);
typedef void(CALLBACK *PTIMERAPCROUTINE)(LPVOID, DWORD, DWORD);
typedef intptr_t LRESULT;
typedef void *HMODULE;
typedef void *HWINEVENTHOOK;
typedef void(CALLBACK *WINEVENTPROC)(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD);

typedef struct {
	LONG x, y;
} POINT;

typedef struct {
	HWND hwnd;
	UINT message;
	WPARAM wParam;
	LPARAM lParam;
	DWORD time;
	POINT pt;
} MSG, *LPMSG;

typedef struct {
	int64_t QuadPart;
} LARGE_INTEGER;

typedef enum { TokenElevation = 20 } TOKEN_INFORMATION_CLASS;

typedef struct {
	DWORD TokenIsElevated;
} TOKEN_ELEVATION;

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
DWORD GetPrivateProfileSectionA(LPCSTR lpAppName, LPSTR lpReturnedString, DWORD nSize,
                                LPCSTR lpFileName);
/* Only opening an existing regular file for reading, the name taken as
 * GetPrivateProfileStringA takes it; CloseHandle closes it. */
HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                     DWORD dwMoveMethod);
/* What CreateFileA opens is a regular file: FILE_TYPE_DISK. */
DWORD GetFileType(HANDLE hFile);
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
/* No message ever comes: the wait is WaitForSingleObject's on the timer
 * (nCount 1), or Sleep's (nCount 0). */
DWORD MsgWaitForMultipleObjects(DWORD nCount, const HANDLE *pHandles, BOOL fWaitAll,
                                DWORD dwMilliseconds, DWORD dwWakeMask);
DWORD GetTickCount(void);

/* Processes as the window steps see them: platform/linux/system/process.cpp.
 * Linux processes carry no Windows token (OpenProcessToken fails), and no
 * thread takes another's input (AttachThreadInput fails). */
HANDLE GetCurrentProcess(void);
DWORD GetCurrentThreadId(void);
HANDLE OpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwProcessId);
BOOL QueryFullProcessImageNameA(HANDLE hProcess, DWORD dwFlags, LPSTR lpExeName, PDWORD lpdwSize);
BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle);
BOOL GetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass,
                         LPVOID TokenInformation, DWORD TokenInformationLength,
                         PDWORD ReturnLength);
BOOL AttachThreadInput(DWORD idAttach, DWORD idAttachTo, BOOL fAttach);

/* The calling thread's last error: platform/linux/system/error.cpp. The desktop
 * stand-ins set ERROR_NOT_SUPPORTED where the desktop has no such state or
 * action. */
DWORD GetLastError(void);
void SetLastError(DWORD dwErrCode);

/* With SEM_FAILCRITICALERRORS the program reports failures itself, and the
 * X11 layer does not: platform/linux/process.cpp */
UINT SetErrorMode(UINT uMode);
UINT GetErrorMode(void);

/* The desktop: platform/linux/desktop/. Windows' child windows are never
 * visited, so FindWindowExA finds none. */
BOOL EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam);
int GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount);
int GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount);
BOOL EnableWindow(HWND hWnd, BOOL bEnable);
BOOL ShowWindow(HWND hWnd, int nCmdShow);
BOOL IsWindowVisible(HWND hWnd);
BOOL IsWindowEnabled(HWND hWnd);
BOOL IsWindow(HWND hWnd);
BOOL IsIconic(HWND hWnd);
BOOL IsZoomed(HWND hWnd);
HWND GetForegroundWindow(void);
BOOL SetForegroundWindow(HWND hWnd);
BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
DWORD GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId);
HWND FindWindowExA(HWND hWndParent, HWND hWndChildAfter, LPCSTR lpszClass, LPCSTR lpszWindow);
HWND GetAncestor(HWND hwnd, UINT gaFlags);
/* No desktop here cloaks a window: DWMWA_CLOAKED reads 0. */
HRESULT DwmGetWindowAttribute(HWND hwnd, DWORD dwAttribute, PVOID pvAttribute, DWORD cbAttribute);

/* Window events and the message queue: platform/linux/desktop/pass.cpp.
 * The desktops tell their changes to the pass itself, not as window
 * events: SetWinEventHook fails with ERROR_NOT_SUPPORTED, and the queue
 * stays empty. */
HWINEVENTHOOK SetWinEventHook(DWORD eventMin, DWORD eventMax, HMODULE hmodWinEventProc,
                              WINEVENTPROC pfnWinEventProc, DWORD idProcess, DWORD idThread,
                              DWORD dwFlags);
BOOL UnhookWinEvent(HWINEVENTHOOK hWinEventHook);
BOOL PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg);
LRESULT DispatchMessageA(const MSG *lpMsg);

/* The Microsoft runtime's bounded formatter: platform/linux/format.cpp */
int sprintf_s(char *buffer, size_t sizeOfBuffer, const char *format, ...);

/* A program's file name is the last part of its path, compared exactly. */
enum { PathSeparator = '/', FileNamesIgnoreCase = 0 };
#endif

#endif
