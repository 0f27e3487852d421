#include "Platform/AutostartLoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// One quoted argument of an Exec key: the quoting rule first, then the escapes of a string value,
// and '%' doubled so it is no field code.
QString execArgument(const QString &argument)
{
    QString quoted = "\"";
    for (const QChar c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    quoted += '"';
    quoted.replace("\\", "\\\\");
    quoted.replace("\n", "\\n");
    quoted.replace("\t", "\\t");
    quoted.replace("\r", "\\r");
    return quoted;
}

} // namespace

AutostartLoginItem::AutostartLoginItem() : AutostartLoginItem(QCoreApplication::applicationFilePath()) {}

AutostartLoginItem::AutostartLoginItem(QString executable) : m_executable(std::move(executable)) {}

QString AutostartLoginItem::entryPath()
{
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty()) config = QDir::homePath() + "/.config";
    return config + "/autostart/quillmarsh.desktop";
}

QString AutostartLoginItem::entryText(const QString &executable)
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Quillmarsh\n"
           "Exec="
           + execArgument(executable)
           + "\n"
             "X-GNOME-Autostart-enabled=true\n";
}

void AutostartLoginItem::registerItem()
{
    const QString path = entryPath();
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) throw LoginItemError(("The folder " + folder + " could not be created.").toStdString());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(entryText(m_executable).toUtf8()) < 0 || !file.commit())
        throw LoginItemError((file.errorString() + " (" + path + ")").toStdString());
}

void AutostartLoginItem::unregisterItem()
{
    QFile file(entryPath());
    if (!file.exists() && !QFileInfo(file).isSymLink()) return;
    if (!file.remove()) throw LoginItemError((file.errorString() + " (" + file.fileName() + ")").toStdString());
}

LoginItemStatus AutostartLoginItem::status() const
{
    QFile file(entryPath());
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly)) return LoginItemStatus::notRegistered;
    // Only the main group counts; Hidden=true is the autostart way of deleting an entry.
    bool inMainGroup = false;
    bool hasMainGroup = false;
    for (QByteArray line : file.readAll().split('\n')) {
        line = line.trimmed();
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            hasMainGroup = hasMainGroup || inMainGroup;
            continue;
        }
        if (!inMainGroup) continue;
        const int equals = line.indexOf('=');
        if (equals < 0) continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        if ((key == "Hidden" && value == "true") || (key == "X-GNOME-Autostart-enabled" && value == "false"))
            return LoginItemStatus::notRegistered;
    }
    return hasMainGroup ? LoginItemStatus::enabled : LoginItemStatus::notRegistered;
}
