/*
 * A top-level X window for the tests, that reports on standard output what
 * reaches it.
 *
 * test_window [--title T] [--net-title T] [--class C] [--count N]
 *             [--geometry X,Y,W,H] [--input-region X,Y,W,H] [--take-focus]
 *             [--no-hints] [--unmapped] [--focus] [--wait] [--after MS]
 *
 * --title sets WM_NAME only, --net-title _NET_WM_NAME only; with --count N
 * the windows are titled "T 0" ... "T N-1", one below the other. --wait creates them only at the
 * command "go" (printing "creating" and the monotonic clock in
 * microseconds, and its process id, just before); --after creates them MS
 * milliseconds after the start. --focus gives the first
 * window the focus itself once it is mapped. Lines written:
 *   ready 0x<id>            mapped (or created, with --unmapped)
 *   button <n> 0x<id>       a mouse button went down in it
 *   key <keycode> 0x<id>    a key went down while it had the focus
 *   state 0x<id> region=<x,y,w,h;...> hints=<flags:input|none> protocols=<n>
 *                           answer to the command "state"
 * It runs until it is ended.
 */
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>
#include <xcb/shape.h>
#include <xcb/xcb.h>

enum { MaxWindows = 200 };

static struct {
	const char *title = "wincue test window";
	bool netTitle = false;
	const char *className = "WincueTest";
	int count = 1;
	int x = 10, y = 10, width = 200, height = 150;
	bool ownRegion = false;
	int regionX, regionY, regionWidth, regionHeight;
	bool takeFocus = false;
	bool hints = true;
	bool mapped = true;
	bool wait = false;
	int after = 0;
	bool focus = false;
} options;

static xcb_connection_t *c;
static xcb_screen_t *screen;
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

static void SetText(xcb_window_t w, xcb_atom_t property, xcb_atom_t type, const char *text)
{
	xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, property, type, 8, (uint32_t)strlen(text),
	                    text);
}

/* Windows of one program stand one below the other, clear of each other's
 * title bars. */
static int Top(int index)
{
	return options.y + index * (options.height + 60);
}

static void SetProperties(xcb_window_t w, int index)
{
	char title[512];
	char wmClass[256];
	int classLength;

	if (options.count > 1)
		snprintf(title, sizeof title, "%s %d", options.title, index);
	else
		snprintf(title, sizeof title, "%s", options.title);
	if (options.netTitle)
		SetText(w, Atom("_NET_WM_NAME"), Atom("UTF8_STRING"), title);
	else
		SetText(w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, title);
	classLength = snprintf(wmClass, sizeof wmClass, "wincue-test%c%s", 0, options.className);
	xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
	                    (uint32_t)classLength + 1, wmClass);
	if (options.hints) {
		uint32_t hints[9] = {1, 1}; /* InputHint: takes the focus */
		xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_HINTS,
		                    XCB_ATOM_WM_HINTS, 32, 9, hints);
	}
	/* A position of the user's own: managers keep it, so windows given
	 * the same geometry overlap exactly. */
	uint32_t size[18] = {1 | 2, (uint32_t)options.x, (uint32_t)Top(index),
	                     (uint32_t)options.width, (uint32_t)options.height};
	xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NORMAL_HINTS,
	                    XCB_ATOM_WM_SIZE_HINTS, 32, 18, size);
	if (options.takeFocus) {
		xcb_atom_t protocols[2] = {Atom("WM_DELETE_WINDOW"), Atom("WM_TAKE_FOCUS")};
		xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, Atom("WM_PROTOCOLS"),
		                    XCB_ATOM_ATOM, 32, 2, protocols);
	}
	if (options.ownRegion) {
		xcb_rectangle_t r = {(int16_t)options.regionX, (int16_t)options.regionY,
		                     (uint16_t)options.regionWidth, (uint16_t)options.regionHeight};
		xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT,
		                     XCB_CLIP_ORDERING_UNSORTED, w, 0, 0, 1, &r);
	}
}

static void CreateWindows(void)
{
	uint32_t values[2] = {screen->white_pixel,
	                      XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_KEY_PRESS |
	                          XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_FOCUS_CHANGE};

	struct timespec now;

	clock_gettime(CLOCK_MONOTONIC, &now);
	printf("creating %lld %d\n", (long long)now.tv_sec * 1000000 + now.tv_nsec / 1000,
	       (int)getpid());
	for (int i = 0; i < options.count && windowCount < MaxWindows; i++) {
		xcb_window_t w = xcb_generate_id(c);
		xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, (int16_t)options.x,
		                  (int16_t)Top(i), (uint16_t)options.width,
		                  (uint16_t)options.height, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
		                  screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK,
		                  values);
		SetProperties(w, i);
		windows[windowCount++] = w;
		if (options.mapped)
			xcb_map_window(c, w);
	}
	free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), NULL));
	if (!options.mapped)
		for (int i = 0; i < windowCount; i++)
			printf("ready 0x%x\n", windows[i]);
}

static void PrintState(xcb_window_t w)
{
	xcb_shape_get_rectangles_reply_t *region = xcb_shape_get_rectangles_reply(
	    c, xcb_shape_get_rectangles(c, w, XCB_SHAPE_SK_INPUT), NULL);
	xcb_get_property_reply_t *hints = xcb_get_property_reply(
	    c, xcb_get_property(c, 0, w, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 0, 9), NULL);
	xcb_get_property_reply_t *protocols = xcb_get_property_reply(
	    c, xcb_get_property(c, 0, w, Atom("WM_PROTOCOLS"), XCB_ATOM_ATOM, 0, 64), NULL);

	printf("state 0x%x region=", w);
	if (region) {
		xcb_rectangle_t *r = xcb_shape_get_rectangles_rectangles(region);
		for (int i = 0; i < xcb_shape_get_rectangles_rectangles_length(region); i++)
			printf("%s%d,%d,%d,%d", i ? ";" : "", r[i].x, r[i].y, r[i].width,
			       r[i].height);
	}
	if (hints && hints->type != XCB_NONE && xcb_get_property_value_length(hints) >= 8) {
		uint32_t *v = (uint32_t *)xcb_get_property_value(hints);
		printf(" hints=%u:%u", v[0], v[1]);
	} else {
		printf(" hints=none");
	}
	if (protocols && protocols->type != XCB_NONE) {
		xcb_atom_t *a = (xcb_atom_t *)xcb_get_property_value(protocols);
		printf(" protocols=");
		for (int i = 0; i < xcb_get_property_value_length(protocols) / 4; i++)
			printf("%s%u", i ? "," : "", a[i]);
		printf("\n");
	} else {
		printf(" protocols=none\n");
	}
	free(region);
	free(hints);
	free(protocols);
}

/* Returns false at the end of standard input. */
static bool HandleCommand(void)
{
	char line[64];

	if (!fgets(line, sizeof line, stdin))
		return false;
	if (strncmp(line, "go", 2) == 0 && windowCount == 0)
		CreateWindows();
	else if (strncmp(line, "state", 5) == 0)
		for (int i = 0; i < windowCount; i++)
			PrintState(windows[i]);
	return true;
}

static void HandleEvent(xcb_generic_event_t *e)
{
	switch (e->response_type & 0x7F) {
	case XCB_MAP_NOTIFY: {
		xcb_window_t w = ((xcb_map_notify_event_t *)e)->window;
		if (options.focus && w == windows[0])
			xcb_set_input_focus(c, XCB_INPUT_FOCUS_PARENT, w, XCB_CURRENT_TIME);
		free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), NULL));
		printf("ready 0x%x\n", w);
		break;
	}
	case XCB_BUTTON_PRESS:
		printf("button %d 0x%x\n", ((xcb_button_press_event_t *)e)->detail,
		       ((xcb_button_press_event_t *)e)->event);
		break;
	case XCB_KEY_PRESS:
		printf("key %d 0x%x\n", ((xcb_key_press_event_t *)e)->detail,
		       ((xcb_key_press_event_t *)e)->event);
		break;
	}
}

static bool ParseBox(const char *text, int *x, int *y, int *w, int *h)
{
	return sscanf(text, "%d,%d,%d,%d", x, y, w, h) == 4;
}

static bool ParseOptions(int argc, char **argv)
{
	for (int i = 1; i < argc; i++) {
		const char *a = argv[i];
		const char *v = i + 1 < argc ? argv[i + 1] : NULL;
		if (!strcmp(a, "--unmapped"))
			options.mapped = false;
		else if (!strcmp(a, "--take-focus"))
			options.takeFocus = true;
		else if (!strcmp(a, "--no-hints"))
			options.hints = false;
		else if (!strcmp(a, "--wait"))
			options.wait = true;
		else if (!strcmp(a, "--focus"))
			options.focus = true;
		else if (v == NULL)
			return false;
		else if (!strcmp(a, "--title") || !strcmp(a, "--net-title"))
			options.title = v, options.netTitle = a[2] == 'n', i++;
		else if (!strcmp(a, "--class"))
			options.className = v, i++;
		else if (!strcmp(a, "--after"))
			options.after = atoi(v), i++;
		else if (!strcmp(a, "--count"))
			options.count = atoi(v), i++;
		else if (!strcmp(a, "--geometry") &&
		         ParseBox(v, &options.x, &options.y, &options.width, &options.height))
			i++;
		else if (!strcmp(a, "--input-region") &&
		         ParseBox(v, &options.regionX, &options.regionY, &options.regionWidth,
		                  &options.regionHeight))
			options.ownRegion = true, i++;
		else
			return false;
	}
	return true;
}

int main(int argc, char **argv)
{
	struct pollfd fds[2];

	setvbuf(stdout, NULL, _IONBF, 0);
	if (!ParseOptions(argc, argv)) {
		fprintf(stderr, "test_window: bad arguments\n");
		return 2;
	}
	c = xcb_connect(NULL, NULL);
	if (xcb_connection_has_error(c)) {
		fprintf(stderr, "test_window: no display\n");
		return 1;
	}
	screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
	if (options.after > 0)
		usleep((useconds_t)options.after * 1000);
	if (!options.wait)
		CreateWindows();
	else
		printf("waiting\n");
	fds[0].fd = xcb_get_file_descriptor(c);
	fds[0].events = POLLIN;
	fds[1].fd = 0;
	fds[1].events = POLLIN;
	while (!xcb_connection_has_error(c)) {
		xcb_generic_event_t *e;
		xcb_flush(c);
		while ((e = xcb_poll_for_event(c)) != NULL) {
			HandleEvent(e);
			free(e);
		}
		poll(fds, 2, -1);
		if (fds[1].revents && !HandleCommand())
			fds[1].fd = -1;
	}
	return 0;
}
