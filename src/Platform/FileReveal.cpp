#include "Platform/FileReveal.h"

#include "Platform/Logging.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QUrl>

QUrl fileUrl(const QByteArray &path)
{
    return QUrl::fromEncoded("file://" + path.toPercentEncoding("/"), QUrl::StrictMode);
}

void revealInFileManager(const QByteArray &path)
{
    const QUrl file = fileUrl(path);
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
    const QUrl folder = file.adjusted(QUrl::RemoveFilename | QUrl::StripTrailingSlash);
    if (!QDesktopServices::openUrl(folder))
        qCWarning(lcPlatform).noquote() << "No file manager could show" << folder.toDisplayString();
}
