/*
 * libFuzzer target: each input is a few messages as the GNOME extension
 * might send them, each built from the input's bytes (which signal, then
 * values of any type, arrays and records, in any order), read by the
 * GNOME records' readers from an empty cache, which must hold together
 * (check.h). A message sd-bus refuses to build is left out, as the bus
 * would never deliver it.
 */
#include <stdint.h>
#include <sys/socket.h>

#include "check.h"
#include "platform/linux/desktop/gnome/gnome.h"

static const char *const members[] = {"WindowAdded",   "WindowChanged", "WindowClosed",
                                      "ActiveChanged", "Restacked",     "Page"};
static const char *const arrays[] = {"t", "(tssibbb)", "s"};
enum { MembersCount = sizeof members / sizeof members[0], Separator = 0xff };

static sd_bus *bus;

/* The input, consumed a byte or a field at a time; zeros past its end. */
struct Input {
	const uint8_t *data;
	size_t size;
};

static uint64_t Number(Input *in, int bytes)
{
	uint64_t n = 0;

	for (; bytes > 0; bytes--, in->data += in->size > 0, in->size -= in->size > 0)
		n = n << 8 | (in->size > 0 ? in->data[0] : 0);
	return n;
}

/* A string of up to 255 bytes, which sd-bus takes only as valid UTF-8. */
static int AppendString(sd_bus_message *m, Input *in)
{
	char text[256] = "";
	size_t length = Number(in, 1);

	length = length < in->size ? length : in->size;
	memcpy(text, in->data, length);
	in->data += length;
	in->size -= length;
	return sd_bus_message_append(m, "s", text);
}

static int AppendRecord(sd_bus_message *m, Input *in)
{
	uint64_t id = Number(in, 1);
	int32_t pid = (int32_t)Number(in, 4);
	uint8_t flags = (uint8_t)Number(in, 1);

	return sd_bus_message_append(m, "(tssibbb)", id, "title", "class", pid, flags & 1,
	                             flags >> 1 & 1, flags >> 2 & 1);
}

/* Appends values until the separator or the end; false when sd-bus refused
 * one, which leaves the message unsendable. */
static bool AppendValues(sd_bus_message *m, Input *in)
{
	int depth = 0, r = 0;

	while (in->size > 0 && in->data[0] != Separator && r >= 0) {
		uint64_t kind = Number(in, 1) % 8;
		if (kind == 0)
			r = sd_bus_message_append(m, "t", Number(in, 2));
		else if (kind == 1)
			r = AppendString(m, in);
		else if (kind == 2)
			r = sd_bus_message_append(m, "i", (int32_t)Number(in, 4));
		else if (kind == 3)
			r = sd_bus_message_append(m, "b", (int)Number(in, 1) & 1);
		else if (kind == 4)
			depth += (r = sd_bus_message_open_container(
			              m, 'a', arrays[Number(in, 1) % 3])) >= 0;
		else if (kind == 5 && depth > 0)
			depth -= (r = sd_bus_message_close_container(m)) >= 0;
		else if (kind > 5)
			r = AppendRecord(m, in);
	}
	while (depth-- > 0 && r >= 0)
		r = sd_bus_message_close_container(m);
	Number(in, 1); /* the separator */
	return r >= 0;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
	int fds[2];

	if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0 || sd_bus_new(&bus) < 0 ||
	    sd_bus_set_fd(bus, fds[0], fds[0]) < 0 || sd_bus_start(bus) < 0)
		__builtin_trap();
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	Input in = {data, size};
	uint64_t cookie = 1;

	GnomeForgetWindows();
	for (int n = 0; n < 8 && in.size > 0; n++) {
		int member = (int)(Number(&in, 1) % MembersCount);
		sd_bus_message *m = NULL;
		if (sd_bus_message_new_signal(bus, &m, "/org/wincue/Shell", "org.wincue.Shell",
		                              members[member]) < 0)
			__builtin_trap();
		uint64_t after = 0;
		int more = 0;
		bool sent = AppendValues(m, &in) && sd_bus_message_seal(m, cookie++, 0) >= 0;
		if (sent && strcmp(members[member], "Page") == 0)
			GnomeReadPage(m, &after, &more);
		else if (sent)
			GnomeReadSignal(m);
		sd_bus_message_unref(m);
		CheckCache(&gnomeCache);
	}
	return 0;
}
