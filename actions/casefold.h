/* Unicode's simple case folding over UTF-8, by which a script from 1.4 on
 * compares Text with Case=0 on every system alike. */
#ifndef WINCUE_CASEFOLD_H
#define WINCUE_CASEFOLD_H

#include <stddef.h>

/* A byte that does not begin a well-formed UTF-8 character stands for
 * itself as NotUtf8 + the byte, equal to no character. */
enum { NotUtf8 = 0x110000 };

/* The first length bytes of text as characters, each folded (the Kelvin
 * sign as k, final sigma as sigma), into folded, which has room for
 * length of them; returns how many. Cannot fail. */
size_t FoldText(const char *text, size_t length, unsigned *folded);

#endif
