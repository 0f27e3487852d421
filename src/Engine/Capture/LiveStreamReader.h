#pragma once

#include "Engine/Record/AuditRecord.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// Turns the bytes of a live capture's named pipe into records. The helper copies the audit pipe
// in pieces of any size, so a record cut by a read waits here, whole, for the rest of its bytes.
// One reader per capture, used by one thread.
class LiveStreamReader {
public:
    struct Batch {
        std::vector<AuditRecord> records;
        int64_t bytes = 0; // the size of the read that completed them
    };

    // Why reading stopped: cancelled, or the pipe ended (errorNumber 0) or failed.
    struct Ending {
        bool cancelled = false;
        int errorNumber = 0;
    };

    // The records these bytes complete, numbered from 0 and marked with source -1. Bytes that
    // can never become a record are dropped by the parser's resynchronisation, so what is kept
    // is at most one unfinished record, or the last 10 bytes after stray ones. However the bytes
    // are cut into calls, the records and the bytes kept are those of one call over them all.
    std::vector<AuditRecord> decode(std::span<const uint8_t> bytes);
    // The stream has ended: what is kept is read as a trail's end, as a file's would be (a record
    // that claims more than came is passed over, the whole ones after it are not), and dropped.
    std::vector<AuditRecord> finish();
    size_t pendingBytes() const { return m_pending.size(); }

    // Polls `fd` every `pollTimeout` and hands every read that completed a record to `deliver`,
    // and what finish() makes once the pipe has ended, until `cancelled` is set or the pipe can no
    // longer be read. Nothing is read once `cancelled`
    // is set. Never closes `fd`.
    Ending run(int fd, const std::atomic<bool> &cancelled, std::chrono::milliseconds pollTimeout,
               const std::function<void(Batch &&)> &deliver);

private:
    TrailBuffer m_pending;
    bool m_resynchronising = false; // the search for the next record goes on in the next call
    int64_t m_awaiting = 0;         // pending bytes the unfinished record needs before parsing
};
