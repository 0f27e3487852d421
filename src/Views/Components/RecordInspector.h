#pragma once

#include "Engine/Record/AuditRecord.h"

#include <QScrollArea>
#include <QString>

#include <optional>
#include <set>
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
};

// The record's field sections that apply to it, in order ("Command line" aside, which is a block
// of its own): "Subject", "Target process", "Objects", "Code signing identity", "Arguments & text".
std::vector<InspectorSection> inspectorSections(const AuditRecord &record);
// "AUE_OPEN · event 72 · classes fr,fw"
QString inspectorIdentityLine(const AuditRecord &record);

// One record in full: header, field sections, the tokens re-decoded from its bytes, and the raw
// bytes as a hex dump. Shows the record it is handed; which token rows are open and whether the
// hex dump is shown are its own state, kept while the host hands it other records (the open rows
// close when the record changes, the hex dump stays as it was).
class RecordInspector : public QScrollArea {
    Q_OBJECT

public:
    explicit RecordInspector(QWidget *parent = nullptr);

    void setRecord(const AuditRecord &record);
    // Back to a fresh inspector: no record, hex dump hidden, every token row closed.
    void reset();
    const std::optional<AuditRecord> &record() const { return m_record; }

    bool showHex() const { return m_showHex; }
    void setShowHex(bool show);
    const std::set<int> &expandedTokens() const { return m_expandedTokens; }
    void setTokenExpanded(int position, bool expanded);
    // "Expand All" / "Collapse All".
    void toggleAllTokens();

private:
    void rebuild();
    QWidget *header(const AuditRecord &record, QWidget *parent);
    QWidget *tokensBlock(const AuditRecord &record, QWidget *parent);
    QWidget *rawBlock(const AuditRecord &record, QWidget *parent);

    std::optional<AuditRecord> m_record;
    bool m_showHex = false;
    std::set<int> m_expandedTokens;
    int m_tokenCount = 0;
};
