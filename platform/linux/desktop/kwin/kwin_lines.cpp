/*
 * The lines of the script's batches, and the cache of windows they keep.
 * They come from KWin's connection only, but their texts are the titles
 * and classes of any program's windows: every field is read within its
 * line and every text cut to its buffer, whatever the line holds.
 */
#include <stdlib.h>
#include <string.h>

#include "kwin.h"

WindowCache kwinCache = {sizeof(KWinWindow), NULL, 0, 0, 0, NULL, 0, 0};
char kwinActive[KWinIdSize];

/* -- the cache --------------------------------------------------------- */

/* KWin's window ids are random UUIDs: their first 64 bits make an id that
 * stays the same for the window's life, in every run. One whose first 32
 * bits are zero (one in four billion) gets its top bit set, so that every
 * id shows 16 hex digits, and none is 0. */
static HWND IdOf(const char *uuid)
{
	uint64_t id = 0;
	int digits = 0;

	for (const char *p = uuid; *p != '\0' && digits < 16; p++) {
		int v = *p >= '0' && *p <= '9'   ? *p - '0'
		        : *p >= 'a' && *p <= 'f' ? *p - 'a' + 10
		        : *p >= 'A' && *p <= 'F' ? *p - 'A' + 10
		                                 : -1;
		if (v >= 0) {
			id = id << 4 | (uint64_t)v;
			digits++;
		}
	}
	return (HWND)(id >> 32 != 0 ? id : id | (uint64_t)1 << 63);
}

/* The window of this UUID, or NULL. */
static KWinWindow *FindUuid(const char *uuid)
{
	KWinWindow *w = KWinFind(IdOf(uuid));

	return w != NULL && strcmp(w->uuid, uuid) == 0 ? w : NULL;
}

/* -- the script's batches ---------------------------------------------- */

static int HexDigit(char c)
{
	return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

/* The UTF-16 unit of the \uXXXX at p (before end), or -1. */
static long Escaped(const char *p, const char *end)
{
	long unit = 0;

	if (end - p < 6 || p[0] != '\\' || p[1] != 'u')
		return -1;
	for (int i = 2; i < 6; i++) {
		int v = HexDigit(p[i]);
		if (v < 0)
			return -1;
		unit = unit << 4 | v;
	}
	return unit;
}

static int PutUtf8(unsigned long c, char *out)
{
	if (c < 0x80) {
		out[0] = (char)c;
		return 1;
	}
	if (c < 0x800) {
		out[0] = (char)(0xc0 | c >> 6);
		out[1] = (char)(0x80 | (c & 0x3f));
		return 2;
	}
	if (c < 0x10000) {
		out[0] = (char)(0xe0 | c >> 12);
		out[1] = (char)(0x80 | (c >> 6 & 0x3f));
		out[2] = (char)(0x80 | (c & 0x3f));
		return 3;
	}
	out[0] = (char)(0xf0 | c >> 18);
	out[1] = (char)(0x80 | (c >> 12 & 0x3f));
	out[2] = (char)(0x80 | (c >> 6 & 0x3f));
	out[3] = (char)(0x80 | (c & 0x3f));
	return 4;
}

/* The script's text from p to end as UTF-8 in out (size bytes, at least
 * 5), as many whole characters as fit; a lone surrogate reads as U+FFFD. */
static void Unescape(const char *p, const char *end, char *out, size_t size)
{
	size_t length = 0;

	while (p < end) {
		long unit = Escaped(p, end);
		unsigned long c;
		char bytes[4];
		int n;

		if (unit < 0) {
			c = (unsigned char)*p++;
		} else {
			long low = Escaped(p + 6, end);
			p += 6;
			c = (unsigned long)unit;
			if (unit >= 0xd800 && unit < 0xdc00 && low >= 0xdc00 && low < 0xe000) {
				c = 0x10000 + ((unsigned long)(unit - 0xd800) << 10) +
				    (unsigned long)(low - 0xdc00);
				p += 6;
			} else if (unit >= 0xd800 && unit < 0xe000) {
				c = 0xfffd;
			}
		}
		n = PutUtf8(c, bytes);
		if (length + (size_t)n >= size)
			break;
		memcpy(out + length, bytes, (size_t)n);
		length += (size_t)n;
	}
	out[length] = '\0';
}

/* The first count tab-separated fields of the line at *p (any more are
 * left); false when it has fewer. *p moves to the next line. */
static bool Fields(const char **p, const char *fields[], const char *ends[], int count)
{
	const char *at = *p, *stop = strchr(at, '\n');

	if (stop == NULL)
		stop = at + strlen(at);
	*p = *stop == '\n' ? stop + 1 : stop;
	for (int n = 0; n < count; n++) {
		const char *tab = (const char *)memchr(at, '\t', (size_t)(stop - at));
		fields[n] = at;
		ends[n] = tab != NULL ? tab : stop;
		if (tab == NULL)
			return n == count - 1;
		at = tab + 1;
	}
	return true;
}

/* The window of the text from p to end, a UUID, or NULL; its id in uuid. */
static KWinWindow *WindowOf(const char *p, const char *end, char uuid[KWinIdSize])
{
	if (end - p >= KWinIdSize)
		return NULL;
	memcpy(uuid, p, (size_t)(end - p));
	uuid[end - p] = '\0';
	return FindUuid(uuid);
}

/* One line of a batch, as KWinApplyLines reads it. */
static void ApplyLine(const char **p)
{
	const char *fields[7], *ends[7];
	char uuid[KWinIdSize], name[DeskNameSize + 4];
	char kind = **p;
	KWinWindow *w;

	if (!Fields(p, fields, ends,
	            kind == 'A'   ? 7
	            : kind == 'C' ? 3
	                          : 2) ||
	    ends[0] - fields[0] != 1 || ends[1] - fields[1] >= KWinIdSize)
		return;
	w = WindowOf(fields[1], ends[1], uuid);
	if (kind == 'C' && w != NULL)
		w->commanded = *fields[2] == '1' ? 'h' : 's';
	if (kind == 'F') {
		KeepName(kwinActive, sizeof kwinActive, uuid);
		return;
	}
	if (kind == 'R' && w != NULL)
		CacheRemove(&kwinCache, &w->desk);
	if (kind != 'A' ||
	    (w == NULL && (w = (KWinWindow *)CacheAdd(&kwinCache, IdOf(uuid))) == NULL))
		return;
	KeepName(w->uuid, sizeof w->uuid, uuid);
	w->minimized = *fields[2] == '1';
	w->desk.pid = (DWORD)strtoul(fields[3], NULL, 10);
	w->stack = (int)strtol(fields[4], NULL, 10);
	Unescape(fields[5], ends[5], name, sizeof name);
	KeepName(w->desk.className, sizeof w->desk.className, name);
	Unescape(fields[6], ends[6], name, sizeof name);
	KeepName(w->desk.title, sizeof w->desk.title, name);
}

void KWinApplyLines(const char *text)
{
	while (*text != '\0')
		ApplyLine(&text);
}
