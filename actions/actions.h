/* The executors behind the action words. Each takes its step as the
 * record at currentStep. */
#ifndef WINCUE_ACTIONS_H
#define WINCUE_ACTIONS_H

#include "../platform/winapi.h"

/* Window steps: actions/match.cpp, enable.cpp, display.cpp, find.cpp */
extern int windowFound;  /* 1 once the current pass of a Find or Gone step saw its window */
extern int windowGaveUp; /* 1 when the current Find or Gone step ran out of time */

/* The callbacks find their step at currentStep; the user value each pass
 * hands them is that step's number too, so that the platform can tell a
 * step asking again from another asking alike. */
bool MatchesStep(HWND window);
BOOL CALLBACK EnableWindowsProc(HWND window, LPARAM step);
BOOL CALLBACK DisplayWindowsProc(HWND window, LPARAM step);
BOOL CALLBACK FindWindowProc(HWND window, LPARAM step);
void EnableMatchingWindows(void);
void DisplayMatchingWindows(void);
void WaitForWindow(void);
void WaitForNoWindow(void);

/* One line on standard error about the step that gave up: its section,
 * what it waited for, and for how long. */
void ReportGaveUp(void);

/* What --list and --check see: actions/list.cpp. ListWindows writes one
 * line a top-level window and returns EnumWindows' result (FALSE: the
 * desktop could not be read); CountMatchingWindows counts the windows the
 * step at currentStep matches now. */
BOOL ListWindows(void);
int CountMatchingWindows(void);

/* Sleep and Cmd steps: actions/sleep.cpp, cmd.cpp */
DWORD SleepMilliseconds(const char *value);
void PauseForStep(void);
void LaunchCommand(void);

#endif
