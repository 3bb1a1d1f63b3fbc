#include "execute.h"
#include "../actions/actions.h"
#include "../script/steps.h"

/* The loader has checked what a Require asks for; as a step it does
 * nothing. */
static void RequireVersion(void)
{
}

/* The first word equal to the step's Action decides. */
static const struct {
	const char *action;
	void (*run)(void);
	bool window; /* picks windows by Text and ClassName */
} executors[] = {
    {"Enable", EnableMatchingWindows, true}, {"Display", DisplayMatchingWindows, true},
    {"Find", WaitForWindow, true},           {"Gone", WaitForNoWindow, true},
    {"Sleep", PauseForStep, false},          {"Cmd", LaunchCommand, false},
    {"Activate", ActivateWindow, true},      {"Close", CloseMatchingWindows, true},
    {"Minimize", SetWindowsState, true},     {"Maximize", SetWindowsState, true},
    {"Restore", SetWindowsState, true},      {"Require", RequireVersion, false},
};

/* The executor row of the step at currentStep, or -1. */
static int ExecutorOf(void)
{
	for (int i = 0; i < (int)(sizeof executors / sizeof executors[0]); i++)
		if (ValueEquals(StepTable[currentStep].Action, executors[i].action))
			return i;
	return -1;
}

void ExecuteStep(void)
{
	int i = ExecutorOf();

	if (i >= 0)
		executors[i].run();
}

bool IsWindowStep(void)
{
	int i = ExecutorOf();

	return i >= 0 && executors[i].window;
}

bool StepMayWait(void)
{
	const StepRecord *step = &StepTable[currentStep];

	return !ValueEquals(step->Action, "Sleep") || SleepMilliseconds(step->Sleep) != 0;
}
