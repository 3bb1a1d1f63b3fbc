/* The executors behind the action words. Each takes its step as the
 * record at currentStep. */
#ifndef WINCUE_ACTIONS_H
#define WINCUE_ACTIONS_H

#include "../platform/winapi.h"

/* Window steps: actions/match.cpp, enable.cpp, display.cpp, find.cpp */
extern int windowFound; /* 1 once the current Find step saw its window */

bool MatchesStep(HWND window);
BOOL CALLBACK EnableWindowsProc(HWND window, LPARAM unused);
BOOL CALLBACK DisplayWindowsProc(HWND window, LPARAM unused);
BOOL CALLBACK FindWindowProc(HWND window, LPARAM unused);
void EnableMatchingWindows(void);
void DisplayMatchingWindows(void);
void WaitForWindow(void);

/* Sleep and Cmd steps: actions/sleep.cpp, cmd.cpp */
DWORD SleepMilliseconds(const char *value);
void PauseForStep(void);
void LaunchCommand(void);

#endif
