#pragma once

#include "Engine/Record/AuditRecord.h"
#include "Views/Components/DetailPane.h"
#include "Views/Components/PoolWork.h"
#include "Views/Components/TokenRow.h"

#include <QString>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class QVBoxLayout;

// One titled block of the inspector and its key-value rows.
struct InspectorRow {
    QString key;
    QString value;
    bool monospaced = false;

    bool operator==(const InspectorRow &) const = default;
};

struct InspectorSection {
    QString title;
    std::vector<InspectorRow> rows;
    size_t more = 0; // rows past the limit, left out
};

// At most this many rows of one list (paths, sockets, texts, arguments), and of token rows: a
// record of millions of tokens is shown by its first ones and a count of the rest.
inline constexpr size_t inspectorRowLimit = 500;

// The record's field sections that apply to it, in order ("Command line" aside, which is a block
// of its own): "Subject", "Target process", "Objects", "Code signing identity", "Arguments & text".
std::vector<InspectorSection> inspectorSections(const AuditRecord &record);
// "AUE_OPEN · event 72 · classes fr,fw"
QString inspectorIdentityLine(const AuditRecord &record);

// One record in full: header, field sections, the tokens re-decoded from its bytes, and the raw
// bytes as a hex dump. Shows the record it is handed; which token rows are open and whether the
// hex dump is shown are its own state, kept while the host hands it other records (the open rows
// close when the record changes, the hex dump stays as it was).
//
// Whatever the record, the inspector costs the main thread what a small one does: a big record's
// tokens are decoded on the pool (the token list shows a busy indicator until they land), long
// texts and the hex dump are boxes that make only the lines in view, and the copy items make
// their text when chosen.
class RecordInspector : public DetailPane {
    Q_OBJECT

public:
    explicit RecordInspector(QWidget *parent = nullptr);

    void setRecord(const AuditRecord &record);
    // Records larger than this are decoded on the pool, smaller ones at once.
    static constexpr size_t decodeAtOnceLimit = 64 * 1024;
    bool isDecoding() const { return m_decoding.pending(); }
    // Back to a fresh inspector: no record, hex dump hidden, every token row closed.
    void reset();
    const std::optional<AuditRecord> &record() const { return m_record; }

    bool showHex() const { return m_showHex; }
    void setShowHex(bool show);
    const std::set<int> &expandedTokens() const { return m_expandedTokens; }
    void setTokenExpanded(int position, bool expanded);
    // "Expand All" / "Collapse All".
    void toggleAllTokens();

    // The decoded tokens of a record: the rows to show and how many there are in all.
    struct Tokens {
        std::vector<std::shared_ptr<const TokenContent>> rows; // at most inspectorRowLimit
        size_t count = 0;
        QString error; // the record's decode error, empty when it decoded
    };
    static std::shared_ptr<const Tokens> decode(const AuditRecord &record);

private:
    void rebuild();
    QWidget *header(const AuditRecord &record, QWidget *parent);
    QWidget *commandLineBlock(const AuditRecord &record, QWidget *parent);
    QWidget *tokensBlock(QWidget *parent);
    QWidget *rawBlock(const AuditRecord &record, QWidget *parent);

    std::optional<AuditRecord> m_record;
    std::shared_ptr<const AuditRecord> m_kept; // the record, for boxes that read it later
    std::shared_ptr<const Tokens> m_tokens;    // null while decoding
    PoolWork::Latest m_decoding;
    bool m_showHex = false;
    std::set<int> m_expandedTokens;
    int m_tokenCount = 0; // token rows shown
};
