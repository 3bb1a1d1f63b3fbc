#include <limits.h>

#include "../script/steps.h"
#include "actions.h"

/* Reads the value as atoi does (leading white space, a sign, digits up to
 * the first other character), but never overflows: numbers past the
 * 32-bit range saturate at INT_MAX, and a negative number gives 0, since
 * Sleep takes it unsigned and -1 would mean "for ever". */
DWORD SleepMilliseconds(const char *value)
{
	const char *p = value;
	bool negative = false;
	unsigned long long ms = 0; /* never above INT_MAX * 10 + 9 */

	while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
		p++;
	if (*p == '+' || *p == '-')
		negative = *p++ == '-';
	for (; *p >= '0' && *p <= '9'; p++) {
		ms = ms * 10 + (unsigned)(*p - '0');
		if (ms > INT_MAX)
			ms = INT_MAX;
	}
	return negative ? 0 : (DWORD)ms;
}

void PauseForStep(void)
{
	Sleep(SleepMilliseconds(StepTable[currentStep].Sleep));
}
