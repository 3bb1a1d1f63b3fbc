/*
 * libFuzzer target: each input is sway's answer to get_tree, read as the
 * sway desktop reads it. Whatever it holds, the read ends (libFuzzer's
 * -timeout says how soon), and leaves windows that are each listed once,
 * found by their id, named in terminated text, the focused one among them.
 */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "platform/linux/desktop/sway/sway.h"

static const uint8_t *input;
static size_t inputSize;

/* A double of sway: the input is its answer. */
char *SwayRequest(uint32_t type, const char *payload, size_t *length)
{
	char *reply = (char *)malloc(inputSize + 1);

	(void)type;
	(void)payload;
	if (reply == NULL)
		abort();
	memcpy(reply, input, inputSize);
	reply[inputSize] = '\0';
	*length = inputSize;
	return reply;
}

static void CheckWindows(void)
{
	static HWND ids[1 << 16];
	int count = CacheList(&swayCache, ids, 1 << 16);
	bool focusedListed = swayFocused == 0;

	for (int i = 0; i < count && i < (1 << 16); i++) {
		const SwayWindow *w = SwayFind(ids[i]);
		if (ids[i] == 0 || w == NULL || w->desk.id != ids[i] ||
		    memchr(w->desk.title, '\0', sizeof w->desk.title) == NULL ||
		    memchr(w->desk.className, '\0', sizeof w->desk.className) == NULL)
			abort();
		for (int k = 0; k < i; k++)
			if (ids[k] == ids[i])
				abort();
		focusedListed = focusedListed || ids[i] == swayFocused;
	}
	if (!focusedListed)
		abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	input = data;
	inputSize = size;
	if (!SwayReadTree())
		abort();
	CheckWindows();
	return 0;
}
