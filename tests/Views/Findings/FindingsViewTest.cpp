#include "Views/Findings/FindingsView.h"

#include "Views/Components/ContentUnavailable.h"
#include "Views/Components/TextBox.h"
#include "Views/Components/WrappedText.h"
#include "Views/Findings/FindingDetail.h"
#include "Views/Findings/FindingsTableModel.h"
#include "support/LoadedStore.h"
#include "support/QtTestSupport.h"
#include "support/RecordValue.h"
#include "support/ShownTexts.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>

using TestRecords::RecordValue;

namespace {

constexpr uint16_t execve = 23;

class FindingsViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        // Command-line rules: whoami (info, Discovery), csrutil status (low, Discovery, T1082), csrutil
        // disable (critical, Defense Evasion, T1562.001).
        ASSERT_TRUE(store.load(
            {RecordValue(execve, 1000).subject(501, 501, 100).path("/usr/bin/whoami").execArgs({"whoami"}),
             RecordValue(execve, 2000).subject(501, 501, 101).path("/usr/bin/csrutil").execArgs({"csrutil", "status"}),
             RecordValue(execve, 3000).subject(501, 0, 102).path("/usr/bin/csrutil").execArgs({"csrutil", "disable"})}));
        ASSERT_EQ(store.findings().size(), 3u);
        view = std::make_unique<FindingsView>(ViewContext{&store, nullptr, nullptr});
        view->resize(1200, 700);
        tester = std::make_unique<QAbstractItemModelTester>(view->model(),
                                                            QAbstractItemModelTester::FailureReportingMode::Fatal);
        settle();
    }

    // The rows are derived on the pool: waits until the screen shows the latest.
    void settle() const
    {
        ASSERT_TRUE(waitUntil([&] { return !view->model()->isDeriving(); }));
    }

    const Finding &findingNamed(const std::string &rule) const
    {
        for (const Finding &f : store.findings())
            if (f.rule == rule) return f;
        throw std::runtime_error("no finding " + rule);
    }

    QStringList rules() const
    {
        QStringList out;
        for (int row = 0; row < view->model()->rowCount(); ++row)
            out << QString::fromStdString(view->model()->findingAt(row).rule);
        return out;
    }

    QStringList chipTexts() const
    {
        QStringList out;
        for (QToolButton *chip : view->chips())
            out << chip->text() + (chip->property("highlighted").toBool() ? "*" : "");
        return out;
    }

    QWidget *inspectorPage() const { return view->findChild<QStackedWidget *>("findingInspector")->currentWidget(); }

    LoadedStore store;
    std::unique_ptr<FindingsView> view;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

TEST_F(FindingsViewTest, MinimumChipsAndCountFollowTheStore)
{
    EXPECT_EQ(view->searchPrompt(), QString::fromUtf8("Rule, tactic, technique\u2026"));
    EXPECT_EQ(view->minimumPicker()->currentText(), "Low");
    EXPECT_EQ(rules(), (QStringList{"SIP / security posture query", "SIP disable attempt"}));
    EXPECT_EQ(view->countLabel()->text(), "2 of 3 findings") << "info findings still count in the total";
    EXPECT_EQ(chipTexts(), (QStringList{"Discovery 1", "Defense Evasion 1"}));

    view->minimumPicker()->setCurrentIndex(0);
    settle();
    EXPECT_EQ(view->countLabel()->text(), "3 of 3 findings");
    EXPECT_EQ(chipTexts(), (QStringList{"Discovery 2", "Defense Evasion 1"}));

    // A chip sets the search and lights up; a second click clears it. Typing does not move counts.
    view->chips()[1]->click();
    settle();
    EXPECT_EQ(view->search(), "Defense Evasion");
    EXPECT_EQ(chipTexts(), (QStringList{"Discovery 2", "Defense Evasion 1*"}));
    EXPECT_EQ(view->countLabel()->text(), "1 of 3 findings");
    view->chips()[1]->click();
    settle();
    EXPECT_EQ(view->search(), "");
    view->setSearch("discovery");
    settle();
    EXPECT_EQ(chipTexts(), (QStringList{"Discovery 2", "Defense Evasion 1"})) << "another case does not light it";
    EXPECT_EQ(rules().size(), 2);
    view->chips()[0]->click();
    settle();
    EXPECT_EQ(view->search(), "Discovery") << "sets the exact category instead of clearing";

    view->minimumPicker()->setCurrentIndex(4);
    settle();
    EXPECT_EQ(rules(), QStringList{});
    EXPECT_TRUE(view->emptyOverlay()->isVisibleTo(view.get()));
    EXPECT_EQ(view->emptyOverlay()->title(), "No findings");
    EXPECT_EQ(view->emptyOverlay()->description(), "Lower the minimum severity to see more.");
}

TEST_F(FindingsViewTest, SelectionSurvivesASearchAndTheInspectorKeepsIt)
{
    EXPECT_EQ(inspectorPage()->objectName(), "selectAFinding");
    view->table()->selectRow(0);
    const Uuid id = findingNamed("SIP / security posture query").id;
    ASSERT_EQ(view->selection(), id);
    ASSERT_NE(view->detail(), nullptr);

    view->setSearch("disable");
    settle();
    EXPECT_EQ(rules(), QStringList{"SIP disable attempt"});
    EXPECT_TRUE(view->table()->selectionModel()->selectedRows().isEmpty());
    EXPECT_EQ(view->selection(), id);
    ASSERT_NE(view->detail(), nullptr) << "a hidden finding stays in the inspector";
    EXPECT_EQ(view->detail()->finding().id, id);

    view->setSearch("");
    settle();
    ASSERT_EQ(view->table()->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(view->model()->findingAt(view->table()->selectionModel()->selectedRows().first().row()).id, id);

    // A rebuild makes new finding ids: the inspector falls back.
    ASSERT_TRUE(store.load({RecordValue(execve, 4000).subject(501, 501, 103).path("/usr/bin/id").execArgs({"id"})}));
    settle();
    EXPECT_EQ(view->detail(), nullptr);
    EXPECT_EQ(inspectorPage()->objectName(), "selectAFinding");
}

TEST_F(FindingsViewTest, HeaderClicksSortAndTheATTCKColumnPutsTheIndicatorBack)
{
    QHeaderView *header = view->table()->horizontalHeader();
    QStringList titles;
    for (int column = 0; column < FindingsTableModel::numColumns; ++column)
        titles << view->model()->headerData(column, Qt::Horizontal).toString();
    EXPECT_EQ(titles, (QStringList{"Severity", "Time", "Rule", "Tactic", "ATT&CK", "User", "Summary"}));
    view->minimumPicker()->setCurrentIndex(0);
    settle();
    const auto click = [&](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
        settle();
    };
    const QStringList byRule = {"SIP / security posture query", "SIP disable attempt", "User / host discovery"};
    ASSERT_EQ(rules().size(), 3);

    click(FindingsTableModel::ruleColumn);
    EXPECT_EQ(rules(), byRule);
    EXPECT_EQ(header->sortIndicatorSection(), FindingsTableModel::ruleColumn);
    const Qt::SortOrder ruleOrder = header->sortIndicatorOrder();

    click(FindingsTableModel::techniqueColumn);
    EXPECT_EQ(rules(), byRule) << "the ATT&CK column does not sort";
    EXPECT_EQ(header->sortIndicatorSection(), FindingsTableModel::ruleColumn);
    EXPECT_EQ(header->sortIndicatorOrder(), ruleOrder);

    click(FindingsTableModel::ruleColumn);
    EXPECT_EQ(header->sortIndicatorSection(), FindingsTableModel::ruleColumn);
    EXPECT_NE(header->sortIndicatorOrder(), ruleOrder);
    QStringList reversed = byRule;
    std::reverse(reversed.begin(), reversed.end());
    EXPECT_EQ(rules(), reversed);
}

TEST_F(FindingsViewTest, DrillDownsSetTheStoreFilterAndScreen)
{
    const Finding &critical = findingNamed("SIP disable attempt");
    const int row = view->model()->rowOf(critical.id);
    view->openRow(row);
    EXPECT_EQ(store.screen(), Screen::events);
    EXPECT_EQ(store.filter().recordIDs,
              std::optional(std::unordered_set<int64_t>(critical.recordIDs.begin(), critical.recordIDs.end())));
    EXPECT_EQ(store.filter().label, "SIP disable attempt");
    EXPECT_EQ(store.selectedRecordID(), critical.recordIDs.front());

    QMenu *menu = view->contextMenuForRow(row);
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_EQ(menu->actions()[0]->text(), "Show Related Records");
    EXPECT_EQ(menu->actions()[1]->text(), QString::fromUtf8("Show \u00B15 Minutes Around"));
    store.setScreen(Screen::findings);
    store.setSelectedRecordID(std::nullopt);
    menu->actions()[1]->trigger();
    const std::optional<AuditRecord> first = store.record(critical.recordIDs.front());
    ASSERT_TRUE(first);
    EXPECT_EQ(store.screen(), Screen::events);
    EXPECT_EQ(store.filter().start, first->time - 300);
    EXPECT_EQ(store.filter().end, first->time + 300);
    EXPECT_EQ(store.filter().label, "\u00B15 min of SIP disable attempt");
    EXPECT_FALSE(store.filter().recordIDs.has_value());
    EXPECT_EQ(store.selectedRecordID(), first->id);

    EXPECT_TRUE(view->contextMenuForRow(42)->actions().isEmpty());
}

TEST_F(FindingsViewTest, DetailCopiesTheSummaryAndLinksTheTechnique)
{
    const Finding &critical = findingNamed("SIP disable attempt");
    view->table()->selectRow(view->model()->rowOf(critical.id));
    FindingDetail *detail = view->detail();
    ASSERT_NE(detail, nullptr);

    QGuiApplication::clipboard()->setText("something else");
    detail->summaryBox()->copyAction()->trigger();
    EXPECT_EQ(detail->summaryBox()->copyAction()->text(), "Copy Summary");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromStdString(critical.summary));

    ASSERT_NE(detail->techniqueLink(), nullptr);
    EXPECT_TRUE(detail->techniqueLink()->text().contains("/techniques/T1562/001/"));
    EXPECT_TRUE(detail->techniqueLink()->text().contains(">T1562.001<"));
    EXPECT_EQ(detail->evidenceShown(), critical.recordIDs);

    QStringList texts;
    texts << shownTexts(detail);
    EXPECT_TRUE(texts.contains(QString::number(critical.recordIDs.size()) + " record(s)"));

    store.setScreen(Screen::findings);
    detail->showRecordsButton()->click();
    EXPECT_EQ(store.screen(), Screen::events);
    EXPECT_EQ(store.filter().label, critical.rule);
}

TEST_F(FindingsViewTest, TheChipStripScrollsByTheWheelAndTheArrowKeysWithoutABar)
{
    view->minimumPicker()->setCurrentIndex(0);
    settle();
    view->show();
    QApplication::setActiveWindow(view.get());
    QScrollArea *strip = view->chipScroller();
    QScrollBar *bar = strip->horizontalScrollBar();
    const QList<QToolButton *> chips = view->chips();
    ASSERT_EQ(chips.size(), 2);
    // Narrow enough that the two chips do not fit side by side, wide enough for either alone.
    view->resize(700, 700);
    QCoreApplication::processEvents();
    for (int width = 700; strip->viewport()->width() < chips[1]->width() + 12 && width < 1200; width += 10) {
        view->resize(width, 700);
        QCoreApplication::processEvents();
    }
    ASSERT_GT(bar->maximum(), 0) << "the chips must not fit, or there is nothing to scroll";
    EXPECT_FALSE(bar->isVisible()) << "no scroll indicators";

    const auto wheel = [](QWidget *target, QPoint angle) {
        const QPointF at(2, 2);
        QWheelEvent event(at, target->mapToGlobal(at), QPoint(), angle, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(target, &event);
    };
    wheel(chips[0], {0, -120}); // a vertical wheel turned down, over a chip
    EXPECT_GT(bar->value(), 0);
    wheel(chips[0], {0, 120});
    EXPECT_EQ(bar->value(), 0);

    // On a focused chip the arrows move the focus along the strip and bring that chip into view.
    const auto inView = [&](QWidget *chip) {
        return strip->viewport()->rect().contains(QRect(chip->mapTo(strip->viewport(), QPoint()), chip->size()));
    };
    chips[0]->setFocus();
    ASSERT_TRUE(chips[0]->hasFocus());
    QTest::keyClick(chips[0], Qt::Key_Right);
    EXPECT_TRUE(chips[1]->hasFocus());
    EXPECT_TRUE(inView(chips[1]));
    EXPECT_GT(bar->value(), 0);
    QTest::keyClick(chips[1], Qt::Key_Right);
    EXPECT_TRUE(chips[1]->hasFocus()) << "the last chip keeps the focus";
    QTest::keyClick(chips[1], Qt::Key_Left);
    EXPECT_TRUE(chips[0]->hasFocus());
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(view->search(), "") << "moving along the strip chooses nothing";
}

TEST(FindingDetailTest, AnEvidenceSummaryCutAtTwoLinesEndsInAnEllipsis)
{
    LoadedStore store;
    const std::string longPath = "/Users/orvik/Library/Application Support/com.example.agent/Caches/"
                                 "very/deep/folder/structure/that/goes/on/and/on/for/quite/a/while/file.plist";
    ASSERT_TRUE(store.load({RecordValue(72, 100).subject(501, 501, 100).path(longPath),
                            RecordValue(72, 101).subject(501, 501, 100).path("/etc/hosts")}));
    Finding finding;
    finding.rule = "Rule";
    finding.recordIDs = {1, 2};
    FindingDetail detail(store, finding);
    detail.resize(320, 800);
    detail.show();
    QCoreApplication::processEvents();
    const QList<WrappedText *> summaries = detail.findChildren<WrappedText *>(QStringLiteral("evidenceSummary"));
    ASSERT_EQ(summaries.size(), 2);
    const WrappedText *cut = summaries[0];
    EXPECT_EQ(cut->text(), QString::fromStdString(store.record(1)->detailSummary())) << "the whole summary stays";
    EXPECT_TRUE(cut->isElided());
    ASSERT_EQ(cut->shownLines().size(), 2);
    EXPECT_TRUE(cut->shownLines()[1].endsWith(QChar(0x2026)));
    EXPECT_LE(QFontMetrics(cut->font()).horizontalAdvance(cut->shownLines()[1]), cut->width());
    EXPECT_EQ(cut->height(), cut->heightForWidth(cut->width())) << "two lines tall";
    const WrappedText *whole = summaries[1];
    EXPECT_FALSE(whole->isElided());
    EXPECT_EQ(whole->shownLines(), QStringList{whole->text()});
}

TEST(FindingDetailTest, ListsAtMostTwelveKnownEvidenceRecords)
{
    LoadedStore store;
    std::vector<AuditRecord> records;
    for (int i = 0; i < 20; ++i) records.push_back(RecordValue(72, 100 + i).subject(501, 501, 100).path("/etc/x"));
    ASSERT_TRUE(store.load(std::move(records)));
    Finding finding;
    finding.rule = "Rule";
    finding.summary = "summary";
    for (int64_t id = 1; id <= 20; ++id) finding.recordIDs.push_back(id == 2 ? 999 : id);
    FindingDetail detail(store, finding);
    EXPECT_EQ(detail.evidenceShown(), (std::vector<int64_t>{1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}))
        << "the unknown id takes no row, and the list stops at the twelfth id";
    EXPECT_EQ(detail.techniqueLink(), nullptr);
    QStringList texts;
    texts << shownTexts(&detail);
    EXPECT_TRUE(texts.contains("20 record(s)"));
    EXPECT_EQ(texts.count("Evidence"), 2) << "the fact row and the heading";

    Finding bare;
    bare.rule = "Bare";
    FindingDetail empty(store, bare);
    texts.clear();
    texts << shownTexts(&empty);
    EXPECT_TRUE(texts.contains("0 record(s)"));
    EXPECT_EQ(texts.count("Evidence"), 1) << "only the fact row, no heading";
    EXPECT_NE(empty.showRecordsButton(), nullptr);
}

} // namespace
