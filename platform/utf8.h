#ifndef WINCUE_UTF8_H
#define WINCUE_UTF8_H

#include <stddef.h>

/* How many bytes of text (length bytes) to keep in a buffer of size bytes
 * with its terminator: all when they fit, else at most size - 1, cut
 * between UTF-8 characters. Text that is not UTF-8 there is cut at
 * size - 1. */
size_t FitText(const char *text, size_t length, size_t size);

/* Bytes of the UTF-8 character a byte starts (1 for ASCII); 0 for a byte
 * that starts none. */
size_t Utf8SequenceLength(unsigned char lead);

#endif
