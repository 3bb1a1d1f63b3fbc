/* Starting a program: the command line split as a Windows program splits
 * it, the program found as Windows and the shell would find it, and the
 * process started as one of its own. */
#include <errno.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <string>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "platform/linux/system/cmdline.h"
#include "platform/winapi.h"

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

/* A directory of its own, the current one while a test runs, holding a
 * tree of programs (x) and other files with names that hold blanks; PATH
 * its bin folder. */
class InTree : public ::testing::Test
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
		char dir[] = "/tmp/wincue-start-XXXXXX";

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

	/* Waits (at most ten seconds) until linger's file holds text. */
	std::string Wait(const std::string &file, const char *text)
	{
		std::string all;

		for (int tries = 0; tries < 1000 && all.find(text) == std::string::npos; tries++) {
			usleep(10000);
			std::ifstream read(root + "/" + file);
			all.assign(std::istreambuf_iterator<char>(read), {});
		}
		return all;
	}

	/* The first line linger wrote to file; then lets it end. */
	std::string Started(const std::string &file)
	{
		std::string report = Wait(file, "reported\n");

		std::ofstream(root + "/" + file + ".stop");
		Wait(file, "ended\n");
		return report.substr(0, report.find('\n'));
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

TEST_F(InTree, FindsWhatWindowsAndTheShellWouldRun)
{
	for (const auto &row : finds) {
		std::string line = Expand(row.line);
		char path[4096] = "";
		bool found = FindProgram(line.c_str(), path, sizeof path);

		EXPECT_EQ(found ? path : "", Expand(row.program)) << line;
	}
}

TEST_F(InTree, RefusesAPathThatDoesNotFit)
{
	char path[8];

	EXPECT_FALSE(LocateProgram("tool", path, sizeof path));
	EXPECT_FALSE(LocateProgram("rel/prog", path, sizeof path));
}

BOOL Launch(const std::string &line)
{
	char command[1024];
	STARTUPINFOA startup = {};
	PROCESS_INFORMATION process;

	startup.cb = sizeof startup;
	snprintf(command, sizeof command, "%s", line.c_str());
	return CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process);
}

/* True when this process has no child, running or ended. */
bool HasNoChild()
{
	return waitpid(-1, NULL, WNOHANG) == -1 && errno == ECHILD;
}

/* The program is no child of ours, so it never lingers as our zombie. An
 * unquoted name with a blank is found by its shortest runnable prefix, and
 * the arguments are split from the whole line, as a Windows program sees
 * them: "my", then "linger" is the file linger writes. */
TEST_F(InTree, StartsTheProgramAsItsOwn)
{
	std::filesystem::create_symlink(LINGER_PATH, root + "/my linger");
	const struct {
		std::string line, file, started;
	} runs[] = {
	    {"\"" LINGER_PATH "\" out \"two words\" x", "out", "started two words x"},
	    {root + "/my linger x", "linger", "started x"},
	};

	for (const auto &run : runs) {
		ASSERT_TRUE(Launch(run.line)) << run.line;
		EXPECT_TRUE(HasNoChild());
		EXPECT_EQ(Started(run.file), run.started);
	}
}

TEST_F(InTree, FailsWhenTheProgramCannotStart)
{
	std::ofstream(root + "/plain") << "#!/bin/sh\n";
	std::ofstream(root + "/orphan") << "#!/no/such/interpreter\n";
	chmod((root + "/orphan").c_str(), 0755);
	const std::string lines[] = {
	    "no-such-program-here x",
	    "",
	    root,
	    root + "/plain",
	    root + "/orphan x", /* found, but exec fails in the child */
	    LINGER_PATH " " + std::string(CommandLineSize, 'x'),
	};

	for (const auto &line : lines)
		EXPECT_FALSE(Launch(line)) << line;
	EXPECT_TRUE(HasNoChild());
	EXPECT_FALSE(std::filesystem::exists(root + "/" + std::string(CommandLineSize, 'x')));
}

void Ignore(int)
{
}

TEST(Sleep, LastsTheWholeTimeThroughSignals)
{
	struct sigaction onAlarm = {}, saved;
	struct itimerval every20ms = {{0, 20000}, {0, 20000}}, off = {};
	struct timespec start, end;

	onAlarm.sa_handler = Ignore; /* no SA_RESTART: nanosleep is cut short */
	sigaction(SIGALRM, &onAlarm, &saved);
	setitimer(ITIMER_REAL, &every20ms, NULL);
	clock_gettime(CLOCK_MONOTONIC, &start);
	Sleep(200);
	clock_gettime(CLOCK_MONOTONIC, &end);
	setitimer(ITIMER_REAL, &off, NULL);
	sigaction(SIGALRM, &saved, NULL);
	EXPECT_GE((end.tv_sec - start.tv_sec) * 1000 + (end.tv_nsec - start.tv_nsec) / 1000000,
	          200);
}

} // namespace
