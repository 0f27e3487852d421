#pragma once

#include <QCoreApplication>

// Quitting ends within two seconds, whatever the thread pool could start. A task the pool never
// ran (its thread could not be made: "QThread::start: Thread creation error") or one stuck in a
// system call would otherwise keep the application's end waiting for the pool for ever.
namespace Quitting {

constexpr int allowedMs = 2000;

// Starts the two seconds when `application` is about to quit. Call it before anything else
// connects to aboutToQuit.
void limit(QCoreApplication &application);

// After the event loop has ended: waits for the global thread pool while the two seconds last,
// and returns `status` once it is idle. When it is not, ends the process here with `status`.
int finish(int status);

} // namespace Quitting
