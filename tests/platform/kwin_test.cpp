/* What KWin's script tells, and what goes into the scripts KWin runs: the
 * texts the KWin desktop reads from the bus and writes for KWin. */
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <stdlib.h>
#include <string>
#include <unistd.h>

#include "platform/linux/desktop/kwin/kwin.h"

namespace
{

/* Every window the cache holds, a line each in slot order: id, UUID,
 * minimized, pid, stacking place, class, title and what a command left it;
 * then the active window's UUID. */
std::string Windows()
{
	std::string text;
	char line[1024];

	for (int i = 0; i < kwinCache.count; i++) {
		const KWinWindow *w = (const KWinWindow *)CacheAt(&kwinCache, i);
		if (w->desk.id == 0)
			continue;
		snprintf(line, sizeof line, "%016llx %s m%d p%lu s%d [%s] [%s]%c\n",
		         (unsigned long long)(uintptr_t)w->desk.id, w->uuid, w->minimized,
		         (unsigned long)w->desk.pid, w->stack, w->desk.className, w->desk.title,
		         w->commanded != 0 ? w->commanded : ' ');
		text += line;
	}
	return text + "active " + kwinActive;
}

#define U1 "{0123abcd-0000-4000-8000-000000000001}"
#define U2 "{00000000-0000-4000-8000-000000000002}"
#define A1 "A\t" U1 "\t0\t42\t3\tcls\t"

/* A batch told after one that added U1 (minimized, pid 7, stacking place
 * 1, class c, title t), and what the cache then holds. */
const std::string Before = "0123abcd00004000 " U1 " m1 p7 s1 [c] [t] \n";

const struct {
	const char *name;
	std::string batch, want;
} lines[] = {
    {"a new window, its id past 32 bits, the last line unended", "A\t" U2 "\t1\t9\t2\tk\tn",
     Before + "8000000000004000 " U2 " m1 p9 s2 [k] [n] \nactive "},
    {"escapes as UTF-8, a pair as one character", A1 "\\u00e9\\u4e2d\\ud83d\\ude00\\u005c\n",
     "0123abcd00004000 " U1 " m0 p42 s3 [cls] [\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80\\] \nactive "},
    {"a lone surrogate reads as U+FFFD", A1 "\\udc00x\\ud800\n",
     "0123abcd00004000 " U1 " m0 p42 s3 [cls] [\xef\xbf\xbdx\xef\xbf\xbd] \nactive "},
    {"no escape: short, upper-case or not hex", A1 "\\u12\\u00C9\\uzzzz\n",
     "0123abcd00004000 " U1 " m0 p42 s3 [cls] [\\u12\\u00C9\\uzzzz] \nactive "},
    {"a state with a field missing", "A\t" U1 "\t0\t42\t3\tcls\n", Before + "active "},
    {"a kind of two letters", "RR\t" U1 "\n", Before + "active "},
    {"an id too long for a UUID", "A\t" U1 "00\t0\t1\t1\tc\tt\n", Before + "active "},
    {"a window gone", "R\t" U1 "\n", "active "},
    {"the active window", "F\t" U1 "\n", Before + "active " U1},
    {"what commands left", "C\t" U1 "\t1\nC\t" U2 "\t0\n",
     "0123abcd00004000 " U1 " m1 p7 s1 [c] [t]h\nactive "},
};

TEST(KWinApplyLines, KeepWhatTheScriptTold)
{
	for (const auto &c : lines) {
		CacheEmpty(&kwinCache);
		kwinActive[0] = '\0';
		KWinApplyLines("A\t" U1 "\t1\t7\t1\tc\tt\n");
		KWinApplyLines(c.batch.c_str());
		EXPECT_EQ(Windows(), c.want) << c.name;
	}
}

/* The bus name and script name, or the UUID, the writers are given, and
 * the first line they write; "" when they must write nothing. */
const struct {
	const char *name;
	bool shield;
	const char *caller, *other, *want;
} writers[] = {
    {"a script", false, ":1.42", "wincue-1.42", "var caller = \":1.42\", name = \"wincue-1.42\";"},
    {"a quote in the caller", false, ":1.4\", x = \"", "wincue-1.4", ""},
    {"a quote and code in the name", false, ":1.4", "a\"; unloadAll(); \"", ""},
    {"a shield", true, ":1.7", "{0f-A}", "import QtQuick 2.0"},
    {"a quote in the shield's caller", true, ":1.7\"", "{0f}", ""},
    {"code in the shield's UUID", true, ":1.7", "{0f}\" + x + \"", ""},
};

TEST(KWinWriters, WriteOnlyBusNamesAndUuids)
{
	char dir[] = "/tmp/wincue-kwin-test-XXXXXX", path[4096] = "";

	ASSERT_NE(mkdtemp(dir), nullptr);
	setenv("XDG_RUNTIME_DIR", dir, 1);
	for (const auto &c : writers) {
		SCOPED_TRACE(c.name);
		bool written = c.shield ? KWinWriteShield(c.caller, c.other, path, sizeof path)
		                        : KWinWriteScript(c.caller, c.other, path, sizeof path);
		std::stringstream text;
		if (written)
			text << std::ifstream(path).rdbuf();
		unlink(path);
		EXPECT_EQ(text.str().substr(0, text.str().find('\n')), c.want);
		EXPECT_TRUE(!c.shield || !written ||
		            text.str().find("readonly property string caller: \"" +
		                            std::string(c.caller) +
		                            "\"\n    readonly property string uuid: \"" + c.other +
		                            "\"\n") != std::string::npos);
	}
	rmdir(dir);
}

} // namespace
