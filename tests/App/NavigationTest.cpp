// Every way the user leaves a screen or changes what it leads to, driven through the window system
// as real input (mouse presses and releases on a view's viewport at the row, double-clicks, menu
// items clicked where the open menu draws them, Return, clicks on buttons, tiles, bars and chips),
// each checked for where it lands. A drill-down's switch replaces the screen whose handler is
// still on the stack: these cases are the ones that would touch a deleted screen if the shell
// deleted it there and then, so they run under AddressSanitizer too.
#define QTEST_QPA_MOUSE_HANDLING // mouse input through the window, as the platform delivers it

#include "App/AppDelegate.h"
#include "App/AppServices.h"
#include "App/MainScene.h"
#include "Engine/Analysis/RecordFormatter.h"
#include "Engine/BSM/AuditCatalog.h"
#include "Engine/BSM/UserResolver.h"
#include "Views/Components/BarList.h"
#include "Views/Components/FilterChip.h"
#include "Views/Components/RecordInspector.h"
#include "Views/Components/Formatters.h"
#include "Views/Components/StatTile.h"
#include "Views/ContentView.h"
#include "Views/EmptyStateView.h"
#include "Views/Events/EventsTableModel.h"
#include "Views/Events/EventsView.h"
#include "Views/Findings/FindingDetail.h"
#include "Views/Findings/FindingsRows.h"
#include "Views/Findings/FindingsTableModel.h"
#include "Views/Findings/FindingsView.h"
#include "Views/Live/LiveView.h"
#include "Views/MainToolbar.h"
#include "Views/MainWindow.h"
#include "Views/Monitor/AlertTableModel.h"
#include "Views/Monitor/MenuBarMonitorView.h"
#include "Views/Monitor/MonitorView.h"
#include "Views/Network/NetworkTableModel.h"
#include "Views/Network/NetworkView.h"
#include "Views/Overview/ActivityTimeline.h"
#include "Views/Overview/DashboardTexts.h"
#include "Views/Overview/DashboardView.h"
#include "Views/Overview/OverviewCards.h"
#include "Views/Processes/ProcessDetail.h"
#include "Views/Processes/ProcessModels.h"
#include "Views/Processes/ProcessesView.h"
#include "Views/Reference/ReferenceModels.h"
#include "Views/Reference/ReferenceView.h"
#include "Views/Sidebar.h"
#include "Views/Sources/SourcesTableModel.h"
#include "Views/Sources/SourcesView.h"
#include "support/FakeAlertPlatform.h"
#include "support/LiveCaptureFixture.h"
#include "support/QtTestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

namespace {

using namespace LiveCapture;

constexpr uint32_t t0 = 1700000000;
constexpr uint16_t execEvent = 23;
constexpr uint16_t clockEvent = 37;
constexpr uint16_t connectEvent = 32;
constexpr uint16_t openEvent = 72;

MonitorAlert makeAlert(const std::string &rule, bool acknowledged, double raisedAt)
{
    MonitorAlert a;
    a.id = Uuid::random();
    a.key = rule + "|key";
    a.eventTime = raisedAt - 5;
    a.raisedAt = raisedAt;
    a.severityRaw = 3;
    a.rule = rule;
    a.category = "Credential Access";
    a.summary = rule + " summary";
    a.explanation = "why " + rule;
    a.user = "orvik";
    a.evidence = {"header, first"};
    a.acknowledged = acknowledged;
    return a;
}

// Where a gesture lands: the screen, the filter bar's chips and the toolbar search when that
// screen shows them, and the store's selected record; then the filter's classes and result, which
// the presets and some drill-downs set without a chip.
struct Landing {
    Screen screen;
    QStringList chips = {};
    std::optional<int64_t> selected = {};
    QString search = {};
    std::set<std::string> classes = {};
    bool failuresOnly = false;
};

class NavigationTest : public LiveCaptureFixture, public FakeAlertPlatform {
protected:
    void SetUp() override
    {
        LiveCaptureFixture::SetUp();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        qputenv("QUILLMARSH_ALERTS_PATH", QFile::encodeName(scratch.filePath("alerts.json")));
        starter = readyHelper();
        services = std::make_unique<AppServices>(platform(), environment());
        services->trayAvailable = [] { return false; };
        delegate = std::make_unique<AppDelegate>(*services);
        scene = std::make_unique<MainScene>(*services, *delegate, QList<QByteArray>{});
        store().setFilterDelay(std::chrono::milliseconds(0));
        window()->resize(1280, 800);
        window()->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window()));
        ASSERT_TRUE(reload());
    }

    void TearDown() override
    {
        if (!std::holds_alternative<LiveMonitor::Idle>(services->live().state())) {
            services->live().cleanup();
            services->live().setState(LiveMonitor::Idle{});
        }
        QApplication::activePopupWidget() ? QApplication::activePopupWidget()->close() : false;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        scene.reset();
        delegate.reset();
        services.reset();
        QApplication::setQuitOnLastWindowClosed(false);
        LiveCaptureFixture::TearDown();
    }

    AuditStore &store() { return services->store(); }
    AlertCenter &alerts() { return services->alerts(); }
    MainWindow *window() { return scene->window(); }
    ContentView *content() { return window()->content(); }
    template <typename Screen>
    Screen *shown()
    {
        return qobject_cast<Screen *>(content()->currentScreen());
    }

    // The two trails, nothing filtered or selected, two alerts of which one is new.
    bool reload()
    {
        Subject root;
        root.auid = 501;
        root.euid = root.ruid = 0;
        root.pid = 100;
        root.address = {10, 1, 2, 3};
        Subject user;
        user.pid = 200;
        const Bytes incident = trail({
            TrailRecordBuilder(execEvent, t0)
                .path("/usr/bin/curl")
                .execArgs({"curl", "http://x"})
                .subject(root)
                .identity(1, "com.example.curl", "TEAM")
                .returnValue(0)
                .build(),
            TrailRecordBuilder(clockEvent, t0 + 1).subject(root).returnValue(0).build(),
            TrailRecordBuilder(execEvent, t0 + 2)
                .path("/tmp/payload")
                .execArgs({"/tmp/payload", "-q"})
                .subject(user)
                .returnValue(0)
                .build(),
            TrailRecordBuilder(connectEvent, t0 + 3)
                .subject(root)
                .socketInet(443, {93, 184, 216, 34})
                .returnValue(0)
                .build(),
            TrailRecordBuilder(connectEvent, t0 + 4).subject(user).socketInet(80, {198, 51, 100, 7}).returnValue(0).build(),
            TrailRecordBuilder(openEvent, t0 + 5).subject(user).path("/etc/master.passwd").returnValue(13, 1).build(),
            openReadRecords(2, t0 + 6),
        });
        if (!store().sources().empty()) {
            store().closeAll();
            if (!waitUntil([&] { return store().sources().empty(); })) return false;
        }
        QList<QUrl> urls;
        for (const auto &[name, bytes] : {std::pair{QStringLiteral("incident.bsm"), incident},
                                          std::pair{QStringLiteral("second.bsm"), openReadRecords(2, t0 + 100)}}) {
            QFile file(scratch.filePath(name));
            if (!file.open(QIODevice::WriteOnly)) return false;
            file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
            urls << QUrl::fromLocalFile(file.fileName());
        }
        store().open(urls, TrailSource::Kind::file);
        if (!waitUntil([&] {
                return store().sources().size() == 2 && !store().isLoading() && !store().isFiltering()
                       && store().filtered().size() == store().records().size();
            }))
            return false;
        alertIDs = {makeAlert("Brute force", false, t0 + 400), makeAlert("Root shell", false, t0 + 300),
                    makeAlert("Old", true, t0 + 200)};
        alerts().setAlerts(alertIDs);
        return true;
    }

    // Back to a known place before each case: both trails loaded, nothing filtered or selected.
    void prepare(Screen screen)
    {
        if (store().sources().size() != 2 || store().sources().front().name != "incident.bsm") {
            ASSERT_TRUE(reload());
        }
        alerts().setAlerts(alertIDs);
        store().setFilter(EventFilter());
        store().setSelectedRecordID(std::nullopt);
        store().setScreen(screen);
        settle();
        ASSERT_TRUE(content()->currentScreen()) << rawValue(screen);
    }

    // Lets the store's work, what the screens derive on the pool and the window's queued events run.
    void settle()
    {
        waitUntil([&] { return !store().isLoading() && !store().isFiltering(); });
        settlePool();
    }

    int64_t idOf(uint16_t event, int nth = 0) const
    {
        for (const AuditRecord &record : services->store().records())
            if (record.event == event && nth-- == 0) return record.id;
        ADD_FAILURE() << "no record of event " << event;
        return -1;
    }

    // Gestures.
    static QPoint rowPoint(QAbstractItemView *view, const QModelIndex &index)
    {
        view->scrollTo(index);
        return view->visualRect(index).center();
    }
    static void clickRow(QAbstractItemView *view, const QModelIndex &index)
    {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowPoint(view, index));
    }
    static void doubleClickRow(QAbstractItemView *view, const QModelIndex &index)
    {
        const QPoint at = rowPoint(view, index);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
    }
    static void rightClickRow(QAbstractItemView *view, const QModelIndex &index)
    {
        const QPoint at = rowPoint(view, index);
        QTest::mousePress(view->viewport(), Qt::RightButton, {}, at);
        QTest::mouseRelease(view->viewport(), Qt::RightButton, {}, at);
    }
    // Scrolls a widget below the fold into view, as the user would before clicking it.
    static void reveal(QWidget *widget)
    {
        for (QWidget *up = widget->parentWidget(); up; up = up->parentWidget())
            if (auto *scroll = qobject_cast<QScrollArea *>(up)) scroll->ensureWidgetVisible(widget);
        QCoreApplication::processEvents();
    }
    static void click(QWidget *widget, QPoint at = {})
    {
        ASSERT_TRUE(widget);
        reveal(widget);
        QTest::mouseClick(widget, Qt::LeftButton, {}, at.isNull() ? widget->rect().center() : at);
    }
    // The item titled text in the menu open now, clicked where the menu draws it.
    static bool clickInOpenMenu(const QString &text)
    {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu) return false;
        for (QAction *action : menu->actions()) {
            if (action->text() != text) continue;
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
            return true;
        }
        menu->close();
        return false;
    }
    // Opens a popup menu by the gesture in open and clicks its item.
    static bool choose(const std::function<void()> &open, const QString &text)
    {
        open();
        return clickInOpenMenu(text);
    }
    // The same for a menu run by exec(), which spins its own event loop inside the gesture: the
    // click is scheduled before the menu opens.
    static bool chooseInModalMenu(const std::function<void()> &open, const QString &text)
    {
        bool done = false, clicked = false;
        QTimer::singleShot(0, [&] {
            clicked = clickInOpenMenu(text);
            done = true;
        });
        open();
        waitUntil([&] { return done; });
        return clicked;
    }
    static bool chooseInRowMenu(QAbstractItemView *view, const QModelIndex &index, const QString &text)
    {
        return choose([&] { rightClickRow(view, index); }, text);
    }
    bool chooseInMenuBar(const QString &menuTitle, const QString &text)
    {
        QMenuBar *bar = window()->menuBar();
        for (QAction *action : bar->actions())
            if (action->text() == menuTitle)
                return choose([&] { QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(action).center()); },
                              text);
        return false;
    }
    // The arrow of a menu button (the part right of its divider), or anywhere on an instant one.
    static bool chooseInButtonMenu(QToolButton *button, const QString &text)
    {
        const QPoint at = button->popupMode() == QToolButton::MenuButtonPopup
                              ? QPoint(button->width() - 4, button->height() / 2)
                              : button->rect().center();
        return chooseInModalMenu([&] { QTest::mouseClick(button, Qt::LeftButton, {}, at); }, text);
    }

    template <typename Widget>
    static Widget *withText(QWidget *root, const QString &text)
    {
        for (Widget *widget : root->findChildren<Widget *>())
            if (widget->text() == text && widget->isVisibleTo(root)) return widget;
        return nullptr;
    }
    QModelIndex findingRow(FindingsView *view, const std::string &rule)
    {
        for (int row = 0; row < view->model()->rowCount(); ++row)
            if (view->model()->findingAt(row).rule == rule)
                return view->model()->index(row, FindingsTableModel::ruleColumn);
        ADD_FAILURE() << "no finding " << rule;
        return {};
    }
    const Finding &finding(const std::string &rule)
    {
        for (const Finding &f : store().findings())
            if (f.rule == rule) return f;
        ADD_FAILURE() << "no finding " << rule;
        static const Finding none;
        return none;
    }
    QModelIndex eventsRow(EventsView *view, int64_t id)
    {
        const std::optional<AuditRecord> record = store().record(id);
        return view->model()->index(record ? view->model()->rowOf(id, record->time) : -1, 1);
    }
    QModelIndex sourceRow(SourcesView *view, const std::string &name)
    {
        for (const TrailSource &source : store().sources())
            if (source.name == name) return view->model()->index(view->model()->rowOf(source.id), 0);
        return {};
    }
    QModelIndex alertRow(MonitorView *view, size_t nth)
    {
        return view->tableModel()->index(view->tableModel()->rowOf(alertIDs[nth].id), 2);
    }

    // Where the window is now.
    Landing landing()
    {
        const EventFilter &filter = store().filter();
        Landing now{store().screen(),
                    {},
                    store().selectedRecordID(),
                    content()->toolbar()->searchField()->text(),
                    filter.classes,
                    filter.result == ResultFilter::failure};
        if (auto *events = shown<EventsView>())
            for (FilterChip *chip : events->findChildren<FilterChip *>())
                if (chip->isVisibleTo(events)) now.chips << chip->text();
        return now;
    }

    QTemporaryDir folder;
    std::unique_ptr<AppServices> services;
    std::unique_ptr<AppDelegate> delegate;
    std::unique_ptr<MainScene> scene;
    std::vector<MonitorAlert> alertIDs;
};

std::ostream &operator<<(std::ostream &out, const Landing &l)
{
    out << rawValue(l.screen) << " chips [" << l.chips.join(", ").toStdString() << "] selected "
        << (l.selected ? std::to_string(*l.selected) : "none") << " search \"" << l.search.toStdString()
        << "\" classes [";
    for (const std::string &name : l.classes) out << name << ' ';
    return out << "]" << (l.failuresOnly ? " failures only" : "");
}

bool operator==(const Landing &a, const Landing &b)
{
    return a.screen == b.screen && a.chips == b.chips && a.selected == b.selected && a.search == b.search
           && a.classes == b.classes && a.failuresOnly == b.failuresOnly;
}

TEST_F(NavigationTest, EveryDrillDownAndDestructiveActionLandsWhereItShould)
{
    // Record ids of the first load; the cases that change the sources come last.
    const int64_t curl = idOf(execEvent), payload = idOf(execEvent, 1), clock = idOf(clockEvent);
    const int64_t firstConnect = idOf(connectEvent);
    const int64_t firstOfSecond = store().records()[store().records().size() - 2].id;
    const Finding clockFinding = [&] {
        for (const Finding &f : store().findings())
            if (!f.recordIDs.empty() && f.recordIDs.front() == clock) return f;
        ADD_FAILURE() << "no finding for the clock change";
        return Finding();
    }();
    const QString clockRule = QString::fromStdString(clockFinding.rule);
    const TrailStats stats = store().stats();
    const auto eventLabel = [](uint16_t event) {
        return QString::fromStdString(AuditCatalog::shared().eventLabel(event));
    };
    const QString user501 = QString::fromStdString(UserResolver::shared().name(501).value_or("501"));
    const QString minutes = QString::fromUtf8("\u00B15 min of ");
    const QString firstTactic = FindingsRows::categorySummary(store().findings(), Severity::low).front().category;

    struct Case {
        const char *name;
        Screen from;
        std::function<void()> gesture;
        Landing lands;
        std::function<void()> also = {}; // what else the gesture must have done
    };
    const auto dashboard = [&] { return shown<DashboardView>(); };
    const auto barRow = [&](int list) -> QWidget * {
        const QList<BarList *> lists = dashboard()->findChildren<BarList *>();
        return list < lists.size() ? lists[list]->rows().value(0) : nullptr;
    };
    const auto firstRowIn = [](QWidget *card) -> QWidget * {
        return card ? card->findChildren<ClickableRow *>().value(0) : nullptr;
    };
    const auto events = [&] { return shown<EventsView>(); };
    const auto findings = [&] { return shown<FindingsView>(); };
    const auto network = [&] { return shown<NetworkView>(); };
    const auto processes = [&] { return shown<ProcessesView>(); };
    const auto sources = [&] { return shown<SourcesView>(); };
    const auto monitor = [&] { return shown<MonitorView>(); };
    const auto treeRow = [&](int64_t id) { return processes()->treeModel()->indexOf(id); };
    const auto networkRow = [&](int64_t id) { return network()->model()->index(network()->model()->rowOf(id), 1); };
    const auto clockRow = [&] { return findingRow(findings(), clockFinding.rule); };
    const auto onlyThis = [&](uint16_t event) {
        return QString::fromUtf8("Show Only \u201C%1\u201D").arg(eventLabel(event));
    };
    const auto alertsLeft = [&](std::vector<size_t> kept) {
        std::vector<Uuid> expected, now;
        for (size_t i : kept) expected.push_back(alertIDs[i].id);
        for (const MonitorAlert &alert : alerts().alerts()) now.push_back(alert.id);
        EXPECT_EQ(now, expected);
    };
    const auto sourceNames = [&] {
        std::vector<std::string> names;
        for (const TrailSource &source : store().sources()) names.push_back(source.name);
        return names;
    };
    const auto emptied = [&] {
        EXPECT_TRUE(store().records().empty());
        EXPECT_TRUE(content()->emptyState());
    };
    const auto monitorSelects = [&](size_t nth) {
        return [&, nth] {
            ASSERT_TRUE(monitor());
            EXPECT_EQ(monitor()->selection(), std::set<Uuid>{alertIDs[nth].id});
        };
    };
    const auto trayPanel = [&] {
        scene->showTrayPanel();
        return scene->trayPanel() ? scene->trayPanel()->findChild<MenuBarMonitorView *>() : nullptr;
    };

    const std::vector<Case> cases = {
        // Overview: tiles, timeline, cards and ranked rows.
        {"Overview tile Events", Screen::dashboard, [&] { click(dashboard()->tiles()[0]); }, {Screen::events}},
        {"Overview tile Failures",
         Screen::dashboard,
         [&] { click(dashboard()->tiles()[1]); },
         {Screen::events, {}, {}, {}, {}, true}},
        {"Overview tile Findings", Screen::dashboard, [&] { click(dashboard()->tiles()[2]); }, {Screen::findings}},
        {"Overview tile Processes", Screen::dashboard, [&] { click(dashboard()->tiles()[3]); }, {Screen::processes}},
        {"Overview timeline bar",
         Screen::dashboard,
         [&] {
             // Along the bars until the pointer is over the first bucket, then a click there.
             ActivityTimeline *timeline = dashboard()->timeline();
             reveal(timeline);
             const QRectF plot = timeline->plotArea();
             for (int x = int(plot.left()); x < int(plot.right()); ++x) {
                 const QPoint at(x, int(plot.bottom()) - 2);
                 QTest::mouseMove(timeline, at);
                 if (timeline->hoveredBucket() == stats.timeline.front().start) return click(timeline, at);
             }
             ADD_FAILURE() << "no bar for the first bucket";
         },
         {Screen::events, {bucketLabel(stats.timeline.front().start)}}},
        {"Overview findings card row",
         Screen::dashboard,
         [&] { click(firstRowIn(dashboard()->findChild<FindingsCard *>())); },
         {Screen::findings}},
        {"Overview event classes card row",
         Screen::dashboard,
         [&] { click(firstRowIn(dashboard()->findChild<EventClassesCard *>())); },
         {Screen::events, {}, {}, {}, {stats.classes.front().key}}},
        {"Overview top events row",
         Screen::dashboard,
         [&] { click(barRow(0)); },
         {Screen::events, {QString::fromStdString(stats.topEvents.front().label)}}},
        {"Overview top processes row",
         Screen::dashboard,
         [&] { click(barRow(1)); },
         {Screen::events, {}, {}, QString::fromStdString(stats.topProcesses.front().key)}},
        {"Overview users row", Screen::dashboard, [&] { click(barRow(2)); }, {Screen::events, {"user " + user501}}},
        {"Overview failures row",
         Screen::dashboard,
         [&] { click(barRow(3)); },
         {Screen::events, {eventLabel(openEvent)}, {}, {}, {}, true}},
        {"Overview remote addresses row",
         Screen::dashboard,
         [&] { click(barRow(4)); },
         {Screen::events, {}, {}, QString::fromStdString(stats.remoteAddresses.front().key)}},

        // Events: the record menu's drill-downs, the presets, a chip and "Clear All".
        {"Events menu pid",
         Screen::events,
         [&] { EXPECT_TRUE(chooseInRowMenu(events()->table(), eventsRow(events(), curl), "Show Events for PID 100")); },
         {Screen::events, {"pid 100"}}},
        {"Events menu only this event",
         Screen::events,
         [&] { EXPECT_TRUE(chooseInRowMenu(events()->table(), eventsRow(events(), clock), onlyThis(clockEvent))); },
         {Screen::events, {eventLabel(clockEvent)}}},
        {"Events menu user",
         Screen::events,
         [&] {
             EXPECT_TRUE(
                 chooseInRowMenu(events()->table(), eventsRow(events(), curl), "Show Events for User " + user501));
         },
         {Screen::events, {"user " + user501}}},
        {"Events menu five minutes",
         Screen::events,
         [&] {
             EXPECT_TRUE(chooseInRowMenu(events()->table(), eventsRow(events(), curl),
                                         QString::fromUtf8("Show \u00B15 Minutes Around This")));
         },
         {Screen::events, {minutes + Format::dateTime(t0, Format::DateStyle::none, Format::TimeStyle::standard)}, curl}},
        {"Events preset",
         Screen::events,
         [&] {
             EXPECT_TRUE(chooseInButtonMenu(events()->findChild<QToolButton *>("presetsMenu"), "Process execution"));
         },
         {Screen::events, {}, {}, {}, {"ex"}}},
        {"Events preset failures only",
         Screen::events,
         [&] { EXPECT_TRUE(chooseInButtonMenu(events()->findChild<QToolButton *>("presetsMenu"), "Failures only")); },
         {Screen::events, {}, {}, {}, {}, true}},
        {"Events chip removed",
         Screen::events,
         [&] {
             store().showRecords({clock}, "evidence");
             settle();
             FilterChip *chip = events()->findChild<FilterChip *>();
             click(chip ? chip->removeButton() : nullptr);
         },
         {Screen::events, {}, clock}},
        {"Events Clear All",
         Screen::events,
         [&] {
             store().showRecords({clock}, "evidence");
             settle();
             click(withText<QPushButton>(events(), "Clear All"));
         },
         {Screen::events, {}, clock}},

        // Processes: outline and list menus, the detail's buttons.
        {"Processes tree menu events",
         Screen::processes,
         [&] { EXPECT_TRUE(chooseInRowMenu(processes()->tree(), treeRow(curl), "Show Events for This Process")); },
         {Screen::events, {"curl (pid 100)"}}},
        {"Processes tree menu exec record",
         Screen::processes,
         [&] { EXPECT_TRUE(chooseInRowMenu(processes()->tree(), treeRow(curl), "Show Exec Record")); },
         {Screen::events, {"exec of curl"}, curl}},
        {"Processes list menu exec record",
         Screen::processes,
         [&] {
             click(processes()->modeButton(ProcessesView::Mode::list));
             const int row = processes()->listModel()->rowOf(payload);
             EXPECT_TRUE(
                 chooseInRowMenu(processes()->table(), processes()->listModel()->index(row, 0), "Show Exec Record"));
         },
         {Screen::events, {"exec of payload"}, payload}},
        {"Processes detail Show Events",
         Screen::processes,
         [&] {
             clickRow(processes()->tree(), treeRow(curl));
             click(processes()->detail() ? processes()->detail()->showEventsButton() : nullptr);
         },
         {Screen::events, {"curl (pid 100)"}}},
        {"Processes detail Exec Record",
         Screen::processes,
         [&] {
             clickRow(processes()->tree(), treeRow(curl));
             click(processes()->detail() ? processes()->detail()->execRecordButton() : nullptr);
         },
         {Screen::events, {"exec of curl"}, curl}},

        // Findings: double-click, the row menu, the detail's button, a tactic chip.
        {"Findings double-click",
         Screen::findings,
         [&] { doubleClickRow(findings()->table(), clockRow()); },
         {Screen::events, {clockRule}, clock}},
        // Return and Enter on the focused row do what a double-click does.
        {"Findings Return",
         Screen::findings,
         [&] {
             clickRow(findings()->table(), clockRow());
             QTest::keyClick(findings()->table(), Qt::Key_Return);
         },
         {Screen::events, {clockRule}, clock}},
        {"Findings Enter",
         Screen::findings,
         [&] {
             clickRow(findings()->table(), clockRow());
             QTest::keyClick(findings()->table(), Qt::Key_Enter, Qt::KeypadModifier);
         },
         {Screen::events, {clockRule}, clock}},
        {"Findings menu related records",
         Screen::findings,
         [&] { EXPECT_TRUE(chooseInRowMenu(findings()->table(), clockRow(), "Show Related Records")); },
         {Screen::events, {clockRule}, clock}},
        {"Findings menu five minutes",
         Screen::findings,
         [&] {
             EXPECT_TRUE(
                 chooseInRowMenu(findings()->table(), clockRow(), QString::fromUtf8("Show \u00B15 Minutes Around")));
         },
         {Screen::events, {minutes + clockRule}, clock}},
        {"Findings detail Show Records in Events",
         Screen::findings,
         [&] {
             clickRow(findings()->table(), clockRow());
             click(findings()->detail() ? findings()->detail()->showRecordsButton() : nullptr);
         },
         {Screen::events, {clockRule}, clock}},
        {"Findings tactic chip",
         Screen::findings,
         [&] { click(findings()->chips().value(0)); },
         {Screen::findings, {}, {}, firstTactic}},

        // Network: double-click, Return, the record menu, a card's row.
        {"Network double-click",
         Screen::network,
         [&] { doubleClickRow(network()->table(), networkRow(firstConnect)); },
         {Screen::events, {"network record"}, firstConnect}},
        {"Network Return",
         Screen::network,
         [&] {
             clickRow(network()->table(), networkRow(firstConnect));
             QTest::keyClick(network()->table(), Qt::Key_Return);
         },
         {Screen::events, {"network record"}, firstConnect}},
        {"Network Enter",
         Screen::network,
         [&] {
             clickRow(network()->table(), networkRow(firstConnect));
             QTest::keyClick(network()->table(), Qt::Key_Enter, Qt::KeypadModifier);
         },
         {Screen::events, {"network record"}, firstConnect}},
        {"Network menu only this event",
         Screen::network,
         [&] { EXPECT_TRUE(chooseInRowMenu(network()->table(), networkRow(firstConnect), onlyThis(connectEvent))); },
         {Screen::events, {eventLabel(connectEvent)}}},
        {"Network destination row",
         Screen::network,
         [&] { click(network()->destinationsList()->rows().value(0)); },
         {Screen::network, {}, {}, QStringLiteral("93.184.216.34:443")}},

        // Trail Files: the records of one file.
        {"Trail Files show records",
         Screen::sources,
         [&] {
             EXPECT_TRUE(chooseInRowMenu(sources()->table(), sourceRow(sources(), "second.bsm"),
                                         "Show Records from This File"));
         },
         {Screen::events, {"second.bsm"}, firstOfSecond}},

        // Reference: an event's "Loaded" count.
        {"Reference loaded count",
         Screen::reference,
         [&] {
             auto *view = shown<ReferenceView>();
             click(withText<QToolButton>(view, "Events"));
             auto *table = view->findChild<QTableView *>("eventTable");
             auto *model = static_cast<ReferenceEventModel *>(table->model());
             for (int row = 0; row < model->rowCount(); ++row)
                 if (model->row(row).info.number == clockEvent)
                     return clickRow(table, model->index(row, ReferenceEventModel::loadedColumn));
         },
         {Screen::events, {QString::fromStdString(AuditCatalog::shared().events.at(clockEvent).description)}}},

        // The keyboard reaches an event's count: a click on the row's name makes it current, and
        // Return presses the count.
        {"Reference loaded count Return",
         Screen::reference,
         [&] {
             auto *view = shown<ReferenceView>();
             click(withText<QToolButton>(view, "Events"));
             auto *table = view->findChild<QTableView *>("eventTable");
             auto *model = static_cast<ReferenceEventModel *>(table->model());
             for (int row = 0; row < model->rowCount(); ++row)
                 if (model->row(row).info.number == clockEvent) {
                     clickRow(table, model->index(row, ReferenceEventModel::nameColumn));
                     EXPECT_EQ(store().screen(), Screen::reference) << "a click beside the count presses nothing";
                     EXPECT_EQ(table->currentIndex().column(), int(ReferenceEventModel::loadedColumn));
                     QTest::keyClick(table, Qt::Key_Return);
                     return;
                 }
         },
         {Screen::events, {QString::fromStdString(AuditCatalog::shared().events.at(clockEvent).description)}}},
        // Rows without a primary action: Return does what a double-click does, which is nothing.
        {"Monitor row Return",
         Screen::monitor,
         [&] {
             clickRow(monitor()->table(), alertRow(monitor(), 1));
             QTest::keyClick(monitor()->table(), Qt::Key_Return);
         },
         {Screen::monitor},
         monitorSelects(1)},
        {"Trail Files row Return",
         Screen::sources,
         [&] {
             clickRow(sources()->table(), sourceRow(sources(), "second.bsm"));
             QTest::keyClick(sources()->table(), Qt::Key_Return);
         },
         {Screen::sources}},

        // Background Monitor: the row menu and the history menu.
        {"Monitor row menu delete",
         Screen::monitor,
         [&] { EXPECT_TRUE(chooseInRowMenu(monitor()->table(), alertRow(monitor(), 2), "Delete")); },
         {Screen::monitor},
         [&] {
             alertsLeft({0, 1});
         }},
        {"Monitor delete selected",
         Screen::monitor,
         [&] {
             clickRow(monitor()->table(), alertRow(monitor(), 2));
             EXPECT_TRUE(chooseInButtonMenu(monitor()->historyMenuButton(), "Delete Selected"));
         },
         {Screen::monitor},
         [&] {
             alertsLeft({0, 1});
             EXPECT_TRUE(monitor()->selection().empty());
         }},
        {"Monitor clear history",
         Screen::monitor,
         [&] { EXPECT_TRUE(chooseInButtonMenu(monitor()->historyMenuButton(), "Clear History")); },
         {Screen::monitor},
         [&] { alertsLeft({}); }},

        // The shell: sidebar, Go menu and shortcut, the tray panel and menu, a notification.
        {"Sidebar row",
         Screen::events,
         [&] {
             QListWidget *list = content()->sidebar()->list();
             click(list->viewport(), list->visualItemRect(content()->sidebar()->item(Screen::network)).center());
         },
         {Screen::network}},
        {"Go menu item", Screen::events, [&] { EXPECT_TRUE(chooseInMenuBar("&Go", "Findings")); }, {Screen::findings}},
        {"Go shortcut",
         Screen::findings,
         [&] { QTest::keyClick(window(), Qt::Key_5, Qt::ControlModifier); },
         {Screen::network}},
        {"Tray panel Settings",
         Screen::events,
         [&] {
             MenuBarMonitorView *panel = trayPanel();
             click(panel ? panel->settingsButton() : nullptr);
         },
         {Screen::monitor}},
        {"Tray panel alert row",
         Screen::events,
         [&] {
             MenuBarMonitorView *panel = trayPanel();
             click(panel && !panel->alertButtons().empty() ? panel->alertButtons().front() : nullptr);
         },
         {Screen::monitor},
         monitorSelects(0)},
        {"Tray menu Settings",
         Screen::processes,
         [&] {
             QMenu menu;
             scene->fillTrayMenu(menu);
             EXPECT_TRUE(choose([&] { menu.popup(window()->geometry().center()); }, QString::fromUtf8("Settings…")));
         },
         {Screen::monitor}},
        {"Tray menu alert row",
         Screen::events,
         [&] {
             QMenu menu;
             scene->fillTrayMenu(menu);
             EXPECT_TRUE(choose([&] { menu.popup(window()->geometry().center()); }, "Brute force"));
         },
         {Screen::monitor},
         monitorSelects(0)},
        // The window closed to the tray and opened again: the same screen, its on-appear work run again.
        {"Tray panel Open Quillmarsh",
         Screen::monitor,
         [&] {
             window()->hide();
             alerts().setLoginItemStatus(LoginItemStatus::notRegistered);
             loginItem.current = LoginItemStatus::enabled;
             MenuBarMonitorView *panel = trayPanel();
             click(panel ? panel->openButton() : nullptr);
         },
         {Screen::monitor},
         [&] {
             EXPECT_TRUE(window()->isVisible());
             EXPECT_EQ(alerts().loginItemStatus(), LoginItemStatus::enabled);
         }},
        {"Notification click",
         Screen::events,
         [&] { notifications.click(QString::fromStdString(alertIDs[1].id.text())); },
         {Screen::monitor},
         monitorSelects(1)},
        {"Error alert Open Audit Setup",
         Screen::events,
         [&] {
             store().setLastError("/var/audit contains no trail files. Auditing may be disabled — see Audit Setup.");
             settle();
             click(content()->auditSetupButton());
         },
         {Screen::setup}},

        // From here on the sources change: removal, closing, a live capture handed over.
        {"Trail Files remove",
         Screen::sources,
         [&] { EXPECT_TRUE(chooseInRowMenu(sources()->table(), sourceRow(sources(), "second.bsm"), "Remove")); },
         {Screen::sources},
         [&] { EXPECT_EQ(sourceNames(), std::vector<std::string>{"incident.bsm"}); }},
        {"Trail Files remove the last",
         Screen::sources,
         [&] {
             store().remove(store().sources().back().id);
             settle();
             EXPECT_TRUE(chooseInRowMenu(sources()->table(), sourceRow(sources(), "incident.bsm"), "Remove"));
         },
         {Screen::sources},
         [&] {
             EXPECT_TRUE(store().sources().empty());
             EXPECT_TRUE(content()->emptyState());
         }},
        {"Toolbar close all",
         Screen::events,
         [&] { EXPECT_TRUE(chooseInButtonMenu(content()->toolbar()->openButton(), "Close All Trails")); },
         {Screen::events},
         emptied},
        {"File menu close all",
         Screen::findings,
         [&] { EXPECT_TRUE(chooseInMenuBar("&File", "Close All Trails")); },
         {Screen::findings},
         emptied},
        {"Empty state Audit Setup link",
         Screen::dashboard,
         [&] {
             store().closeAll();
             settle();
             click(content()->emptyState() ? content()->emptyState()->findChild<QPushButton *>("auditingLink")
                                           : nullptr);
         },
         {Screen::setup}},
        {"Live Analyse Capture",
         Screen::live,
         [&] {
             auto *live = shown<LiveView>();
             click(withText<QPushButton>(live, "Start Capture"));
             ASSERT_TRUE(
                 waitUntil([&] { return std::holds_alternative<LiveMonitor::Running>(services->live().state()); }));
             send(openReadRecords(3, t0 + 500));
             ASSERT_TRUE(waitUntil([&] { return services->live().totalReceived() == 3; }));
             click(withText<QPushButton>(live, "Analyse Capture"));
             ASSERT_TRUE(waitUntil([&] { return store().screen() == Screen::dashboard; }));
         },
         {Screen::dashboard},
         [&] {
             ASSERT_EQ(store().sources().size(), 3u);
             EXPECT_EQ(store().sources().back().kind, TrailSource::Kind::live);
         }},
    };

    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        prepare(c.from);
        if (HasFatalFailure()) return;
        QPointer<ScreenWidget> before = content()->currentScreen();
        c.gesture();
        settle();
        EXPECT_EQ(landing(), c.lands);
        if (c.also) c.also();
        const bool replaced = content()->currentScreen() != before.data();
        // The screen left is out of service at once, and gone once control is back in the loop.
        if (replaced && before) {
            EXPECT_TRUE(before->isDetached());
            EXPECT_TRUE(before->isHidden());
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (replaced) {
            EXPECT_FALSE(before);
        }
        if (QWidget *popup = QApplication::activePopupWidget()) popup->close();
    }
}

// A right-click opens the row's menu and leaves the selection, and the detail it drives, as it
// was: on an unselected row the menu acts on that row alone, and nothing is acknowledged.
TEST_F(NavigationTest, RightClickLeavesTheSelectionAndTheMenuActsOnTheClickedRow)
{
    const int64_t curl = idOf(execEvent), payload = idOf(execEvent, 1), clock = idOf(clockEvent);
    const int64_t firstConnect = idOf(connectEvent), secondConnect = idOf(connectEvent, 1);
    const auto recordText = [&](int64_t id) {
        return QString::fromStdString(RecordFormatter::text(*store().record(id)));
    };
    const auto commandLine = [&](int64_t id) {
        for (const ProcessNode &process : store().processes())
            if (process.id == id) return QString::fromStdString(process.commandLine());
        return QString();
    };
    const auto clipboard = [] { return QGuiApplication::clipboard()->text(); };
    const Finding &first = store().findings().at(0);
    const Finding &second = store().findings().at(1);
    const auto findingIndex = [&](const Finding &f) { return findingRow(shown<FindingsView>(), f.rule); };
    const auto eventsIndex = [&](int64_t id) { return eventsRow(shown<EventsView>(), id); };
    const auto networkIndex = [&](int64_t id) {
        auto *view = shown<NetworkView>();
        return view->model()->index(view->model()->rowOf(id), 1);
    };
    const auto listIndex = [&](int64_t id) {
        auto *view = shown<ProcessesView>();
        return view->listModel()->index(view->listModel()->rowOf(id), 1);
    };

    struct Case {
        const char *name;
        Screen screen;
        std::function<void()> before; // a presentation to pick first
        std::function<QAbstractItemView *()> view;
        std::function<QModelIndex()> selected, clicked;
        // The screen's own selection and what its detail shows, as text.
        std::function<QString()> state;
        QString item;
        std::function<void()> actedOnClicked;
    };
    const std::vector<Case> cases = {
        {"Events",
         Screen::events,
         {},
         [&] { return shown<EventsView>()->table(); },
         [&] { return eventsIndex(curl); },
         [&] { return eventsIndex(clock); },
         [&] {
             auto *view = shown<EventsView>();
             const auto &shownRecord = view->inspector()->record();
             return QString("store %1 inspector %2")
                 .arg(store().selectedRecordID().value_or(-1))
                 .arg(shownRecord ? shownRecord->id : -1);
         },
         "Copy as Text",
         [&] { EXPECT_EQ(clipboard(), recordText(clock)); }},
        {"Trail Files",
         Screen::sources,
         {},
         [&] { return shown<SourcesView>()->table(); },
         [&] { return sourceRow(shown<SourcesView>(), "incident.bsm"); },
         [&] { return sourceRow(shown<SourcesView>(), "second.bsm"); },
         [&] {
             auto *view = shown<SourcesView>();
             return QString("source %1 detail %2").arg(view->selection().value_or(-1)).arg(bool(view->detailPane()));
         },
         "Show Records from This File",
         [&] { EXPECT_EQ(store().filter().label, "second.bsm"); }},
        {"Findings",
         Screen::findings,
         {},
         [&] { return shown<FindingsView>()->table(); },
         [&] { return findingIndex(first); },
         [&] { return findingIndex(second); },
         [&] {
             auto *view = shown<FindingsView>();
             return QString::fromStdString((view->selection() ? view->selection()->text() : "none") + " detail "
                                           + (view->detail() ? view->detail()->finding().rule : "none"));
         },
         "Show Related Records",
         [&] {
             EXPECT_EQ(store().filter().label, second.rule);
             EXPECT_EQ(store().selectedRecordID(), second.recordIDs.front());
         }},
        {"Network",
         Screen::network,
         {},
         [&] { return shown<NetworkView>()->table(); },
         [&] { return networkIndex(firstConnect); },
         [&] { return networkIndex(secondConnect); },
         [&] { return QString::number(shown<NetworkView>()->selection().value_or(-1)); },
         "Copy as Text",
         [&] { EXPECT_EQ(clipboard(), recordText(secondConnect)); }},
        {"Processes tree",
         Screen::processes,
         {},
         [&] { return shown<ProcessesView>()->tree(); },
         [&] { return shown<ProcessesView>()->treeModel()->indexOf(curl); },
         [&] { return shown<ProcessesView>()->treeModel()->indexOf(payload); },
         [&] {
             auto *view = shown<ProcessesView>();
             return QString("%1 detail %2")
                 .arg(view->selection().value_or(-1))
                 .arg(view->detail() ? view->detail()->process().id : -1);
         },
         "Copy Command Line",
         [&] { EXPECT_EQ(clipboard(), commandLine(payload)); }},
        {"Processes list", Screen::processes,
         [&] { click(shown<ProcessesView>()->modeButton(ProcessesView::Mode::list)); },
         [&] { return shown<ProcessesView>()->table(); }, [&] { return listIndex(curl); },
         [&] { return listIndex(payload); },
         [&] {
             auto *view = shown<ProcessesView>();
             return QString("%1 detail %2")
                 .arg(view->selection().value_or(-1))
                 .arg(view->detail() ? view->detail()->process().id : -1);
         },
         "Copy Command Line", [&] { EXPECT_EQ(clipboard(), commandLine(payload)); }},
        // Selecting the first alert acknowledges it; the right-click on the second must not.
        {"Background Monitor",
         Screen::monitor,
         {},
         [&] { return shown<MonitorView>()->table(); },
         [&] { return alertRow(shown<MonitorView>(), 0); },
         [&] { return alertRow(shown<MonitorView>(), 1); },
         [&] {
             QString state;
             for (const Uuid &id : shown<MonitorView>()->selection()) state += QString::fromStdString(id.text()) + ' ';
             for (const MonitorAlert &alert : alerts().alerts()) state += alert.acknowledged ? 'A' : '-';
             return state;
         },
         "Delete",
         [&] {
             std::vector<Uuid> left;
             for (const MonitorAlert &alert : alerts().alerts()) left.push_back(alert.id);
             EXPECT_EQ(left, (std::vector<Uuid>{alertIDs[0].id, alertIDs[2].id}));
             EXPECT_EQ(shown<MonitorView>()->selection(), std::set<Uuid>{alertIDs[0].id}) << "the selection as it was";
         }},
    };

    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        prepare(c.screen);
        if (HasFatalFailure()) return;
        QGuiApplication::clipboard()->clear();
        if (c.before) c.before();
        clickRow(c.view(), c.selected());
        const QString state = c.state();
        const QModelIndexList rows = c.view()->selectionModel()->selectedRows();
        const QModelIndex current = c.view()->currentIndex();
        ASSERT_FALSE(rows.isEmpty());

        rightClickRow(c.view(), c.clicked());
        ASSERT_TRUE(qobject_cast<QMenu *>(QApplication::activePopupWidget())) << "the row's menu is open";
        EXPECT_EQ(c.state(), state);
        EXPECT_EQ(c.view()->selectionModel()->selectedRows(), rows);
        EXPECT_EQ(c.view()->currentIndex(), current);

        EXPECT_TRUE(clickInOpenMenu(c.item));
        settle();
        c.actedOnClicked();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // A right-click inside a multiple selection acts on all of it, and still changes nothing.
    prepare(Screen::monitor);
    auto *view = shown<MonitorView>();
    QTest::mouseClick(view->table()->viewport(), Qt::LeftButton, {}, rowPoint(view->table(), alertRow(view, 1)));
    QTest::mouseClick(view->table()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      rowPoint(view->table(), alertRow(view, 2)));
    const std::set<Uuid> both{alertIDs[1].id, alertIDs[2].id};
    ASSERT_EQ(view->selection(), both);
    EXPECT_FALSE(alerts().alerts()[0].acknowledged);
    EXPECT_TRUE(choose([&] { rightClickRow(view->table(), alertRow(view, 2)); }, "Copy Summary"));
    EXPECT_EQ(view->selection(), both);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), alertSummaryText(alerts().alerts(), both));
    EXPECT_FALSE(alerts().alerts()[0].acknowledged) << "nothing acknowledged by a right-click";
}

// Between its detachment and its deletion a screen can no longer act: a selection change in the
// Background Monitor left behind acknowledges nothing, and the alert centre no longer reaches it.
TEST_F(NavigationTest, AScreenLeftBehindNoLongerActs)
{
    prepare(Screen::monitor);
    QPointer<MonitorView> left = shown<MonitorView>();
    ASSERT_TRUE(left);
    const QString counts = left->countsLabel()->text();
    // Switched from here, not by a click, which would let the event loop delete it at once.
    store().setScreen(Screen::events);
    ASSERT_TRUE(left && left->isDetached());

    left->table()->selectionModel()->select(alertRow(left, 1),
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_FALSE(alerts().alerts()[1].acknowledged);
    alerts().setAlerts({alertIDs[2]});
    EXPECT_EQ(left->countsLabel()->text(), counts);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(left);
}

} // namespace
