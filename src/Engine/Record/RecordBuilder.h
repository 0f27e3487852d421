#pragma once

#include "Engine/Record/AuditRecord.h"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// What a record says, as plain values: for records made by hand rather than decoded.
struct RecordContent {
    int64_t id = 0;
    int64_t source = 0;
    uint16_t event = 0;
    uint16_t modifier = 0;
    double time = 0;
    std::vector<uint8_t> raw;
    std::optional<SubjectInfo> subject;
    std::optional<SubjectInfo> target;
    uint8_t returnStatus = 0;
    int64_t returnValue = 0;
    std::vector<std::string> paths;
    std::vector<std::string> texts;
    std::vector<ArgInfo> args;
    std::vector<std::string> execArgs;
    std::vector<std::string> sockets;
    std::optional<SigningIdentity> identity;
    std::optional<int32_t> exitStatus;
    std::optional<uint32_t> fileMode;
    std::optional<uint32_t> fileOwner;
    uint32_t tokenCount = 0;
    std::optional<std::string> decodeError;
    std::optional<std::string> processImage;

    bool operator==(const RecordContent &) const = default;

    // A record of its own storage holding exactly this.
    AuditRecord record() const;
    // What `record` says.
    static RecordContent of(const AuditRecord &record);
};

// Builds the records of one buffer into one storage they share. The parts of the record under
// way are collected, then packed into the storage by finish(); subjects and signing identities
// are stored once per distinct value. One builder per thread.
class RecordBuilder {
public:
    // `bytes` is the buffer the records' raw bytes are windows into. `expectedBytes`, how much of
    // it the records will come from, sizes the storage blocks. A text handed in as a view into
    // the record's own bytes in that buffer is kept as that view, not copied.
    RecordBuilder(TrailBytes bytes, size_t expectedBytes);

    void addPath(std::string_view path) { addText(RecordParts::paths, path); }
    void addText(std::string_view text) { addText(RecordParts::texts, text); }
    void addSocket(std::string_view socket) { addText(RecordParts::sockets, socket); }
    void addArg(uint8_t number, uint64_t value, std::string_view name);
    // A later exec arguments token replaces an earlier one's: it clears them, then adds its own.
    void clearExecArgs() { m_lists[RecordParts::execArgs].clear(); }
    void addExecArg(std::string_view arg) { addText(RecordParts::execArgs, arg); }
    void setExecArgs(const std::vector<std::string> &args);
    // Store a subject or target; the index they return may be handed to useSubject and useTarget.
    uint32_t setSubject(const SubjectInfo &subject) { return m_subject = share(subject); }
    uint32_t setTarget(const SubjectInfo &target) { return m_target = share(target); }
    void useSubject(uint32_t index) { m_subject = index; }
    void useTarget(uint32_t index) { m_target = index; }
    // Stores a signing identity; the index it returns may be handed to useIdentity later.
    uint32_t setIdentity(const SigningIdentity &identity);
    void useIdentity(uint32_t index) { m_identity = index; }
    void setExitStatus(int32_t status) { m_exitStatus = status; }
    void setFile(std::optional<uint32_t> mode, std::optional<uint32_t> owner);
    bool hasFile() const { return m_fileMode || m_fileOwner; }
    void setDecodeError(std::string_view error);

    // Gives `record` the parts collected since the last finish or discard and its raw window,
    // then starts afresh.
    void finish(AuditRecord &record, size_t rawOffset, size_t rawSize);
    // Forgets the parts collected since the last finish or discard.
    void discard();

    // Gives back what the storage's last block does not use. Records finished afterwards go on
    // sharing the storage. Where the memory to do so is lacking, it keeps the room.
    void trim() noexcept;

private:
    // A text of the record under way: in m_chars, or where it lies in the buffer.
    struct Pending {
        size_t offset;
        uint32_t length;
        bool inBuffer;
    };
    struct PendingArg {
        uint8_t number;
        uint64_t value;
        Pending name;
    };
    struct SubjectHash {
        size_t operator()(const SubjectInfo &s) const noexcept;
    };

    void addText(RecordParts::List list, std::string_view text);
    Pending keep(std::string_view text);
    uint32_t share(const SubjectInfo &subject);
    uint32_t lookUp(const SubjectInfo &subject);
    uint8_t *allocate(size_t size, uint64_t &location);

    RecordStorage *m_storage; // owned through m_handle, written only here
    StorageRef m_handle{m_storage};
    size_t m_blockSize;
    size_t m_blockUsed = 0;
    size_t m_blockCapacity = 0;

    // The record under way.
    std::string m_chars;
    std::vector<Pending> m_lists[RecordParts::args];
    std::vector<PendingArg> m_args;
    std::optional<int32_t> m_exitStatus;
    std::optional<uint32_t> m_fileMode;
    std::optional<uint32_t> m_fileOwner;
    std::optional<Pending> m_decodeError;
    uint32_t m_subject = UINT32_MAX;
    uint32_t m_target = UINT32_MAX;
    uint32_t m_identity = UINT32_MAX;

    // A process writes the same subject into every record of its own.
    std::unordered_map<SubjectInfo, uint32_t, SubjectHash> m_subjectIndex;
    static constexpr size_t recentSlots = 256;
    std::array<uint32_t, recentSlots> m_recentByPid = filledRecent();
    static constexpr std::array<uint32_t, recentSlots> filledRecent()
    {
        // Not "slots": Qt defines that as a macro.
        std::array<uint32_t, recentSlots> empty{};
        empty.fill(UINT32_MAX);
        return empty;
    }
};
