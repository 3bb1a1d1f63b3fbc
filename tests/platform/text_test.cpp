/* The one rule by which script values and window names are cut. */
#include <gtest/gtest.h>
#include <string>

#include "platform/linux/system/system.h"

namespace
{

const std::string Sun = "\xe6\x97\xa5";      /* three bytes */
const std::string Face = "\xf0\x9f\x98\x80"; /* four bytes */
const std::string Eacute = "\xc3\xa9";       /* two bytes */

const struct {
	const char *name;
	std::string text;
	size_t size;
	size_t kept;
} cases[] = {
    {"fits", "abc", 4, 3},
    {"ASCII cut at size - 1", "abcdef", 4, 3},
    {"a two-byte character the cut falls in goes", "ab" + Eacute, 4, 2},
    {"a three-byte one, cut after its first byte", "a" + Sun, 3, 1},
    {"a three-byte one, cut after its second byte", "ab" + Sun, 5, 2},
    {"a four-byte one, cut after its third byte", "a" + Face, 5, 1},
    {"a whole character just fits", "a" + Sun + "b", 5, 4},
    {"a hundred three-byte characters in 255 bytes: 84",
     [] {
	     std::string s;
	     for (int i = 0; i < 100; i++)
		     s += Sun;
	     return s;
     }(),
     255, 252},
    {"not UTF-8: continuation bytes without a lead are cut where they stand", "a\x80\x80\x80\x80",
     4, 3},
    {"not UTF-8: a lead too short for what follows is cut at size - 1", "\xc3\x80\x80\x80", 4, 3},
    {"a size of one keeps nothing", "abc", 1, 0},
};

TEST(FitText, Table)
{
	for (const auto &c : cases)
		EXPECT_EQ(c.kept, FitText(c.text.data(), c.text.size(), c.size)) << c.name;
}

} // namespace
