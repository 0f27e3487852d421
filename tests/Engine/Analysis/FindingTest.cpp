#include "Engine/Analysis/Detections.h"
#include "Engine/BSM/UserResolver.h"
#include "Engine/Record/RecordBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

namespace {

TEST(Severity, RawValues)
{
    struct Case {
        const char *name;
        int64_t raw;
        std::optional<Severity> expected;
    };
    const Case cases[] = {
        {"zero is info", 0, Severity::info},
        {"four is critical", 4, Severity::critical},
        {"five", 5, std::nullopt},
        {"negative", -1, std::nullopt},
        {"largest", std::numeric_limits<int64_t>::max(), std::nullopt},
        {"smallest", std::numeric_limits<int64_t>::min(), std::nullopt},
    };
    for (const Case &c : cases) EXPECT_EQ(severityFromRawValue(c.raw), c.expected) << c.name;
}

TEST(Severity, OrderAndTitles)
{
    std::vector<Severity> mixed = {Severity::high, Severity::info, Severity::critical, Severity::low, Severity::medium};
    std::sort(mixed.begin(), mixed.end());
    EXPECT_TRUE(std::equal(mixed.begin(), mixed.end(), allSeverities.begin(), allSeverities.end()));
    const char *titles[] = {"Info", "Low", "Medium", "High", "Critical"};
    for (Severity s : allSeverities) {
        EXPECT_EQ(severityFromRawValue(rawValue(s)), s);
        EXPECT_STREQ(severityTitle(s), titles[rawValue(s)]);
    }
}

// Names are seeded (or recorded as unknown) so the machine's own accounts do not matter.
TEST(Detections, UserAttribution)
{
    UserResolver &resolver = UserResolver::shared();
    resolver.seed(501, "orvik");
    resolver.seed(0, "root");
    resolver.seed(4242, std::nullopt);
    struct Case {
        const char *name;
        std::optional<std::pair<uint32_t, uint32_t>> auidEuid;
        std::string expected;
    };
    const Case cases[] = {
        {"no subject", std::nullopt, "\u2014"},
        {"sudo from a login session", std::pair{501u, 0u}, "orvik \u2192 root"},
        {"no audit session", std::pair{unsetID, 0u}, "root"},
        {"same user", std::pair{501u, 501u}, "orvik"},
        {"unknown audit user in decimal", std::pair{4242u, 0u}, "4242 \u2192 root"},
        {"unknown effective user in decimal", std::pair{501u, 4242u}, "orvik \u2192 4242"},
        {"effective user unset", std::pair{501u, unsetID}, "orvik \u2192 \u2014"},
        {"both unset", std::pair{unsetID, unsetID}, "\u2014"},
    };
    for (const Case &c : cases) {
        RecordContent record;
        if (c.auidEuid) {
            SubjectInfo subject;
            subject.auid = c.auidEuid->first;
            subject.euid = c.auidEuid->second;
            record.subject = subject;
        }
        EXPECT_EQ(Detections::user(record.record()), c.expected) << c.name;
    }
}

} // namespace
