#include "Views/Components/CodeBlock.h"

#include "support/QtTestSupport.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

#include <gtest/gtest.h>

namespace {

QPushButton *copyButton(CodeBlock &block) { return block.findChild<QPushButton *>(QStringLiteral("copyButton")); }

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

TEST(CodeBlock, CopiedResetsAfterTheFirstPressAndBlocksAreIndependent)
{
    CodeBlock first(QStringLiteral("a")), second(QStringLiteral("b"));
    QElapsedTimer clock;
    clock.start();
    copyButton(first)->click();
    EXPECT_FALSE(second.copied());
    ASSERT_TRUE(waitUntil([&] { return clock.elapsed() >= 1000; }));
    copyButton(first)->click();
    EXPECT_TRUE(first.copied());
    // The first press's reset ends it, not the second press's.
    ASSERT_TRUE(waitUntil([&] { return !first.copied(); }, 3000));
    const qint64 resetAt = clock.elapsed();
    EXPECT_GE(resetAt, 1500);
    EXPECT_LT(resetAt, 2300);
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
