/*
 * The windows of sway's tree (get_tree). A window is a node with a
 * "shell" (xdg_shell or xwayland); windows hidden in the scratchpad sit
 * on the workspace __i3_scratch. Native windows are named by app_id,
 * XWayland ones by their X11 class, as X11 names them. They are taken in
 * the order of each node's "focus" list, the most recently focused
 * first: the nearest a tiling compositor has to a stacking order.
 */
#include <json-c/json.h>
#include <stdlib.h>
#include <string.h>

#include "../../../winapi.h"
#include "sway.h"

/* Deeper than json-c's default of 32: each split of a workspace nests two
 * levels. */
enum { JsonDepth = 1024 };

WindowCache swayCache = {sizeof(SwayWindow), NULL, 0, 0, 0, NULL, 0, 0};
HWND swayFocused;

/* A string member, or "" when absent or null. */
static const char *Text(json_object *node, const char *member)
{
	json_object *value;

	if (!json_object_object_get_ex(node, member, &value) ||
	    !json_object_is_type(value, json_type_string))
		return "";
	return json_object_get_string(value);
}

/* An integer member, or 0 when absent. */
static int64_t Number(json_object *node, const char *member)
{
	json_object *value;

	if (!json_object_object_get_ex(node, member, &value) ||
	    !json_object_is_type(value, json_type_int))
		return 0;
	return json_object_get_int64(value);
}

static void AddWindow(json_object *node, bool scratch)
{
	json_object *id;
	json_object *properties;
	json_object *focused;
	int64_t pid = Number(node, "pid");
	int64_t xid = Number(node, "window");
	const char *className = Text(node, "app_id");
	SwayWindow *w;

	if (!json_object_object_get_ex(node, "id", &id))
		return;
	if (className[0] == '\0' &&
	    json_object_object_get_ex(node, "window_properties", &properties))
		className = Text(properties, "class");
	w = (SwayWindow *)CacheAdd(&swayCache, (HWND)json_object_get_int64(id));
	if (w == NULL)
		return; /* out of memory, or no id: the window goes unlisted */
	w->hidden = scratch;
	w->desk.pid = pid > 0 && pid <= UINT32_MAX ? (DWORD)pid : 0;
	w->xwayland = strcmp(Text(node, "shell"), "xwayland") == 0 && xid > 0 && xid <= UINT32_MAX
	                  ? (uint32_t)xid
	                  : 0;
	KeepName(w->desk.title, sizeof w->desk.title, Text(node, "name"));
	KeepName(w->desk.className, sizeof w->desk.className, className);
	if (json_object_object_get_ex(node, "focused", &focused) &&
	    json_object_get_boolean(focused))
		swayFocused = w->desk.id;
}

static void Walk(json_object *node, bool scratch);

static json_object *Array(json_object *node, const char *member)
{
	json_object *array;

	if (!json_object_object_get_ex(node, member, &array) ||
	    !json_object_is_type(array, json_type_array))
		return NULL;
	return array;
}

/* A node's child, from either list. */
struct Child {
	int64_t id;
	size_t index; /* in "nodes", then "floating_nodes" */
	json_object *node;
	bool walked;
};

static int ById(const void *a, const void *b)
{
	const Child *x = (const Child *)a, *y = (const Child *)b;

	if (x->id != y->id)
		return x->id < y->id ? -1 : 1;
	return x->index < y->index ? -1 : x->index > y->index;
}

static int ByIndex(const void *a, const void *b)
{
	const Child *x = (const Child *)a, *y = (const Child *)b;

	return x->index < y->index ? -1 : x->index > y->index;
}

/* The children of both lists, sorted by id; NULL when there are none or
 * memory runs out (they then go unlisted). */
static Child *ChildrenOf(json_object *node, size_t *count)
{
	static const char *const lists[] = {"nodes", "floating_nodes"};
	json_object *list[2] = {Array(node, lists[0]), Array(node, lists[1])};
	size_t length[2] = {list[0] ? json_object_array_length(list[0]) : 0,
	                    list[1] ? json_object_array_length(list[1]) : 0};
	Child *children;

	*count = length[0] + length[1];
	children = *count > 0 ? (Child *)calloc(*count, sizeof *children) : NULL;
	if (children == NULL)
		return NULL;
	for (size_t l = 0, n = 0; l < 2; l++)
		for (size_t i = 0; i < length[l]; i++, n++) {
			children[n].node = json_object_array_get_idx(list[l], i);
			children[n].id = Number(children[n].node, "id");
			children[n].index = n;
		}
	qsort(children, *count, sizeof *children, ById);
	return children;
}

/* The first child with the id or after it. */
static size_t FirstWith(const Child *children, size_t count, int64_t id)
{
	size_t low = 0, high = count;

	while (low < high) {
		size_t middle = low + (high - low) / 2;
		if (children[middle].id < id)
			low = middle + 1;
		else
			high = middle;
	}
	return low;
}

/* The children the focus list names, in its order, then the others in
 * theirs; each once, however often a list names it (the lists are sway's
 * to write: a walk stays linear whatever they hold). */
static void WalkChildren(json_object *node, bool scratch)
{
	json_object *focus = Array(node, "focus");
	size_t count;
	Child *children = ChildrenOf(node, &count);

	if (children == NULL)
		return;
	for (size_t i = 0; focus != NULL && i < json_object_array_length(focus); i++) {
		int64_t id = json_object_get_int64(json_object_array_get_idx(focus, i));
		for (size_t k = FirstWith(children, count, id); k < count && children[k].id == id;
		     k++)
			if (!children[k].walked) {
				children[k].walked = true;
				Walk(children[k].node, scratch);
			}
	}
	qsort(children, count, sizeof *children, ByIndex);
	for (size_t k = 0; k < count; k++)
		if (!children[k].walked)
			Walk(children[k].node, scratch);
	free(children);
}

static void Walk(json_object *node, bool scratch)
{
	if (strcmp(Text(node, "type"), "workspace") == 0)
		scratch = strcmp(Text(node, "name"), "__i3_scratch") == 0;
	if (json_object_object_get_ex(node, "shell", NULL))
		AddWindow(node, scratch);
	WalkChildren(node, scratch);
}

static json_object *Parse(const char *text, size_t length)
{
	json_tokener *tokener = json_tokener_new_ex(JsonDepth);
	json_object *tree;

	if (tokener == NULL)
		return NULL;
	tree = json_tokener_parse_ex(tokener, text, (int)length);
	json_tokener_free(tokener);
	return tree;
}

bool SwayReadTree(void)
{
	size_t length;
	char *reply = SwayRequest(SwayGetTree, "", &length);
	json_object *tree;

	CacheEmpty(&swayCache);
	swayFocused = 0;
	if (reply == NULL)
		return false;
	tree = Parse(reply, length);
	free(reply);
	Walk(tree, false);
	json_object_put(tree);
	return true;
}
