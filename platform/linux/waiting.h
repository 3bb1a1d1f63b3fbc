/*
 * For desktops whose changes arrive as messages on one descriptor (the
 * Wayland compositors): telling a program that waits for the desktop to
 * change from one that asks something new, and waiting for that change.
 * A Find step asks the same pass again and again after a Sleep; once it
 * has done so a few times over an unchanged desktop, its Sleep waits
 * until a message comes, at most a second, and never past its timer.
 */
#ifndef WINCUE_WAITING_H
#define WINCUE_WAITING_H

#include <stdint.h>

#include "../winapi.h"

enum { WaitingRepeats = 16, WaitingFallbackMs = 1000 };

/* Called as a pass ends: which question it asked, the desktop's version
 * (a count of the changes seen) it answered from, and whether it acted
 * on a window. */
void NotePass(WNDENUMPROC callback, LPARAM parameter, uint64_t version, bool acted);

/* Called from the desktop's slept: true when the program is waiting and
 * nothing has changed since its last pass (version is the desktop's now);
 * then *end is when the wait must end. */
bool IsWaiting(uint64_t version, uint64_t due, uint64_t *end);

/* Waits until fd has something to read or the clock reaches end; a
 * signal may cut it short. */
void WaitReadable(int fd, uint64_t end);

#endif
