#include "Platform/FileReveal.h"

#include "Platform/Logging.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

void revealInFileManager(const QString &path)
{
    const QUrl file = QUrl::fromLocalFile(path);
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
                                                       QStringLiteral("/org/freedesktop/FileManager1"),
                                                       QStringLiteral("org.freedesktop.FileManager1"),
                                                       QStringLiteral("ShowItems"));
    call << QStringList{file.toString()} << QString();
    QDBusConnection session = QDBusConnection::sessionBus();
    if (session.isConnected()) {
        const QDBusMessage reply = session.call(call, QDBus::Block, 2000);
        if (reply.type() == QDBusMessage::ReplyMessage) return;
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        qCWarning(lcPlatform).noquote() << "No file manager could show" << folder;
}
