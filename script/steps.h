/* The step table: the whole script, read once at start, then only read. */
#ifndef WINCUE_STEPS_H
#define WINCUE_STEPS_H

enum { ValueSize = 255, MaxSteps = 255 };

/* One section of config.ini; every value is a terminated string of at
 * most ValueSize - 1 characters. The last two are extensions, read for
 * Find and Gone only; an older wincue ignores them and still does the
 * step's plain job (any matching window, no time limit). */
struct StepRecord {
	char Text[ValueSize];      /* window title to match, "" = any */
	char ClassName[ValueSize]; /* window class to match, "" = any */
	char Action[ValueSize];    /* Enable, Display, Find, Gone, Sleep or Cmd */
	char Enable[ValueSize];    /* "1" enable, "0" disable */
	char Display[ValueSize];   /* "1" show, "0" hide */
	char Sleep[ValueSize];     /* pause in milliseconds, decimal text */
	char Cmd[ValueSize];       /* command line of the program to start */
	char Timeout[ValueSize];   /* give up after so many ms, as Sleep reads it; "" never */
	char Visible[ValueSize];   /* "1": only shown windows count; "" or "0": any */
};

/* Program-wide state, defined in script/steps.cpp. */
extern StepRecord StepTable[MaxSteps];
extern int stepCount;    /* leading records accepted by LoadScript */
extern int currentStep;  /* the step being run; written by main only */
extern int loadRejected; /* 1 when LoadScript stopped at a rejected section */

/* Two values are equal when their bytes match up to the terminators. */
bool ValueEquals(const char *a, const char *b);

/* Fills StepTable from config.ini in the current directory, echoing each
 * accepted section; stops at the first empty or rejected one. */
void LoadScript(void);

/* Back to the all-zero start state; for tests that load many scripts in
 * one process. */
void ResetScript(void);

#endif
