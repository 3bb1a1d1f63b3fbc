#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cmdline.h"

static bool IsBlank(char c)
{
	return c == ' ' || c == '\t';
}

/* Appends c to the text being built; false when it is full. */
static bool Put(char *text, size_t size, size_t *used, char c)
{
	if (*used >= size)
		return false;
	text[(*used)++] = c;
	return true;
}

/* The program name: no escapes, since it must be a file name. Returns
 * where the arguments begin, or NULL when text is full. */
static const char *ScanProgramName(const char *p, char *text, size_t size, size_t *used)
{
	if (*p == '"') {
		for (p++; *p != '"' && *p != '\0'; p++)
			if (!Put(text, size, used, *p))
				return NULL;
		if (*p == '"')
			p++;
	} else {
		for (; *p != '\0' && !IsBlank(*p); p++)
			if (!Put(text, size, used, *p))
				return NULL;
	}
	return Put(text, size, used, '\0') ? p : NULL;
}

/* One argument, from its first character to the blank or end that closes
 * it. Returns where it ended, or NULL when text is full. */
static const char *ScanArgument(const char *p, char *text, size_t size, size_t *used)
{
	bool quoted = false;

	for (;;) {
		size_t slashes = 0;
		bool copy = true;

		while (*p == '\\') {
			p++;
			slashes++;
		}
		if (*p == '"') {
			if (slashes % 2 == 0) {
				if (quoted && p[1] == '"')
					p++;
				else
					copy = false;
				quoted = !quoted;
			}
			slashes /= 2;
		}
		for (; slashes > 0; slashes--)
			if (!Put(text, size, used, '\\'))
				return NULL;
		if (*p == '\0' || (!quoted && IsBlank(*p)))
			break;
		if (copy && !Put(text, size, used, *p))
			return NULL;
		p++;
	}
	return Put(text, size, used, '\0') ? p : NULL;
}

int SplitCommandLine(const char *line, char *text, size_t textSize, char **argv, int argvSize)
{
	const char *p = line;
	size_t used = 0;
	int argc = 0;

	for (;;) {
		if (argc > 0) {
			while (IsBlank(*p))
				p++;
			if (*p == '\0')
				break;
		}
		if (argc + 1 >= argvSize)
			return -1; /* keep the slot for NULL */
		argv[argc] = text + used;
		p = argc == 0 ? ScanProgramName(p, text, textSize, &used)
		              : ScanArgument(p, text, textSize, &used);
		if (p == NULL)
			return -1;
		argc++;
	}
	argv[argc] = NULL;
	return argc;
}

static bool IsRunnable(const char *path)
{
	struct stat st;

	return stat(path, &st) == 0 && S_ISREG(st.st_mode) && access(path, X_OK) == 0;
}

/* Writes dir/name to path; an empty PATH entry means the current
 * directory. False when it does not fit. */
static bool JoinPath(char *path, size_t size, const char *dir, size_t dirLength, const char *name)
{
	int n;

	if (dirLength == 0)
		n = snprintf(path, size, "./%s", name);
	else
		n = snprintf(path, size, "%.*s/%s", (int)dirLength, dir, name);
	return n >= 0 && (size_t)n < size;
}

bool LocateProgram(const char *name, char *path, size_t pathSize)
{
	const char *dirs = getenv("PATH");

	if (name[0] == '\0')
		return false;
	if (strchr(name, '/') != NULL) {
		int n = snprintf(path, pathSize, "%s", name);

		return n >= 0 && (size_t)n < pathSize && IsRunnable(path);
	}
	if (dirs == NULL)
		dirs = "/bin:/usr/bin"; /* what the C library's execvp assumes */
	for (;;) {
		const char *end = strchrnul(dirs, ':');

		if (JoinPath(path, pathSize, dirs, (size_t)(end - dirs), name) && IsRunnable(path))
			return true;
		if (*end == '\0')
			return false;
		dirs = end + 1;
	}
}

/* Looks up the first length characters of line as a program name. */
static bool LocatePrefix(const char *line, size_t length, char *path, size_t pathSize)
{
	char name[CommandLineSize];

	if (length >= sizeof name)
		return false;
	memcpy(name, line, length);
	name[length] = '\0';
	return LocateProgram(name, path, pathSize);
}

bool FindProgram(const char *line, char *path, size_t pathSize)
{
	size_t n;

	if (line[0] == '"')
		return LocatePrefix(line + 1, strcspn(line + 1, "\""), path, pathSize);
	for (n = 0;; n++) {
		if (line[n] != '\0' && !IsBlank(line[n]))
			continue;
		if (LocatePrefix(line, n, path, pathSize))
			return true;
		if (line[n] == '\0')
			return false;
	}
}
