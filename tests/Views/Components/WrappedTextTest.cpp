// Values wrap at word boundaries and break inside a word only when that word alone is wider than
// the line; the breaks are painted only, so what is selected and copied is the value as it is.
#include "Views/Components/KeyValueRow.h"
#include "Views/Components/TextBox.h"
#include "Views/Components/WrappedText.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString cdhash = QStringLiteral("4c26d8b0e42bc7d02f2577f2994c51fdd777f3544c26d8b0e42bc7d0");

QString clipboardText()
{
    return QGuiApplication::clipboard()->text();
}

// Lays the text out at the width and returns the lines it paints.
QStringList linesAt(WrappedText &text, int width)
{
    text.resize(width, text.heightForWidth(width));
    return text.shownLines();
}

TEST(WrappedTextTest, BreaksInsideAWordOnlyWhenThatWordAloneIsWiderThanTheLine)
{
    WrappedText text;
    const QFontMetrics metrics(text.font());
    struct Case {
        const char *name;
        QString value;
        QString fits; // the line is this wide, and 2 pixels more
        QStringList lines;
    };
    const Case cases[] = {
        {"at the blank", "alpha beta gamma", "alpha beta", {"alpha beta ", "gamma"}},
        {"a word that fits a line moves whole", "a abcdefghij", "abcdefghij", {"a ", "abcdefghij"}},
        {"a word wider than the line breaks inside",
         "ab 0123456789abcdef",
         "0123456789",
         {"ab ", "0123456789", "abcdef"}},
        {"no room at all: one line", "short", "short words here", {"short"}},
    };
    for (const Case &c : cases) {
        text.setText(c.value);
        EXPECT_EQ(linesAt(text, metrics.horizontalAdvance(c.fits) + 2), c.lines) << c.name;
        EXPECT_EQ(text.text(), c.value) << c.name;
    }

    // A line feed breaks the line however wide it is.
    text.setText(QStringLiteral("first\nsecond"));
    const QStringList fed = linesAt(text, 500);
    ASSERT_EQ(fed.size(), 2);
    EXPECT_EQ(fed[1], QStringLiteral("second"));

    // A long hash in a narrow pane: every line within the width, nothing lost or added.
    text.setText(cdhash);
    const int width = metrics.horizontalAdvance(cdhash.left(12)) + 2;
    const QStringList lines = linesAt(text, width);
    EXPECT_GT(lines.size(), 3);
    EXPECT_EQ(lines.join(QString()), cdhash);
    for (const QString &line : lines) EXPECT_LE(metrics.horizontalAdvance(line), width) << line.toStdString();
    EXPECT_EQ(text.height(), lines.size() * metrics.lineSpacing()) << "as tall as its lines";
}

TEST(WrappedTextTest, SelectingAWrappedValueWithTheMouseAndCopyingGivesItWithoutBreaks)
{
    KeyValueRow row(QStringLiteral("CDHash"), cdhash, true);
    row.resize(300, 200);
    row.show();
    QCoreApplication::processEvents();
    WrappedText *value = row.valueText();
    ASSERT_GT(value->shownLines().size(), 1) << "the hash must wrap for this to show anything";

    // From the first character to past the end of the last line.
    const QRect inside = value->contentsRect();
    QTest::mousePress(value, Qt::LeftButton, {}, inside.topLeft() + QPoint(1, 2));
    QTest::mouseMove(value, inside.bottomRight() - QPoint(0, 2));
    QTest::mouseRelease(value, Qt::LeftButton, {}, inside.bottomRight() - QPoint(0, 2));
    EXPECT_EQ(value->selectedText(), cdhash);
    QGuiApplication::clipboard()->setText(QStringLiteral("stale"));
    QTest::keyClick(value, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboardText(), cdhash);

    // Part of it: from the start of the second line to the end.
    const int lineHeight = value->fontMetrics().lineSpacing();
    QTest::mousePress(value, Qt::LeftButton, {}, inside.topLeft() + QPoint(1, lineHeight + 2));
    QTest::mouseMove(value, inside.bottomRight() - QPoint(0, 2));
    QTest::mouseRelease(value, Qt::LeftButton, {}, inside.bottomRight() - QPoint(0, 2));
    QTest::keyClick(value, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboardText(), cdhash.mid(value->shownLines()[0].size()));

    // A double-click takes the word, Ctrl+A all of it; blanks and line feeds stay as they were.
    const QString commandLine = QStringLiteral(
        "helper --configuration=/Library/Application Support/settings.plist\nnext");
    TextBox box(commandLine, QStringLiteral("Copy Command Line"));
    box.resize(200, 300);
    box.show();
    QCoreApplication::processEvents();
    WrappedText *text = box.textView();
    ASSERT_GT(text->shownLines().size(), 2);
    QTest::mouseDClick(text, Qt::LeftButton, {}, text->contentsRect().topLeft() + QPoint(2, 2));
    EXPECT_EQ(text->selectedText(), QStringLiteral("helper"));
    QTest::keyClick(text, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(text, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboardText(), commandLine);
    box.copyAction()->trigger();
    EXPECT_EQ(clipboardText(), commandLine);
}

TEST(WrappedTextTest, ALineLimitEndsTheLastLineInAnEllipsisAndKeepsTheText)
{
    const QString summary = QStringLiteral("open(2) - read /Users/orvik/Library/Application Support/com.example.agent/"
                                           "Caches/a/long/path/that/goes/on/file.plist");
    WrappedText text(summary);
    text.setMaximumLines(2);
    const QFontMetrics metrics(text.font());
    const int width = metrics.horizontalAdvance(summary) / 3;
    const QStringList lines = linesAt(text, width);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(text.isElided());
    EXPECT_TRUE(lines[1].endsWith(QChar(0x2026)));
    EXPECT_LE(metrics.horizontalAdvance(lines[1]), width);
    EXPECT_EQ(text.heightForWidth(width), 2 * metrics.lineSpacing());
    EXPECT_EQ(text.text(), summary);
    text.selectAll();
    EXPECT_EQ(text.selectedText(), summary) << "the cut is only painted";

    EXPECT_EQ(linesAt(text, metrics.horizontalAdvance(summary) + 4), QStringList{summary});
    EXPECT_FALSE(text.isElided()) << "room for all of it: no ellipsis";
}

} // namespace
