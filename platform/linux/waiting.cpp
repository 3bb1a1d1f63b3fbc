#include <poll.h>

#include "desktop.h"
#include "waiting.h"

static struct {
	WNDENUMPROC callback;
	LPARAM parameter;
	uint64_t version;
	bool acted;
	int repeats; /* passes before it that asked the same after a Sleep */
} last;
static bool slept; /* since the last pass */

void NotePass(WNDENUMPROC callback, LPARAM parameter, uint64_t version, bool acted)
{
	bool same = slept && !last.acted && last.callback == callback &&
	            last.parameter == parameter && last.version == version;

	last.repeats = same ? last.repeats + 1 : 0;
	last.callback = callback;
	last.parameter = parameter;
	last.version = version;
	last.acted = acted;
	slept = false;
}

bool IsWaiting(uint64_t version, uint64_t due, uint64_t *end)
{
	uint64_t fallback = NowMs() + WaitingFallbackMs;

	slept = true;
	if (last.acted || last.repeats < WaitingRepeats || last.version != version)
		return false;
	*end = due != 0 && due < fallback ? due : fallback;
	return true;
}

void WaitReadable(int fd, uint64_t end)
{
	struct pollfd p = {fd, POLLIN, 0};
	uint64_t now = NowMs();

	if (end > now)
		poll(&p, 1, (int)(end - now));
}
