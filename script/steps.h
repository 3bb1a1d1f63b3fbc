/* The step table: the whole script, read once at start, then only read. */
#ifndef WINCUE_STEPS_H
#define WINCUE_STEPS_H

#include <stddef.h>

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
	char Case[ValueSize];      /* "0": Text in either case: ASCII; from 1.4 every letter */
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

/* Whether [Section0]'s Require asked for version or a later one: what a
 * script gets beyond the older versions' behaviour ("1.4"). */
bool Requires(const char *version);

/* One section's key lines as GetPrivateProfileSectionA lists them, which
 * LoadScript reads a section at a time. The text holds every key once at
 * its longest: a name of up to 15 characters, '=', a value of ValueSize - 1
 * characters in quotes and its NUL, then the list's end. A longer section
 * comes cut, and a key not among its whole lines is then read by itself. */
enum { SectionSize = KeyAllCount * (15 + 1 + ValueSize + 2) + 1 };

struct SectionList {
	char text[SectionSize];
	const char *end;     /* after the last whole line */
	bool cut;            /* the section goes on after end */
	const char *section; /* what was read, for reading a key by itself */
	const char *path;
};

/* Reads section of the file at path into list, which keeps the two names
 * (they must outlive it). A missing file or section is an empty list. */
void ReadSectionList(SectionList *list, const char *section, const char *path);

/* Fills value (ValueSize bytes) with what GetPrivateProfileStringA gives
 * for key in list's section with an empty default: the first line of the
 * name decides, one outer pair of like quotes goes. A key the list cannot
 * tell (cut before it, or its value longer than ValueSize - 1, which
 * Windows cuts its own way) is read by itself. */
void ReadListedKey(const SectionList *list, const char *key, char *value);

/* The reader of a script whose [Section0] requires 1.4 or later
 * (script/unicode.cpp), the same on every system: Windows' INI rules over
 * Unicode text, UTF-8 with or without its byte-order mark or UTF-16LE with
 * its mark, every value given as UTF-8. OpenUnicodeScript opens
 * config.ini in the current directory and keeps it open when such a
 * Require is in it; false (and nothing kept open) when it is not, or the
 * file cannot be read. ReadUnicodeSection fills values[k] (ValueSize
 * bytes each) with the value of names[k] (count at most 32) in section,
 * "" for a key or section missing. */
bool OpenUnicodeScript(void);
/* The same reader over any file, whatever it requires; for tests. */
bool OpenUnicodeText(const char *path);
void ReadUnicodeSection(const char *section, const char *const *names, char *const *values,
                        int count);
void CloseUnicodeScript(void);

/* Fills StepTable from config.ini in the current directory, echoing each
 * accepted section; stops at the first empty or rejected one. */
void LoadScript(void);

/* Back to the all-zero start state; for tests that load many scripts in
 * one process. */
void ResetScript(void);

#endif
