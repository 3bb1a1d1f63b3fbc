/* sway's tree as the windows it holds: which, in which order, named how;
 * and trees no sway sends, read to a defined end. */
#include <gtest/gtest.h>
#include <string>

#include "platform/linux/desktop/sway/sway.h"

static std::string reply; /* what the double of sway answers */

char *SwayRequest(uint32_t, const char *, size_t *length)
{
	*length = reply.size();
	return strdup(reply.c_str());
}

namespace
{

std::string Window(int id, const std::string &more = "")
{
	return R"({"id":)" + std::to_string(id) + R"(,"shell":"xdg_shell","name":"w)" +
	       std::to_string(id) + R"(","app_id":"a")" + more + "}";
}

std::string Workspace(const std::string &name, const std::string &members)
{
	return R"({"type":"root","nodes":[{"type":"workspace","name":")" + name + "\"," + members +
	       "}]}";
}

/* A node n levels above a window, each naming its only child twice in its
 * focus list, or nesting it n levels deep. */
std::string Nested(int n, bool twice)
{
	std::string tree = Window(1);

	for (int i = 0; i < n; i++)
		tree = "{\"id\":" + std::to_string(i + 2) + ",\"nodes\":[" + tree + "]" +
		       (twice ? ",\"focus\":[" + std::to_string(i + 1) + "," +
		                    std::to_string(i + 1) + "]"
		              : "") +
		       "}";
	return tree;
}

/* Each window of the last read: "id class title", then " hidden", " x=ID",
 * " pid=N" where they apply; and the focused one. */
std::string Read(void)
{
	std::string got;
	HWND ids[64];
	int count = CacheList(&swayCache, ids, 64);

	for (int i = 0; i < count && i < 64; i++) {
		const SwayWindow *w = SwayFind(ids[i]);
		got += std::to_string(ids[i]) + " " + w->desk.className + " " + w->desk.title;
		got += w->hidden ? " hidden" : "";
		got += w->xwayland ? " x=" + std::to_string(w->xwayland) : "";
		got += w->desk.pid ? " pid=" + std::to_string(w->desk.pid) : "";
		got += "; ";
	}
	return got + "focused " + std::to_string(swayFocused);
}

const struct {
	const char *name;
	std::string tree;
	std::string want;
} cases[] = {
    // clang-format off
    {"the focus list's order first, then the others, floating ones too",
     Workspace("1", R"("nodes":[)" + Window(4) + "," + Window(2) + "," + Window(1) +
                    R"(],"floating_nodes":[)" + Window(3) + R"(],"focus":[3,2])"),
     "3 a w3; 2 a w2; 4 a w4; 1 a w1; focused 0"},
    {"the scratchpad's windows are hidden, in containers too",
     R"({"nodes":[{"type":"workspace","name":"__i3_scratch","floating_nodes":[{"id":9,"nodes":[)" +
         Window(4) + R"(]}]},{"type":"workspace","name":"2","nodes":[)" + Window(5) + "]}]}",
     "4 a w4 hidden; 5 a w5; focused 0"},
    {"XWayland: the X11 class and id; a native window's X id is none",
     Workspace("1", R"("nodes":[{"id":6,"shell":"xwayland","window":4194305,"name":"x",)"
                    R"("app_id":null,"window_properties":{"class":"XTerm"}},)" +
                    Window(7, R"(,"window":5)") + "]"),
     "6 XTerm x x=4194305; 7 a w7; focused 0"},
    {"pid and focus",
     Workspace("1", R"("nodes":[)" + Window(8, R"(,"pid":1234,"focused":true)") + "]"),
     "8 a w8 pid=1234; focused 8"},
    {"values of the wrong type or out of range read as none",
     Workspace("1", R"("nodes":[{"id":10,"shell":"xwayland","name":5,"app_id":[],"pid":4294967296,)"
                    R"("window":-3},{"id":11,"shell":"x","pid":"12","name":null}])"),
     "10  ; 11  ; focused 0"},
    {"a window without an id, or with id 0, goes unlisted",
     Workspace("1", R"("nodes":[{"shell":"xdg_shell"},)" + Window(0) + "]"), "focused 0"},
    {"a child named twice by the focus list, and two children with one id: listed once",
     Workspace("1", R"("nodes":[)" + Window(1) + "," + Window(2) + "," + Window(1) +
                    R"(],"focus":[2,2,1,2])"),
     "2 a w2; 1 a w1; focused 0"},
    {"focus lists naming each child twice, 200 levels deep: read at once", Nested(200, true),
     "1 a w1; focused 0"},
    {"a window 400 levels deep", Nested(400, false), "1 a w1; focused 0"},
    {"not JSON", R"({"nodes":[)" + Window(1), "focused 0"},
    {"not an object", "[" + Window(1) + "]", "focused 0"},
    {"children that are not objects", R"({"nodes":[1,"x",null,[]],"focus":["a",{}]})", "focused 0"},
    // clang-format on
};

TEST(SwayReadTree, Table)
{
	for (const auto &c : cases) {
		reply = c.tree;
		EXPECT_TRUE(SwayReadTree()) << c.name;
		EXPECT_EQ(Read(), c.want) << c.name;
	}
}

} // namespace
