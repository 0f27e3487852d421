#include "Views/Live/LiveRecordsModel.h"

#include "Engine/Record/RecordBuilder.h"
#include "Views/Components/ItemRoles.h"

#include <QAbstractItemModelTester>
#include <QLocale>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>
#include <random>

namespace {

AuditRecord record(int64_t id, bool failed = false, std::string path = "/etc/hosts")
{
    RecordContent r;
    r.id = id;
    r.event = 72;
    r.time = 1700000000 + double(id) / 10;
    r.returnStatus = failed ? 1 : 0;
    r.paths = {std::move(path)};
    return r.record();
}

LiveMonitor::Records buffer(std::vector<AuditRecord> records)
{
    return std::make_shared<const std::vector<AuditRecord>>(std::move(records));
}

std::vector<int64_t> ids(const std::vector<AuditRecord> &records, const std::vector<uint32_t> &positions)
{
    std::vector<int64_t> out;
    for (const uint32_t p : positions) out.push_back(records[p].id);
    return out;
}

std::vector<int64_t> modelIDs(const LiveRecordsModel &model)
{
    std::vector<int64_t> out;
    for (int row = 0; row < model.rowCount(); ++row) out.push_back(model.idAt(row));
    return out;
}

TEST(LiveRows, NewestFirstFailuresAndTextFilterAndCap)
{
    const std::vector<AuditRecord> records = {record(1), record(2, true, "/tmp/a"), record(3, false, "/tmp/b"),
                                              record(4, true, "/etc/passwd"), record(5, true, "/tmp/c")};
    struct Case {
        const char *name;
        LiveFilter filter;
        size_t cap;
        std::vector<int64_t> expected;
    };
    const Case cases[] = {
        {"everything, newest first", {}, 5000, {5, 4, 3, 2, 1}},
        {"failures only", {true, ""}, 5000, {5, 4, 2}},
        {"text only", {false, "/tmp"}, 5000, {5, 3, 2}},
        {"failures and text", {true, "/tmp"}, 5000, {5, 2}},
        {"text is case-insensitive", {false, "PASSWD"}, 5000, {4}},
        {"the text is not trimmed", {false, " /tmp"}, 5000, {}},
        {"nothing passes", {true, "nowhere"}, 5000, {}},
        {"the cap keeps the newest", {}, 2, {5, 4}},
        {"the cap counts only rows that pass", {true, ""}, 2, {5, 4}},
    };
    for (const Case &c : cases) EXPECT_EQ(ids(records, liveRows(records, c.filter, c.cap)), c.expected) << c.name;
}

TEST(LiveRows, SixThousandRecordsShowTheFiveThousandNewest)
{
    std::vector<AuditRecord> records;
    for (int64_t id = 1; id <= 6000; ++id) records.push_back(record(id));
    const std::vector<uint32_t> rows = liveRows(records, {}, LiveRecordsModel::defaultRowCap);
    ASSERT_EQ(rows.size(), 5000u);
    EXPECT_EQ(records[rows.front()].id, 6000);
    EXPECT_EQ(records[rows.back()].id, 1001);
}

class LiveRecordsModelTest : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // Every reset and every row change the model announces.
    void watch(LiveRecordsModel &model)
    {
        tester = std::make_unique<QAbstractItemModelTester>(&model,
                                                            QAbstractItemModelTester::FailureReportingMode::Fatal);
        QObject::connect(&model, &QAbstractItemModel::modelAboutToBeReset, [this] { ++resets; });
        QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                         [this](const QModelIndex &, int first, int last) { inserted += last - first + 1; });
        QObject::connect(&model, &QAbstractItemModel::rowsRemoved,
                         [this](const QModelIndex &, int first, int last) { removed += last - first + 1; });
    }

    std::unique_ptr<QAbstractItemModelTester> tester;
    int resets = 0;
    int inserted = 0;
    int removed = 0;
};

// The buffer grows and rolls in random steps, as the capture publishes it; after each step the
// rows are exactly what a fresh derivation gives, and the model never resets.
TEST_F(LiveRecordsModelTest, RollingFollowsTheBufferWithoutAReset)
{
    struct Case {
        const char *name;
        LiveFilter filter;
        size_t cap;
    };
    const Case cases[] = {
        {"no filter, cap above the buffer", {}, 100},
        {"no filter, cap below the buffer", {}, 7},
        {"failures only, small cap", {true, ""}, 5},
        {"text filter", {false, "/tmp"}, 6},
    };
    for (const Case &c : cases) {
        LiveRecordsModel model(nullptr, c.cap);
        resets = inserted = removed = 0;
        watch(model);
        std::mt19937 random(7);
        std::vector<AuditRecord> records;
        int64_t nextID = 1;
        constexpr size_t limit = 20;
        model.reset(buffer(records), c.filter);
        resets = 0;
        for (int step = 0; step < 200; ++step) {
            // Several publications may fold into one update: their drops add up.
            const int arrivals = int(random() % 9);
            int64_t dropped = 0;
            for (int i = 0; i < arrivals; ++i) {
                records.push_back(record(nextID, nextID % 3 == 0, nextID % 2 ? "/tmp/x" : "/etc/y"));
                ++nextID;
                if (records.size() > limit) {
                    records.erase(records.begin());
                    ++dropped;
                }
            }
            if (step % 50 == 49) { // the user's Clear
                dropped += int64_t(records.size());
                records.clear();
            }
            model.roll(buffer(records), dropped);
            ASSERT_EQ(modelIDs(model), ids(records, liveRows(records, c.filter, c.cap))) << c.name << " step " << step;
        }
        EXPECT_EQ(resets, 0) << c.name;
        EXPECT_GT(inserted, 0) << c.name;
        EXPECT_GT(removed, 0) << c.name;
    }
}

TEST_F(LiveRecordsModelTest, NewRecordsGoOnTopAndDroppedOnesLeaveTheBottom)
{
    LiveRecordsModel model;
    watch(model);
    model.reset(buffer({record(1), record(2), record(3)}), {});
    QSignalSpy insertions(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removals(&model, &QAbstractItemModel::rowsRemoved);
    model.roll(buffer({record(2), record(3), record(4), record(5)}), 1);
    EXPECT_EQ(modelIDs(model), (std::vector<int64_t>{5, 4, 3, 2}));
    ASSERT_EQ(insertions.size(), 1);
    EXPECT_EQ(insertions[0][1].toInt(), 0);
    EXPECT_EQ(insertions[0][2].toInt(), 1);
    ASSERT_EQ(removals.size(), 1);
    EXPECT_EQ(removals[0][1].toInt(), 2); // the old bottom row, id 1
    // Rows are found by id after the roll, the dropped one no more.
    for (const auto &[id, row] : std::vector<std::pair<int64_t, int>>{{5, 0}, {4, 1}, {2, 3}, {1, -1}})
        EXPECT_EQ(model.rowOf(id), row) << id;

    // An analysed buffer is in time order, so ids need not rise down the rows.
    model.reset(buffer({record(7), record(3), record(9)}), {});
    model.roll(buffer({record(7), record(3), record(9), record(2)}), 0);
    for (const auto &[id, row] : std::vector<std::pair<int64_t, int>>{{2, 0}, {9, 1}, {3, 2}, {7, 3}})
        EXPECT_EQ(model.rowOf(id), row) << id;
}

TEST_F(LiveRecordsModelTest, AnalysedCopiesRefreshTheProcessOrRederiveTheRows)
{
    LiveRecordsModel model;
    watch(model);
    std::vector<AuditRecord> records = {record(1), record(2), record(3)};
    model.reset(buffer(records), {});
    resets = 0;
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    for (AuditRecord &r : records) r.processImage = std::string("/usr/bin/curl");
    model.refresh(buffer(records));
    EXPECT_EQ(resets, 0);
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes[0][0].toModelIndex().column(), LiveRecordsModel::processColumn);
    EXPECT_EQ(model.index(0, LiveRecordsModel::processColumn).data().toString(), "curl");

    // A search for the image now matches records it did not match before.
    model.reset(buffer({record(1), record(2)}), {false, "sshd"});
    EXPECT_EQ(model.rowCount(), 0);
    std::vector<AuditRecord> analysed = {record(1), record(2)};
    analysed[1].processImage = std::string("/usr/sbin/sshd");
    model.refresh(buffer(analysed));
    EXPECT_EQ(modelIDs(model), (std::vector<int64_t>{2}));
}

TEST_F(LiveRecordsModelTest, CellsOfOneRow)
{
    LiveRecordsModel model;
    watch(model);
    AuditRecord r = record(10, true, "/etc/hosts");
    r.time = 1700000000.25; // 22:13:20.250 UTC
    r.processImage = std::string("/usr/bin/cat");
    model.reset(buffer({r, record(11)}), {});
    const auto cell = [&](int column) { return model.index(1, column).data().toString(); };
    EXPECT_EQ(cell(LiveRecordsModel::timeColumn), "10:13:20.250 PM");
    EXPECT_EQ(cell(LiveRecordsModel::processColumn), "cat");
    EXPECT_EQ(cell(LiveRecordsModel::userColumn), ""); // no subject
    EXPECT_EQ(cell(LiveRecordsModel::pidColumn), "0");
    EXPECT_FALSE(cell(LiveRecordsModel::eventColumn).isEmpty());
    EXPECT_EQ(cell(LiveRecordsModel::detailsColumn), QString::fromStdString(r.detailSummary()));
    EXPECT_EQ(model.index(1, LiveRecordsModel::resultColumn).data(ItemRoles::resultRole).toBool(), false);
    EXPECT_EQ(model.index(0, LiveRecordsModel::resultColumn).data(ItemRoles::resultRole).toBool(), true);
    QStringList titles;
    for (int c = 0; c < model.columnCount(); ++c) titles << model.headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(titles, (QStringList{"Time", "Event", "User", "Process", "PID", "", "Details"}));
    EXPECT_EQ(model.rowOf(10), 1);
    EXPECT_EQ(model.rowOf(99), -1);
}

} // namespace
