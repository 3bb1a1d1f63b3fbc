/*
 * The windows of sway's tree (get_tree). A window is a node with a
 * "shell" (xdg_shell or xwayland); windows hidden in the scratchpad sit
 * on the workspace __i3_scratch. Native windows are named by app_id,
 * XWayland ones by their X11 class, as X11 names them.
 */
#include <json-c/json.h>
#include <string.h>

#include "../../../winapi.h"
#include "sway.h"

/* Deeper than json-c's default of 32: each split of a workspace nests two
 * levels. */
enum { JsonDepth = 1024 };

WindowCache swayCache = {sizeof(SwayWindow), NULL, 0, 0, 0, NULL, 0, 0};

/* A string member, or "" when absent or null. */
static const char *Text(json_object *node, const char *member)
{
	json_object *value;

	if (!json_object_object_get_ex(node, member, &value) ||
	    !json_object_is_type(value, json_type_string))
		return "";
	return json_object_get_string(value);
}

static void AddWindow(json_object *node, bool scratch)
{
	json_object *id;
	json_object *properties;
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
	KeepName(w->desk.title, sizeof w->desk.title, Text(node, "name"));
	KeepName(w->desk.className, sizeof w->desk.className, className);
}

static void Walk(json_object *node, bool scratch);

static void WalkChildren(json_object *node, const char *member, bool scratch)
{
	json_object *children;

	if (!json_object_object_get_ex(node, member, &children) ||
	    !json_object_is_type(children, json_type_array))
		return;
	for (size_t i = 0; i < json_object_array_length(children); i++)
		Walk(json_object_array_get_idx(children, i), scratch);
}

static void Walk(json_object *node, bool scratch)
{
	if (strcmp(Text(node, "type"), "workspace") == 0)
		scratch = strcmp(Text(node, "name"), "__i3_scratch") == 0;
	if (json_object_object_get_ex(node, "shell", NULL))
		AddWindow(node, scratch);
	WalkChildren(node, "nodes", scratch);
	WalkChildren(node, "floating_nodes", scratch);
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
	if (reply == NULL)
		return false;
	tree = Parse(reply, length);
	free(reply);
	Walk(tree, false);
	json_object_put(tree);
	return true;
}
