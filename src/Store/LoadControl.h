#pragma once

#include "Engine/Support/MemoryGuard.h"
#include "Engine/Support/Parallel.h"

#include <atomic>
#include <cstdint>
#include <functional>

// The steps of a load that its checkpoints name.
enum class LoadPhase { read, parse, analysis };

// Thrown at a checkpoint of work that was cancelled.
struct Cancelled {};

// What one job of the store shares with its work on the pool: whether it was cancelled, the
// memory it may take, and a hook that tests use to fail or hold the work at its checkpoints.
class LoadControl {
public:
    // Given the phase, and whether the checkpoint is the one that starts it.
    using Hook = std::function<void(LoadPhase, bool starting)>;

    LoadControl(const MemoryGuard::Available &available, MemoryGuard::Resident resident, Hook hook)
        : m_guard(available, std::move(resident)), m_hook(std::move(hook))
    {}

    void cancel() { m_cancelled.store(true, std::memory_order_relaxed); }
    bool cancelled() const { return m_cancelled.load(std::memory_order_relaxed); }

    // Throws Cancelled once cancelled, then whatever the hook throws, then OutOfRoom.
    void check(LoadPhase phase, uint64_t upcoming, bool starting = false)
    {
        if (cancelled()) throw Cancelled();
        if (m_hook) m_hook(phase, starting);
        m_guard.check(upcoming, starting);
    }

private:
    MemoryGuard m_guard;
    Hook m_hook;
    std::atomic<bool> m_cancelled{false};
};

// Makes one phase of a job the interruption of the thread it is made on, and of the loops started
// there, for its lifetime; counts the bytes its checkpoints report decoded and those they announce
// taken at once.
class PhaseCheck final : public Parallel::Interruption {
public:
    PhaseCheck(LoadControl &control, LoadPhase phase) : m_control(control), m_phase(phase), m_scope(this)
    {
        m_control.check(m_phase, 0, true);
    }

    void check(uint64_t done, uint64_t upcoming) override
    {
        m_decoded.fetch_add(done, std::memory_order_relaxed);
        m_control.check(m_phase, upcoming);
        m_announced.fetch_add(upcoming, std::memory_order_relaxed);
    }
    uint64_t decoded() const { return m_decoded.load(std::memory_order_relaxed); }
    uint64_t announced() const { return m_announced.load(std::memory_order_relaxed); }

private:
    LoadControl &m_control;
    LoadPhase m_phase;
    std::atomic<uint64_t> m_decoded{0};
    std::atomic<uint64_t> m_announced{0};
    Parallel::InterruptionScope m_scope;
};
