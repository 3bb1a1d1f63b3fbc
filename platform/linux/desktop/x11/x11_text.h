/*
 * Window titles and classes as X11 properties hold them, turned into the
 * UTF-8 that wincue compares. No xcb: a property's type is mapped to an
 * encoding by the caller.
 */
#ifndef WINCUE_X11_TEXT_H
#define WINCUE_X11_TEXT_H

enum X11Encoding { X11TextUtf8, X11TextLatin1, X11TextCompound };

/* Text of a property as terminated UTF-8 cut to size - 1 bytes at most,
 * between characters; returns the length. */
int X11DecodeText(enum X11Encoding encoding, const char *bytes, int length, char *out, int size);

#endif
