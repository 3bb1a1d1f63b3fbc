/* How a command line becomes a program file and its argument vector on
 * Linux, read the way Windows and its C runtime (msvcrt) read it, so that a
 * Cmd step means the same on both systems. */
#ifndef WINCUE_CMDLINE_H
#define WINCUE_CMDLINE_H

#include <stddef.h>

enum {
	/* Longest command line taken, terminator included: a step's value. */
	CommandLineSize = 255,
	/* Room for what such a line can give: each argument takes at least
	 * one character and a separator ("a b c ..." gives 127), and its
	 * text at most its own characters plus a terminator. */
	MaxArguments = 128,
	ArgumentTextSize = 2 * CommandLineSize,
};

/* Splits line into argv as msvcrt does. The program name (argv[0]) runs to
 * the closing quote if it starts with one, else to the first blank; no
 * escapes. In the arguments blanks separate and double quotes group;
 * 2n backslashes before a quote give n and the quote toggles quoting,
 * 2n+1 give n and a literal quote, others are literal; "" inside quotes is
 * a literal quote and ends the quoting. The strings go to text (textSize
 * bytes); argv gets argvSize slots, the last used one NULL. Returns the
 * number of arguments, or -1 when they do not fit. */
int SplitCommandLine(const char *line, char *text, size_t textSize, char **argv, int argvSize);

/* Finds name as a shell does: a name with a slash is a path (relative to
 * the current directory), any other is looked up in PATH. True when that
 * gives an executable regular file; path (pathSize bytes) then holds it,
 * always with a slash in it. */
bool LocateProgram(const char *name, char *path, size_t pathSize);

/* Finds the program a command line names, as Windows does: a quoted name
 * is taken whole; an unquoted one is tried at each blank, shortest prefix
 * first ("/opt/my app/run x" tries "/opt/my", "/opt/my app/run", then the
 * whole line). Each candidate is looked up with LocateProgram. False when
 * none names a program. */
bool FindProgram(const char *line, char *path, size_t pathSize);

#endif
