/*
 * libFuzzer target: the window cache against a plain model. Each three
 * bytes are one operation on the ids from the one the last two make: the
 * first byte's low two bits say add, remove or find, or empty the cache;
 * the others how many ids in a row (every other one for a remove). After
 * each one the cache must agree with the model on the ids it touched, and
 * at the end list every open id once.
 */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <vector>

#include "platform/linux/desktop/desktop.h"

/* A desktop's record: more than the common part, as every desktop's is. */
struct Record {
	DeskWindow desk;
	uint32_t tag;
};

enum { Ids = 1 << 16 };

static uint32_t model[Ids]; /* the tag of each open id, 0 when closed */
static std::vector<int> touched;

/* The id n makes: its high byte in the high bits, as X11's clients are;
 * 0, the id no window has, included. */
static HWND IdOf(int n)
{
	return (HWND)(((uintptr_t)(n >> 8) << 21) | (uintptr_t)(n & 0xff));
}

static void Check(WindowCache *c, int n)
{
	Record *r = (Record *)CacheFind(c, IdOf(n));

	if ((r != NULL) != (model[n] != 0) || (r != NULL && r->tag != model[n]))
		abort();
}

static void Apply(WindowCache *c, uint8_t op, int n, uint32_t tag)
{
	Record *r;

	if ((op & 3) == 3) {
		CacheEmpty(c);
		for (int m : touched)
			model[m] = 0;
		return;
	}
	for (int i = 0; i <= op >> 2; i += (op & 3) == 1 ? 2 : 1) {
		int m = (n + i) % Ids;
		touched.push_back(m);
		if ((op & 3) == 0) {
			if (((r = (Record *)CacheAdd(c, IdOf(m))) == NULL) != (m == 0))
				abort();
			if (r != NULL && model[m] == 0)
				r->tag = model[m] = tag;
		} else if ((op & 3) == 1) {
			if ((r = (Record *)CacheFind(c, IdOf(m))) != NULL)
				CacheRemove(c, &r->desk);
			model[m] = 0;
		}
	}
}

/* Every open id listed once, and nothing else. */
static void CheckList(WindowCache *c)
{
	std::vector<HWND> listed(touched.size() + 1);
	int count = CacheList(c, listed.data(), (int)listed.size());
	std::vector<bool> seen(Ids);
	int open = 0;

	for (int n : touched)
		if (model[n] != 0 && !seen[(size_t)n])
			seen[(size_t)n] = true, open++;
	for (int i = 0; i < count; i++) {
		HWND id = listed[(size_t)i];
		size_t n = ((id >> 21) << 8) | (id & 0xff);
		if (n >= Ids || IdOf((int)n) != id || !seen[n])
			abort();
		seen[n] = false;
	}
	if (count != open)
		abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	WindowCache c = {sizeof(Record), NULL, 0, 0, 0, NULL, 0, 0};

	touched.clear();
	for (size_t i = 0; i + 3 <= size; i += 3) {
		size_t before = touched.size();
		Apply(&c, data[i], data[i + 1] << 8 | data[i + 2], (uint32_t)i + 1);
		for (size_t k = before; k < touched.size(); k++)
			Check(&c, touched[k]);
	}
	CheckList(&c);
	for (int n : touched)
		model[n] = 0;
	free(c.records);
	free(c.index);
	return 0;
}
