#include "Store/FilterPass.h"

#include "support/QtTestSupport.h"
#include "support/RecordValue.h"

#include <QCoreApplication>
#include <QObject>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <vector>

namespace {

using namespace std::chrono_literals;
using TestRecords::RecordValue;

class StoreFilterPass : public ::testing::Test {
protected:
    // Ten records, the even ones of pid 100 and the odd ones of pid 101.
    StoreFilterPass()
    {
        std::vector<AuditRecord> made;
        for (int i = 0; i < 10; ++i) made.push_back(RecordValue(72, 1000 + i).subject(501, 501, i % 2 ? 101 : 100));
        records = std::make_shared<const std::vector<AuditRecord>>(std::move(made));
    }

    static EventFilter byPid(uint32_t pid)
    {
        EventFilter filter;
        filter.pid = pid;
        return filter;
    }

    // Lets every pass end and what it posted land.
    void settle()
    {
        ASSERT_TRUE(tasks.wait(10000ms));
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    static std::vector<uint32_t> positions(const RecordSelection &selection)
    {
        std::vector<uint32_t> out;
        for (size_t row = 0; row < selection.size(); ++row) out.push_back(uint32_t(selection.position(row)));
        return out;
    }

    RecordSnapshot records;
    std::vector<std::optional<RecordSelection>> landed;
    QObject receiver;
    Background::Tasks tasks;
    FilterPass pass{&receiver, tasks, [this](std::optional<RecordSelection> s) { landed.push_back(std::move(s)); }};
};

TEST_F(StoreFilterPass, AnInactiveFilterTakesEveryRecordAtOnce)
{
    EventFilter labelOnly;
    labelOnly.label = "All events";
    pass.schedule(labelOnly, records, true);
    ASSERT_EQ(landed.size(), 1u);
    ASSERT_TRUE(landed[0]);
    EXPECT_TRUE(landed[0]->isAll());
    EXPECT_EQ(landed[0]->records(), records);
}

TEST_F(StoreFilterPass, OnlyTheLatestPassLands)
{
    struct Case {
        const char *name;
        bool immediate;
    };
    for (const Case c : {Case{"at once", true}, Case{"after the wait", false}}) {
        landed.clear();
        pass.setDelay(20ms);
        pass.schedule(byPid(100), records, c.immediate);
        pass.schedule(byPid(101), records, c.immediate);
        EXPECT_TRUE(landed.empty()) << c.name << ": an active filter's pass runs on the pool";
        ASSERT_TRUE(waitUntil([&] { return !landed.empty(); })) << c.name;
        settle();
        ASSERT_EQ(landed.size(), 1u) << c.name;
        ASSERT_TRUE(landed[0]) << c.name;
        EXPECT_EQ(landed[0]->records(), records) << c.name;
        EXPECT_EQ(positions(*landed[0]), (std::vector<uint32_t>{1, 3, 5, 7, 9})) << c.name;
    }
}

TEST_F(StoreFilterPass, ACancelledPassLandsNothing)
{
    pass.schedule(byPid(100), records, true);
    pass.cancel();
    settle();
    EXPECT_TRUE(landed.empty());
    // The next one lands again.
    pass.schedule(byPid(100), records, true);
    ASSERT_TRUE(waitUntil([&] { return !landed.empty(); }));
    ASSERT_TRUE(landed[0]);
    EXPECT_EQ(positions(*landed[0]), (std::vector<uint32_t>{0, 2, 4, 6, 8}));
}

} // namespace
