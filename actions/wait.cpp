/* What the steps that wait for windows share (Find, Gone, Activate): the
 * step's time limit, the pause between passes, and the line when one gave
 * up. */
#include "../script/steps.h"
#include "actions.h"
#include "verbs.h"

int windowGaveUp;

long StepTimeLimit(long unlessGiven)
{
	const char *timeout = StepTable[currentStep].Timeout;

	return timeout[0] != '\0' ? (long)SleepMilliseconds(timeout) : unlessGiven;
}

/* The deadline lives in the platform, so that a wait the platform
 * stretches (X11 sleeps until the desktop changes) still ends on time. A
 * timer that cannot be made leaves the step waiting as without a limit. */
HANDLE StartTimeLimit(long unlessGiven)
{
	long limit = StepTimeLimit(unlessGiven);
	LARGE_INTEGER due;
	HANDLE timer;

	if (limit < 0)
		return NULL;
	timer = CreateWaitableTimerA(NULL, TRUE, NULL);
	if (timer == NULL)
		return NULL;
	due.QuadPart = -10000LL * limit; /* relative, in 100 ns */
	if (!SetWaitableTimer(timer, &due, 0, NULL, NULL, FALSE)) {
		CloseHandle(timer);
		return NULL;
	}
	return timer;
}

bool PauseBetweenPasses(HANDLE timer)
{
	if (timer == NULL) {
		Sleep(1);
		return true;
	}
	return WaitForSingleObject(timer, 1) != WAIT_OBJECT_0;
}

/* What the step looks for, as its line names it, into out (Described
 * bytes): " window with Text "Setup" and ClassName "X"", with how Text
 * matches when the step says and the program it names. */
void DescribeWanted(char *out)
{
	const StepRecord *step = &StepTable[currentStep];
	const Verb *verb = StepVerb();
	bool shown =
	    ValueEquals(step->Visible, "1") || (verb != NULL && (verb->traits & ShownOnly));
	const char *joint = "";
	int n = sprintf_s(out, Described, "%s window with", shown ? " shown" : "");

	if (step->Text[0] != '\0') {
		n += sprintf_s(out + n, Described - n, " Text \"%s\"", step->Text);
		if (step->Match[0] != '\0' || step->Case[0] != '\0')
			n += sprintf_s(out + n, Described - n, " (Match=%s%s%s)",
			               step->Match[0] != '\0' ? step->Match : "exact",
			               step->Case[0] != '\0' ? ", Case=" : "", step->Case);
		joint = " and";
	}
	if (step->ClassName[0] != '\0') {
		n += sprintf_s(out + n, Described - n, "%s ClassName \"%s\"", joint,
		               step->ClassName);
		joint = " and";
	}
	if (step->Process[0] != '\0')
		sprintf_s(out + n, Described - n, "%s Process \"%s\"", joint, step->Process);
}

void ReportGaveUp(void)
{
	const Verb *verb = StepVerb();

	if (verb != NULL && verb->gaveUp != NULL)
		verb->gaveUp();
}
