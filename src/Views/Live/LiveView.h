#pragma once

#include "Services/LiveMonitor.h"
#include "Views/Live/LiveRecordsModel.h"
#include "Views/ScreenWidget.h"

#include <QString>

#include <optional>
#include <set>
#include <string>

class LiveFindingsList;
class MasterDetail;
class SelectionGuard;
class QAbstractButton;
class QCheckBox;
class QFrame;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTableView;
class QTimer;
class QToolButton;
class RecordInspector;

// "Classes: " and the short names in ascending order joined by ",".
QString liveClassMenuLabel(const std::set<std::string> &classes);

// The empty state's symbol, title and message for a capture state.
struct LiveEmptyState {
    QString symbol;
    QString title;
    QString message;
    bool failed = false; // the message is the failure, in red
};
LiveEmptyState liveEmptyState(const LiveMonitor::State &state);

// The Live Monitor screen: drives the capture and shows its rolling buffer newest first, the
// findings of the latest analysis pass and the record inspector for the selected row. Everything
// shown lives in the LiveMonitor; the screen keeps the selection, the search and "Failures only".
// The table follows the buffer at most four times a second.
class LiveView : public ScreenWidget {
    Q_OBJECT

public:
    static constexpr int tableUpdateIntervalMs = 250;

    explicit LiveView(const ViewContext &context, QWidget *parent = nullptr);

    QString searchPrompt() const override { return QStringLiteral("Filter live events…"); }

    const std::optional<int64_t> &selection() const { return m_selection; }
    bool failuresOnly() const { return m_failuresOnly; }
    void setFailuresOnly(bool on);
    LiveRecordsModel *recordsModel() const { return m_model; }
    QTableView *table() const { return m_table; }
    LiveFindingsList *findingsList() const { return m_findings; }
    RecordInspector *inspector() const { return m_inspector; }
    // Whether the inspector column is presented (exactly while a row id is selected).
    bool inspectorPresented() const;
    // Whether the empty state stands in for the table.
    bool showsEmptyState() const;

    // Brings the table up to the buffer now instead of at the next tick.
    void updateTable();

signals:
    // After each table update, with its time on the main thread.
    void tableUpdated(qint64 nanoseconds);

private:
    QWidget *makeControlBar();
    QWidget *makePlaceholder();
    QWidget *makeContent();
    QWidget *stat(QLabel *&value, const QString &label);

    LiveMonitor::Records sourceList() const;
    LiveFilter currentFilter() const;
    void recordsPublished();
    void sourceReplaced();
    void refilter();
    void updateControls();
    void updateStatistics();
    void updateEmptyState();
    void updateInspector();
    void buildClassMenu();
    void updateClassMenu();
    void analyseCapture();

    LiveMonitor *m_live;
    AuditStore *m_store;
    std::optional<int64_t> m_selection;
    bool m_failuresOnly = false;

    // Publications not yet in the table.
    int64_t m_pendingDropped = 0;
    bool m_pendingRoll = false;
    bool m_pendingRefresh = false;
    bool m_pendingReset = false;
    QTimer *m_tableTimer;

    QPushButton *m_startButton = nullptr;
    QWidget *m_waiting = nullptr;
    QPushButton *m_stopButton = nullptr;
    QPushButton *m_pauseButton = nullptr;
    QToolButton *m_classButton = nullptr;
    QMenu *m_classMenu = nullptr;
    QCheckBox *m_failuresBox = nullptr;
    QWidget *m_statistics = nullptr;
    QLabel *m_receivedValue = nullptr;
    QLabel *m_rateValue = nullptr;
    QLabel *m_bytesValue = nullptr;
    QPushButton *m_clearButton = nullptr;
    QPushButton *m_analyseButton = nullptr;

    QStackedWidget *m_stack = nullptr;
    QLabel *m_emptySymbol = nullptr;
    QLabel *m_emptyTitle = nullptr;
    QLabel *m_emptyMessage = nullptr;
    MasterDetail *m_frame = nullptr;
    SelectionGuard *m_guard = nullptr;
    QTableView *m_table = nullptr;
    LiveRecordsModel *m_model = nullptr;
    LiveFindingsList *m_findings = nullptr;
    QWidget *m_findingsEmpty = nullptr;
    RecordInspector *m_inspector = nullptr;
};
