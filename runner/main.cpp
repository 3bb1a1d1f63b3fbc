/*
 * wincue: runs the numbered steps of config.ini in the current directory
 * against the windows of other programs. It echoes the script it accepted,
 * then writes a start and an end line around each step. Exit status is 0,
 * or 1 when a Find or Gone step ran out of time. The few options are in
 * runner/options.cpp; any other argument is ignored.
 */
#include "../actions/actions.h"
#include "../platform/winapi.h"
#include "../script/steps.h"
#include "execute.h"
#include "options.h"

/* Room for the longest echo, so that it leaves in one write: an accepted
 * section echoes at most 841 bytes (a Find with Text, ClassName and Timeout
 * of 254 characters, and Visible) and the rejected one at most 1,906,
 * well under 4 * ValueSize a step.
 * (Microsoft's runtime takes buffers of 2 to INT_MAX bytes.) */
static char outputBuffer[MaxSteps * 4 * ValueSize];

/* Runs the script: the program as designed. */
static int RunScript(void)
{
	LoadScript();
	if (stepCount == 0) {
		printf("Can not read a config.ini .");
		return 0;
	}
	for (currentStep = 0; currentStep < stepCount; currentStep++) {
		printf("start - %s\n", StepTable[currentStep].Action);
		fflush(stdout); /* the first time with the whole echo */
		ExecuteStep();
		if (windowGaveUp) {
			/* Nothing after a wait that failed can be what the
			 * script meant. */
			printf("fail  - %s\n", StepTable[currentStep].Action);
			fflush(stdout);
			ReportGaveUp();
			return 1;
		}
		printf("end   - %s\n", StepTable[currentStep].Action);
		fflush(stdout);
	}
	return 0;
}

int main(int argc, char **argv, char **envp)
{
	OptionRun option = ChosenOption(argc, argv);

	(void)envp;

	/* Every line must reach a pipe or file before the step it belongs to
	 * starts: a run held by a Find is ended from outside, and buffered
	 * lines would be lost. So the echo leaves with the first start line,
	 * and each start and end line as soon as it is written. Line buffering
	 * would cost a write per echo line, and Microsoft's runtime has none
	 * (it fully buffers a redirected stdout even when asked for it). */
	setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
	return option != NULL ? option() : RunScript();
}
