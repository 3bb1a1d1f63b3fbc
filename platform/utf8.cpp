/* UTF-8 cuts, the same in both builds: a script's value and a window's
 * name are cut alike. */
#include "utf8.h"

static bool IsContinuation(unsigned char c)
{
	return (c & 0xC0) == 0x80;
}

size_t Utf8SequenceLength(unsigned char lead)
{
	if (lead < 0x80)
		return 1;
	if (lead >= 0xC2 && lead <= 0xDF)
		return 2;
	if (lead >= 0xE0 && lead <= 0xEF)
		return 3;
	if (lead >= 0xF0 && lead <= 0xF4)
		return 4;
	return 0;
}

size_t FitText(const char *text, size_t length, size_t size)
{
	const unsigned char *t = (const unsigned char *)text;
	size_t cut, back = 0;

	if (size == 0)
		return 0;
	if (length < size)
		return length;
	cut = size - 1;
	if (!IsContinuation(t[cut]))
		return cut;
	/* The character that the cut falls in starts at most three bytes back. */
	while (back < 3 && back < cut && IsContinuation(t[cut - back - 1]))
		back++;
	if (back < cut && Utf8SequenceLength(t[cut - back - 1]) > back + 1)
		return cut - back - 1;
	return cut;
}
