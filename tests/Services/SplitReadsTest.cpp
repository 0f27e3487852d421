// Every stream the application reads arrives in pieces of any size: what is read must not depend on
// where a writer paused. The administrator shell's two streams, the system probe's output, and the
// live capture through the real helper, each written in pieces with pauses between them.

#include "Platform/Elevation.h"
#include "Services/AuditSystemStatus.h"
#include "Services/Privileged.h"

#include "support/EventOrder.h"
#include "support/FakeElevation.h"
#include "support/LiveCaptureFixture.h"

#include <gtest/gtest.h>

namespace {

using namespace LiveCapture;

// A UTF-8 "é" cut between its two bytes, and lines cut in the middle, on both streams at once.
constexpr const char *pausedWriter = "printf 'caf\\303'; sleep 0.05; printf 'x' >&2; printf '\\251 ab'; sleep 0.05;"
                                     "printf 'y\\n' >&2; printf 'c\\nd'; sleep 0.05; printf 'e\\n'";

TEST(SplitReads, TheAdministratorShellsOutputIsWholeWherePausesFell)
{
    FakeElevation fake("exec \"$@\"");
    EXPECT_EQ(Privileged::run(pausedWriter, "prompt").result(), "caf\u00E9 abc\nde\n");
    const Elevation::Result result = Elevation::run(std::string(pausedWriter) + "; exit 3", "prompt");
    EXPECT_EQ(result.error, "xy\n");
    EXPECT_EQ(result.status, 3);
}

TEST(SplitReads, TheSystemProbesOutputIsWholeWherePausesFell)
{
    const auto runner = AuditSystemStatus::systemRunner();
    EXPECT_EQ(runner->shell("/bin/sh", {"-c", pausedWriter}), QString::fromUtf8("caf\u00E9 abc\nde\n"));
}

class SplitReadsCapture : public LiveCaptureFixture {};

// The helper copies the audit pipe as the device hands it over; a record the device hands over in
// three pieces, with pauses so that they are read apart, reaches the buffer once and whole; only
// the read that completed it counts its bytes.
TEST_F(SplitReadsCapture, ARecordTheDeviceHandsOverInPiecesArrivesWhole)
{
    starter = helperProcess();
    LiveMonitor &live = make();
    startRunning();
    const Bytes record = TrailRecordBuilder(72, 1700000000).path("/etc/hosts").returnValue(0).build();
    const size_t third = record.size() / 3;
    sendToDevice(Bytes(record.begin(), record.begin() + std::ptrdiff_t(third)));
    ASSERT_TRUE(afterWaits(std::chrono::milliseconds(50)));
    sendToDevice(Bytes(record.begin() + std::ptrdiff_t(third), record.begin() + std::ptrdiff_t(2 * third)));
    ASSERT_TRUE(afterWaits(std::chrono::milliseconds(50)));
    sendToDevice(Bytes(record.begin() + std::ptrdiff_t(2 * third), record.end()));
    ASSERT_TRUE(waitUntil([&] { return live.totalReceived() == 1; }));
    EXPECT_EQ(live.bytesReceived(), int64_t(record.size() - 2 * third)) << "the size of the read that completed it";
    EXPECT_EQ(live.records()->at(0).raw().size(), record.size());
    ASSERT_EQ(live.records()->at(0).paths().size(), 1u);
    EXPECT_EQ(live.records()->at(0).paths().front(), "/etc/hosts");
    stop();
}

} // namespace
