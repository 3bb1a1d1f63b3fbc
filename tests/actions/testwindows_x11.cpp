/*
 * testwindows_x11: the X11 twin of testwindows.cpp, with the same line
 * protocol, so that one table of window cases runs on both desktops.
 *
 * A window gets WM_CLASS ("testwindows", CLASS) and its title in both
 * _NET_WM_NAME and WM_NAME, as the bytes given (the cases' titles are
 * ASCII, the same in every encoding). "created" comes once the window is
 * there as others see it: a shown one viewable (under a window manager,
 * framed and mapped), its title set last as on Windows. "state" reads back what the
 * server holds: visible is "viewable"; enabled is 0 while the window
 * carries wincue's saved-input property, the one record of a disabled
 * window that wincue itself reads back (its empty input region is only
 * one half of the means, and a program may empty its own). A window whose
 * input region disagrees with that record reports enabled=?, so a
 * half-done disable or enable cannot pass. The windows go with the
 * connection when the program ends.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <xcb/shape.h>
#include <xcb/xcb.h>

enum { LineSize = 1024, MaxFields = 4, MaxWindows = 256 };

static xcb_connection_t *c;
static xcb_screen_t *screen;
static xcb_atom_t netWmName, utf8String, savedInput;
static xcb_window_t windows[MaxWindows];
static int windowCount;

static xcb_atom_t Atom(const char *name)
{
	xcb_intern_atom_reply_t *r =
	    xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, (uint16_t)strlen(name), name), NULL);
	xcb_atom_t atom = r ? r->atom : XCB_NONE;

	free(r);
	return atom;
}

/* Cuts the line at its tabs; returns the number of fields. */
static int SplitFields(char *text, char **fields)
{
	int n = 0;

	text[strcspn(text, "\r\n")] = '\0';
	fields[n++] = text;
	while (n < MaxFields && (text = strchr(text, '\t')) != NULL) {
		*text++ = '\0';
		fields[n++] = text;
	}
	return n;
}

static void SetProperty(xcb_window_t w, xcb_atom_t property, xcb_atom_t type, const char *bytes,
                        int length)
{
	xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, property, type, 8, (uint32_t)length,
	                    bytes);
}

static bool Viewable(xcb_window_t w)
{
	xcb_get_window_attributes_reply_t *a =
	    xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), NULL);
	bool viewable = a != NULL && a->map_state == XCB_MAP_STATE_VIEWABLE;

	free(a);
	return viewable;
}

/* A manager maps its frame after the window itself: the window hears of
 * that as a VisibilityNotify. */
static bool WaitViewable(xcb_window_t w)
{
	xcb_generic_event_t *e;

	while (!Viewable(w)) {
		if ((e = xcb_wait_for_event(c)) == NULL)
			return false;
		free(e);
	}
	return true;
}

static bool MakeWindow(const char *className, const char *title, bool hidden)
{
	uint32_t values[2] = {screen->white_pixel,
	                      XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_VISIBILITY_CHANGE};
	uint32_t hints[9] = {1, 1}; /* takes input, as an ordinary program's window */
	char wmClass[LineSize + 16];
	int length = snprintf(wmClass, sizeof wmClass, "testwindows%c%s", 0, className) + 1;
	xcb_window_t w = xcb_generate_id(c);
	int16_t at = (int16_t)(40 + 20 * windowCount);

	xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, at, at, 240, 120, 0,
	                  XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
	                  XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
	SetProperty(w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, wmClass, length);
	xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32,
	                    9, hints);
	if (!hidden) {
		xcb_map_window(c, w);
		if (!WaitViewable(w))
			return false;
	}
	SetProperty(w, netWmName, utf8String, title, (int)strlen(title));
	SetProperty(w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, title, (int)strlen(title));
	windows[windowCount++] = w;
	free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), NULL)); /* all in place */
	return true;
}

static void CreateTestWindow(char **fields, int n)
{
	bool hidden = n == 4 && strcmp(fields[3], "hidden") == 0;

	if (n < 3 || (n == 4 && !hidden) || fields[1][0] == '\0' || windowCount == MaxWindows ||
	    !MakeWindow(fields[1], fields[2], hidden))
		printf("error create\n");
	else
		printf("created %d\n", windowCount - 1);
}

static void ReportWindow(xcb_window_t w)
{
	xcb_get_window_attributes_cookie_t attributes = xcb_get_window_attributes(c, w);
	xcb_get_property_cookie_t title = xcb_get_property(c, 0, w, netWmName, utf8String, 0, 64);
	xcb_get_property_cookie_t wmClass =
	    xcb_get_property(c, 0, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 512);
	xcb_get_property_cookie_t saved =
	    xcb_get_property(c, 0, w, savedInput, XCB_GET_PROPERTY_TYPE_ANY, 0, 0);
	xcb_shape_get_rectangles_cookie_t region =
	    xcb_shape_get_rectangles(c, w, XCB_SHAPE_SK_INPUT);
	xcb_get_window_attributes_reply_t *a = xcb_get_window_attributes_reply(c, attributes, NULL);
	xcb_get_property_reply_t *t = xcb_get_property_reply(c, title, NULL);
	xcb_get_property_reply_t *k = xcb_get_property_reply(c, wmClass, NULL);
	xcb_get_property_reply_t *s = xcb_get_property_reply(c, saved, NULL);
	xcb_shape_get_rectangles_reply_t *r = xcb_shape_get_rectangles_reply(c, region, NULL);

	if (a == NULL || t == NULL || k == NULL || s == NULL || r == NULL) {
		printf("gone\n");
	} else {
		const char *names = (const char *)xcb_get_property_value(k);
		int length = xcb_get_property_value_length(k);
		const char *end = (const char *)memchr(names, 0, (size_t)length);
		const char *cls = end != NULL ? end + 1 : names + length;
		bool disabled = s->type != XCB_NONE;
		bool refusing = xcb_shape_get_rectangles_rectangles_length(r) == 0;
		printf("%.*s\t%.*s\tvisible=%d\tenabled=%s\n",
		       (int)strnlen(cls, (size_t)(names + length - cls)), cls,
		       xcb_get_property_value_length(t), (const char *)xcb_get_property_value(t),
		       a->map_state == XCB_MAP_STATE_VIEWABLE,
		       disabled != refusing ? "?"
		       : disabled           ? "0"
		                            : "1");
	}
	free(a);
	free(t);
	free(k);
	free(s);
	free(r);
}

int main(void)
{
	char line[LineSize];
	char *fields[MaxFields];

	setvbuf(stdout, NULL, _IOLBF, 0); /* each reply at once: the test waits on it */
	c = xcb_connect(NULL, NULL);
	if (xcb_connection_has_error(c)) {
		fprintf(stderr, "testwindows_x11: no display\n");
		return 1;
	}
	screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
	netWmName = Atom("_NET_WM_NAME");
	utf8String = Atom("UTF8_STRING");
	savedInput = Atom("_WINCUE_SAVED_INPUT");
	printf("ready\n");
	while (fgets(line, sizeof line, stdin) != NULL) {
		int n = SplitFields(line, fields);
		if (strcmp(fields[0], "quit") == 0)
			break;
		if (strcmp(fields[0], "create") == 0) {
			CreateTestWindow(fields, n);
		} else if (strcmp(fields[0], "state") == 0 && n == 1) {
			for (int i = 0; i < windowCount; i++)
				ReportWindow(windows[i]);
			printf("end\n");
		} else {
			printf("error unknown command\n");
		}
	}
	xcb_disconnect(c);
	return 0;
}
