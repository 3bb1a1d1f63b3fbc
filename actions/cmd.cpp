#include "../script/steps.h"
#include "actions.h"

/* Starts the step's command line and returns at once; a program that
 * cannot be started fails silently. The handles are closed right away so
 * a long script leaks none. */
void LaunchCommand(void)
{
	STARTUPINFOA startup;
	PROCESS_INFORMATION process;

	memset(&startup, 0, sizeof startup);
	startup.cb = sizeof startup;
	if (CreateProcessA(NULL, StepTable[currentStep].Cmd, NULL, NULL, FALSE, 0, NULL, NULL,
	                   &startup, &process)) {
		CloseHandle(process.hThread);
		CloseHandle(process.hProcess);
	}
}
