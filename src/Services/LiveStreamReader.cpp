#include "Services/LiveStreamReader.h"

#include "BSM/BSMParser.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr size_t readSize = 262144;
constexpr size_t resyncBlindSpot = 10; // resynchronisation never looks at a buffer's last 10 bytes

// Where the bytes that the parser dropped without looking at them begin, if they could start a
// record. After stray bytes, resynchronisation gives up on the last 10 bytes of the buffer; in a
// file they are junk, but in a stream they may be the start of the next record, cut by the read.
std::optional<size_t> unexaminedRecordStart(const BSMParser::TrailResult &result, const std::vector<uint8_t> &buffer)
{
    if (result.issues.empty() || result.bytesConsumed != int64_t(buffer.size())) return std::nullopt;
    const ParseIssue &last = result.issues.back();
    if (!last.message.ends_with("; resynchronising")) return std::nullopt;
    if (!result.records.empty()) {
        const RawBytes &raw = result.records.back().raw;
        if (last.offset < raw.data() - buffer.data() + int64_t(raw.size())) return std::nullopt;
    }
    const size_t blind = buffer.size() > resyncBlindSpot ? buffer.size() - resyncBlindSpot : 0;
    for (size_t at = std::max(size_t(last.offset) + 1, blind); at < buffer.size(); ++at) {
        if (TokenID::isHeader(buffer[at])) return at;
    }
    return std::nullopt;
}

} // namespace

std::vector<AuditRecord> LiveStreamReader::decode(std::span<const uint8_t> bytes)
{
    m_pending.insert(m_pending.end(), bytes.begin(), bytes.end());
    // The records keep windows into this buffer; the unfinished tail is copied out of it.
    const auto buffer = std::make_shared<const std::vector<uint8_t>>(std::move(m_pending));
    BSMParser::TrailResult result = BSMParser::parse(buffer, -1, 0, true);
    auto consumed = static_cast<size_t>(std::clamp<int64_t>(result.bytesConsumed, 0, int64_t(buffer->size())));
    if (const std::optional<size_t> start = unexaminedRecordStart(result, *buffer)) consumed = *start;
    m_pending.assign(buffer->begin() + static_cast<std::ptrdiff_t>(consumed), buffer->end());
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
        if (count == 0) return {false, 0};
        if (count < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return {false, errno};
        }
        std::vector<AuditRecord> records = decode({buffer.data(), static_cast<size_t>(count)});
        if (!records.empty()) deliver({std::move(records), count});
    }
    return {true, 0};
}
