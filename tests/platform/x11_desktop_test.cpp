/*
 * The X11 stand-ins against a live display (DISPLAY names a world the
 * suite started, with or without a window manager): what no script shows.
 * The test makes its windows over a connection of its own.
 */
#include <algorithm>
#include <gtest/gtest.h>
#include <set>
#include <stdlib.h>
#include <string>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

#include "platform/linux/desktop/x11/x11.h"
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

/* The windows a pass visits, once the server has what this test asked. */
std::vector<HWND> Pass()
{
	Sync();
	visited.clear();
	EnumWindows([](HWND window, LPARAM) { return visited.push_back(window), TRUE; }, 0);
	return visited;
}

xcb_window_t Parent(xcb_window_t w)
{
	xcb_query_tree_reply_t *r = xcb_query_tree_reply(own, xcb_query_tree(own, w), NULL);
	xcb_window_t parent = r ? r->parent : 0;

	free(r);
	return parent;
}

/* A name as GetWindowTextA or GetClassNameA reads it. */
std::string Name(HWND window, int (*read)(HWND, LPSTR, int) = GetWindowTextA)
{
	char name[255];
	read(window, name, sizeof name);
	return name;
}

class LiveDesktop : public ::testing::Test
{
      protected:
	static void SetUpTestSuite()
	{
		UseDesktop(&x11Desktop);
		x11Desktop.open();
		own = xcb_connect(NULL, NULL);
		ASSERT_FALSE(xcb_connection_has_error(own)) << "needs DISPLAY";
		screen = xcb_setup_roots_iterator(xcb_get_setup(own)).data;
	}
};

TEST_F(LiveDesktop, NamesFollowTheirChanges)
{
	xcb_window_t w = MakeWindow("Before");
	char small[4];

	SetText(w, XCB_ATOM_WM_NAME, "STRING", "old name");
	SetText(w, Atom("_NET_WM_NAME"), "UTF8_STRING", "net name");
	ASSERT_EQ(1, std::ranges::count(Pass(), w));
	EXPECT_EQ("net name", Name(w));
	EXPECT_EQ(3, GetWindowTextA(w, small, sizeof small));
	EXPECT_STREQ("net", small);

	xcb_delete_property(own, w, Atom("_NET_WM_NAME"));
	SetText(w, XCB_ATOM_WM_CLASS, "STRING", std::string("only-instance\0", 14));
	Pass();
	EXPECT_EQ("old name", Name(w));
	EXPECT_EQ("", Name(w, GetClassNameA));

	/* WM_NAME is read by its type. */
	SetText(w, XCB_ATOM_WM_NAME, "COMPOUND_TEXT", "\x1b%G\xce\xa9\x1b%@\xe9");
	Pass();
	EXPECT_EQ("\xce\xa9\xc3\xa9", Name(w));
	xcb_destroy_window(own, w);
}

/* Frames and child windows are never visited, nor a window put inside
 * another program's: no visited window lies inside another. */
TEST_F(LiveDesktop, OnlyTopLevelsAreVisited)
{
	xcb_window_t parent = MakeWindow("Parent");
	xcb_window_t child = MakeWindow("Child", parent);

	xcb_map_window(own, child);
	xcb_map_window(own, parent);
	ASSERT_TRUE(WaitViewable(parent));
	xcb_window_t embedded = MakeWindow("Embedded");
	ASSERT_EQ(1, std::ranges::count(Pass(), embedded));
	xcb_reparent_window(own, embedded, parent, 0, 0);
	std::vector<HWND> all = Pass();
	std::set<HWND> set(all.begin(), all.end());
	EXPECT_EQ(all.size(), set.size());
	EXPECT_EQ(1u, set.count(parent));
	for (HWND w : all)
		for (xcb_window_t up = Parent((xcb_window_t)w); up != 0 && up != screen->root;
		     up = Parent(up))
			EXPECT_EQ(0u, set.count(up)) << std::hex << w << " lies inside " << up;
	xcb_destroy_window(own, parent);
}

/* Windows that go while a pass visits them: the pass goes on, acting on
 * them does nothing, and the next pass no longer has them. */
TEST_F(LiveDesktop, WindowsDestroyedDuringAPass)
{
	static std::vector<xcb_window_t> doomed;

	for (int i = 0; i < 5; i++)
		doomed.push_back(MakeWindow("Doomed"));
	Pass();
	visited.clear();
	EXPECT_TRUE(EnumWindows(
	    [](HWND window, LPARAM) {
		    char text[255];
		    if (std::count(doomed.begin(), doomed.end(), window) == 0)
			    return TRUE;
		    if (visited.empty()) { /* all at the first */
			    for (xcb_window_t w : doomed)
				    xcb_destroy_window(own, w);
			    Sync();
		    }
		    visited.push_back(window);
		    GetWindowTextA(window, text, sizeof text);
		    EnableWindow(window, FALSE);
		    ShowWindow(window, SW_HIDE);
		    ShowWindow(window, SW_SHOW);
		    return TRUE;
	    },
	    0));
	EXPECT_EQ(doomed.size(), visited.size());
	for (HWND w : Pass())
		EXPECT_EQ(0, std::count(doomed.begin(), doomed.end(), w));
}

} // namespace
