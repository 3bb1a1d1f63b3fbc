/* The pass's timing over a desktop that never carries anything out: how
 * long a pass may wait for it, and when a waiting program looks afresh. */
#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "platform/linux/desktop/desktop.h"

namespace
{

WindowCache windows = {sizeof(DeskWindow), NULL, 0, 0, 0, NULL, 0, 0};
int news[2];         /* a pipe: a byte written is news from the desktop */
uint64_t version;    /* bumped by each byte drained */
int updates;         /* fresh looks */
uint64_t finishedIn; /* how long the last finish waited, in ms */
uint64_t memo;

void Drain()
{
	char byte;

	while (read(news[0], &byte, 1) == 1)
		version++;
}

/* Waits for what it asked as long as the pass allows, capped so that a
 * fault cannot hang the test. */
bool Finish(bool)
{
	uint64_t start = NowMs(), end = std::min(PassDeadline(), start + 3000);

	while (NowMs() < end)
		WaitReadable(-1, end);
	finishedIn = NowMs() - start;
	return true;
}

Desktop silent = {
    .name = "silent",
    .windows = &windows,
    .open = [] { return true; },
    .update = [] { return ++updates > 0; },
    .drain = Drain,
    .fd = [] { return news[0]; },
    .version = [] { return version; },
    .list = [](HWND *room, int size) { return CacheList(&windows, room, size); },
    .isVisible = [](HWND) { return DeskVisible; },
    .isEnabled = [](HWND) { return DeskInputTaken; },
    .show = [](HWND, int) { return TRUE; },
    .finish = Finish,
};

/* Visits every window, doing nothing. */
auto Visit = [](HWND, LPARAM) { return TRUE; };

class PassTest : public ::testing::Test
{
      protected:
	void SetUp() override
	{
		ASSERT_EQ(pipe(news), 0);
		fcntl(news[0], F_SETFL, O_NONBLOCK);
		CacheAdd(&windows, 1);
		UseDesktop(&silent);
	}
	void TearDown() override
	{
		close(news[0]);
		close(news[1]);
	}
};

/* A pass waits for its desktop at most answerMs from its first wait, and
 * never past the step's timer, though a step gets PassLookMs whatever its
 * timer says. */
TEST_F(PassTest, NeverWaitsPastItsBounds)
{
	const struct {
		const char *name;
		long timerMs; /* -1: no timer */
		unsigned answerMs;
		uint64_t least, most;
	} cases[] = {
	    {"without a timer, the desktop's bound", -1, 300, 250, 1000},
	    {"the step's timer before it", 900, 5000, 850, 1500},
	    {"a timer already due leaves a look", 0, 5000, PassLookMs - 50, 1000},
	};

	for (const auto &c : cases) {
		HANDLE timer = c.timerMs >= 0 ? CreateWaitableTimerA(NULL, TRUE, NULL) : NULL;
		LARGE_INTEGER due = {-10000LL * c.timerMs};
		EXPECT_TRUE(timer == NULL || SetWaitableTimer(timer, &due, 0, NULL, NULL, FALSE));
		silent.answerMs = c.answerMs;
		EnumWindows(Visit, 0);
		EXPECT_GE(finishedIn, c.least) << c.name;
		EXPECT_LE(finishedIn, c.most) << c.name;
		CloseHandle(timer);
	}
}

/* A program that asks the same again and again takes what the desktop
 * sent instead of looking afresh, and looks again at its first news. */
TEST_F(PassTest, WaitingPassesLookAgainOnNews)
{
	silent.answerMs = 0;
	for (int i = 0; i <= WaitingRepeats; i++) {
		EnumWindows(Visit, 7);
		if (i < WaitingRepeats)
			Sleep(0);
	}
	int before = updates;
	signal(SIGALRM, [](int) {});
	ualarm(50000, 0);
	Sleep(0); /* waits for news; the signal cuts it short */
	EnumWindows(Visit, 7);
	EXPECT_EQ(updates, before) << "a waiting pass with no news looked afresh";
	ASSERT_EQ(write(news[1], "n", 1), 1);
	Sleep(0); /* the news ends the pause at once */
	EnumWindows(Visit, 7);
	EXPECT_EQ(updates, before + 1) << "the news went unseen";
}

auto AskTwice = [](HWND, LPARAM asked) {
	*(int *)asked += AskOncePerPass(&memo);
	*(int *)asked += AskOncePerPass(&memo);
	return TRUE;
};

/* Once a pass, every time outside one. */
TEST_F(PassTest, AsksOncePerPass)
{
	int asked = 0;

	silent.answerMs = 0;
	EnumWindows(AskTwice, (LPARAM)&asked);
	EXPECT_EQ(asked, 1);
	EXPECT_TRUE(AskOncePerPass(&memo));
	EXPECT_TRUE(AskOncePerPass(&memo));
	asked = 0;
	EnumWindows(AskTwice, (LPARAM)&asked);
	EXPECT_EQ(asked, 1);
}

} // namespace
