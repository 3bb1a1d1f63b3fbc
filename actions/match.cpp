#include "../script/steps.h"
#include "actions.h"

/* True when the window's title and class fit the current step; an empty
 * criterion fits anything. Both names are read before any test. A step
 * with Visible=1 (Find and Gone read it) also wants the window shown. */
bool MatchesStep(HWND window)
{
	const StepRecord *step = &StepTable[currentStep];
	char title[ValueSize];
	char className[ValueSize];

	/* A window that goes away mid-pass must read as nameless, never as
	 * the previous window's leftovers. */
	memset(title, 0, sizeof title);
	memset(className, 0, sizeof className);
	GetWindowTextA(window, title, ValueSize);
	GetClassNameA(window, className, ValueSize);
	if (step->Text[0] != '\0' && !ValueEquals(step->Text, title))
		return false;
	if (step->ClassName[0] != '\0' && !ValueEquals(step->ClassName, className))
		return false;
	return !ValueEquals(step->Visible, "1") || IsWindowVisible(window);
}
