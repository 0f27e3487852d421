#pragma once

#include "Engine/Analysis/Finding.h"
#include "Views/Components/DetailPane.h"

class AuditStore;
class QLabel;
class QPushButton;
class TextBox;

// The Findings screen's inspector for one finding: badge, rule, summary (copyable), explanation,
// facts with the ATT&CK link, the drill-down button and up to twelve evidence records. Built anew
// for every selected finding; it keeps no state.
class FindingDetail : public DetailPane {
    Q_OBJECT

public:
    static constexpr int evidenceLimit = 12;

    FindingDetail(AuditStore &store, const Finding &finding, QWidget *parent = nullptr);

    const Finding &finding() const { return m_finding; }
    TextBox *summaryBox() const { return m_summary; }
    QPushButton *showRecordsButton() const { return m_showRecords; }
    // The technique link, or null for a finding without a technique.
    QLabel *techniqueLink() const { return m_techniqueLink; }
    // The record ids that got an evidence row, in order.
    const std::vector<int64_t> &evidenceShown() const { return m_evidenceShown; }

private:
    Finding m_finding;
    TextBox *m_summary = nullptr;
    QPushButton *m_showRecords = nullptr;
    QLabel *m_techniqueLink = nullptr;
    std::vector<int64_t> m_evidenceShown;
};
