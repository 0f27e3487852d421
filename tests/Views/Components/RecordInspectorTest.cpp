#include "Views/Components/RecordInspector.h"

#include "Engine/Analysis/RecordFormatter.h"
#include "Engine/BSM/BSMErrno.h"
#include "Engine/Parser/BSMParser.h"
#include "Engine/BSM/UserResolver.h"
#include "Views/Components/Expander.h"
#include "Views/Components/KeyValueRow.h"
#include "Views/Components/LineBox.h"
#include "Views/Components/Style.h"
#include "Views/Components/TokenRow.h"
#include "support/LoadedStore.h"
#include "support/QtTestSupport.h"
#include "support/RecordValue.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <gtest/gtest.h>

using TestRecords::RecordValue;

// Readable failures for rows compared in lists.
std::ostream &operator<<(std::ostream &out, const InspectorRow &row)
{
    return out << row.key.toStdString() << " = " << row.value.toStdString() << (row.monospaced ? " (mono)" : "");
}

namespace {

constexpr uint16_t execve = 23;
constexpr uint16_t openRead = 72;
constexpr uint32_t ansel = 70701, bruno = 70702;

class RecordInspectorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        UserResolver::shared().seed(ansel, "ansel");
        UserResolver::shared().seed(bruno, "bruno");
    }

    static QStringList sectionTitles(const AuditRecord &record)
    {
        QStringList titles;
        for (const InspectorSection &section : inspectorSections(record)) titles << section.title;
        return titles;
    }

    static QStringList menuTitles(const RecordInspector &inspector)
    {
        QStringList titles;
        for (QAction *a : inspector.widget()->findChild<QToolButton *>("copyMenu")->menu()->actions())
            titles << a->text();
        return titles;
    }

    static QString labelText(const RecordInspector &inspector, const char *name)
    {
        const auto *label = inspector.widget()->findChild<QLabel *>(name);
        return label ? label->text() : QString("<none>");
    }

    static QPushButton *toggle(const RecordInspector &inspector)
    {
        return inspector.widget()->findChild<QPushButton *>("toggleTokens");
    }

    static int tokenRows(const RecordInspector &inspector)
    {
        return int(inspector.widget()->findChildren<TokenRow *>().size());
    }
};

TEST_F(RecordInspectorTest, SectionsShowEveryFieldTheRecordHas)
{
    RecordContent content = RecordContent::of(RecordValue(openRead, 1)
                                                  .target(812, bruno)
                                                  .path("/a")
                                                  .path("/b")
                                                  .socket("10.0.0.1:443")
                                                  .text("hello")
                                                  .arg("", 255)
                                                  .arg("flags", 0x10));
    SubjectInfo subject;
    subject.auid = ansel;
    subject.euid = 0;
    subject.egid = 70020;
    subject.ruid = unsetID;
    subject.rgid = unsetID;
    subject.pid = 4000000000u;
    subject.sid = 100001;
    subject.terminalPort = 22;
    subject.terminalAddress = "10.1.2.3";
    content.subject = subject;
    content.fileMode = 0100644;
    content.fileOwner = ansel;
    content.identity = SigningIdentity{1, "com.example.tool", "", "c9b8d3"};
    AuditRecord record = content.record();

    const std::vector<InspectorSection> sections = inspectorSections(record);
    ASSERT_EQ(sectionTitles(record),
              (QStringList{"Subject", "Target process", "Objects", "Code signing identity", "Arguments & text"}));
    const QString dot = QString::fromUtf8(" \u00B7 port ");
    const std::vector<std::vector<InspectorRow>> rows = {
        {{"Audit user", "ansel (70701)"},
         {"Effective", QString::fromStdString(UserResolver::shared().describe(0)) + " / 70020"},
         {"Real", QString::fromStdString(UserResolver::shared().describe(unsetID) + " / "
                                         + UserResolver::shared().describeGroup(unsetID))},
         {"PID", "4000000000"},
         {"Process", "unknown (no exec seen for this pid)", true},
         {"Session", "100001"},
         {"Terminal", "10.1.2.3" + dot + "22", true}},
        {{"PID", "812"}, {"User", "bruno (70702)"}, {"Audit user", "bruno (70702)"}},
        {{"Path", "/a", true},
         {"Path", "/b", true},
         {"Socket", "10.0.0.1:443", true},
         {"File mode", "100644", true},
         {"File owner", "ansel (70701)"}},
        {{"Signer", QString::fromStdString(record.identity()->signerDescription())},
         {"Signing ID", "com.example.tool", true},
         {"Team ID", "", true},
         {"CDHash", "c9b8d3", true}},
        {{"Text", "hello"}, {"arg1 ", "0xff (255)", true}, {"arg2 flags", "0x10 (16)", true}},
    };
    for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(sections[i].rows, rows[i]) << sections[i].title.toStdString();
    EXPECT_EQ(UserResolver::shared().describe(unsetID), "unset (-1)");

    // An owner alone makes no "Objects"; nothing at all makes no section.
    RecordContent ownerOnly = RecordContent::of(RecordValue(openRead, 1));
    ownerOnly.fileOwner = ansel;
    EXPECT_TRUE(sectionTitles(ownerOnly.record()).isEmpty());
    record.processImage = std::string("/usr/bin/ssh");
    EXPECT_EQ(inspectorSections(record)[0].rows[4].value, "/usr/bin/ssh");
}

TEST_F(RecordInspectorTest, HeaderShowsTheEventResultAndCopies)
{
    RecordInspector inspector;
    AuditRecord failed = RecordValue(60000, 1700000000.25).failed(13).path("/a").path("/b");
    inspector.setRecord(failed);
    EXPECT_EQ(labelText(inspector, "eventTitle"), "event 60000");
    EXPECT_EQ(inspector.widget()->findChild<QLabel *>("eventTitle")->font().weight(), QFont::DemiBold);
    EXPECT_EQ(labelText(inspector, "resultText"), "Failed");
    EXPECT_EQ(labelText(inspector, "identityLine"),
              QString::fromUtf8("AUE_60000 \u00B7 event 60000 \u00B7 classes \u2014"));
    EXPECT_EQ(labelText(inspector, "timeLine"), "Tue, Nov 14, 2023, 10:13:20.250 PM UTC");
    EXPECT_EQ(labelText(inspector, "errorLine"), QString::fromStdString(errnoDescription(13)));
    EXPECT_EQ(menuTitles(inspector), (QStringList{"Copy Record as Text", "Copy Paths", "Copy Raw Hex"}));
    inspector.widget()->findChild<QToolButton *>("copyMenu")->menu()->actions()[1]->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "/a\n/b");
    EXPECT_EQ(inspector.widget()->findChild<QToolButton *>("copyMenu")->toolTip(), "Copy this record");

    const AuditRecord ok = decodedRecord(
        TestBSM::TrailRecordBuilder(execve).subject().execArgs({"ls", "-l"}).returnValue(0));
    inspector.setRecord(ok);
    EXPECT_EQ(labelText(inspector, "eventTitle"), "execve(2)");
    EXPECT_EQ(labelText(inspector, "resultText"), "Success");
    EXPECT_EQ(labelText(inspector, "errorLine"), "<none>");
    EXPECT_EQ(labelText(inspector, "identityLine"),
              QString::fromUtf8("AUE_EXECVE \u00B7 event 23 \u00B7 classes pc,ex"));
    EXPECT_EQ(menuTitles(inspector), (QStringList{"Copy Record as Text", "Copy Command Line", "Copy Raw Hex"}));
    const QList<QAction *> copies = inspector.widget()->findChild<QToolButton *>("copyMenu")->menu()->actions();
    copies[0]->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), RecordFormatter::text(ok));
    copies[1]->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "ls -l");
    copies[2]->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), RecordFormatter::hex(ok.raw(), 16));
    auto *commandLine = inspector.widget()->findChild<QWidget *>("commandLine");
    ASSERT_NE(commandLine, nullptr);
    ASSERT_EQ(commandLine->actions().size(), 1);
    EXPECT_EQ(commandLine->actions()[0]->text(), "Copy Command Line");
}

TEST_F(RecordInspectorTest, TokenRowsOpenAndCloseTogether)
{
    RecordInspector inspector;
    const AuditRecord record = decodedRecord(
        TestBSM::TrailRecordBuilder(openRead).subject().path("/tmp/x").returnValue(0));
    inspector.setRecord(record);
    EXPECT_EQ(labelText(inspector, "tokensTitle"), "Tokens (5)");
    EXPECT_EQ(tokenRows(inspector), 5);
    EXPECT_EQ(toggle(inspector)->text(), "Expand All");

    for (int i = 0; i < 5; ++i) inspector.setTokenExpanded(i, true);
    EXPECT_EQ(toggle(inspector)->text(), "Collapse All");
    inspector.setTokenExpanded(2, false);
    EXPECT_EQ(toggle(inspector)->text(), "Expand All");
    toggle(inspector)->click();
    EXPECT_EQ(inspector.expandedTokens(), (std::set<int>{0, 1, 2, 3, 4}));
    toggle(inspector)->click();
    EXPECT_TRUE(inspector.expandedTokens().empty());

    // A row's own header opens it.
    inspector.widget()->findChildren<TokenRow *>()[3]->findChild<Expander *>()->headerButton()->click();
    EXPECT_EQ(inspector.expandedTokens(), (std::set<int>{3}));

    // Another record closes the rows but leaves the hex dump as it was.
    inspector.widget()->findChild<Expander *>("rawRecord")->headerButton()->click();
    EXPECT_TRUE(inspector.showHex());
    AuditRecord other = record;
    other.id = 2;
    inspector.setRecord(other);
    EXPECT_TRUE(inspector.expandedTokens().empty());
    EXPECT_TRUE(inspector.showHex());
    EXPECT_TRUE(inspector.widget()->findChild<Expander *>("rawRecord")->isExpanded());
    auto *hex = inspector.widget()->findChild<QWidget *>("hexDump");
    ASSERT_NE(hex, nullptr);
    hex->actions()[0]->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), RecordFormatter::hex(record.raw(), 16));
}

TEST_F(RecordInspectorTest, TheHexDumpKeepsSixteenBytesALineAndScrollsSidewaysInItsBox)
{
    const AuditRecord record = decodedRecord(TestBSM::TrailRecordBuilder(openRead)
                                                 .subject()
                                                 .path("/Applications/Some Application.app/Contents/MacOS/helper")
                                                 .returnValue(0));
    RecordInspector inspector;
    inspector.resize(400, 700);
    inspector.setRecord(record);
    inspector.setShowHex(true);
    inspector.show();
    QCoreApplication::processEvents();
    auto *dump = inspector.widget()->findChild<LineBox *>("hexDump");
    ASSERT_NE(dump, nullptr);
    const QString hex = QString::fromStdString(RecordFormatter::hex(record.raw(), 16));
    EXPECT_EQ(dump->text() + "\n", hex) << "width 16, nothing wrapped";
    EXPECT_DOUBLE_EQ(dump->font().pointSizeF(), 10.5);
    EXPECT_FALSE(dump->source().wraps());

    // Narrower than a line: the box's own bar reaches the end of every line, and the box is as tall
    // as its lines and that bar, so nothing scrolls up and down inside it.
    QScrollBar *sideways = dump->horizontalScrollBar();
    EXPECT_TRUE(sideways->isVisibleTo(&inspector));
    EXPECT_GT(sideways->maximum(), 0);
    EXPECT_GE(sideways->maximum() + dump->viewport()->width(),
              QFontMetrics(dump->font()).horizontalAdvance(dump->source().line(0, 0)));
    EXPECT_EQ(dump->verticalScrollBar()->maximum(), 0) << "every line is in view already";
    EXPECT_EQ(dump->lastShownLine() + 1, dump->lineCount());
    EXPECT_LE(dump->width(), inspector.viewport()->width()) << "the pane itself does not scroll sideways";

    // A vertical wheel over the box scrolls the inspector, not the box.
    const QPointF at(10, 10);
    QWheelEvent wheel(at, dump->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(dump->viewport(), &wheel);
    EXPECT_FALSE(wheel.isAccepted());
    EXPECT_EQ(dump->verticalScrollBar()->value(), 0);

    dump->actions()[0]->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), hex) << "Copy Raw Hex copies the width-16 text unchanged";
    // Selected with the mouse, from the first line's start into the second line: copied as shown.
    const int lineHeight = QFontMetrics(dump->font()).lineSpacing();
    QTest::mousePress(dump->viewport(), Qt::LeftButton, {}, QPoint(1, 9));
    QTest::mouseMove(dump->viewport(),
                     QPoint(8 + 4 * QFontMetrics(dump->font()).horizontalAdvance('0'), 9 + lineHeight));
    QTest::mouseRelease(dump->viewport(), Qt::LeftButton, {},
                        QPoint(8 + 4 * QFontMetrics(dump->font()).horizontalAdvance('0'), 9 + lineHeight));
    EXPECT_EQ(dump->selectedText(), hex.section(u'\n', 0, 0) + "\n0010");
    QTest::keyClick(dump, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), hex.section(u'\n', 0, 0) + "\n0010");
}

TEST_F(RecordInspectorTest, ABigRecordIsDecodedOnThePoolAndItsLongTextsAreMadeLineByLine)
{
    // 200 arguments of a kilobyte each: past the size decoded at once, and a command line of 200 KB.
    std::vector<std::string> args;
    for (int i = 0; i < 200; ++i) args.push_back(std::string(1023, char('a' + i % 26)) + char('0' + i % 10));
    const AuditRecord big = decodedRecord(TestBSM::TrailRecordBuilder(execve)
                                              .token(TestBSM::Token::execArgs(std::span<const std::string>(args)))
                                              .subject()
                                              .returnValue(0));
    ASSERT_GT(big.raw().size(), RecordInspector::decodeAtOnceLimit);
    std::string joined;
    for (const std::string &arg : args) joined += (joined.empty() ? "" : " ") + arg;

    RecordInspector inspector;
    inspector.resize(400, 700);
    inspector.setShowHex(true);
    inspector.setRecord(big);
    inspector.show();
    EXPECT_TRUE(inspector.isDecoding());
    EXPECT_EQ(labelText(inspector, "tokensTitle"), "Tokens") << "no count before the tokens land";
    EXPECT_NE(inspector.widget()->findChild<QWidget *>("decodingTokens"), nullptr);
    EXPECT_EQ(labelText(inspector, "eventTitle"), "execve(2)") << "the rest is there at once";
    ASSERT_TRUE(waitUntil([&] { return !inspector.isDecoding(); }));
    EXPECT_EQ(labelText(inspector, "tokensTitle"), "Tokens (5)");
    EXPECT_EQ(inspector.widget()->findChild<QWidget *>("decodingTokens"), nullptr);

    // The command line is a box of lines, copied whole.
    auto *commandLine = inspector.widget()->findChild<LineBox *>("commandLine");
    ASSERT_NE(commandLine, nullptr);
    EXPECT_TRUE(commandLine->source().wraps());
    EXPECT_GT(commandLine->verticalScrollBar()->maximum(), 0) << "it scrolls inside, a dozen lines tall";
    EXPECT_LT(commandLine->lastShownLine(), 20u);
    commandLine->actions()[0]->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), joined);
    commandLine->selectAll();
    EXPECT_EQ(commandLine->selectedText().toStdString(), joined);

    // So is the exec token's argv field when its row opens, and "Copy Value" copies all of it.
    inspector.setTokenExpanded(1, true);
    KeyValueRow *argv = nullptr;
    for (KeyValueRow *row : inspector.widget()->findChildren<KeyValueRow *>())
        if (row->key() == "argv") argv = row;
    ASSERT_NE(argv, nullptr);
    ASSERT_NE(argv->valueBox(), nullptr);
    EXPECT_EQ(argv->valueText(), nullptr);
    argv->copyValueAction()->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), joined);
    EXPECT_EQ(argv->value().toStdString(), joined);

    // The dump is as tall as its box allows, and scrolls inside; the copy item copies all of it.
    auto *dump = inspector.widget()->findChild<LineBox *>("hexDump");
    ASSERT_NE(dump, nullptr);
    EXPECT_EQ(dump->lineCount(), (big.raw().size() + 15) / 16);
    EXPECT_GT(dump->verticalScrollBar()->maximum(), 0);
    dump->verticalScrollBar()->setValue(dump->verticalScrollBar()->maximum());
    EXPECT_EQ(dump->lastShownLine() + 1, dump->lineCount());
    dump->actions()[0]->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), RecordFormatter::hex(big.raw(), 16));

    // Back to a small record: decoded at once, no busy indicator.
    inspector.setRecord(decodedRecord(TestBSM::TrailRecordBuilder(openRead).subject().path("/tmp/x").returnValue(0)));
    EXPECT_FALSE(inspector.isDecoding());
    EXPECT_EQ(labelText(inspector, "tokensTitle"), "Tokens (5)");
}

TEST(LineBoxTest, ALongTextIsCutIntoLinesOfTheBoxsWidthAndCopiedAsItIs)
{
    // Control characters show as their pictures, one column each; the copy is the text itself.
    const std::string text = "first line\nsecond\tline " + std::string(300, 'x') + " \u00e9t\u00e9 \U0001F600 end";
    LineBox box(wrappedLines(LongText::of(text)), 5);
    box.setFont(Style::monospaced(Style::callout()));
    box.resize(300, 100);
    box.show();
    QCoreApplication::processEvents();
    const int columns = box.columns();
    ASSERT_GT(columns, 4);
    QString shown;
    for (size_t line = 0; line < box.lineCount(); ++line) {
        const QString part = box.source().line(line, columns);
        EXPECT_LE(part.size(), columns + 1) << "a character of four bytes takes two columns";
        shown += part;
    }
    QString expected = QString::fromStdString(text);
    expected.replace(u'\n', QChar(0x240A)).replace(u'\t', QChar(0x2409));
    EXPECT_EQ(shown, expected);
    box.selectAll();
    EXPECT_EQ(box.selectedText().toStdString(), text);
    EXPECT_EQ(box.text().toStdString(), text);
    EXPECT_EQ(box.height(), 5 * QFontMetrics(box.font()).lineSpacing() + 16) << "five lines shown, the rest scroll";
}

TEST_F(RecordInspectorTest, UndecodableBytesListWhatDecodedAndTheError)
{
    RecordInspector inspector;
    // A header, a path, then a path token whose text runs past the end.
    AuditRecord broken = decodedRecord(
        TestBSM::TrailRecordBuilder(openRead).path("/a").token({0x23, 0x00, 0x50}).withoutTrailer());
    inspector.setRecord(broken);
    EXPECT_EQ(labelText(inspector, "tokensTitle"), "Tokens (2)");
    EXPECT_EQ(tokenRows(inspector), 2);
    const BSMParser::TokenList decoded = BSMParser::tokens(broken.raw());
    ASSERT_TRUE(decoded.error);
    EXPECT_EQ(labelText(inspector, "decodeError"), QString::fromStdString(*decoded.error));

    // No tokens at all: the count equals the open rows, so the button offers collapsing.
    AuditRecord empty = RecordValue(openRead, 1);
    empty.id = 9;
    inspector.setRecord(empty);
    EXPECT_EQ(labelText(inspector, "tokensTitle"), "Tokens (0)");
    EXPECT_EQ(toggle(inspector)->text(), "Collapse All");
    toggle(inspector)->click();
    EXPECT_TRUE(inspector.expandedTokens().empty());
}

BSMToken token(uint8_t id, int64_t length, TokenPayload payload)
{
    return BSMToken{id, 0, length, std::move(payload)};
}

TEST(TokenRowTest, PreviewsEveryPayloadKind)
{
    UserResolver::shared().seed(ansel, "ansel");
    SubjectInfo named;
    named.pid = 812;
    named.euid = ansel;
    SubjectInfo unset = named;
    unset.euid = unsetID;
    SubjectInfo nameless = named;
    nameless.euid = 4242;
    ArgInfo arg{1, 5, "flags"};
    SigningIdentity identity{1, "com.apple.ls", "", ""};
    struct Case {
        const char *name;
        BSMToken token;
        const char *preview;
    };
    const Case cases[] = {
        {"header", token(0x14, 18, Payload::Header{11, 23, 0, 0, 18, {}}), "execve(2)"},
        {"subject", token(0x24, 37, Payload::Subject{named}), "pid 812 \u00B7 ansel"},
        {"subject, unset user", token(0x24, 37, Payload::Subject{unset}), "pid 812 \u00B7 \u2014"},
        {"subject, nameless user", token(0x24, 37, Payload::Subject{nameless}), "pid 812 \u00B7 4242"},
        {"process", token(0x26, 37, Payload::Process{named}), "pid 812 \u00B7 ansel"},
        {"return, success", token(0x27, 6, Payload::ReturnValue{0, 0}), "success"},
        {"return, failure", token(0x27, 6, Payload::ReturnValue{13, 0}), "failure"},
        {"path", token(0x23, 10, Payload::Path{"/tmp/x"}), "/tmp/x"},
        {"text", token(0x28, 9, Payload::Text{"hello"}), "hello"},
        {"arg", token(0x2d, 13, Payload::Arg{arg}), "flags"},
        {"exec args", token(0x3c, 16, Payload::ExecArgs{{"ls", "-l", "/tmp"}}), "ls -l /tmp"},
        {"inet socket", token(0x80, 9, Payload::SocketInet{2, 443, "10.0.0.1"}), "10.0.0.1:443"},
        {"unix socket", token(0x82, 12, Payload::SocketUnix{1, "/var/run/s"}), "/var/run/s"},
        {"identity", token(0xed, 30, Payload::Identity{identity}), "com.apple.ls"},
        {"trailer", token(0x13, 7, Payload::Trailer{7}), "7 bytes"},
        {"exit", token(0x52, 9, Payload::Exit{0, 0}), "9 bytes"},
        {"attr", token(0x3e, 29, Payload::Attr{}), "29 bytes"},
        {"strings", token(0x3d, 11, Payload::ExecEnv{{"A=1"}}), "11 bytes"},
    };
    for (const Case &c : cases) EXPECT_EQ(tokenPreview(c.token), QString::fromUtf8(c.preview)) << c.name;
}

TEST(TokenRowTest, CopiesTheTokenAsOneLineAndShowsItsTypeByte)
{
    const BSMToken path = token(0x23, 10, Payload::Path{"/tmp/x"});
    EXPECT_EQ(tokenCopyText(path), "path, path=/tmp/x");
    bool open = false;
    TokenRow row(path, false, [&](bool value) { open = value; });
    QStringList texts;
    for (QLabel *label : row.findChildren<QLabel *>()) texts << label->text();
    EXPECT_TRUE(texts.contains("0x23"));
    EXPECT_TRUE(texts.contains("path"));
    // The type byte is the faintest text of the header, the preview one step brighter.
    const auto colour = [&row](const char *name) {
        const QWidget *text = row.findChild<QWidget *>(name);
        return text ? text->palette().color(text->foregroundRole()) : QColor();
    };
    EXPECT_EQ(colour("typeByte"), Style::tertiaryText());
    EXPECT_EQ(colour("preview"), Style::secondaryText());
    ASSERT_EQ(row.actions().size(), 1);
    EXPECT_EQ(row.actions()[0]->text(), "Copy Token");
    row.actions()[0]->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "path, path=/tmp/x");
    row.findChild<Expander *>()->headerButton()->click();
    EXPECT_TRUE(open);

    TokenRow small(token(0x07, 1, Payload::Opaque{}), true, [](bool) {});
    QStringList smallTexts;
    for (QLabel *label : small.findChildren<QLabel *>()) smallTexts << label->text();
    EXPECT_TRUE(smallTexts.contains("0x07"));
}

} // namespace
