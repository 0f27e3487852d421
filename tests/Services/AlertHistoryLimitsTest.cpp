// A hostile alert history: bounded before anything is built, and memory running out while it is
// read is handled like any damaged file, so the next start is not stopped by it again.

#include "Services/AlertHistory.h"

#include "support/FailingAllocator.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

std::string arrayOfZeros(size_t count)
{
    std::string text = "[";
    for (size_t i = 0; i < count; ++i) text += i ? ",0" : "0";
    return text + "]";
}

std::string nested(size_t depth)
{
    return std::string(depth, '[') + std::string(depth, ']');
}

// The reason decode gives, or "" when it accepts the text.
std::string reason(const std::string &bytes)
{
    try {
        AlertHistory::decode(bytes);
        return {};
    } catch (const AlertHistoryError &e) {
        return e.what();
    }
}

TEST(AlertHistoryLimits, DepthAndValueCountAreBoundedAtTheirEdges)
{
    const std::string past = "alert 1 is not an object"; // the bounds let it through to the elements
    struct Case {
        const char *name;
        std::string bytes;
        std::string reason;
    };
    const Case cases[] = {
        {"32 levels", nested(AlertHistory::maximumDepth), past},
        {"33 levels", nested(AlertHistory::maximumDepth + 1), "nested more than 32 levels deep"},
        {"33 levels inside an object", "[{\"a\":" + nested(31) + "}]", "nested more than 32 levels deep"},
        {"4,000,000 values, the array among them", arrayOfZeros(AlertHistory::maximumValues - 1), past},
        {"one value more", arrayOfZeros(AlertHistory::maximumValues), "more than 4000000 values"},
        {"a syntax error still says where", "[0,]", "not valid JSON (at byte 4)"},
    };
    for (const Case &c : cases) EXPECT_EQ(reason(c.bytes), c.reason) << c.name;
}

TEST(AlertHistoryLimits, DeepNestingIsRefusedWithoutBuildingIt)
{
    // 20 MB of "[" once took 1.5 GB to parse. Now no allocation of even 64 KiB happens.
    const std::string brackets(20 << 20, '[');
    FailingAllocator::failures = 0;
    FailingAllocator::failNextOfAtLeast(64 << 10);
    EXPECT_EQ(reason(brackets), "nested more than 32 levels deep");
    FailingAllocator::disarm();
    EXPECT_EQ(FailingAllocator::failures, 0);

    QTemporaryDir dir;
    const QString path = dir.filePath("alerts.json");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(brackets.data(), qint64(brackets.size()));
    file.close();
    const auto loaded = AlertHistory(path).load();
    EXPECT_EQ(loaded.state, AlertHistory::LoadState::damaged);
    EXPECT_TRUE(loaded.problem.contains("nested more than 32 levels deep")) << loaded.problem.toStdString();
    EXPECT_FALSE(QFile::exists(path));
}

TEST(AlertHistoryLimits, RunningOutOfMemoryWhileLoadingMovesTheFileAsideWithTheReason)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("alerts.json");
    // Within the bounds, but its document needs an array of 1.5 M values: 24 MB, more than the
    // machine is taken to have left.
    const std::string bytes = arrayOfZeros(1'500'000);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes.data(), qint64(bytes.size()));
    file.close();

    AlertHistory history(path);
    FailingAllocator::failures = 0;
    FailingAllocator::failNextOfAtLeast(16 << 20);
    const auto loaded = history.load();
    FailingAllocator::disarm();
    EXPECT_EQ(FailingAllocator::failures, 1);
    EXPECT_EQ(loaded.state, AlertHistory::LoadState::damaged);
    EXPECT_TRUE(loaded.alerts.empty());
    EXPECT_TRUE(loaded.problem.contains("there was not enough memory to read it")) << loaded.problem.toStdString();
    const QStringList kept = QDir(dir.path()).entryList({"alerts.json.unreadable-*"});
    ASSERT_EQ(kept.size(), 1);
    EXPECT_TRUE(loaded.problem.contains(kept[0]));
    QFile aside(dir.filePath(kept[0]));
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll().toStdString(), bytes) << "kept byte for byte";

    // The next start finds no file, and what is saved from then on loads.
    EXPECT_EQ(AlertHistory(path).load().state, AlertHistory::LoadState::unread);
    EXPECT_EQ(history.save({}), QString());
    EXPECT_EQ(AlertHistory(path).load().state, AlertHistory::LoadState::loaded);
}

} // namespace
