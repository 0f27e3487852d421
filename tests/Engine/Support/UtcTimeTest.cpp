#include "Engine/Support/UtcTime.h"

#include <gtest/gtest.h>

namespace {

TEST(UtcTime, CivilDatesRoundTripAcrossErasAndLeapDays)
{
    // Every day from 1600 to 2400 and a few far out: the day number must come back unchanged
    // and each date must be one the calendar has.
    for (int64_t day = UtcTime::daysFromCivil(1600, 1, 1); day <= UtcTime::daysFromCivil(2400, 12, 31); ++day) {
        const UtcTime::Civil c = UtcTime::civil(day * 86400 + 86399);
        ASSERT_GE(c.day, 1);
        ASSERT_LE(c.day, UtcTime::daysInMonth(c.year, c.month));
        ASSERT_EQ(UtcTime::daysFromCivil(c.year, c.month, c.day), day);
        ASSERT_EQ(c.hour * 3600 + c.minute * 60 + c.second, 86399);
    }
    EXPECT_EQ(UtcTime::daysInMonth(2000, 2), 29);
    EXPECT_EQ(UtcTime::daysInMonth(1900, 2), 28);
    EXPECT_EQ(UtcTime::daysInMonth(2024, 2), 29);
}

TEST(UtcTime, IsoTexts)
{
    struct Case {
        double time;
        const char *seconds;
        const char *milliseconds;
    };
    const Case cases[] = {
        {0, "1970-01-01T00:00:00Z", "1970-01-01T00:00:00.000Z"},
        {-1, "1969-12-31T23:59:59Z", "1969-12-31T23:59:59.000Z"},
        {951782400, "2000-02-29T00:00:00Z", "2000-02-29T00:00:00.000Z"},
        {1709647629.125, "2024-03-05T14:07:09Z", "2024-03-05T14:07:09.125Z"},
        {253402300799, "9999-12-31T23:59:59Z", "9999-12-31T23:59:59.000Z"},
        {253402300800, "10000-01-01T00:00:00Z", "10000-01-01T00:00:00.000Z"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(UtcTime::isoSeconds(int64_t(c.time)), c.seconds) << c.time;
        EXPECT_EQ(UtcTime::isoMilliseconds(c.time), c.milliseconds) << c.time;
    }
    EXPECT_EQ(UtcTime::isoMilliseconds(-0.0005), "1969-12-31T23:59:59.999Z");
}

TEST(UtcTime, ParsesOnlyExactRealTimes)
{
    EXPECT_EQ(UtcTime::parseIsoSeconds("2024-03-05T14:07:09Z"), 1709647629);
    EXPECT_EQ(UtcTime::parseIsoSeconds("2000-02-29T23:59:59Z"), 951868799);
    EXPECT_EQ(UtcTime::parseIsoSeconds("0000-01-01T00:00:00Z"), UtcTime::daysFromCivil(0, 1, 1) * 86400);
    for (const char *text :
         {"1900-02-29T00:00:00Z", "2024-04-31T00:00:00Z", "2024-13-01T00:00:00Z", "2024-03-05T24:00:00Z",
          "2024-03-05T14:60:09Z", "2024-03-05T14:07:60Z", "2024-03-05 14:07:09Z", "2024-03-05T14:07:09",
          "2024-03-05T14:07:09.000Z", "+024-03-05T14:07:09Z", ""})
        EXPECT_FALSE(UtcTime::parseIsoSeconds(text)) << text;
}

} // namespace
