#pragma once

#include "Services/MonitorAlert.h"
#include "Views/Components/DetailPane.h"

#include <QString>

class QAction;
class QLabel;
class QPushButton;

// "Evidence (1 record)", "Evidence (5 records)".
QString evidenceTitle(size_t count);
// The evidence entries joined by a blank line.
QString evidenceText(const std::vector<std::string> &evidence);

// One alert of the history in full: kind or severity, rule, summary, explanation, times, user,
// tactic, ATT&CK technique and the evidence captured when it was raised. Reads only.
class AlertDetail : public DetailPane {
    Q_OBJECT

public:
    explicit AlertDetail(const MonitorAlert &alert, QWidget *parent = nullptr);

    const MonitorAlert &alert() const { return m_alert; }
    QLabel *titleLabel() const { return m_title; }
    // The summary's box: a text edit, or for a summary too long to lay out whole a LineBox.
    QWidget *summaryBox() const { return m_summary; }
    QAction *copySummaryAction() const { return m_copySummary; }
    QLabel *techniqueLink() const { return m_technique; }              // null without technique
    QPushButton *copyEvidenceButton() const { return m_copyEvidence; } // null without evidence
    QLabel *evidenceHeader() const { return m_evidenceHeader; }

private:
    MonitorAlert m_alert;
    QLabel *m_title = nullptr;
    QWidget *m_summary = nullptr;
    QAction *m_copySummary = nullptr;
    QLabel *m_technique = nullptr;
    QPushButton *m_copyEvidence = nullptr;
    QLabel *m_evidenceHeader = nullptr;
};
