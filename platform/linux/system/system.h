/*
 * What the system stand-ins offer the rest of the Linux build beyond the
 * Windows functions: the clock, the step's deadline, and the one rule by
 * which every text is cut to fit a buffer.
 */
#ifndef WINCUE_SYSTEM_H
#define WINCUE_SYSTEM_H

#include <stddef.h>
#include <stdint.h>

/* Milliseconds on the monotonic clock: process.cpp. */
uint64_t NowMs(void);

/* When the waitable timer is due on that clock, or 0 when none is set: a
 * step that waits for windows ends by then, and so does any wait inside
 * it (process.cpp). */
uint64_t TimerDue(void);

/* The desktop layer hears of every pause, so that a program asking the
 * same of an unchanged desktop can be kept waiting until it changes, never
 * past due (0: no deadline): desktop/pass.cpp. */
void DesktopSlept(uint64_t due);

/* How many bytes of text (length bytes) to keep in a buffer of size bytes
 * with its terminator: all when they fit, else at most size - 1, cut
 * between UTF-8 characters, so that a script's value and a window's name
 * are cut alike. Text that is not UTF-8 there is cut at size - 1: text.cpp. */
size_t FitText(const char *text, size_t length, size_t size);

/* Bytes of the UTF-8 character a byte starts (1 for ASCII); 0 for a byte
 * that starts none: text.cpp. */
size_t Utf8SequenceLength(unsigned char lead);

#endif
