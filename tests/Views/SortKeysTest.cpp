// The key behind every sortable column of the four sortable tables. Each fixture's rows are
// ordered differently by every column, so a column wired to another column's key shows another
// order; descending is the exact reverse where no two rows tie.

#include "Engine/Analysis/DisplayKeys.h"
#include "Engine/Analysis/ProcessGraph.h"
#include "Views/Events/EventsTableModel.h"
#include "Views/Findings/FindingsTableModel.h"
#include "Views/Network/NetworkTableModel.h"
#include "Views/Processes/ProcessModels.h"

#include "support/QtTestSupport.h"
#include "support/RecordValue.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

namespace {

using TestRecords::RecordValue;
using Order = std::vector<int64_t>;

// The order of the rows' identities after sorting by a column, ascending then descending. Sorts are
// made on the pool; `land` lets the new order reach the rows.
template <typename Model>
std::pair<Order, Order> sortedBy(Model &model, int column, const std::function<int64_t(const Model &, int)> &idAt,
                                 const std::function<void(Model &)> &land)
{
    std::pair<Order, Order> orders;
    for (const auto order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
        model.sort(column, order);
        land(model);
        Order &ids = order == Qt::AscendingOrder ? orders.first : orders.second;
        for (int row = 0; row < model.rowCount(); ++row) ids.push_back(idAt(model, row));
    }
    return orders;
}

struct Column {
    int column;
    Order ascending;
    bool ties = false; // some rows equal under the key: descending keeps their order
};

template <typename Model>
void expectKeys(
    Model &model, const std::vector<Column> &columns, const std::function<int64_t(const Model &, int)> &idAt,
    const std::function<void(Model &)> &land = [](Model &) { settlePool(); })
{
    std::set<Order> distinct;
    for (const Column &c : columns) distinct.insert(c.ascending);
    ASSERT_EQ(distinct.size(), columns.size()) << "every column orders the fixture its own way";
    for (const Column &c : columns) {
        const auto [ascending, descending] = sortedBy(model, c.column, idAt, land);
        EXPECT_EQ(ascending, c.ascending) << "column " << c.column;
        if (!c.ties) {
            EXPECT_EQ(descending, Order(c.ascending.rbegin(), c.ascending.rend())) << "column " << c.column;
        }
    }
}

class SortKeysTest : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
};

TEST_F(SortKeysTest, Findings)
{
    const auto finding = [](Severity severity, double time, const char *rule, const char *category, const char *user,
                            const char *summary) {
        return Finding{.id = Uuid::random(),
                       .rule = rule,
                       .category = category,
                       .severity = severity,
                       .technique = "T1",
                       .time = time,
                       .summary = summary,
                       .explanation = {},
                       .recordIDs = {},
                       .user = user};
    };
    // Identified by the digit of their summary.
    FindingsTableModel model;
    model.setMinimum(Severity::info);
    model.setFindings(std::make_shared<const std::vector<Finding>>(std::vector<Finding>{
        finding(Severity::high, 40, "r2", "c1", "u4", "s3"), finding(Severity::info, 30, "r4", "c3", "u2", "s4"),
        finding(Severity::critical, 10, "r3", "c2", "u1", "s2"), finding(Severity::low, 20, "r1", "c4", "u3", "s1")}));
    const std::map<std::string, int64_t> row = {{"s3", 1}, {"s4", 2}, {"s2", 3}, {"s1", 4}};
    using F = FindingsTableModel;
    expectKeys<F>(model,
                  {{F::severityColumn, {2, 4, 1, 3}},
                   {F::timeColumn, {3, 4, 2, 1}},
                   {F::ruleColumn, {4, 1, 3, 2}},
                   {F::tacticColumn, {1, 3, 2, 4}},
                   {F::userColumn, {3, 2, 4, 1}},
                   {F::summaryColumn, {4, 3, 1, 2}}},
                  [&](const F &m, int r) { return row.at(m.findingAt(r).summary); });
    EXPECT_FALSE(F::sortKey(F::techniqueColumn)) << "the ATT&CK column does not sort";
}

TEST_F(SortKeysTest, Network)
{
    const auto record = [](int64_t id, double time, uint16_t event, const char *image, uint32_t pid, uint32_t user,
                           const char *socket, bool failed) {
        RecordValue value(event, time);
        value.subject(user, user, pid).image(image).socket(socket);
        if (failed) value.failed();
        AuditRecord r = value;
        r.id = id;
        return r;
    };
    // Unknown events and ids no account has: their labels are "event N" and the decimal id.
    const auto records = std::make_shared<const std::vector<AuditRecord>>(std::vector<AuditRecord>{
        record(1, 40, 40003, "/x/pa", 2, 7004, "10.0.0.2:1", true),
        record(2, 10, 40004, "/x/pc", 3, 7002, "10.0.0.4:1", false),
        record(3, 30, 40001, "/x/pb", 4, 7003, "10.0.0.1:1", true),
        record(4, 20, 40002, "/x/pd", 1, 7001, "10.0.0.3:1", false),
    });
    NetworkTableModel model;
    // The screen derives the table; here it is derived in place.
    const auto land = [&](NetworkTableModel &m) {
        m.setTable(std::make_shared<const NetworkRows::Table>(NetworkRows::table(records, false, {}, m.order())));
    };
    using N = NetworkTableModel;
    expectKeys<N>(
        model,
        {{N::timeColumn, {2, 4, 3, 1}},
         {N::eventColumn, {3, 4, 1, 2}},
         {N::processColumn, {1, 3, 2, 4}},
         {N::pidColumn, {4, 1, 2, 3}},
         {N::userColumn, {4, 2, 3, 1}},
         {N::addressColumn, {3, 1, 4, 2}},
         {N::resultColumn, {2, 4, 1, 3}, true}},
        [](const N &m, int r) { return m.recordAt(r).id; }, land);
}

TEST_F(SortKeysTest, Processes)
{
    // Each node is what the graph makes of one exec; the columns' values are then set apart.
    const auto process = [](int64_t id, double start, uint32_t pid, uint32_t euid, const char *image, const char *arg,
                            int64_t events) {
        RecordValue exec(23, start);
        exec.subject(euid, euid, pid).path(image).execArgs({arg});
        AuditRecord record = exec;
        record.id = id;
        ProcessNode node = ProcessGraph::build(std::span<AuditRecord>(&record, 1)).processes.at(0);
        node.eventCount = events;
        return node;
    };
    ProcessListModel model;
    model.setProcesses(std::make_shared<const std::vector<ProcessNode>>(std::vector<ProcessNode>{
                           process(1, 1, 30, 3, "/b", "b", 4),
                           process(2, 2, 10, 4, "/d", "c", 1),
                           process(3, 3, 40, 1, "/c", "a", 2),
                           process(4, 4, 20, 2, "/a", "d", 3),
                       }),
                       {});
    using P = ProcessListModel;
    expectKeys<P>(model,
                  {{P::startedColumn, {1, 2, 3, 4}},
                   {P::pidColumn, {2, 4, 1, 3}},
                   {P::userColumn, {3, 4, 1, 2}},
                   {P::imageColumn, {4, 1, 3, 2}},
                   {P::commandLineColumn, {3, 1, 2, 4}},
                   {P::eventsColumn, {2, 3, 4, 1}}},
                  [](const P &m, int r) { return m.processAt(r).id; });
    for (const int column : {int(P::ppidColumn), int(P::signingIDColumn)})
        EXPECT_FALSE(P::sortKey(column)) << column << " does not sort";
}

TEST_F(SortKeysTest, Events)
{
    // In time order, as the store keeps them: open(2) - read, connect(2), unlink(2), execve(2).
    const auto record = [](int64_t id, uint16_t event, uint32_t user, const char *image, uint32_t pid, bool failed,
                           const char *path) {
        RecordValue value(event, 100 + double(id));
        value.subject(user, user, pid).image(image).path(path);
        if (failed) value.failed();
        AuditRecord r = value;
        r.id = id;
        return r;
    };
    const std::vector<AuditRecord> list = {
        record(1, 72, 7002, "/x/pb", 4, false, "/c"),
        record(2, 32, 7001, "/x/pd", 3, true, "/b"),
        record(3, 6, 7004, "/x/pa", 2, true, "/a"),
        record(4, 23, 7003, "/x/pc", 1, false, "/d"),
    };
    // The event and class columns order by the catalogue's words, read here through the same keys.
    const auto byLabel = [&](const std::function<std::string(const AuditRecord &)> &label) {
        std::vector<AuditRecord> sorted = list;
        std::stable_sort(sorted.begin(), sorted.end(),
                         [&](const AuditRecord &a, const AuditRecord &b) { return label(a) < label(b); });
        Order ids;
        for (const AuditRecord &r : sorted) ids.push_back(r.id);
        return ids;
    };
    EventsTableModel model;
    model.setFiltered(RecordSelection(std::make_shared<const std::vector<AuditRecord>>(list)));
    using E = EventsTableModel;
    expectKeys<E>(model,
                  {{E::timeColumn, {1, 2, 3, 4}},
                   {E::eventColumn, byLabel([](const AuditRecord &r) { return DisplayKeys::eventLabel(r); })},
                   {E::classColumn, byLabel([](const AuditRecord &r) { return DisplayKeys::classLabel(r); })},
                   {E::userColumn, {2, 1, 4, 3}},
                   {E::processColumn, {3, 1, 4, 2}},
                   {E::pidColumn, {4, 3, 2, 1}},
                   {E::resultColumn, {1, 4, 2, 3}, true},
                   {E::detailsColumn, {3, 2, 1, 4}}},
                  [](const E &m, int r) { return m.idAt(r); });
}

} // namespace
