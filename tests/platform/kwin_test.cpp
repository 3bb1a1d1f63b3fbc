/* What KWin's script tells, and what goes into the scripts KWin runs: the
 * texts the KWin desktop reads from the bus and writes for KWin. */
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string>
#include <unistd.h>

#include "platform/linux/desktop/kwin/kwin.h"

namespace
{

std::string Read(const char *path)
{
	std::string text;
	FILE *f = fopen(path, "r");
	char chunk[4096];
	size_t n;

	while (f != NULL && (n = fread(chunk, 1, sizeof chunk, f)) > 0)
		text.append(chunk, n);
	if (f != NULL)
		fclose(f);
	return text;
}

/* The bus name and script name, or the UUID, the writers are given, and
 * the first line they write; "" when they must write nothing. */
struct WriterCase {
	const char *name;
	bool shield;
	const char *caller;
	const char *other;
	const char *want;
};

const WriterCase writers[] = {
    {"a script", false, ":1.42", "wincue-1.42", "var caller = \":1.42\", name = \"wincue-1.42\";"},
    {"a quote in the caller", false, ":1.4\", x = \"", "wincue-1.4", ""},
    {"a quote and code in the name", false, ":1.4", "a\"; unloadAll(); \"", ""},
    {"a backslash in the name", false, ":1.4", "a\\", ""},
    {"a line in the name", false, ":1.4", "a\nb", ""},
    {"a shield", true, ":1.7", "{0f-A}", "import QtQuick 2.0"},
    {"a quote in the shield's caller", true, ":1.7\"", "{0f}", ""},
    {"code in the shield's UUID", true, ":1.7", "{0f}\" + x + \"", ""},
};

class Writers : public testing::TestWithParam<WriterCase>
{
};

TEST_P(Writers, WriteOnlyBusNamesAndUuids)
{
	const WriterCase &c = GetParam();
	char dir[] = "/tmp/wincue-kwin-test-XXXXXX", path[4096];

	ASSERT_NE(mkdtemp(dir), nullptr);
	setenv("XDG_RUNTIME_DIR", dir, 1);
	bool written = c.shield ? KWinWriteShield(c.caller, c.other, path, sizeof path)
	                        : KWinWriteScript(c.caller, c.other, path, sizeof path);
	std::string text = written ? Read(path) : "";
	if (written)
		unlink(path);
	rmdir(dir);
	EXPECT_EQ(text.substr(0, text.find('\n')), c.want);
	if (c.shield && written) {
		EXPECT_NE(text.find("readonly property string caller: \"" + std::string(c.caller) +
		                    "\"\n    readonly property string uuid: \"" + c.other + "\"\n"),
		          std::string::npos);
	}
}

INSTANTIATE_TEST_SUITE_P(KWin, Writers, testing::ValuesIn(writers),
                         [](const testing::TestParamInfo<WriterCase> &info) {
	                         std::string name = info.param.name;
	                         for (char &c : name)
		                         if (!isalnum((unsigned char)c))
			                         c = '_';
	                         return name;
                         });

} // namespace
