#pragma once

// Builds AuditRecord values directly, for analysis tests that need exact times, images and
// fields without going through bytes:
//   RecordValue(23, 1000).subject(501, 0).path("/tmp/x").execArgs({"x", "-v"}).image("/tmp/x")

#include "Engine/Record/RecordBuilder.h"

#include <initializer_list>
#include <string>
#include <vector>

namespace TestRecords {

class RecordValue {
public:
    RecordValue(uint16_t event, double time)
    {
        m_record.event = event;
        m_record.time = time;
    }

    RecordValue &failed(uint8_t status = 1)
    {
        m_record.returnStatus = status;
        return *this;
    }
    RecordValue &subject(uint32_t auid, uint32_t euid, uint32_t pid = 100, std::string address = "0.0.0.0",
                         uint32_t sid = 100001)
    {
        SubjectInfo s;
        s.auid = auid;
        s.euid = euid;
        s.ruid = euid;
        s.pid = pid;
        s.sid = sid;
        s.terminalAddress = std::move(address);
        m_record.subject = s;
        return *this;
    }
    RecordValue &target(uint32_t pid, uint32_t euid)
    {
        SubjectInfo t;
        t.pid = pid;
        t.euid = euid;
        t.auid = euid;
        m_record.target = t;
        return *this;
    }
    RecordValue &path(std::string p)
    {
        m_record.paths.push_back(std::move(p));
        return *this;
    }
    RecordValue &text(std::string t)
    {
        m_record.texts.push_back(std::move(t));
        return *this;
    }
    RecordValue &arg(std::string name, uint64_t value)
    {
        m_record.args.push_back(ArgInfo{uint8_t(m_record.args.size() + 1), value, std::move(name)});
        return *this;
    }
    RecordValue &execArgs(std::initializer_list<std::string> a)
    {
        m_record.execArgs = a;
        return *this;
    }
    RecordValue &socket(std::string s)
    {
        m_record.sockets.push_back(std::move(s));
        return *this;
    }
    RecordValue &image(std::string i)
    {
        m_record.processImage = std::move(i);
        return *this;
    }

    operator AuditRecord() const { return m_record.record(); }

private:
    RecordContent m_record;
};

// Numbers the records 1, 2, 3... in list order, as a loaded trail would.
inline std::vector<AuditRecord> numbered(std::initializer_list<RecordValue> values)
{
    std::vector<AuditRecord> records;
    for (const RecordValue &value : values) {
        records.push_back(value);
        records.back().id = int64_t(records.size());
    }
    return records;
}

} // namespace TestRecords
