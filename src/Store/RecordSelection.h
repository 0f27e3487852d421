#pragma once

#include "Engine/Record/AuditRecord.h"

#include <cstdint>
#include <memory>
#include <vector>

// An immutable record list shared between the main thread and background work.
using RecordSnapshot = std::shared_ptr<const std::vector<AuditRecord>>;

// Some records of one snapshot, by position, or all of it. The selection keeps its snapshot, so its
// positions stay valid after newer records are published. Positions are 32-bit: at most 2^32-1 records.
class RecordSelection {
public:
    using Positions = std::shared_ptr<const std::vector<uint32_t>>;

    RecordSelection() : m_records(emptySnapshot()) {}
    // Without positions the selection is the whole snapshot.
    explicit RecordSelection(RecordSnapshot records, Positions positions = nullptr)
        : m_records(records ? std::move(records) : emptySnapshot()), m_positions(std::move(positions))
    {}

    size_t size() const { return m_positions ? m_positions->size() : m_records->size(); }
    bool empty() const { return size() == 0; }
    size_t position(size_t row) const { return m_positions ? (*m_positions)[row] : row; }
    const AuditRecord &operator[](size_t row) const { return (*m_records)[position(row)]; }
    bool isAll() const { return !m_positions; }
    const RecordSnapshot &records() const { return m_records; }
    const Positions &positions() const { return m_positions; }

    static const RecordSnapshot &emptySnapshot()
    {
        static const RecordSnapshot none = std::make_shared<const std::vector<AuditRecord>>();
        return none;
    }

private:
    RecordSnapshot m_records;
    Positions m_positions;
};
