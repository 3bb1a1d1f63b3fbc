/*
 * The X11 stand-ins against a live display (DISPLAY names a world that
 * run_x11.py started, with or without a window manager). The test makes
 * its windows over a connection of its own.
 */
#include <fcntl.h>
#include <gtest/gtest.h>
#include <set>
#include <stdlib.h>
#include <string>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

#include "platform/linux/x11.h"
#include "platform/winapi.h"

namespace
{

xcb_connection_t *own;
xcb_screen_t *screen;
std::vector<HWND> visited;

xcb_atom_t Atom(const char *name)
{
	xcb_intern_atom_reply_t *r =
	    xcb_intern_atom_reply(own, xcb_intern_atom(own, 0, (uint16_t)strlen(name), name), NULL);
	xcb_atom_t atom = r->atom;
	free(r);
	return atom;
}

void Sync()
{
	free(xcb_get_input_focus_reply(own, xcb_get_input_focus(own), NULL));
}

void SetText(xcb_window_t w, xcb_atom_t property, const char *type, const std::string &bytes)
{
	xcb_change_property(own, XCB_PROP_MODE_REPLACE, w, property, Atom(type), 8,
	                    (uint32_t)bytes.size(), bytes.data());
}

xcb_window_t MakeWindow(const std::string &wmClass, xcb_window_t parent = 0)
{
	xcb_window_t w = xcb_generate_id(own);
	xcb_create_window(own, XCB_COPY_FROM_PARENT, w, parent ? parent : screen->root, 0, 0, 50,
	                  50, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, NULL);
	SetText(w, XCB_ATOM_WM_CLASS, "STRING", std::string("test\0", 5) + wmClass + '\0');
	Sync();
	return w;
}

/* Under a manager, a window is viewable once the manager has framed it. */
bool WaitViewable(xcb_window_t w)
{
	for (int tries = 0; tries < 5000; tries++) {
		xcb_get_window_attributes_reply_t *r =
		    xcb_get_window_attributes_reply(own, xcb_get_window_attributes(own, w), NULL);
		bool viewable = r && r->map_state == XCB_MAP_STATE_VIEWABLE;
		free(r);
		if (viewable)
			return true;
		usleep(1000);
	}
	return false;
}

BOOL CALLBACK Collect(HWND window, LPARAM)
{
	visited.push_back(window);
	return TRUE;
}

std::vector<HWND> Pass()
{
	visited.clear();
	EnumWindows(Collect, 0);
	return visited;
}

bool Visited(HWND window)
{
	std::vector<HWND> all = Pass();
	return std::count(all.begin(), all.end(), window) == 1;
}

std::string Title(HWND window)
{
	char title[255];
	GetWindowTextA(window, title, sizeof title);
	return title;
}

std::string ClassName(HWND window)
{
	char name[255];
	GetClassNameA(window, name, sizeof name);
	return name;
}

class Desktop : public ::testing::Test
{
      protected:
	static void SetUpTestSuite()
	{
		own = xcb_connect(NULL, NULL);
		ASSERT_FALSE(xcb_connection_has_error(own)) << "needs DISPLAY";
		screen = xcb_setup_roots_iterator(xcb_get_setup(own)).data;
	}
};

struct NameCase {
	const char *property;
	const char *type;
	std::string bytes;
	std::string want;
};

TEST_F(Desktop, TitleFromNetWmNameElseWmNameByItsType)
{
	/* Decoding itself is x11_text_test's; here, which property and type
	 * (run_x11.py finds _NET_WM_NAME-only and WM_NAME-only windows). */
	const NameCase cases[] = {
	    {"WM_NAME", "STRING", "caf\xe9", "caf\xc3\xa9"},
	    {"WM_NAME", "COMPOUND_TEXT", "\x1b%G\xce\xa9\x1b%@", "\xce\xa9"},
	    {"WM_NAME", "STRING", std::string(300, 't'), std::string(254, 't')},
	};
	std::vector<xcb_window_t> windows;

	for (const NameCase &c : cases) {
		windows.push_back(MakeWindow("Names"));
		SetText(windows.back(), Atom(c.property), c.type, c.bytes);
	}
	Sync();
	Pass();
	for (size_t i = 0; i < windows.size(); i++) {
		EXPECT_EQ(cases[i].want, Title(windows[i])) << i;
		EXPECT_EQ("Names", ClassName(windows[i]));
		xcb_destroy_window(own, windows[i]);
	}
}

TEST_F(Desktop, NamesFollowTheirChanges)
{
	xcb_window_t w = MakeWindow("Before");
	char small[4];

	SetText(w, XCB_ATOM_WM_NAME, "STRING", "old name");
	SetText(w, Atom("_NET_WM_NAME"), "UTF8_STRING", "net name");
	Sync();
	ASSERT_TRUE(Visited(w));
	EXPECT_EQ("net name", Title(w));
	EXPECT_EQ(3, GetWindowTextA(w, small, sizeof small));
	EXPECT_STREQ("net", small);

	xcb_delete_property(own, w, Atom("_NET_WM_NAME"));
	SetText(w, XCB_ATOM_WM_CLASS, "STRING", std::string("only-instance\0", 14));
	Sync();
	Pass();
	EXPECT_EQ("old name", Title(w));
	EXPECT_EQ("", ClassName(w));
	xcb_destroy_window(own, w);
}

TEST_F(Desktop, UnknownWindowsReadAsNameless)
{
	const HWND unknown[] = {0, 1, (HWND)screen->root, (HWND)0x1FFFFFFFFull};
	char text[8] = "junk";

	for (HWND w : unknown) {
		EXPECT_EQ(0, GetWindowTextA(w, text, sizeof text));
		EXPECT_STREQ("", text);
		EXPECT_EQ(0, GetClassNameA(w, text, sizeof text));
		EXPECT_STREQ("", text);
	}
	EXPECT_EQ(0, GetWindowTextA(1, text, 0));
}

/* Frames and child windows are never visited, nor a window put inside
 * another program's: no visited window lies inside another. */
TEST_F(Desktop, OnlyTopLevelsAreVisited)
{
	xcb_window_t parent = MakeWindow("Parent");
	xcb_window_t child = MakeWindow("Child", parent);

	xcb_map_window(own, child);
	xcb_map_window(own, parent);
	ASSERT_TRUE(WaitViewable(parent));
	xcb_window_t embedded = MakeWindow("Embedded");
	ASSERT_TRUE(Visited(embedded));
	xcb_reparent_window(own, embedded, parent, 0, 0);
	Sync();
	std::vector<HWND> all = Pass();
	std::set<HWND> set(all.begin(), all.end());
	EXPECT_EQ(all.size(), set.size());
	EXPECT_EQ(1u, set.count(parent));
	EXPECT_EQ(0u, set.count(child));
	EXPECT_EQ(0u, set.count(embedded));
	for (HWND w : all) {
		xcb_window_t up = (xcb_window_t)w;
		while (true) {
			xcb_query_tree_reply_t *r =
			    xcb_query_tree_reply(own, xcb_query_tree(own, up), NULL);
			up = r ? r->parent : 0;
			free(r);
			if (up == 0 || up == screen->root)
				break;
			EXPECT_EQ(0u, set.count(up)) << std::hex << w << " lies inside " << up;
		}
	}
	xcb_destroy_window(own, parent);
}

bool ManagerRuns()
{
	xcb_get_window_attributes_reply_t *r = xcb_get_window_attributes_reply(
	    own, xcb_get_window_attributes(own, screen->root), NULL);
	bool runs = r->all_event_masks & XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT;
	free(r);
	return runs;
}

/* What the window is as soon as ShowWindow returns: map state, WM_STATE
 * (-1 when absent) and whether the root is its parent. */
struct Seen {
	int mapState;
	int wmState;
	bool atRoot;
};

Seen Look(xcb_window_t w)
{
	xcb_get_window_attributes_cookie_t a = xcb_get_window_attributes(own, w);
	xcb_get_property_cookie_t p =
	    xcb_get_property(own, 0, w, Atom("WM_STATE"), Atom("WM_STATE"), 0, 1);
	xcb_query_tree_cookie_t t = xcb_query_tree(own, w);
	xcb_get_window_attributes_reply_t *ar = xcb_get_window_attributes_reply(own, a, NULL);
	xcb_get_property_reply_t *pr = xcb_get_property_reply(own, p, NULL);
	xcb_query_tree_reply_t *tr = xcb_query_tree_reply(own, t, NULL);
	Seen seen = {ar->map_state, -1, tr->parent == screen->root};
	if (xcb_get_property_value_length(pr) == 4)
		seen.wmState = *(int *)xcb_get_property_value(pr);
	free(ar);
	free(pr);
	free(tr);
	return seen;
}

/* Each call ends when the window manager has finished: a hide leaves the
 * window unmanaged at the root, a show viewable and managed. */
TEST_F(Desktop, HideAndShowEndWhenTheManagerIsDone)
{
	xcb_window_t w = MakeWindow("Waits");
	bool managed = ManagerRuns();

	xcb_map_window(own, w);
	ASSERT_TRUE(WaitViewable(w));
	ASSERT_TRUE(Visited(w));
	for (int i = 0; i < 5; i++) {
		ShowWindow(w, SW_HIDE);
		Seen hidden = Look(w);
		EXPECT_EQ(XCB_MAP_STATE_UNMAPPED, hidden.mapState) << i;
		EXPECT_TRUE(hidden.wmState <= 0 && hidden.atRoot) << i;
		ShowWindow(w, SW_SHOW);
		Seen shown = Look(w);
		EXPECT_EQ(XCB_MAP_STATE_VIEWABLE, shown.mapState) << i;
		if (managed) {
			EXPECT_EQ(1, shown.wmState) << i;
		}
	}
	xcb_destroy_window(own, w);
}

/* Windows that go while a pass visits them: the pass goes on, acting on
 * them does nothing, and the next pass no longer has them. */
std::vector<xcb_window_t> doomed;

BOOL CALLBACK DestroyAllAtFirst(HWND window, LPARAM)
{
	char text[255];
	bool isDoomed = std::count(doomed.begin(), doomed.end(), window) > 0;

	if (isDoomed && visited.empty()) {
		for (xcb_window_t w : doomed)
			xcb_destroy_window(own, w);
		Sync();
	}
	if (isDoomed) {
		visited.push_back(window);
		GetWindowTextA(window, text, sizeof text);
		EnableWindow(window, FALSE);
		ShowWindow(window, SW_HIDE);
		ShowWindow(window, SW_SHOW);
	}
	return TRUE;
}

TEST_F(Desktop, WindowsDestroyedDuringAPass)
{
	for (int i = 0; i < 5; i++)
		doomed.push_back(MakeWindow("Doomed"));
	Pass();
	visited.clear();
	EXPECT_TRUE(EnumWindows(DestroyAllAtFirst, 0));
	EXPECT_EQ(doomed.size(), visited.size());
	for (HWND w : Pass())
		EXPECT_EQ(0, std::count(doomed.begin(), doomed.end(), w));
}

/* The display lost while the cache holds windows: each call after it sees
 * an empty desktop. In a child, as the loss is for good: there the
 * connection reads end of file, as when the server has gone. */
TEST_F(Desktop, LosingTheDisplayLeavesAnEmptyDesktop)
{
	HWND mine = MakeWindow("Lost");

	ASSERT_TRUE(Visited(mine));
	EXPECT_EXIT(
	    {
		    dup2(open("/dev/null", O_RDWR), xcb_get_file_descriptor(x11));
		    bool empty = Pass().empty() && Title(mine).empty();
		    EnableWindow(mine, FALSE);
		    ShowWindow(mine, SW_HIDE);
		    exit(empty && Pass().empty() ? 0 : 1);
	    },
	    ::testing::ExitedWithCode(0), "lost the X display");
}

} // namespace
