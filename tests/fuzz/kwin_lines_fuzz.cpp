/*
 * libFuzzer target: each input, up to its first NUL (a string on the bus
 * has none), is a batch of lines KWin's script told, applied to an empty
 * cache of windows, which must hold together (check.h) with each UUID and
 * the active one terminated.
 */
#include <stdint.h>
#include <string>

#include "check.h"
#include "platform/linux/desktop/kwin/kwin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	CacheEmpty(&kwinCache);
	KWinApplyLines(std::string((const char *)data, size).c_str());
	CheckCache(&kwinCache);
	for (int i = 0; i < kwinCache.count; i++)
		if (!TERMINATED(((KWinWindow *)CacheAt(&kwinCache, i))->uuid))
			abort();
	if (!TERMINATED(kwinActive))
		abort();
	return 0;
}
