#include "x11_text.h"

/* Output cut at a byte count, as the script's own values are: a long title
 * then still equals its cut form in config.ini. */
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

/* Bytes of a character starting with lead, or 0 when lead cannot start one. */
static int Utf8SequenceLength(unsigned char lead)
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

static bool IsUtf8(const unsigned char *s, int length)
{
	for (int i = 0; i < length;) {
		int n = Utf8SequenceLength(s[i]);
		if (n == 0 || i + n > length)
			return false;
		for (int k = 1; k < n; k++)
			if ((s[i + k] & 0xC0) != 0x80)
				return false;
		i += n;
	}
	return true;
}

/* Skips one escape sequence at s[0] (ESC): returns its length and what it
 * switches to. Compound text starts in ASCII and Latin-1; UTF-8 comes in
 * "ESC % G" ... "ESC % @"; any other character set is shown as '?'. */
struct CompoundState {
	bool utf8;
	bool glAscii;
	bool grLatin1;
};

static int ApplyEscape(const unsigned char *s, int length, CompoundState *state)
{
	int i = 1;
	bool gr = false;

	while (i < length && s[i] >= 0x20 && s[i] <= 0x2F) {
		if (s[i] == ')' || s[i] == '-')
			gr = true;
		i++;
	}
	if (i >= length)
		return length;
	unsigned char last = s[i];
	if (i == 2 && s[1] == '%') {
		state->utf8 = last == 'G';
	} else if (gr) {
		state->grLatin1 = i == 2 && s[1] == '-' && last == 'A';
	} else {
		state->glAscii = i == 2 && s[1] == '(' && last == 'B';
	}
	return i + 1;
}

static void PutCompound(TextOut *t, const unsigned char *s, int length)
{
	CompoundState state = {false, true, true};

	for (int i = 0; i < length;) {
		unsigned char c = s[i];
		if (c == 0x1B) {
			i += ApplyEscape(s + i, length - i, &state);
			continue;
		}
		if (state.utf8)
			PutByte(t, c);
		else if (c == '\t' || c == '\n')
			PutByte(t, c);
		else if (c >= 0x20 && c < 0x7F)
			PutByte(t, state.glAscii ? c : '?');
		else if (c >= 0xA0)
			state.grLatin1 ? PutLatin1(t, c) : PutByte(t, '?');
		i++;
	}
}

int X11DecodeText(enum X11Encoding encoding, const char *bytes, int length, char *out, int size)
{
	const unsigned char *s = (const unsigned char *)bytes;
	TextOut t = {out, size, 0};

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
	out[t.length] = '\0';
	return t.length;
}
