#include "Engine/Record/RecordBuilder.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>

namespace {

// Blocks big enough that allocating them costs nothing per record, small enough that the unused
// end of the last one wastes little; the largest are two huge pages, and the unused end of the
// last is given back in place.
constexpr size_t smallestBlock = 256;
constexpr size_t largestBlock = 2 * Memory::hugePage;
// The dedup table is a cache: past this many subjects it starts over.
constexpr size_t maximumSharedSubjects = 4096;

void write32(uint8_t *&p, uint32_t value)
{
    std::memcpy(p, &value, sizeof value);
    p += sizeof value;
}

} // namespace

size_t RecordBuilder::SubjectHash::operator()(const SubjectInfo &s) const noexcept
{
    size_t seed = std::hash<std::string>()(s.terminalAddress);
    for (const uint64_t field : {uint64_t(s.auid), uint64_t(s.euid), uint64_t(s.egid), uint64_t(s.ruid),
                                 uint64_t(s.rgid), uint64_t(s.pid), uint64_t(s.sid), s.terminalPort})
        seed ^= std::hash<uint64_t>()(field) + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2);
    return seed;
}

RecordBuilder::RecordBuilder(TrailBytes bytes, size_t expectedBytes)
    : m_storage(new RecordStorage)
    // Parts take about half of what the records' bytes do.
    , m_blockSize(std::clamp(expectedBytes / 2, smallestBlock, largestBlock))
{
    // A block mapped on its own takes whole huge pages, which its last bytes would otherwise miss.
    if (m_blockSize >= Memory::largeBuffer)
        m_blockSize = (m_blockSize + Memory::hugePage - 1) / Memory::hugePage * Memory::hugePage;
    m_storage->m_bytes = std::move(bytes);
}

RecordBuilder::Pending RecordBuilder::keep(std::string_view text)
{
    if (const TrailBuffer *buffer = m_storage->m_bytes.get(); buffer && !text.empty()) {
        const auto at = reinterpret_cast<uintptr_t>(text.data());
        const auto begin = reinterpret_cast<uintptr_t>(buffer->data());
        if (at >= begin && at - begin <= buffer->size() && text.size() <= buffer->size() - (at - begin))
            return {size_t(at - begin), uint32_t(text.size()), true};
    }
    const Pending pending{m_chars.size(), uint32_t(text.size()), false};
    m_chars.append(text);
    return pending;
}

void RecordBuilder::addText(RecordParts::List list, std::string_view text)
{
    m_lists[list].push_back(keep(text));
}

void RecordBuilder::addArg(uint8_t number, uint64_t value, std::string_view name)
{
    m_args.push_back({number, value, keep(name)});
}

void RecordBuilder::setExecArgs(const std::vector<std::string> &args)
{
    clearExecArgs();
    for (const std::string &arg : args) addExecArg(arg);
}

uint32_t RecordBuilder::setIdentity(const SigningIdentity &identity)
{
    m_storage->m_identities.push_back(identity);
    m_identity = uint32_t(m_storage->m_identities.size() - 1);
    return m_identity;
}

void RecordBuilder::setFile(std::optional<uint32_t> mode, std::optional<uint32_t> owner)
{
    m_fileMode = mode;
    m_fileOwner = owner;
}

void RecordBuilder::setDecodeError(std::string_view error)
{
    m_decodeError = keep(error);
}

uint32_t RecordBuilder::share(const SubjectInfo &subject)
{
    // A process's records come close together: the subject last seen with its pid is the
    // likeliest, and comparing it costs less than hashing.
    uint32_t &recent = m_recentByPid[subject.pid % recentSlots];
    if (recent != UINT32_MAX && m_storage->m_subjects[recent] == subject) return recent;
    recent = lookUp(subject);
    return recent;
}

uint32_t RecordBuilder::lookUp(const SubjectInfo &subject)
{
    if (const auto found = m_subjectIndex.find(subject); found != m_subjectIndex.end()) return found->second;
    if (m_subjectIndex.size() >= maximumSharedSubjects) m_subjectIndex.clear();
    m_storage->m_subjects.push_back(subject);
    const uint32_t index = uint32_t(m_storage->m_subjects.size() - 1);
    m_subjectIndex.emplace(subject, index);
    return index;
}

uint8_t *RecordBuilder::allocate(size_t size, uint64_t &location)
{
    // Their fields are read with memcpy, so parts need no alignment.
    const size_t start = m_blockUsed;
    if (m_storage->m_blocks.empty() || start + size > m_blockCapacity) {
        m_blockCapacity = std::max(size, m_blockSize);
        m_storage->m_blocks.emplace_back(m_blockCapacity);
        m_blockUsed = size;
        location = uint64_t(m_storage->m_blocks.size() - 1) << 32;
        return m_storage->m_blocks.back().get();
    }
    m_blockUsed = start + size;
    location = (uint64_t(m_storage->m_blocks.size() - 1) << 32) | start;
    return m_storage->m_blocks.back().get() + start;
}

void RecordBuilder::finish(AuditRecord &record, size_t rawOffset, size_t rawSize)
{
    record.m_storage = m_handle;
    record.m_raw = uint64_t(rawOffset) << AuditRecord::rawSizeBits | rawSize;
    record.m_subject = m_subject;
    record.m_target = m_target;
    record.m_identity = m_identity;

    // A view into the buffer stays a view only inside the record's own bytes, which is all a
    // record's reader can reach.
    const auto inRecord = [&](const Pending &text) {
        return text.inBuffer && text.offset >= rawOffset && text.offset - rawOffset + text.length <= rawSize;
    };
    size_t texts = m_args.size() + (m_decodeError ? 1 : 0);
    size_t characters = 0;
    bool narrow = true;
    const auto count = [&](RecordParts::List list) {
        return list == RecordParts::args ? m_args.size() : m_lists[list].size();
    };
    const auto copied = [&](const Pending &text) { return inRecord(text) ? 0 : text.length; };
    for (uint32_t l = 0; l < RecordParts::listCount; ++l)
        narrow = narrow && count(RecordParts::List(l)) <= RecordParts::narrowLimit[l];
    for (const auto &list : m_lists) {
        texts += list.size();
        for (const Pending &text : list) characters += copied(text);
    }
    for (const PendingArg &arg : m_args) characters += copied(arg.name);
    if (m_decodeError) characters += copied(*m_decodeError);
    const uint8_t flags = (m_exitStatus ? RecordParts::hasExitStatus : 0) | (m_fileMode ? RecordParts::hasFileMode : 0)
                          | (m_fileOwner ? RecordParts::hasFileOwner : 0)
                          | (m_decodeError ? RecordParts::hasDecodeError : 0) | (narrow ? 0 : RecordParts::wide);

    if (texts == 0 && flags == 0) {
        record.m_parts = AuditRecord::noParts;
    } else {
        const size_t header = narrow ? 4 : 4 + 4 * RecordParts::listCount;
        const size_t scalars = 4 * size_t(std::popcount(unsigned(flags & 7u)));
        const size_t size = header + scalars + 8 * texts + 9 * m_args.size() + characters;
        uint8_t *p = allocate(size, record.m_parts);

        p[0] = flags;
        if (narrow) {
            p[1] = uint8_t(count(RecordParts::paths) | count(RecordParts::texts) << 4);
            p[2] = uint8_t(count(RecordParts::sockets) | count(RecordParts::args) << 4);
            p[3] = uint8_t(count(RecordParts::execArgs));
            p += 4;
        } else {
            p[1] = p[2] = p[3] = 0;
            p += 4;
            for (uint32_t l = 0; l < RecordParts::listCount; ++l) write32(p, uint32_t(count(RecordParts::List(l))));
        }
        if (m_exitStatus) write32(p, uint32_t(*m_exitStatus));
        if (m_fileMode) write32(p, *m_fileMode);
        if (m_fileOwner) write32(p, *m_fileOwner);

        uint8_t *ends = p;
        uint8_t *starts = ends + 4 * texts;
        uint8_t *values = starts + 4 * texts;
        uint8_t *numbers = values + 8 * m_args.size();
        uint8_t *chars = numbers + m_args.size();
        const uint8_t *buffer = m_storage->bytes();
        uint32_t end = 0, at = 0;
        const auto place = [&](const Pending &text) {
            end += text.length;
            write32(ends, end);
            if (inRecord(text)) {
                write32(starts, uint32_t(text.offset - rawOffset));
                return;
            }
            // A view that strays outside the record is copied like any other text.
            const uint8_t *from = text.inBuffer ? buffer + text.offset
                                                : reinterpret_cast<const uint8_t *>(m_chars.data()) + text.offset;
            if (text.length) std::memcpy(chars + at, from, text.length);
            write32(starts, at | RecordParts::inRun);
            at += text.length;
        };
        for (const auto &list : m_lists)
            for (const Pending &text : list) place(text);
        for (const PendingArg &arg : m_args) place(arg.name);
        if (m_decodeError) place(*m_decodeError);
        for (const PendingArg &arg : m_args) {
            std::memcpy(values, &arg.value, 8);
            values += 8;
            *numbers++ = arg.number;
        }
    }
    discard();
}

void RecordBuilder::discard()
{
    m_chars.clear();
    for (auto &list : m_lists) list.clear();
    m_args.clear();
    m_exitStatus.reset();
    m_fileMode.reset();
    m_fileOwner.reset();
    m_decodeError.reset();
    m_subject = m_target = m_identity = UINT32_MAX;
}

void RecordBuilder::trim() noexcept
{
    try {
        if (!m_storage->m_blocks.empty() && m_blockUsed < m_blockCapacity) {
            PartsBlock &last = m_storage->m_blocks.back();
            if (!last.shrink(m_blockUsed)) {
                PartsBlock trimmed(m_blockUsed);
                std::memcpy(trimmed.get(), last.get(), m_blockUsed);
                last = std::move(trimmed);
            }
            m_blockCapacity = m_blockUsed;
        }
        m_storage->m_subjects.shrink_to_fit();
        m_storage->m_identities.shrink_to_fit();
    } catch (const std::bad_alloc &) {
        // Untrimmed storage is only larger.
    }
}

AuditRecord RecordContent::record() const
{
    auto bytes = std::make_shared<const TrailBuffer>(raw.begin(), raw.end());
    RecordBuilder builder(bytes, raw.size());
    AuditRecord record;
    record.id = id;
    record.source = source;
    record.event = event;
    record.modifier = modifier;
    record.time = time;
    record.returnStatus = returnStatus;
    record.returnValue = returnValue;
    record.tokenCount = tokenCount;
    if (processImage) record.processImage = *processImage;
    for (const std::string &path : paths) builder.addPath(path);
    for (const std::string &text : texts) builder.addText(text);
    for (const std::string &socket : sockets) builder.addSocket(socket);
    for (const ArgInfo &arg : args) builder.addArg(arg.number, arg.value, arg.name);
    builder.setExecArgs(execArgs);
    if (subject) builder.setSubject(*subject);
    if (target) builder.setTarget(*target);
    if (identity) builder.setIdentity(*identity);
    if (exitStatus) builder.setExitStatus(*exitStatus);
    builder.setFile(fileMode, fileOwner);
    if (decodeError) builder.setDecodeError(*decodeError);
    builder.finish(record, 0, raw.size());
    builder.trim();
    return record;
}

RecordContent RecordContent::of(const AuditRecord &record)
{
    RecordContent content;
    content.id = record.id;
    content.source = record.source;
    content.event = record.event;
    content.modifier = record.modifier;
    content.time = record.time;
    content.raw.assign(record.raw().begin(), record.raw().end());
    if (record.subject()) content.subject = *record.subject();
    if (record.target()) content.target = *record.target();
    content.returnStatus = record.returnStatus;
    content.returnValue = record.returnValue;
    content.paths = record.paths().toVector();
    content.texts = record.texts().toVector();
    content.args = record.args().toVector();
    content.execArgs = record.execArgs().toVector();
    content.sockets = record.sockets().toVector();
    if (record.identity()) content.identity = *record.identity();
    content.exitStatus = record.exitStatus();
    content.fileMode = record.fileMode();
    content.fileOwner = record.fileOwner();
    content.tokenCount = record.tokenCount;
    if (const auto error = record.decodeError()) content.decodeError = std::string(*error);
    if (record.processImage) content.processImage = *record.processImage;
    return content;
}
