/* LoadScript: reads config.ini section by section into StepTable. */
#include <stddef.h>

#include "../platform/winapi.h"
#include "steps.h"

/* The seven keys, in the order they are read and listed when a section is
 * rejected (Action first there, so it is listed apart); then the
 * extensions, read for the actions that wait for windows only, and never
 * listed in the block, which keeps its seven lines. */
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
};

/* What each action word needs of its section, and the value it echoes. */
enum Need { NeedFlag, NeedWindow, NeedValue };

static const struct {
	const char *action;
	enum Need need;
	int key; /* the value required and echoed; a window wait echoes Text and ClassName */
} rules[] = {
    {"Enable", NeedFlag, KeyEnable}, {"Display", NeedFlag, KeyDisplay},
    {"Find", NeedWindow, KeyText},   {"Gone", NeedWindow, KeyText},
    {"Sleep", NeedValue, KeySleep},  {"Cmd", NeedValue, KeyCmd},
};

static char *Field(StepRecord *step, int key)
{
	return (char *)step + keys[key].offset;
}

static void PrintField(StepRecord *step, int key)
{
	printf("%s%s\n", keys[key].label, Field(step, key));
}

static bool IsFlag(const char *v)
{
	return ValueEquals(v, "1") || ValueEquals(v, "0");
}

static bool Satisfies(StepRecord *step, int r)
{
	const char *v = Field(step, rules[r].key);

	if (!ValueEquals(step->Action, rules[r].action))
		return false;
	switch (rules[r].need) {
	case NeedFlag:
		return IsFlag(v);
	case NeedWindow:
		return (step->Text[0] != '\0' || step->ClassName[0] != '\0') &&
		       (step->Visible[0] == '\0' || IsFlag(step->Visible));
	case NeedValue:
		return v[0] != '\0';
	}
	return false;
}

static void EchoAccepted(StepRecord *step, const char *section, int r)
{
	printf("[%s]\n", section);
	PrintField(step, KeyAction);
	if (rules[r].need == NeedWindow) {
		PrintField(step, KeyText);
		PrintField(step, KeyClassName);
		/* An extension shows only when given, so a script without
		 * them echoes as it always did. */
		for (int k = KeyCount; k < KeyAllCount; k++)
			if (Field(step, k)[0] != '\0')
				PrintField(step, k);
	} else {
		PrintField(step, rules[r].key);
	}
	printf("\n");
}

static void EchoRejected(StepRecord *step, const char *section)
{
	printf("Can not understand a Section .\n");
	printf("[%s]\n", section);
	PrintField(step, KeyAction);
	for (int k = 0; k < KeyCount; k++)
		if (k != KeyAction)
			PrintField(step, k);
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

/* The extensions belong to the actions that wait for windows. */
static bool WaitsForWindows(const StepRecord *step)
{
	for (int r = 0; r < (int)(sizeof rules / sizeof rules[0]); r++)
		if (rules[r].need == NeedWindow && ValueEquals(step->Action, rules[r].action))
			return true;
	return false;
}

static void ReadKeys(StepRecord *step, const char *section, const char *path, int from, int to)
{
	for (int k = from; k < to; k++)
		GetPrivateProfileStringA(section, keys[k].name, "", Field(step, k), ValueSize,
		                         path);
}

/* Reads one section into step; false when it ends the script. */
static bool LoadSection(StepRecord *step, const char *section, const char *path)
{
	ReadKeys(step, section, path, 0, KeyCount);
	if (WaitsForWindows(step))
		ReadKeys(step, section, path, KeyCount, KeyAllCount);
	for (int r = 0; r < (int)(sizeof rules / sizeof rules[0]); r++) {
		if (Satisfies(step, r)) {
			EchoAccepted(step, section, r);
			return true;
		}
	}
	if (!IsEmpty(step)) {
		EchoRejected(step, section);
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
		if (!LoadSection(&StepTable[i], section, path))
			return;
		stepCount = i + 1;
	}
}
