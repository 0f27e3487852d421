#include "Engine/Parser/LoadEstimate.h"

#include <gtest/gtest.h>

namespace {

TEST(LoadEstimate, RefusesOnlyWhatWouldNotFit)
{
    const uint64_t file = 100000000; // 100 MB
    const uint64_t needed = LoadEstimate::memoryNeeded(file);
    EXPECT_GE(needed, 4 * file); // a load's peak is several times the trail
    EXPECT_EQ(LoadEstimate::refusal(file, needed), std::nullopt);
    EXPECT_EQ(LoadEstimate::refusal(0, 0), std::nullopt);
    EXPECT_EQ(LoadEstimate::refusal(file, needed - 1),
              "loading it needs about " + LoadEstimate::byteText(needed) + " of memory, and "
                  + LoadEstimate::byteText(needed - 1) + " is available");
    // A size near the top of the range must not wrap round to a small need.
    EXPECT_EQ(LoadEstimate::memoryNeeded(UINT64_MAX / 2), UINT64_MAX);
    EXPECT_TRUE(LoadEstimate::refusal(UINT64_MAX / 2, UINT64_MAX - 1));
}

TEST(LoadEstimate, ByteTexts)
{
    const struct {
        uint64_t bytes;
        const char *text;
    } cases[] = {
        {0, "0 KB"},           {1, "1 KB"},           {999999, "1000 KB"},        {1000000, "1.0 MB"},
        {2540000, "2.5 MB"},   {999000000, "999.0 MB"}, {1000000000, "1.0 GB"}, {6123456789, "6.1 GB"},
    };
    for (const auto &c : cases) EXPECT_EQ(LoadEstimate::byteText(c.bytes), c.text) << c.bytes;
}

TEST(LoadEstimate, ReadsTheAvailableMemory)
{
    const auto available = LoadEstimate::memoryAvailable();
    ASSERT_TRUE(available); // every Linux since 3.14 reports it
    EXPECT_GT(*available, 0u);
}

} // namespace
