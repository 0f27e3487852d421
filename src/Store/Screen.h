#pragma once

#include <array>
#include <optional>
#include <string_view>

// The destinations of the main window, in sidebar order. Raw values are stable identifiers
// (command line, snapshots), so they never change.
enum class Screen { dashboard, events, processes, findings, network, live, monitor, sources, setup, reference };

struct ScreenInfo {
    Screen screen;
    const char *rawValue;
    const char *title;
};

inline constexpr std::array<ScreenInfo, 10> screenTable = {{
    {Screen::dashboard, "dashboard", "Overview"},
    {Screen::events, "events", "Events"},
    {Screen::processes, "processes", "Processes"},
    {Screen::findings, "findings", "Findings"},
    {Screen::network, "network", "Network"},
    {Screen::live, "live", "Live Monitor"},
    {Screen::monitor, "monitor", "Background Monitor"},
    {Screen::sources, "sources", "Trail Files"},
    {Screen::setup, "setup", "Audit Setup"},
    {Screen::reference, "reference", "Reference"},
}};

inline constexpr std::array<Screen, 10> allScreens = {Screen::dashboard, Screen::events,  Screen::processes,
                                                      Screen::findings,  Screen::network, Screen::live,
                                                      Screen::monitor,   Screen::sources, Screen::setup,
                                                      Screen::reference};

inline constexpr const char *rawValue(Screen s)
{
    return screenTable[static_cast<size_t>(s)].rawValue;
}
inline constexpr const char *screenTitle(Screen s)
{
    return screenTable[static_cast<size_t>(s)].title;
}

inline std::optional<Screen> screenFromRawValue(std::string_view raw)
{
    for (const auto &info : screenTable)
        if (raw == info.rawValue) return info.screen;
    return std::nullopt;
}
