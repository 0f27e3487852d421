#include "Platform/SystemSettings.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

using SystemSettings::Command;

TEST(SystemSettings, FirstInstalledNotificationSettingsProgram)
{
    struct Case {
        const char *name;
        QStringList installed;
        std::optional<Command> expected;
    };
    const Case cases[] = {
        {"GNOME", {"gnome-control-center"}, Command{"/usr/bin/gnome-control-center", {"notifications"}}},
        {"KDE Plasma", {"systemsettings"}, Command{"/usr/bin/systemsettings", {"kcm_notifications"}}},
        {"Xfce", {"xfce4-notifyd-config"}, Command{"/usr/bin/xfce4-notifyd-config", {}}},
        {"GNOME wins over KDE",
         {"systemsettings", "gnome-control-center"},
         Command{"/usr/bin/gnome-control-center", {"notifications"}}},
        {"none installed: nothing to start", {}, std::nullopt},
    };
    for (const Case &c : cases) {
        const auto find = [&](const QString &program) {
            return c.installed.contains(program) ? "/usr/bin/" + program : QString();
        };
        EXPECT_EQ(SystemSettings::notificationSettingsCommand(find), c.expected) << c.name;
    }
}

TEST(SystemSettings, LoginItemsFolderIsTheAutostartFolder)
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/quillmarsh-config");
    EXPECT_EQ(SystemSettings::loginItemsFolder(), "/tmp/quillmarsh-config/autostart");
    qputenv("XDG_CONFIG_HOME", saved);
}

} // namespace
