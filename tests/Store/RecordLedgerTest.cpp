#include "Store/RecordLedger.h"

#include "Engine/Support/Parallel.h"
#include "support/RecordValue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using TestRecords::RecordValue;

TrailSource named(std::string name)
{
    TrailSource source;
    source.name = std::move(name);
    return source;
}

// n records one second apart from `time`.
std::vector<AuditRecord> records(size_t n, double time)
{
    std::vector<AuditRecord> out;
    for (size_t i = 0; i < n; ++i) out.push_back(RecordValue(72, time + double(i)).subject(501, 501));
    return out;
}

std::vector<int64_t> ids(const std::vector<AuditRecord> &records)
{
    std::vector<int64_t> out;
    for (const AuditRecord &record : records) out.push_back(record.id);
    return out;
}

TEST(RecordLedgerTest, IdsAreConsecutiveAndEveryChangeMovesTheGeneration)
{
    RecordLedger ledger;
    const uint64_t start = ledger.generation();
    EXPECT_EQ(ledger.append(named("a"), records(3, 100)), 1);
    EXPECT_EQ(ledger.nextRecordID(), 4);
    const SourcesSnapshot one = ledger.sourcesSnapshot();
    EXPECT_EQ(ledger.sourcesSnapshot(), one) << "made again without a change";
    EXPECT_EQ(ledger.append(named("b"), records(2, 200)), 2);
    EXPECT_EQ(ledger.nextRecordID(), 6);
    EXPECT_GT(ledger.generation(), start + 1);
    EXPECT_NE(ledger.sourcesSnapshot(), one);
    EXPECT_EQ(ledger.sourcesSnapshot()->size(), 2u);
    EXPECT_EQ(ledger.sources()[1].recordCount, 2);
    EXPECT_EQ(ledger.sources()[1].first, 200.0);

    const uint64_t before = ledger.generation();
    EXPECT_EQ(ledger.drop(1), "a");
    EXPECT_NE(ledger.generation(), before);
    EXPECT_EQ(ledger.drop(1), std::nullopt);
    EXPECT_EQ(ledger.unpublishedSources(), 1u);
    ledger.clear();
    EXPECT_TRUE(ledger.sources().empty());
    EXPECT_EQ(ledger.unpublishedSources(), 0u);
    EXPECT_EQ(ledger.append(named("c"), records(1, 300)), 3) << "the counters survive a clear";
    EXPECT_EQ(ledger.nextRecordID(), 7);
}

TEST(RecordLedgerTest, EveryRecordIsHandedOutOnceAndComesBackAsItWent)
{
    RecordLedger ledger;
    ledger.append(named("a"), records(3, 100));
    ledger.append(named("b"), records(2, 200));
    RecordLedger::Handout first = ledger.handOut(nullptr);
    ASSERT_EQ(first.input.handed.size(), 2u);
    EXPECT_EQ(first.input.handed[0].firstID, 1);
    EXPECT_EQ(first.input.handed[0].records.size(), 3u);
    EXPECT_EQ(first.input.handed[1].firstID, 4);
    EXPECT_EQ(first.input.handed[1].records.size(), 2u);
    EXPECT_EQ(first.records, 5u);

    // Held by the rebuild: a second one gets nothing of them.
    const RecordLedger::Handout second = ledger.handOut(nullptr);
    EXPECT_TRUE(second.input.handed.empty());
    EXPECT_TRUE(second.input.fromCarried.empty());

    // Stopped before it began: the records go back as they were handed.
    Rebuild::Output stopped;
    stopped.unmerged = std::move(first.input);
    ledger.giveBack(first, std::move(stopped));
    const RecordLedger::Handout again = ledger.handOut(nullptr);
    ASSERT_EQ(again.input.handed.size(), 2u);
    EXPECT_EQ(again.input.handed[0].records.size(), 3u);
    EXPECT_EQ(again.input.handed[1].records.size(), 2u);
}

TEST(RecordLedgerTest, RecordsGivenBackOfARemovedSourceStayOut)
{
    Parallel::Pool pool(2);
    RecordLedger ledger;
    ledger.append(named("a"), records(3, 100)); // ids 1-3
    ledger.append(named("b"), records(2, 200)); // ids 4-5
    RecordLedger::Handout taken = ledger.handOut(nullptr);
    Rebuild::Output merged = Rebuild::run(std::move(taken.input), pool);
    ASSERT_EQ(merged.records.size(), 5u);
    // Superseded by the removal of a: the one list comes back with a's records in it.
    ledger.drop(1);
    ledger.giveBack(taken, std::move(merged));
    RecordLedger::Handout next = ledger.handOut(nullptr);
    EXPECT_EQ(next.input.fromCarried, (std::vector<int64_t>{2}));
    EXPECT_TRUE(next.input.handed.empty());
    const Rebuild::Output rebuilt = Rebuild::run(std::move(next.input), pool);
    EXPECT_EQ(ids(rebuilt.records), (std::vector<int64_t>{4, 5}));
}

TEST(RecordLedgerTest, AfterAFailedRebuildWhatIsPublishedIsRestored)
{
    Parallel::Pool pool(2);
    RecordLedger ledger;
    ledger.append(named("a"), records(3, 100));
    RecordLedger::Handout taken = ledger.handOut(nullptr);
    Rebuild::Output output = Rebuild::run(std::move(taken.input), pool);
    ledger.published(taken.sources);
    const RecordSnapshot published = std::make_shared<const std::vector<AuditRecord>>(std::move(output.records));
    EXPECT_EQ(ledger.unpublishedSources(), 0u);

    ledger.append(named("b"), records(2, 200));
    ledger.drop(1);
    const RecordLedger::Handout failing = ledger.handOut(published);
    EXPECT_TRUE(failing.input.fromPublished.empty());
    ASSERT_EQ(failing.input.handed.size(), 1u);

    const uint64_t before = ledger.generation();
    ledger.restorePublished();
    EXPECT_NE(ledger.generation(), before);
    ASSERT_EQ(ledger.sources().size(), 1u);
    EXPECT_EQ(ledger.sources()[0].name, "a");
    EXPECT_EQ(ledger.unpublishedSources(), 0u);
    const RecordLedger::Handout after = ledger.handOut(published);
    EXPECT_EQ(after.input.fromPublished, (std::vector<int64_t>{1}));
    EXPECT_TRUE(after.input.publishedWhole);
    EXPECT_TRUE(after.input.handed.empty());
    EXPECT_EQ(ledger.nextSourceID(), 3) << "ids are never given twice";
}

} // namespace
