#include <iconv.h>
#include <stddef.h>
#include <string.h>

#include "../../system/system.h"

#include "x11_text.h"

/* Output held to a byte count: a little more than is kept, so that the cut
 * can be made between characters afterwards. */
struct TextOut {
	char *out;
	int size;
	int length;
};

static void PutByte(TextOut *t, unsigned char c)
{
	if (t->length < t->size - 1)
		t->out[t->length++] = (char)c;
}

static void PutLatin1(TextOut *t, unsigned char c)
{
	if (c < 0x80) {
		PutByte(t, c);
		return;
	}
	PutByte(t, (unsigned char)(0xC0 | (c >> 6)));
	PutByte(t, (unsigned char)(0x80 | (c & 0x3F)));
}

static bool IsUtf8(const unsigned char *s, int length)
{
	for (int i = 0; i < length;) {
		int n = (int)Utf8SequenceLength(s[i]);
		if (n == 0 || i + n > length)
			return false;
		for (int k = 1; k < n; k++)
			if ((s[i + k] & 0xC0) != 0x80)
				return false;
		i += n;
	}
	return true;
}

/* The character sets a compound text can switch to, by the form and final
 * byte of their designation: '(' a 94-character set, '-' a 96-character
 * one (ISO 8859 right halves), '$' a 94x94 set of two-byte characters.
 * glibc's iconv reads each in its 8-bit form (EUC for the 94x94 sets),
 * which the table's lead bytes and high bit give. A set without a name is
 * its own Latin-1 code. */
struct Charset {
	char form;
	char final;
	const char *iconvName;
	const char *lead; /* bytes before each character, such as EUC's SS2 */
	bool highBit;     /* read with the high bit set */
};

static const Charset charsets[] = {
    {'(', 'B', NULL, "", false}, /* ASCII */
    {'-', 'A', NULL, "", true},  /* Latin-1 */
    {'-', 'B', "ISO-8859-2", "", true},
    {'-', 'C', "ISO-8859-3", "", true},
    {'-', 'D', "ISO-8859-4", "", true},
    {'-', 'F', "ISO-8859-7", "", true},
    {'-', 'G', "ISO-8859-6", "", true},
    {'-', 'H', "ISO-8859-8", "", true},
    {'-', 'L', "ISO-8859-5", "", true},
    {'-', 'M', "ISO-8859-9", "", true},
    {'-', 'T', "TIS-620", "", true},
    {'-', 'V', "ISO-8859-10", "", true},
    {'-', 'Y', "ISO-8859-13", "", true},
    {'-', '_', "ISO-8859-14", "", true},
    {'-', 'b', "ISO-8859-15", "", true},
    {'-', 'f', "ISO-8859-16", "", true},
    {'(', 'J', "JIS_C6220-1969-RO", "", false}, /* JIS X 0201 Roman */
    {'(', 'I', "EUC-JP", "\x8e", true},         /* JIS X 0201 katakana */
    {'$', 'A', "EUC-CN", "", true},             /* GB 2312 */
    {'$', '@', "EUC-JP", "", true},             /* JIS C 6226-1978, as JIS X 0208 */
    {'$', 'B', "EUC-JP", "", true},             /* JIS X 0208 */
    {'$', 'C', "EUC-KR", "", true},             /* KS C 5601 */
    {'$', 'D', "EUC-JP", "\x8f", true},         /* JIS X 0212 */
    {'$', 'G', "EUC-TW", "", true},             /* CNS 11643 plane 1 */
    {'$', 'H', "EUC-TW", "\x8e\xa2", true},     /* CNS 11643 plane 2 */
};
enum { CharsetCount = sizeof charsets / sizeof charsets[0], Unknown = -1 };

/* What GL (bytes 0x21-0x7E) or GR (0xA1-0xFE) holds now. */
struct Half {
	int charset; /* index in charsets, or Unknown */
	int width;   /* bytes per character */
};

struct CompoundState {
	Half gl, gr;
	bool utf8;                        /* inside ESC % G ... ESC % @ */
	iconv_t converters[CharsetCount]; /* opened at first use; NULL: not yet */
};

static Half Designated(char form, unsigned char final)
{
	Half half = {Unknown, form == '$' ? 2 : 1};

	for (int i = 0; i < CharsetCount; i++)
		if (charsets[i].form == form && charsets[i].final == final)
			half.charset = i;
	return half;
}

/* An extended segment, ESC % / F M L, names its encoding in its first
 * M*128+L bytes; none of those is read, so it all shows as one '?'. */
static int SkipExtendedSegment(TextOut *t, const unsigned char *s, int length)
{
	if (length < 6)
		return length;
	PutByte(t, '?');
	int skipped = 6 + ((s[4] & 0x7F) << 7) + (s[5] & 0x7F);
	return skipped < length ? skipped : length;
}

/* Applies the escape sequence at s[0] (ESC); returns its length. */
static int ApplyEscape(TextOut *t, const unsigned char *s, int length, CompoundState *state)
{
	int i = 1;

	while (i < length && s[i] >= 0x20 && s[i] <= 0x2F)
		i++;
	if (i >= length)
		return length;
	unsigned char final = s[i];
	const char *middle = (const char *)s + 1;
	int count = i - 1; /* intermediate bytes */

	if (count == 1 && middle[0] == '%')
		state->utf8 = final == 'G';
	else if (count == 2 && middle[0] == '%' && middle[1] == '/')
		return SkipExtendedSegment(t, s, length);
	else if (count == 1 && middle[0] == '(')
		state->gl = Designated('(', final);
	else if (count == 1 && middle[0] == ')')
		state->gr = Designated('(', final);
	else if (count == 1 && middle[0] == '-')
		state->gr = Designated('-', final);
	else if ((count == 1 && middle[0] == '$') ||
	         (count == 2 && middle[0] == '$' && middle[1] == '('))
		state->gl = Designated('$', final);
	else if (count == 2 && middle[0] == '$' && middle[1] == ')')
		state->gr = Designated('$', final);
	return i + 1;
}

/* Converts one character of a set to UTF-8; '?' when iconv cannot. */
static void PutConverted(TextOut *t, CompoundState *state, int charset, const unsigned char *code,
                         int width)
{
	const Charset *set = &charsets[charset];
	iconv_t *converter = &state->converters[charset];
	char in[8], out[8];
	size_t inLength = 0;

	if (set->iconvName == NULL) {
		PutLatin1(t, set->highBit ? code[0] | 0x80 : code[0] & 0x7F);
		return;
	}
	for (const char *lead = set->lead; *lead != '\0'; lead++)
		in[inLength++] = *lead;
	for (int k = 0; k < width; k++)
		in[inLength++] = (char)(set->highBit ? code[k] | 0x80 : code[k] & 0x7F);
	if (*converter == NULL)
		*converter = iconv_open("UTF-8", set->iconvName);
	char *inAt = in, *outAt = out;
	size_t outLeft = sizeof out;
	if (*converter == (iconv_t)-1 ||
	    iconv(*converter, &inAt, &inLength, &outAt, &outLeft) == (size_t)-1 || inLength != 0) {
		PutByte(t, '?');
		return;
	}
	for (const char *c = out; c < outAt; c++)
		PutByte(t, (unsigned char)*c);
}

/* One character from GL or GR at s; returns the bytes it took. A
 * two-byte character cut short, or of an unknown set, shows as '?'. */
static int PutCharacter(TextOut *t, CompoundState *state, const Half *half, const unsigned char *s,
                        int length)
{
	unsigned char high = s[0] & 0x80;
	int width = half->width;

	for (int k = 1; k < width; k++) {
		if (k >= length || (s[k] & 0x80) != high || (s[k] & 0x7F) < 0x21 ||
		    (s[k] & 0x7F) > 0x7E) {
			PutByte(t, '?');
			return k;
		}
	}
	if (half->charset == Unknown)
		PutByte(t, '?');
	else
		PutConverted(t, state, half->charset, s, width);
	return width;
}

/* A direction mark, CSI 1 ], CSI 2 ] or CSI ], says nothing a title
 * compares by. Returns its length. */
static int SkipControlSequence(const unsigned char *s, int length)
{
	int i = 1;

	while (i < length && s[i] >= 0x20 && s[i] <= 0x3F)
		i++;
	return i < length ? i + 1 : length;
}

/* Whether c starts a character: 0x21-0x7E in GL and 0xA1-0xFE in GR, and
 * 0xA0 and 0xFF as well while a 96-character set is in GR. */
static bool IsGraphic(unsigned char c, const Half *half)
{
	unsigned char low = c & 0x7F;

	if (low >= 0x21 && low <= 0x7E)
		return true;
	return (c == 0xA0 || c == 0xFF) && half->charset != Unknown &&
	       charsets[half->charset].form == '-';
}

static void PutCompound(TextOut *t, const unsigned char *s, int length)
{
	/* It starts with ASCII in GL and Latin-1 in GR, the table's first rows. */
	CompoundState state = {{0, 1}, {1, 1}, false, {}};

	for (int i = 0; i < length;) {
		unsigned char c = s[i];
		const Half *half = c & 0x80 ? &state.gr : &state.gl;
		if (c == 0x1B) {
			i += ApplyEscape(t, s + i, length - i, &state);
		} else if (state.utf8) {
			PutByte(t, c);
			i++;
		} else if (c == 0x9B) {
			i += SkipControlSequence(s + i, length - i);
		} else if (IsGraphic(c, half)) {
			i += PutCharacter(t, &state, half, s + i, length - i);
		} else {
			/* Space, tab and newline; other controls are dropped. */
			if (c == ' ' || c == '\t' || c == '\n')
				PutByte(t, c);
			i++;
		}
	}
	for (int i = 0; i < CharsetCount; i++)
		if (state.converters[i] != NULL && state.converters[i] != (iconv_t)-1)
			iconv_close(state.converters[i]);
}

/* Room to decode a name into: what is kept, and the character after it. */
enum { DecodeRoom = 512 };

/* Cut as the script's own values are, between characters: a long title
 * then still equals its cut form in config.ini. */
int X11DecodeText(enum X11Encoding encoding, const char *bytes, int length, char *out, int size)
{
	const unsigned char *s = (const unsigned char *)bytes;
	char whole[DecodeRoom];
	TextOut t = {whole, size + 4 < DecodeRoom ? size + 4 : DecodeRoom, 0};
	size_t kept;

	if (size <= 0)
		return 0;
	/* A text property may hold several strings; the first is the name. */
	for (int i = 0; i < length; i++) {
		if (s[i] == '\0') {
			length = i;
			break;
		}
	}
	/* Many programs put UTF-8 in a STRING name; true Latin-1 rarely
	 * happens to be valid UTF-8. */
	if (encoding == X11TextLatin1 && IsUtf8(s, length))
		encoding = X11TextUtf8;
	if (encoding == X11TextCompound) {
		PutCompound(&t, s, length);
	} else {
		for (int i = 0; i < length; i++)
			encoding == X11TextUtf8 ? PutByte(&t, s[i]) : PutLatin1(&t, s[i]);
	}
	kept = FitText(whole, (size_t)t.length, (size_t)size);
	memcpy(out, whole, kept);
	out[kept] = '\0';
	return (int)kept;
}
