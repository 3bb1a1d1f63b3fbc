/* What the INI reader of profile.cpp offers beyond the Windows names. */
#ifndef WINCUE_PROFILE_H
#define WINCUE_PROFILE_H

/* Forgets the file held from the last GetPrivateProfileStringA call and
 * frees it; the next call reads its file afresh. Calls for the path held
 * never look at the file again, so a program that reads a changed file
 * (the fuzzer, tests, benchmarks) calls this first. */
void DropProfileCache(void);

#endif
