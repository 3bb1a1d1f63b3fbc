#include "execute.h"
#include "../actions/actions.h"
#include "../actions/verbs.h"
#include "../script/steps.h"

void ExecuteStep(void)
{
	const Verb *verb = StepVerb();

	if (verb != NULL)
		verb->run();
}

bool IsWindowStep(void)
{
	const Verb *verb = StepVerb();

	return verb != NULL && (verb->traits & PicksWindows);
}

bool StepMayWait(void)
{
	const Verb *verb = StepVerb();

	return verb == NULL || verb->run != PauseForStep ||
	       SleepMilliseconds(StepTable[currentStep].Sleep) != 0;
}
