/* The step table: the whole script, read once at start, then only read. */
#ifndef WINCUE_STEPS_H
#define WINCUE_STEPS_H

enum { ValueSize = 255, MaxSteps = 255 };

/* One section of config.ini; every value is a terminated string of at
 * most ValueSize - 1 characters. Those after Cmd are extensions, read only
 * for the actions that take them (script/load.cpp). An older wincue
 * ignores a key it does not know: Timeout and Visible leave it doing the
 * step's plain job (any matching window, no time limit), and the keys from
 * 1.3 on are taken only from a script that requires a wincue having them. */
struct StepRecord {
	char Text[ValueSize];      /* window title to match, "" = any */
	char ClassName[ValueSize]; /* window class to match, "" = any */
	char Action[ValueSize];    /* an action word: Enable, Display, Find, Gone, ... */
	char Enable[ValueSize];    /* "1" enable, "0" disable */
	char Display[ValueSize];   /* "1" show, "0" hide */
	char Sleep[ValueSize];     /* pause in milliseconds, decimal text */
	char Cmd[ValueSize];       /* command line of the program to start */
	char Timeout[ValueSize];   /* give up after so many ms, as Sleep reads it; "" never */
	char Visible[ValueSize];   /* "1": only shown windows count; "" or "0": any */
	char Match[ValueSize];     /* how Text meets the title: exact, prefix, suffix, part */
	char Case[ValueSize];      /* "0": Text's ASCII letters match either case */
	char Process[ValueSize];   /* the program file the window belongs to, "" = any */
	char Version[ValueSize];   /* for Require: the least wincue version, e.g. 1.3 */
};

/* The keys of a section, as script/load.cpp reads and lists them: the
 * seven of every section (Action first when a rejected one is listed),
 * then the extensions, read only for the actions that take them. */
enum StepKey {
	KeyText,
	KeyClassName,
	KeyAction,
	KeyEnable,
	KeyDisplay,
	KeySleep,
	KeyCmd,
	KeyCount,
	KeyTimeout = KeyCount,
	KeyVisible,
	KeyMatch,
	KeyCase,
	KeyProcess,
	KeyVersion,
	KeyAllCount
};

/* Program-wide state, defined in script/steps.cpp. */
extern StepRecord StepTable[MaxSteps];
extern int stepCount;        /* leading records accepted by LoadScript */
extern int currentStep;      /* the step being run; written by main only */
extern int loadRejected;     /* 1 when LoadScript stopped at a rejected section */
extern long requiredVersion; /* what [Section0]'s Require asked for (VersionNumber), or 0 */

/* Two values are equal when their bytes match up to the terminators. */
bool ValueEquals(const char *a, const char *b);

/* A version of one to three dot-separated numbers of 0 to 999 each ("1.3",
 * "1.3.0") as one number that orders them; -1 when text is no such version. */
long VersionNumber(const char *text);

/* Fills StepTable from config.ini in the current directory, echoing each
 * accepted section; stops at the first empty or rejected one. */
void LoadScript(void);

/* Back to the all-zero start state; for tests that load many scripts in
 * one process. */
void ResetScript(void);

#endif
