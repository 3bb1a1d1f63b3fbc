/* The option only the Linux build has: installing wincue's GNOME Shell
 * extension, without which GNOME shows wincue none of its own windows. A
 * module of its own does it, so that only this option loads GIO. */
#include "../platform/linux/system/system.h"
#include "options.h"

static int InstallGnomeExtension(void)
{
	return RunModuleTool("gnome-install", "gnomeInstall");
}

const SystemOption systemOptions[] = {
    {"--install-gnome-extension", InstallGnomeExtension,
     "  --install-gnome-extension\n"
     "             install wincue's GNOME Shell extension for this user, without\n"
     "             which GNOME shows wincue none of its own windows, then log in\n"
     "             again; exit status 1 when it cannot\n"},
};
const int systemOptionCount = sizeof systemOptions / sizeof systemOptions[0];
