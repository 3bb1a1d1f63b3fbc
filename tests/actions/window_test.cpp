/* The window steps over the in-memory desktop: which windows a step
 * picks, what it calls for each, and how a Find step polls. */
#include <gtest/gtest.h>
#include <string>

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
	StepRecord *step = &StepTable[1];

	ResetScript();
	snprintf(StepTable[0].Text, ValueSize, "Main");
	snprintf(StepTable[0].Enable, ValueSize, "1");
	snprintf(StepTable[0].Display, ValueSize, "1");
	snprintf(step->Text, ValueSize, "%s", text);
	snprintf(step->ClassName, ValueSize, "%s", className);
	snprintf(step->Enable, ValueSize, "%s", enable);
	snprintf(step->Display, ValueSize, "%s", display);
	snprintf(step->Timeout, ValueSize, "%s", timeout);
	snprintf(step->Action, ValueSize, "%s", action);
	stepCount = 2;
	currentStep = 1;
}

/* Both names are read for every window visited, whatever the outcome. */
void ExpectBothNamesReadPerVisit(void)
{
	EXPECT_EQ(testDesktopTitleReads, testDesktopVisits);
	EXPECT_EQ(testDesktopClassReads, testDesktopVisits);
}

const std::string Title300(300, 't');
const std::string Title254(254, 't');

struct MatchCase {
	const char *name;
	const char *text, *className;    /* the step */
	const char *title, *windowClass; /* the window */
	bool matches;
};

const MatchCase matchCases[] = {
    {"title exact", "Notepad", "", "Notepad", "Edit", true},
    {"title in other case", "notepad", "", "Notepad", "Edit", false},
    {"title prefix", "Note", "", "Notepad", "Edit", false},
    {"title substring", "otepa", "", "Notepad", "Edit", false},
    {"title longer than the window's", "Notepad2", "", "Notepad", "Edit", false},
    {"title against an untitled window", "Notepad", "", "", "Edit", false},
    {"class exact", "", "Edit", "Notepad", "Edit", true},
    {"class in other case", "", "edit", "Notepad", "Edit", false},
    {"class prefix", "", "Ed", "Notepad", "Edit", false},
    {"both empty match an untitled window", "", "", "", "Edit", true},
    {"both hold", "Notepad", "Edit", "Notepad", "Edit", true},
    {"title holds, class not", "Notepad", "Static", "Notepad", "Edit", false},
    {"class holds, title not", "Wordpad", "Edit", "Notepad", "Edit", false},
    {"long title compared cut to 254", Title254.c_str(), "", Title300.c_str(), "Edit", true},
};

TEST(MatchesStep, RuleTable)
{
	for (const MatchCase &c : matchCases) {
		SCOPED_TRACE(c.name);
		TestWindow w = {c.title, c.windowClass, true, true, 0, Stays};
		TestDesktopReset(&w, 1);
		SetStep(c.text, c.className);
		EXPECT_EQ(MatchesStep(1), c.matches);
		EXPECT_EQ(testDesktopTitleReads, 1);
		EXPECT_EQ(testDesktopClassReads, 1);
	}
}

struct HowCase {
	const char *name;
	const char *match, *matchCase, *text, *title;
	bool matches;
};

const HowCase howCases[] = {
    {"prefix", "prefix", "", "Note", "Notepad", true},
    {"prefix not found at the end", "prefix", "", "pad", "Notepad", false},
    {"prefix longer than the title", "prefix", "", "Notepad2", "Notepad", false},
    {"suffix", "suffix", "", "pad", "Notepad", true},
    {"suffix not found at the start", "suffix", "", "Note", "Notepad", false},
    {"part inside", "part", "", "otep", "Notepad", true},
    {"part at the very end", "part", "", "pad", "Notepad", true},
    {"part absent", "part", "", "tap", "Notepad", false},
    {"part longer than the title", "part", "", "Notepads", "Notepad", false},
    {"exact in either case", "", "0", "NOTEPAD", "Notepad", true},
    {"exact in either case, not a prefix", "", "0", "NOTE", "Notepad", false},
    {"exact, Case=1", "exact", "1", "notepad", "Notepad", false},
    {"suffix in either case", "suffix", "0", "PAD", "Notepad", true},
    {"prefix in exact case", "prefix", "", "note", "Notepad", false},
    {"either case folds ASCII letters only", "", "0", "a[b", "A{B", false},
};

TEST(MatchesStep, HowTextMeetsTheTitle)
{
	for (const HowCase &c : howCases) {
		SCOPED_TRACE(c.name);
		TestWindow w = {c.title, "Edit", true, true, 0, Stays};
		TestDesktopReset(&w, 1);
		SetStep(c.text, "");
		snprintf(StepTable[1].Match, ValueSize, "%s", c.match);
		snprintf(StepTable[1].Case, ValueSize, "%s", c.matchCase);
		EXPECT_EQ(MatchesStep(1), c.matches);
	}
}

struct ProgramCase {
	const char *name;
	const char *program; /* the window's, NULL: not known */
	const char *process; /* the step's */
	bool matches;
};

const ProgramCase programCases[] = {
    {"the file name", "/usr/bin/xterm", "xterm", true},
    {"not the folder's", "/usr/bin/xterm", "bin", false},
    {"nor the path", "/usr/bin/xterm", "/usr/bin/xterm", false},
    {"the file name exactly, on Linux", "/usr/bin/xterm", "XTerm", false},
    {"a program that cannot be known never matches", NULL, "xterm", false},
    {"no Process matches any program", NULL, "", true},
};

TEST(MatchesStep, TheProgramByItsFileName)
{
	for (const ProgramCase &c : programCases) {
		SCOPED_TRACE(c.name);
		TestWindow w = {"Main", "A", true, true, 0, Stays, c.program};
		TestDesktopReset(&w, 1);
		SetStep("Main", "");
		snprintf(StepTable[1].Process, ValueSize, "%s", c.process);
		EXPECT_EQ(MatchesStep(1), c.matches);
	}
}

/* Handles 1-5: two of class A (one hidden, one disabled), one of class B
 * titled like the first, a hidden and disabled one of class B, one of
 * class C. */
const TestWindow desktop[] = {
    {"Main", "A", false, true, 0, Stays}, {"Tool", "A", true, false, 0, Stays},
    {"Main", "B", true, true, 0, Stays},  {"Spare", "B", false, false, 0, Stays},
    {"Other", "C", true, true, 0, Stays},
};
const int desktopCount = sizeof desktop / sizeof desktop[0];

struct PassCase {
	const char *name;
	void (*executor)(void);
	const char *text, *className, *enable, *display;
	const char *log;
};

const PassCase passCases[] = {
    {"disable a class", EnableMatchingWindows, "", "A", "0", "", "pass enable(1,0) enable(2,0)"},
    {"enable by title across classes", EnableMatchingWindows, "Main", "", "1", "",
     "pass enable(1,1) enable(3,1)"},
    {"show a hidden and disabled one", DisplayMatchingWindows, "Spare", "B", "", "1",
     "pass show(4,5)"},
    {"hide everything", DisplayMatchingWindows, "", "", "", "0",
     "pass show(1,0) show(2,0) show(3,0) show(4,0) show(5,0)"},
};

TEST(EnableAndDisplay, OnePassTreatsEveryMatch)
{
	for (const PassCase &c : passCases) {
		SCOPED_TRACE(c.name);
		TestDesktopReset(desktop, desktopCount);
		SetStep(c.text, c.className, c.enable, c.display);
		c.executor();
		EXPECT_STREQ(testDesktopLog, c.log);
		EXPECT_EQ(testDesktopVisits, desktopCount);
		ExpectBothNamesReadPerVisit();
	}
}

/* A name that can no longer be read (its window went away during the
 * pass) is empty, never the name of the window visited before. Window 2
 * has the wanted title; its class read fails where window 1's class
 * would be the wanted one. */
TEST(EnableAndDisplay, VanishedWindowHasNoNames)
{
	const TestWindow windows[] = {
	    {"Other", "A", true, true, 0, Stays},
	    {"Main", "Z", true, true, 0, VanishesBetweenReads},
	    {"Main", "A", true, true, 0, VanishesBeforeReads},
	    {"Main", "A", true, true, 0, Stays},
	};
	TestDesktopReset(windows, 4);
	SetStep("Main", "A", "", "0");
	DisplayMatchingWindows();
	EXPECT_STREQ(testDesktopLog, "pass show(4,0)");

	TestDesktopReset(windows, 4);
	SetStep("Main", "A", "1");
	EnableMatchingWindows();
	EXPECT_STREQ(testDesktopLog, "pass enable(4,1)");
}

struct FindCase {
	const char *name;
	TestWindow windows[3];
	int count;
	const char *text, *className;
	const char *log;
	int visits; /* over all passes */
	const char *timeout = "";
	int gaveUp = 0;
};

const TestWindow mainA = {"Main", "A", true, true, 0, Stays};
const TestWindow mainB = {"Main", "B", true, true, 0, Stays};
const TestWindow otherB = {"x", "B", true, true, 0, Stays};
const TestWindow hiddenA = {"Main", "A", false, false, 0, Stays};
const TestWindow lateA = {"Main", "A", true, true, 2, Stays};
const TestWindow nextA = {"Main", "A", true, true, 1, Stays};
const TestWindow vanishingA = {"Main", "A", true, true, 0, VanishesBeforeReads};

const FindCase findCases[] = {
    {"already there", {mainA}, 1, "", "A", "pass", 1},
    {"hidden and disabled still found", {hiddenA}, 1, "Main", "", "pass", 1},
    {"pass ends at the first match", {otherB, mainB, mainA}, 3, "Main", "", "pass", 2},
    {"appears later", {otherB, lateA}, 2, "", "A", "pass sleep(1) pass sleep(1) pass", 4},
    {"vanishing mid-pass", {mainB, vanishingA, nextA}, 3, "", "A", "pass sleep(1) pass", 4},
    {"Timeout=2", {otherB}, 1, "", "A", "timer(2) pass wait(1) pass wait(1) close", 2, "2", 1},
};

TEST(WaitForWindow, PassesAndPauses)
{
	for (const FindCase &c : findCases) {
		SCOPED_TRACE(c.name);
		TestDesktopReset(c.windows, c.count);
		SetStep(c.text, c.className, "", "", c.timeout);
		windowFound = 1; /* left over from an earlier Find step */
		windowGaveUp = !c.gaveUp;
		WaitForWindow();
		EXPECT_STREQ(testDesktopLog, c.log);
		EXPECT_EQ(testDesktopVisits, c.visits);
		EXPECT_EQ(windowGaveUp, c.gaveUp);
		ExpectBothNamesReadPerVisit();
	}
}

/* Minimize, Maximize and Restore act on shown windows only, and leave a
 * window already so; a window minimized from maximized is restored twice,
 * as Windows brings it back maximized first. */
struct StateCase {
	const char *name;
	const char *action;
	TestWindow window;
	const char *log;
};

const StateCase stateCases[] = {
    {"minimize", "Minimize", {"W", "A", true, true, 0, Stays}, "pass show(1,6)"},
    {"minimize a minimized one", "Minimize", {"W", "A", true, true, 0, Stays, NULL, true}, "pass"},
    {"minimize a hidden one", "Minimize", {"W", "A", false, true, 0, Stays}, "pass"},
    {"maximize", "Maximize", {"W", "A", true, true, 0, Stays}, "pass show(1,3)"},
    {"maximize a maximized one",
     "Maximize",
     {"W", "A", true, true, 0, Stays, NULL, false, true},
     "pass"},
    {"restore a normal one", "Restore", {"W", "A", true, true, 0, Stays}, "pass"},
    {"restore a maximized one",
     "Restore",
     {"W", "A", true, true, 0, Stays, NULL, false, true},
     "pass show(1,9)"},
    {"restore one minimized from maximized",
     "Restore",
     {"W", "A", true, true, 0, Stays, NULL, true, true},
     "pass show(1,9) show(1,9)"},
};

TEST(SetWindowsState, ShownWindowsOnlyAndToTheEnd)
{
	for (const StateCase &c : stateCases) {
		SCOPED_TRACE(c.name);
		TestDesktopReset(&c.window, 1);
		SetStep("W", "", "", "", "", c.action);
		ExecuteStep();
		EXPECT_STREQ(testDesktopLog, c.log);
	}
}

/* Activate: restores a minimized window, asks once, ends when the window
 * is the foreground one; a disabled one refuses and the step gives up. */
struct ActivateCase {
	const char *name;
	TestWindow window;
	const char *timeout;
	const char *log;
	int gaveUp;
	bool foreground = false; /* the window is the foreground one before */
};

const ActivateCase activateCases[] = {
    {"at once", {"W", "A", true, true, 0, Stays}, "", "timer(1000) pass activate(1) close", 0},
    {"restored first",
     {"W", "A", true, true, 0, Stays, NULL, true},
     "",
     "timer(1000) pass show(1,9) activate(1) close",
     0},
    /* as Wine keeps a window it minimized: the foreground, taking no input */
    {"minimized in the foreground: restored",
     {"W", "A", true, true, 0, Stays, NULL, true},
     "",
     "activate(1) timer(1000) pass show(1,9) activate(1) close",
     0,
     true},
    {"disabled: never asked",
     {"W", "A", true, false, 0, Stays},
     "2",
     "timer(2) pass wait(1) pass wait(1) close",
     1},
    {"hidden: never matched",
     {"W", "A", false, true, 0, Stays},
     "1",
     "timer(1) pass wait(1) close",
     1},
};

TEST(ActivateWindow, RestoresAsksOnceAndEndsWhenActive)
{
	for (const ActivateCase &c : activateCases) {
		SCOPED_TRACE(c.name);
		TestDesktopReset(&c.window, 1);
		SetStep("W", "", "", "", c.timeout, "Activate");
		if (c.foreground)
			SetForegroundWindow(1);
		ActivateWindow();
		EXPECT_STREQ(testDesktopLog, c.log);
		EXPECT_EQ(windowGaveUp, c.gaveUp);
	}
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
		EXPECT_EQ(VerbOf(verb->word), verb);
		EXPECT_EQ(StepVerb(), verb);
		EXPECT_NE(verb->run, nullptr);
		EXPECT_TRUE(verb->need != NeedWindow || (verb->traits & PicksWindows));
		EXPECT_TRUE(verb->stateNow == NULL || verb->cannot != NULL);
	}
	SetStep("W", "", "", "", "", "find");
	EXPECT_EQ(StepVerb(), nullptr);
}

} // namespace
