#include <errno.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <signal.h>
#include <string>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "platform/linux/system/cmdline.h"
#include "platform/winapi.h"

namespace
{

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

/* In a directory of its own, the current one while a test runs. */
class CreateProcessTest : public ::testing::Test
{
      protected:
	std::string dir, savedCwd;

	void SetUp() override
	{
		char name[] = "/tmp/wincue-start-XXXXXX";

		ASSERT_NE(mkdtemp(name), nullptr);
		dir = name;
		savedCwd = std::filesystem::current_path();
		std::filesystem::current_path(dir);
	}

	void TearDown() override
	{
		std::filesystem::current_path(savedCwd);
		std::filesystem::remove_all(dir);
	}

	/* Waits (at most ten seconds) until linger's file holds text. */
	std::string Wait(const std::string &file, const char *text)
	{
		std::string all;

		for (int tries = 0; tries < 1000 && all.find(text) == std::string::npos; tries++) {
			usleep(10000);
			std::ifstream read(dir + "/" + file);
			all.assign(std::istreambuf_iterator<char>(read), {});
		}
		return all;
	}

	/* The first line linger wrote to file; then lets it end. */
	std::string Started(const std::string &file)
	{
		std::string report = Wait(file, "reported\n");

		std::ofstream(dir + "/" + file + ".stop");
		Wait(file, "ended\n");
		return report.substr(0, report.find('\n'));
	}
};

/* The program is no child of ours, so it never lingers as our zombie. An
 * unquoted name with a blank is found by its shortest runnable prefix, and
 * the arguments are split from the whole line, as a Windows program sees
 * them: "my", then "linger" is the file linger writes. */
TEST_F(CreateProcessTest, StartsTheProgramAsItsOwn)
{
	std::filesystem::create_symlink(LINGER_PATH, dir + "/my linger");
	const struct {
		std::string line, file, started;
	} runs[] = {
	    {"\"" LINGER_PATH "\" out \"two words\" x", "out", "started two words x"},
	    {dir + "/my linger x", "linger", "started x"},
	};

	for (const auto &run : runs) {
		ASSERT_TRUE(Launch(run.line)) << run.line;
		EXPECT_TRUE(HasNoChild());
		EXPECT_EQ(Started(run.file), run.started);
	}
}

TEST_F(CreateProcessTest, FailsWhenTheProgramCannotStart)
{
	std::ofstream(dir + "/plain") << "#!/bin/sh\n";
	std::ofstream(dir + "/orphan") << "#!/no/such/interpreter\n";
	chmod((dir + "/orphan").c_str(), 0755);
	const std::string lines[] = {
	    "no-such-program-here x",
	    "",
	    dir,
	    dir + "/plain",
	    dir + "/orphan x", /* found, but exec fails in the child */
	    LINGER_PATH " " + std::string(CommandLineSize, 'x'),
	};

	for (const auto &line : lines)
		EXPECT_FALSE(Launch(line)) << line;
	EXPECT_TRUE(HasNoChild());
	EXPECT_FALSE(std::filesystem::exists(dir + "/" + std::string(CommandLineSize, 'x')));
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
