/*
 * The reader of a script that requires 1.4 or later: the same on every
 * system, so that one file means the same everywhere. It keeps the INI
 * rules of Windows' profile reader (the Linux stand-in's), but reads the
 * text as Unicode: UTF-8, after its byte-order mark if it has one, or
 * UTF-16LE after its mark, decoded to UTF-8. It streams the file through
 * a fixed buffer and keeps no more of a line than the longest value.
 */
#include "../platform/utf8.h"
#include "../platform/winapi.h"
#include "steps.h"

enum { ChunkSize = 4096, NameSize = 32 };

static struct {
	HANDLE file;
	unsigned char chunk[ChunkSize];
	DWORD at, got;
	DWORD chunkStart; /* the file offset of chunk[0] */
	/* The loader asks for the sections in number order, which most files
	 * keep: a search starts where the last one stopped, at the header
	 * after the section it read, unless a header of the name sought lies
	 * before (passed has a bit for every SectionN header met so far). */
	DWORD resumeAt;
	unsigned char passed[(MaxSteps + 7) / 8];
	bool wide;            /* UTF-16LE after its mark */
	long heldUnit;        /* a UTF-16 unit read ahead, or -1 */
	unsigned char out[4]; /* the UTF-8 bytes of a decoded character */
	int outAt, outCount;
} reader;

static int RawByte(void)
{
	if (reader.at == reader.got) {
		reader.chunkStart += reader.got;
		reader.at = 0;
		if (!ReadFile(reader.file, reader.chunk, ChunkSize, &reader.got, NULL))
			reader.got = 0;
		if (reader.got == 0)
			return -1;
	}
	return reader.chunk[reader.at++];
}

/* The next UTF-16 unit, or -1 at the end (an odd last byte is dropped). */
static long NextUnit(void)
{
	long unit = reader.heldUnit;
	int low, high;

	reader.heldUnit = -1;
	if (unit >= 0)
		return unit;
	low = RawByte();
	high = low < 0 ? -1 : RawByte();
	return high < 0 ? -1 : low | high << 8;
}

static void PutUtf8(unsigned long c)
{
	unsigned char *o = reader.out;

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
	reader.outAt = 0;
	reader.outCount = (int)(o - reader.out);
}

/* The next byte of the text as UTF-8, or -1 at its end. A lone surrogate
 * reads as U+FFFD, as the stand-in decodes it. */
static int NextByte(void)
{
	long c, d;

	if (!reader.wide)
		return RawByte();
	if (reader.outAt < reader.outCount)
		return reader.out[reader.outAt++];
	if ((c = NextUnit()) < 0)
		return -1;
	if (c >= 0xD800 && c <= 0xDFFF) {
		d = c <= 0xDBFF ? NextUnit() : -1;
		if (d >= 0xDC00 && d <= 0xDFFF) {
			c = 0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00);
		} else {
			reader.heldUnit = d;
			c = 0xFFFD;
		}
	}
	PutUtf8((unsigned long)c);
	return reader.out[reader.outAt++];
}

/* To offset in the file, where a line starts; nothing decoded is held
 * there, as a line ends with a character of one byte. */
static bool Seek(DWORD offset)
{
	if (SetFilePointer(reader.file, (LONG)offset, NULL, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
		return false;
	reader.at = reader.got = 0;
	reader.chunkStart = offset;
	reader.heldUnit = -1;
	reader.outAt = reader.outCount = 0;
	return true;
}

/* Back to the text's start, after its byte-order mark. */
static bool Rewind(void)
{
	int a, b, c;

	if (!Seek(0))
		return false;
	a = RawByte();
	b = RawByte();
	reader.wide = a == 0xFF && b == 0xFE;
	if (reader.wide)
		return true;
	c = RawByte();
	if (a != 0xEF || b != 0xBB || c != 0xBF)
		reader.at = 0; /* no mark: the chunk from its first byte */
	return true;
}

/* A name or value as a line gives it: blanks at both ends trimmed, then
 * cut at a NUL; the first size bytes kept, the length counted whole. */
struct Field {
	char *text;
	size_t size;
	size_t length; /* bytes after the leading blanks so far */
	size_t end;    /* the trimmed length */
	int last;      /* the trimmed text's last byte */
	int previous;
	bool cut; /* a NUL came */
};

static bool IsBlank(int c)
{
	return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

static void StartField(Field *f, char *text, size_t size)
{
	*f = Field{text, size, 0, 0, -1, -1, false};
}

static void AddToField(Field *f, int c)
{
	if (f->cut || (f->length == 0 && IsBlank(c)))
		return;
	if (c == '\0') {
		f->cut = true; /* a NUL is no blank: the blanks before it stay */
		f->end = f->length;
		f->last = f->previous;
		return;
	}
	if (f->length < f->size)
		f->text[f->length] = (char)c;
	f->previous = c;
	if (!IsBlank(c)) {
		f->end = f->length + 1;
		f->last = c;
	}
	f->length++;
}

/* One line of the text: what it is and its name and value. */
enum LineKind { LineNone, LineHeader, LineComment, LineKey, LineKeyAndValue };

struct Line {
	LineKind kind;
	char name[NameSize];
	Field nameField;
	char value[ValueSize + 1];
	Field valueField;
};

/* Adds c, a byte of the line after its first, to what the line holds. */
static void AddToLine(Line *line, int c, bool *closed)
{
	if (line->kind == LineHeader && !*closed) {
		*closed = c == ']'; /* the name runs to the first ']' */
		if (!*closed)
			AddToField(&line->nameField, c);
	} else if (line->kind == LineKey && c == '=') {
		line->kind = LineKeyAndValue;
	} else if (line->kind == LineKey) {
		AddToField(&line->nameField, c);
	} else if (line->kind == LineKeyAndValue) {
		AddToField(&line->valueField, c);
	}
}

/* Reads the next line that is not blank; false at the text's end. CR LF,
 * LF and a lone CR all end a line. */
static bool ReadLine(Line *line)
{
	bool closed = false;
	int c;

	line->kind = LineNone;
	StartField(&line->nameField, line->name, sizeof line->name);
	StartField(&line->valueField, line->value, sizeof line->value);
	while ((c = NextByte()) >= 0) {
		if (c == '\r' || c == '\n') {
			if (line->kind != LineNone)
				break;
		} else if (line->kind == LineNone && !IsBlank(c)) {
			line->kind = c == '[' ? LineHeader : c == ';' ? LineComment : LineKey;
			if (line->kind == LineKey)
				AddToLine(line, c, &closed);
		} else if (line->kind != LineNone) {
			AddToLine(line, c, &closed);
		}
	}
	return line->kind != LineNone;
}

static char LowerAscii(int c)
{
	return (char)(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
}

/* Whether a name read is want, ignoring the case of ASCII letters. */
static bool NameIs(const Field *f, const char *want)
{
	size_t n = strlen(want);

	if (f->end != n || n > f->size)
		return false;
	for (size_t i = 0; i < n; i++)
		if (LowerAscii((unsigned char)f->text[i]) != LowerAscii((unsigned char)want[i]))
			return false;
	return true;
}

/* A key line's value as Windows' reader gives it (ValueSize bytes): without
 * one outer pair of like quotes, cut between characters. */
static void LineValue(const Line *line, char *value)
{
	const Field *f = &line->valueField;
	const char *v = f->text;
	size_t n = f->end;

	if (line->kind != LineKeyAndValue)
		n = 0;
	if (n >= 2 && (v[0] == '"' || v[0] == '\'') && f->last == v[0]) {
		v++;
		n -= 2;
	}
	n = FitText(v, n, ValueSize);
	memcpy(value, v, n);
	value[n] = '\0';
}

/* The number in a section name as the loader names it, SectionN (any
 * letter case, no leading zero), or -1. */
static int StepNumber(const char *name, size_t length)
{
	int n = 0;

	if (length < 8 || length > 10 || (length > 8 && name[7] == '0'))
		return -1;
	for (size_t i = 0; i < 7; i++)
		if (LowerAscii((unsigned char)name[i]) != "section"[i])
			return -1;
	for (size_t i = 7; i < length; i++) {
		if (name[i] < '0' || name[i] > '9')
			return -1;
		n = n * 10 + (name[i] - '0');
	}
	return n < MaxSteps ? n : -1;
}

static int HeaderNumber(const Field *f)
{
	return f->end <= f->size ? StepNumber(f->text, f->end) : -1;
}

/* Where a search for section starts: where the last one stopped, or the
 * text's start when a header of its name may lie before that. */
static bool StartFor(const char *section)
{
	int number = StepNumber(section, strlen(section));

	if (reader.resumeAt == 0 || number < 0 || (reader.passed[number / 8] >> number % 8 & 1))
		return Rewind();
	return Seek(reader.resumeAt);
}

void ReadUnicodeSection(const char *section, const char *const *names, char *const *values,
                        int count)
{
	unsigned long read = 0; /* a bit for each name met */
	bool inside = false;
	Line line;
	DWORD lineAt;
	int number;

	for (int k = 0; k < count; k++)
		values[k][0] = '\0';
	if (!StartFor(section))
		return;
	/* Only the first section of a name counts, and in it the first line
	 * of each key, with or without a value. */
	for (;;) {
		lineAt = reader.chunkStart + reader.at;
		if (!ReadLine(&line))
			break;
		if (line.kind == LineHeader && inside) {
			reader.resumeAt = lineAt;
			return;
		}
		if (line.kind == LineHeader && (number = HeaderNumber(&line.nameField)) >= 0)
			reader.passed[number / 8] |= (unsigned char)(1u << number % 8);
		if (line.kind == LineHeader)
			inside = NameIs(&line.nameField, section);
		for (int k = 0; inside && line.kind >= LineKey && k < count; k++)
			if (!(read >> k & 1) && NameIs(&line.nameField, names[k])) {
				read |= 1ul << k;
				LineValue(&line, values[k]);
			}
	}
}

bool OpenUnicodeText(const char *path)
{
	reader.file =
	    CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
	                NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
	if (reader.file == INVALID_HANDLE_VALUE)
		return false;
	reader.resumeAt = 0;
	memset(reader.passed, 0, sizeof reader.passed);
	/* Only a file on a disk: a device (a link to /dev/zero under Wine)
	 * may never end. */
	if (GetFileType(reader.file) == FILE_TYPE_DISK)
		return true;
	CloseUnicodeScript();
	return false;
}

bool OpenUnicodeScript(void)
{
	char action[ValueSize], version[ValueSize];
	const char *const names[] = {"Action", "Version"};
	char *const values[] = {action, version};

	if (!OpenUnicodeText("config.ini"))
		return false;
	ReadUnicodeSection("Section0", names, values, 2);
	if (ValueEquals(action, "Require") && VersionNumber(version) >= VersionNumber("1.4"))
		return true;
	CloseUnicodeScript();
	return false;
}

void CloseUnicodeScript(void)
{
	if (reader.file != INVALID_HANDLE_VALUE && reader.file != NULL)
		CloseHandle(reader.file);
	reader.file = INVALID_HANDLE_VALUE;
}
