// A job's control, once cancelled (closing everything, quitting, a newer change of the sources),
// stops the work it governs at the work's next checkpoint, in every phase, rather than letting it
// run to its end unseen.

#include "Store/LoadControl.h"

#include "Engine/Parser/BSMParser.h"
#include "Store/Rebuild.h"
#include "support/TrailBuilder.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

TEST(LoadControlTest, ACancelledJobStopsAtItsNextCheckpoint)
{
    // About twenty of the decode's checkpoints, and parts for several threads.
    const TestBSM::Bytes bytes = TestBSM::openReadRecords(20000, 1700000000);
    const auto data = std::make_shared<const TrailBuffer>(bytes.begin(), bytes.end());
    Parallel::Pool pool(4);

    std::atomic<int> checkpoints{0};
    LoadControl *cancelling = nullptr;
    // Cancels the job on its third checkpoint after the phase began, as closeAll() would then.
    const LoadControl::Hook hook = [&](LoadPhase, bool starting) {
        if (!starting && ++checkpoints == 3) cancelling->cancel();
    };

    {
        SCOPED_TRACE("decoding");
        checkpoints = 0;
        LoadControl control(MemoryGuard::Available(), MemoryGuard::Resident(), hook);
        cancelling = &control;
        const PhaseCheck parsing(control, LoadPhase::parse);
        EXPECT_THROW(BSMParser::parseFile(data, 1, 1, Parallel::Pool::single()), Cancelled);
        checkpoints = 0;
        EXPECT_THROW(control.check(LoadPhase::parse, 0), Cancelled);
        EXPECT_EQ(checkpoints.load(), 0) << "the hook ran after the cancel";
    }
    {
        SCOPED_TRACE("decoding side by side");
        checkpoints = 0;
        LoadControl control(MemoryGuard::Available(), MemoryGuard::Resident(), hook);
        cancelling = &control;
        const PhaseCheck parsing(control, LoadPhase::parse);
        EXPECT_THROW(BSMParser::parseFile(data, 1, 1, pool, 16 << 10), Cancelled);
    }
    {
        SCOPED_TRACE("analysing");
        checkpoints = 0;
        LoadControl control(MemoryGuard::Available(), MemoryGuard::Resident(), hook);
        cancelling = &control;
        Rebuild::Input input;
        input.handed.push_back({1, 1, BSMParser::parse(data, 1, 1, false).records});
        const PhaseCheck analysing(control, LoadPhase::analysis);
        const Rebuild::Output output = Rebuild::run(std::move(input), pool);
        ASSERT_TRUE(output.stopped) << "the rebuild ran to its end";
        EXPECT_THROW(std::rethrow_exception(output.stopped), Cancelled);
        EXPECT_FALSE(output.analysis);
    }
    {
        SCOPED_TRACE("cancelled before it began");
        LoadControl control(MemoryGuard::Available(), MemoryGuard::Resident(), {});
        control.cancel();
        EXPECT_THROW({ const PhaseCheck reading(control, LoadPhase::read); }, Cancelled);
    }
}

} // namespace
