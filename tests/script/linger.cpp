/*
 * linger FILE [ARG...]: a program for Cmd steps and the process tests to
 * start. Writes "started" and its arguments to FILE, on Linux then what it
 * inherited (session, descriptors, blocked and ignored signals, directory),
 * waits (at most a minute) until FILE.stop exists, then appends "ended".
 * Shows that a started program really ran, ran on, and got nothing else.
 * (It links nothing of wincue's, whose start-up would change its signals.)
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#define Exists(path) (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
#else
#include <dirent.h>
#include <signal.h>
#include <unistd.h>
#define Sleep(ms) usleep((ms)*1000)
#define Exists(path) (access(path, F_OK) == 0)

static void ReportInherited(FILE *f)
{
	DIR *dir = opendir("/proc/self/fd");
	struct dirent *entry;
	sigset_t blocked;
	struct sigaction action;
	int nBlocked = 0;
	char cwd[4096];

	fprintf(f, "session %d\nfds", (int)getsid(0));
	while (dir != NULL && (entry = readdir(dir)) != NULL)
		if (entry->d_name[0] != '.' && atoi(entry->d_name) != dirfd(dir) &&
		    atoi(entry->d_name) != fileno(f))
			fprintf(f, " %s", entry->d_name);
	if (dir != NULL)
		closedir(dir);
	sigprocmask(SIG_BLOCK, NULL, &blocked);
	for (int sig = 1; sig < NSIG; sig++)
		nBlocked += sigismember(&blocked, sig) == 1;
	fprintf(f, "\nblocked %d\nignored", nBlocked);
	for (int sig = 1; sig < NSIG; sig++)
		if (sigaction(sig, NULL, &action) == 0 && action.sa_handler == SIG_IGN)
			fprintf(f, " %d", sig);
	fprintf(f, "\ncwd %s\n", getcwd(cwd, sizeof cwd) ? cwd : "?");
}
#endif

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
#ifndef _WIN32
	ReportInherited(f);
#endif
	fprintf(f, "reported\n");
	fflush(f);
	for (int waited = 0; waited < 60000 && !Exists(stop); waited += 10)
		Sleep(10);
	fprintf(f, "ended\n");
	fclose(f);
	return 0;
}
