#include "Services/MonitorAlert.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<MonitorAlert::Kind, const char *>, 2> kindTexts = {{
    {MonitorAlert::Kind::finding, "finding"},
    {MonitorAlert::Kind::monitor, "monitor"},
}};

} // namespace

const char *kindText(MonitorAlert::Kind kind)
{
    for (const auto &[k, text] : kindTexts)
        if (k == kind) return text;
    return "finding";
}

std::optional<MonitorAlert::Kind> kindFromText(const std::string &text)
{
    for (const auto &[k, name] : kindTexts)
        if (text == name) return k;
    return std::nullopt;
}
