/*
 * wincue: runs the numbered steps of config.ini in the current directory
 * against the windows of other programs. It echoes the script it accepted,
 * then writes a start and an end line around each step. Exit status is
 * always 0; arguments are ignored.
 */
#include "../platform/winapi.h"
#include "../script/steps.h"
#include "execute.h"

int main(int argc, char **argv, char **envp)
{
	(void)argc;
	(void)argv;
	(void)envp;

	/* Each line must reach a pipe or file as it is written: a run held by
	 * a Find step is ended from outside, and buffered lines would be lost.
	 * (Microsoft's runtime fully buffers a redirected stdout, even when
	 * asked for line buffering.) */
	setvbuf(stdout, NULL, _IONBF, 0);

	LoadScript();
	if (stepCount == 0) {
		printf("Can not read a config.ini .");
		return 0;
	}
	for (currentStep = 0; currentStep < stepCount; currentStep++) {
		printf("start - %s\n", StepTable[currentStep].Action);
		ExecuteStep();
		printf("end   - %s\n", StepTable[currentStep].Action);
	}
	return 0;
}
