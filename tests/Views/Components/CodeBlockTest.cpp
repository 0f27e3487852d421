#include "Views/Components/CodeBlock.h"

#include "support/QtTestSupport.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

QPushButton *copyButton(CodeBlock &block)
{
    return block.findChild<QPushButton *>(QStringLiteral("copyButton"));
}

TEST(CodeBlock, CopiesExactlyItsTextAndShowsItVerbatim)
{
    for (const QString &text : {QStringLiteral("  line one\n\n  `tick` **not markdown**\nlast\n"), QString()}) {
        SCOPED_TRACE(text.toStdString());
        QGuiApplication::clipboard()->setText(QStringLiteral("previous"));
        CodeBlock block(text);
        EXPECT_EQ(block.findChild<QLabel *>(QStringLiteral("codeText"))->text(), text);
        QPushButton *button = copyButton(block);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), QStringLiteral("Copy"));
        EXPECT_EQ(button->property("symbol").toString(), QStringLiteral("doc.on.doc"));
        button->click();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), text);
        EXPECT_TRUE(block.copied());
        EXPECT_EQ(button->text(), QStringLiteral("Copied"));
        EXPECT_EQ(button->property("symbol").toString(), QStringLiteral("checkmark"));
    }
}

// "Copied" lasts 1.5 s from the first press; a second press within that time does not extend it.
// Every moment is a timer started after the first press, so the order of events is fixed however
// loaded the machine: at 1 s the second press, at 1.3 s still copied, at 1.7 s reset (a reset
// restarted by the second press would come at 2.5 s at the earliest).
TEST(CodeBlock, CopiedResetsAfterTheFirstPressAndBlocksAreIndependent)
{
    CodeBlock first(QStringLiteral("a")), second(QStringLiteral("b"));
    copyButton(first)->click();
    EXPECT_FALSE(second.copied());
    std::vector<std::pair<int, bool>> seen; // (moment in ms, copied)
    for (const int at : {1000, 1300, 1700}) {
        QTimer::singleShot(at, Qt::PreciseTimer, &first, [&, at] {
            if (at == 1000) copyButton(first)->click();
            seen.emplace_back(at, first.copied());
        });
    }
    ASSERT_TRUE(waitUntil([&] { return seen.size() == 3; }, 30000));
    EXPECT_EQ(seen, (std::vector<std::pair<int, bool>>{{1000, true}, {1300, true}, {1700, false}}));
    EXPECT_EQ(copyButton(first)->text(), QStringLiteral("Copy"));
}

TEST(CodeBlock, LongLinesScrollSidewaysInsteadOfWrapping)
{
    CodeBlock block(QString(400, QLatin1Char('x')) + QStringLiteral("\nshort"));
    block.resize(300, 100);
    block.show();
    QCoreApplication::processEvents();
    const auto *label = block.findChild<QLabel *>(QStringLiteral("codeText"));
    EXPECT_FALSE(label->wordWrap());
    EXPECT_GT(label->width(), 300);
    EXPECT_TRUE(block.findChild<QScrollArea *>()->horizontalScrollBar()->isVisible());
}

} // namespace
