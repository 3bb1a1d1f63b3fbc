/*
 * libFuzzer target: each input becomes config.ini, and LoadScript reads it
 * through the Linux INI reader, from a fresh step table and a fresh reader.
 * Each input is loaded in a private directory (and the fuzzer's own paths,
 * relative ones too, stay as given); the echo goes to /dev/null.
 */
#include <fcntl.h>
#include <stdint.h>
#include <unistd.h>

#include "platform/linux/system/profile.h"
#include "platform/winapi.h"
#include "script/steps.h"

static char dir[] = "/tmp/wincue-fuzz-XXXXXX";
static char script[sizeof dir + 11];
static int home = -1; /* the directory the fuzzer was started in */

static void RemoveDir(void)
{
	unlink(script);
	rmdir(dir);
}

/* The reader allocates a copy of every input and its index; with the
 * default 256 MB quarantine, ASan spends a good part of each run recycling
 * memory. 16 MB still outlives every buffer freed within a few loads. */
extern "C" const char *__asan_default_options(void)
{
	return "quarantine_size_mb=16";
}

static void Fail(const char *what)
{
	perror(what);
	abort();
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
	int null = open("/dev/null", O_WRONLY);

	if (mkdtemp(dir) == NULL)
		Fail(dir);
	snprintf(script, sizeof script, "%s/config.ini", dir);
	atexit(RemoveDir);
	home = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	if (home < 0)
		Fail(".");
	if (null < 0 || dup2(null, STDOUT_FILENO) < 0)
		Fail("/dev/null");
	close(null);
	return 0;
}

/* What every load must leave: each value terminated within its buffer,
 * and nothing read past the section that ended the script. */
static void CheckTable(void)
{
	static const StepRecord zero = {};

	if (stepCount < 0 || stepCount > MaxSteps)
		abort();
	for (int i = 0; i < MaxSteps; i++) {
		const char *record = (const char *)&StepTable[i];
		for (size_t k = 0; k < sizeof(StepRecord) / ValueSize; k++)
			if (memchr(record + k * ValueSize, '\0', ValueSize) == NULL)
				abort();
		if (i > stepCount && memcmp(&StepTable[i], &zero, sizeof zero) != 0)
			abort();
	}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	FILE *f = fopen(script, "wb");

	if (f == NULL || fwrite(data, 1, size, f) != size || fclose(f) != 0)
		Fail(script);
	ResetScript();
	DropProfileCache();
	if (chdir(dir) != 0)
		Fail(dir);
	LoadScript();
	if (fchdir(home) != 0)
		Fail(".");
	fflush(stdout);
	CheckTable();
	return 0;
}
