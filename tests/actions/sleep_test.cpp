#include <gtest/gtest.h>

#include "actions/actions.h"

namespace
{

const struct {
	const char *value;
	DWORD ms;
} conversions[] = {
    {"500", 500},
    {"007", 7},
    {"  250", 250},
    {"\t\n\v\f\r 9", 9},
    {"+42", 42},
    {"250ms", 250},
    {"1 2", 1},
    {"0x10", 0},
    {"abc", 0},
    {"", 0},
    {"- 5", 0},
    {"+-3", 0},
    /* negative: Windows would take -1 as "for ever" */
    {"-1", 0},
    {"-500", 0},
    /* beyond 32 bits: saturates rather than wrapping */
    {"2147483647", 2147483647},
    {"2147483648", 2147483647},
    {"4294967796", 2147483647},
    {"99999999999999999999999999999", 2147483647},
    {"-99999999999999999999999999999", 0},
};

TEST(SleepMilliseconds, ReadsTheValueAsAtoiWithoutOverflow)
{
	for (const auto &row : conversions)
		EXPECT_EQ(SleepMilliseconds(row.value), row.ms) << '"' << row.value << '"';
}

} // namespace
