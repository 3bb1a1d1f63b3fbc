/*
 * libFuzzer target: the window cache against a plain model. Each three
 * bytes are one operation, the first byte's low three bits saying which,
 * on the id the next two make: add it, remove it, find it, add a run of
 * ids from it, remove every other id of a run, or empty the cache. After
 * each one the cache must agree with the model on the ids it touched, and
 * at the end on every id touched, listed once each.
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
static bool seen[Ids];
static std::vector<int> touched;

/* The id n makes: its high byte in the high bits, as X11's clients are;
 * 0, the id no window has, included. */
static HWND IdOf(int n)
{
	return (HWND)(((uintptr_t)(n >> 8) << 21) | (uintptr_t)(n & 0xff));
}

static int NumberOf(HWND id)
{
	return (int)(((id >> 21) << 8) | (id & 0xff));
}

static void Check(WindowCache *c, int n)
{
	Record *r = (Record *)CacheFind(c, IdOf(n));

	if ((r != NULL) != (model[n] != 0) || (r != NULL && r->tag != model[n]))
		abort();
}

static void Add(WindowCache *c, int n, uint32_t tag)
{
	Record *r = (Record *)CacheAdd(c, IdOf(n));

	if ((r == NULL) != (n == 0))
		abort();
	if (r != NULL && model[n] == 0)
		r->tag = model[n] = tag;
	touched.push_back(n);
}

static void Remove(WindowCache *c, int n)
{
	DeskWindow *w = CacheFind(c, IdOf(n));

	if (w != NULL)
		CacheRemove(c, w);
	model[n] = 0;
	touched.push_back(n);
}

/* Applies one operation; returns how many ids it touched, the last ones
 * in touched. */
static size_t Apply(WindowCache *c, uint8_t op, int n, uint32_t tag)
{
	size_t before = touched.size();
	int run = (op >> 3) * 8 + 1;

	switch (op & 7) {
	case 0:
		Add(c, n, tag);
		break;
	case 1:
		Remove(c, n);
		break;
	case 3:
		for (int i = 0; i < run; i++)
			Add(c, (n + i) % Ids, tag);
		break;
	case 4:
		for (int i = 0; i < run; i += 2)
			Remove(c, (n + i) % Ids);
		break;
	case 5:
		CacheEmpty(c);
		for (int m : touched)
			model[m] = 0;
		break;
	default:
		touched.push_back(n);
	}
	return touched.size() - before;
}

/* Every open id touched listed once, and nothing else. */
static void CheckAll(WindowCache *c)
{
	std::vector<HWND> listed(touched.size() + 1);
	int open = 0;
	int count = CacheList(c, listed.data(), (int)listed.size());

	for (int n : touched) {
		Check(c, n);
		open += model[n] != 0 && !seen[n];
		seen[n] = true;
	}
	for (int n : touched)
		seen[n] = false;
	if (count != open)
		abort();
	for (int i = 0; i < count; i++) {
		int n = NumberOf(listed[(size_t)i]);
		if (IdOf(n) != listed[(size_t)i] || model[n] == 0 || seen[n])
			abort();
		seen[n] = true;
	}
	for (int i = 0; i < count; i++)
		seen[NumberOf(listed[(size_t)i])] = false;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	WindowCache c = {sizeof(Record), NULL, 0, 0, 0, NULL, 0, 0};

	touched.clear();
	for (size_t i = 0; i + 3 <= size; i += 3) {
		size_t k = Apply(&c, data[i], data[i + 1] << 8 | data[i + 2], (uint32_t)i + 1);
		for (size_t j = touched.size() - k; j < touched.size(); j++)
			Check(&c, touched[j]);
	}
	CheckAll(&c);
	for (int n : touched)
		model[n] = 0;
	free(c.records);
	free(c.index);
	return 0;
}
