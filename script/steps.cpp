#include <string.h>

#include "steps.h"

StepRecord StepTable[MaxSteps];
int stepCount;
int currentStep;
int loadRejected;

bool ValueEquals(const char *a, const char *b)
{
	return strncmp(a, b, ValueSize) == 0;
}

void ResetScript(void)
{
	memset(StepTable, 0, sizeof StepTable);
	stepCount = 0;
	currentStep = 0;
	loadRejected = 0;
}
