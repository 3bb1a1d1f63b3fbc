/*
 * libFuzzer target: each input is sway's answer to get_tree, read as the
 * sway desktop reads it. Whatever it holds, the read ends (libFuzzer's
 * -timeout says how soon), and leaves a cache that holds together
 * (check.h), the focused window among its windows.
 */
#include <stdint.h>

#include "check.h"
#include "platform/linux/desktop/sway/sway.h"

static const uint8_t *input;
static size_t inputSize;

/* A double of sway: the input is its answer. */
char *SwayRequest(uint32_t, const char *, size_t *length)
{
	char *reply = (char *)malloc(inputSize + 1);

	if (reply == NULL)
		abort();
	memcpy(reply, input, inputSize);
	reply[inputSize] = '\0';
	*length = inputSize;
	return reply;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	input = data;
	inputSize = size;
	if (!SwayReadTree())
		abort();
	CheckCache(&swayCache);
	if (swayFocused != 0 && SwayFind(swayFocused) == NULL)
		abort();
	return 0;
}
