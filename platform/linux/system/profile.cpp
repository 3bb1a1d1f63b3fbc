/*
 * GetCurrentDirectoryA, GetPrivateProfileStringA and
 * GetPrivateProfileSectionA reading INI files the way Windows does (scripts
 * are written for Windows), and reading a regular file (CreateFileA,
 * ReadFile, SetFilePointer).
 *
 * The file last asked about is read once, its first section of each name
 * indexed, and held for the following calls (loading a script asks for up
 * to 255 sections of one file). Later calls for the same path answer from
 * what is held without looking at the file again, so a script changed
 * while it loads is read as one version, never a mix of two; a different
 * path is read afresh, and DropProfileCache starts a new load of the same
 * one.
 * The key lines of the section last asked about are kept too: a loader
 * that asks key by key asks for the keys of one section after another.
 */
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdint.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../../winapi.h"
#include "profile.h"
#include "system.h"

/* A run of bytes inside the held text (not terminated). */
struct Span {
	const char *p;
	size_t n;
};

/* The file held: its path and whether it could be read, its bytes as read,
 * the text parsed (the same bytes, or UTF-16 decoded to UTF-8), and a hash
 * table from section name to the offset + 1 of the first header of that
 * name (0 marks a free slot). */
static struct {
	bool held;            /* path was looked at; valid tells the outcome */
	bool valid;           /* the fields below hold its parsed text */
	char asked[PATH_MAX]; /* the file name as given, path as read */
	char path[PATH_MAX];
	char *raw;
	size_t rawLen;
	char *text;
	size_t textLen;
	size_t *slots;
	size_t slotCount; /* a power of two, at least twice sectionCount */
	size_t sectionCount;
} cache;

/* The key lines of the first section of the name last asked for, up to
 * KeptLines of them; the section's further lines are walked from rest. */
enum { KeptLines = 32, KeptNameSize = 256 };

static struct {
	bool valid;
	char section[KeptNameSize]; /* as asked */
	bool found;                 /* the file has such a section */
	int count;
	Span keys[KeptLines]; /* trimmed, cut at a NUL */
	Span lines[KeptLines];
	const char *eq[KeptLines]; /* the line's first '=', or NULL */
	size_t rest;               /* where the lines not kept begin */
	bool more;                 /* the section goes on there */
} kept;

void DropProfileCache(void)
{
	kept.valid = false;
	if (cache.text != cache.raw)
		free(cache.text);
	free(cache.raw);
	free(cache.slots);
	memset(&cache, 0, sizeof cache);
}

/* --- Lines ------------------------------------------------------------ */

static bool IsBlank(char c)
{
	return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

static Span Trim(const char *p, size_t n)
{
	while (n > 0 && IsBlank(p[0])) {
		p++;
		n--;
	}
	while (n > 0 && IsBlank(p[n - 1]))
		n--;
	return Span{p, n};
}

/* A NUL ends a name or a value (the reader works on C strings). */
static Span CutAtNul(Span s)
{
	const char *nul = (const char *)memchr(s.p, '\0', s.n);

	if (nul)
		s.n = (size_t)(nul - s.p);
	return s;
}

/* The next non-blank line from *pos on, trimmed; false at the end. CR LF,
 * LF and a lone CR all end a line. */
static bool NextLine(size_t *pos, Span *line)
{
	const char *t = cache.text;
	size_t i = *pos, start;

	for (;;) {
		while (i < cache.textLen && (t[i] == '\r' || t[i] == '\n'))
			i++;
		if (i >= cache.textLen)
			return false;
		start = i;
		while (i < cache.textLen && t[i] != '\r' && t[i] != '\n')
			i++;
		*line = Trim(t + start, i - start);
		if (line->n > 0) {
			*pos = i;
			return true;
		}
	}
}

/* The name of the header whose '[' is at offset: up to the first ']', or
 * to the line's end. */
static Span HeaderName(size_t offset)
{
	const char *open = cache.text + offset, *end = cache.text + cache.textLen, *q = open + 1;

	while (q < end && *q != ']' && *q != '\r' && *q != '\n')
		q++;
	return CutAtNul(Trim(open + 1, (size_t)(q - open - 1)));
}

static bool SameName(Span a, Span b)
{
	if (a.n != b.n)
		return false;
	for (size_t i = 0; i < a.n; i++) {
		unsigned char x = (unsigned char)a.p[i], y = (unsigned char)b.p[i];
		if (x != y && !(x >= 'A' && x <= 'Z' && x + 32 == y) &&
		    !(y >= 'A' && y <= 'Z' && y + 32 == x))
			return false;
	}
	return true;
}

/* --- The section index ------------------------------------------------ */

static size_t HashName(Span s)
{
	uint32_t h = 2166136261u; /* FNV-1a over the lower-cased bytes */

	for (size_t i = 0; i < s.n; i++) {
		unsigned char c = (unsigned char)s.p[i];
		h = (h ^ (c >= 'A' && c <= 'Z' ? c + 32 : c)) * 16777619u;
	}
	return h;
}

/* The slot of name: the one holding it, or the free one it would take. */
static size_t *SlotOf(Span name)
{
	size_t mask = cache.slotCount - 1, i = HashName(name) & mask;

	while (cache.slots[i] != 0 && !SameName(HeaderName(cache.slots[i] - 1), name))
		i = (i + 1) & mask;
	return &cache.slots[i];
}

static bool GrowIndex(void)
{
	size_t *old = cache.slots, oldCount = cache.slotCount;

	cache.slotCount = oldCount ? oldCount * 2 : 64;
	cache.slots = (size_t *)calloc(cache.slotCount, sizeof *cache.slots);
	if (cache.slots == NULL) {
		free(old);
		return false;
	}
	for (size_t i = 0; i < oldCount; i++)
		if (old[i] != 0)
			*SlotOf(HeaderName(old[i] - 1)) = old[i];
	free(old);
	return true;
}

/* Whether the '[' at p begins its line (after blanks): a header. */
static bool StartsLine(const char *p)
{
	while (p > cache.text && IsBlank(p[-1]))
		p--;
	return p == cache.text || p[-1] == '\r' || p[-1] == '\n';
}

/* Indexes the first header of each section name; false when out of memory.
 * Looks for '[' rather than walking every line: much faster on big files. */
static bool IndexSections(void)
{
	const char *p = cache.text, *end = cache.text + cache.textLen;
	size_t offset, *slot;

	if (!GrowIndex())
		return false;
	for (; p < end && (p = (const char *)memchr(p, '[', (size_t)(end - p))) != NULL; p++) {
		if (!StartsLine(p))
			continue;
		offset = (size_t)(p - cache.text);
		slot = SlotOf(HeaderName(offset));
		if (*slot != 0)
			continue; /* a repeated section stays unseen */
		*slot = offset + 1;
		if (++cache.sectionCount * 2 > cache.slotCount && !GrowIndex())
			return false;
	}
	return true;
}

/* --- Reading the file ------------------------------------------------- */

static void PutUtf8(char **out, uint32_t c)
{
	unsigned char *o = (unsigned char *)*out;

	if (c < 0x80) {
		*o++ = (unsigned char)c;
	} else if (c < 0x800) {
		*o++ = (unsigned char)(0xC0 | c >> 6);
		*o++ = (unsigned char)(0x80 | (c & 0x3F));
	} else if (c < 0x10000) {
		*o++ = (unsigned char)(0xE0 | c >> 12);
		*o++ = (unsigned char)(0x80 | (c >> 6 & 0x3F));
		*o++ = (unsigned char)(0x80 | (c & 0x3F));
	} else {
		*o++ = (unsigned char)(0xF0 | c >> 18);
		*o++ = (unsigned char)(0x80 | (c >> 12 & 0x3F));
		*o++ = (unsigned char)(0x80 | (c >> 6 & 0x3F));
		*o++ = (unsigned char)(0x80 | (c & 0x3F));
	}
	*out = (char *)o;
}

/* UTF-16LE (after its FF FE mark) to UTF-8 in cache.text; a lone surrogate
 * becomes U+FFFD and an odd last byte is dropped. */
static bool DecodeUtf16(const unsigned char *in, size_t n)
{
	size_t units = n / 2, i = 0;
	char *out = (char *)malloc(units * 3 + 1);

	if (out == NULL)
		return false;
	cache.text = out;
	while (i < units) {
		uint32_t c = in[2 * i] | (uint32_t)in[2 * i + 1] << 8, d;
		i++;
		if (c >= 0xD800 && c <= 0xDFFF) {
			d = i < units ? (in[2 * i] | (uint32_t)in[2 * i + 1] << 8) : 0;
			if (c <= 0xDBFF && d >= 0xDC00 && d <= 0xDFFF) {
				c = 0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00);
				i++;
			} else {
				c = 0xFFFD;
			}
		}
		PutUtf8(&out, c);
	}
	cache.textLen = (size_t)(out - cache.text);
	return true;
}

/* Parses cache.raw into cache.text and the index. Only a UTF-16LE mark is
 * understood, as on Windows: a UTF-8 one stays part of the first line. */
static bool Parse(void)
{
	const unsigned char *r = (const unsigned char *)cache.raw;

	if (cache.rawLen >= 2 && r[0] == 0xFF && r[1] == 0xFE) {
		if (!DecodeUtf16(r + 2, cache.rawLen - 2))
			return false;
	} else {
		cache.text = cache.raw;
		cache.textLen = cache.rawLen;
	}
	return IndexSections();
}

/* Reads the size bytes of an open file into a new buffer; NULL on failure.
 * A file that shrinks meanwhile gives what is left. */
static char *ReadAll(int fd, size_t size, size_t *got)
{
	char *buf = (char *)malloc(size + 1);
	ssize_t r = 0;

	*got = 0;
	while (buf && *got < size && (r = read(fd, buf + *got, size - *got)) != 0) {
		if (r < 0 && errno == EINTR)
			continue;
		if (r < 0) {
			free(buf);
			return NULL;
		}
		*got += (size_t)r;
	}
	return buf;
}

/* Opens path without blocking (a FIFO would wait for a writer) and only
 * when it is a regular file; -1 otherwise. */
static int OpenRegular(const char *path, struct stat *st)
{
	int fd;

	if (stat(path, st) != 0 || !S_ISREG(st->st_mode))
		return -1; /* no open at all: opening a device may act on it */
	fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
	if (fd >= 0 && (fstat(fd, st) != 0 || !S_ISREG(st->st_mode))) {
		close(fd);
		fd = -1;
	}
	return fd;
}

/* Reads and parses path into the cache, which starts empty; false when
 * it cannot be read or parsed. */
static bool Load(const char *path)
{
	struct stat st;
	int fd = OpenRegular(path, &st);

	if (fd < 0)
		return false;
	cache.raw = ReadAll(fd, (size_t)st.st_size, &cache.rawLen);
	close(fd);
	return cache.raw != NULL && Parse();
}

/* Makes path the file held; false when it cannot be read. Only the first
 * call for a path touches the file: a file that cannot be read stays so
 * until the path changes or the cache is dropped, like a readable one. */
static bool Hold(const char *path)
{
	if (cache.held && strcmp(cache.path, path) == 0)
		return cache.valid;
	DropProfileCache();
	cache.valid = Load(path);
	if (!cache.valid)
		DropProfileCache(); /* frees what a failed read or parse left */
	strcpy(cache.path, path);
	cache.held = true;
	return cache.valid;
}

/* --- Lookup ----------------------------------------------------------- */

/* The name of a key line and its first '=' (NULL when it has none). */
static Span KeyOf(Span line, const char **eq)
{
	*eq = (const char *)memchr(line.p, '=', line.n);
	return CutAtNul(Trim(line.p, *eq ? (size_t)(*eq - line.p) : line.n));
}

/* Keeps the key lines of the first section named section (the index
 * tells where it starts); false when there is none. */
static bool KeepSection(const char *section)
{
	size_t length = strlen(section), *slot, pos;
	Span line;

	if (kept.valid && strcmp(kept.section, section) == 0)
		return kept.found;
	kept.valid = length < KeptNameSize;
	if (kept.valid)
		memcpy(kept.section, section, length + 1);
	slot = SlotOf(Trim(section, length));
	kept.found = *slot != 0;
	kept.count = 0;
	kept.more = false;
	if (!kept.found)
		return false;
	pos = *slot - 1;
	NextLine(&pos, &line); /* the header */
	while (kept.count < KeptLines && NextLine(&pos, &line) && line.p[0] != '[') {
		if (line.p[0] == ';')
			continue;
		kept.lines[kept.count] = line;
		kept.keys[kept.count] = KeyOf(line, &kept.eq[kept.count]);
		kept.count++;
	}
	kept.rest = pos;
	kept.more = kept.count == KeptLines;
	return true;
}

/* The value after eq on line, trimmed and cut at a NUL, quotes kept. */
static Span RawValueOf(Span line, const char *eq)
{
	return CutAtNul(Trim(eq + 1, line.n - (size_t)(eq + 1 - line.p)));
}

/* The same without one outer pair of like quotes. */
static Span ValueOf(Span line, const char *eq)
{
	Span value = RawValueOf(line, eq);

	if (value.n >= 2 && (value.p[0] == '"' || value.p[0] == '\'') &&
	    value.p[value.n - 1] == value.p[0]) {
		value.p++;
		value.n -= 2;
	}
	return value;
}

/* The value of key in the first section named section; false when the
 * section or the key is missing, or the key's line has no '='. The first
 * line of the key's name decides. */
static bool FindValue(const char *section, const char *key, Span *value)
{
	Span want = Trim(key, strlen(key)), line;
	size_t pos;
	const char *eq;

	if (!KeepSection(section))
		return false;
	for (int i = 0; i < kept.count; i++) {
		if (SameName(kept.keys[i], want)) {
			if (kept.eq[i] != NULL)
				*value = ValueOf(kept.lines[i], kept.eq[i]);
			return kept.eq[i] != NULL;
		}
	}
	for (pos = kept.rest; kept.more && NextLine(&pos, &line) && line.p[0] != '[';) {
		if (line.p[0] != ';' && SameName(KeyOf(line, &eq), want)) {
			if (eq != NULL)
				*value = ValueOf(line, eq);
			return eq != NULL;
		}
	}
	return false;
}

/* The file name with '\' taken as a separator; false when it is too long. */
static bool UnixPath(const char *name, char *path)
{
	size_t n = strlen(name);

	if (n >= PATH_MAX)
		return false;
	for (size_t i = 0; i <= n; i++)
		path[i] = name[i] == '\\' ? '/' : name[i];
	return true;
}

/* Hold for a file name as given; the name last given is not converted
 * again. */
static bool HoldFile(const char *name, char *path)
{
	if (cache.held && strcmp(cache.asked, name) == 0)
		return cache.valid;
	if (!UnixPath(name, path))
		return false;
	Hold(path);
	strcpy(cache.asked, name); /* shorter than path, which is PATH_MAX */
	return cache.valid;
}

/* Cut between characters when it does not fit, as window names are. */
static DWORD CopyOut(Span s, LPSTR out, DWORD size)
{
	size_t n = FitText(s.p, s.n, size);

	memcpy(out, s.p, n);
	out[n] = '\0';
	return (DWORD)n;
}

/* Listing sections or keys (a NULL section or key) is not supported: it
 * gives the default. As on Windows, the default loses trailing spaces. */
DWORD GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                               LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName)
{
	char path[PATH_MAX];
	Span value;

	if (lpReturnedString == NULL || nSize == 0)
		return 0;
	if (lpAppName && lpKeyName && lpFileName && HoldFile(lpFileName, path) &&
	    FindValue(lpAppName, lpKeyName, &value))
		return CopyOut(value, lpReturnedString, nSize);
	value = Span{lpDefault ? lpDefault : "", lpDefault ? strlen(lpDefault) : 0};
	while (value.n > 0 && value.p[value.n - 1] == ' ')
		value.n--;
	return CopyOut(value, lpReturnedString, nSize);
}

/* Appends s to the list at *out as one string, cut to leave room for the
 * list's end; false when no further string fits after it. */
static bool AppendString(char **out, DWORD *room, Span s)
{
	size_t n = FitText(s.p, s.n, *room - 1);

	memcpy(*out, s.p, n);
	(*out)[n] = '\0';
	*out += n + 1;
	*room -= (DWORD)n + 1;
	return *room >= 2;
}

/* The key lines of the first section named lpAppName, as "key=value" (or
 * "key" for a line without '='), each ended by a NUL and the list by one
 * more. As on Windows, comments are left out, and so is a line beginning
 * with '=' after another; names and values come trimmed and cut at a NUL
 * but keep their quotes, and the name asked is not trimmed. A list that
 * does not fit ends with its last string cut, and the count is then
 * nSize - 2; otherwise it is the length of the strings with their NULs. A
 * missing file or section gives the empty list and 0. */
DWORD GetPrivateProfileSectionA(LPCSTR lpAppName, LPSTR lpReturnedString, DWORD nSize,
                                LPCSTR lpFileName)
{
	char path[PATH_MAX], *out = lpReturnedString;
	DWORD room = nSize;
	size_t pos, *slot;
	const char *eq;
	Span line, name;
	bool nameless = false, dropped; /* the line before began with '=' */

	if (lpReturnedString == NULL || nSize == 0)
		return 0;
	memset(out, 0, nSize < 2 ? 1 : 2); /* the empty list */
	if (nSize < 3 || lpAppName == NULL || lpFileName == NULL || !HoldFile(lpFileName, path))
		return 0;
	slot = SlotOf(Span{lpAppName, strlen(lpAppName)});
	if (*slot == 0)
		return 0;
	pos = *slot - 1;
	NextLine(&pos, &line); /* the header */
	while (room > 2 && NextLine(&pos, &line) && line.p[0] != '[') {
		name = KeyOf(line, &eq);
		dropped = eq == line.p && nameless; /* Windows' reader merges them */
		nameless = eq == line.p;
		if (dropped || line.p[0] == ';' || (name.n == 0 && eq == NULL))
			continue;
		if (!AppendString(&out, &room, name))
			break;
		if (eq != NULL) {
			out[-1] = '='; /* in the name's NUL, already counted */
			if (!AppendString(&out, &room, RawValueOf(line, eq)))
				break;
		}
	}
	*out = '\0';
	if (room > 1)
		return nSize - room;
	out[-1] = '\0';
	return nSize - 2;
}

/* A file's handle is its descriptor, tagged in the two low bits as no
 * pointer of ours nor process handle (tagged 1) is. */
static HANDLE HandleOfFile(int fd)
{
	return (HANDLE)(((uintptr_t)fd << 2) | 2);
}

int FileDescriptorOf(void *handle)
{
	uintptr_t value = (uintptr_t)handle;

	return (value & 3) == 2 ? (int)(value >> 2) : -1;
}

/* Any sharing is granted; a file that is no regular file (a FIFO would
 * make the reader wait, a device act) cannot be opened. */
HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile)
{
	char path[PATH_MAX];
	struct stat st;
	int fd;

	(void)dwShareMode;
	(void)lpSecurityAttributes;
	(void)dwFlagsAndAttributes;
	if (lpFileName == NULL || dwDesiredAccess != GENERIC_READ ||
	    dwCreationDisposition != OPEN_EXISTING || hTemplateFile != NULL ||
	    !UnixPath(lpFileName, path) || (fd = OpenRegular(path, &st)) < 0) {
		SetLastError(ERROR_ACCESS_DENIED);
		return INVALID_HANDLE_VALUE;
	}
	return HandleOfFile(fd);
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped)
{
	int fd = FileDescriptorOf(hFile);
	ssize_t n;

	*lpNumberOfBytesRead = 0;
	if (fd < 0 || lpOverlapped != NULL)
		return FALSE;
	while ((n = read(fd, lpBuffer, nNumberOfBytesToRead)) < 0 && errno == EINTR)
		;
	if (n < 0)
		return FALSE;
	*lpNumberOfBytesRead = (DWORD)n;
	return TRUE;
}

/* Moves within the first 2 GiB only, as wincue asks. */
DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                     DWORD dwMoveMethod)
{
	int fd = FileDescriptorOf(hFile);
	off_t at;

	if (fd < 0 || lpDistanceToMoveHigh != NULL || dwMoveMethod != FILE_BEGIN ||
	    lDistanceToMove < 0 || (at = lseek(fd, lDistanceToMove, SEEK_SET)) < 0)
		return INVALID_SET_FILE_POINTER;
	return (DWORD)at;
}

DWORD GetFileType(HANDLE hFile)
{
	return FileDescriptorOf(hFile) >= 0 ? FILE_TYPE_DISK : 0;
}

DWORD GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer)
{
	char dir[4096];
	size_t n;

	if (getcwd(dir, sizeof dir) == NULL)
		return 0;
	n = strlen(dir);
	if (n >= nBufferLength)
		return (DWORD)n + 1; /* as Windows: the size needed, buffer untouched */
	memcpy(lpBuffer, dir, n + 1);
	return (DWORD)n;
}
