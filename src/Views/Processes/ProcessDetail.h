#pragma once

#include "Engine/Analysis/ProcessGraph.h"
#include "Views/Components/DetailPane.h"

#include <vector>

class AuditStore;
class QLabel;
class QPushButton;
class QVBoxLayout;
class TextBox;

// The Processes screen's inspector for one process: name and path, a warning for a suspicious
// location, the copyable command line, the facts, the lineage of known parents and the
// drill-downs. Built anew for every selected process; the lineage, a walk over the store's
// process list, is found on the pool and handed in when it lands (setLineage).
class ProcessDetail : public DetailPane {
    Q_OBJECT

public:
    ProcessDetail(AuditStore &store, const ProcessNode &process, QWidget *parent = nullptr);

    const ProcessNode &process() const { return m_process; }
    TextBox *commandLineBox() const { return m_commandLine; }
    QPushButton *showEventsButton() const { return m_showEvents; }
    QPushButton *execRecordButton() const { return m_execRecord; }
    // One label per lineage line, oldest first; empty when no ancestor is known.
    const QList<QLabel *> &lineageNames() const { return m_lineageNames; }
    // Shows the lineage: the known ancestors, oldest first, then the process (ProcessRows::ancestry).
    void setLineage(const std::vector<ProcessNode> &lineage);

private:
    ProcessNode m_process;
    QVBoxLayout *m_lineage = nullptr;
    TextBox *m_commandLine = nullptr;
    QPushButton *m_showEvents = nullptr;
    QPushButton *m_execRecord = nullptr;
    QList<QLabel *> m_lineageNames;
};

// The indent of lineage line `position` (0 for the oldest): two blanks per position, then "└ "
// for every line but the first.
QString lineageIndent(int position);
