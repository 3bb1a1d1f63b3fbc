#include "../platform/utf8.h"
#include "../script/steps.h"
#include "actions.h"
#include "casefold.h"
#include "verbs.h"

/* A store app's window lies inside a frame of ApplicationFrameHost's: the
 * app's program is that of the window inside. */
static const char frameHost[] = "ApplicationFrameHost.exe";
static const char appWindowClass[] = "Windows.UI.Core.CoreWindow";

/* A value's length: at most ValueSize - 1, its buffer's room. */
static size_t Length(const char *value)
{
	size_t length = 0;

	while (length < ValueSize - 1 && value[length] != '\0')
		length++;
	return length;
}

static char Folded(char c, bool fold)
{
	return fold && c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

/* The first length bytes of a and b are alike. */
static bool SameBytes(const char *a, const char *b, size_t length, bool fold)
{
	for (size_t i = 0; i < length; i++)
		if (Folded(a[i], fold) != Folded(b[i], fold))
			return false;
	return true;
}

static bool SameName(const char *a, const char *b, bool fold)
{
	size_t length = Length(a);

	return length == Length(b) && SameBytes(a, b, length, fold);
}

/* A text as the units Text and a title are compared in: its bytes, with
 * ASCII letters folded by Case=0; from 1.4 on, Case=0 compares its
 * characters, each folded as Unicode's simple case folding says (a
 * character may change length: the Kelvin sign folds to k). units has
 * room for ValueSize. */
static size_t Units(const char *text, bool fold, unsigned *units)
{
	size_t length = Length(text);

	if (fold && Requires("1.4"))
		return FoldText(text, length, units);
	for (size_t i = 0; i < length; i++)
		units[i] = (unsigned char)Folded(text[i], fold);
	return length;
}

/* Text against a title, as the step's Match and Case say: the whole title
 * (exact, the default), its beginning, its end, or any part of it. */
static bool TextFits(const StepRecord *step, const char *title)
{
	unsigned want[ValueSize];
	unsigned have[ValueSize];
	bool fold = ValueEquals(step->Case, "0");
	size_t wants = Units(step->Text, fold, want);
	size_t haves = Units(title, fold, have);
	bool prefix = ValueEquals(step->Match, "prefix");
	bool suffix = ValueEquals(step->Match, "suffix");
	bool part = ValueEquals(step->Match, "part");

	if (wants > haves || (!prefix && !suffix && !part && wants != haves))
		return false;
	/* where the text may begin in the title */
	for (size_t at = suffix ? haves - wants : 0, last = part ? haves - wants : at; at <= last;
	     at++)
		if (memcmp(want, have + at, wants * sizeof want[0]) == 0)
			return true;
	return false;
}

/* The file name of a process's program into name (ValueSize bytes); false
 * when it cannot be known (the process has gone, or is out of reach). */
static bool ProgramName(DWORD pid, char *name)
{
	char path[PathSize];
	HANDLE process =
	    pid != 0 ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid) : NULL;
	bool known;
	const char *last = path;
	size_t n;

	if (process == NULL)
		return false;
	known = ProgramPath(process, path);
	CloseHandle(process);
	if (!known)
		return false;
	for (const char *p = path; *p != '\0'; p++)
		if (*p == PathSeparator)
			last = p + 1;
	n = FitText(last, strlen(last), ValueSize);
	memcpy(name, last, n);
	name[n] = '\0';
	return true;
}

/* The program a window belongs to, as its file name. */
static bool ProgramOf(HWND window, char *name)
{
	DWORD pid = 0;
	DWORD appPid = 0;
	HWND app;

	GetWindowThreadProcessId(window, &pid);
	if (!ProgramName(pid, name))
		return false;
	if (!SameName(name, frameHost, true))
		return true;
	app = FindWindowExA(window, 0, appWindowClass, NULL);
	if (app != 0)
		GetWindowThreadProcessId(app, &appPid);
	return appPid == 0 || appPid == pid || ProgramName(appPid, name);
}

/* The query fails where there is no cloaking (no DWM, Wine), leaving the
 * window uncloaked. */
bool IsShown(HWND window)
{
	DWORD cloaked = 0;

	if (!IsWindowVisible(window))
		return false;
	if (Requires("1.4"))
		DwmGetWindowAttribute(window, DWMWA_CLOAKED, &cloaked, sizeof cloaked);
	return cloaked == 0;
}

/* The steps that act only on shown windows (Find and Gone do with
 * Visible=1): a hidden window cannot be activated, and is left as it is
 * by the state changes. */
static bool WantsShown(const StepRecord *step)
{
	const Verb *verb;

	if (ValueEquals(step->Visible, "1"))
		return true;
	verb = StepVerb();
	return verb != NULL && (verb->traits & ShownOnly);
}

/* True when the window's title and class fit the current step; an empty
 * criterion fits anything. Both names are read before any test; the
 * program, which costs most, is asked last. */
bool MatchesStep(HWND window)
{
	const StepRecord *step = &StepTable[currentStep];
	char title[ValueSize];
	char className[ValueSize];
	char program[ValueSize];

	/* A window that goes away mid-pass must read as nameless, never as
	 * the previous window's leftovers. */
	memset(title, 0, sizeof title);
	memset(className, 0, sizeof className);
	WindowTitle(window, title);
	WindowClass(window, className);
	if (step->Text[0] != '\0' && !TextFits(step, title))
		return false;
	if (step->ClassName[0] != '\0' && !ValueEquals(step->ClassName, className))
		return false;
	if (WantsShown(step) && !IsShown(window))
		return false;
	/* A window whose program cannot be known never matches a Process. */
	return step->Process[0] == '\0' ||
	       (ProgramOf(window, program) &&
	        SameName(program, step->Process, FileNamesIgnoreCase != 0));
}
