#include <gtest/gtest.h>
#include <string>

#include "platform/linux/desktop/gnome/gnome.h"
#include "tests/platform/nowhere_bus.h"

namespace
{

const char Iface[] = "org.wincue.Shell";
const std::string Long(300, 'a');

int Record(sd_bus_message *m, uint64_t id, const char *title, int32_t pid)
{
	return sd_bus_message_append(m, "(tssibbb)", id, title, "wct", pid, 1, 0, 1);
}

/* The cache, the active window and the order as one line. */
std::string Seen(void)
{
	std::string seen;

	for (int slot = 0; slot < gnomeCache.count; slot++) {
		const GnomeWindow *w = (const GnomeWindow *)CacheAt(&gnomeCache, slot);
		if (w->desk.id != 0)
			seen += std::to_string((uintptr_t)w->desk.id) + " " + w->desk.title + " " +
			        w->desk.className + " " + std::to_string(w->desk.pid) +
			        (w->minimized ? " m" : "") + (w->maximized ? " M" : "") +
			        (w->disabled ? " d" : "") + "; ";
	}
	seen += "active " + std::to_string((uintptr_t)gnomeActive) + "; order";
	for (int i = 0; i < gnomeStackingCount; i++)
		seen += " " + std::to_string((uintptr_t)gnomeStacking[i]);
	return seen;
}

/* Each case begins with window 7 ("old", active, alone in the order). */
auto OldWindow = [](sd_bus_message *m) { return Record(m, 7, "old", 5); };
auto OldOrder = [](sd_bus_message *m) { return sd_bus_message_append(m, "at", 1, (uint64_t)7); };
const std::string Old = "7 old wct 5 m d; ";
const struct {
	const char *name;
	const char *member; /* the signal, or NULL: a page of the list */
	int (*append)(sd_bus_message *m);
	int result; /* as Deliver returns it */
	std::string seen;
} cases[] = {
    // clang-format off
    {"a title cut to 254 bytes, a pid below 1 unknown", "WindowAdded",
     [](sd_bus_message *m) { return Record(m, 9, Long.c_str(), -3); }, 1,
     Old + "9 " + Long.substr(0, 254) + " wct 0 m d; active 7; order 7"},
    {"a window closed", "WindowClosed",
     [](sd_bus_message *m) { return sd_bus_message_append(m, "t", (uint64_t)7); }, 1,
     "active 7; order 7"},
    {"the order, grown", "Restacked", [](sd_bus_message *m) {
	return sd_bus_message_append(m, "at", 3, (uint64_t)9, (uint64_t)7, (uint64_t)8); },
     1, Old + "active 7; order 9 7 8"},
    {"an order of strings", "Restacked",
     [](sd_bus_message *m) { return sd_bus_message_append(m, "as", 1, "9"); }, -1,
     Old + "active 7; order 7"},
    {"a member the extension does not send", "WindowMoved",
     [](sd_bus_message *m) { return Record(m, 9, "nine", 42); }, 0, Old + "active 7; order 7"},
    {"a page, more to come", NULL, [](sd_bus_message *m) {
	return sd_bus_message_append(m, "a(tssibbb)b", 2, (uint64_t)3, "three", "wct", 1, 0, 1, 0,
	                             (uint64_t)8, "eight", "wct", 2, 1, 0, 0, 1); },
     81, Old + "3 three wct 1 M; 8 eight wct 2 m; active 7; order 7"},
    {"a page without its end", NULL, [](sd_bus_message *m) {
	return sd_bus_message_append(m, "a(tssibbb)", 1, (uint64_t)3, "three", "wct", 1, 0, 1,
	                             0); },
     -1, Old + "3 three wct 1 M; active 7; order 7"},
    // clang-format on
};

/* A message as the extension sends it, sealed, then read as it came, as a
 * signal or, with no member, as a page: what the reader returns (a page's
 * last id * 10 + more), any error -1. */
int Deliver(const char *member, int (*append)(sd_bus_message *))
{
	static uint64_t cookie;
	sd_bus_message *m = NULL;
	uint64_t after = 0;
	int more = 0;

	EXPECT_GE(
	    sd_bus_message_new_signal(NowhereBus(), &m, "/o", Iface, member ? member : "Page"), 0);
	EXPECT_GE(append(m), 0);
	EXPECT_GE(sd_bus_message_seal(m, ++cookie, 0), 0);
	int r = member ? GnomeReadSignal(m) : GnomeReadPage(m, &after, &more);
	sd_bus_message_unref(m);
	return r < 0 ? -1 : member ? r : (int)after * 10 + more;
}

TEST(Gnome, ReadsWhatTheExtensionSends)
{
	for (const auto &c : cases) {
		SCOPED_TRACE(c.name);
		GnomeForgetWindows();
		ASSERT_EQ(Deliver("WindowAdded", OldWindow), 1);
		gnomeActive = (HWND)7;
		ASSERT_EQ(Deliver("Restacked", OldOrder), 1);
		EXPECT_EQ(Deliver(c.member, c.append), c.result);
		EXPECT_EQ(Seen(), c.seen);
	}
}

} // namespace
