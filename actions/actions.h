/* The executors behind the action words. Each takes its step as the
 * record at currentStep; the window callbacks get it as their LPARAM, so
 * that a pass says which step asks. */
#ifndef WINCUE_ACTIONS_H
#define WINCUE_ACTIONS_H

#include "../platform/winapi.h"
#include "../script/steps.h"

/* Window steps: actions/match.cpp, enable.cpp, display.cpp, find.cpp */
extern int windowFound; /* 1 once the current Find step saw its window */

bool MatchesStep(HWND window, const StepRecord *step);
BOOL CALLBACK EnableWindowsProc(HWND window, LPARAM step);
BOOL CALLBACK DisplayWindowsProc(HWND window, LPARAM step);
BOOL CALLBACK FindWindowProc(HWND window, LPARAM step);
void EnableMatchingWindows(void);
void DisplayMatchingWindows(void);
void WaitForWindow(void);

/* Sleep and Cmd steps: actions/sleep.cpp, cmd.cpp */
DWORD SleepMilliseconds(const char *value);
void PauseForStep(void);
void LaunchCommand(void);

#endif
