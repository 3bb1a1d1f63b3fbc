#include <poll.h>
#include <stdio.h>

#include "compositor.h"
#include "desktop.h"

static HWND *visits; /* the windows of the current pass */
static int visitCapacity;
static bool inPass;
static uint64_t passes; /* passes begun */
static uint64_t saidIn; /* the pass that said Enable changed nothing */

static struct {
	WNDENUMPROC callback;
	LPARAM parameter;
	uint64_t version;
	bool acted;
	int repeats; /* passes before it that asked the same after a Sleep */
} last;
static bool slept; /* since the last pass */

static void NotePass(WNDENUMPROC callback, LPARAM parameter, uint64_t version, bool acted)
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

void NoteEmptyPass(WNDENUMPROC callback, LPARAM parameter, uint64_t version)
{
	NotePass(callback, parameter, version, false);
}

HWND *VisitRoom(int count)
{
	HWND *grown;
	int wanted = visitCapacity == 0 ? 64 : visitCapacity;

	if (visits != NULL && count <= visitCapacity)
		return visits; /* also for none: NULL says memory ran out */
	while (wanted < count)
		wanted *= 2;
	grown = (HWND *)realloc(visits, (size_t)wanted * sizeof *visits);
	if (grown == NULL)
		return NULL;
	visits = grown;
	visitCapacity = wanted;
	return visits;
}

BOOL VisitWindows(int count, WNDENUMPROC callback, LPARAM parameter, const uint64_t *version)
{
	uint64_t before = *version;
	BOOL completed = TRUE;

	passes++;
	inPass = true;
	for (int i = 0; i < count; i++) {
		if (!callback(visits[i], parameter)) {
			completed = FALSE;
			break;
		}
	}
	inPass = false;
	NotePass(callback, parameter, *version, *version != before);
	return completed;
}

bool InPass(void)
{
	return inPass;
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

void SayEnableChangedNothing(const char *desktop)
{
	if (inPass && saidIn == passes)
		return;
	fprintf(stderr, "wincue: %s cannot stop a window taking input: Enable changed nothing\n",
	        desktop);
	saidIn = inPass ? passes : 0;
}
