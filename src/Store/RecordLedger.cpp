#include "Store/RecordLedger.h"

#include "Platform/Background.h"

#include <algorithm>

const SourcesSnapshot &RecordLedger::sourcesSnapshot() const
{
    if (!m_sourcesSnapshot) m_sourcesSnapshot = std::make_shared<const std::vector<TrailSource>>(m_sources);
    return m_sourcesSnapshot;
}

size_t RecordLedger::unpublishedSources() const
{
    return size_t(std::count_if(m_bySource.begin(), m_bySource.end(),
                                [](const auto &entry) { return entry.second.held != Held::published; }));
}

void RecordLedger::changed()
{
    ++m_generation;
    m_sourcesSnapshot.reset();
}

int64_t RecordLedger::append(TrailSource source, std::vector<AuditRecord> records)
{
    source.id = m_nextSourceID++;
    const int64_t first = m_nextRecordID;
    m_nextRecordID += int64_t(records.size());
    source.recordCount = int64_t(records.size());
    source.first = records.empty() ? std::nullopt : std::optional<double>(records.front().time);
    source.last = records.empty() ? std::nullopt : std::optional<double>(records.back().time);
    const size_t count = records.size();
    m_bySource[source.id] = {Held::byLedger, std::move(records), first, count};
    m_sources.push_back(std::move(source));
    changed();
    return m_sources.back().id;
}

std::optional<std::string> RecordLedger::drop(int64_t sourceID)
{
    std::optional<std::string> name;
    if (const auto it = std::ranges::find(m_sources, sourceID, &TrailSource::id); it != m_sources.end()) {
        name = it->name;
        m_sources.erase(it);
    }
    if (auto entry = m_bySource.find(sourceID); entry != m_bySource.end()) {
        Background::releaseLater(std::move(entry->second.records));
        m_bySource.erase(entry);
    }
    changed();
    return name;
}

void RecordLedger::clear()
{
    m_sources.clear();
    m_publishedSources.clear();
    m_publishedEntries.clear();
    std::vector<std::vector<AuditRecord>> lists;
    for (auto &[id, entry] : m_bySource) lists.push_back(std::move(entry.records));
    lists.push_back(std::exchange(m_carried, {}));
    Background::releaseLater(std::move(lists));
    m_bySource.clear();
    m_carriedSources.clear();
    changed();
}

RecordLedger::Handout RecordLedger::handOut(const RecordSnapshot &published)
{
    Handout out;
    out.generation = m_generation;
    out.carriedBefore = m_carriedSources;
    Rebuild::Input &input = out.input;
    size_t fromPublished = 0;
    for (auto &[id, entry] : m_bySource) {
        out.sources.push_back(id);
        out.records += entry.count;
        switch (entry.held) {
        case Held::byLedger:
            input.handed.push_back({id, entry.firstID, std::exchange(entry.records, {})});
            entry.held = Held::byRebuild;
            break;
        case Held::carried:
            input.fromCarried.push_back(id);
            entry.held = Held::byRebuild;
            break;
        case Held::published:
            // Still published: the rebuild only copies them.
            input.fromPublished.push_back(id);
            fromPublished += entry.count;
            break;
        case Held::byRebuild: break;
        }
    }
    if (!input.fromPublished.empty()) {
        input.published = published;
        input.publishedWhole = fromPublished == published->size();
    }
    input.carriedWhole = input.fromCarried == m_carriedSources;
    input.carried = std::exchange(m_carried, {});
    m_carriedSources.clear();
    return out;
}

void RecordLedger::published(const std::vector<int64_t> &sources)
{
    for (const int64_t id : sources) m_bySource.at(id).held = Held::published;
    m_publishedSources = m_sources;
    m_publishedEntries.clear();
    for (const auto &[id, entry] : m_bySource) m_publishedEntries[id] = {entry.firstID, entry.count};
}

void RecordLedger::giveBack(const Handout &taken, Rebuild::Output output)
{
    if (output.unmerged) {
        Rebuild::Input &input = *output.unmerged;
        for (Rebuild::Handed &handed : input.handed) {
            const auto entry = m_bySource.find(handed.source);
            if (entry == m_bySource.end()) continue;
            entry->second.records = std::move(handed.records);
            entry->second.held = Held::byLedger;
        }
        for (const int64_t id : input.fromCarried)
            if (const auto entry = m_bySource.find(id); entry != m_bySource.end()) entry->second.held = Held::carried;
        m_carried = std::move(input.carried);
        m_carriedSources = taken.carriedBefore;
        Background::releaseLater(std::move(output));
        return;
    }
    bool holdsSources = false;
    for (const int64_t id : taken.sources) {
        const auto entry = m_bySource.find(id);
        if (entry == m_bySource.end()) continue;
        // The records it gave back are the ones to take next, even of sources also published.
        entry->second.held = Held::carried;
        holdsSources = true;
    }
    if (holdsSources) {
        // Those of sources removed meanwhile too: the rebuild that takes them leaves them out.
        m_carried = std::move(output.records);
        m_carriedSources = taken.sources;
    }
    Background::releaseLater(std::move(output));
}

void RecordLedger::restorePublished()
{
    m_sources = m_publishedSources;
    std::vector<std::vector<AuditRecord>> lists;
    for (auto &[id, entry] : m_bySource) lists.push_back(std::move(entry.records));
    m_bySource.clear();
    for (const auto &[id, entry] : m_publishedEntries)
        m_bySource[id] = {Held::published, {}, entry.first, entry.second};
    lists.push_back(std::exchange(m_carried, {}));
    m_carriedSources.clear();
    Background::releaseLater(std::move(lists));
    changed();
}
