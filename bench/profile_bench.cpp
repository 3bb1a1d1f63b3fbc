/*
 * Prints what reading config.ini costs in one process: a call answered
 * from the file held, LoadScript on a 255-step script, and the first calls
 * on 50 MB of junk. Run by scripts/bench-profile.sh; figures, no verdicts.
 */
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <string>
#include <time.h>
#include <unistd.h>

#include "platform/linux/system/profile.h"
#include "platform/winapi.h"
#include "script/steps.h"

using std::string;

static const char *keys[] = {"Text", "ClassName", "Action", "Enable", "Display", "Sleep", "Cmd"};

static double Now(void)
{
	struct timespec t;

	clock_gettime(CLOCK_MONOTONIC, &t);
	return t.tv_sec + t.tv_nsec / 1e9;
}

static void Write(const char *path, const string &bytes)
{
	FILE *f = fopen(path, "wb");

	if (f == NULL || fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || fclose(f)) {
		perror(path);
		exit(1);
	}
}

/* LoadScript's whole work, its echo sent to /dev/null. Seconds. */
static double TimeLoad(void)
{
	int saved = dup(1), null = open("/dev/null", O_WRONLY);
	double t;

	fflush(stdout);
	dup2(null, 1);
	ResetScript();
	t = Now();
	LoadScript();
	t = Now() - t;
	fflush(stdout);
	dup2(saved, 1);
	close(saved);
	close(null);
	return t;
}

static string Script(void)
{
	string s;
	char line[160];

	for (int i = 0; i < MaxSteps; i++) {
		snprintf(line, sizeof line,
		         "[Section%d]\r\nAction=Cmd\r\nCmd=C:\\Program Files\\app%d.exe /x\r\n"
		         "Text=Window %d\r\nClassName=Class%d\r\n\r\n",
		         i, i, i, i);
		s += line;
	}
	return s;
}

/* Before each run: nothing (a second load in the same process answers
 * from the file held), or drop what is held (a load as a run makes it). */
enum Start { Held, Dropped };

static double Median(double (*f)(void), int runs, enum Start start)
{
	static const string script = Script();
	double v[101];

	Write("config.ini", script);
	for (int i = 0; i < runs; i++) {
		if (start == Dropped)
			DropProfileCache();
		v[i] = f();
	}
	for (int i = 1; i < runs; i++) /* insertion sort: a few runs */
		for (int j = i; j > 0 && v[j] < v[j - 1]; j--) {
			double x = v[j];
			v[j] = v[j - 1];
			v[j - 1] = x;
		}
	return v[runs / 2];
}

/* One call, as LoadScript makes them, answered from the file held. */
static double TimeCalls(void)
{
	char buf[255], section[32];
	const int rounds = 20;
	double t = Now();

	for (int r = 0; r < rounds; r++)
		for (int i = 0; i < MaxSteps; i++) {
			snprintf(section, sizeof section, "Section%d", i);
			for (const char *k : keys)
				GetPrivateProfileStringA(section, k, "", buf, sizeof buf,
				                         "config.ini");
		}
	return (Now() - t) / (rounds * MaxSteps * 7);
}

/* 50 MB of random bytes, or of random short lines of INI-like text. */
static string Junk(bool text)
{
	static const char alphabet[] = "[]=;\r\n \tabcSection0123456789";
	uint64_t x = 88172645463325252ULL;
	string s(50u << 20, '\0');

	for (char &c : s) {
		x ^= x << 13;
		x ^= x >> 7;
		x ^= x << 17;
		c = text ? alphabet[x % (sizeof alphabet - 1)] : (char)x;
	}
	return s;
}

/* The first call reads and indexes the file; the rest of a load answers
 * from what is held. */
static void JunkFigures(const char *what, const string &junk)
{
	char buf[255];
	double t;

	Write("config.ini", junk);
	DropProfileCache();
	t = Now();
	GetPrivateProfileStringA("Section0", "Action", "", buf, sizeof buf, "config.ini");
	printf("50 MB of %-13s first call:  %8.1f ms\n", what, (Now() - t) * 1e3);
	Write("config.ini", junk);
	DropProfileCache();
	printf("50 MB of %-13s LoadScript:  %8.1f ms\n", what, TimeLoad() * 1e3);
}

int main(void)
{
	char dir[] = "/tmp/wincue-bench-XXXXXX";

	if (mkdtemp(dir) == NULL || chdir(dir) != 0)
		return 1;
	printf("LoadScript of a 255-step script (1,785 calls), median of 21:\n");
	printf("  file read afresh:          %8.3f ms\n", Median(TimeLoad, 21, Dropped) * 1e3);
	printf("  file held:                 %8.3f ms\n", Median(TimeLoad, 21, Held) * 1e3);
	printf("One call, file held:         %8.3f us\n", Median(TimeCalls, 5, Held) * 1e6);
	JunkFigures("random bytes,", Junk(false));
	JunkFigures("INI-like text,", Junk(true));
	DropProfileCache();
	unlink("config.ini");
	rmdir(dir);
	return 0;
}
