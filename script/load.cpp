/* LoadScript: reads config.ini section by section into StepTable. */
#include <stddef.h>

#include "../platform/winapi.h"
#include "steps.h"

/* The seven keys, in the order they are read and listed when a section is
 * rejected (Action first there, so it is listed apart). */
enum { KeyText, KeyClassName, KeyAction, KeyEnable, KeyDisplay, KeySleep, KeyCmd, KeyCount };

static const struct {
	const char *name;
	const char *label; /* padded to ten characters before the '=' */
	size_t offset;
} keys[KeyCount] = {
    {"Text", "Text      =", offsetof(StepRecord, Text)},
    {"ClassName", "ClassName =", offsetof(StepRecord, ClassName)},
    {"Action", "Action    =", offsetof(StepRecord, Action)},
    {"Enable", "Enable    =", offsetof(StepRecord, Enable)},
    {"Display", "Display   =", offsetof(StepRecord, Display)},
    {"Sleep", "Sleep     =", offsetof(StepRecord, Sleep)},
    {"Cmd", "Cmd       =", offsetof(StepRecord, Cmd)},
};

/* What each action word needs of its section, and the value it echoes. */
enum Need { NeedFlag, NeedWindow, NeedValue };

static const struct {
	const char *action;
	enum Need need;
	int key; /* the value required and echoed; Find echoes Text and ClassName */
} rules[] = {
    {"Enable", NeedFlag, KeyEnable}, {"Display", NeedFlag, KeyDisplay},
    {"Find", NeedWindow, KeyText},   {"Sleep", NeedValue, KeySleep},
    {"Cmd", NeedValue, KeyCmd},
};

static char *Field(StepRecord *step, int key)
{
	return (char *)step + keys[key].offset;
}

static void PrintField(StepRecord *step, int key)
{
	printf("%s%s\n", keys[key].label, Field(step, key));
}

static bool Satisfies(StepRecord *step, int r)
{
	const char *v = Field(step, rules[r].key);

	if (!ValueEquals(step->Action, rules[r].action))
		return false;
	switch (rules[r].need) {
	case NeedFlag:
		return ValueEquals(v, "1") || ValueEquals(v, "0");
	case NeedWindow:
		return step->Text[0] != '\0' || step->ClassName[0] != '\0';
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

/* Reads one section into step; false when it ends the script. */
static bool LoadSection(StepRecord *step, const char *section, const char *path)
{
	for (int k = 0; k < KeyCount; k++)
		GetPrivateProfileStringA(section, keys[k].name, "", Field(step, k), ValueSize,
		                         path);
	for (int r = 0; r < (int)(sizeof rules / sizeof rules[0]); r++) {
		if (Satisfies(step, r)) {
			EchoAccepted(step, section, r);
			return true;
		}
	}
	if (!IsEmpty(step))
		EchoRejected(step, section);
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
