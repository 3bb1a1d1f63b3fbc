#ifndef WINCUE_OPTIONS_H
#define WINCUE_OPTIONS_H

/* What an option does; its result is the exit status. */
typedef int (*OptionRun)(void);

/* The first argument that names an option (--list, --check, --help, /?,
 * --version) chooses it; NULL when none does, and the script runs. */
OptionRun ChosenOption(int argc, char **argv);

#endif
