#include <filesystem>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/linux/system/cmdline.h"

namespace
{

std::vector<std::string> Split(const char *line, size_t textSize, int argvSize)
{
	char text[ArgumentTextSize];
	char *argv[MaxArguments + 1];
	int argc = SplitCommandLine(line, text, textSize, argv, argvSize);
	std::vector<std::string> out;

	if (argc < 0)
		return {"<does not fit>"};
	for (int i = 0; i < argc; i++)
		out.push_back(argv[i]);
	EXPECT_EQ(argv[argc], nullptr);
	return out;
}

const struct {
	const char *line;
	std::vector<std::string> argv;
} splits[] = {
    {"prog", {"prog"}},
    {"", {""}},
    {"prog\t a\t b ", {"prog", "a", "b"}}, /* a tab ends the name too */
    /* The program name: to the closing quote, or to a blank; no escapes. */
    {R"("C:\Program Files\x.exe" a)", {R"(C:\Program Files\x.exe)", "a"}},
    {R"("a b"c d)", {"a b", "c", "d"}},
    {R"("open name)", {"open name"}},
    {R"(a\"b c)", {R"(a\"b)", "c"}},
    {R"(C:\dir\)", {R"(C:\dir\)"}},
    /* Arguments: quotes group, backslashes count only before a quote. */
    {R"(p "a b" c)", {"p", "a b", "c"}},
    {R"(p a"b c"d)", {"p", "ab cd"}},
    {R"(p "" x)", {"p", "", "x"}},
    {R"(p "open arg)", {"p", "open arg"}},
    {R"(p a\\b c\)", {"p", R"(a\\b)", R"(c\)"}},
    {R"(p a\"b)", {"p", R"(a"b)"}},
    {R"(p a\\"b c")", {"p", R"(a\b c)"}},
    {R"(p a\\\"b)", {"p", R"(a\"b)"}},
    {R"(p a\\\\"b c")", {"p", R"(a\\b c)"}},
    {R"(p "a\" b")", {"p", R"(a" b)"}},
    /* "" inside quotes is a quote and closes the quoting. */
    {R"(p "a""b")", {"p", R"(a"b)"}},
    {R"(p "a""b c")", {"p", R"(a"b)", "c"}},
    {"p %PATH% 100%", {"p", "%PATH%", "100%"}},
};

TEST(SplitCommandLine, GivesTheArgumentsMsvcrtGives)
{
	for (const auto &row : splits)
		EXPECT_EQ(Split(row.line, ArgumentTextSize, MaxArguments + 1), row.argv)
		    << row.line;
}

TEST(SplitCommandLine, RefusesWhatDoesNotFit)
{
	std::string most; /* the most arguments a step's value can hold */

	for (int i = 0; i < 127; i++)
		most += i ? " a" : "a";
	ASSERT_EQ(most.size(), (size_t)CommandLineSize - 2);
	EXPECT_EQ(Split(most.c_str(), ArgumentTextSize, MaxArguments + 1).size(), 127u);
	EXPECT_EQ(Split("p a b", ArgumentTextSize, 4).size(), 3u);
	EXPECT_EQ(Split("p a b", ArgumentTextSize, 3)[0], "<does not fit>");
	EXPECT_EQ(Split("prog", 5, 2)[0], "prog");
	EXPECT_EQ(Split("prog", 4, 2)[0], "<does not fit>");
	EXPECT_EQ(Split(R"(p a\\\\)", 6, 3)[0], "<does not fit>");
}

/* A tree of programs (x) and other files, with names that hold blanks. */
class FindProgramTest : public ::testing::Test
{
      protected:
	std::string root, savedPath, savedCwd;

	void Make(const std::string &name, bool runnable)
	{
		std::filesystem::path file = root + "/" + name;

		std::filesystem::create_directories(file.parent_path());
		fclose(fopen(file.c_str(), "w"));
		chmod(file.c_str(), runnable ? 0755 : 0644);
	}

	void SetUp() override
	{
		char dir[] = "/tmp/wincue-find-XXXXXX";

		ASSERT_NE(mkdtemp(dir), nullptr);
		root = dir;
		for (const char *name : {"a/my app/run", "b/my", "b/my app/run", "c/tool x/y",
		                         "d/my app", "bin/tool", "rel/prog", "here"})
			Make(name, true);
		Make("c/tool", false);
		Make("bin/data", false);
		std::filesystem::create_directories(root + "/d/my");
		savedPath = getenv("PATH") ? getenv("PATH") : "";
		savedCwd = std::filesystem::current_path();
		setenv("PATH", (root + "/bin").c_str(), 1);
		std::filesystem::current_path(root);
	}

	void TearDown() override
	{
		setenv("PATH", savedPath.c_str(), 1);
		std::filesystem::current_path(savedCwd);
		std::filesystem::remove_all(root);
	}

	/* "@" in a row stands for the tree's root. */
	std::string Expand(std::string s)
	{
		size_t at = s.find('@');

		return at == std::string::npos ? s : s.replace(at, 1, root);
	}
};

const struct {
	const char *line;
	const char *program; /* "" when none is found */
} finds[] = {
    {"@/a/my app/run x", "@/a/my app/run"},
    {"@/a/my app/run", "@/a/my app/run"},
    {"@/b/my app/run x", "@/b/my"}, /* the shortest prefix wins */
    {"\"@/b/my app/run\" x", "@/b/my app/run"},
    {"\"@/b/my app/run", "@/b/my app/run"},
    {"@/c/tool x/y z", "@/c/tool x/y"}, /* not runnable: passed over */
    {"@/d/my app", "@/d/my app"},       /* a directory: passed over */
    {"@/a/my", ""},
    {"@/nothing at all", ""},
    {"tool -v", "@/bin/tool"},
    {"data", ""},
    {"rel/prog x", "rel/prog"},
    {"./here", "./here"},
    {"here", ""}, /* the current directory is not searched */
    {"", ""},
};

TEST_F(FindProgramTest, FindsWhatWindowsAndTheShellWouldRun)
{
	for (const auto &row : finds) {
		std::string line = Expand(row.line);
		char path[4096] = "";
		bool found = FindProgram(line.c_str(), path, sizeof path);

		EXPECT_EQ(found ? path : "", Expand(row.program)) << line;
	}
}

TEST_F(FindProgramTest, RefusesAPathThatDoesNotFit)
{
	char path[8];

	EXPECT_FALSE(LocateProgram("tool", path, sizeof path));
	EXPECT_FALSE(LocateProgram("rel/prog", path, sizeof path));
}

} // namespace
