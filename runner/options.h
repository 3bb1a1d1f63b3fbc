#ifndef WINCUE_OPTIONS_H
#define WINCUE_OPTIONS_H

/* What an option does; its result is the exit status. */
typedef int (*OptionRun)(void);

/* An option of one system's build only: its name, what it does, and its
 * lines in the usage. */
struct SystemOption {
	const char *name;
	OptionRun run;
	const char *usage;
};

/* The options of the system the build is for: runner/options_linux.cpp,
 * runner/options_windows.cpp. */
extern const SystemOption systemOptions[];
extern const int systemOptionCount;

/* The first argument that names an option (--list, --check, --help, /?,
 * --version, or one of the system's) chooses it; NULL when none does, and the script runs. */
OptionRun ChosenOption(int argc, char **argv);

#endif
