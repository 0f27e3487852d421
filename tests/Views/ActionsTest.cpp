#include "Views/Actions.h"

#include "Store/NativePath.h"
#include "support/NonUtf8Names.h"
#include "support/ShellFixture.h"

#include <QFile>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <langinfo.h>
#include <sys/stat.h>

namespace {

class ActionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        m_saved = Actions::dialogs();
        Actions::dialogs().saveFile = [this](QWidget *, const QString &name, const QString &filter) {
            m_offered.push_back({name, filter});
            if (!m_chosen.isEmpty()) return m_chosen;
            return m_answer.isEmpty() ? QUrl() : QUrl::fromLocalFile(m_answer);
        };
        Actions::dialogs().showError = [this](QWidget *, const QString &message) { m_errors << message; };
        m_store.setFilterDelay(std::chrono::milliseconds(0));
        ASSERT_TRUE(ShellFixture::load(m_store, {ShellFixture::writeTrail(m_folder, "incident.bsm",
                                                                          ShellFixture::incidentTrail())}));
    }
    void TearDown() override { Actions::dialogs() = m_saved; }

    void filter(std::set<uint16_t> events)
    {
        EventFilter f;
        f.events = std::move(events);
        QSignalSpy published(&m_store, &AuditStore::filteredChanged);
        m_store.setFilter(f);
        ASSERT_TRUE(waitUntil([&] { return published.count() > 0 && !m_store.isFiltering(); }));
    }
    QStringList lines(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir m_folder;
    AuditStore m_store;
    Actions::Dialogs m_saved;
    QString m_answer;
    QUrl m_chosen; // taken over m_answer when set: what a native panel gives for any name
    std::vector<std::pair<QString, QString>> m_offered;
    QStringList m_errors;
};

TEST_F(ActionsTest, EventsExportWritesExactlyTheFilteredRecords)
{
    m_answer = m_folder.filePath("out.csv");
    filter({37}); // the clock change
    ASSERT_EQ(m_store.filtered().size(), 1u);
    Actions::exportEvents(m_store, Exporter::Format::csv);
    ASSERT_EQ(m_offered.size(), 1u);
    EXPECT_EQ(m_offered[0].first, QStringLiteral("audit-events.csv"));
    EXPECT_EQ(lines(m_answer).size(), 2) << "header and the one matching record";

    // Filtered to nothing: still written, with no records.
    filter({9999});
    m_answer = m_folder.filePath("none.json");
    Actions::exportEvents(m_store, Exporter::Format::json);
    EXPECT_EQ(m_offered.back().first, QStringLiteral("audit-events.json"));
    ASSERT_TRUE(QFile::exists(m_answer));
    EXPECT_EQ(lines(m_answer).join("").remove(' '), QStringLiteral("[]"));
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(ActionsTest, CancelWritesNothingAndAFailureIsShownAsItsSentence)
{
    m_answer.clear();
    Actions::exportFindings(m_store);
    EXPECT_EQ(m_offered.back().first, QStringLiteral("audit-findings.md"));
    EXPECT_TRUE(QDir(m_folder.path()).entryList({"*.md", "*.csv"}).isEmpty());
    EXPECT_TRUE(m_errors.isEmpty());

    m_answer = m_folder.filePath("no/such/folder/report.md");
    Actions::exportFindings(m_store);
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors[0].contains("report.md")) << m_errors[0].toStdString();

    m_answer = m_folder.filePath("report.md");
    Actions::exportFindings(m_store);
    EXPECT_TRUE(lines(m_answer).size() > 3);
    EXPECT_EQ(m_errors.size(), 1);
}

// An export written to the chosen path's text would go to another file, or fail.
class ActionsUnderANonUtf8Locale : public ActionsTest {};

using NonUtf8Names::chosenFolder;
using NonUtf8Names::chosenName;
using NonUtf8Names::contents;
using NonUtf8Names::entries;

TEST_F(ActionsUnderANonUtf8Locale, ExportsAreWrittenUnderTheChosenBytes)
{
    const QByteArray base = QFile::encodeName(m_folder.path());
    const QByteArray folder = base + "/" + chosenFolder;
    ASSERT_EQ(::mkdir(folder.constData(), 0700), 0);
    const NonUtf8Names::RemovedFolder removed{folder};
    ASSERT_NO_FATAL_FAILURE(NonUtf8Names::runChild("ActionsUnderANonUtf8Locale.DISABLED_ChildExports", m_folder.path()));

    EXPECT_EQ(entries(folder), (QList<QByteArray>{chosenName + ".csv", chosenName + ".json", chosenName + ".md"}))
        << "each export under the chosen bytes, and nothing beside them";
    EXPECT_EQ(entries(base), (QList<QByteArray>{"incident.bsm", chosenFolder})) << "nothing under another name";
    EXPECT_TRUE(contents(folder + "/" + chosenName + ".csv").startsWith("time,event,")) << "the events, as CSV";
    EXPECT_TRUE(contents(folder + "/" + chosenName + ".json").trimmed().startsWith("[")) << "the events, as JSON";
    EXPECT_TRUE(contents(folder + "/" + chosenName + ".md").startsWith("# Quillmarsh findings report"))
        << "the findings report";
}

// The child's part, run only by the test above, under the C locale.
TEST_F(ActionsUnderANonUtf8Locale, DISABLED_ChildExports)
{
    const QByteArray base = qgetenv("QUILLMARSH_EXPORT_FOLDER");
    if (base.isEmpty()) GTEST_SKIP() << "run by ExportsAreWrittenUnderTheChosenBytes";
    ASSERT_STRNE(::nl_langinfo(CODESET), "UTF-8");
    const QByteArray stem = base + "/" + chosenFolder + "/" + chosenName;
    m_chosen = NativePath::toUrl(stem + ".csv");
    Actions::exportEvents(m_store, Exporter::Format::csv);
    m_chosen = NativePath::toUrl(stem + ".json");
    Actions::exportEvents(m_store, Exporter::Format::json);
    m_chosen = NativePath::toUrl(stem + ".md");
    Actions::exportFindings(m_store);
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

} // namespace
