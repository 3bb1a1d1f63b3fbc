/*
 * libFuzzer target: each input is a few messages as the GNOME extension
 * might send them, each built from the input's bytes (which signal, then
 * values of any type, arrays and records, in any order), read by the
 * GNOME records' readers from an empty cache, which must hold together
 * (check.h). A message sd-bus refuses to build is left out, as the bus
 * would never deliver it.
 */
#include <fuzzer/FuzzedDataProvider.h>

#include "check.h"
#include "platform/linux/desktop/gnome/gnome.h"
#include "tests/platform/nowhere_bus.h"

static const char *const members[] = {"WindowAdded",   "WindowChanged", "WindowClosed",
                                      "ActiveChanged", "Restacked",     "Page"};
static const char *const arrays[] = {"t", "(tssibbb)", "s"};

static int AppendRecord(sd_bus_message *m, FuzzedDataProvider &in)
{
	uint64_t id = in.ConsumeIntegral<uint8_t>();
	int32_t pid = in.ConsumeIntegral<int32_t>();
	uint8_t flags = in.ConsumeIntegral<uint8_t>();

	return sd_bus_message_append(m, "(tssibbb)", id, "title", "class", pid, flags & 1,
	                             flags >> 1 & 1, flags >> 2 & 1);
}

/* Appends up to 32 values, ids small enough to meet; false when sd-bus
 * refused one, which leaves the message unsendable. */
static bool AppendValues(sd_bus_message *m, FuzzedDataProvider &in)
{
	int depth = 0, r = 0;

	for (int n = in.ConsumeIntegralInRange(0, 32); n > 0 && r >= 0; n--) {
		int kind = in.ConsumeIntegralInRange(0, 6);
		if (kind == 0)
			r = sd_bus_message_append(m, "t", (uint64_t)in.ConsumeIntegral<uint16_t>());
		else if (kind == 1) /* a string sd-bus takes only as valid UTF-8 */
			r = sd_bus_message_append(m, "s",
			                          in.ConsumeRandomLengthString(255).c_str());
		else if (kind == 2)
			r = sd_bus_message_append(m, "i", in.ConsumeIntegral<int32_t>());
		else if (kind == 3)
			r = sd_bus_message_append(m, "b", (int)in.ConsumeBool());
		else if (kind == 4)
			depth += (r = sd_bus_message_open_container(
			              m, 'a', in.PickValueInArray(arrays))) >= 0;
		else if (kind == 5 && depth > 0)
			depth -= (r = sd_bus_message_close_container(m)) >= 0;
		else if (kind == 6)
			r = AppendRecord(m, in);
	}
	while (depth-- > 0 && r >= 0)
		r = sd_bus_message_close_container(m);
	return r >= 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	FuzzedDataProvider in(data, size);
	uint64_t cookie = 1, after;
	int more;

	GnomeForgetWindows();
	for (int n = 0; n < 8 && in.remaining_bytes() > 0; n++) {
		const char *member = in.PickValueInArray(members);
		sd_bus_message *m = NULL;
		if (sd_bus_message_new_signal(NowhereBus(), &m, "/org/wincue/Shell",
		                              "org.wincue.Shell", member) < 0)
			__builtin_trap();
		bool sent = AppendValues(m, in) && sd_bus_message_seal(m, cookie++, 0) >= 0;
		if (sent && strcmp(member, "Page") == 0)
			GnomeReadPage(m, &after, &more);
		else if (sent)
			GnomeReadSignal(m);
		sd_bus_message_unref(m);
		CheckCache(&gnomeCache);
	}
	return 0;
}
