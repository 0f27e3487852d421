#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The desktop's own settings pages that the monitor's settings point to.
namespace SystemSettings {

struct Command {
    QString program;
    QStringList arguments;

    bool operator==(const Command &) const = default;
};

// The first installed notification settings program (GNOME, then KDE Plasma, then Xfce), found
// with `find` (the path of an executable, empty when absent); nothing when none is installed.
std::optional<Command> notificationSettingsCommand(const std::function<QString(const QString &)> &find = {});

// Starts that program detached; false when none is installed or it could not start.
bool openNotificationSettings();

// The folder of the login item's autostart entry.
QString loginItemsFolder();

} // namespace SystemSettings
