/* LoadScript: reads config.ini section by section into StepTable. */
#include <stddef.h>

#include "../platform/winapi.h"
#include "steps.h"

/* The seven keys, in the order they are read and listed when a section is
 * rejected (Action first there, so it is listed apart); then the
 * extensions, read only for the actions that take them, and never listed
 * in the block, which keeps its seven lines. */
enum {
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

static const struct {
	const char *name;
	const char *label; /* padded to ten characters before the '=' */
	size_t offset;
} keys[KeyAllCount] = {
    {"Text", "Text      =", offsetof(StepRecord, Text)},
    {"ClassName", "ClassName =", offsetof(StepRecord, ClassName)},
    {"Action", "Action    =", offsetof(StepRecord, Action)},
    {"Enable", "Enable    =", offsetof(StepRecord, Enable)},
    {"Display", "Display   =", offsetof(StepRecord, Display)},
    {"Sleep", "Sleep     =", offsetof(StepRecord, Sleep)},
    {"Cmd", "Cmd       =", offsetof(StepRecord, Cmd)},
    {"Timeout", "Timeout   =", offsetof(StepRecord, Timeout)},
    {"Visible", "Visible   =", offsetof(StepRecord, Visible)},
    {"Match", "Match     =", offsetof(StepRecord, Match)},
    {"Case", "Case      =", offsetof(StepRecord, Case)},
    {"Process", "Process   =", offsetof(StepRecord, Process)},
    {"Version", "Version   =", offsetof(StepRecord, Version)},
};

/* What each action word needs of its section, the value it echoes, and
 * the extensions it reads (Takes* bits). */
enum Need { NeedFlag, NeedWindow, NeedValue, NeedVersion };
enum { TakesTimeout = 1, TakesVisible = 2, TakesMatch = 4, TakesVersion = 8 };
enum { WaitTakes = TakesTimeout | TakesVisible | TakesMatch };

static const struct {
	const char *action;
	enum Need need;
	int key; /* the value required and echoed; a window step echoes Text and ClassName */
	unsigned takes;
} rules[] = {
    {"Enable", NeedFlag, KeyEnable, TakesMatch},
    {"Display", NeedFlag, KeyDisplay, TakesMatch},
    {"Find", NeedWindow, KeyText, WaitTakes},
    {"Gone", NeedWindow, KeyText, WaitTakes},
    {"Sleep", NeedValue, KeySleep, 0},
    {"Cmd", NeedValue, KeyCmd, 0},
    {"Activate", NeedWindow, KeyText, TakesTimeout | TakesMatch},
    {"Close", NeedWindow, KeyText, TakesMatch},
    {"Minimize", NeedWindow, KeyText, TakesMatch},
    {"Maximize", NeedWindow, KeyText, TakesMatch},
    {"Restore", NeedWindow, KeyText, TakesMatch},
    {"Require", NeedVersion, KeyVersion, TakesVersion},
};
enum { RuleCount = sizeof rules / sizeof rules[0] };

/* The wincue version that first took a key. An older one ignores a key it
 * does not know, and Match or Process ignored would make a step act on
 * other windows: such a key is taken only from a script whose Require
 * names a version that has it, which an older wincue rejects. */
enum { Since13 = 1003000 };

static const char *const flags[] = {"0", "1", NULL};
static const char *const matchings[] = {"exact", "prefix", "suffix", "part", NULL};

/* The extensions, in the order they are echoed: the actions that read
 * each (a Takes* bit), the version it needs required (0: none) and the
 * values it takes (NULL: any). */
static const struct {
	int key;
	unsigned takenBy;
	long since;
	const char *const *values;
} extensions[] = {
    {KeyTimeout, TakesTimeout, 0, NULL},        {KeyVisible, TakesVisible, 0, flags},
    {KeyMatch, TakesMatch, Since13, matchings}, {KeyCase, TakesMatch, Since13, flags},
    {KeyProcess, TakesMatch, Since13, NULL},    {KeyVersion, TakesVersion, 0, NULL},
};
enum { ExtensionCount = sizeof extensions / sizeof extensions[0] };

static char *Field(StepRecord *step, int key)
{
	return (char *)step + keys[key].offset;
}

/* Pieces, not printf: formatting was a third of a long script's run. */
static void PrintField(StepRecord *step, int key)
{
	fputs(keys[key].label, stdout);
	fputs(Field(step, key), stdout);
	putchar('\n');
}

static bool IsFlag(const char *v)
{
	return ValueEquals(v, "1") || ValueEquals(v, "0");
}

/* The rule of the step's action word, or -1. */
static int RuleOf(const StepRecord *step)
{
	for (int r = 0; r < RuleCount; r++)
		if (ValueEquals(step->Action, rules[r].action))
			return r;
	return -1;
}

/* True when an extension the action reads is given a value it does not
 * take. */
static bool HasBadValue(StepRecord *step, int r)
{
	for (int e = 0; e < ExtensionCount; e++) {
		const char *v = Field(step, extensions[e].key);
		bool known = extensions[e].values == NULL || v[0] == '\0';
		if (!(rules[r].takes & extensions[e].takenBy))
			continue;
		for (int i = 0; !known && extensions[e].values[i] != NULL; i++)
			known = ValueEquals(v, extensions[e].values[i]);
		if (!known)
			return true;
	}
	return false;
}

/* The first extension given that the script did not require a version
 * for, or -1. */
static int UnrequiredKey(StepRecord *step, int r)
{
	for (int e = 0; e < ExtensionCount; e++)
		if ((rules[r].takes & extensions[e].takenBy) &&
		    extensions[e].since > requiredVersion &&
		    Field(step, extensions[e].key)[0] != '\0')
			return extensions[e].key;
	return -1;
}

/* Require is read in section 0 only, where an older wincue rejects it
 * and so runs nothing; it asks for this version or an older one. */
static bool RequiresKnownVersion(StepRecord *step, int index)
{
	long version = VersionNumber(step->Version);

	return index == 0 && version >= 0 && version <= VersionNumber(WINCUE_VERSION);
}

static bool Satisfies(StepRecord *step, int r, int index)
{
	const char *v = Field(step, rules[r].key);
	bool needs = false;

	switch (rules[r].need) {
	case NeedFlag:
		needs = IsFlag(v);
		break;
	case NeedWindow:
		needs = step->Text[0] != '\0' || step->ClassName[0] != '\0';
		break;
	case NeedValue:
		needs = v[0] != '\0';
		break;
	case NeedVersion:
		needs = RequiresKnownVersion(step, index);
		break;
	}
	return needs && !HasBadValue(step, r) && UnrequiredKey(step, r) < 0;
}

static void EchoAccepted(StepRecord *step, const char *section, int r)
{
	putchar('[');
	fputs(section, stdout);
	fputs("]\n", stdout);
	PrintField(step, KeyAction);
	if (rules[r].need == NeedWindow) {
		PrintField(step, KeyText);
		PrintField(step, KeyClassName);
	} else {
		PrintField(step, rules[r].key);
	}
	/* An extension shows only when given, so a script without them
	 * echoes as it always did. */
	for (int e = 0; e < ExtensionCount; e++)
		if ((rules[r].takes & extensions[e].takenBy) && extensions[e].key != rules[r].key &&
		    Field(step, extensions[e].key)[0] != '\0')
			PrintField(step, extensions[e].key);
	printf("\n");
}

static void EchoRejected(StepRecord *step, const char *section)
{
	printf("Can not understand a Section .\n");
	putchar('[');
	fputs(section, stdout);
	fputs("]\n", stdout);
	PrintField(step, KeyAction);
	for (int k = 0; k < KeyCount; k++)
		if (k != KeyAction)
			PrintField(step, k);
}

/* One line on standard error when a rejection comes from the versions
 * rule, which the block cannot show: a script written for a newer wincue,
 * Require out of place, or a key whose version the script did not
 * require. */
static void SayVersionRule(StepRecord *step, const char *section, int r, int index)
{
	int key = UnrequiredKey(step, r);

	if (rules[r].need == NeedVersion && index > 0)
		fprintf(stderr, "wincue: [%s] Require is read in [Section0] only\n", section);
	else if (rules[r].need == NeedVersion && VersionNumber(step->Version) >= 0)
		fprintf(stderr,
		        "wincue: [%s] the script needs wincue %s or later; this is wincue %s\n",
		        section, step->Version, WINCUE_VERSION);
	else if (key >= 0)
		fprintf(stderr,
		        "wincue: [%s] %s needs Action=Require with Version=1.3 or later in "
		        "[Section0]\n",
		        section, keys[key].name);
}

static bool IsEmpty(StepRecord *step)
{
	for (int k = 0; k < KeyCount; k++)
		if (Field(step, k)[0] != '\0')
			return false;
	return true;
}

/* Formats the script path into path (ValueSize bytes). Returns false when
 * it does not fit: a too small buffer leaves the directory empty, which
 * would name config.ini at the root of the drive, and an overflowing
 * sprintf_s ends the process on Windows. */
static bool ScriptPath(char *path)
{
	static const char name[] = "config.ini";
	char dir[ValueSize] = "";
	DWORD n = GetCurrentDirectoryA(ValueSize, dir);

	if (n == 0 || n + 1 + (sizeof name - 1) >= ValueSize)
		return false;
	sprintf_s(path, ValueSize, "%s\\%s", dir, name);
	return true;
}

static void ReadKey(StepRecord *step, const char *section, const char *path, int k)
{
	GetPrivateProfileStringA(section, keys[k].name, "", Field(step, k), ValueSize, path);
}

/* Reads section number index into step; false when it ends the script. */
static bool LoadSection(StepRecord *step, const char *section, const char *path, int index)
{
	int r;

	for (int k = 0; k < KeyCount; k++)
		ReadKey(step, section, path, k);
	r = RuleOf(step);
	for (int e = 0; r >= 0 && e < ExtensionCount; e++)
		if (rules[r].takes & extensions[e].takenBy)
			ReadKey(step, section, path, extensions[e].key);
	if (r >= 0 && Satisfies(step, r, index)) {
		EchoAccepted(step, section, r);
		if (rules[r].need == NeedVersion)
			requiredVersion = VersionNumber(step->Version);
		return true;
	}
	if (!IsEmpty(step)) {
		EchoRejected(step, section);
		if (r >= 0)
			SayVersionRule(step, section, r, index);
		loadRejected = 1;
	}
	return false;
}

void LoadScript(void)
{
	char path[ValueSize];
	char section[ValueSize];

	if (!ScriptPath(path))
		return;
	for (int i = 0; i < MaxSteps; i++) {
		sprintf_s(section, ValueSize, "Section%d", i);
		if (!LoadSection(&StepTable[i], section, path, i))
			return;
		stepCount = i + 1;
	}
}
