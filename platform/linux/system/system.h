/*
 * What the system stand-ins offer the rest of the Linux build beyond the
 * Windows functions: the clock, the step's deadline, waits and pauses,
 * the program's modules, and the one rule by which every text is cut to
 * fit a buffer. Nothing here calls into the desktop layer above it, which
 * hears of pauses through the hook it sets.
 */
#ifndef WINCUE_SYSTEM_H
#define WINCUE_SYSTEM_H

#include <stddef.h>
#include <stdint.h>

#include "../../utf8.h"

/* Milliseconds on the monotonic clock: process.cpp. */
uint64_t NowMs(void);

/* When the waitable timer is due on that clock, or 0 when none is set: a
 * step that waits for windows ends by then, and so does any wait inside
 * it; with setting, also which setting of the timer that is, each step's
 * its own even when two are due in the same millisecond (process.cpp). */
uint64_t TimerDue(uint64_t *setting);

/* Waits until fd has something to read or the clock reaches end; a signal
 * may cut it short, and a negative fd just pauses: process.cpp. */
void WaitReadable(int fd, uint64_t end);

/* What hears of every pause the program makes, after it (Sleep, a wait
 * for the timer), with when the timer is due (0: no deadline): the
 * desktop layer, which may keep a program that asks the same of an
 * unchanged desktop waiting until it changes, never past due. NULL, the
 * start: none. */
typedef void (*PauseHook)(uint64_t due);
void SetPauseHook(PauseHook hook);

/* Runs a function a module of the program carries (wincue-NAME.so, found
 * as the desktops' are: desktop/choice.cpp), taking nothing and returning
 * an exit status; 1, having said why, when the module cannot be loaded. */
int RunModuleTool(const char *module, const char *entry);

/* The descriptor a file handle of CreateFileA holds, or -1 for any other
 * handle, which CloseHandle uses: profile.cpp. */
int FileDescriptorOf(void *handle);

#endif
