/*
 * wincue: runs the numbered steps of config.ini in the current directory
 * against the windows of other programs. It echoes the script it accepted,
 * then writes a start and an end line around each step. Exit status is 0,
 * or 1 when a Find, Gone or Activate step gave up. The few options are in
 * runner/options.cpp; any other argument is ignored.
 */
#include "../actions/actions.h"
#include "../platform/winapi.h"
#include "../script/steps.h"
#include "execute.h"
#include "options.h"

/* Room for the longest echo, so that it leaves in one write: an accepted
 * section echoes at most 1,138 bytes (a Find with Text, ClassName, Timeout
 * and Process of 254 characters, Visible, Match and Case) and the rejected
 * one at most 1,906, under 5 * ValueSize a step.
 * (Microsoft's runtime takes buffers of 2 to INT_MAX bytes.) */
static char outputBuffer[MaxSteps * 5 * ValueSize];

/* A step's start, end or fail line, in pieces: printf's formatting was
 * a third of a long script's run. */
static void StepLine(const char *head)
{
	fputs(head, stdout);
	fputs(StepTable[currentStep].Action, stdout);
	putchar('\n');
}

/* Runs the script: the program as designed. */
static int RunScript(void)
{
	LoadScript();
	if (stepCount == 0) {
		printf("Can not read a config.ini .");
		return 0;
	}
	for (currentStep = 0; currentStep < stepCount; currentStep++) {
		StepLine("start - ");
		/* With the whole echo, or the end lines before it, unless the
		 * step ends at once having done nothing outside: then they
		 * leave with the next line that goes before a wait. */
		if (StepMayWait())
			fflush(stdout);
		ExecuteStep();
		if (windowGaveUp) {
			/* Nothing after a wait that failed can be what the
			 * script meant. */
			StepLine("fail  - ");
			fflush(stdout);
			ReportGaveUp();
			return 1;
		}
		/* Leaves with the next start line, or at the exit: nothing
		 * waits in between. */
		StepLine("end   - ");
	}
	return 0;
}

int main(int argc, char **argv, char **envp)
{
	OptionRun option = ChosenOption(argc, argv);

	(void)envp;

	/* Every line must reach a pipe or file before the next step starts:
	 * a run held by a Find is ended from outside, and buffered lines
	 * would be lost. So the echo leaves with the first start line, and
	 * each end line with the start line after it, one write a step. Line
	 * buffering would cost a write per echo line, and Microsoft's runtime
	 * has none (it fully buffers a redirected stdout even when asked for
	 * it). */
	setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
	return option != NULL ? option() : RunScript();
}
