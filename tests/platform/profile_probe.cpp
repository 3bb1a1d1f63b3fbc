/*
 * Prints what the INI readers return, for comparing Windows' (this program
 * built for Windows, run under Wine) with ours (built for Linux).
 * Arguments: groups of READER FILE SECTION KEY DEFAULT SIZE, READER being
 * "string" (GetPrivateProfileStringA), "loader" (KEY as the script loader
 * reads it from the section's list; DEFAULT and SIZE unused), "unicode" (the
 * same from the reader of 1.4 scripts) or "section"
 * (GetPrivateProfileSectionA; KEY and DEFAULT unused). For each group one
 * line: the count returned, a space, and in hex the buffer's bytes up to and
 * with its terminator, for a list the NUL of its first empty string ("-"
 * when SIZE is 0).
 */
#include "platform/winapi.h"
#include "script/steps.h"

static void Print(DWORD n, const char *buf, DWORD size, DWORD shown)
{
	printf("%lu %s", (unsigned long)n, size == 0 ? "-" : "");
	for (DWORD i = 0; i < shown && i < size; i++)
		printf("%02x", (unsigned char)buf[i]);
	printf("\n");
}

static void Query(char **arg)
{
	static SectionList list;
	char buf[SectionSize];
	DWORD size = (DWORD)atoi(arg[5]), n, end = 0;

	if (size > sizeof buf)
		size = sizeof buf;
	memset(buf, 0x7F, sizeof buf); /* so a missing terminator shows */
	if (strcmp(arg[0], "section") == 0) {
		n = GetPrivateProfileSectionA(arg[2], buf, size, arg[1]);
		while (end < size && buf[end] != '\0')
			end += (DWORD)strnlen(buf + end, size - end) + 1;
		Print(n, buf, size, end + 1);
		return;
	}
	if (strcmp(arg[0], "loader") == 0 || strcmp(arg[0], "unicode") == 0) {
		char *values[] = {buf};
		buf[0] = '\0';
		if (arg[0][0] == 'l') {
			ReadSectionList(&list, arg[2], arg[1]);
			ReadListedKey(&list, arg[3], buf);
		} else if (OpenUnicodeText(arg[1])) {
			ReadUnicodeSection(arg[2], &arg[3], values, 1);
			CloseUnicodeScript();
		}
		size = ValueSize;
		n = (DWORD)strlen(buf);
	} else {
		n = GetPrivateProfileStringA(arg[2], arg[3], arg[4], buf, size, arg[1]);
	}
	Print(n, buf, size, n + 1);
}

int main(int argc, char **argv)
{
	for (int i = 1; i + 5 < argc; i += 6)
		Query(argv + i);
	return 0;
}
