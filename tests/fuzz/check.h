/* What every read must leave in a desktop's window cache: each record
 * found by its id at that record (so no id is held twice), its names
 * terminated within their buffers, and the index counting every record. */
#pragma once
#include <stdlib.h>
#include <string.h>

#include "platform/linux/desktop/desktop.h"

#define TERMINATED(text) (memchr(text, '\0', sizeof text) != NULL)

static inline void CheckCache(WindowCache *c)
{
	int held = 0;

	for (int slot = 0; slot < c->count; slot++) {
		DeskWindow *w = CacheAt(c, slot);
		if (w->id != 0 && (held++, CacheFind(c, w->id) != w || !TERMINATED(w->title) ||
		                               !TERMINATED(w->className)))
			abort();
	}
	if (held != c->indexed)
		abort();
}
