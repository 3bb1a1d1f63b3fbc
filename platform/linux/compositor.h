/*
 * What the Wayland compositors' desktops (sway/, kwin/) share: both keep
 * a list of the windows the compositor told them of, and hear of changes
 * as messages on one descriptor.
 *
 * A pass visits the windows as they were when it began. A Find step asks
 * the same pass again and again after a Sleep; once it has done so a few
 * times over an unchanged desktop, its Sleep waits until a message comes,
 * at most a second, and never past its timer.
 */
#ifndef WINCUE_COMPOSITOR_H
#define WINCUE_COMPOSITOR_H

#include <stdint.h>

#include "../winapi.h"

enum { WaitingRepeats = 16, WaitingFallbackMs = 1000 };

/* Room for the ids of count windows to visit; NULL when memory runs out
 * (a failure, as Windows has them). */
HWND *VisitRoom(int count);

/* Calls back for each of the first count windows put in the room: the
 * windows as they were when the pass began, whatever the callback does
 * to the desktop's list. *version counts the desktop's changes: one that
 * moved during the pass means the pass acted, or the desktop changed
 * under it. FALSE when the callback stopped the pass. */
BOOL VisitWindows(int count, WNDENUMPROC callback, LPARAM parameter, const uint64_t *version);

/* Notes a pass that found no desktop to read. */
void NoteEmptyPass(WNDENUMPROC callback, LPARAM parameter, uint64_t version);

/* True while VisitWindows calls back. */
bool InPass(void);

/* For the desktop's slept: true when the program is waiting and nothing
 * has changed since its last pass (version is the desktop's now); then
 * *end is when the wait must end. */
bool IsWaiting(uint64_t version, uint64_t due, uint64_t *end);

/* Waits until fd has something to read or the clock reaches end; a
 * signal may cut it short, and a negative fd just pauses. */
void WaitReadable(int fd, uint64_t end);

/* For a desktop that cannot refuse a window's input: says so on standard
 * error, once a pass (a user must not believe a window locked when it is
 * not), or at each call outside a pass. */
void SayEnableChangedNothing(const char *desktop);

#endif
