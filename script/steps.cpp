#include <string.h>

#include "steps.h"

StepRecord StepTable[MaxSteps];
int stepCount;
int currentStep;
int loadRejected;
long requiredVersion;

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
	requiredVersion = 0;
}

long VersionNumber(const char *text)
{
	long version = 0;
	int parts = 0;

	for (const char *p = text;; p++) {
		long part = 0;
		int digits = 0;
		for (; *p >= '0' && *p <= '9' && digits < 4; p++, digits++)
			part = part * 10 + (*p - '0');
		if (digits == 0 || part > 999 || ++parts > 3)
			return -1;
		version = version * 1000 + part;
		if (*p == '\0')
			break;
		if (*p != '.')
			return -1;
	}
	while (parts++ < 3)
		version *= 1000;
	return version;
}

bool Requires(const char *version)
{
	return requiredVersion >= VersionNumber(version);
}
