/* The window steps over the in-memory desktop: which windows a step
 * picks, what it calls for each, and how a Find step polls. */
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "actions/actions.h"
#include "actions/verbs.h"
#include "runner/execute.h"
#include "script/steps.h"
#include "test_desktop.h"

namespace
{

/* The step goes to record 1, behind a decoy in record 0: executors must
 * take theirs at currentStep. */
void SetStep(const char *text, const char *className, const char *enable = "",
             const char *display = "", const char *timeout = "", const char *action = "")
{
	ResetScript();
	snprintf(StepTable[0].Text, ValueSize, "Main");
	snprintf(StepTable[0].Enable, ValueSize, "1");
	snprintf(StepTable[0].Display, ValueSize, "1");
	snprintf(StepTable[1].Text, ValueSize, "%s", text);
	snprintf(StepTable[1].ClassName, ValueSize, "%s", className);
	snprintf(StepTable[1].Enable, ValueSize, "%s", enable);
	snprintf(StepTable[1].Display, ValueSize, "%s", display);
	snprintf(StepTable[1].Timeout, ValueSize, "%s", timeout);
	snprintf(StepTable[1].Action, ValueSize, "%s", action);
	stepCount = 2;
	currentStep = 1;
}

const std::string Title300(300, 't');
const std::string Title254(254, 't');

/* A step's text, class, Match, Case and Process against a window's title
 * and program (NULL: not known), its class Edit, in a script requiring
 * version require ("": none). */
const struct {
	const char *name;
	const char *text, *className, *match, *matchCase, *process;
	const char *title, *program;
	bool matches;
	const char *require = "";
} matchCases[] = {
    {"title in other case", "notepad", "", "", "", "", "Notepad", NULL, false},
    {"title prefix", "Note", "", "", "", "", "Notepad", NULL, false},
    {"class in other case", "", "edit", "", "", "", "Notepad", NULL, false},
    {"class prefix", "", "Ed", "", "", "", "Notepad", NULL, false},
    {"both empty match an untitled window", "", "", "", "", "", "", NULL, true},
    {"long title cut to 254", Title254.c_str(), "", "", "", "", Title300.c_str(), NULL, true},
    {"prefix", "Note", "", "prefix", "", "", "Notepad", NULL, true},
    {"prefix not found at the end", "pad", "", "prefix", "", "", "Notepad", NULL, false},
    {"suffix", "pad", "", "suffix", "", "", "Notepad", NULL, true},
    {"suffix not found at the start", "Note", "", "suffix", "", "", "Notepad", NULL, false},
    {"part inside", "otep", "", "part", "", "", "Notepad", NULL, true},
    {"part at the very end", "pad", "", "part", "", "", "Notepad", NULL, true},
    {"part longer than the title", "Notepads", "", "part", "", "", "Notepad", NULL, false},
    {"exact in either case", "NOTEPAD", "", "", "0", "", "Notepad", NULL, true},
    {"exact, Case=1", "notepad", "", "exact", "1", "", "Notepad", NULL, false},
    {"either case folds ASCII letters only", "a[b", "", "", "0", "", "A{B", NULL, false},
    {"from 1.4 every letter", "\u03c3\u03bf\u03c6\u03b9\u03b1", "", "suffix", "0", "",
     "\u0397 \u03a3\u039f\u03a6\u0399\u0391", NULL, true, "1.4"},
    {"before 1.4 ASCII only", "\u03c3\u03bf\u03c6\u03b9\u03b1", "", "suffix", "0", "",
     "\u0397 \u03a3\u039f\u03a6\u0399\u0391", NULL, false, "1.3"},
    {"the file name", "Main", "", "", "", "xterm", "Main", "/usr/bin/xterm", true},
    {"nor the path", "Main", "", "", "", "/usr/bin/xterm", "Main", "/usr/bin/xterm", false},
    {"in exact case on Linux", "Main", "", "", "", "XTerm", "Main", "/usr/bin/xterm", false},
    {"an unknown program never matches", "Main", "", "", "", "xterm", "Main", NULL, false},
};

/* Both names are read once, whatever the outcome. */
TEST(MatchesStep, RuleTable)
{
	for (const auto &c : matchCases) {
		SCOPED_TRACE(c.name);
		TestWindow w = {c.title, "Edit", true, true, 0, Stays, c.program};
		TestDesktopReset(&w, 1);
		SetStep(c.text, c.className);
		snprintf(StepTable[1].Match, ValueSize, "%s", c.match);
		snprintf(StepTable[1].Case, ValueSize, "%s", c.matchCase);
		snprintf(StepTable[1].Process, ValueSize, "%s", c.process);
		requiredVersion = VersionNumber(c.require);
		EXPECT_EQ(MatchesStep(1), c.matches);
		EXPECT_EQ(testDesktopTitleReads, 1);
		EXPECT_EQ(testDesktopClassReads, 1);
	}
}

/* Handles 1-5: two of class A (one hidden, one disabled), one of class B
 * titled like the first, a hidden and disabled one of class B, one of
 * class C. */
const std::vector<TestWindow> desktop = {
    {"Main", "A", false, true, 0, Stays}, {"Tool", "A", true, false, 0, Stays},
    {"Main", "B", true, true, 0, Stays},  {"Spare", "B", false, false, 0, Stays},
    {"Other", "C", true, true, 0, Stays},
};

/* A name that can no longer be read (its window went away during the
 * pass) is empty, never the name of the window visited before. Window 2
 * has the wanted title; its class read fails where window 1's class
 * would be the wanted one. */
const std::vector<TestWindow> vanishing = {
    {"Other", "A", true, true, 0, Stays},
    {"Main", "Z", true, true, 0, VanishesBetweenReads},
    {"Main", "A", true, true, 0, VanishesBeforeReads},
    {"Main", "A", true, true, 0, Stays},
};

const TestWindow mainA = {"Main", "A", true, true, 0, Stays};
const TestWindow mainB = {"Main", "B", true, true, 0, Stays};
const TestWindow otherB = {"x", "B", true, true, 0, Stays};
const TestWindow hiddenA = {"Main", "A", false, false, 0, Stays};
const TestWindow lateA = {"Main", "A", true, true, 2, Stays};
const TestWindow nextA = {"Main", "A", true, true, 1, Stays};
const TestWindow vanishingA = {"Main", "A", true, true, 0, VanishesBeforeReads};
/* Window "W" of class A in each state. */
const TestWindow shownW = {"W", "A", true, true, 0, Stays};
const TestWindow hiddenW = {"W", "A", false, true, 0, Stays};
const TestWindow disabledW = {"W", "A", true, false, 0, Stays};
const TestWindow minW = {"W", "A", true, true, 0, Stays, NULL, true};
const TestWindow maxW = {"W", "A", true, true, 0, Stays, NULL, false, true};
const TestWindow minMaxW = {"W", "A", true, true, 0, Stays, NULL, true, true};
const TestWindow cloakedW = {"W", "A", true, true, 0, Stays, NULL, false, false, true};

/* A step over its windows: what it calls, how many windows its passes
 * visit, each name read once a visit, and whether it gave up (-1: a step
 * that never does). The flag goes to the key the Action word reads, and
 * to Visible for Find and Gone; the script requires version require.
 * With hooks, window events come to the hooks a step sets (these events
 * or none): a waiting step pauses until news, else a pause that doubles
 * up to 750 ms; the step leaves no hook behind. */
const struct {
	const char *name;
	const char *action, *text, *className, *flag, *timeout;
	std::vector<TestWindow> windows;
	const char *log;
	int visits, gaveUp;
	bool foreground = false; /* the window is the foreground one before */
	const char *require = "";
	bool hooks = false;
	std::vector<TestEvent> events = {};
} stepCases[] = {
    /* a row a case: the formatter would spread these a field a line */
    // clang-format off
    {"disable a class", "Enable", "", "A", "0", "", desktop, "pass enable(1,0) enable(2,0)", 5, -1},
    {"enable by title across classes", "Enable", "Main", "", "1", "", desktop,
     "pass enable(1,1) enable(3,1)", 5, -1},
    {"show a hidden and disabled one", "Display", "Spare", "B", "1", "", desktop, "pass show(4,5)",
     5, -1},
    {"hide everything", "Display", "", "", "0", "", desktop,
     "pass show(1,0) show(2,0) show(3,0) show(4,0) show(5,0)", 5, -1},
    {"hide: a vanished window has no names", "Display", "Main", "A", "0", "", vanishing,
     "pass show(4,0)", 4, -1},
    {"hide: nor a title", "Display", "Main", "", "0", "", vanishing, "pass show(2,0) show(4,0)", 4,
     -1},
    {"find a hidden and disabled one", "Find", "Main", "", "", "", {hiddenA}, "pass", 1, 0},
    {"a pass ends at the first match", "Find", "Main", "", "", "", {otherB, mainB, mainA}, "pass",
     2, 0},
    {"find one that appears later", "Find", "", "A", "", "", {otherB, lateA},
     "pass sleep(1) pass sleep(1) pass", 4, 0},
    {"find past one vanishing mid-pass", "Find", "", "A", "", "", {mainB, vanishingA, nextA},
     "pass sleep(1) pass", 4, 0},
    {"find with Timeout=2", "Find", "", "A", "", "2", {otherB},
     "timer(2) pass wait(1) pass wait(1) close", 2, 1},
    /* Minimize, Maximize and Restore act on shown windows only, and leave
     * a window already so; a window minimized from maximized is restored
     * twice, as Windows brings it back maximized first. */
    {"minimize", "Minimize", "W", "", "", "", {shownW}, "pass show(1,6)", 1, -1},
    {"minimize a minimized one", "Minimize", "W", "", "", "", {minW}, "pass", 1, -1},
    {"minimize a hidden one", "Minimize", "W", "", "", "", {hiddenW}, "pass", 1, -1},
    {"maximize", "Maximize", "W", "", "", "", {shownW}, "pass show(1,3)", 1, -1},
    {"maximize a maximized one", "Maximize", "W", "", "", "", {maxW}, "pass", 1, -1},
    {"restore a normal one", "Restore", "W", "", "", "", {shownW}, "pass", 1, -1},
    {"restore a maximized one", "Restore", "W", "", "", "", {maxW}, "pass show(1,9)", 1, -1},
    {"restore one minimized from maximized", "Restore", "W", "", "", "", {minMaxW},
     "pass show(1,9) show(1,9)", 1, -1},
    /* Activate: restores a minimized window, asks once, ends when the
     * window is the foreground one; a disabled one refuses and the step
     * gives up. */
    {"activate: restored first", "Activate", "W", "", "", "", {minW},
     "timer(1000) pass show(1,9) activate(1) close", 1, 0},
    /* as Wine keeps a window it minimized: the foreground, taking no input */
    {"activate: minimized in the foreground, restored", "Activate", "W", "", "", "", {minW},
     "activate(1) timer(1000) pass show(1,9) activate(1) close", 1, 0, true},
    {"activate: disabled, never asked", "Activate", "W", "", "", "2", {disabledW},
     "timer(2) pass wait(1) pass wait(1) close", 2, 1},
    {"activate: hidden, never matched", "Activate", "W", "", "", "1", {hiddenW},
     "timer(1) pass wait(1) close", 1, 1},
    /* A window on another virtual desktop is visible to Windows, but a
     * script requiring 1.4 takes it as not shown. */
    {"find shown past a cloaked one, for 1.4", "Find", "", "A", "1", "", {cloakedW, mainA}, "pass",
     2, 0, false, "1.4"},
    {"activate a cloaked one before 1.4", "Activate", "W", "", "", "1", {cloakedW},
     "timer(1) pass activate(1) close", 1, 0, false, "1.3"},
    {"no news: the pause doubles up to 750 ms", "Find", "W", "", "", "5000",
     {{"W", "A", true, true, 11, Stays}}, "timer(5000) pass wait(1) pass wait(2) pass wait(4) "
     "pass wait(8) pass wait(16) pass wait(32) pass wait(64) pass wait(128) pass wait(256) pass "
     "wait(512) pass wait(750) pass close", 1, 0, false, "", true},
    {"news ends the pause, which starts again at 1 ms", "Find", "W", "", "", "5000",
     {{"W", "A", true, true, 6, Stays}}, "timer(5000) pass wait(1) pass wait(2) pass wait(4) "
     "pass wait(8) event(3,1) wait(0) pass wait(1) pass wait(2) pass close", 1, 0, false, "",
     true, {{10, EVENT_SYSTEM_FOREGROUND, 1}}},
    {"a child window, another object: the pause keeps its end", "Find", "W", "", "", "5000",
     {{"W", "A", true, true, 3, Stays}}, "timer(5000) pass wait(1) pass wait(2) event(800c,100) "
     "wait(1) event(8002,1) wait(0) pass wait(4) pass close", 1, 0, false, "", true,
     {{2, EVENT_OBJECT_NAMECHANGE, 100}, {3, EVENT_OBJECT_SHOW, 1, OBJID_CURSOR}}},
    {"a window gone is news; no Timeout", "Find", "W", "", "", "",
     {{"W", "A", true, true, 2, Stays}}, "pass sleep(1) pass sleep(2) event(8001,7) sleep(0) pass",
     1, 0, false, "", true, {{2, EVENT_OBJECT_DESTROY, 7}}},
    // clang-format on
};

TEST(WindowSteps, CallsAndPasses)
{
	for (const auto &c : stepCases) {
		SCOPED_TRACE(c.name);
		TestDesktopReset(c.windows.data(), (int)c.windows.size(), c.events.data(),
		                 c.hooks ? (int)c.events.size() : -1);
		bool enable = strcmp(c.action, "Enable") == 0;
		SetStep(c.text, c.className, enable ? c.flag : "", enable ? "" : c.flag, c.timeout,
		        c.action);
		if (StepVerb()->takes & TakesVisible)
			snprintf(StepTable[1].Visible, ValueSize, "%s", c.flag);
		requiredVersion = VersionNumber(c.require);
		windowFound = 1; /* left over from an earlier Find step */
		windowGaveUp = c.gaveUp == 0;
		if (c.foreground)
			SetForegroundWindow(1);
		ExecuteStep();
		EXPECT_STREQ(testDesktopLog, c.log);
		EXPECT_EQ(testDesktopVisits, c.visits);
		EXPECT_EQ(testDesktopTitleReads, testDesktopVisits);
		EXPECT_EQ(testDesktopClassReads, testDesktopVisits);
		EXPECT_EQ(c.gaveUp < 0 ? -1 : windowGaveUp, c.gaveUp);
		EXPECT_EQ(testDesktopHooks, 0);
	}
}

/* --list tells a cloaked window apart for a script requiring 1.4. */
TEST(ListWindows, SaysCloaked)
{
	const TestWindow windows[] = {hiddenW, shownW, cloakedW};
	TestDesktopReset(windows, 3);
	ResetScript();
	requiredVersion = VersionNumber("1.4");
	testing::internal::CaptureStdout();
	ListWindows();
	EXPECT_EQ(testing::internal::GetCapturedStdout(), "0x00000001\thidden\tenabled\tA\tW\n"
	                                                  "0x00000002\tshown\tenabled\tA\tW\n"
	                                                  "0x00000003\tcloaked\tenabled\tA\tW\n");
}

/* The table of action words: each word finds its own row (a row after
 * one with the same word would be dead), every row runs something, and
 * its columns agree: a step that needs a window picks windows, and one
 * that reads its windows back can say which it cannot act on. The step's
 * row follows its word as it changes. */
TEST(Verbs, EveryRowIsReachedByItsWordAndWhole)
{
	for (int v = 0; v < verbCount; v++) {
		const Verb *verb = &verbs[v];
		SCOPED_TRACE(verb->word);
		SetStep("W", "", "", "", "", verb->word);
		EXPECT_EQ(StepVerb(), verb);
		EXPECT_NE(verb->run, nullptr);
		EXPECT_TRUE(verb->need != NeedWindow || (verb->traits & PicksWindows));
		EXPECT_TRUE(verb->stateNow == NULL || verb->cannot != NULL);
	}
	SetStep("W", "", "", "", "", "find");
	EXPECT_EQ(StepVerb(), nullptr);
}

} // namespace
