/*
 * libFuzzer target: the window cache. Each three bytes are one operation
 * on the ids from the one the last two make: the first byte's low two bits
 * say add, remove (every other id), nothing or empty the cache; the others
 * how many ids in a row. An added id must be found at its record, a
 * removed one no more, and after each operation the index must agree with
 * the records (check.h).
 */
#include <stdint.h>

#include "check.h"

/* The id n makes: its high byte in the high bits, as X11's clients are;
 * 0, the id no window has, included. */
static HWND IdOf(int n)
{
	return (HWND)(((uintptr_t)(n >> 8) << 21) | (uintptr_t)(n & 0xff));
}

static void Apply(WindowCache *c, uint8_t op, int n)
{
	for (int i = 0; (op & 3) < 2 && i <= op >> 2; i += (op & 3) == 1 ? 2 : 1) {
		HWND id = IdOf((n + i) & 0xffff);
		DeskWindow *w = (op & 3) == 0 ? CacheAdd(c, id) : CacheFind(c, id);
		if ((op & 3) == 0 && (w == NULL ? id != 0 : w->id != id || CacheFind(c, id) != w))
			abort();
		if ((op & 3) == 1 && w != NULL)
			CacheRemove(c, w);
		if ((op & 3) == 1 && CacheFind(c, id) != NULL)
			abort();
	}
	if ((op & 3) == 3)
		CacheEmpty(c);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	/* A desktop's record: more than the common part, as every desktop's is. */
	WindowCache c = {sizeof(DeskWindow) + sizeof(HWND), NULL, 0, 0, 0, NULL, 0, 0};

	for (size_t i = 0; i + 3 <= size; i += 3) {
		Apply(&c, data[i], data[i + 1] << 8 | data[i + 2]);
		CheckCache(&c);
	}
	free(c.records);
	free(c.index);
	return 0;
}
