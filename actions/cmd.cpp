#include "../script/steps.h"
#include "actions.h"

/* Starts the step's command line and returns at once; a program that
 * cannot be started fails silently. The handles are closed right away so
 * a long script leaks none. */
void LaunchCommand(void)
{
	PROCESS_INFORMATION process;

	if (StartProgram(StepTable[currentStep].Cmd, &process)) {
		CloseHandle(process.hThread);
		CloseHandle(process.hProcess);
	}
}
