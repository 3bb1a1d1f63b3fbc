/* The window cache: after windows open and close, every open one is found
 * at its own record and listed once, and no closed one is. */
#include <algorithm>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <vector>

#include "platform/linux/desktop/desktop.h"

namespace
{

/* A desktop's record: more than the common part, as every desktop's is. */
struct Record {
	DeskWindow desk;
	int tag;
};

const WindowCache Empty = {sizeof(Record), NULL, 0, 0, 0, NULL, 0, 0};

void Free(WindowCache *c)
{
	free(c->records);
	free(c->index);
}

/* Ids whose homes (where each lands in an empty cache's index) lie in the
 * last few positions of the first index and the first few: one run of
 * probes that wraps past the index's end. */
HWND Clustered(int i)
{
	static std::vector<HWND> ids;

	for (HWND id = 1; ids.size() < 90; id++) {
		WindowCache c = Empty;
		unsigned home = 0;
		CacheAdd(&c, id);
		while (c.index[home] == 0)
			home++;
		Free(&c);
		if (home >= 252 || home <= 1)
			ids.push_back(id);
	}
	return ids[(size_t)i];
}

struct CacheCase {
	const char *name;
	int windows;
	HWND (*id)(int);
	bool (*closed)(int);
};

const CacheCase cases[] = {
    /* a client's ids differ in their low bits, clients in the high ones */
    {"5,000 X11 windows of 50 programs, two in three closed", 5000,
     [](int i) { return (HWND)(((i % 50 + 1) << 21) | (i / 50 + 1)); },
     [](int i) { return i % 3 != 0; }},
    {"a run that wraps past the index's end, its head and every third closed", 90, Clustered,
     [](int i) { return i == 0 || i % 3 == 1; }},
};

/* Each window is found at its record as open is true, and listed in slot
 * order once. */
void ExpectWindows(WindowCache *c, const CacheCase &k, bool (*open)(const CacheCase &, int))
{
	std::vector<HWND> want, listed((size_t)k.windows + 1);

	for (int i = 0; i < k.windows; i++) {
		Record *r = (Record *)CacheFind(c, k.id(i));
		ASSERT_EQ(r != NULL, open(k, i)) << "window " << i;
		if (r != NULL) {
			EXPECT_EQ(r->tag, i);
			want.push_back(k.id(i));
		}
	}
	listed.resize((size_t)CacheList(c, listed.data(), (int)listed.size()));
	std::sort(want.begin(), want.end());
	std::sort(listed.begin(), listed.end());
	EXPECT_EQ(listed, want);
}

void Open(WindowCache *c, const CacheCase &k, bool (*which)(const CacheCase &, int))
{
	for (int i = 0; i < k.windows; i++) {
		Record *r = which(k, i) ? (Record *)CacheAdd(c, k.id(i)) : NULL;
		ASSERT_TRUE(r != NULL || !which(k, i));
		if (r != NULL)
			r->tag = i;
	}
}

TEST(WindowCache, OpenAndClose)
{
	for (const CacheCase &k : cases) {
		SCOPED_TRACE(k.name);
		WindowCache c = Empty;
		Open(&c, k, [](const CacheCase &, int) { return true; });
		for (int i = 0; i < k.windows; i++) {
			DeskWindow *w = k.closed(i) ? CacheFind(&c, k.id(i)) : NULL;
			ASSERT_TRUE(w != NULL || !k.closed(i)) << "window " << i << " lost";
			if (w != NULL)
				CacheRemove(&c, w);
		}
		ExpectWindows(&c, k, [](const CacheCase &k, int i) { return !k.closed(i); });
		/* The closed ones open again, in the slots left free. */
		Open(&c, k, [](const CacheCase &k, int i) { return k.closed(i); });
		ExpectWindows(&c, k, [](const CacheCase &, int) { return true; });
		EXPECT_LE(c.count, k.windows);
		CacheEmpty(&c);
		ExpectWindows(&c, k, [](const CacheCase &, int) { return false; });
		Free(&c);
	}
}

} // namespace
