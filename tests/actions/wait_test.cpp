/* How a waiting step pauses where the system tells of window changes:
 * until news, else a pause that doubles up to 750 ms. */
#include <gtest/gtest.h>

#include "actions/actions.h"
#include "script/steps.h"
#include "test_desktop.h"

namespace
{

struct WaitCase {
	const char *name;
	int appearsAfter; /* passes that miss the one window */
	const char *timeout;
	const char *log;
	TestEvent events[2] = {};
};

const WaitCase waitCases[] = {
    {"no news: the pause doubles up to 750 ms", 11, "5000",
     "timer(5000) pass wait(1) pass wait(2) pass wait(4) pass wait(8) pass wait(16) pass "
     "wait(32) pass wait(64) pass wait(128) pass wait(256) pass wait(512) pass wait(750) pass "
     "close"},
    {"news ends the pause, which starts again at 1 ms",
     6,
     "5000",
     "timer(5000) pass wait(1) pass wait(2) pass wait(4) pass wait(8) event(3,1) wait(0) pass "
     "wait(1) pass wait(2) pass close",
     {{10, EVENT_SYSTEM_FOREGROUND, 1}}},
    {"a child window, another object: the pause keeps its end",
     3,
     "5000",
     "timer(5000) pass wait(1) pass wait(2) event(800c,100) wait(1) event(8002,1) wait(0) pass "
     "wait(4) pass close",
     {{2, EVENT_OBJECT_NAMECHANGE, 100}, {3, EVENT_OBJECT_SHOW, 1, OBJID_CURSOR}}},
    {"a window gone is news; no Timeout",
     2,
     "",
     "pass sleep(1) pass sleep(2) event(8001,7) sleep(0) pass",
     {{2, EVENT_OBJECT_DESTROY, 7}}},
};

TEST(WaitForWindow, SleepsUntilWindowEvents)
{
	for (const WaitCase &c : waitCases) {
		SCOPED_TRACE(c.name);
		const TestWindow window = {"W", "A", true, true, c.appearsAfter, Stays};
		TestDesktopReset(&window, 1);
		TestDesktopEvents(c.events, c.events[1].code != 0 ? 2 : c.events[0].code != 0);
		ResetScript();
		snprintf(StepTable[0].Text, ValueSize, "W");
		snprintf(StepTable[0].Timeout, ValueSize, "%s", c.timeout);
		stepCount = 1;
		currentStep = 0;
		WaitForWindow();
		EXPECT_STREQ(testDesktopLog, c.log);
		EXPECT_EQ(windowFound, 1);
		EXPECT_EQ(testDesktopHooks, 0); /* none left when the step ends */
	}
}

} // namespace
