#pragma once

#include "Engine/BSM/Uuid.h"
#include "Views/ScreenWidget.h"

#include <QString>
#include <QUrl>

#include <functional>
#include <optional>
#include <set>

class AlertCenter;
class AlertDetail;
class AlertTableModel;
class AlertingCard;
class BackgroundCard;
class ContentUnavailable;
class LiveMonitor;
class MasterDetail;
class MonitorStatusLine;
class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QMessageBox;
class QPushButton;
class QTableView;
class QToolButton;
class SelectionGuard;

// The status card's third line while running: "Classes: aa, ad, … · 12.4 records/s · 3 findings
// in the rolling buffer".
QString monitorRunningLine(const std::set<std::string> &classes, double ratePerSecond, size_t findings);
// The footnote, ending with the buffer limit and " records.".
QString monitorFootnote(int64_t bufferLimit);

// The Background Monitor screen: the capture's status card, the alerting and background settings,
// the alert history with its header, table and menus, and the detail of the one selected alert.
// Keeps the selected alert ids and "New only"; everything else belongs to the live capture and the
// alert centre.
class MonitorView : public ScreenWidget {
    Q_OBJECT

public:
    // Platform doors the screen opens; tests replace them.
    struct Hooks {
        // The chosen file, or an empty URL when cancelled: a URL keeps the bytes of a name that is
        // not UTF-8, which a path's text would lose.
        std::function<QUrl(QWidget *parent)> chooseExportPath;
        std::function<void()> openNotificationSettings;
        std::function<void()> openLoginItems;
    };
    static Hooks defaultHooks();

    explicit MonitorView(const ViewContext &context, QWidget *parent = nullptr);
    MonitorView(const ViewContext &context, Hooks hooks, QWidget *parent = nullptr);

    const std::set<Uuid> &selection() const { return m_selection; }
    // As a click in the table would: the selection becomes these ids.
    void select(const std::set<Uuid> &ids);
    bool newOnly() const { return m_newOnly; }
    void setNewOnly(bool on);

    void exportJSON();
    // The row menu for the right-clicked alert (none: empty space); its actions act at once.
    QMenu *rowMenu(const std::optional<Uuid> &clicked);

    QTableView *table() const { return m_table; }
    AlertTableModel *tableModel() const { return m_model; }
    QLabel *countsLabel() const { return m_counts; }
    QPushButton *acknowledgeAllButton() const { return m_acknowledgeAll; }
    QToolButton *historyMenuButton() const { return m_menuButton; }
    QAction *exportAction() const { return m_exportAction; }
    QAction *deleteSelectedAction() const { return m_deleteSelected; }
    QAction *clearHistoryAction() const { return m_clearHistory; }
    QCheckBox *newOnlyBox() const { return m_newOnlyBox; }
    AlertDetail *detail() const; // null while the empty state shows
    ContentUnavailable *tableEmptyState() const { return m_tableEmpty; }
    AlertingCard *alertingCard() const { return m_alertingCard; }
    BackgroundCard *backgroundCard() const { return m_backgroundCard; }
    QLabel *statusSymbol() const { return m_statusSymbol; }
    QLabel *statusHeadline() const { return m_headline; }
    QLabel *runningLine() const { return m_runningLine; }
    MonitorStatusLine *statusLine() const { return m_statusLine; }
    QPushButton *captureButton() const { return m_captureButton; }
    QMessageBox *errorAlert() const { return m_errorAlert; }
    QMessageBox *exportErrorAlert() const { return m_exportError; }

protected:
    void appeared() override;

private:
    QWidget *makeSettings();
    QWidget *makeStatusCard(QWidget *parent);
    QWidget *makeHistory();
    void updateStatusCard();
    void updateHistory();
    void updateDetail();
    void setSelection(std::set<Uuid> ids);
    void takeSelectionRequest();
    void showLastError();

    AlertCenter *m_alerts;
    LiveMonitor *m_live;
    Hooks m_hooks;
    std::set<Uuid> m_selection;
    bool m_newOnly = false;

    QLabel *m_statusSymbol = nullptr;
    QLabel *m_headline = nullptr;
    MonitorStatusLine *m_statusLine = nullptr;
    QLabel *m_runningLine = nullptr;
    QPushButton *m_captureButton = nullptr;
    QLabel *m_footnote = nullptr;
    AlertingCard *m_alertingCard = nullptr;
    BackgroundCard *m_backgroundCard = nullptr;

    QLabel *m_counts = nullptr;
    QCheckBox *m_newOnlyBox = nullptr;
    QPushButton *m_acknowledgeAll = nullptr;
    QToolButton *m_menuButton = nullptr;
    QAction *m_exportAction = nullptr;
    QAction *m_deleteSelected = nullptr;
    QAction *m_clearHistory = nullptr;
    QTableView *m_table = nullptr;
    AlertTableModel *m_model = nullptr;
    SelectionGuard *m_guard = nullptr;
    ContentUnavailable *m_tableEmpty = nullptr;

    MasterDetail *m_frame = nullptr;
    QMessageBox *m_errorAlert = nullptr;
    QMessageBox *m_exportError = nullptr;
};
