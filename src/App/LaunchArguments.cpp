#include "App/LaunchArguments.h"

#include <QDir>
#include <QFileInfo>

LaunchRequest parseLaunchArguments(const QStringList &arguments,
                                   const std::function<bool(const QString &path)> &exists)
{
    LaunchRequest request;
    const qsizetype flag = arguments.indexOf(QStringLiteral("--screen"));
    if (flag >= 0 && flag + 1 < arguments.size())
        request.screen = screenFromRawValue(arguments[flag + 1].toStdString());
    request.sample = arguments.contains(QStringLiteral("--sample"));
    for (const QString &argument : arguments) {
        if (argument.isEmpty() || argument.startsWith(u'-')) continue;
        if (screenFromRawValue(argument.toStdString())) continue;
        if (!exists(argument)) continue;
        request.paths.append(QDir::cleanPath(QDir::current().absoluteFilePath(argument)));
    }
    return request;
}

LaunchRequest parseLaunchArguments(const QStringList &arguments)
{
    return parseLaunchArguments(arguments, [](const QString &path) { return QFileInfo::exists(path); });
}

std::vector<Screen> snapshotScreens(const QString &list)
{
    std::vector<Screen> screens;
    for (const QString &piece : list.split(u',', Qt::SkipEmptyParts))
        if (const auto screen = screenFromRawValue(piece.toStdString())) screens.push_back(*screen);
    if (screens.empty()) screens.assign(allScreens.begin(), allScreens.end());
    return screens;
}
