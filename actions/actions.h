/* The executors behind the action words. Each takes its step as the
 * record at currentStep. */
#ifndef WINCUE_ACTIONS_H
#define WINCUE_ACTIONS_H

#include <stdint.h>

#include "../platform/winapi.h"

/* How many hex digits a window's id shows after "0x": 8, or 16 for an id
 * past 32 bits (KWin's), so that every id of a desktop has one width. */
static inline int IdDigits(HWND window)
{
	return (uint64_t)(uintptr_t)window >> 32 != 0 ? 16 : 8;
}

/* The names the steps compare and show, and starting a program, the same
 * for every step: actions/names_windows.cpp, names_linux.cpp. A window's
 * title or class name into name (ValueSize bytes): on Windows in the ANSI
 * code page, or for a script that requires 1.4 as UTF-8 read through the
 * wide functions, cut between characters; a window gone leaves name as it
 * was. ProgramPath gives the file a process runs, its whole path in
 * PathSize bytes, false when unknown; StartProgram starts a command line
 * (the step's own buffer) as CreateProcessA does, false when it cannot. */
enum { PathSize = 3 * 255 + 1 };
void WindowTitle(HWND window, char *title);
void WindowClass(HWND window, char *className);
bool ProgramPath(HANDLE process, char *path);
bool StartProgram(char *commandLine, PROCESS_INFORMATION *process);
/* For a script that requires 1.4, whose lines are UTF-8: a console the
 * lines go to shows UTF-8 until wincue ends (on Windows it shows the
 * ANSI code page's text otherwise; a file or pipe gets the bytes as they
 * are, without a byte-order mark). */
void ShowUtf8OnConsole(void);

/* Window steps: actions/match.cpp, enable.cpp, display.cpp, find.cpp,
 * activate.cpp, close.cpp, state.cpp; each word's row is in verbs.cpp. */
extern int windowFound;  /* 1 once the current pass of a Find or Gone step saw its window */
extern int windowGaveUp; /* 1 when the current Find, Gone or Activate step gave up (wait.cpp) */

/* The callbacks find their step at currentStep; the user value each pass
 * hands them is that step's number too, so that the platform can tell a
 * step asking again from another asking alike. */
bool MatchesStep(HWND window);
/* Visible and, for a script requiring 1.4, not cloaked: a window on
 * another virtual desktop is one Windows calls visible. */
bool IsShown(HWND window);
BOOL CALLBACK EnableWindowsProc(HWND window, LPARAM step);
BOOL CALLBACK DisplayWindowsProc(HWND window, LPARAM step);
BOOL CALLBACK FindWindowProc(HWND window, LPARAM step);
void EnableMatchingWindows(void);
void DisplayMatchingWindows(void);
void WaitForWindow(void);
void WaitForNoWindow(void);
void ActivateWindow(void);
void CloseMatchingWindows(void);
void MinimizeWindows(void);
void MaximizeWindows(void);
void RestoreWindows(void);

/* What the waiting steps share (wait.cpp). Their time limit: the step's
 * Timeout in ms, else unlessGiven (NoTimeLimit: none); a timer due then,
 * or NULL for none. It also starts hearing of window changes. */
enum { NoTimeLimit = -1 };
long StepTimeLimit(long unlessGiven);
HANDLE StartTimeLimit(long unlessGiven);
/* The pause between passes; false once the time is up. EndTimeLimit
 * ends the step's wait, with or without its timer. */
bool PauseBetweenPasses(HANDLE timer);
void EndTimeLimit(HANDLE timer);

/* One line on standard error about the step that gave up: its section,
 * what it waited for, and for how long (or, for Activate, why), from its
 * verb's reporter (find.cpp, activate.cpp). */
void ReportGaveUp(void);
void ReportNotFound(void);
void ReportStillThere(void);
void ReportActivateGaveUp(void);
/* What the step looks for, as those lines name it: " window with Text
 * ..." into Described bytes. */
enum { Described = 4 * 255 };
void DescribeWanted(char *out);

/* Steps that say when they did not take: actions/verify.cpp. A step that
 * acts notes each window it acted on; once its pass is over, it says on
 * standard error which of them are not as it wanted (SayWhatStayed), or
 * says so at once for a window it could not ask (SayStayed, with the
 * error the request failed with). */
void BeginActing(void);
void NoteActedOn(HWND window);
void SayWhatStayed(void);
void SayStayed(HWND window, const char *state, DWORD error);
/* Whether the window's program runs above wincue (elevated, wincue not),
 * so that Windows ignores wincue's requests; false when unknown. */
bool RunsAboveUs(HWND window);
/* Whether the step at currentStep cannot act on the window: its program
 * runs above wincue, or the desktop has no such state or action. */
bool OutOfReach(HWND window);
/* Each verb's read-back and reach, as its row names them. */
const char *EnabledNow(HWND window);
const char *ShownNow(HWND window);
const char *MinimizedNow(HWND window);
const char *MaximizedNow(HWND window);
const char *RestoredNow(HWND window);
bool CannotEnable(HWND window);
bool CanAlways(HWND window);
bool CannotMinimize(HWND window);
bool CannotMaximize(HWND window);
bool CannotRestore(HWND window);
bool CannotActivate(HWND window);
bool CannotClose(HWND window);

/* What --list and --check see: actions/list.cpp. ListWindows writes one
 * line a top-level window and returns EnumWindows' result (FALSE: the
 * desktop could not be read); CountMatchingWindows counts the windows the
 * step at currentStep matches now, and CountOutOfReach those of them it
 * cannot act on. */
BOOL ListWindows(void);
int CountMatchingWindows(void);
int CountOutOfReach(void);

/* Sleep and Cmd steps: actions/sleep.cpp, cmd.cpp */
DWORD SleepMilliseconds(const char *value);
void PauseForStep(void);
void LaunchCommand(void);

#endif
