#pragma once

#include "Store/Screen.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

class AppServices;

// Photographs the window's screens without a user: with QUILLMARSH_SNAPSHOT_DIR set it waits for
// a loaded trail, sizes the window to 1440x900, shows each screen of QUILLMARSH_SNAPSHOT_SCREENS
// (all ten by default) in turn, writes <screen>.png into the folder and quits. Driven by timers
// on the main thread, so the window keeps drawing in between.
namespace Snapshotter {

// The folder; "" (set but empty) means the current directory; nullopt when the mode is off.
std::optional<QString> directory();

// Starts a run unless one is active: the window appears again during a run (and each appearance
// starts the mode), and a second run would capture twice and quit while the first still works.
// `terminate` ends the application after the last screen; by default QCoreApplication::quit.
void run(AppServices &services, std::function<void()> terminate = {});
bool isRunning();

inline constexpr int pollIntervalMs = 200;
inline constexpr int settleMs = 1200;
inline constexpr int width = 1440;
inline constexpr int height = 900;

} // namespace Snapshotter
