/*
 * kwin_input: real input for the KWin tests, through KWin's fake input
 * protocol, which goes through KWin's picking, focus and shortcuts as a
 * device's input does. KWin offers the protocol only to a binary that a
 * .desktop file names with X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input,
 * and checks the running binary is that file.
 *
 * Reads lines on standard input and answers each with "ok" once KWin has
 * handled it (a round trip), or "error":
 *   move X Y    the pointer to X, Y in the desktop's coordinates
 *   click B     presses and releases button B (a Linux code: 272 is left)
 *   key CODE    presses and releases a key (a Linux key code)
 *   down CODE   holds a key; up CODE lets it go
 * Prints "ready" once KWin has let it use the protocol; exits at the end of
 * its input, or with status 1 when KWin does not offer the protocol.
 */
#include <stdio.h>
#include <string.h>
#include <wayland-client.h>

#include "fake-input-client-protocol.h"

static org_kde_kwin_fake_input *fake;

static void Global(void *, wl_registry *registry, uint32_t name, const char *interface,
                   uint32_t version)
{
	if (strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
		fake = (org_kde_kwin_fake_input *)wl_registry_bind(
		    registry, name, &org_kde_kwin_fake_input_interface, 4);
}

static const wl_registry_listener registryListener = {Global,
                                                      [](void *, wl_registry *, uint32_t) {}};

/* One line's request; false when the line is not one. */
static bool Send(const char *line)
{
	char verb[8];
	int a, b;
	int n = sscanf(line, "%7s %d %d", verb, &a, &b);

	if (n == 3 && strcmp(verb, "move") == 0)
		org_kde_kwin_fake_input_pointer_motion_absolute(fake, wl_fixed_from_int(a),
		                                                wl_fixed_from_int(b));
	else if (n == 2 && strcmp(verb, "click") == 0) {
		org_kde_kwin_fake_input_button(fake, (uint32_t)a, 1);
		org_kde_kwin_fake_input_button(fake, (uint32_t)a, 0);
	} else if (n == 2 && strcmp(verb, "key") == 0) {
		org_kde_kwin_fake_input_keyboard_key(fake, (uint32_t)a, 1);
		org_kde_kwin_fake_input_keyboard_key(fake, (uint32_t)a, 0);
	} else if (n == 2 && (strcmp(verb, "down") == 0 || strcmp(verb, "up") == 0))
		org_kde_kwin_fake_input_keyboard_key(fake, (uint32_t)a, verb[0] == 'd');
	else
		return false;
	return true;
}

int main(void)
{
	wl_display *display = wl_display_connect(NULL);
	char line[64];

	if (display == NULL) {
		fputs("kwin_input: no Wayland display\n", stderr);
		return 1;
	}
	wl_registry_add_listener(wl_display_get_registry(display), &registryListener, NULL);
	wl_display_roundtrip(display);
	if (fake == NULL) {
		fputs("kwin_input: KWin offers no fake input to this program\n", stderr);
		return 1;
	}
	org_kde_kwin_fake_input_authenticate(fake, "wincue tests", "real input for the tests");
	if (wl_display_roundtrip(display) < 0)
		return 1;
	puts("ready");
	fflush(stdout);
	while (fgets(line, sizeof line, stdin) != NULL) {
		bool sent = Send(line);
		if (wl_display_roundtrip(display) < 0)
			return 1;
		puts(sent ? "ok" : "error");
		fflush(stdout);
	}
	wl_display_disconnect(display);
	return 0;
}
