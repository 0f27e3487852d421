#include "App/SingleInstance.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QStandardPaths>

#include <unistd.h>

namespace {

// One JSON object per connection, ended by a line feed; the answer is "ok\n".
constexpr qsizetype maxMessageBytes = 1 << 20;

} // namespace

namespace SingleInstance {

QString socketPath()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists()) return QDir(runtime).filePath(QStringLiteral("quillmarsh.socket"));
    return QDir(QDir::tempPath()).filePath(QStringLiteral("quillmarsh-%1.socket").arg(::getuid()));
}

QByteArray encode(const LaunchRequest &request)
{
    QJsonObject object;
    if (request.screen) object.insert(QStringLiteral("screen"), QString::fromUtf8(rawValue(*request.screen)));
    object.insert(QStringLiteral("paths"), QJsonArray::fromStringList(request.paths));
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<LaunchRequest> decode(const QByteArray &message)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(message.trimmed(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    const QJsonObject object = document.object();
    LaunchRequest request;
    request.screen = screenFromRawValue(object.value(QStringLiteral("screen")).toString().toStdString());
    for (const QJsonValue &path : object.value(QStringLiteral("paths")).toArray())
        if (path.isString() && QDir::isAbsolutePath(path.toString())) request.paths.append(path.toString());
    return request;
}

bool forward(const QString &path, const LaunchRequest &request, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(timeoutMs)) return false;
    socket.write(encode(request));
    if (!socket.waitForBytesWritten(timeoutMs)) return false;
    while (!socket.canReadLine())
        if (!socket.waitForReadyRead(timeoutMs)) return false;
    return socket.readLine().trimmed() == "ok";
}

} // namespace SingleInstance

InstanceServer::InstanceServer(QObject *parent) : QObject(parent)
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &InstanceServer::accept);
}

bool InstanceServer::listen(const QString &path)
{
    if (m_server.listen(path)) return true;
    // Only reached after nobody answered there, so the socket is a dead process's.
    QLocalServer::removeServer(path);
    return m_server.listen(path);
}

void InstanceServer::accept()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > maxMessageBytes) socket->abort();
                return;
            }
            const std::optional<LaunchRequest> request = SingleInstance::decode(socket->readLine(maxMessageBytes));
            socket->write("ok\n");
            socket->disconnectFromServer();
            if (request) emit requestReceived(*request);
        });
    }
}
