/* What the INI reader of profile.cpp offers beyond the Windows names. */
#ifndef WINCUE_PROFILE_H
#define WINCUE_PROFILE_H

/* Forgets the file held from the last GetPrivateProfileStringA call and
 * frees it; the next call reads its file afresh. For tests and benchmarks:
 * a changed file is noticed without it. */
void DropProfileCache(void);

#endif
