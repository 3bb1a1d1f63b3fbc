/* LoadScript: reads config.ini section by section into StepTable. */
#include <stddef.h>

#include "../actions/actions.h"
#include "../actions/verbs.h"
#include "../platform/winapi.h"
#include "steps.h"

/* The keys, in StepKey order: the seven of every section, listed when a
 * section is rejected, then the extensions, never listed in the block,
 * which keeps its seven lines. */
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

/* True when an extension the action reads is given a value it does not
 * take. */
static bool HasBadValue(StepRecord *step, const Verb *verb)
{
	for (int e = 0; e < ExtensionCount; e++) {
		const char *v = Field(step, extensions[e].key);
		bool known = extensions[e].values == NULL || v[0] == '\0';
		if (!(verb->takes & extensions[e].takenBy))
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
static int UnrequiredKey(StepRecord *step, const Verb *verb)
{
	for (int e = 0; e < ExtensionCount; e++)
		if ((verb->takes & extensions[e].takenBy) &&
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

static bool Satisfies(StepRecord *step, const Verb *verb, int index)
{
	const char *v = Field(step, verb->key);
	bool needs = false;

	switch (verb->need) {
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
	return needs && !HasBadValue(step, verb) && UnrequiredKey(step, verb) < 0;
}

static void EchoAccepted(StepRecord *step, const char *section, const Verb *verb)
{
	putchar('[');
	fputs(section, stdout);
	fputs("]\n", stdout);
	PrintField(step, KeyAction);
	if (verb->need == NeedWindow) {
		PrintField(step, KeyText);
		PrintField(step, KeyClassName);
	} else {
		PrintField(step, verb->key);
	}
	/* An extension shows only when given, so a script without them
	 * echoes as it always did. */
	for (int e = 0; e < ExtensionCount; e++)
		if ((verb->takes & extensions[e].takenBy) && extensions[e].key != verb->key &&
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
static void SayVersionRule(StepRecord *step, const char *section, const Verb *verb, int index)
{
	int key = UnrequiredKey(step, verb);

	if (verb->need == NeedVersion && index > 0)
		fprintf(stderr, "wincue: [%s] Require is read in [Section0] only\n", section);
	else if (verb->need == NeedVersion && VersionNumber(step->Version) >= 0)
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

void ReadSectionList(SectionList *list, const char *section, const char *path)
{
	DWORD n = GetPrivateProfileSectionA(section, list->text, SectionSize, path);
	const char *p = list->text, *last = p, *stop = list->text + SectionSize - 1;

	list->text[SectionSize - 1] = '\0'; /* so that no walk can leave it */
	list->section = section;
	list->path = path;
	/* Cut, the list's last line may be a part: only those before it count. */
	list->cut = n >= SectionSize - 2;
	for (; p < stop && *p != '\0'; p += strlen(p) + 1)
		last = p;
	list->end = list->cut ? last : p;
}

static char LowerAscii(char c)
{
	return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

/* Whether line ("name=value" or "name") names key, ignoring the case of
 * ASCII letters as Windows does for key names. The list's names and values
 * come trimmed, then cut at a NUL: what is left is used as it is. */
static bool NamesKey(const char *line, const char *key)
{
	while (*key != '\0' && LowerAscii(*line) == LowerAscii(*key)) {
		line++;
		key++;
	}
	return *key == '\0' && (*line == '=' || *line == '\0');
}

/* The first line of list naming key, or NULL. */
static const char *ListedLine(const SectionList *list, const char *key)
{
	for (const char *p = list->text; p < list->end; p += strlen(p) + 1)
		if (NamesKey(p, key))
			return p;
	return NULL;
}

/* The value of line into value (ValueSize bytes): empty without an '=',
 * else without one outer pair of like quotes; false when it is too long to
 * hold whole. */
static bool CopyValue(const char *line, char *value)
{
	const char *v = strchr(line, '=');
	size_t n;

	if (v == NULL) {
		value[0] = '\0';
		return true;
	}
	n = strlen(++v);
	if (n >= 2 && (v[0] == '"' || v[0] == '\'') && v[n - 1] == v[0]) {
		v++;
		n -= 2;
	}
	if (n >= ValueSize)
		return false;
	memcpy(value, v, n);
	value[n] = '\0';
	return true;
}

void ReadListedKey(const SectionList *list, const char *key, char *value)
{
	const char *line = ListedLine(list, key);

	if (line == NULL && !list->cut)
		value[0] = '\0';
	else if (line == NULL || !CopyValue(line, value))
		GetPrivateProfileStringA(list->section, key, "", value, ValueSize, list->path);
}

static void ReadKey(StepRecord *step, const SectionList *list, int k)
{
	ReadListedKey(list, keys[k].name, Field(step, k));
}

/* The keys of a section, as the profile reader gives them: the seven of
 * every section, then the extensions its action takes. */
static const Verb *ReadProfileSection(StepRecord *step, const char *section, const char *path)
{
	SectionList list;
	const Verb *verb;

	ReadSectionList(&list, section, path);
	for (int k = 0; k < KeyCount; k++)
		ReadKey(step, &list, k);
	verb = VerbOf(step->Action);
	for (int e = 0; verb != NULL && e < ExtensionCount; e++)
		if (verb->takes & extensions[e].takenBy)
			ReadKey(step, &list, extensions[e].key);
	return verb;
}

/* The same from the Unicode reader, which reads every key in one pass;
 * the extensions the action does not take are left empty, as above. */
static const Verb *ReadUnicodeKeys(StepRecord *step, const char *section)
{
	const char *names[KeyAllCount];
	char *values[KeyAllCount];
	const Verb *verb;

	for (int k = 0; k < KeyAllCount; k++) {
		names[k] = keys[k].name;
		values[k] = Field(step, k);
	}
	ReadUnicodeSection(section, names, values, KeyAllCount);
	verb = VerbOf(step->Action);
	for (int e = 0; e < ExtensionCount; e++)
		if (verb == NULL || !(verb->takes & extensions[e].takenBy))
			Field(step, extensions[e].key)[0] = '\0';
	return verb;
}

/* Reads section number index into step; false when it ends the script.
 * path is NULL for a script the Unicode reader reads. */
static bool LoadSection(StepRecord *step, const char *section, const char *path, int index)
{
	const Verb *verb =
	    path != NULL ? ReadProfileSection(step, section, path) : ReadUnicodeKeys(step, section);

	if (verb != NULL && Satisfies(step, verb, index)) {
		EchoAccepted(step, section, verb);
		if (verb->need == NeedVersion)
			requiredVersion = VersionNumber(step->Version);
		return true;
	}
	if (!IsEmpty(step)) {
		EchoRejected(step, section);
		if (verb != NULL)
			SayVersionRule(step, section, verb, index);
		loadRejected = 1;
	}
	return false;
}

/* "Section" and i in decimal into name, which holds it with room to spare;
 * formatting was a tenth of a long script's load. */
static void SectionName(char *name, int i)
{
	char digits[12];
	int n = 0;

	memcpy(name, "Section", 7);
	do
		digits[n++] = (char)('0' + i % 10);
	while ((i /= 10) > 0);
	for (int k = 0; k < n; k++)
		name[7 + k] = digits[n - 1 - k];
	name[7 + n] = '\0';
}

/* A script that requires 1.4 or later is Unicode text, read by a reader
 * of our own (OpenUnicodeScript). Any other is read by the profile reader
 * exactly as before 1.4: a file whose byte-order mark is UTF-8 or whose
 * [Section0] requires less then reads as it always did. */
void LoadScript(void)
{
	char path[ValueSize];
	char section[ValueSize];
	bool unicode = OpenUnicodeScript();

	if (unicode)
		ShowUtf8OnConsole();
	if (!unicode && !ScriptPath(path))
		return;
	for (int i = 0; i < MaxSteps; i++) {
		SectionName(section, i);
		if (!LoadSection(&StepTable[i], section, unicode ? NULL : path, i))
			break;
		stepCount = i + 1;
	}
	CloseUnicodeScript();
}
