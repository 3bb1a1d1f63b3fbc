#include "verbs.h"
#include "../script/steps.h"
#include "actions.h"

/* The loader has checked what a Require asks for; as a step it does
 * nothing. */
static void RequireVersion(void)
{
}

/* The first row whose word equals the step's Action decides. */
const Verb verbs[] = {
    {"Enable", NeedFlag, KeyEnable, TakesMatch, PicksWindows, EnableMatchingWindows, NULL,
     EnabledNow, CannotEnable},
    {"Display", NeedFlag, KeyDisplay, TakesMatch, PicksWindows, DisplayMatchingWindows, NULL,
     ShownNow, CanAlways},
    {"Find", NeedWindow, KeyText, WaitTakes, PicksWindows, WaitForWindow, ReportNotFound, NULL,
     NULL},
    {"Gone", NeedWindow, KeyText, WaitTakes, PicksWindows, WaitForNoWindow, ReportStillThere, NULL,
     NULL},
    {"Sleep", NeedValue, KeySleep, 0, 0, PauseForStep, NULL, NULL, NULL},
    {"Cmd", NeedValue, KeyCmd, 0, 0, LaunchCommand, NULL, NULL, NULL},
    {"Activate", NeedWindow, KeyText, TakesTimeout | TakesMatch, PicksWindows | ShownOnly,
     ActivateWindow, ReportActivateGaveUp, NULL, CannotActivate},
    {"Close", NeedWindow, KeyText, TakesMatch, PicksWindows, CloseMatchingWindows, NULL, NULL,
     CannotClose},
    {"Minimize", NeedWindow, KeyText, TakesMatch, PicksWindows | ShownOnly, MinimizeWindows, NULL,
     MinimizedNow, CannotMinimize},
    {"Maximize", NeedWindow, KeyText, TakesMatch, PicksWindows | ShownOnly, MaximizeWindows, NULL,
     MaximizedNow, CannotMaximize},
    {"Restore", NeedWindow, KeyText, TakesMatch, PicksWindows | ShownOnly, RestoreWindows, NULL,
     RestoredNow, CannotRestore},
    {"Require", NeedVersion, KeyVersion, TakesVersion, 0, RequireVersion, NULL, NULL, NULL},
};
const int verbCount = sizeof verbs / sizeof verbs[0];

const Verb *VerbOf(const char *word)
{
	for (int v = 0; v < verbCount; v++)
		if (ValueEquals(word, verbs[v].word))
			return &verbs[v];
	return NULL;
}

/* A window step asks for every window it meets: the last row found is
 * tried first. */
const Verb *StepVerb(void)
{
	static const Verb *last;
	const char *word = StepTable[currentStep].Action;

	if (last == NULL || !ValueEquals(word, last->word))
		last = VerbOf(word);
	return last;
}
