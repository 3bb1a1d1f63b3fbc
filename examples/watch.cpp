/*
 * watch CLASS: prints a line whenever the top-level windows of CLASS change
 * how Windows sees them (how many, visible, enabled), so the demo can show
 * wincue's effect from outside. Runs until ended.
 */
#include <stdio.h>
#include <string.h>
#include <windows.h>

struct Seen {
	int count, visible, enabled;
};

static const char *className;
static Seen now;

static BOOL CALLBACK CountWindow(HWND window, LPARAM unused)
{
	char name[256];

	(void)unused;
	GetClassNameA(window, name, sizeof name);
	if (strcmp(name, className) == 0) {
		now.count++;
		now.visible += IsWindowVisible(window) ? 1 : 0;
		now.enabled += IsWindowEnabled(window) ? 1 : 0;
	}
	return TRUE;
}

int main(int argc, char **argv)
{
	Seen last = {-1, -1, -1};

	if (argc != 2) {
		fprintf(stderr, "usage: watch CLASS\n");
		return 2;
	}
	className = argv[1];
	setvbuf(stdout, NULL, _IONBF, 0);
	printf("watching\n");
	for (;;) {
		memset(&now, 0, sizeof now);
		EnumWindows(CountWindow, 0);
		if (memcmp(&now, &last, sizeof now) != 0) {
			if (now.count == 0)
				printf("no %s window\n", className);
			else
				printf("%s: %s, %s\n", className,
				       now.visible ? "visible" : "hidden",
				       now.enabled ? "enabled" : "disabled");
			last = now;
		}
		Sleep(5);
	}
}
