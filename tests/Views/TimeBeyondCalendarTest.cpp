// Header times reach 2^64 seconds. Every place that turns a record time into a date shows a time
// beyond the calendar the same way: its plain seconds. (Before, the report's date converted such a
// double to an integer out of range and printed whatever the machine gave.)

#include "Engine/Export/EventExporter.h"
#include "Engine/Export/FindingsReport.h"
#include "Engine/Support/UtcTime.h"
#include "Views/Components/Formatters.h"
#include "Views/Events/EventsTableModel.h"
#include "Views/Overview/DashboardTexts.h"
#include "Views/Overview/TimelineGeometry.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <cmath>

namespace {

class TimeBeyondCalendarTest : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
};

// What each site shows for a time.
struct Site {
    const char *name;
    std::function<std::string(double)> text;
};

const Site sites[] = {
    {"export time", Exporter::isoTime},
    {"report date", Exporter::mediumDateTime},
    {"date and time",
     [](double t) {
         return Format::dateTime(t, Format::DateStyle::abbreviated, Format::TimeStyle::standard).toStdString();
     }},
    {"time pattern", [](double t) { return Format::pattern(t, QStringLiteral("HH:mm:ss.zzz")).toStdString(); }},
    {"events time cell", [](double t) { return eventsTimeText(t).toStdString(); }},
    {"timeline label", [](double t) { return bucketLabel(t).toStdString(); }},
};

TEST_F(TimeBeyondCalendarTest, EverySiteShowsThePlainSeconds)
{
    const struct {
        double time;
        const char *plain;
    } beyond[] = {
        {std::ldexp(1.0, 63), "9223372036854775808.000"},
        {std::ldexp(1.0, 64), "18446744073709551616.000"},
        {-std::ldexp(1.0, 63), "-9223372036854775808.000"},
        {1e15, "1000000000000000.000"},
        {1e300, nullptr}, // 301 digits
    };
    for (const auto &b : beyond) {
        const std::string plain = b.plain ? b.plain : UtcTime::plainSeconds(b.time);
        EXPECT_FALSE(UtcTime::inCalendar(b.time)) << plain;
        for (const Site &site : sites) EXPECT_EQ(site.text(b.time), plain) << site.name;
    }
    EXPECT_EQ(UtcTime::plainSeconds(1e300).size(), 305u);
    EXPECT_FALSE(Format::fromSeconds(std::ldexp(1.0, 63)).isValid());
}

TEST_F(TimeBeyondCalendarTest, TheLastTimesInsideAreDates)
{
    for (const double time : {1e15 - 1, -1e15 + 1, 1700000000.0}) {
        ASSERT_TRUE(UtcTime::inCalendar(time));
        for (const Site &site : sites) {
            const std::string text = site.text(time);
            EXPECT_NE(text, UtcTime::plainSeconds(time)) << site.name;
            EXPECT_NE(text.find(':'), std::string::npos) << site.name << ": " << text;
        }
    }
}

TEST_F(TimeBeyondCalendarTest, TimelineAndReportStayWholeBeyondTheCalendar)
{
    const double start = std::ldexp(1.0, 63);
    double step = 0;
    const std::vector<double> ticks = timeTicks({start, start + 86400 * 30}, 6, &step);
    EXPECT_FALSE(ticks.empty());
    for (const double tick : ticks) EXPECT_TRUE(std::isfinite(tick));

    TrailStats stats;
    stats.first = start;
    stats.last = std::ldexp(1.0, 64);
    const std::string report = Exporter::findingsReport({}, {}, stats, 1700000000);
    EXPECT_NE(report.find("9223372036854775808.000"), std::string::npos) << report;
    EXPECT_NE(report.find("18446744073709551616.000"), std::string::npos) << report;
    EXPECT_EQ(report.find("-9223372036854775808"), std::string::npos) << report;
}

} // namespace
