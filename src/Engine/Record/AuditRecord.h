#pragma once

#include "Engine/Record/Boxed.h"
#include "Engine/Record/TrailBytes.h"
#include "Engine/Record/RecordQuery.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// User and group ids of 0xFFFFFFFF mean "unset" throughout the audit format.
inline constexpr uint32_t unsetID = 0xFFFFFFFFu;

// The acting (subject token) or target (process token) process of a record.
struct SubjectInfo {
    uint32_t auid = 0;
    uint32_t euid = 0;
    uint32_t egid = 0;
    uint32_t ruid = 0;
    uint32_t rgid = 0;
    uint32_t pid = 0;
    uint32_t sid = 0;
    uint64_t terminalPort = 0;
    std::string terminalAddress;

    bool operator==(const SubjectInfo &) const = default;
};

struct ArgInfo {
    uint8_t number = 0;
    uint64_t value = 0;
    std::string name;

    bool operator==(const ArgInfo &) const = default;
};

struct SigningIdentity {
    uint32_t signerType = 0;
    std::string signingID;
    std::string teamID;
    std::string cdhash;

    // "none", "Apple platform binary", "Developer" or "type N".
    std::string signerDescription() const;

    bool operator==(const SigningIdentity &) const = default;
};

// An argument token as a record holds it: the name is a view into the record's storage.
struct ArgView {
    uint8_t number = 0;
    uint64_t value = 0;
    std::string_view name;

    bool operator==(const ArgView &) const = default;
    friend bool operator==(const ArgView &a, const ArgInfo &b)
    {
        return a.number == b.number && a.value == b.value && a.name == b.name;
    }
    ArgInfo toInfo() const { return {number, value, std::string(name)}; }
};

// A block of a storage's packed parts. Large ones are mapped on their own, in huge pages.
class PartsBlock {
public:
    PartsBlock() = default;
    explicit PartsBlock(size_t size) : m_data(static_cast<uint8_t *>(Memory::allocate(size))), m_size(size) {}
    PartsBlock(PartsBlock &&other) noexcept
        : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0))
    {}
    PartsBlock &operator=(PartsBlock &&other) noexcept
    {
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
        return *this;
    }
    ~PartsBlock() { Memory::release(m_data, m_size); }

    uint8_t *get() const { return m_data; }
    // Gives back what lies past the first `kept` bytes, where that can be done in place.
    bool shrink(size_t kept) noexcept
    {
        if (!Memory::shrink(m_data, m_size, kept)) return false;
        m_size = kept;
        return true;
    }

private:
    uint8_t *m_data = nullptr;
    size_t m_size = 0;
};

// The storage the records decoded from one buffer share: the buffer, every record's texts packed
// into a few large blocks, and one table each of the subjects and signing identities they name.
// Written while its records are built, then never changed.
class RecordStorage {
public:
    RecordStorage() = default;
    RecordStorage(const RecordStorage &) = delete;
    RecordStorage &operator=(const RecordStorage &) = delete;

    const uint8_t *bytes() const { return m_bytes ? m_bytes->data() : nullptr; }
    const uint8_t *block(uint32_t index) const { return m_blocks[index].get(); }
    const SubjectInfo &subject(uint32_t index) const { return m_subjects[index]; }
    const SigningIdentity &identity(uint32_t index) const { return m_identities[index]; }

private:
    friend class RecordBuilder;
    friend class StorageRef;
    // Counted by hand: a record holds one pointer, not a shared_ptr's two.
    mutable std::atomic<uint32_t> m_references{0};
    TrailBytes m_bytes;
    std::vector<PartsBlock> m_blocks;
    std::vector<SubjectInfo> m_subjects;
    std::vector<SigningIdentity> m_identities;
};

// A counted reference to a storage, as small as a pointer.
class StorageRef {
public:
    StorageRef() = default;
    explicit StorageRef(RecordStorage *storage) : m_storage(storage) { retain(); }
    StorageRef(const StorageRef &other) : m_storage(other.m_storage) { retain(); }
    StorageRef(StorageRef &&other) noexcept : m_storage(std::exchange(other.m_storage, nullptr)) {}
    StorageRef &operator=(const StorageRef &other)
    {
        StorageRef copy(other);
        std::swap(m_storage, copy.m_storage);
        return *this;
    }
    StorageRef &operator=(StorageRef &&other) noexcept
    {
        StorageRef taken(std::move(other));
        std::swap(m_storage, taken.m_storage);
        return *this;
    }
    ~StorageRef()
    {
        if (m_storage && m_storage->m_references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete m_storage;
    }

    const RecordStorage *operator->() const { return m_storage; }
    explicit operator bool() const { return m_storage != nullptr; }

private:
    void retain()
    {
        if (m_storage) m_storage->m_references.fetch_add(1, std::memory_order_relaxed);
    }
    RecordStorage *m_storage = nullptr;
};

namespace RecordParts {

// A record's parts are one packed run of bytes in a storage block:
//   a header: one byte of flags, then the counts of paths, texts, sockets and args in a nibble
//   each and of exec args in a byte; or, with `wide` set, three spare bytes and five u32 counts
//   (paths, texts, exec args, sockets, args);
//   the optional scalars the flags name (exit status, file mode, file owner), four bytes each;
//   the u32 end of every text in list order (paths, texts, exec args, sockets, the arguments'
//   names, the decoding error), counted as if each text began where the one before ends, so a
//   text's length is its end less the one before's;
//   the u32 start of every text, in the same order: where it lies in the record's own bytes, or,
//   with `inRun` set, in the characters at the end of the run;
//   the arguments' u64 values, then their u8 numbers, then the characters of the texts that the
//   record's bytes do not hold as they are.
// Most texts (a valid UTF-8 path, say) are the record's own bytes and are not copied.
// Nothing in it is aligned; it is read with memcpy.
enum List : uint32_t { paths, texts, execArgs, sockets, args, listCount };
enum Flag : uint8_t { hasExitStatus = 1, hasFileMode = 2, hasFileOwner = 4, hasDecodeError = 8, wide = 16 };
inline constexpr uint32_t narrowLimit[listCount] = {15, 15, 255, 15, 15};
inline constexpr uint32_t inRun = 0x80000000u;

inline uint32_t read32(const uint8_t *p)
{
    uint32_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

inline uint64_t read64(const uint8_t *p)
{
    uint64_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// The texts of one run, wherever each lies. The starts and characters are found from the ends
// and the counts, which keeps a text list as small as it was when every text was copied.
struct Texts {
    const uint8_t *ends = nullptr;
    const uint8_t *raw = nullptr; // the record's own bytes
    uint32_t all = 0;             // texts in the run
    uint32_t args = 0;            // arguments in the run

    // The lengths of the texts before text i, together.
    size_t before(size_t i) const { return i ? read32(ends + 4 * (i - 1)) : 0; }
    const uint8_t *starts() const { return ends + 4 * size_t(all); }
    const uint8_t *chars() const { return ends + 8 * size_t(all) + 9 * size_t(args); }
    std::string_view operator[](size_t i) const
    {
        const uint32_t start = read32(starts() + 4 * i);
        const uint8_t *base = (start & inRun) ? chars() + (start & ~inRun) : raw + start;
        return {reinterpret_cast<const char *>(base), read32(ends + 4 * i) - before(i)};
    }
};

// Where everything of one run is.
struct Layout {
    uint32_t counts[listCount] = {};
    uint8_t flags = 0;
    const uint8_t *scalars = nullptr;
    Texts strings;
    const uint8_t *values = nullptr;
    const uint8_t *numbers = nullptr;

    Layout(const uint8_t *p, const uint8_t *raw)
    {
        flags = p[0];
        if (flags & wide) {
            for (uint32_t l = 0; l < listCount; ++l) counts[l] = read32(p + 4 + 4 * l);
            scalars = p + 4 + 4 * listCount;
        } else {
            counts[paths] = p[1] & 15u;
            counts[texts] = p[1] >> 4;
            counts[sockets] = p[2] & 15u;
            counts[args] = p[2] >> 4;
            counts[execArgs] = p[3];
            scalars = p + 4;
        }
        uint32_t all = (flags & hasDecodeError) ? 1 : 0;
        for (const uint32_t count : counts) all += count;
        strings = {scalars + 4 * std::popcount(unsigned(flags & 7u)), raw, all, counts[args]};
        values = strings.starts() + 4 * size_t(all);
        numbers = values + 8 * size_t(counts[args]);
    }
    // The index of the list's first text among all of the run's texts.
    uint32_t first(uint32_t list) const
    {
        uint32_t before = 0;
        for (uint32_t l = 0; l < list; ++l) before += counts[l];
        return before;
    }
};

} // namespace RecordParts

// Random access by index over one of a record's lists, yielding values, not references. It holds
// its own copy of the list's few pointers, so it stays valid as long as the record's storage.
template <typename List, typename Value>
class PartIterator {
public:
    using iterator_category = std::random_access_iterator_tag;
    using iterator_concept = std::random_access_iterator_tag;
    using value_type = Value;
    using difference_type = std::ptrdiff_t;
    using reference = Value;
    using pointer = void;

    PartIterator() = default;
    PartIterator(const List &list, size_t index) : m_list(list), m_index(index) {}

    Value operator*() const { return m_list[m_index]; }
    Value operator[](difference_type n) const { return m_list[size_t(difference_type(m_index) + n)]; }
    PartIterator &operator++()
    {
        ++m_index;
        return *this;
    }
    PartIterator operator++(int)
    {
        PartIterator old = *this;
        ++m_index;
        return old;
    }
    PartIterator &operator--()
    {
        --m_index;
        return *this;
    }
    PartIterator operator--(int)
    {
        PartIterator old = *this;
        --m_index;
        return old;
    }
    PartIterator &operator+=(difference_type n)
    {
        m_index = size_t(difference_type(m_index) + n);
        return *this;
    }
    PartIterator &operator-=(difference_type n) { return *this += -n; }
    friend PartIterator operator+(PartIterator i, difference_type n) { return i += n; }
    friend PartIterator operator+(difference_type n, PartIterator i) { return i += n; }
    friend PartIterator operator-(PartIterator i, difference_type n) { return i -= n; }
    friend difference_type operator-(const PartIterator &a, const PartIterator &b)
    {
        return difference_type(a.m_index) - difference_type(b.m_index);
    }
    friend bool operator==(const PartIterator &a, const PartIterator &b) { return a.m_index == b.m_index; }
    friend auto operator<=>(const PartIterator &a, const PartIterator &b) { return a.m_index <=> b.m_index; }

private:
    List m_list;
    size_t m_index = 0;
};

// One of a record's text lists: views into the record's storage, valid while the record or any
// copy of it lives.
class StringList {
public:
    using value_type = std::string_view;
    using iterator = PartIterator<StringList, std::string_view>;
    using const_iterator = iterator;

    StringList() = default;
    StringList(const RecordParts::Texts &texts, uint32_t first, uint32_t count)
        : m_texts(texts), m_first(first), m_count(count)
    {}

    size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    std::string_view operator[](size_t i) const { return m_texts[m_first + i]; }
    std::string_view front() const { return (*this)[0]; }
    std::string_view back() const { return (*this)[m_count - 1]; }
    iterator begin() const { return {*this, 0}; }
    iterator end() const { return {*this, m_count}; }
    std::vector<std::string> toVector() const { return {begin(), end()}; }
    // Where text i would start, in characters after the first text's start, were the texts laid
    // one after another: this and the total (i == size()) take no walk over the list.
    size_t offsetOf(size_t i) const { return m_texts.before(m_first + i) - m_texts.before(m_first); }
    size_t characters() const { return offsetOf(m_count); }
    // The texts from the i-th on.
    StringList from(size_t i) const
    {
        return i >= m_count ? StringList() : StringList(m_texts, m_first + uint32_t(i), m_count - uint32_t(i));
    }

    friend bool operator==(const StringList &a, const StringList &b)
    {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
    }
    friend bool operator==(const StringList &a, const std::vector<std::string> &b)
    {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
    }

private:
    RecordParts::Texts m_texts;
    uint32_t m_first = 0;
    uint32_t m_count = 0;
};

// A record's argument tokens, in record order.
class ArgList {
public:
    using value_type = ArgView;
    using iterator = PartIterator<ArgList, ArgView>;
    using const_iterator = iterator;

    ArgList() = default;
    explicit ArgList(const RecordParts::Layout &layout)
        : m_texts(layout.strings)
        , m_values(layout.values)
        , m_numbers(layout.numbers)
        , m_first(layout.first(RecordParts::args))
        , m_count(layout.counts[RecordParts::args])
    {}

    size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    ArgView operator[](size_t i) const
    {
        return {m_numbers[i], RecordParts::read64(m_values + 8 * i), m_texts[m_first + i]};
    }
    ArgView front() const { return (*this)[0]; }
    iterator begin() const { return {*this, 0}; }
    iterator end() const { return {*this, m_count}; }
    std::vector<ArgInfo> toVector() const
    {
        std::vector<ArgInfo> all;
        for (const ArgView arg : *this) all.push_back(arg.toInfo());
        return all;
    }

    friend bool operator==(const ArgList &a, const ArgList &b)
    {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
    }
    friend bool operator==(const ArgList &a, const std::vector<ArgInfo> &b)
    {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
    }

private:
    RecordParts::Texts m_texts;
    const uint8_t *m_values = nullptr;
    const uint8_t *m_numbers = nullptr;
    uint32_t m_first = 0;
    uint32_t m_count = 0;
};

// One decoded audit record. Times are seconds since 1970-01-01 UTC.
//
// A record is small and cheap to copy: its texts, subjects and raw bytes live in the storage of
// the buffer it was decoded from, which every copy keeps alive. The accessors read them there.
struct AuditRecord {
    int64_t id = 0;
    int64_t source = 0;
    double time = 0;
    int64_t returnValue = 0;
    Boxed<std::string> processImage; // shared by every record of one process
    uint32_t tokenCount = 0;
    uint16_t event = 0;
    uint16_t modifier = 0;
    uint8_t returnStatus = 0;

private:
    // Declared here so they fill the space after the fields above: a record takes 88 bytes.
    static constexpr uint32_t none = UINT32_MAX;
    static constexpr uint64_t noParts = UINT64_MAX;
    // Records are at most 16 MiB, so a size takes 25 bits and leaves 39 for the offset.
    static constexpr int rawSizeBits = 25;
    uint32_t m_subject = none;
    uint32_t m_target = none;
    uint32_t m_identity = none;
    StorageRef m_storage;
    uint64_t m_raw = 0;         // offset << rawSizeBits | size
    uint64_t m_parts = noParts; // block index << 32 | offset in the block

public:
    // The record's own bytes.
    std::span<const uint8_t> raw() const
    {
        return m_storage ? std::span<const uint8_t>(m_storage->bytes() + (m_raw >> rawSizeBits),
                                                    m_raw & ((uint64_t(1) << rawSizeBits) - 1))
                         : std::span<const uint8_t>();
    }
    const SubjectInfo *subject() const { return m_subject == none ? nullptr : &m_storage->subject(m_subject); }
    const SubjectInfo *target() const { return m_target == none ? nullptr : &m_storage->subject(m_target); }
    const SigningIdentity *identity() const { return m_identity == none ? nullptr : &m_storage->identity(m_identity); }
    StringList paths() const { return strings(RecordParts::paths); }
    StringList texts() const { return strings(RecordParts::texts); }
    StringList execArgs() const { return strings(RecordParts::execArgs); }
    StringList sockets() const { return strings(RecordParts::sockets); }
    ArgList args() const;
    std::optional<int32_t> exitStatus() const;
    std::optional<uint32_t> fileMode() const;
    std::optional<uint32_t> fileOwner() const;
    std::optional<std::string_view> decodeError() const;

    // The storage the record's texts live in: holding it keeps views into them valid.
    const StorageRef &storage() const { return m_storage; }

    // Last path component of processImage; "" without one.
    std::string processName() const;
    // Class short names of the event, in catalogue order.
    std::vector<std::string> classNames() const;
    // One line saying what the record touched.
    std::string detailSummary() const;
    // The same, appended to `out`: lets a caller reuse one buffer for many records.
    void appendDetailSummary(std::string &out) const;
    // Case-insensitive free-text test behind every search field. The query is prepared once for
    // all the records a search looks at.
    bool matches(const RecordQuery &query) const;

private:
    friend class RecordBuilder;

    // Where the record's own bytes start; null without a storage's buffer.
    const uint8_t *rawBytes() const
    {
        const uint8_t *bytes = m_storage ? m_storage->bytes() : nullptr;
        return bytes ? bytes + (m_raw >> rawSizeBits) : nullptr;
    }
    const uint8_t *parts() const
    {
        return m_parts == noParts ? nullptr : m_storage->block(uint32_t(m_parts >> 32)) + uint32_t(m_parts);
    }
    StringList strings(RecordParts::List list) const
    {
        const uint8_t *p = parts();
        if (!p) return {};
        const RecordParts::Layout layout(p, rawBytes());
        return {layout.strings, layout.first(list), layout.counts[list]};
    }
    std::optional<uint32_t> scalar(RecordParts::Flag flag) const;
};

// What every decoded record costs besides its share of the storage: it should not grow unnoticed.
static_assert(sizeof(AuditRecord) == 88);
