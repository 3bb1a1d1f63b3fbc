/*
 * linger FILE: a program for Cmd steps to start. Writes "started" and its
 * arguments to FILE, waits (at most a minute) until FILE.stop exists, then
 * appends "ended". Shows a started program really ran and ran on.
 */
#include "../../platform/winapi.h"

static bool Exists(const char *path)
{
	FILE *f = fopen(path, "rb");

	if (f == NULL)
		return false;
	fclose(f);
	return true;
}

int main(int argc, char **argv)
{
	char stop[1024];
	FILE *f;

	if (argc < 2 || strlen(argv[1]) + 6 > sizeof stop)
		return 2;
	snprintf(stop, sizeof stop, "%s.stop", argv[1]);
	f = fopen(argv[1], "wb");
	if (f == NULL)
		return 1;
	fprintf(f, "started");
	for (int i = 2; i < argc; i++)
		fprintf(f, " %s", argv[i]);
	fprintf(f, "\n");
	fflush(f);
	for (int waited = 0; waited < 60000 && !Exists(stop); waited += 10)
		Sleep(10);
	fprintf(f, "ended\n");
	fclose(f);
	return 0;
}
