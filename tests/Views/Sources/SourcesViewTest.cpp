#include "Views/Sources/SourcesView.h"

#include "Views/Components/TableColumns.h"
#include "Views/Components/TableTime.h"
#include "Views/EmptyStateView.h"
#include "Views/Sources/SourceRows.h"
#include "Views/Sources/SourcesTableModel.h"

#include "Platform/FileReveal.h"
#include "Store/NativePath.h"
#include "support/LoadedStore.h"
#include "support/ShownTexts.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QScrollArea>
#include <QTableView>

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

namespace {

using namespace TestBSM;

TEST(SourceRows, IssueLinesCarryEightHexDigitsOfOffset)
{
    struct Case {
        int64_t offset;
        const char *line;
    } cases[] = {
        {4096, "offset 0x00001000  bad token"},
        {0, "offset 0x00000000  bad token"},
        {0xdeadbeef, "offset 0xdeadbeef  bad token"},
        {0x123456789, "offset 0x123456789  bad token"}, // never cut to eight digits
    };
    for (const Case &c : cases) EXPECT_EQ(issueLine({Uuid::random(), c.offset, "bad token"}).toStdString(), c.line);
}

TEST(SourceRows, NotTerminatedNoteNeedsOneUnclosedTokenAlone)
{
    struct Case {
        const char *name;
        std::vector<std::string> tokens;
        bool note;
    } cases[] = {
        {"no tokens", {}, false},
        {"one unclosed token", {"20231114221320.not_terminated"}, true},
        {"one closed token", {"20231114221320.20231114231320"}, false},
        {"opening and closing tokens", {"20231114221320.not_terminated", "20231114221320.not_terminated"}, false},
    };
    for (const Case &c : cases) {
        TrailSource s;
        s.fileTokens = c.tokens;
        EXPECT_EQ(showsNotTerminatedNote(s), c.note) << c.name;
    }
}

TEST(SourceRows, IntegrityTexts)
{
    TrailSource s;
    EXPECT_EQ(integrityText(s), QStringLiteral("Clean"));
    EXPECT_STREQ(integritySymbol(s), "checkmark.seal");
    s.issues = ParseIssues(std::vector<ParseIssue>(1), 1);
    EXPECT_EQ(integrityText(s), QStringLiteral("1 issue(s)"));
    s.issues = ParseIssues(std::vector<ParseIssue>(120), 120);
    EXPECT_EQ(integrityText(s), QStringLiteral("120 issue(s)"));
    EXPECT_STREQ(integritySymbol(s), "exclamationmark.triangle");
    // A hostile trail's issues are kept only in part: the count is of all of them.
    s.issues = ParseIssues(std::vector<ParseIssue>(10000), 10500000);
    EXPECT_EQ(integrityText(s), QStringLiteral("10500000 issue(s)"));
}

// Garbage before each record: one framing issue per record.
Bytes damaged(size_t records)
{
    Bytes out;
    for (size_t i = 0; i < records; ++i) out = trail({out, {'?', '?'}, openReadRecords(1, uint32_t(1700000000 + i))});
    return out;
}

class SourcesViewTest : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void makeView()
    {
        view = std::make_unique<SourcesView>(ViewContext{&loaded});
        tester = std::make_unique<QAbstractItemModelTester>(view->model(),
                                                            QAbstractItemModelTester::FailureReportingMode::Warning);
        view->resize(1440, 900);
        revealed.clear();
        view->setRevealer([this](const QByteArray &path) { revealed << path; });
    }

    QString cell(int row, int column, int role = Qt::DisplayRole) const
    {
        return view->model()->index(row, column).data(role).toString();
    }

    QStringList detailTexts() const
    {
        QStringList texts;
        if (!view->detailPane()) return texts;
        return shownTexts(view->detailPane()->widget());
    }

    QStringList menuTexts(std::optional<int64_t> id)
    {
        std::unique_ptr<QMenu> menu(view->buildContextMenu(id, nullptr));
        QStringList texts;
        for (const QAction *a : menu->actions()) texts << (a->isSeparator() ? QStringLiteral("—") : a->text());
        return texts;
    }

    void trigger(int64_t id, const QString &text)
    {
        std::unique_ptr<QMenu> menu(view->buildContextMenu(id, nullptr));
        for (QAction *a : menu->actions())
            if (a->text() == text) return a->trigger();
        ADD_FAILURE() << "no menu item " << text.toStdString();
    }

    void load(const std::vector<std::pair<QString, TestBSM::Bytes>> &files) { ASSERT_TRUE(loaded.loadFiles(files)); }

    LoadedStore loaded;
    std::unique_ptr<SourcesView> view;
    std::unique_ptr<QAbstractItemModelTester> tester;
    QList<QByteArray> revealed;
};

TEST_F(SourcesViewTest, ColumnsShowKindSizeRecordsSpanAndIntegrity)
{
    load({{"clean.bsm", openReadRecords(1234, 1700000000)}, {"empty.bsm", {}}, {"damaged.bsm", damaged(2)}});
    makeView();
    ASSERT_EQ(view->model()->rowCount(), 3);
    QStringList headers;
    for (int c = 0; c < SourcesTableModel::numColumns; ++c)
        headers << view->model()->headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(headers, QStringList({"File", "Kind", "Size", "Records", "First record", "Last record", "Integrity"}));

    EXPECT_EQ(cell(0, SourcesTableModel::fileColumn), "clean.bsm");
    EXPECT_EQ(cell(0, SourcesTableModel::fileColumn, SourcesTableModel::symbolRole), "doc");
    EXPECT_EQ(cell(0, SourcesTableModel::kindColumn), "File");
    EXPECT_EQ(cell(0, SourcesTableModel::recordsColumn), "1,234");
    EXPECT_FALSE(cell(0, SourcesTableModel::sizeColumn).isEmpty());
    EXPECT_EQ(cell(0, SourcesTableModel::firstColumn).toStdString().substr(0, 12), "Nov 14, 2023");
    EXPECT_NE(cell(0, SourcesTableModel::firstColumn), cell(0, SourcesTableModel::lastColumn));
    EXPECT_EQ(cell(0, SourcesTableModel::integrityColumn), "Clean");
    EXPECT_EQ(cell(0, SourcesTableModel::integrityColumn, SourcesTableModel::symbolRole), "checkmark.seal");

    EXPECT_EQ(cell(1, SourcesTableModel::recordsColumn), "0");
    EXPECT_EQ(cell(1, SourcesTableModel::firstColumn), "—");
    EXPECT_EQ(cell(1, SourcesTableModel::lastColumn), "—");

    EXPECT_EQ(cell(2, SourcesTableModel::integrityColumn), "2 issue(s)");
    EXPECT_EQ(cell(2, SourcesTableModel::integrityColumn, SourcesTableModel::symbolRole), "exclamationmark.triangle");
    EXPECT_FALSE(view->table()->isSortingEnabled());

    // Dragging a column narrower stops at its own minimum (the time columns' is wider where our
    // font needs it), the stretching name's too; the fixed ones keep their width.
    QHeaderView *header = view->table()->horizontalHeader();
    const int time = std::max(140, cellWidth(view->table()->font(), SourcesTableModel::timeText(widestTableTime())));
    const std::pair<int, int> minimums[] = {{SourcesTableModel::fileColumn, 200},
                                            {SourcesTableModel::firstColumn, time},
                                            {SourcesTableModel::lastColumn, time},
                                            {SourcesTableModel::integrityColumn, 90}};
    for (const auto &[column, minimum] : minimums) {
        header->resizeSection(column, 40);
        EXPECT_EQ(header->sectionSize(column), minimum) << column;
    }
    view->table()->resize(300, 200);
    QCoreApplication::processEvents();
    EXPECT_EQ(header->sectionSize(SourcesTableModel::fileColumn), 200) << "a narrow window keeps the name's minimum";
    for (int column : {SourcesTableModel::kindColumn, SourcesTableModel::sizeColumn, SourcesTableModel::recordsColumn})
        EXPECT_EQ(header->sectionSize(column), 70) << column;
}

TEST_F(SourcesViewTest, DetailPaneForCleanDamagedAndUnterminatedFiles)
{
    const Bytes unterminated = trail({Token::file(1700000000, 0, "20231114221320.not_terminated"), openReadRecords(2)});
    const Bytes closed = trail({Token::file(1700000000, 0, "20231114221320.not_terminated"), openReadRecords(2),
                                Token::file(1700000002, 0, "20231114221320.20231114221322")});
    load({{"clean.bsm", openReadRecords(3)},
          {"damaged.bsm", damaged(120)},
          {"open.bsm", unterminated},
          {"closed.bsm", closed}});
    makeView();
    const auto &sources = loaded.sources();
    ASSERT_EQ(sources.size(), 4u);
    EXPECT_FALSE(view->detailPane());

    view->setSelection(sources[0].id);
    ASSERT_TRUE(view->detailPane());
    QString texts = detailTexts().join('|');
    EXPECT_TRUE(texts.contains(loaded.dir.filePath("clean.bsm"))) << texts.toStdString();
    EXPECT_TRUE(texts.contains(cleanSentence));
    EXPECT_FALSE(texts.contains("File tokens"));
    EXPECT_FALSE(texts.contains(notTerminatedNote));
    EXPECT_FALSE(texts.contains("Parse issues"));

    view->setSelection(sources[1].id);
    ASSERT_EQ(sources[1].issues.total(), 120);
    EXPECT_EQ(cell(1, SourcesTableModel::integrityColumn), "120 issue(s)");
    texts = detailTexts().join('|');
    EXPECT_TRUE(texts.contains("Parse issues"));
    EXPECT_FALSE(texts.contains(cleanSentence));
    const auto lines = view->detailPane()->widget()->findChildren<QLabel *>("parseIssue");
    ASSERT_EQ(lines.size(), 50);
    EXPECT_EQ(lines[0]->text(), issueLine(sources[1].issues.kept()[0]));
    EXPECT_TRUE(lines[0]->text().startsWith("offset 0x00000000  "));
    EXPECT_EQ(lines[49]->text(), issueLine(sources[1].issues.kept()[49]));

    view->setSelection(sources[2].id);
    texts = detailTexts().join('|');
    EXPECT_TRUE(texts.contains("20231114221320.not_terminated"));
    EXPECT_TRUE(texts.contains(notTerminatedNote));

    view->setSelection(sources[3].id);
    texts = detailTexts().join('|');
    EXPECT_TRUE(texts.contains("20231114221320.not_terminated\n20231114221320.20231114221322")) << texts.toStdString();
    EXPECT_FALSE(texts.contains(notTerminatedNote));
}

TEST_F(SourcesViewTest, ClickingARowSelectsItsSourceAndSurvivesAReload)
{
    load({{"a.bsm", openReadRecords(2)}, {"b.bsm", openReadRecords(3)}});
    makeView();
    view->table()->selectRow(1);
    EXPECT_EQ(view->selection(), loaded.sources()[1].id);
    ASSERT_TRUE(view->detailPane());
    // Loading another file resets the model; the selection stays on b.
    load({{"c.bsm", openReadRecords(1)}});
    EXPECT_EQ(view->selection(), loaded.sources()[1].id);
    EXPECT_EQ(view->table()->selectionModel()->selectedRows().value(0).row(), 1);
    EXPECT_TRUE(view->detailPane());
}

TEST_F(SourcesViewTest, ContextMenuItemsFollowTheSource)
{
    load({{"a.bsm", openReadRecords(2)}});
    AuditRecord live;
    live.event = 72;
    live.time = 1700000100;
    ASSERT_TRUE(loaded.finish(loaded.importLive({live})));
    makeView();
    const auto &sources = loaded.sources();
    ASSERT_EQ(sources.size(), 2u);
    EXPECT_EQ(cell(1, SourcesTableModel::kindColumn), "Live capture");
    EXPECT_EQ(cell(1, SourcesTableModel::fileColumn, SourcesTableModel::symbolRole), "dot.radiowaves.left.and.right");
    EXPECT_EQ(menuTexts(sources[0].id), QStringList({"Reveal in Finder", "Show Records from This File", "—", "Remove"}));
    EXPECT_EQ(menuTexts(sources[1].id), QStringList({"Show Records from This File", "—", "Remove"}));
    EXPECT_TRUE(menuTexts(std::nullopt).isEmpty());
    EXPECT_TRUE(menuTexts(999).isEmpty());

    trigger(sources[0].id, "Reveal in Finder");
    EXPECT_EQ(revealed, QList<QByteArray>({QFile::encodeName(loaded.dir.filePath("a.bsm"))}));

    view->setSelection(sources[1].id);
    EXPECT_TRUE(detailTexts().join('|').contains(inMemoryPath));
}

TEST_F(SourcesViewTest, ShowRecordsFromThisFileFiltersToItsRecords)
{
    load({{"a.bsm", openReadRecords(2, 1700000000)}, {"b.bsm", openReadRecords(3, 1700000001)}, {"empty.bsm", {}}});
    makeView();
    const auto sources = loaded.sources();
    trigger(sources[1].id, "Show Records from This File");
    EXPECT_EQ(loaded.screen(), Screen::events);
    EXPECT_EQ(loaded.filter().label, "b.bsm");
    const std::vector<int64_t> ids = recordIDsOfSource(loaded.records(), sources[1].id);
    ASSERT_EQ(ids.size(), 3u);
    EXPECT_EQ(loaded.filter().recordIDs, std::unordered_set<int64_t>(ids.begin(), ids.end()));
    EXPECT_EQ(loaded.selectedRecordID(), ids.front());

    // A source without records still switches, with its name and no records.
    loaded.setScreen(Screen::sources);
    trigger(sources[2].id, "Show Records from This File");
    EXPECT_EQ(loaded.screen(), Screen::events);
    EXPECT_EQ(loaded.filter().label, "empty.bsm");
    EXPECT_EQ(loaded.filter().recordIDs, std::unordered_set<int64_t>());
}

TEST_F(SourcesViewTest, RemovingTheSelectedSourceHidesTheDetailPane)
{
    load({{"a.bsm", openReadRecords(2)}, {"b.bsm", openReadRecords(3)}});
    makeView();
    const int64_t b = loaded.sources()[1].id;
    view->setSelection(b);
    ASSERT_TRUE(view->detailPane());
    trigger(b, "Remove");
    // The store tells of changed sources at most every quarter second.
    ASSERT_TRUE(waitUntil([&] { return view->model()->rowCount() == 1; }));
    EXPECT_EQ(loaded.sources().size(), 1u);
    EXPECT_EQ(cell(0, SourcesTableModel::fileColumn), "a.bsm");
    EXPECT_FALSE(view->detailPane());
    EXPECT_FALSE(view->findChild<QFrame *>("sourceDetailDivider")->isVisibleTo(view.get()));
}

TEST_F(SourcesViewTest, WithoutSourcesOnlyTheEmptyStateShows)
{
    makeView();
    EXPECT_FALSE(view->table()->isVisibleTo(view.get()));
    auto *empty = view->findChild<EmptyStateView *>();
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->isVisibleTo(view.get()));
    load({{"a.bsm", openReadRecords(1)}});
    EXPECT_TRUE(view->table()->isVisibleTo(view.get()));
    EXPECT_FALSE(empty->isVisibleTo(view.get()));
}

// A trail named in bytes that are not UTF-8 keeps them: "Reveal in Finder" names the file that is
// there, and only the screen shows the name with U+FFFD.
TEST_F(SourcesViewTest, APathThatIsNotUTF8KeepsItsBytes)
{
    const QByteArray path = QFile::encodeName(loaded.dir.path()) + "/caf\xE9.bsm";
    const TestBSM::Bytes bytes = openReadRecords(2);
    FILE *file = std::fopen(path.constData(), "wb");
    ASSERT_TRUE(file);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    ASSERT_TRUE(loaded.finish(loaded.open({NativePath::toUrl(path)}, TrailSource::Kind::file)));
    makeView();
    const auto &sources = loaded.sources();
    ASSERT_EQ(sources.size(), 1u);
    EXPECT_EQ(sources[0].name, "caf\uFFFD.bsm");
    trigger(sources[0].id, "Reveal in Finder");
    EXPECT_EQ(revealed, QList<QByteArray>{path});
    EXPECT_EQ(fileUrl(path).toEncoded(), "file://" + QFile::encodeName(loaded.dir.path()) + "/caf%E9.bsm");
    view->setSelection(sources[0].id);
    EXPECT_TRUE(detailTexts().contains(QString::fromUtf8(path))) << detailTexts().join('|').toStdString();
    ::unlink(path.constData()); // QTemporaryDir removes only what a QString can name
}

} // namespace
