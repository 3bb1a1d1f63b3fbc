#include <stdarg.h>

#include "../../winapi.h"

/* As the Microsoft runtime's: the result always fits and is terminated.
 * Where Windows would end the process on overflow, this leaves the buffer
 * empty and returns -1; callers check lengths first. */
int sprintf_s(char *buffer, size_t sizeOfBuffer, const char *format, ...)
{
	va_list ap;
	int n;

	if (buffer == NULL || sizeOfBuffer == 0)
		return -1;
	va_start(ap, format);
	n = vsnprintf(buffer, sizeOfBuffer, format, ap);
	va_end(ap);
	if (n < 0 || (size_t)n >= sizeOfBuffer) {
		buffer[0] = '\0';
		return -1;
	}
	return n;
}
