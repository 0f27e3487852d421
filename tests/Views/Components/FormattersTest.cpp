#include "Views/Components/AttackLink.h"
#include "Views/Components/Formatters.h"
#include "Views/Components/NaturalCompare.h"

#include <QLocale>
#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class FormattersTest : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
};

TEST_F(FormattersTest, NaturalOrderUnderTheCLocale)
{
    QLocale::setDefault(QLocale::c());
    struct Case {
        const char *a;
        const char *b;
        int sign;
    };
    const Case cases[] = {
        {"user9", "user10", -1},
        {"user10", "user9", 1},
        {"User2", "user10", -1}, // case ignored
        {"abc", "ABD", -1},
        {"file007", "file7", -1}, // equal numbers: plain order decides, so the order is total
        {"file7", "file7", 0},
        {"a", "a1", -1}, // a prefix first
        {"10.0.0.9", "10.0.0.10", -1},
        {"x99999999999999999999", "x100000000000000000000", -1}, // longer than any integer type
        {"", "a", -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        const int order = naturalCompare(QString(c.a), QString(c.b));
        EXPECT_EQ((order > 0) - (order < 0), c.sign);
    }
    QStringList names = {"user10", "user9", "User1", "admin", "user100"};
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) { return naturalLess(a, b); });
    EXPECT_EQ(names, QStringList({"admin", "User1", "user9", "user10", "user100"}));
}

TEST_F(FormattersTest, Durations)
{
    using namespace Format;
    struct Case {
        double seconds;
        unsigned units;
        UnitsStyle style;
        int maxUnits;
        const char *expected;
    };
    const unsigned dhm = days | hours | minutes;
    const unsigned hms = hours | minutes | seconds;
    const Case cases[] = {
        {2 * 86400 + 3 * 3600 + 4 * 60 + 5, dhm, UnitsStyle::abbreviated, 2, "2d 3h"}, // seconds never, two units
        {3600 + 30 * 60, dhm, UnitsStyle::abbreviated, 2, "1h 30m"},
        {86400 + 5 * 60, dhm, UnitsStyle::abbreviated, 2, "1d 5m"}, // the zero hours left out
        {59, dhm, UnitsStyle::abbreviated, 2, "0m"},
        {3600, hms, UnitsStyle::full, 0, "1 hour"},
        {5400, hms, UnitsStyle::full, 0, "1 hour, 30 minutes"},
        {3661, hms, UnitsStyle::full, 0, "1 hour, 1 minute, 1 second"},
        {90000, hms, UnitsStyle::full, 0, "25 hours"},  // no day unit asked for
        {30.9, hms, UnitsStyle::full, 0, "30 seconds"}, // no fraction, not rounded up
        {0, hms, UnitsStyle::full, 0, "0 seconds"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(duration(c.seconds, c.units, c.style, c.maxUnits).toStdString(), c.expected);
    }
}

TEST_F(FormattersTest, DatesInTheLocalZone)
{
    using namespace Format;
    const double t = 1700000000.25; // 2023-11-14 22:13:20.250 UTC; tests run with TZ=UTC
    EXPECT_EQ(dateTime(t, DateStyle::abbreviated, TimeStyle::standard), "Nov 14, 2023, 10:13:20 PM");
    EXPECT_EQ(dateTime(t, DateStyle::abbreviated, TimeStyle::shortened), "Nov 14, 2023, 10:13 PM");
    EXPECT_EQ(dateTime(t, DateStyle::abbreviated, TimeStyle::none), "Nov 14, 2023");
    EXPECT_EQ(dateTime(t, DateStyle::none, TimeStyle::standard), "10:13:20 PM");
    EXPECT_EQ(pattern(t, "MMM d, h:mm:ss.zzz AP"), "Nov 14, 10:13:20.250 PM");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(dateTime(t, DateStyle::none, TimeStyle::shortened), "22:13") << "24-hour locales keep their clock";
}

TEST_F(FormattersTest, CountsAndByteCounts)
{
    EXPECT_EQ(Format::count(1234567), "1,234,567");
    EXPECT_EQ(Format::percent(0.125), "12.5%");
    EXPECT_EQ(Format::percent(0), "0.0%");
    struct Case {
        int64_t bytes;
        const char *expected;
    };
    const Case cases[] = {
        {0, "Zero KB"},          {1, "1 byte"},           {532, "532 bytes"},    {999, "999 bytes"},  {1000, "1 KB"},
        {12345, "12 KB"},        {999499, "999 KB"},      {999999, "1 MB"},      {1234567, "1.2 MB"}, {5000000, "5 MB"},
        {3450000000, "3.45 GB"}, {2000000000000, "2 TB"}, {12345678, "12.3 MB"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(Format::byteCount(c.bytes).toStdString(), c.expected);
    }
}

TEST_F(FormattersTest, AttackTechniqueLinks)
{
    EXPECT_EQ(attackTechniqueURL("T1548.003").path(), "/techniques/T1548/003/");
    EXPECT_EQ(attackTechniqueURL("T1110").path(), "/techniques/T1110/");
    EXPECT_EQ(attackTechniqueURL("T1548.003").scheme(), "https");
    EXPECT_EQ(attackTechniqueURL("T1110").toString(), "https://attack.mitre.org/techniques/T1110/");
}

} // namespace
