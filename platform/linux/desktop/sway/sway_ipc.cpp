/*
 * sway's IPC socket: i3-ipc messages ("i3-ipc", a 32-bit length and type
 * in the machine's order, then JSON). Replies are read with a deadline, so
 * a compositor that stops answering counts as lost instead of holding the
 * run for ever. Event messages are only counted, never parsed: any of them
 * means the tree must be read again.
 */
#include <errno.h>
#include <fcntl.h>
#include <json-c/json.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "../../../winapi.h"
#include "sway.h"

enum { MagicSize = 6, HeaderSize = MagicSize + 8, DrainSize = 4096 };
static const char Magic[MagicSize + 1] = "i3-ipc";

uint64_t swayChanges;

static int requests = -1;
static int events = -1;
static bool lost;
static struct sockaddr_un address;

static int Dial(void)
{
	int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);

	if (fd < 0)
		return -1;
	if (connect(fd, (const struct sockaddr *)&address, sizeof address) != 0) {
		close(fd);
		return -1;
	}
	return fd;
}

/* MSG_NOSIGNAL: a compositor gone must not end the run with SIGPIPE. */
static bool SendAll(int fd, const char *data, size_t size)
{
	while (size > 0) {
		ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return false;
		data += n;
		size -= (size_t)n;
	}
	return true;
}

static bool ReceiveAll(int fd, char *data, size_t size, uint64_t deadline)
{
	while (size > 0) {
		struct pollfd p = {fd, POLLIN, 0};
		uint64_t now = NowMs();
		int ready = now < deadline ? poll(&p, 1, (int)(deadline - now)) : 0;
		ssize_t n;

		if (ready < 0 && errno == EINTR)
			continue;
		if (ready <= 0)
			return false; /* a recv now could block past the deadline */
		n = recv(fd, data, size, 0);
		if (n < 0 && (errno == EINTR || errno == EAGAIN))
			continue;
		if (n <= 0)
			return false;
		data += n;
		size -= (size_t)n;
	}
	return true;
}

static bool SendMessage(int fd, uint32_t type, const char *payload)
{
	char header[HeaderSize];
	uint32_t length = (uint32_t)strlen(payload);

	memcpy(header, Magic, MagicSize);
	memcpy(header + MagicSize, &length, 4);
	memcpy(header + MagicSize + 4, &type, 4);
	return SendAll(fd, header, sizeof header) && SendAll(fd, payload, length);
}

/* The next message on fd, malloc'd and NUL-terminated; NULL when none
 * comes by the deadline, it is not i3-ipc, or it is longer than any sway
 * sends (its length is not trusted before it is checked). */
static char *ReceiveMessage(int fd, size_t *length, uint64_t deadline)
{
	char header[HeaderSize];
	uint32_t size;
	char *body;

	if (!ReceiveAll(fd, header, sizeof header, deadline) ||
	    memcmp(header, Magic, MagicSize) != 0)
		return NULL;
	memcpy(&size, header + MagicSize, 4);
	if (size > SwayReplyCap)
		return NULL;
	body = (char *)malloc((size_t)size + 1);
	if (body == NULL)
		return NULL;
	if (!ReceiveAll(fd, body, size, deadline)) {
		free(body);
		return NULL;
	}
	body[size] = '\0';
	if (length != NULL)
		*length = size;
	return body;
}

/* A request and its reply, within ms. */
static char *Exchange(int fd, uint32_t type, const char *payload, size_t *length, uint64_t ms)
{
	if (!SendMessage(fd, type, payload))
		return NULL;
	return ReceiveMessage(fd, length, NowMs() + ms);
}

static void CloseAll(void)
{
	if (requests >= 0)
		close(requests);
	if (events >= 0)
		close(events);
	requests = events = -1;
}

/* True when the reply is a JSON object with this member, and when a
 * boolean, true. Frees the reply. */
static bool Says(char *reply, const char *member)
{
	json_object *object = reply != NULL ? json_tokener_parse(reply) : NULL;
	json_object *value = NULL;
	bool says =
	    json_object_object_get_ex(object, member, &value) &&
	    (!json_object_is_type(value, json_type_boolean) || json_object_get_boolean(value));

	json_object_put(object);
	free(reply);
	return says;
}

/* An event socket subscribed to window events; -1 when sway refuses. */
static int Subscribe(uint64_t ms)
{
	int fd = Dial();

	if (fd < 0)
		return -1;
	if (!Says(Exchange(fd, SwaySubscribe, "[\"window\"]", NULL, ms), "success")) {
		close(fd);
		return -1;
	}
	fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
	return fd;
}

bool SwayConnect(void)
{
	const char *path = getenv("SWAYSOCK");

	if (path == NULL || path[0] == '\0' || strlen(path) >= sizeof address.sun_path)
		return false;
	address.sun_family = AF_UNIX;
	strcpy(address.sun_path, path);
	requests = Dial();
	if (requests < 0)
		return false;
	/* i3's socket speaks the same, but names no variant. */
	if (!Says(Exchange(requests, SwayGetVersion, "", NULL, SwayOpenMs), "variant")) {
		CloseAll();
		return false;
	}
	/* Subscribed before the first read of the tree, so that no change
	 * after that read goes unseen. */
	events = Subscribe(SwayOpenMs);
	if (events < 0) {
		CloseAll();
		return false;
	}
	return true;
}

static void Lose(void)
{
	if (lost)
		return;
	lost = true;
	CloseAll();
	SayDesktopLost("lost sway at", address.sun_path);
}

bool SwayAlive(void)
{
	return !lost;
}

char *SwayRequest(uint32_t type, const char *payload, size_t *length)
{
	char *reply;

	if (lost)
		return NULL;
	reply = Exchange(requests, type, payload, length, SwayReplyMs);
	if (reply == NULL)
		Lose();
	return reply;
}

/* sway drops a subscriber that lets events pile up (a long Sleep over a
 * busy desktop): then subscribe again, and count it as a change, since
 * some went unseen. */
static bool Resubscribe(void)
{
	close(events);
	events = Subscribe(SwayReplyMs);
	if (events < 0) {
		Lose();
		return false;
	}
	swayChanges++;
	return true;
}

bool SwayTakeEvents(void)
{
	char drain[DrainSize];
	bool changed = false;

	if (lost)
		return false;
	for (;;) {
		ssize_t n = recv(events, drain, sizeof drain, MSG_DONTWAIT);
		if (n > 0) {
			changed = true;
			continue;
		}
		if (n < 0 && errno == EINTR)
			continue;
		if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
			break;
		if (!Resubscribe())
			return false;
		break;
	}
	if (changed)
		swayChanges++;
	return true;
}

int SwayEventDescriptor(void)
{
	return lost ? -1 : events;
}
