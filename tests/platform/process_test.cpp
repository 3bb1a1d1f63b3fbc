#include <errno.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "platform/linux/cmdline.h"
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

/* Surroundings a started program must not inherit beyond its environment
 * and directory: an open descriptor, an ignored and a blocked signal. */
class CreateProcessTest : public ::testing::Test
{
      protected:
	std::string dir, out, savedCwd;
	int marker = -1;
	sigset_t savedMask;

	void SetUp() override
	{
		char name[] = "/tmp/wincue-start-XXXXXX";
		sigset_t usr2;

		ASSERT_NE(mkdtemp(name), nullptr);
		dir = name;
		out = dir + "/facts";
		savedCwd = std::filesystem::current_path();
		std::filesystem::current_path(dir);
		setenv("WINCUE_PROBE_OUT", out.c_str(), 1);
		setenv("WINCUE_PROBE_PID", std::to_string(getpid()).c_str(), 1);
		setenv("WINCUE_PROBE_SID", std::to_string(getsid(0)).c_str(), 1);
		marker = fcntl(open("/dev/null", O_RDONLY), F_DUPFD, 10);
		signal(SIGUSR1, SIG_IGN);
		sigemptyset(&usr2);
		sigaddset(&usr2, SIGUSR2);
		sigprocmask(SIG_BLOCK, &usr2, &savedMask);
	}

	void TearDown() override
	{
		sigprocmask(SIG_SETMASK, &savedMask, NULL);
		signal(SIGUSR1, SIG_DFL);
		close(marker);
		std::filesystem::current_path(savedCwd);
		std::filesystem::remove_all(dir);
	}

	/* The probe's report, once it is there (at most ten seconds). */
	std::string Facts()
	{
		for (int tries = 0; tries < 1000 && !std::filesystem::exists(out); tries++)
			usleep(10000);
		std::ifstream in(out);
		std::stringstream text;

		text << in.rdbuf();
		return text.str();
	}

	std::string StandardStreams()
	{
		std::string fds = "fds";

		for (int fd = 0; fd < 3; fd++)
			if (fcntl(fd, F_GETFD) != -1)
				fds += " " + std::to_string(fd);
		return fds;
	}
};

TEST_F(CreateProcessTest, StartsDetachedWithOnlyTheEnvironmentDirectoryAndStreams)
{
	std::filesystem::create_symlink(PROBE_PATH, dir + "/my probe");
	const struct {
		std::string line, args;
	} runs[] = {
	    {"\"" PROBE_PATH "\" \"two words\" x", "arg " PROBE_PATH "\narg two words\narg x\n"},
	    /* found by its unquoted name; its arguments are read as msvcrt reads them */
	    {dir + "/my probe a", "arg " + dir + "/my\narg probe\narg a\n"},
	};

	for (const auto &run : runs) {
		std::filesystem::remove(out);
		ASSERT_TRUE(Launch(run.line)) << run.line;
		EXPECT_TRUE(HasNoChild());
		EXPECT_EQ(Facts(), "own parent yes\nown session yes\ncwd " + dir + "\n" +
		                       StandardStreams() + "\nblocked 0\nignored 0\n" + run.args);
	}
	EXPECT_TRUE(HasNoChild());
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
	    PROBE_PATH " " + std::string(CommandLineSize, 'x'),
	};

	for (const auto &line : lines)
		EXPECT_FALSE(Launch(line)) << line;
	EXPECT_TRUE(HasNoChild());
	EXPECT_FALSE(std::filesystem::exists(out));
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
