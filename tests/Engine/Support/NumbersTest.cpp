#include "Engine/Support/Numbers.h"

#include <gtest/gtest.h>

namespace {

TEST(Numbers, PidsAreStrictDecimalsWithin32Bits)
{
    struct Case {
        const char *text;
        std::optional<int32_t> pid;
    };
    const Case cases[] = {
        {"4242", 4242},
        {"+7", 7},
        {"-1", -1},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"99999999999999999999999", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"12 ", std::nullopt},
        {" 12", std::nullopt},
        {"12\n", std::nullopt},
        {"0x10", std::nullopt},
        {"1f", std::nullopt},
    };
    for (const Case &c : cases) EXPECT_EQ(Numbers::parsePid(c.text), c.pid) << '"' << c.text << '"';
}

TEST(Numbers, IntegersKeepToRadixSignAndBounds)
{
    EXPECT_EQ(Numbers::parseInteger("fF", 16, false, 0, 255), 255);
    EXPECT_EQ(Numbers::parseInteger("100", 16, false, 0, 255), std::nullopt);
    EXPECT_EQ(Numbers::parseInteger("-1", 10, false, -5, 5), std::nullopt);
    EXPECT_EQ(Numbers::parseInteger("-5", 10, true, -5, 5), -5);
    EXPECT_EQ(Numbers::parseInteger("-6", 10, true, -5, 5), std::nullopt);
    EXPECT_EQ(Numbers::parseInteger("ab", 10, false, 0, 1000), std::nullopt);
    EXPECT_EQ(Numbers::parseInteger("4294967295", 10, false, 0, UINT32_MAX), UINT32_MAX);
}

} // namespace
