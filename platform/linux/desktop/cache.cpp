/*
 * The windows a desktop keeps: slots of records that grow by doubling, and
 * an index from window id to slot, a table of open addressing with linear
 * probing, at most half full.
 */
#include <stdlib.h>
#include <string.h>

#include "desktop.h"

/* Ids differ in their low bits within one X client and in their high bits
 * between clients; a compositor's are counts or random: mix both halves
 * into the bits the table uses. */
static unsigned HashId(HWND id)
{
	uint64_t h = (uint64_t)id;

	h ^= h >> 32;
	h ^= h >> 16;
	h *= 0x45d9f3bu;
	h ^= h >> 16;
	return (unsigned)h;
}

/* The index position holding id, or the empty one where it would go. */
static unsigned IndexPosition(const WindowCache *c, HWND id)
{
	unsigned i = HashId(id) & c->mask;

	while (c->index[i] != 0 && CacheAt(c, c->index[i] - 1)->id != id)
		i = (i + 1) & c->mask;
	return i;
}

/* Makes room for one more id in the index; false when out of memory. */
static bool IndexRoom(WindowCache *c)
{
	unsigned size = c->mask + 1;
	int *grown;

	if (c->index != NULL && (unsigned)(c->indexed + 1) * 2 <= size)
		return true;
	size = c->index != NULL ? size * 2 : 256;
	grown = (int *)calloc(size, sizeof *grown);
	if (grown == NULL)
		return false;
	free(c->index);
	c->index = grown;
	c->mask = size - 1;
	for (int slot = 0; slot < c->count; slot++)
		if (CacheAt(c, slot)->id != 0)
			c->index[IndexPosition(c, CacheAt(c, slot)->id)] = slot + 1;
	return true;
}

/* Linear probing's deletion: later entries of the same run move back into
 * the gap, so that no lookup stops short of them. */
static void IndexRemove(WindowCache *c, HWND id)
{
	unsigned gap = IndexPosition(c, id);
	unsigned i = gap;

	if (c->index[gap] == 0)
		return;
	c->index[gap] = 0;
	c->indexed--;
	for (;;) {
		i = (i + 1) & c->mask;
		if (c->index[i] == 0)
			return;
		unsigned home = HashId(CacheAt(c, c->index[i] - 1)->id) & c->mask;
		/* The entry may fill the gap unless its home lies after the gap,
		 * cyclically up to where it sits. */
		if (((i - home) & c->mask) >= ((i - gap) & c->mask)) {
			c->index[gap] = c->index[i];
			c->index[i] = 0;
			gap = i;
		}
	}
}

DeskWindow *CacheFind(WindowCache *c, HWND id)
{
	unsigned i;

	if (id == 0 || c->indexed == 0)
		return NULL;
	i = IndexPosition(c, id);
	return c->index[i] != 0 ? CacheAt(c, c->index[i] - 1) : NULL;
}

/* A free slot, the records grown if need be; -1 when out of memory. */
static int FreeSlot(WindowCache *c)
{
	int slot = c->freeHint;

	while (slot < c->count && CacheAt(c, slot)->id != 0)
		slot++;
	c->freeHint = slot;
	if (slot < c->count)
		return slot;
	if (slot == c->capacity) {
		int capacity = c->capacity > 0 ? c->capacity * 2 : 64;
		char *grown = (char *)realloc(c->records, (size_t)capacity * c->recordSize);
		if (grown == NULL)
			return -1;
		c->records = grown;
		c->capacity = capacity;
	}
	c->count = slot + 1;
	return slot;
}

DeskWindow *CacheAdd(WindowCache *c, HWND id)
{
	DeskWindow *w = CacheFind(c, id);
	int slot;

	if (w != NULL || id == 0)
		return w;
	if (!IndexRoom(c) || (slot = FreeSlot(c)) < 0)
		return NULL;
	w = CacheAt(c, slot);
	memset(w, 0, c->recordSize);
	w->id = id;
	c->index[IndexPosition(c, id)] = slot + 1;
	c->indexed++;
	return w;
}

void CacheRemove(WindowCache *c, DeskWindow *w)
{
	int slot = CacheSlotOf(c, w);

	IndexRemove(c, w->id);
	w->id = 0;
	if (slot < c->freeHint)
		c->freeHint = slot;
	while (c->count > 0 && CacheAt(c, c->count - 1)->id == 0)
		c->count--;
	if (c->freeHint > c->count)
		c->freeHint = c->count;
}

void CacheEmpty(WindowCache *c)
{
	for (int slot = 0; slot < c->count; slot++)
		CacheAt(c, slot)->id = 0;
	if (c->index != NULL)
		memset(c->index, 0, sizeof c->index[0] * (c->mask + 1));
	c->count = 0;
	c->freeHint = 0;
	c->indexed = 0;
}

int CacheList(const WindowCache *c, HWND *room, int size)
{
	int count = 0;

	for (int slot = 0; slot < c->count; slot++) {
		HWND id = CacheAt(c, slot)->id;
		if (id == 0)
			continue;
		if (count < size)
			room[count] = id;
		count++;
	}
	return count;
}
