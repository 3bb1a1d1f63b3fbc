/* The one rule by which script values and window names are cut, X11's
 * texts read into it, and how Case=0 folds them. */
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "actions/casefold.h"
#include "platform/linux/desktop/x11/x11_text.h"
#include "platform/utf8.h"

namespace
{

const std::string Sun = "\xe6\x97\xa5"; /* three bytes */

const struct {
	const char *name;
	std::string text;
	size_t size;
	size_t kept;
} fits[] = {
    {"a two-byte character the cut falls in goes", "ab\xc3\xa9", 4, 2},
    {"a three-byte one, cut after its second byte", "ab" + Sun, 5, 2},
    {"a four-byte one, cut after its third byte", "a\xf0\x9f\x98\x80", 5, 1},
    {"a whole character just fits", "a" + Sun + "b", 5, 4},
    {"not UTF-8: continuation bytes without a lead are cut where they stand", "a\x80\x80\x80\x80",
     4, 3},
    {"not UTF-8: a lead too short for what follows is cut at size - 1", "\xc3\x80\x80\x80", 4, 3},
    {"a size of one keeps nothing", "abc", 1, 0},
};

TEST(FitText, Table)
{
	for (const auto &c : fits)
		EXPECT_EQ(c.kept, FitText(c.text.data(), c.text.size(), c.size)) << c.name;
}

const struct {
	const char *name;
	X11Encoding encoding;
	std::string bytes;
	int size;
	std::string want;
} cases[] = {
    {"UTF-8 in a STRING is kept", X11TextLatin1, "caf\xc3\xa9", 255, "caf\xc3\xa9"},
    {"the first of several strings", X11TextLatin1, std::string("ab\0cd", 5), 255, "ab"},
    {"cut to the buffer", X11TextLatin1, "abcdef", 5, "abcd"},
    {"a one-byte buffer holds the terminator", X11TextUtf8, "abc", 1, ""},
    {"cut between characters, not inside one", X11TextLatin1, std::string(253, 'a') + "\xe9", 255,
     std::string(253, 'a')},
    {"a three-byte character cut before it", X11TextUtf8,
     std::string(100, 'x') + "\xe6\x97\xa5\xe6\x97\xa5", 105,
     std::string(100, 'x') + "\xe6\x97\xa5"},
    {"compound: ASCII and Latin-1", X11TextCompound, "caf\xe9", 255, "caf\xc3\xa9"},
    {"compound: a UTF-8 segment", X11TextCompound, "a\x1b%G\xce\xa9\x1b%@b", 255, "a\u03a9b"},
    {"compound: ISO 8859-15 and 8859-7 right halves", X11TextCompound,
     "wc-\x1b-b\xa4uro \x1b-F\xd9", 255, "wc-\xe2\x82\xacuro \xce\xa9"},
    {"compound: JIS X 0208 in GL, then ASCII", X11TextCompound, "\x1b$(BF|K\\8l\x1b(B x", 255,
     "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e x"},
    {"compound: the short designation ESC $ @", X11TextCompound, "\x1b$@0!", 255, "\xe4\xba\x9c"},
    {"compound: JIS X 0201 katakana in GR", X11TextCompound, "\x1b)I\xca\xdd", 255,
     "\xef\xbe\x8a\xef\xbe\x9d"},
    {"compound: JIS X 0201 Roman in GL", X11TextCompound, "\x1b(J\\~", 255, "\xc2\xa5\xe2\x80\xbe"},
    {"compound: GB 2312 in GR", X11TextCompound, "\x1b$)A\xd6\xd0", 255, "\xe4\xb8\xad"},
    {"compound: KS C 5601 in GL", X11TextCompound, "\x1b$(CGQ", 255, "\xed\x95\x9c"},
    {"compound: an unknown set shows as ?", X11TextCompound, "\x1b$(Q\x30\x21\x1b(Bx", 255, "?x"},
    {"compound: a two-byte character cut short", X11TextCompound, "\x1b$(BF\x1b(Bx", 255, "?x"},
    {"compound: an extended segment shows as one ?", X11TextCompound,
     "a\x1b%/1\x80\211big5-0\x02\xa4\100b", 255, "a?b"},
    {"compound: direction marks are dropped", X11TextCompound, "a\x9b\x31]b\x9b]c", 255, "abc"},
    {"compound: a cut-off escape ends the text", X11TextCompound, "ab\x1b$", 255, "ab"},
};

TEST(X11DecodeText, Table)
{
	for (const auto &c : cases) {
		char out[256];
		memset(out, 'x', sizeof out);
		int length =
		    X11DecodeText(c.encoding, c.bytes.data(), (int)c.bytes.size(), out, c.size);
		EXPECT_EQ(c.want, std::string(out)) << c.name;
		EXPECT_EQ((int)c.want.size(), length) << c.name;
	}
}

/* Simple case folding only, a character at a time; each byte of what is
 * not UTF-8 stands for itself, and nothing past the length is read (a
 * continuation byte waits there). */
const struct {
	const char *name;
	std::string text;
	std::vector<unsigned> folded;
} folds[] = {
    {"sigma in its three forms, Cyrillic",
     "\u03a3\u03c3\u03c2\u0401\u0436",
     {0x3c3, 0x3c3, 0x3c3, 0x451, 0x436}},
    {"Kelvin sign; Turkish I's only as their simple foldings",
     "\u212a\u0130\u0131I",
     {'k', 0x130, 0x131, 'i'}},
    {"unmapped: in a range's gap, past its end, far from any",
     "\u0101[\u65e5\U0001f600",
     {0x101, '[', 0x65e5, 0x1f600}},
    {"not UTF-8: lone lead, overlong, surrogate, past U+10FFFF, no lead, cut short",
     "\xc3"
     "A\xc3\xc3\xa9\xc1\x81\xed\xa0\x80\xf4\x90\x80\x80\xfc\x80\x80\x80\xe6\x97",
     {NotUtf8 + 0xc3, 'a', NotUtf8 + 0xc3, 0xe9, NotUtf8 + 0xc1, NotUtf8 + 0x81, NotUtf8 + 0xed,
      NotUtf8 + 0xa0, NotUtf8 + 0x80, NotUtf8 + 0xf4, NotUtf8 + 0x90, NotUtf8 + 0x80,
      NotUtf8 + 0x80, NotUtf8 + 0xfc, NotUtf8 + 0x80, NotUtf8 + 0x80, NotUtf8 + 0x80,
      NotUtf8 + 0xe6, NotUtf8 + 0x97}},
};

TEST(FoldText, Table)
{
	for (const auto &c : folds) {
		std::vector<unsigned> folded(c.text.size());
		std::string bait = c.text + "\x80";
		folded.resize(FoldText(bait.data(), c.text.size(), folded.data()));
		EXPECT_EQ(c.folded, folded) << c.name;
	}
}

} // namespace
