#include "Views/Processes/ProcessesView.h"

#include "Views/Components/ContentUnavailable.h"
#include "Views/Components/TextBox.h"
#include "Views/Processes/ProcessDetail.h"
#include "Views/Processes/ProcessModels.h"
#include "support/LoadedStore.h"
#include "support/RecordValue.h"
#include "support/ShownTexts.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableView>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

using TestRecords::RecordValue;

namespace {

constexpr uint16_t forkEvent = 2;
constexpr uint16_t execve = 23;
constexpr uint16_t openRead = 72;

class ProcessesViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        // pid 1 (before the trail) forks zsh (id 2), which forks ssh (id 4) and sudo (id 6, root).
        ASSERT_TRUE(
            store.load({RecordValue(forkEvent, 9).subject(501, 501, 1).arg("child PID", 100),
                        RecordValue(execve, 10).subject(501, 501, 100).path("/bin/zsh").execArgs({"-zsh"}),
                        RecordValue(forkEvent, 11).subject(501, 501, 100).arg("child PID", 200),
                        RecordValue(execve, 12).subject(501, 501, 200).path("/usr/bin/ssh").execArgs({"ssh", "host"}),
                        RecordValue(forkEvent, 13).subject(501, 501, 100).arg("child PID", 300),
                        RecordValue(execve, 14).subject(501, 0, 300).path("/usr/bin/sudo").execArgs({"sudo", "ls"}),
                        RecordValue(openRead, 15).subject(501, 501, 200).path("/etc/hosts")}));
        ASSERT_EQ(store.processes().size(), 3u);
        view = std::make_unique<ProcessesView>(ViewContext{&store, nullptr, nullptr});
        view->resize(1200, 700);
        treeTester = std::make_unique<QAbstractItemModelTester>(view->treeModel(),
                                                                QAbstractItemModelTester::FailureReportingMode::Fatal);
        listTester = std::make_unique<QAbstractItemModelTester>(view->listModel(),
                                                                QAbstractItemModelTester::FailureReportingMode::Fatal);
        settle();
    }

    // The outline, the list and the lineage are derived on the pool: waits until the screen shows
    // the latest ones.
    void settle()
    {
        ASSERT_TRUE(waitUntil(
            [&] { return !view->outlinePending() && !view->listModel()->isDeriving() && !view->lineagePending(); }));
    }

    void selectInTree(int64_t id)
    {
        const QModelIndex index = view->treeModel()->indexOf(id);
        ASSERT_TRUE(index.isValid());
        view->tree()->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    }

    std::optional<int64_t> treeHighlight() const
    {
        const QModelIndexList rows = view->tree()->selectionModel()->selectedRows();
        if (rows.isEmpty()) return std::nullopt;
        return view->treeModel()->nodeAt(rows.first())->id;
    }

    std::optional<int64_t> listHighlight() const
    {
        const QModelIndexList rows = view->table()->selectionModel()->selectedRows();
        if (rows.isEmpty()) return std::nullopt;
        return view->listModel()->processAt(rows.first().row()).id;
    }

    QWidget *inspectorPage() const { return view->findChild<QStackedWidget *>("processInspector")->currentWidget(); }

    static QAction *action(QMenu *menu, const QString &text)
    {
        for (QAction *a : menu->actions())
            if (a->text() == text) return a;
        return nullptr;
    }

    LoadedStore store;
    std::unique_ptr<ProcessesView> view;
    std::unique_ptr<QAbstractItemModelTester> treeTester;
    std::unique_ptr<QAbstractItemModelTester> listTester;
};

TEST_F(ProcessesViewTest, ShowsTheStoreTreeAndCountsTheFlatList)
{
    EXPECT_EQ(view->searchPrompt(), QString::fromUtf8("Image, argument, pid, signing id\u2026"));
    EXPECT_EQ(view->mode(), ProcessesView::Mode::tree);
    EXPECT_EQ(view->treeModel()->nodeCount(), 4) << "placeholder included";
    const QModelIndex placeholder = view->treeModel()->index(0, 0);
    EXPECT_TRUE(view->treeModel()->nodeAt(placeholder)->isPlaceholder);
    EXPECT_EQ(view->treeModel()->rowCount(view->treeModel()->index(0, 0, placeholder)), 2);
    EXPECT_EQ(view->countLabel()->text(), "3 images") << "placeholders never count";

    view->setSearch("ssh");
    settle();
    EXPECT_EQ(view->countLabel()->text(), "1 images");
    EXPECT_EQ(view->treeModel()->nodeCount(), 3) << "ssh with its parent and the placeholder";
    view->setSearch("trail");
    settle();
    EXPECT_EQ(view->countLabel()->text(), "0 images");
    EXPECT_EQ(view->treeModel()->nodeCount(), 1);
    view->setSearch("");
    settle();
    view->rootOnlySwitch()->setChecked(true);
    settle();
    EXPECT_EQ(view->countLabel()->text(), "1 images");
    EXPECT_EQ(view->treeModel()->nodeCount(), 3) << "sudo, its parent and the placeholder";
}

TEST_F(ProcessesViewTest, SelectionSurvivesSearchesAndModeSwitches)
{
    selectInTree(4);
    ASSERT_EQ(view->selection(), 4);
    ASSERT_NE(view->detail(), nullptr);
    EXPECT_EQ(view->detail()->process().id, 4);

    view->setSearch("sudo");
    settle();
    EXPECT_FALSE(view->treeModel()->indexOf(4).isValid());
    EXPECT_EQ(view->selection(), 4) << "a hidden row keeps its selection";
    ASSERT_NE(view->detail(), nullptr) << "the detail is looked up among all processes";
    view->setSearch("");
    settle();
    EXPECT_EQ(treeHighlight(), 4) << "and shows it again when the row comes back";

    view->setMode(ProcessesView::Mode::list);
    EXPECT_EQ(qobject_cast<QStackedWidget *>(view->table()->parentWidget())->currentWidget(), view->table());
    EXPECT_EQ(listHighlight(), 4);
    view->table()->selectRow(view->listModel()->rowOf(6));
    EXPECT_EQ(view->selection(), 6);
    view->modeButton(ProcessesView::Mode::tree)->click();
    settle();
    EXPECT_EQ(view->mode(), ProcessesView::Mode::tree);
    EXPECT_EQ(treeHighlight(), 6);

    // A placeholder is selectable in the tree but has no detail.
    selectInTree(view->treeModel()->nodeAt(view->treeModel()->index(0, 0))->id);
    EXPECT_EQ(view->detail(), nullptr);
    EXPECT_EQ(inspectorPage()->objectName(), "noProcessSelected");
}

TEST_F(ProcessesViewTest, MenusDrillDownAndCopy)
{
    const ProcessNode &ssh = store.processes()[1];
    ASSERT_EQ(ssh.id, 4);
    QMenu *menu = view->processMenu(ssh);
    QStringList titles;
    for (QAction *a : menu->actions()) titles << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(titles, (QStringList{"Show Events for This Process", "Show Exec Record", "-", "Copy Command Line"}));

    action(menu, "Copy Command Line")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "ssh host");

    action(menu, "Show Exec Record")->trigger();
    EXPECT_EQ(store.screen(), Screen::events);
    EXPECT_EQ(store.filter().recordIDs, (std::optional<std::unordered_set<int64_t>>{{4}}));
    EXPECT_EQ(store.filter().label, "exec of ssh");
    EXPECT_EQ(store.selectedRecordID(), 4);

    store.setScreen(Screen::processes);
    action(menu, "Show Events for This Process")->trigger();
    EXPECT_EQ(store.screen(), Screen::events);
    EXPECT_EQ(store.filter().pid, 200u);
    EXPECT_EQ(store.filter().start, 12.0);
    EXPECT_EQ(store.filter().label, "ssh (pid 200)");

    // The placeholder's menu still offers every item.
    const ProcessNode *placeholder = view->treeModel()->nodeAt(view->treeModel()->index(0, 0));
    EXPECT_EQ(view->processMenu(*placeholder)->actions().size(), 4);
    // A list row whose process the store no longer holds has an empty menu.
    EXPECT_TRUE(view->contextMenuForListRow(99)->actions().isEmpty());
    EXPECT_EQ(view->contextMenuForListRow(0)->actions().size(), 4);
}

TEST_F(ProcessesViewTest, DetailShowsFactsLineageAndActions)
{
    selectInTree(4);
    settle();
    ProcessDetail *detail = view->detail();
    ASSERT_NE(detail, nullptr);
    ASSERT_EQ(detail->lineageNames().size(), 2);
    EXPECT_EQ(detail->lineageNames()[0]->text(), "zsh");
    EXPECT_FALSE(detail->lineageNames()[0]->font().bold());
    EXPECT_EQ(detail->lineageNames()[1]->text(), "ssh");
    EXPECT_TRUE(detail->lineageNames()[1]->font().bold());
    EXPECT_NE(detail->findChild<QLabel *>("lineageHeading"), nullptr);

    QStringList facts;
    facts << shownTexts(detail);
    for (const char *expected : {"Parent PID", "100", "Other events", "1", "not observed", "not recorded"})
        EXPECT_TRUE(facts.contains(QString::fromUtf8(expected))) << expected;
    EXPECT_FALSE(facts.contains("Exit status"));

    detail->commandLineBox()->copyAction()->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "ssh host");
    detail->execRecordButton()->click();
    EXPECT_EQ(store.filter().label, "exec of ssh");
    EXPECT_EQ(store.selectedRecordID(), 4);
    store.setScreen(Screen::processes);
    view->detail()->showEventsButton()->click();
    EXPECT_EQ(store.filter().pid, 200u);
    EXPECT_EQ(store.screen(), Screen::events);

    // zsh's parent is pid 1, which the trail never executed: no lineage.
    selectInTree(2);
    settle();
    EXPECT_TRUE(view->detail()->lineageNames().isEmpty());
    EXPECT_EQ(view->detail()->findChild<QLabel *>("lineageHeading"), nullptr);
}

} // namespace

namespace {

TEST_F(ProcessesViewTest, FollowsAStoreRebuildInBothPresentations)
{
    selectInTree(4);
    // The rebuild replaces the lists the models borrow; both must be rebuilt over the new ones.
    ASSERT_TRUE(store.load({RecordValue(execve, 20).subject(501, 501, 400).path("/bin/cat").execArgs({"cat", "x"})}));
    settle();
    EXPECT_EQ(view->countLabel()->text(), "4 images");
    EXPECT_TRUE(view->treeModel()->indexOf(4).isValid());
    EXPECT_EQ(treeHighlight(), 4);
    EXPECT_EQ(view->treeModel()->data(view->treeModel()->indexOf(4)).toString(), "ssh");
    view->setMode(ProcessesView::Mode::list);
    ASSERT_TRUE(store.load({RecordValue(execve, 21).subject(501, 501, 401).path("/bin/echo").execArgs({"echo"})}));
    settle();
    EXPECT_EQ(view->listModel()->rowCount(), 5);
    EXPECT_EQ(listHighlight(), 4);
    // A rebuild that keeps every process id announces no process change, yet replaces the lists.
    ASSERT_TRUE(store.load({RecordValue(openRead, 22).subject(501, 501, 200).path("/etc/passwd")}));
    settle();
    const int sshRow = view->listModel()->rowOf(4);
    ASSERT_GE(sshRow, 0);
    EXPECT_EQ(view->listModel()->data(view->listModel()->index(sshRow, ProcessListModel::eventsColumn)).toString(), "2");
    store.closeAll();
    EXPECT_TRUE(waitUntil([&] { return store.processes().empty(); }));
    settle();
    EXPECT_EQ(view->listModel()->rowCount(), 0);
    EXPECT_EQ(view->countLabel()->text(), "0 images");
}

TEST_F(ProcessesViewTest, ModelsKeepTheirProcessesThroughAStoreRebuild)
{
    // Models nobody resets: whatever the store does, their nodes must stay theirs to read.
    ProcessListModel list;
    ProcessTreeModel tree;
    QAbstractItemModelTester listChecks(&list, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QAbstractItemModelTester treeChecks(&tree, QAbstractItemModelTester::FailureReportingMode::Fatal);
    list.setProcesses(store.processesSnapshot(), ProcessRows::ProcessFilter());
    ASSERT_TRUE(waitUntil([&] { return !list.isDeriving(); }));
    tree.setOutline(ProcessRows::outline(store.processTreeSnapshot(), ProcessRows::ProcessFilter()));
    const std::weak_ptr<const std::vector<ProcessNode>> listHeld = store.processesSnapshot();
    const std::weak_ptr<const ProcessTree> treeHeld = store.processTreeSnapshot();
    const int sshRow = list.rowOf(4);
    ASSERT_GE(sshRow, 0);

    ASSERT_TRUE(store.load({RecordValue(execve, 20).subject(501, 501, 400).path("/bin/cat").execArgs({"cat", "x"})}));
    store.closeAll();
    ASSERT_TRUE(waitUntil([&] { return store.processes().empty(); }));
    settle(); // the screen's own models let go of the old analysis
    EXPECT_FALSE(listHeld.expired()) << "the list model holds its snapshot";
    EXPECT_FALSE(treeHeld.expired()) << "the tree model holds its snapshot";
    EXPECT_EQ(list.rowCount(), 3);
    EXPECT_EQ(list.processAt(sshRow).id, 4);
    EXPECT_EQ(list.data(list.index(sshRow, ProcessListModel::commandLineColumn)).toString(), "ssh host");
    EXPECT_EQ(tree.data(tree.indexOf(4)).toString(), "ssh");

    list.clear();
    tree.clear();
    EXPECT_TRUE(listHeld.expired()) << "cleared, nothing keeps the old analysis";
}

} // namespace
