/*
 * wincue --install-gnome-extension: copies the variant of wincue's GNOME
 * Shell extension that the user's shell runs into the user's extensions
 * folder and adds it to the extensions the shell enables at its start
 * (GSettings org.gnome.shell), keeping every other one. The shell reads
 * its settings through dconf, whose writer is reached on the session bus:
 * without a session bus, a private one is started for the writes. A shell
 * loads extensions only when it starts, so the user logs in again.
 *
 * A module of its own: only this option needs GIO.
 */
#define G_SETTINGS_ENABLE_BACKEND /* to ask which backend GSettings writes with */
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>
#include <limits.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include "gnome_variants.h"

/* Where the variants are: beside the program in a build tree, else in the
 * package's shared folder, named from the program's own folder (and as
 * installed, when the program cannot see itself). */
#ifndef WINCUE_EXTENSION_DIR
#define WINCUE_EXTENSION_DIR "../share/gnome-shell/extensions"
#endif
#ifndef WINCUE_EXTENSION_PATH
#define WINCUE_EXTENSION_PATH "/usr/local/share/gnome-shell/extensions"
#endif

enum { BusStartMs = 5000 }; /* the longest a private bus may take to start */

static const char *const extensionFiles[] = {"metadata.json", "extension.js"};

static bool Fail(const char *what, const GError *error)
{
	fprintf(stderr, "wincue: %s%s%s\n", what, error ? ": " : "", error ? error->message : "");
	return false;
}

/* The major version of the shell on the path (gnome-shell --version), or
 * 0, having said why. */
static int ShellVersion(void)
{
	const char *argv[] = {"gnome-shell", "--version", NULL};
	char *out = NULL;
	int status = 0, major = 0;
	GError *error = NULL;

	if (!g_spawn_sync(NULL, (char **)argv, NULL,
	                  (GSpawnFlags)(G_SPAWN_SEARCH_PATH | G_SPAWN_STDERR_TO_DEV_NULL), NULL,
	                  NULL, &out, NULL, &status, &error))
		Fail("cannot run gnome-shell --version", error);
	else if (out == NULL || sscanf(out, "GNOME Shell %d", &major) != 1 || major <= 0)
		Fail("gnome-shell --version does not say a GNOME Shell version", NULL);
	g_clear_error(&error);
	g_free(out);
	return major;
}

/* The folder that holds the variant uuid, or NULL (g_free it). */
static char *FindVariant(const char *uuid)
{
	char self[PATH_MAX];
	ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
	char *candidates[3] = {NULL, NULL, NULL};
	char *found = NULL;

	if (n > 0) {
		self[n] = '\0';
		char *dir = g_path_get_dirname(self);
		candidates[0] = g_build_filename(dir, "gnome-shell", "extensions", uuid, NULL);
		candidates[1] = g_build_filename(dir, WINCUE_EXTENSION_DIR, uuid, NULL);
		g_free(dir);
	}
	candidates[2] = g_build_filename(WINCUE_EXTENSION_PATH, uuid, NULL);
	for (int i = 0; i < 3; i++) {
		char *metadata =
		    candidates[i] ? g_build_filename(candidates[i], "metadata.json", NULL) : NULL;
		if (found == NULL && metadata != NULL &&
		    g_file_test(metadata, G_FILE_TEST_IS_REGULAR))
			found = g_strdup(candidates[i]);
		g_free(metadata);
		g_free(candidates[i]);
	}
	return found;
}

/* Copies the variant's files into target, each replaced whole. */
static bool CopyVariant(const char *source, const char *target)
{
	GError *error = NULL;
	bool copied = g_mkdir_with_parents(target, 0755) == 0;

	if (!copied)
		return Fail("cannot make the folder for the extension", NULL);
	for (size_t i = 0; copied && i < G_N_ELEMENTS(extensionFiles); i++) {
		char *from = g_build_filename(source, extensionFiles[i], NULL);
		char *to = g_build_filename(target, extensionFiles[i], NULL);
		char *text = NULL;
		size_t length = 0;
		copied = g_file_get_contents(from, &text, &length, &error) &&
		         g_file_set_contents(to, text, (gssize)length, &error);
		if (!copied)
			Fail("cannot copy the extension", error);
		g_clear_error(&error);
		g_free(text);
		g_free(from);
		g_free(to);
	}
	return copied;
}

/* -- the settings ------------------------------------------------------ */

static GPid privateBus; /* a session bus started for the writes, or 0 */

/* Starts a session bus of our own, named in the environment for GIO; its
 * log goes nowhere. dconf's writer, started on it, ends with it. */
static bool StartPrivateBus(void)
{
	const char *argv[] = {"dbus-daemon", "--session", "--nofork", "--print-address", NULL};
	char address[512];
	size_t got = 0;
	int out = -1;
	GError *error = NULL;
	uint64_t end = g_get_monotonic_time() / 1000 + BusStartMs;

	if (!g_spawn_async_with_pipes(NULL, (char **)argv, NULL,
	                              (GSpawnFlags)(G_SPAWN_SEARCH_PATH |
	                                            G_SPAWN_DO_NOT_REAP_CHILD |
	                                            G_SPAWN_STDERR_TO_DEV_NULL),
	                              NULL, NULL, &privateBus, NULL, &out, NULL, &error)) {
		Fail("there is no session bus, and dbus-daemon cannot start one", error);
		g_clear_error(&error);
		return false;
	}
	while (got < sizeof address - 1 && memchr(address, '\n', got) == NULL) {
		GPollFD p = {out, G_IO_IN, 0};
		int64_t left = (int64_t)end - g_get_monotonic_time() / 1000;
		ssize_t n = left > 0 && g_poll(&p, 1, (int)left) > 0
		                ? read(out, address + got, sizeof address - 1 - got)
		                : 0;
		if (n <= 0)
			break;
		got += (size_t)n;
	}
	close(out);
	address[got] = '\0';
	if (strchr(address, '\n') == NULL)
		return Fail("there is no session bus, and dbus-daemon did not start one", NULL);
	*strchr(address, '\n') = '\0';
	g_setenv("DBUS_SESSION_BUS_ADDRESS", address, TRUE);
	return true;
}

/* The user's session bus, named in the environment for GIO (GIO alone
 * would start one through X11 for good when none is named); else a bus
 * of our own. */
static bool ReachSessionBus(void)
{
	const char *address = getenv("DBUS_SESSION_BUS_ADDRESS");
	char *runtime = g_build_filename(g_get_user_runtime_dir(), "bus", NULL);
	char *named = NULL;
	GDBusConnection *session = NULL;

	if ((address == NULL || address[0] == '\0') && g_file_test(runtime, G_FILE_TEST_EXISTS))
		address = named = g_strconcat("unix:path=", runtime, NULL);
	if (address != NULL && address[0] != '\0')
		session = g_dbus_connection_new_for_address_sync(
		    address,
		    (GDBusConnectionFlags)(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
		                           G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
		    NULL, NULL, NULL);
	if (session != NULL) {
		g_setenv("DBUS_SESSION_BUS_ADDRESS", address, TRUE);
		g_object_unref(session);
	}
	g_free(named);
	g_free(runtime);
	return session != NULL || StartPrivateBus();
}

static void StopPrivateBus(void)
{
	GDBusConnection *session;

	if (privateBus == 0)
		return;
	/* The shared connection, dconf's, would end the process on losing it. */
	session = g_bus_get_sync(G_BUS_TYPE_SESSION, NULL, NULL);
	if (session != NULL) {
		g_dbus_connection_set_exit_on_close(session, FALSE);
		g_object_unref(session);
	}
	kill(privateBus, SIGTERM);
	waitpid(privateBus, NULL, 0);
	g_spawn_close_pid(privateBus);
	privateBus = 0;
}

/* Whether dconf could not write: it says so only as a warning. */
static bool unwritten;

static void OnDconfMessage(const char *domain, GLogLevelFlags level, const char *message,
                           void *unused)
{
	(void)unused;
	if (level & (G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL))
		unwritten = true;
	fprintf(stderr, "wincue: %s: %s\n", domain, message);
}

/* list without any of our variants, with uuid after the rest when given. */
static char **WithOnly(char **list, const char *uuid)
{
	GStrvBuilder *kept = g_strv_builder_new();
	char **result;

	for (int i = 0; list[i] != NULL; i++) {
		bool ours = false;
		for (size_t v = 0; v < G_N_ELEMENTS(gnomeVariants); v++)
			ours = ours || strcmp(list[i], gnomeVariants[v].uuid) == 0;
		if (!ours)
			g_strv_builder_add(kept, list[i]);
	}
	if (uuid != NULL)
		g_strv_builder_add(kept, uuid);
	result = g_strv_builder_end(kept);
	g_strv_builder_unref(kept);
	return result;
}

/* Enables uuid and no other variant of ours; false, having said why, when
 * the settings could not be written where the shell reads them. */
static bool EnableVariant(const char *uuid)
{
	GSettingsSchema *schema;
	GSettings *settings;
	char **list, **changed;
	bool enabled;

	/* The shell reads dconf: the settings must go there, whatever the
	 * environment asks. */
	g_setenv("GSETTINGS_BACKEND", "dconf", TRUE);
	schema = g_settings_schema_source_lookup(g_settings_schema_source_get_default(),
	                                         "org.gnome.shell", TRUE);
	if (schema == NULL)
		return Fail("GNOME Shell's settings (org.gnome.shell) are not installed", NULL);
	g_settings_schema_unref(schema);
	if (strcmp(G_OBJECT_TYPE_NAME(g_settings_backend_get_default()), "DConfSettingsBackend") !=
	    0)
		return Fail("GSettings cannot reach dconf, where GNOME Shell reads its settings",
		            NULL);
	if (!ReachSessionBus())
		return false;
	g_log_set_handler("dconf", (GLogLevelFlags)(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL),
	                  OnDconfMessage, NULL);
	settings = g_settings_new("org.gnome.shell");
	list = g_settings_get_strv(settings, "enabled-extensions");
	changed = WithOnly(list, uuid);
	g_settings_set_strv(settings, "enabled-extensions", changed);
	g_strfreev(list);
	g_strfreev(changed);
	list = g_settings_get_strv(settings, "disabled-extensions");
	changed = WithOnly(list, NULL);
	g_settings_set_strv(settings, "disabled-extensions", changed);
	g_strfreev(list);
	g_strfreev(changed);
	g_settings_sync();
	enabled = !unwritten;
	if (!enabled)
		Fail("dconf did not write the settings", NULL);
	else if (g_settings_get_boolean(settings, "disable-user-extensions"))
		fprintf(stderr, "wincue: GNOME Shell's user extensions are turned off "
		                "(org.gnome.shell disable-user-extensions): turn them on in "
		                "GNOME's Extensions app for wincue's to load\n");
	g_object_unref(settings);
	StopPrivateBus();
	return enabled;
}

/* The module's tool: its name is not mangled, for the program to find. */
extern "C" int gnomeInstall(void)
{
	int major = ShellVersion();
	const char *uuid = NULL;
	char *source, *target;
	bool done;

	if (major == 0)
		return 1;
	for (size_t v = 0; v < G_N_ELEMENTS(gnomeVariants); v++)
		if (major >= gnomeVariants[v].oldest && major <= gnomeVariants[v].newest)
			uuid = gnomeVariants[v].uuid;
	if (uuid == NULL) {
		fprintf(stderr,
		        "wincue: wincue's GNOME Shell extension runs on GNOME Shell %d to %d, "
		        "not %d\n",
		        gnomeVariants[0].oldest,
		        gnomeVariants[G_N_ELEMENTS(gnomeVariants) - 1].newest, major);
		return 1;
	}
	source = FindVariant(uuid);
	if (source == NULL) {
		fprintf(stderr,
		        "wincue: cannot find wincue's GNOME Shell extension %s beside the "
		        "program or in " WINCUE_EXTENSION_PATH "\n",
		        uuid);
		return 1;
	}
	target = g_build_filename(g_get_user_data_dir(), "gnome-shell", "extensions", uuid, NULL);
	done = CopyVariant(source, target) && EnableVariant(uuid);
	if (done)
		printf("Installed GNOME Shell extension %s in %s and enabled it.\n"
		       "Log out and in again: GNOME Shell loads its extensions when it starts.\n",
		       uuid, target);
	g_free(source);
	g_free(target);
	return done ? 0 : 1;
}
