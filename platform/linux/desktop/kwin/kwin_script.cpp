/*
 * The script KWin runs for the program (kwin_script.js), under a name of
 * the program's unique bus name. It tells the program of the
 * windows in batches: each holds the whole state (minimized, pid, place in
 * the stacking order, class, title) of every window that changed since the
 * batch before, or that it went, and the active window when that changed,
 * so a batch told twice does no harm. One batch at a time is on its way; the
 * next goes when the program answers, and the same again when no answer
 * comes in time (KWin's callDBus never calls back on an error, such as a
 * bus refusing a call past its limit of replies outstanding).
 *
 * Commands come as answers to a Next call the script keeps waiting: each
 * carries a number, and the batch after them says the last number carried
 * out, so the program knows when they took effect; the script waits on the
 * program again once that batch is answered. A command is a line: a
 * window's id, then m and 1 or 0 (minimize or restore it), x and 1 or 0
 * (maximize it or not), a (activate it), c (close it as its close button
 * does), d and the path
 * of a shield script (disable it: KWin loads that script under the name
 * wincue-off-ID and starts it, both asked at once, so no run killed
 * meanwhile can part them), or e (enable it: KWin unloads the shield).
 * Commands count as carried out once KWin has answered those calls. Each
 * d has one Shielded call back: from the shield, or from the script when
 * the window has gone ("gone") or KWin already held a shield ("held"). A waiting call fails after
 * 25 s: one waiting 10 s is replaced (a timer looks every 5 s), and the
 * program answers the newest. When the program's bus name goes (it ended,
 * or was killed), the script unloads itself at the next look, the first
 * at once.
 *
 * Texts cross the bus as ASCII: every character outside printable ASCII,
 * and the backslash, goes as \uXXXX (UTF-16), so any title arrives as it
 * is, and tabs and newlines part the fields and windows.
 *
 * KWin 6 lists its own windows to scripts too, the shields among them:
 * the script leaves those out.
 */
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kwin.h"
#include "kwin_texts.h" /* script, shieldHead, shieldBody */

/*
 * The shield: a declarative script KWin keeps for one disabled window,
 * under the name wincue-off-ID, until Enable=1 unloads it, the window
 * closes (it then unloads itself) or KWin ends. No property of a window
 * stops its input, so the script does it from inside KWin:
 *
 * - the pointer: a transparent window of KWin's own over the window's
 *   frame, which swallows clicks and the wheel. KWin keeps its own windows
 *   above every other, so the shield lets the pointer through (KWin's
 *   outputOnly) where a window stacked above the disabled one covers the
 *   pointer; that is worked out again whenever the pointer, a window's
 *   place, stacking, desktop or minimizing changes, which KWin tells
 *   before it picks the window under the pointer for the next event. It
 *   shows without activating, or KWin would give it every key;
 * - the keyboard: the window is left out of the task switcher, taken off
 *   the focus when disabled, and any activation of it (a script, the
 *   focused window closing) is undone at once, inside KWin's own
 *   activation, so no key reaches it: the window active before gets the
 *   focus back a moment later, if it is still there.
 *
 * KWin takes a window of its own in, and picks it for the pointer, only
 * once it has drawn its first frame, a moment after the script started:
 * the script then calls back the program that wrote it (Shielded, with the
 * window's id and "shielded"), which ends its step then. It calls "gone"
 * when the window has closed, and "cannot" when it could not make its
 * window (the QtQuick window module is missing); then it unloads itself,
 * and the window stays enabled. Its text is kwin_shield.qml with the bus
 * name to call back and the window's id written in, as QML strings (its
 * caller and uuid properties).
 */

/* The run directory is the user's own; KWin, perhaps another user, needs
 * only to read the file, whose name ends in suffix. */
static int CreateScriptFile(char *path, int size, const char *suffix)
{
	const char *dir = getenv("XDG_RUNTIME_DIR");
	int fd;

	if (dir == NULL || dir[0] != '/')
		dir = "/tmp";
	if (snprintf(path, (size_t)size, "%s/wincue-kwin-XXXXXX%s", dir, suffix) >= size ||
	    strchr(path, '\n') != NULL)
		return -1;
	fd = mkstemps(path, (int)strlen(suffix));
	if (fd >= 0 && fchmod(fd, 0644) != 0) {
		close(fd);
		unlink(path);
		return -1;
	}
	return fd;
}

/* Writes what format says, then text, to a new file readable by KWin. */
static bool WriteScript(const char *text, const char *suffix, char *path, int size,
                        const char *format, ...)
{
	int fd = CreateScriptFile(path, size, suffix);
	va_list ap;
	FILE *f;
	bool written;

	if (fd < 0)
		return false;
	f = fdopen(fd, "w");
	if (f == NULL) {
		close(fd);
		unlink(path);
		return false;
	}
	va_start(ap, format);
	vfprintf(f, format, ap);
	va_end(ap);
	fputs(text, f);
	written = ferror(f) == 0;
	if (fclose(f) != 0 || !written) {
		unlink(path);
		return false;
	}
	return true;
}

/* Whether text has only characters of chars: nothing else goes into the
 * scripts' text. */
static bool Only(const char *text, const char *chars)
{
	return strspn(text, chars) == strlen(text);
}

/* What a unique bus name, and so a script's name, is made of. */
static const char busNameChars[] = ":._-0123456789"
                                   "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

bool KWinWriteScript(const char *caller, const char *name, char *path, int size)
{
	if (!Only(caller, busNameChars) || !Only(name, busNameChars))
		return false;
	return WriteScript(script, ".js", path, size, "var caller = \"%s\", name = \"%s\";\n",
	                   caller, name);
}

bool KWinWriteShield(const char *caller, const char *uuid, char *path, int size)
{
	if (!Only(uuid, "0123456789abcdefABCDEF{}-") || !Only(caller, busNameChars))
		return false;
	return WriteScript(shieldBody, ".qml", path, size,
	                   "%s    readonly property string caller: \"%s\"\n"
	                   "    readonly property string uuid: \"%s\"",
	                   shieldHead, caller, uuid);
}
