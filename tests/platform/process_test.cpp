/* Starting a program: the command line split as a Windows program splits
 * it, the program found as Windows and the shell would find it, and the
 * process started as one of its own. */
#include <errno.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <string>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/linux/system/cmdline.h"
#include "platform/winapi.h"

namespace
{

/* A row's argv is {"<does not fit>"} when the line, split, overflows text
 * (textSize bytes) or argv (argvSize entries, the NULL among them). */
std::vector<std::string> Split(const std::string &line, size_t textSize, int argvSize)
{
	char text[ArgumentTextSize];
	char *argv[MaxArguments + 1];
	int argc = SplitCommandLine(line.c_str(), text, textSize, argv, argvSize);

	if (argc < 0)
		return {"<does not fit>"};
	EXPECT_EQ(argv[argc], nullptr);
	return std::vector<std::string>(argv, argv + argc);
}

/* The most arguments a step's value (CommandLineSize - 2 bytes) holds. */
const std::string Most = [] {
	std::string most = "a";
	while (most.size() < CommandLineSize - 2)
		most += " a";
	return most;
}();

const struct {
	std::string line;
	std::vector<std::string> argv;
	size_t textSize = ArgumentTextSize;
	int argvSize = MaxArguments + 1;
} splits[] = {
    // clang-format off
    {"prog\t a\t b ", {"prog", "a", "b"}}, /* a tab ends the name too */
    /* The program name: to the closing quote, or to a blank; no escapes. */
    {R"("C:\Program Files\x.exe" a)", {R"(C:\Program Files\x.exe)", "a"}},
    {R"("a b"c d)", {"a b", "c", "d"}}, {R"("open name)", {"open name"}},
    {R"(a\"b c)", {R"(a\"b)", "c"}}, {R"(C:\dir\)", {R"(C:\dir\)"}},
    /* Arguments: quotes group, backslashes count only before a quote. */
    {R"(p "a b" c)", {"p", "a b", "c"}}, {R"(p a"b c"d)", {"p", "ab cd"}},
    {R"(p "" x)", {"p", "", "x"}}, {R"(p "open arg)", {"p", "open arg"}},
    {R"(p a\\b c\)", {"p", R"(a\\b)", R"(c\)"}}, {R"(p a\"b)", {"p", R"(a"b)"}},
    {R"(p a\\"b c")", {"p", R"(a\b c)"}}, {R"(p a\\\"b)", {"p", R"(a\"b)"}},
    {R"(p a\\\\"b c")", {"p", R"(a\\b c)"}}, {R"(p "a\" b")", {"p", R"(a" b)"}},
    {R"(p "a""b c")", {"p", R"(a"b)", "c"}}, /* "" in quotes: a quote, closing them */
    {"p %PATH% 100%", {"p", "%PATH%", "100%"}}, {"", {""}},
    /* What does not fit is refused. */
    {Most, std::vector<std::string>(127, "a")},
    {"p a b", {"p", "a", "b"}, ArgumentTextSize, 4},
    {"p a b", {"<does not fit>"}, ArgumentTextSize, 3},
    {"prog", {"prog"}, 5, 2}, {"prog", {"<does not fit>"}, 4, 2},
    {R"(p a\\\\)", {"<does not fit>"}, 6, 3},
    // clang-format on
};

TEST(SplitCommandLine, GivesTheArgumentsMsvcrtGives)
{
	for (const auto &row : splits)
		EXPECT_EQ(Split(row.line, row.textSize, row.argvSize), row.argv) << row.line;
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

	/* The first line of linger's file once it has ended (waiting at most
	 * ten seconds). */
	std::string Ended(const std::string &file)
	{
		std::string all;

		for (int tries = 0; tries < 1000 && all.find("ended\n") == all.npos; tries++) {
			usleep(10000);
			std::ifstream read(root + "/" + file);
			all.assign(std::istreambuf_iterator<char>(read), {});
		}
		return all.substr(0, all.find('\n'));
	}
};

const struct {
	const char *line;
	const char *program; /* "" when none is found */
} finds[] = {
    // clang-format off
    {"@/a/my app/run x", "@/a/my app/run"}, {"@/a/my app/run", "@/a/my app/run"},
    {"@/b/my app/run x", "@/b/my"}, /* the shortest prefix wins */
    {"\"@/b/my app/run\" x", "@/b/my app/run"}, {"\"@/b/my app/run", "@/b/my app/run"},
    {"@/c/tool x/y z", "@/c/tool x/y"}, /* not runnable: passed over */
    {"@/d/my app", "@/d/my app"},       /* a directory: passed over */
    {"@/a/my", ""}, {"", ""}, {"tool -v", "@/bin/tool"}, {"data", ""},
    {"rel/prog x", "rel/prog"}, {"./here", "./here"},
    {"here", ""}, /* the current directory is not searched */
    // clang-format on
};

/* And a path that does not fit is refused. */
TEST_F(InTree, FindsWhatWindowsAndTheShellWouldRun)
{
	char small[8];

	for (const auto &row : finds) {
		std::string line = Expand(row.line);
		char path[4096] = "";
		bool found = FindProgram(line.c_str(), path, sizeof path);

		EXPECT_EQ(found ? path : "", Expand(row.program)) << line;
	}
	EXPECT_FALSE(LocateProgram("tool", small, sizeof small));
	EXPECT_FALSE(LocateProgram("rel/prog", small, sizeof small));
}

/* The program is no child of ours, so it never lingers as our zombie. An
 * unquoted name with a blank is found by its shortest runnable prefix, and
 * the arguments are split from the whole line, as a Windows program sees
 * them: "my", then "linger" is the file linger writes. A row that starts
 * nothing ("" started) fails and leaves no child. */
TEST_F(InTree, StartsTheProgramAsItsOwn)
{
	const std::string tooLong(CommandLineSize, 'x');

	std::filesystem::create_symlink(LINGER_PATH, root + "/my linger");
	std::ofstream(root + "/orphan") << "#!/no/such/interpreter\n";
	chmod((root + "/orphan").c_str(), 0755);
	const struct {
		std::string line, file = "", started = "";
	} runs[] = {
	    {"\"" LINGER_PATH "\" out \"two words\" x", "out", "started two words x"},
	    {root + "/my linger x", "linger", "started x"},
	    // clang-format off
	    {"no-such-program-here x"}, {""}, {LINGER_PATH " " + tooLong},
	    {root + "/orphan x"}, /* found, but exec fails in the child */
	    // clang-format on
	};

	for (const auto &run : runs) {
		/* linger ends once it has reported */
		std::ofstream(root + "/" + run.file + ".stop");
		char command[1024];
		STARTUPINFOA startup = {};
		PROCESS_INFORMATION process;
		startup.cb = sizeof startup;
		snprintf(command, sizeof command, "%s", run.line.c_str());
		ASSERT_EQ(CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup,
		                         &process) != FALSE,
		          !run.started.empty())
		    << run.line;
		/* no child, running or ended */
		EXPECT_TRUE(waitpid(-1, NULL, WNOHANG) == -1 && errno == ECHILD);
		EXPECT_EQ(run.started.empty() ? "" : Ended(run.file), run.started);
	}
	EXPECT_FALSE(std::filesystem::exists(root + "/" + tooLong));
}

/* A handled signal cuts nanosleep short, SA_RESTART or not. */
TEST(Sleep, LastsTheWholeTimeThroughSignals)
{
	struct itimerval every20ms = {{0, 20000}, {0, 20000}}, off = {};
	sighandler_t saved = signal(SIGALRM, [](int) {});
	DWORD start = GetTickCount();

	setitimer(ITIMER_REAL, &every20ms, NULL);
	Sleep(200);
	setitimer(ITIMER_REAL, &off, NULL);
	signal(SIGALRM, saved);
	EXPECT_GE(GetTickCount() - start, 200u);
}

} // namespace
