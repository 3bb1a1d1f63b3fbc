/* The command-line options. Any other argument is ignored, as it always
 * was, so that a run without options does what the design says. */
#include "options.h"
#include "../actions/actions.h"
#include "../platform/winapi.h"
#include "../script/steps.h"
#include "execute.h"

/* Lists every top-level window as the window steps see it. */
static int ListDesktop(void)
{
	/* A desktop that cannot be read is this option's to report: on Linux
	 * the X11 layer would otherwise say so itself and go on as if it were
	 * empty. */
	SetErrorMode(SEM_FAILCRITICALERRORS);
	if (!ListWindows()) {
		fflush(stdout);
		fprintf(stderr, "wincue: cannot read the desktop\n");
		return 1;
	}
	return 0;
}

/* The same as a script of 1.4 or later sees them: the names in UTF-8, on
 * Windows read through the wide functions, and a window cloaked on another
 * virtual desktop said so. */
static int ListDesktopUtf8(void)
{
	requiredVersion = VersionNumber("1.4");
	ShowUtf8OnConsole();
	return ListDesktop();
}

/* Loads and echoes the script as a run would, then says on standard
 * error how many windows each window step matches now; runs no step. */
static int CheckScript(void)
{
	LoadScript();
	if (stepCount == 0)
		printf("Can not read a config.ini .");
	fflush(stdout);
	for (currentStep = 0; currentStep < stepCount; currentStep++) {
		if (IsWindowStep()) {
			int count = CountMatchingWindows();
			int out = count > 0 ? CountOutOfReach() : 0;
			char beyond[64] = "";
			if (out > 0)
				sprintf_s(beyond, sizeof beyond, ", %d wincue cannot act on", out);
			fprintf(stderr, "wincue: [Section%d] %s: %d matching window%s%s\n",
			        currentStep, StepTable[currentStep].Action, count,
			        count == 1 ? "" : "s", beyond);
		}
	}
	return stepCount > 0 && !loadRejected ? 0 : 1;
}

static int PrintUsage(void)
{
	printf("Usage: wincue [--list | --list-utf8 | --check | --help | --version]\n"
	       "Runs the steps of config.ini in the current directory against the windows\n"
	       "of other programs.\n"
	       "  --list     list the top-level windows, one a line, tab-separated: id, shown\n"
	       "             or hidden, enabled or disabled, class, title\n"
	       "  --list-utf8\n"
	       "             the same as a script that requires wincue 1.4 sees them: class\n"
	       "             and title in UTF-8 (on Windows, every language), and cloaked\n"
	       "             for a window on another virtual desktop\n"
	       "  --check    load and echo config.ini, run no step, and say on standard error\n"
	       "             how many windows each window step matches now, and how many\n"
	       "             of them it cannot act on\n"
	       "  --help, /? show this help\n"
	       "  --version  show the version\n");
	for (int i = 0; i < systemOptionCount; i++)
		fputs(systemOptions[i].usage, stdout);
	printf("Exit status 1: a Find, Gone or Activate step gave up, --check met a rejected\n"
	       "section or no script, or --list could not read the desktop; else 0.\n");
	return 0;
}

static int PrintVersion(void)
{
	printf("wincue %s\n", WINCUE_VERSION);
	return 0;
}

static const struct {
	const char *name;
	OptionRun run;
} options[] = {
    {"--list", ListDesktop},  {"--list-utf8", ListDesktopUtf8},
    {"--check", CheckScript}, {"--help", PrintUsage},
    {"/?", PrintUsage},       {"--version", PrintVersion},
};

OptionRun ChosenOption(int argc, char **argv)
{
	for (int a = 1; a < argc; a++) {
		for (size_t i = 0; i < sizeof options / sizeof options[0]; i++)
			if (ValueEquals(argv[a], options[i].name))
				return options[i].run;
		for (int i = 0; i < systemOptionCount; i++)
			if (ValueEquals(argv[a], systemOptions[i].name))
				return systemOptions[i].run;
	}
	return NULL;
}
