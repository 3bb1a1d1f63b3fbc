/*
 * libFuzzer target: each input, up to its first NUL (a string on the bus
 * has none), is a batch of lines KWin's script told, applied to an empty
 * cache of windows.
 */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "platform/linux/desktop/kwin/kwin.h"

/* What every batch must leave: each text terminated within its buffer,
 * and each window found by its id. */
static void CheckCache(void)
{
	for (int i = 0; i < kwinCache.count; i++) {
		KWinWindow *w = (KWinWindow *)CacheAt(&kwinCache, i);
		if (w->desk.id == 0)
			continue;
		if (memchr(w->desk.title, '\0', sizeof w->desk.title) == NULL ||
		    memchr(w->desk.className, '\0', sizeof w->desk.className) == NULL ||
		    memchr(w->uuid, '\0', sizeof w->uuid) == NULL || KWinFind(w->desk.id) != w)
			abort();
	}
	if (memchr(kwinActive, '\0', sizeof kwinActive) == NULL)
		abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	char *text = (char *)malloc(size + 1);

	if (text == NULL)
		return 0;
	memcpy(text, data, size);
	text[size] = '\0';
	CacheEmpty(&kwinCache);
	KWinApplyLines(text);
	CheckCache();
	free(text);
	return 0;
}
