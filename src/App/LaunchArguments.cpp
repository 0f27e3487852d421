#include "App/LaunchArguments.h"

#include <QDir>

#include <filesystem>
#include <sys/stat.h>

namespace {

// The path made absolute against the current folder and tidied ("." and ".." resolved), byte for
// byte: Latin-1 maps every byte to one character and back, and the tidying only reads '/' and '.'.
QByteArray absolute(const QByteArray &path)
{
    QByteArray full = path;
    if (!full.startsWith('/')) {
        std::error_code error;
        const std::string current = std::filesystem::current_path(error).native();
        full = QByteArray::fromStdString(current) + '/' + path;
    }
    return QDir::cleanPath(QString::fromLatin1(full)).toLatin1();
}

} // namespace

LaunchRequest parseLaunchArguments(const QList<QByteArray> &arguments,
                                   const std::function<bool(const QByteArray &path)> &exists)
{
    LaunchRequest request;
    const qsizetype flag = arguments.indexOf("--screen");
    if (flag >= 0 && flag + 1 < arguments.size())
        request.screen = screenFromRawValue(arguments[flag + 1].toStdString());
    request.sample = arguments.contains("--sample");
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QByteArray &argument = arguments[i];
        if (argument.isEmpty() || argument.startsWith('-')) continue;
        if (screenFromRawValue(argument.toStdString())) continue;
        // What is not there (a typo, a dangling link) goes to the store all the same, which says
        // it could not be read; only the value of an option, such as Qt's "-platform offscreen",
        // is no trail.
        const bool afterOption = i > 0 && arguments[i - 1].startsWith('-') && arguments[i - 1] != "--sample";
        if (afterOption && !exists(argument)) continue;
        request.paths.append(absolute(argument));
    }
    return request;
}

LaunchRequest parseLaunchArguments(const QList<QByteArray> &arguments)
{
    return parseLaunchArguments(arguments, [](const QByteArray &path) {
        struct stat info;
        return ::stat(path.constData(), &info) == 0;
    });
}

std::vector<Screen> snapshotScreens(const QString &list)
{
    std::vector<Screen> screens;
    for (const QString &piece : list.split(u',', Qt::SkipEmptyParts))
        if (const auto screen = screenFromRawValue(piece.toStdString())) screens.push_back(*screen);
    if (screens.empty()) screens.assign(allScreens.begin(), allScreens.end());
    return screens;
}
