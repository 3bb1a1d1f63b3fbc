#include <gtest/gtest.h>

#include "actions/actions.h"

namespace
{

/* Read as atoi reads it; negative is 0 (Windows would take -1 as "for
 * ever"), and beyond 32 bits saturates rather than wrapping. */
const struct {
	const char *value;
	DWORD ms;
} conversions[] = {
    // clang-format off
    {"500", 500}, {"007", 7}, {"  250", 250}, {"\t\n\v\f\r 9", 9}, {"+42", 42}, {"250ms", 250},
    {"1 2", 1}, {"0x10", 0}, {"abc", 0}, {"", 0}, {"- 5", 0}, {"+-3", 0}, {"-1", 0}, {"-500", 0},
    {"2147483647", 2147483647}, {"2147483648", 2147483647}, {"4294967796", 2147483647},
    {"99999999999999999999999999999", 2147483647}, {"-99999999999999999999999999999", 0},
    // clang-format on
};

TEST(SleepMilliseconds, ReadsTheValueAsAtoiWithoutOverflow)
{
	for (const auto &row : conversions)
		EXPECT_EQ(SleepMilliseconds(row.value), row.ms) << '"' << row.value << '"';
}

} // namespace
