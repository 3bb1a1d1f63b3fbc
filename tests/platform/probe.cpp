/* Started by the process tests: writes what it inherited to the file named
 * by WINCUE_PROBE_OUT, whole or not at all (written aside, then renamed). */
#include <dirent.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static void WriteDescriptors(FILE *out)
{
	DIR *dir = opendir("/proc/self/fd");
	struct dirent *entry;

	fprintf(out, "fds");
	while (dir != NULL && (entry = readdir(dir)) != NULL)
		if (entry->d_name[0] != '.' && atoi(entry->d_name) != dirfd(dir) &&
		    atoi(entry->d_name) != fileno(out))
			fprintf(out, " %s", entry->d_name);
	fprintf(out, "\n");
	if (dir != NULL)
		closedir(dir);
}

static void WriteSignals(FILE *out)
{
	sigset_t blocked;
	struct sigaction action;
	int nBlocked = 0, nIgnored = 0;

	sigprocmask(SIG_BLOCK, NULL, &blocked);
	for (int sig = 1; sig < NSIG; sig++) {
		nBlocked += sigismember(&blocked, sig) == 1;
		nIgnored += sigaction(sig, NULL, &action) == 0 && action.sa_handler == SIG_IGN;
	}
	fprintf(out, "blocked %d\nignored %d\n", nBlocked, nIgnored);
}

/* "no" when the variable names our parent's pid or session. */
static const char *Differs(const char *name, pid_t ours)
{
	const char *theirs = getenv(name);

	return theirs != NULL && atoi(theirs) == (int)ours ? "no" : "yes";
}

int main(int argc, char **argv)
{
	const char *path = getenv("WINCUE_PROBE_OUT");
	char aside[4096], cwd[4096];
	FILE *out;

	if (path == NULL || snprintf(aside, sizeof aside, "%s.part", path) >= (int)sizeof aside)
		return 1;
	out = fopen(aside, "w");
	if (out == NULL)
		return 1;
	fprintf(out, "own parent %s\n", Differs("WINCUE_PROBE_PID", getppid()));
	fprintf(out, "own session %s\n", Differs("WINCUE_PROBE_SID", getsid(0)));
	fprintf(out, "cwd %s\n", getcwd(cwd, sizeof cwd) ? cwd : "?");
	WriteDescriptors(out);
	WriteSignals(out);
	for (int i = 0; i < argc; i++)
		fprintf(out, "arg %s\n", argv[i]);
	fclose(out);
	return rename(aside, path) == 0 ? 0 : 1;
}
