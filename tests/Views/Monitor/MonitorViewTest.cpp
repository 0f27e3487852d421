#include "Views/Monitor/MonitorView.h"

#include "Services/AlertCenter.h"
#include "Services/AlertHistory.h"
#include "Services/LiveMonitor.h"
#include "Store/AuditStore.h"
#include "Store/NativePath.h"
#include "Views/Components/BadgeDelegate.h"
#include "Views/Components/ContentUnavailable.h"
#include "Views/Components/Style.h"
#include "Views/Components/TableColumns.h"
#include "Views/Components/TableTime.h"
#include "Views/Monitor/AlertDetail.h"
#include "Views/Monitor/AlertTableModel.h"
#include "Views/Monitor/MonitorCards.h"
#include "Views/Monitor/MonitorStatusLine.h"
#include "support/FakeAlertPlatform.h"
#include "support/ColumnMinimums.h"
#include "support/NonUtf8Names.h"
#include "support/QtTestSupport.h"

#include <QAbstractItemModelTester>
#include <QAbstractItemDelegate>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QToolButton>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <langinfo.h>
#include <sys/stat.h>

namespace {

MonitorAlert makeAlert(const std::string &rule, int64_t severity, bool acknowledged, double raisedAt,
                       std::optional<std::string> technique = "T1110")
{
    MonitorAlert a;
    a.id = Uuid::random();
    a.kind = MonitorAlert::Kind::finding;
    a.key = rule + "|key";
    a.eventTime = raisedAt - 5;
    a.raisedAt = raisedAt;
    a.severityRaw = severity;
    a.rule = rule;
    a.category = "Credential Access";
    a.technique = std::move(technique);
    a.summary = rule + " summary";
    a.explanation = "why " + rule;
    a.user = "orvik";
    a.evidence = {"header, first", "header, second"};
    a.acknowledged = acknowledged;
    return a;
}

QAction *action(QMenu *menu, const QString &text)
{
    for (QAction *a : menu->actions())
        if (a->text() == text) return a;
    return nullptr;
}

class MonitorViewTest : public ::testing::Test, public FakeAlertPlatform {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        ASSERT_TRUE(dir.isValid());
        qputenv("QUILLMARSH_ALERTS_PATH", QFile::encodeName(dir.path() + "/alerts.json"));
        alerts = std::make_unique<AlertCenter>(platform());
    }

    MonitorView &makeView()
    {
        MonitorView::Hooks hooks;
        hooks.chooseExportPath = [this](QWidget *) {
            if (!exportChosen.isEmpty()) return exportChosen;
            return exportPath.isEmpty() ? QUrl() : QUrl::fromLocalFile(exportPath);
        };
        hooks.openNotificationSettings = [this] { ++notificationSettingsOpened; };
        hooks.openLoginItems = [this] { ++loginItemsOpened; };
        view = std::make_unique<MonitorView>(ViewContext{&store, &live, alerts.get()}, hooks);
        tester = std::make_unique<QAbstractItemModelTester>(view->tableModel());
        view->show(); // as the shell shows it: the work on appearing runs
        return *view;
    }

    // Four alerts, newest first: two new, two acknowledged.
    std::vector<MonitorAlert> history()
    {
        return {makeAlert("Brute force", 3, false, 1700000400), makeAlert("Root shell", 4, false, 1700000300),
                makeAlert("Clock change", 3, true, 1700000200, std::nullopt), makeAlert("Old", 7, true, 1700000100)};
    }

    std::vector<Uuid> rowIDs() const
    {
        std::vector<Uuid> out;
        for (const MonitorAlert &a : view->tableModel()->rows()) out.push_back(a.id);
        return out;
    }

    void clickRow(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        const QModelIndex index = view->tableModel()->index(row, AlertTableModel::ruleColumn);
        const auto flags = modifiers & Qt::ControlModifier
                               ? QItemSelectionModel::Toggle | QItemSelectionModel::Rows
                               : QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
        view->table()->selectionModel()->select(index, flags);
    }

    QTemporaryDir dir;
    std::unique_ptr<AlertCenter> alerts;
    LiveMonitor live;
    AuditStore store;
    QString exportPath;
    QUrl exportChosen; // taken over exportPath when set: what a native panel gives for any name
    int notificationSettingsOpened = 0;
    int loginItemsOpened = 0;
    std::unique_ptr<MonitorView> view;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

TEST(AlertTablePure, MenuIDsClickedRowSelectionOrEmptySpace)
{
    const Uuid a = Uuid::random(), b = Uuid::random(), c = Uuid::random();
    struct Case {
        const char *name;
        std::optional<Uuid> clicked;
        std::set<Uuid> selection;
        std::set<Uuid> expected;
    };
    const Case cases[] = {
        {"row inside the selection: the whole selection", a, {a, b}, {a, b}},
        {"row outside the selection: that row alone", c, {a, b}, {c}},
        {"row with nothing selected", a, {}, {a}},
        {"empty space: nothing", std::nullopt, {a, b}, {}},
    };
    for (const Case &x : cases) EXPECT_EQ(alertMenuIDs(x.clicked, x.selection), x.expected) << x.name;
}

TEST(AlertTablePure, CopySummaryLinesInHistoryOrder)
{
    std::vector<MonitorAlert> h = {makeAlert("Newer", 4, false, 2), makeAlert("Older", 3, false, 1),
                                   makeAlert("Odd", 7, false, 0)};
    h[2].kind = MonitorAlert::Kind::monitor;
    EXPECT_EQ(alertSummaryText(h, {h[1].id, h[0].id}), "Critical · Newer · Newer summary\nHigh · Older · Older summary");
    EXPECT_EQ(alertSummaryText(h, {h[2].id}), "High · Odd · Odd summary");
    EXPECT_EQ(alertSummaryText(h, {}), "");
    EXPECT_EQ(alertSummaryText(h, {Uuid::random()}), "");
    EXPECT_EQ(alertHistoryCounts(5, 0), "5 total · 0 new");
    EXPECT_EQ(alertHistoryCounts(1234, 12), "1234 total · 12 new");
}

TEST(AlertTablePure, RowsDetailAndTimes)
{
    const std::vector<MonitorAlert> h = {makeAlert("A", 3, false, 2), makeAlert("B", 3, true, 1)};
    EXPECT_EQ(alertRows(h, false).size(), 2u);
    ASSERT_EQ(alertRows(h, true).size(), 1u);
    EXPECT_EQ(alertRows(h, true)[0].rule, "A");
    EXPECT_EQ(detailAlert(h, {h[1].id})->rule, "B"); // the whole history, not the rows
    EXPECT_FALSE(detailAlert(h, {h[0].id, h[1].id}));
    EXPECT_FALSE(detailAlert(h, {}));
    EXPECT_FALSE(detailAlert(h, {Uuid::random()}));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(alertRaisedText(1733638154), "Dec 8, 6:09:14 AM");
}

TEST_F(MonitorViewTest, HeaderCountsButtonsAndEmptyStates)
{
    MonitorView &v = makeView();
    EXPECT_EQ(v.countsLabel()->text(), "0 total · 0 new");
    EXPECT_FALSE(v.acknowledgeAllButton()->isEnabled());
    EXPECT_FALSE(v.historyMenuButton()->isEnabled());
    EXPECT_EQ(v.tableEmptyState()->title(), "No alerts yet");
    EXPECT_FALSE(v.tableEmptyState()->isHidden());
    EXPECT_FALSE(v.detail());

    std::vector<MonitorAlert> acknowledged = history();
    for (MonitorAlert &a : acknowledged) a.acknowledged = true;
    alerts->setAlerts(acknowledged);
    EXPECT_EQ(v.countsLabel()->text(), "4 total · 0 new");
    EXPECT_FALSE(v.acknowledgeAllButton()->isEnabled());
    EXPECT_TRUE(v.historyMenuButton()->isEnabled());
    EXPECT_TRUE(v.tableEmptyState()->isHidden());
    v.newOnlyBox()->setChecked(true);
    EXPECT_EQ(v.tableModel()->rowCount(), 0);
    EXPECT_EQ(v.tableEmptyState()->title(), "No new alerts");
    EXPECT_FALSE(v.tableEmptyState()->isHidden());
    EXPECT_EQ(v.countsLabel()->text(), "4 total · 0 new"); // the total ignores the checkbox
}

TEST_F(MonitorViewTest, UnacknowledgedDotIsSevenPointsCentredInItsColumn)
{
    MonitorView &v = makeView();
    alerts->setAlerts(history());
    QAbstractItemDelegate *delegate = v.table()->itemDelegateForColumn(AlertTableModel::dotColumn);
    ASSERT_TRUE(delegate);
    QStyleOptionViewItem option;
    option.initFrom(v.table()->viewport());
    option.rect = QRect(0, 0, 14, 24);
    const QColor accent = Style::accent();
    // Bounding box of the accent-coloured pixels the cell paints.
    auto dotBox = [&](int row) {
        QImage image(option.rect.size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            delegate->paint(&painter, option, v.tableModel()->index(row, AlertTableModel::dotColumn));
        }
        QRect box;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (std::abs(c.red() - accent.red()) + std::abs(c.green() - accent.green())
                        + std::abs(c.blue() - accent.blue())
                    < 60)
                    box |= QRect(x, y, 1, 1);
            }
        return box;
    };
    const QRect dot = dotBox(0);
    EXPECT_GE(dot.width(), 5);
    EXPECT_LE(dot.width(), 8);
    EXPECT_LE(dot.height(), 8);
    EXPECT_GE(dot.left(), 2) << "not cut by the column's edge";
    EXPECT_LE(std::abs(dot.center().x() - 7), 1);
    EXPECT_TRUE(dotBox(2).isNull()) << "acknowledged alerts have no dot";
}

TEST_F(MonitorViewTest, SelectingOneAlertAcknowledgesItAndNewOnlyKeepsItInTheDetail)
{
    alerts->setAlerts(history());
    MonitorView &v = makeView();
    v.newOnlyBox()->setChecked(true);
    ASSERT_EQ(v.tableModel()->rowCount(), 2);
    EXPECT_EQ(v.countsLabel()->text(), "4 total · 2 new");

    const Uuid first = v.tableModel()->idAt(0);
    clickRow(0);
    EXPECT_EQ(v.selection(), std::set<Uuid>{first});
    EXPECT_TRUE(alerts->alerts()[0].acknowledged);
    EXPECT_EQ(v.countsLabel()->text(), "4 total · 1 new");
    // The row leaves the table, the id stays selected and the detail keeps showing it.
    EXPECT_EQ(v.tableModel()->rowCount(), 1);
    EXPECT_EQ(v.selection(), std::set<Uuid>{first});
    ASSERT_TRUE(v.detail());
    EXPECT_EQ(v.detail()->alert().id, first);
    EXPECT_TRUE(v.deleteSelectedAction()->isEnabled());
}

TEST_F(MonitorViewTest, SeveralSelectedAcknowledgeNoneAndDeleteSelectedTakesThemAll)
{
    alerts->setAlerts(history());
    MonitorView &v = makeView();
    EXPECT_FALSE(v.deleteSelectedAction()->isEnabled());
    const std::vector<Uuid> ids = rowIDs();
    v.select({ids[0], ids[1]});
    EXPECT_EQ(alerts->unacknowledgedCount(), 2);
    EXPECT_FALSE(v.detail());
    EXPECT_TRUE(v.deleteSelectedAction()->isEnabled());
    v.deleteSelectedAction()->trigger();
    EXPECT_TRUE(v.selection().empty());
    EXPECT_EQ(rowIDs(), (std::vector<Uuid>{ids[2], ids[3]}));
    EXPECT_FALSE(v.deleteSelectedAction()->isEnabled());

    v.clearHistoryAction()->trigger();
    EXPECT_TRUE(alerts->alerts().empty());
    EXPECT_EQ(v.countsLabel()->text(), "0 total · 0 new");
    EXPECT_FALSE(v.historyMenuButton()->isEnabled());
}

TEST_F(MonitorViewTest, RowMenuActsOnTheClickedRowOrTheSelection)
{
    alerts->setAlerts(history());
    MonitorView &v = makeView();
    const std::vector<Uuid> ids = rowIDs();
    v.select({ids[2], ids[3]}); // two acknowledged alerts

    // A row outside the selection: that row alone; the selection stays.
    QMenu *menu = v.rowMenu(ids[0]);
    QStringList texts;
    for (QAction *a : menu->actions()) texts << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(texts, (QStringList{"Acknowledge", "Copy Summary", "-", "Delete"}));
    action(menu, "Copy Summary")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "High · Brute force · Brute force summary");
    action(menu, "Acknowledge")->trigger();
    EXPECT_TRUE(alerts->alerts()[0].acknowledged);
    EXPECT_FALSE(alerts->alerts()[1].acknowledged);
    action(menu, "Delete")->trigger();
    EXPECT_EQ(alerts->alerts().size(), 3u);
    EXPECT_EQ(v.selection(), (std::set<Uuid>{ids[2], ids[3]}));

    // A row inside the selection: the whole selection, in history order.
    menu = v.rowMenu(ids[3]);
    action(menu, "Copy Summary")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              "High · Clock change · Clock change summary\nHigh · Old · Old summary");
    action(menu, "Delete")->trigger();
    EXPECT_TRUE(v.selection().empty());
    EXPECT_EQ(alerts->alerts().size(), 1u);

    // Empty space: nothing.
    menu = v.rowMenu(std::nullopt);
    action(menu, "Copy Summary")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "");
    action(menu, "Delete")->trigger();
    EXPECT_EQ(alerts->alerts().size(), 1u);
}

TEST_F(MonitorViewTest, SelectionRequestsAreTakenOnAppearAndWhileShown)
{
    std::vector<MonitorAlert> h = history();
    alerts->setAlerts(h);
    alerts->setSelectedAlertID(h[1].id);
    MonitorView &v = makeView();
    EXPECT_EQ(v.selection(), std::set<Uuid>{h[1].id});
    EXPECT_FALSE(alerts->selectedAlertID());
    EXPECT_TRUE(alerts->alerts()[1].acknowledged);
    ASSERT_TRUE(v.detail());
    EXPECT_EQ(v.detail()->alert().rule, "Root shell");

    alerts->setSelectedAlertID(h[0].id);
    EXPECT_EQ(v.selection(), std::set<Uuid>{h[0].id});
    EXPECT_FALSE(alerts->selectedAlertID());
    EXPECT_EQ(v.table()->selectionModel()->selectedRows().size(), 1);

    // An id that is not in the history: selected, nothing acknowledged, no detail.
    const Uuid stranger = Uuid::random();
    alerts->setSelectedAlertID(stranger);
    EXPECT_EQ(v.selection(), std::set<Uuid>{stranger});
    EXPECT_FALSE(v.detail());
    EXPECT_TRUE(v.deleteSelectedAction()->isEnabled());

    // A request the view did not hear of (its signal blocked here) is taken when it is shown again,
    // as when the window comes back from the tray.
    v.hide();
    QSignalBlocker quiet(alerts.get());
    alerts->setSelectedAlertID(h[2].id);
    quiet.unblock();
    v.show();
    EXPECT_EQ(v.selection(), std::set<Uuid>{h[2].id});
    EXPECT_FALSE(alerts->selectedAlertID());
}

TEST_F(MonitorViewTest, ExportWritesTheWholeHistorySortedAndReportsFailures)
{
    std::vector<MonitorAlert> h = history();
    h[0].summary = "path /etc/hosts";
    alerts->setAlerts(h);
    MonitorView &v = makeView();
    v.newOnlyBox()->setChecked(true);
    v.select({h[1].id});

    exportPath.clear(); // cancelled
    v.exportAction()->trigger();
    EXPECT_FALSE(QFile::exists(dir.path() + "/out.json"));

    exportPath = dir.path() + "/out.json";
    QFile old(exportPath);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("previous export");
    old.close();
    v.exportAction()->trigger();
    QFile file(exportPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const nlohmann::json json = nlohmann::json::parse(bytes.toStdString());
    ASSERT_EQ(json.size(), 4u); // neither "New only" nor the selection narrows it
    EXPECT_EQ(json[0]["rule"], "Brute force");
    EXPECT_EQ(json[0]["id"], h[0].id.text());
    EXPECT_EQ(json[0]["raisedAt"], "2023-11-14T22:20:00Z");
    EXPECT_EQ(json[0]["kind"], "finding");
    EXPECT_EQ(json[0]["severityRaw"], 3);
    EXPECT_EQ(json[0]["evidence"].size(), 2u);
    EXPECT_FALSE(json[2].contains("technique"));
    EXPECT_EQ(json[3]["severityRaw"], 7);
    EXPECT_TRUE(bytes.contains("\"path \\/etc\\/hosts\"")); // the encoder's escaped slashes
    // Members in name order.
    const QByteArray first = bytes.left(bytes.indexOf('}'));
    QList<int> positions;
    for (const char *key :
         {"\"acknowledged\"", "\"category\"", "\"eventTime\"", "\"evidence\"", "\"explanation\"", "\"id\"", "\"key\"",
          "\"kind\"", "\"raisedAt\"", "\"rule\"", "\"severityRaw\"", "\"summary\"", "\"technique\"", "\"user\""})
        positions << first.indexOf(key);
    EXPECT_FALSE(positions.contains(-1));
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));

    // A folder that does not exist: the alert tells why, and the history is untouched.
    exportPath = dir.path() + "/missing/out.json";
    v.exportAction()->trigger();
    EXPECT_TRUE(v.exportErrorAlert()->isVisible());
    EXPECT_TRUE(v.exportErrorAlert()->text().contains("No such file or directory"));
    EXPECT_EQ(alerts->alerts().size(), 4u);
    v.exportErrorAlert()->done(0);
}

// An export written to the chosen path's text would go to another file, or fail.
class MonitorViewUnderANonUtf8Locale : public MonitorViewTest {};

TEST_F(MonitorViewUnderANonUtf8Locale, TheHistoryExportIsWrittenUnderTheChosenBytes)
{
    using NonUtf8Names::chosenFolder, NonUtf8Names::chosenName;
    const QByteArray base = QFile::encodeName(dir.path());
    const QByteArray folder = base + "/" + chosenFolder;
    ASSERT_EQ(::mkdir(folder.constData(), 0700), 0);
    const NonUtf8Names::RemovedFolder removed{folder};
    const QList<QByteArray> before = NonUtf8Names::entries(base);
    ASSERT_NO_FATAL_FAILURE(NonUtf8Names::runChild("MonitorViewUnderANonUtf8Locale.DISABLED_ChildExports", dir.path()));

    EXPECT_EQ(NonUtf8Names::entries(folder), QList<QByteArray>{chosenName + ".json"})
        << "the export under the chosen bytes, and no temporary file beside it";
    EXPECT_EQ(NonUtf8Names::entries(base), before) << "nothing under another name";
    const nlohmann::json json = nlohmann::json::parse(
        NonUtf8Names::contents(folder + "/" + chosenName + ".json").toStdString(), nullptr, false);
    ASSERT_TRUE(json.is_array());
    ASSERT_EQ(json.size(), 4u) << "the whole history";
    EXPECT_EQ(json[0]["rule"], "Brute force");
}

// The child's part, run only by the test above, under the C locale.
TEST_F(MonitorViewUnderANonUtf8Locale, DISABLED_ChildExports)
{
    const QByteArray base = qgetenv("QUILLMARSH_EXPORT_FOLDER");
    if (base.isEmpty()) GTEST_SKIP() << "run by TheHistoryExportIsWrittenUnderTheChosenBytes";
    ASSERT_STRNE(::nl_langinfo(CODESET), "UTF-8");
    alerts->setAlerts(history());
    MonitorView &v = makeView();
    exportChosen = NativePath::toUrl(base + "/" + NonUtf8Names::chosenFolder + "/" + NonUtf8Names::chosenName + ".json");
    v.exportAction()->trigger();
    EXPECT_FALSE(v.exportErrorAlert()->isVisible()) << v.exportErrorAlert()->text().toStdString();
}

TEST_F(MonitorViewTest, LastErrorAlertClearsTheErrorWhenClosed)
{
    MonitorView &v = makeView();
    alerts->setLastError(QString("Couldn't save alert history: disk full"));
    ASSERT_TRUE(v.errorAlert()->isVisible());
    EXPECT_EQ(v.errorAlert()->windowTitle(), "Quillmarsh");
    EXPECT_EQ(v.errorAlert()->text(), "Couldn't save alert history: disk full");
    v.errorAlert()->button(QMessageBox::Ok)->click();
    EXPECT_TRUE(alerts->lastError().isEmpty());
}

TEST_F(MonitorViewTest, AlertingCardTogglesAndPermissionRow)
{
    MonitorView &v = makeView();
    AlertingCard *card = v.alertingCard();
    EXPECT_TRUE(card->highButton()->isChecked());
    card->criticalButton()->click();
    EXPECT_EQ(alerts->minimumSeverity(), Severity::critical);
    alerts->setMinimumSeverity(Severity::medium); // stored by other means: neither choice
    EXPECT_FALSE(card->highButton()->isChecked());
    EXPECT_FALSE(card->criticalButton()->isChecked());
    card->highButton()->click();
    EXPECT_EQ(alerts->minimumSeverity(), Severity::high);

    alerts->setPlaySound(false);
    card->notificationsBox()->setChecked(false);
    EXPECT_FALSE(alerts->notificationsEnabled());
    EXPECT_FALSE(card->soundBox()->isEnabled());
    EXPECT_FALSE(card->soundBox()->isChecked()); // keeps its value while disabled
    card->notificationsBox()->setChecked(true);
    EXPECT_TRUE(card->soundBox()->isEnabled());
    EXPECT_FALSE(card->soundBox()->isChecked());

    struct Case {
        NotificationAuthorization status;
        QString text;
        QString button; // "" = none
    };
    const Case cases[] = {
        {NotificationAuthorization::authorized, "Notifications allowed", ""},
        {NotificationAuthorization::provisional, "Notifications allowed", ""},
        {NotificationAuthorization::ephemeral, "Notifications allowed", ""},
        {NotificationAuthorization::denied, "Notifications are turned off for Quillmarsh", "Open Settings"},
        {NotificationAuthorization::notDetermined, "Permission not requested yet", "Allow…"},
    };
    for (const Case &c : cases) {
        alerts->setNotificationStatus(c.status);
        EXPECT_EQ(card->permissionLabel()->text(), c.text);
        EXPECT_EQ(card->permissionButton()->isHidden(), c.button.isEmpty());
        if (!c.button.isEmpty()) {
            EXPECT_EQ(card->permissionButton()->text(), c.button);
        }
    }
    alerts->setNotificationStatus(NotificationAuthorization::denied);
    card->permissionButton()->click();
    EXPECT_EQ(notificationSettingsOpened, 1);
    alerts->setNotificationStatus(NotificationAuthorization::notDetermined);
    const int before = notifications.authorizationRequests;
    card->permissionButton()->click();
    EXPECT_EQ(notifications.authorizationRequests, before + 1);
}

TEST_F(MonitorViewTest, SendTestAlertAddsAMonitorAlertAtTheTop)
{
    alerts->setAlerts(history());
    MonitorView &v = makeView();
    alerts->setNotificationsEnabled(false);
    v.alertingCard()->testButton()->click();
    ASSERT_EQ(v.tableModel()->rowCount(), 5);
    const MonitorAlert &top = v.tableModel()->rows()[0];
    EXPECT_EQ(top.rule, "Test alert");
    EXPECT_EQ(top.kind, MonitorAlert::Kind::monitor);
    EXPECT_FALSE(top.acknowledged);
    EXPECT_EQ(v.tableModel()->index(0, AlertTableModel::severityColumn).data().toString(), "Monitor");
    EXPECT_FALSE(v.tableModel()->index(0, AlertTableModel::dotColumn).data(Qt::DecorationRole).isNull());
    EXPECT_EQ(notifications.added.size(), 1u); // posted although notifications are off
    EXPECT_EQ(v.countsLabel()->text(), "5 total · 3 new");
}

TEST_F(MonitorViewTest, BackgroundCardEnablementAndLoginItem)
{
    MonitorView &v = makeView();
    BackgroundCard *card = v.backgroundCard();
    struct Case {
        bool menuBar, background;
        bool backgroundEnabled, openWindowEnabled;
    };
    const Case cases[] = {
        {true, true, true, true},
        {true, false, true, false},
        {false, true, false, false},
        {false, false, false, false},
    };
    for (const Case &c : cases) {
        card->menuBarBox()->setChecked(c.menuBar);
        card->backgroundBox()->setChecked(c.background);
        EXPECT_EQ(alerts->showMenuBarIcon(), c.menuBar);
        EXPECT_EQ(card->backgroundBox()->isEnabled(), c.backgroundEnabled);
        EXPECT_EQ(card->openWindowBox()->isEnabled(), c.openWindowEnabled);
        EXPECT_TRUE(card->autostartBox()->isEnabled());
        EXPECT_TRUE(card->loginBox()->isEnabled());
    }
    card->autostartBox()->setChecked(true);
    EXPECT_TRUE(alerts->startCaptureAtLaunch());
    card->menuBarBox()->setChecked(true);
    card->backgroundBox()->setChecked(true);
    card->openWindowBox()->setChecked(false);
    EXPECT_FALSE(alerts->openWindowAtLaunch());

    struct Login {
        LoginItemStatus status;
        bool on, hint;
    };
    for (const Login &l :
         {Login{LoginItemStatus::notRegistered, false, false}, Login{LoginItemStatus::enabled, true, false},
          Login{LoginItemStatus::requiresApproval, true, true}, Login{LoginItemStatus::notFound, false, false}}) {
        alerts->setLoginItemStatus(l.status);
        EXPECT_EQ(card->loginBox()->isChecked(), l.on);
        EXPECT_EQ(!card->approvalHint()->isHidden(), l.hint);
    }
    alerts->setLoginItemStatus(LoginItemStatus::requiresApproval);
    card->approvalButton()->click();
    EXPECT_EQ(loginItemsOpened, 1);

    // The toggle ends where the system's status puts it.
    loginItem.current = LoginItemStatus::notRegistered;
    alerts->setLoginItemStatus(LoginItemStatus::notRegistered);
    card->loginBox()->setChecked(true);
    EXPECT_EQ(alerts->loginItemStatus(), loginItem.current);
    EXPECT_EQ(card->loginBox()->isChecked(), alerts->launchAtLogin());
}

TEST_F(MonitorViewTest, AppearingReadsTheLoginItemAndThePermission)
{
    loginItem.current = LoginItemStatus::enabled;
    alerts->setLoginItemStatus(LoginItemStatus::notRegistered);
    notifications.authorization = NotificationAuthorization::denied;
    MonitorView &v = makeView();
    EXPECT_EQ(alerts->loginItemStatus(), LoginItemStatus::enabled);
    EXPECT_TRUE(v.backgroundCard()->loginBox()->isChecked());
    ASSERT_TRUE(waitUntil([&] { return alerts->notificationStatus() == NotificationAuthorization::denied; }));
    EXPECT_EQ(v.alertingCard()->permissionLabel()->text(), "Notifications are turned off for Quillmarsh");

    // Shown again with the screen still current (the window back from the tray): read again.
    loginItem.current = LoginItemStatus::notRegistered;
    notifications.authorization = NotificationAuthorization::authorized;
    v.hide();
    EXPECT_EQ(alerts->loginItemStatus(), LoginItemStatus::enabled);
    v.show();
    EXPECT_EQ(alerts->loginItemStatus(), LoginItemStatus::notRegistered);
    EXPECT_TRUE(waitUntil([&] { return alerts->notificationStatus() == NotificationAuthorization::authorized; }));
}

TEST_F(MonitorViewTest, StatusCardTextsAndFootnote)
{
    MonitorView &v = makeView();
    EXPECT_EQ(v.statusHeadline()->text(), "Background monitoring is off");
    EXPECT_EQ(v.statusSymbol()->property("symbol").toString(), "shield.slash");
    EXPECT_EQ(v.captureButton()->text(), "Start Monitoring");
    EXPECT_TRUE(v.captureButton()->isEnabled());
    EXPECT_TRUE(v.runningLine()->isHidden());
    EXPECT_EQ(v.statusLine()->text(), "Not monitoring");
    EXPECT_TRUE(monitorFootnote(20000).endsWith("over the most recent 20,000 records."));
    EXPECT_TRUE(monitorFootnote(20000).startsWith("Monitoring reads /dev/auditpipe through a short-lived root helper"));
    EXPECT_EQ(monitorRunningLine({"lo", "aa", "ad", "ex", "pc", "fc", "fd", "fm", "nt"}, 12.44, 3),
              "Classes: aa, ad, ex, fc, fd, fm, lo, nt, pc · 12.4 records/s · 3 findings in the rolling buffer");
    EXPECT_EQ(monitorRunningLine({}, 0, 0), "Classes:  · 0.0 records/s · 0 findings in the rolling buffer");

    live.setState(LiveMonitor::Starting{});
    EXPECT_EQ(v.captureButton()->text(), "Stop");
    EXPECT_FALSE(v.captureButton()->isEnabled());
    EXPECT_EQ(v.statusHeadline()->text(), "Background monitoring is off");
    live.setState(LiveMonitor::Running{});
    EXPECT_EQ(v.statusHeadline()->text(), "Monitoring audit events");
    EXPECT_EQ(v.statusSymbol()->property("symbol").toString(), "checkmark.shield.fill");
    EXPECT_FALSE(v.runningLine()->isHidden());
    EXPECT_TRUE(v.runningLine()->text().startsWith("Classes: aa, ad, ex, fc, fd, fm, lo, nt, pc · "));
    EXPECT_TRUE(v.captureButton()->isEnabled());
    v.captureButton()->click(); // an orderly stop
    EXPECT_TRUE(std::holds_alternative<LiveMonitor::Idle>(live.state()));
    live.setState(LiveMonitor::Failed{"Not authorized"});
    EXPECT_EQ(v.captureButton()->text(), "Start Monitoring");
    EXPECT_EQ(v.statusLine()->text(), "Not authorized");
}

TEST_F(MonitorViewTest, AlertTableColumnsKeepTheirMinimums)
{
    alerts->setAlerts({makeAlert("Brute force", 3, false, 1700000000)});
    MonitorView &v = makeView();
    QTableView *table = v.table();
    // Raised and User are widened where our font needs more for their widest values.
    const int raised = std::max(120, cellWidth(table->font(), alertRaisedText(widestTableTime())));
    const int user = std::max(60, cellWidth(table->font(), widestSampleUser()));
    std::vector<int> squeezed = squeezedColumns(table);
    // Severity holds the widest badge (and the monitor's own label) whole.
    EXPECT_GE(squeezed[1], std::max(80, BadgeDelegate::widestSeverityCell()));
    squeezed[1] = 80;
    EXPECT_EQ(squeezed, (std::vector<int>{14, 80, raised, 140, 60, user, 200}));
    EXPECT_FALSE(table->model()->index(0, AlertTableModel::raisedColumn).data(Qt::FontRole).isValid())
        << "Raised is drawn in the application font";
}

TEST(MonitorStatusLineText, PerState)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    struct Case {
        LiveMonitor::State state;
        std::optional<double> startedAt;
        int64_t total;
        QString text;
    };
    const Case cases[] = {
        {LiveMonitor::Idle{}, std::nullopt, 5, "Not monitoring"},
        {LiveMonitor::Starting{}, std::nullopt, 0, "Waiting for administrator authorisation…"},
        {LiveMonitor::Running{}, 1699954860 /* 9:41:00 UTC */, 1204, "Monitoring since 9:41 AM · 1,204 records"},
        {LiveMonitor::Running{}, std::nullopt, 0, "Monitoring · 0 records"},
        {LiveMonitor::Running{}, std::nullopt, 1, "Monitoring · 1 records"},
        {LiveMonitor::Failed{"cannot open /dev/auditpipe"}, 1700000000, 3, "cannot open /dev/auditpipe"},
    };
    for (const Case &c : cases) EXPECT_EQ(monitorStatusText(c.state, c.startedAt, c.total), c.text);
    EXPECT_EQ(monitorStatusColor(LiveMonitor::Running{}), Style::green());
}

} // namespace
