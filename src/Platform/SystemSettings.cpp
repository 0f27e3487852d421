#include "Platform/SystemSettings.h"

#include "Platform/AutostartLoginItem.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace SystemSettings {

std::optional<Command> notificationSettingsCommand(const std::function<QString(const QString &)> &find)
{
    static const Command candidates[] = {
        {QStringLiteral("gnome-control-center"), {QStringLiteral("notifications")}},
        {QStringLiteral("systemsettings"), {QStringLiteral("kcm_notifications")}},
        {QStringLiteral("xfce4-notifyd-config"), {}},
    };
    for (const Command &candidate : candidates) {
        const QString path = find ? find(candidate.program) : QStandardPaths::findExecutable(candidate.program);
        if (!path.isEmpty()) return Command{path, candidate.arguments};
    }
    return std::nullopt;
}

bool openNotificationSettings()
{
    const std::optional<Command> command = notificationSettingsCommand();
    return command && QProcess::startDetached(command->program, command->arguments);
}

QString loginItemsFolder()
{
    return QFileInfo(AutostartLoginItem::entryPath()).absolutePath();
}

} // namespace SystemSettings
