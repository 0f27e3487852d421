#include "App/SingleInstance.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// One JSON object per connection, ended by a line feed; the answer is "ok\n".
constexpr qsizetype maxMessageBytes = 1 << 20;

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Whether the process at the other end of a connected local socket runs as this user.
bool peerIsThisUser(const QLocalSocket &socket)
{
    struct ucred credentials {};
    socklen_t size = sizeof credentials;
    if (::getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) return false;
    return size == sizeof credentials && credentials.uid == ::geteuid();
}

// Whether a failed connection shows that nothing listens there any more: no file, or a socket
// file nobody accepts on (a process that is gone left it, or it is not a socket at all).
bool nobodyListens(QLocalSocket::LocalSocketError error)
{
    return error == QLocalSocket::ServerNotFoundError || error == QLocalSocket::ConnectionRefusedError;
}

// $XDG_CACHE_HOME when it is absolute, else ~/.cache; empty when neither is known.
QByteArray cacheFolder()
{
    const QByteArray cache = qgetenv("XDG_CACHE_HOME");
    if (cache.startsWith('/')) return cache;
    const QByteArray home = qgetenv("HOME");
    if (!home.startsWith('/')) return {};
    return (home.endsWith('/') ? home.chopped(1) : home) + "/.cache";
}

// A folder, not a link, of this user's that no one else may change: the private folder inside it
// is then the user's alone.
bool isUsersOwnFolder(const QByteArray &folder, QString *problem)
{
    struct stat info;
    const QString name = QFile::decodeName(folder);
    if (::lstat(folder.constData(), &info) != 0) {
        *problem = name + ": " + errorText(errno);
        return false;
    }
    if (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode)) {
        *problem = name + " is not a folder";
        return false;
    }
    if (info.st_uid != ::geteuid()) {
        *problem = name + " belongs to another user";
        return false;
    }
    if (info.st_mode & 0022) {
        *problem = name + " may be changed by other users";
        return false;
    }
    return true;
}

} // namespace

namespace SingleInstance {

bool isPrivateFolder(const QByteArray &folder, QString *problem)
{
    struct stat info;
    const QString name = QFile::decodeName(folder);
    if (::lstat(folder.constData(), &info) != 0) {
        *problem = name + ": " + errorText(errno);
        return false;
    }
    if (S_ISLNK(info.st_mode)) {
        *problem = name + " is a symbolic link";
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        *problem = name + " is not a folder";
        return false;
    }
    if (info.st_uid != ::geteuid()) {
        *problem = name + " belongs to another user";
        return false;
    }
    if ((info.st_mode & 07777) != 0700) {
        *problem = name + " may be entered by other users";
        return false;
    }
    return true;
}

QString socketPath(QString *problem)
{
    QString unused;
    if (!problem) problem = &unused;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    // After su or sudo -u the variable may still name the first user's folder: only a folder that
    // is this user's alone is used.
    if (!runtime.isEmpty() && runtime.startsWith('/') && isPrivateFolder(runtime, problem))
        return QFile::decodeName(runtime) + QStringLiteral("/quillmarsh.socket");
    // Otherwise a folder in the user's own cache, where no other user can make the name first, as
    // anyone may in the shared temporary folder.
    const QByteArray cache = cacheFolder();
    if (cache.isEmpty()) {
        *problem = QStringLiteral("neither XDG_CACHE_HOME nor HOME names a folder");
        return {};
    }
    if (::mkdir(cache.constData(), 0700) != 0 && errno != EEXIST) {
        *problem = QFile::decodeName(cache) + ": " + errorText(errno);
        return {};
    }
    if (!isUsersOwnFolder(cache, problem)) return {};
    const QByteArray folder = cache + "/quillmarsh";
    if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST) {
        *problem = QFile::decodeName(folder) + ": " + errorText(errno);
        return {};
    }
    if (!isPrivateFolder(folder, problem)) return {};
    return QFile::decodeName(folder) + QStringLiteral("/quillmarsh.socket");
}

QByteArray encode(const LaunchRequest &request)
{
    QJsonObject object;
    if (request.screen) object.insert(QStringLiteral("screen"), QString::fromUtf8(rawValue(*request.screen)));
    QJsonArray paths;
    for (const QByteArray &path : request.paths) paths.append(QString::fromLatin1(path.toBase64()));
    object.insert(QStringLiteral("paths"), paths);
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
    for (const QJsonValue &value : object.value(QStringLiteral("paths")).toArray()) {
        if (!value.isString()) continue;
        const auto path = QByteArray::fromBase64Encoding(value.toString().toLatin1(),
                                                         QByteArray::AbortOnBase64DecodingErrors);
        if (path && path.decoded.startsWith('/') && !path.decoded.contains('\0')) request.paths.append(path.decoded);
    }
    return request;
}

Handover forward(const QString &path, const LaunchRequest &request, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(int(deadline.remainingTime()))) {
        // A full queue of connections nobody takes up is a listener too, however stuck.
        return nobodyListens(socket.error()) ? Handover::none : Handover::unanswered;
    }
    if (!peerIsThisUser(socket)) return Handover::foreign;
    socket.write(encode(request));
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(int(deadline.remainingTime()))) return Handover::unanswered;
    while (!socket.canReadLine())
        if (!socket.waitForReadyRead(int(deadline.remainingTime()))) return Handover::unanswered;
    return socket.readLine().trimmed() == "ok" ? Handover::handed : Handover::unanswered;
}

} // namespace SingleInstance

InstanceServer::InstanceServer(QObject *parent) : QObject(parent)
{
    // No socket options: with them Qt binds beside the name and renames over it, which would
    // replace a live instance's socket. The private folder keeps other users out.
    connect(&m_server, &QLocalServer::newConnection, this, &InstanceServer::accept);
}

bool InstanceServer::listen(const QString &path)
{
    if (m_server.listen(path)) return true;
    QLocalSocket probe;
    probe.connectToServer(path);
    if (probe.waitForConnected(1000) || !nobodyListens(probe.error())) return false;
    QLocalServer::removeServer(path);
    return m_server.listen(path);
}

void InstanceServer::accept()
{
    if (!m_clock.isValid()) m_clock.start();
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        // At the cap the connection idle longest is closed, so held connections can neither use
        // up the process's descriptors nor keep a launch out.
        if (int(m_connections.size()) >= SingleInstance::maximumConnections) {
            const auto idlest = std::ranges::min_element(m_connections, {}, &Connection::lastActive);
            QLocalSocket *idle = idlest->socket;
            m_connections.erase(idlest);
            idle->abort();
            idle->deleteLater();
        }
        m_connections.push_back({socket, m_clock.elapsed()});
        connect(socket, &QObject::destroyed, this, [this, socket] {
            std::erase_if(m_connections, [&](const Connection &c) { return c.socket == socket; });
        });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A connection that does not bring a whole request in time is dropped.
        QTimer::singleShot(SingleInstance::requestTimeoutMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            for (Connection &connection : m_connections)
                if (connection.socket == socket) connection.lastActive = m_clock.elapsed();
            // A line longer than any request is dropped unanswered, as soon as it is too long.
            const QByteArray head = socket->peek(maxMessageBytes + 1);
            const qsizetype end = head.indexOf('\n');
            if (end < 0) {
                if (head.size() > maxMessageBytes) {
                    socket->abort();
                    socket->deleteLater();
                }
                return;
            }
            const std::optional<LaunchRequest> request = SingleInstance::decode(socket->read(end + 1));
            socket->write("ok\n");
            socket->disconnectFromServer();
            if (request) emit requestReceived(*request);
        });
    }
}
