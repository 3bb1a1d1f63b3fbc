#include "execute.h"
#include "../actions/actions.h"
#include "../script/steps.h"

/* The first word equal to the step's Action decides. */
static const struct {
	const char *action;
	void (*run)(void);
} executors[] = {
    {"Enable", EnableMatchingWindows}, {"Display", DisplayMatchingWindows},
    {"Find", WaitForWindow},           {"Gone", WaitForNoWindow},
    {"Sleep", PauseForStep},           {"Cmd", LaunchCommand},
};

void ExecuteStep(void)
{
	for (size_t i = 0; i < sizeof executors / sizeof executors[0]; i++) {
		if (ValueEquals(StepTable[currentStep].Action, executors[i].action)) {
			executors[i].run();
			return;
		}
	}
}
