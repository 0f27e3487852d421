#include "Engine/Capture/LiveStreamReader.h"

#include "Engine/Parser/BSMParser.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr size_t readSize = 262144;

} // namespace

std::vector<AuditRecord> LiveStreamReader::decode(std::span<const uint8_t> bytes)
{
    m_pending.insert(m_pending.end(), bytes.begin(), bytes.end());
    // Parsing again before the unfinished record is whole would only copy its bytes once more:
    // behind a large size claim, once per read.
    if (int64_t(m_pending.size()) < m_awaiting) return {};
    // The records keep windows into this buffer; the unfinished tail is copied out of it.
    const auto buffer = std::make_shared<const TrailBuffer>(std::move(m_pending));
    BSMParser::TrailResult result = BSMParser::parse(buffer, -1, 0, true, m_resynchronising);
    const auto consumed = static_cast<size_t>(std::clamp<int64_t>(result.bytesConsumed, 0, int64_t(buffer->size())));
    m_pending.assign(buffer->begin() + static_cast<std::ptrdiff_t>(consumed), buffer->end());
    m_resynchronising = result.resynchronising;
    m_awaiting = result.awaiting;
    return std::move(result.records);
}

std::vector<AuditRecord> LiveStreamReader::finish()
{
    const auto buffer = std::make_shared<const TrailBuffer>(std::move(m_pending));
    m_pending.clear();
    BSMParser::TrailResult result = BSMParser::parse(buffer, -1, 0, false, m_resynchronising);
    m_resynchronising = false;
    m_awaiting = 0;
    return std::move(result.records);
}

LiveStreamReader::Ending LiveStreamReader::run(int fd, const std::atomic<bool> &cancelled,
                                               std::chrono::milliseconds pollTimeout,
                                               const std::function<void(Batch &&)> &deliver)
{
    std::vector<uint8_t> buffer(readSize);
    pollfd entry{fd, POLLIN, 0};
    while (!cancelled.load()) {
        entry.revents = 0;
        const int ready = ::poll(&entry, 1, static_cast<int>(pollTimeout.count()));
        if (ready == 0) continue;
        if (ready < 0) {
            if (errno == EINTR) continue;
            return {false, errno};
        }
        // Whoever cancelled has let go of the pipe: what came after that is not theirs to see.
        if (cancelled.load()) break;
        // A descriptor that reports an error or hang-up would wake every poll at once: read once
        // more to learn which, and stop instead of spinning.
        if (entry.revents & POLLNVAL) return {false, EBADF};
        const ssize_t count = ::read(fd, buffer.data(), buffer.size());
        if (count == 0) {
            std::vector<AuditRecord> records = finish();
            if (!records.empty()) deliver({std::move(records), 0});
            return {false, 0};
        }
        if (count < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return {false, errno};
        }
        std::vector<AuditRecord> records = decode({buffer.data(), static_cast<size_t>(count)});
        if (!records.empty()) deliver({std::move(records), count});
    }
    return {true, 0};
}
