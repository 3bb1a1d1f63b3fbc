/*
 * The cost of one Find pass over the live desktop (DISPLAY): the real
 * FindWindowProc looking for a title no window has, so each pass visits
 * every top-level window and reads both its names. Used by
 * scripts/bench-x11.py; prints "first-pass-us", "windows" and
 * "pass-us <median> <p95> <min>".
 */
#include <algorithm>
#include <stdlib.h>
#include <time.h>
#include <vector>

#include "actions/actions.h"
#include "platform/linux/desktop/x11/x11.h"
#include "script/steps.h"

static double NowUs()
{
	struct timespec t;
	clock_gettime(CLOCK_MONOTONIC, &t);
	return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

static int visits;

static BOOL CALLBACK Count(HWND, LPARAM)
{
	visits++;
	return TRUE;
}

int main(int argc, char **argv)
{
	int passes = argc > 1 ? atoi(argv[1]) : 5000;
	std::vector<double> costs;

	UseDesktop(&x11Desktop);
	x11Desktop.open();
	snprintf(StepTable[0].Text, ValueSize, "wincue-bench-no-such-window");
	currentStep = 0;
	double start = NowUs();
	EnumWindows(FindWindowProc, 0);
	printf("first-pass-us %.0f\n", NowUs() - start);
	EnumWindows(Count, 0);
	printf("windows %d\n", visits);
	for (int i = 0; i < passes; i++) {
		start = NowUs();
		EnumWindows(FindWindowProc, 0);
		costs.push_back(NowUs() - start);
	}
	std::sort(costs.begin(), costs.end());
	printf("pass-us %.1f %.1f %.1f\n", costs[costs.size() / 2], costs[costs.size() * 95 / 100],
	       costs[0]);
	return 0;
}
