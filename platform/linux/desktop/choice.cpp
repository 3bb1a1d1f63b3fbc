/*
 * Which desktop the window functions act on, and loading it. A Wayland
 * compositor shows a program's windows to outside programs only through an
 * interface of its own, when it has one; every other session is reached
 * over X11, which also holds a Wayland session's XWayland windows.
 *
 * Each desktop is a module of its own (wincue-x11.so, ...), loaded when the
 * first window operation needs one: a script without window steps loads
 * none, and a run loads only the libraries of the desktop it uses.
 */
#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "desktop.h"

/* Where the modules are: beside the program in a build tree, else the
 * package's library folder, named from the program's own folder (and as
 * installed, when the program cannot see itself). */
#ifndef WINCUE_MODULE_DIR
#define WINCUE_MODULE_DIR "../lib/wincue"
#endif
#ifndef WINCUE_MODULE_PATH
#define WINCUE_MODULE_PATH "/usr/local/lib/wincue"
#endif

static const Desktop *chosen;
static bool saidUnreached; /* a compositor said why its windows cannot be reached */

/* Compositors with an interface of their own, tried in turn under Wayland,
 * each only when the session gives what it needs. */
static const struct {
	const char *module;
	const char *needs; /* an environment variable that must be set */
} compositors[] = {
    {"sway", "SWAYSOCK"},
    {"kwin", NULL},
    {"gnome", NULL},
    /* The window-list protocol wlroots compositors share; sway's own IPC
     * above tells more. */
    {"wlr", NULL},
};

/* -- a desktop with no windows ------------------------------------------ */

/* What the window functions act on when no desktop could be loaded: as a
 * desktop that cannot be read, with no windows. */
static WindowCache noWindows = {sizeof(DeskWindow), NULL, 0, 0, 0, NULL, 0, 0};

static bool NoOpen(void)
{
	return true;
}

static bool NoUpdate(void)
{
	return false;
}

static void NoDrain(void)
{
}

/* Nothing can come: a wait for it is a pause. */
static int NoFd(void)
{
	return -1;
}

static uint64_t NoVersion(void)
{
	return 0;
}

static int NoList(HWND *room, int size)
{
	(void)room;
	(void)size;
	return 0;
}

static DeskVisibility NoVisibility(HWND window)
{
	(void)window;
	return DeskHidden;
}

static DeskInput NoInput(HWND window)
{
	(void)window;
	return DeskInputRefused;
}

static BOOL NoShow(HWND window, int command)
{
	(void)window;
	(void)command;
	return FALSE;
}

static bool NoFinish(bool acted)
{
	(void)acted;
	return false;
}

static const Desktop noDesktop = {
    .name = "no desktop",
    .windows = &noWindows,
    .open = NoOpen,
    .update = NoUpdate,
    .drain = NoDrain,
    .fd = NoFd,
    .version = NoVersion,
    .list = NoList,
    .isVisible = NoVisibility,
    .isEnabled = NoInput,
    .show = NoShow,
    .finish = NoFinish,
};

/* -- loading ------------------------------------------------------------ */

/* The module's path in the folder of the program, or dir below it. */
static bool ModulePath(char *path, size_t size, const char *dir, const char *module)
{
	char self[PATH_MAX];
	ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
	char *slash;

	if (n <= 0)
		return false;
	self[n] = '\0';
	slash = strrchr(self, '/');
	if (slash == NULL)
		return false;
	*slash = '\0';
	return snprintf(path, size, "%s%s%s/wincue-%s.so", self, dir[0] ? "/" : "", dir, module) <
	       (int)size;
}

/* What a module names symbol, with the module's handle in *handle; NULL,
 * having said why, when it cannot be loaded or has no such symbol. */
static void *LoadSymbol(const char *module, const char *symbol, void **handle)
{
	char path[PATH_MAX + 64];
	char why[PATH_MAX + 128] = "";
	bool there = false; /* a module found that would not load */
	void *found;

	*handle = NULL;
	for (int i = 0; i < 3 && *handle == NULL; i++) {
		if (i < 2 &&
		    !ModulePath(path, sizeof path, i == 0 ? "" : WINCUE_MODULE_DIR, module))
			continue;
		if (i == 2)
			snprintf(path, sizeof path, WINCUE_MODULE_PATH "/wincue-%s.so", module);
		*handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
		/* A module that is there and would not load says why, not a
		 * later place that has none. */
		if (*handle == NULL && !there) {
			KeepName(why, sizeof why, dlerror());
			there = access(path, F_OK) == 0 || errno != ENOENT;
		}
	}
	if (*handle == NULL) {
		fprintf(stderr, "wincue: cannot load the %s desktop: %s\n", module, why);
		return NULL;
	}
	/* Another module copied in under this one's name loads but lacks
	 * the entry: as good as none, and said as plainly. */
	found = dlsym(*handle, symbol);
	if (found == NULL) {
		fprintf(stderr, "wincue: cannot load the %s desktop: %s has no %s\n", module, path,
		        symbol);
		dlclose(*handle);
	}
	return found;
}

/* The table a module fills: its name followed by "Desktop". */
static const Desktop *Load(const char *module, void **handle)
{
	char symbol[32];

	snprintf(symbol, sizeof symbol, "%sDesktop", module);
	return (const Desktop *)LoadSymbol(module, symbol, handle);
}

int RunModuleTool(const char *module, const char *entry)
{
	void *handle;
	int (*tool)(void) = (int (*)(void))LoadSymbol(module, entry, &handle);

	return tool != NULL ? tool() : 1;
}

/* A compositor's desktop when it answers; its module unloaded when not. */
static const Desktop *Answering(const char *module)
{
	void *handle;
	const Desktop *desktop = Load(module, &handle);

	if (desktop == NULL || desktop->open())
		return desktop;
	dlclose(handle);
	return NULL;
}

static const Desktop *Choose(void)
{
	const char *wayland = getenv("WAYLAND_DISPLAY");
	const Desktop *desktop;
	void *handle;

	if (wayland != NULL && wayland[0] != '\0') {
		for (size_t i = 0; i < sizeof compositors / sizeof compositors[0]; i++) {
			const char *needs = compositors[i].needs;
			if (needs != NULL && (getenv(needs) == NULL || getenv(needs)[0] == '\0'))
				continue;
			desktop = Answering(compositors[i].module);
			if (desktop != NULL)
				return desktop;
		}
		if (!saidUnreached)
			fputs("wincue: this Wayland desktop shows other programs none of its own "
			      "windows: only XWayland windows can be reached\n",
			      stderr);
	}
	desktop = Load("x11", &handle);
	if (desktop == NULL)
		return &noDesktop;
	desktop->open();
	return desktop;
}

const Desktop *ChosenDesktop(void)
{
	if (chosen == NULL)
		chosen = Choose();
	return chosen;
}

const Desktop *DesktopIfChosen(void)
{
	return chosen;
}

void UseDesktop(const Desktop *desktop)
{
	chosen = desktop;
}

void SayWaylandUnreached(const char *why)
{
	if (saidUnreached)
		return;
	saidUnreached = true;
	fprintf(stderr, "wincue: %s; until then only XWayland windows can be reached\n", why);
}

void SayDesktopLost(const char *problem, const char *where)
{
	static bool said;

	if (said || (GetErrorMode() & SEM_FAILCRITICALERRORS))
		return;
	said = true;
	fprintf(stderr, "wincue: %s \"%s\"; going on as a desktop with no windows\n", problem,
	        where ? where : "");
}

void KeepName(char *out, int size, const char *name)
{
	size_t length = FitText(name, strlen(name), (size_t)size);

	memcpy(out, name, length);
	out[length] = '\0';
}
