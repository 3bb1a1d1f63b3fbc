#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "../../winapi.h"
#include "cmdline.h"
#include "system.h"

/* What a Windows process has from the start. A write to a pipe or socket
 * whose reader has gone fails there; here SIGPIPE would end wincue instead
 * (its output piped to a reader that quits, or the X server going away
 * mid-request). And its standard streams are never taken by a file or the
 * X connection, which would then receive the script's lines. */
__attribute__((constructor)) static void SetUpLikeWindows(void)
{
	signal(SIGPIPE, SIG_IGN);
	for (int fd = 0; fd < 3; fd++)
		if (fcntl(fd, F_GETFD) == -1)
			open("/dev/null", O_RDWR); /* the lowest free descriptor: fd */
}

/* Suspends for the whole time, also when a signal interrupts it; 0 only
 * gives up the rest of the time slice. */
static void Nap(DWORD milliseconds)
{
	struct timespec left;

	if (milliseconds == 0) {
		sched_yield();
		return;
	}
	left.tv_sec = milliseconds / 1000;
	left.tv_nsec = (long)(milliseconds % 1000) * 1000000L;
	while (nanosleep(&left, &left) == -1 && errno == EINTR)
		;
}

uint64_t NowMs(void)
{
	struct timespec now;

	clock_gettime(CLOCK_MONOTONIC, &now);
	return (uint64_t)now.tv_sec * 1000 + (uint64_t)now.tv_nsec / 1000000;
}

void WaitReadable(int fd, uint64_t end)
{
	struct pollfd p = {fd, POLLIN, 0};
	uint64_t now = NowMs();

	if (end > now)
		poll(&p, 1, (int)(end - now));
}

static PauseHook pauseHook;

void SetPauseHook(PauseHook hook)
{
	pauseHook = hook;
}

static void Paused(uint64_t due)
{
	if (pauseHook != NULL)
		pauseHook(due);
}

/* As on Windows the time is a least: it runs on while the program waits
 * for the desktop to change (the pause hook). */
void Sleep(DWORD dwMilliseconds)
{
	Nap(dwMilliseconds);
	Paused(0);
}

/* The one waitable timer a step needs at a time: a deadline on the
 * monotonic clock, in ms. */
static struct {
	bool made;
	bool set;
	uint64_t due;
	uint64_t settings; /* how many times it was set */
} timer;

/* Only what wincue asks for: an unnamed manual-reset timer. */
HANDLE CreateWaitableTimerA(LPSECURITY_ATTRIBUTES lpTimerAttributes, BOOL bManualReset,
                            LPCSTR lpTimerName)
{
	if (timer.made || lpTimerAttributes != NULL || !bManualReset || lpTimerName != NULL)
		return NULL;
	timer.made = true;
	timer.set = false;
	return &timer;
}

/* A relative due time (negative, in 100 ns units), once, with no routine. */
BOOL SetWaitableTimer(HANDLE hTimer, const LARGE_INTEGER *lpDueTime, LONG lPeriod,
                      PTIMERAPCROUTINE pfnCompletionRoutine, LPVOID lpArgToCompletionRoutine,
                      BOOL fResume)
{
	(void)lpArgToCompletionRoutine;
	if (hTimer != &timer || !timer.made || lpDueTime == NULL || lpDueTime->QuadPart > 0 ||
	    lPeriod != 0 || pfnCompletionRoutine != NULL || fResume)
		return FALSE;
	timer.due = NowMs() + (uint64_t)(-(lpDueTime->QuadPart / 10000));
	timer.set = true;
	timer.settings++;
	return TRUE;
}

uint64_t TimerDue(uint64_t *setting)
{
	if (setting != NULL)
		*setting = timer.settings;
	return timer.made && timer.set ? timer.due : 0;
}

/* Waits for the timer, at most dwMilliseconds; like Sleep, longer while
 * the program waits for the desktop, but never past the timer. */
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
	uint64_t now = NowMs();
	uint64_t due = timer.set ? timer.due : UINT64_MAX;

	if (hHandle != &timer || !timer.made)
		return WAIT_FAILED;
	if (now < due) {
		Nap(due - now < dwMilliseconds ? (DWORD)(due - now) : dwMilliseconds);
		Paused(due);
	}
	return NowMs() >= due ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

/* Only the one timer, or nothing, to wait for. */
DWORD MsgWaitForMultipleObjects(DWORD nCount, const HANDLE *pHandles, BOOL fWaitAll,
                                DWORD dwMilliseconds, DWORD dwWakeMask)
{
	(void)fWaitAll;
	(void)dwWakeMask;
	if (nCount == 1)
		return WaitForSingleObject(pHandles[0], dwMilliseconds);
	if (nCount != 0)
		return WAIT_FAILED;
	Sleep(dwMilliseconds);
	return WAIT_TIMEOUT;
}

DWORD GetTickCount(void)
{
	return (DWORD)NowMs();
}
static UINT errorMode;

UINT SetErrorMode(UINT uMode)
{
	UINT was = errorMode;

	errorMode = uMode;
	return was;
}

UINT GetErrorMode(void)
{
	return errorMode;
}

/* Start reports travel on a close-on-exec pipe as ints: a positive one is
 * the started program's pid, anything else a failure to start it. */
static void Report(int report, int value)
{
	while (write(report, &value, sizeof value) == -1 && errno == EINTR)
		;
}

/* Only the standard streams pass to the program. Marking the rest
 * close-on-exec, not closing them, keeps the report pipe until exec. */
static void CloseOtherDescriptors(void)
{
	long last;

	if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0)
		return;
	last = sysconf(_SC_OPEN_MAX); /* kernels before 5.11 */
	for (long fd = 3; fd < last; fd++)
		fcntl((int)fd, F_SETFD, FD_CLOEXEC);
}

/* The program's side: what wincue set up for itself (handlers, ignored
 * signals, the blocked mask of the fork) does not carry over. */
[[noreturn]] static void RunProgram(const char *program, char *const argv[], int report)
{
	struct sigaction byDefault;
	sigset_t none;

	memset(&byDefault, 0, sizeof byDefault);
	byDefault.sa_handler = SIG_DFL;
	for (int sig = 1; sig < NSIG; sig++)
		sigaction(sig, &byDefault, NULL);
	sigemptyset(&none);
	sigprocmask(SIG_SETMASK, &none, NULL);
	CloseOtherDescriptors();
	execvp(program, argv); /* program has a slash: no PATH search, but a
	                          script without #! still runs under sh */
	Report(report, errno > 0 ? -errno : -1);
	_exit(127);
}

/* The middle process of the double fork: it leaves wincue's session and
 * process group, starts the program and ends at once, so the program is
 * not wincue's child and becomes no zombie of wincue's (ignoring SIGCHLD
 * would do that too, but for every child of the process). Being no session
 * leader itself, the program cannot take a terminal as its own. */
[[noreturn]] static void StartInNewSession(const char *program, char *const argv[], int report)
{
	pid_t pid;

	setsid();
	pid = fork();
	if (pid == 0)
		RunProgram(program, argv, report);
	Report(report, pid > 0 ? (int)pid : -1);
	_exit(0);
}

/* Reads the reports until both other processes have let go of the pipe:
 * the middle one by ending, the program by exec or by ending. */
static pid_t ReadStartReports(int report)
{
	pid_t pid = -1;
	bool failed = false;
	int value;
	ssize_t n;

	while ((n = read(report, &value, sizeof value)) != 0) {
		if (n == -1 && errno == EINTR)
			continue;
		if (n != (ssize_t)sizeof value)
			return -1;
		if (value > 0)
			pid = value;
		else
			failed = true;
	}
	return failed ? -1 : pid;
}

/* Runs program detached from wincue. Returns its pid, or -1 when it could
 * not be started. Waits only for the start, never for the program. */
static pid_t StartDetached(const char *program, char *const argv[])
{
	int report[2];
	sigset_t all, saved;
	pid_t middle, pid = -1;

	if (pipe2(report, O_CLOEXEC) == -1)
		return -1;
	/* No handler of wincue's may run in a child before it resets them. */
	sigfillset(&all);
	pthread_sigmask(SIG_SETMASK, &all, &saved);
	middle = fork();
	if (middle == 0)
		StartInNewSession(program, argv, report[1]);
	pthread_sigmask(SIG_SETMASK, &saved, NULL);
	close(report[1]);
	if (middle > 0) {
		pid = ReadStartReports(report[0]);
		while (waitpid(middle, NULL, 0) == -1 && errno == EINTR)
			;
	}
	close(report[0]);
	return pid;
}

/* Starts the program lpCommandLine names, found and given its arguments as
 * on Windows (platform/linux/cmdline.h), with wincue's environment, current
 * directory and standard streams and nothing else, in a session of its own:
 * it outlives wincue and a Ctrl+C on wincue's terminal does not reach it.
 * FALSE when it could not be started, also for requests wincue never makes
 * (an application name, inheritance, flags, an environment or directory). */
BOOL CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine,
                    LPSECURITY_ATTRIBUTES lpProcessAttributes,
                    LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                    DWORD dwCreationFlags, LPVOID lpEnvironment, LPCSTR lpCurrentDirectory,
                    LPSTARTUPINFOA lpStartupInfo, LPPROCESS_INFORMATION lpProcessInformation)
{
	char text[ArgumentTextSize];
	char *argv[MaxArguments + 1];
	char program[PATH_MAX];
	pid_t pid;

	(void)lpProcessAttributes;
	(void)lpThreadAttributes;
	(void)lpStartupInfo;
	if (lpApplicationName != NULL || lpCommandLine == NULL || bInheritHandles ||
	    dwCreationFlags != 0 || lpEnvironment != NULL || lpCurrentDirectory != NULL ||
	    lpProcessInformation == NULL)
		return FALSE;
	if (strnlen(lpCommandLine, CommandLineSize) >= CommandLineSize ||
	    SplitCommandLine(lpCommandLine, text, sizeof text, argv, MaxArguments + 1) < 1 ||
	    !FindProgram(lpCommandLine, program, sizeof program))
		return FALSE;
	pid = StartDetached(program, argv);
	if (pid <= 0)
		return FALSE;
	memset(lpProcessInformation, 0, sizeof *lpProcessInformation);
	lpProcessInformation->dwProcessId = (DWORD)pid;
	lpProcessInformation->dwThreadId = (DWORD)pid;
	return TRUE;
}

/* -- other processes, as the window steps see them ------------------- */

/* A process handle is its pid, tagged in the low bit, which no pointer
 * of ours has: nothing is held open for it. */
static HANDLE HandleOfProcess(pid_t pid)
{
	return (HANDLE)(((uintptr_t)pid << 1) | 1);
}

static pid_t ProcessOf(HANDLE handle)
{
	uintptr_t value = (uintptr_t)handle;

	return (value & 1) != 0 ? (pid_t)(value >> 1) : 0;
}

HANDLE GetCurrentProcess(void)
{
	return HandleOfProcess(getpid());
}

DWORD GetCurrentThreadId(void)
{
	return (DWORD)gettid();
}

/* Any access: a process that exists can be looked at. */
HANDLE OpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwProcessId)
{
	(void)dwDesiredAccess;
	(void)bInheritHandle;
	if (dwProcessId == 0 || dwProcessId > INT_MAX ||
	    (kill((pid_t)dwProcessId, 0) != 0 && errno != EPERM)) {
		SetLastError(ERROR_ACCESS_DENIED);
		return NULL;
	}
	return HandleOfProcess((pid_t)dwProcessId);
}

/* The program file the process runs (/proc/PID/exe); a file replaced
 * since it started reads as it was named. FALSE when the process has
 * gone, is another user's, or the path does not fit. */
BOOL QueryFullProcessImageNameA(HANDLE hProcess, DWORD dwFlags, LPSTR lpExeName, PDWORD lpdwSize)
{
	static const char replaced[] = " (deleted)";
	char link[32];
	pid_t pid = ProcessOf(hProcess);
	ssize_t n;

	if (pid <= 0 || dwFlags != 0 || *lpdwSize == 0)
		return FALSE;
	snprintf(link, sizeof link, "/proc/%d/exe", (int)pid);
	n = readlink(link, lpExeName, *lpdwSize);
	if (n <= 0 || (DWORD)n >= *lpdwSize)
		return FALSE;
	if ((size_t)n > sizeof replaced - 1 &&
	    memcmp(lpExeName + n - (sizeof replaced - 1), replaced, sizeof replaced - 1) == 0)
		n -= sizeof replaced - 1;
	lpExeName[n] = '\0';
	*lpdwSize = (DWORD)n;
	return TRUE;
}

BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle)
{
	(void)ProcessHandle;
	(void)DesiredAccess;
	(void)TokenHandle;
	SetLastError(ERROR_NOT_SUPPORTED);
	return FALSE;
}

BOOL GetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass,
                         LPVOID TokenInformation, DWORD TokenInformationLength, PDWORD ReturnLength)
{
	(void)TokenHandle;
	(void)TokenInformationClass;
	(void)TokenInformation;
	(void)TokenInformationLength;
	(void)ReturnLength;
	SetLastError(ERROR_NOT_SUPPORTED);
	return FALSE;
}

BOOL AttachThreadInput(DWORD idAttach, DWORD idAttachTo, BOOL fAttach)
{
	(void)idAttach;
	(void)idAttachTo;
	(void)fAttach;
	SetLastError(ERROR_NOT_SUPPORTED);
	return FALSE;
}

/* The started program is no child of ours and we keep nothing open for
 * it, nor for a process looked at, so there is nothing to release; the
 * timer can be made again, and a file's descriptor is closed. */
BOOL CloseHandle(HANDLE hObject)
{
	int fd = FileDescriptorOf(hObject);

	if (fd >= 0)
		return close(fd) == 0;
	if (hObject == &timer)
		timer.made = false;
	return TRUE;
}
