/*
 * Prints what GetPrivateProfileStringA returns, for comparing the Windows
 * reader (this program built for Windows, run under Wine) with ours (built
 * for Linux). Arguments: groups of FILE SECTION KEY DEFAULT SIZE. For each
 * group one line: the count returned, a space, and in hex the buffer's
 * bytes up to and with its terminator ("-" when SIZE is 0).
 */
#include "platform/winapi.h"

static void Query(char **arg)
{
	char buf[1024];
	DWORD size = (DWORD)atoi(arg[4]), n, shown;

	if (size > sizeof buf)
		size = sizeof buf;
	memset(buf, 0x7F, sizeof buf); /* so a missing terminator shows */
	n = GetPrivateProfileStringA(arg[1], arg[2], arg[3], buf, size, arg[0]);
	printf("%lu ", (unsigned long)n);
	if (size == 0)
		printf("-");
	shown = n + 1 < size ? n + 1 : size;
	for (DWORD i = 0; i < shown; i++)
		printf("%02x", (unsigned char)buf[i]);
	printf("\n");
}

int main(int argc, char **argv)
{
	for (int i = 1; i + 4 < argc; i += 5)
		Query(argv + i);
	return 0;
}
