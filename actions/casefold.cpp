#include "casefold.h"
#include "casefold_table.h"

enum { FoldRangeCount = sizeof caseFoldRanges / sizeof caseFoldRanges[0] };

/* What c folds to, or c itself. */
static unsigned FoldCase(unsigned c)
{
	size_t low = 0, high = FoldRangeCount;
	const CaseFoldRange *range;
	unsigned offset;

	/* low ends as the number of ranges that begin at or before c */
	while (low < high) {
		size_t middle = low + (high - low) / 2;
		if (caseFoldRanges[middle].first <= c)
			low = middle + 1;
		else
			high = middle;
	}
	if (low == 0)
		return c;
	range = &caseFoldRanges[low - 1];
	offset = c - range->first;
	return offset % range->step == 0 && offset / range->step < range->count ? c + range->delta
	                                                                        : c;
}

/* The character at *at, before length, and *at past it. Overlong forms,
 * surrogates, code points past U+10FFFF and a character cut short are
 * not well formed: their first byte stands alone. */
static unsigned NextCharacter(const unsigned char *text, size_t length, size_t *at)
{
	const unsigned char *s = text + *at;
	unsigned c = s[0], least;
	size_t more;
	bool whole;

	if (c < 0x80) {
		*at += 1;
		return c;
	}
	if ((c & 0xE0) == 0xC0)
		more = 1, least = 0x80, c &= 0x1F;
	else if ((c & 0xF0) == 0xE0)
		more = 2, least = 0x800, c &= 0x0F;
	else if ((c & 0xF8) == 0xF0)
		more = 3, least = 0x10000, c &= 0x07;
	else
		more = 0, least = 0;
	whole = more > 0 && more < length - *at;
	for (size_t i = 1; whole && i <= more; i++) {
		whole = (s[i] & 0xC0) == 0x80;
		c = c << 6 | (s[i] & 0x3F);
	}
	if (!whole || c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
		*at += 1;
		return NotUtf8 + s[0];
	}
	*at += more + 1;
	return c;
}

size_t FoldText(const char *text, size_t length, unsigned *folded)
{
	size_t count = 0;

	for (size_t at = 0; at < length;)
		folded[count++] = FoldCase(NextCharacter((const unsigned char *)text, length, &at));
	return count;
}
