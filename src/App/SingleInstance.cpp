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
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// One JSON object per connection, ended by a line feed; the answer is "ok\n".
constexpr qsizetype maxMessageBytes = 1 << 20;

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Whether the process at the other end of a connected local socket runs as this user.
bool peerIsThisUser(int descriptor)
{
    struct ucred credentials {};
    socklen_t size = sizeof credentials;
    if (::getsockopt(descriptor, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) return false;
    return size == sizeof credentials && credentials.uid == ::geteuid();
}

// The address of the socket named by `path`'s bytes; false when they do not fit in one. Qt names
// sockets by text, which would lose the bytes of a name that is not UTF-8.
bool socketAddress(const QByteArray &path, sockaddr_un &address)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || path.contains('\0') || size_t(path.size()) >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    return true;
}

// A descriptor connected to the socket at `path`, or -1 with errno set. A listener whose queue is
// full is tried again until the deadline.
int connectTo(const QByteArray &path, const QDeadlineTimer &deadline)
{
    sockaddr_un address;
    if (!socketAddress(path, address)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    for (;;) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) return -1;
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0) return fd;
        const int error = errno;
        ::close(fd);
        errno = error;
        if (error == EINTR) continue;
        if (error != EAGAIN || deadline.hasExpired()) return -1;
        ::usleep(10000);
    }
}

// Whether a failed connection shows that nothing listens there any more: no file, or a socket
// file nobody accepts on (a process that is gone left it, or it is not a socket at all), or a
// path too long for any socket.
bool nobodyListens(int error)
{
    return error == ENOENT || error == ECONNREFUSED || error == ENAMETOOLONG;
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

QByteArray socketPath(QString *problem)
{
    QString unused;
    if (!problem) problem = &unused;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    // After su or sudo -u the variable may still name the first user's folder: only a folder that
    // is this user's alone is used.
    if (!runtime.isEmpty() && runtime.startsWith('/') && isPrivateFolder(runtime, problem))
        return runtime + "/quillmarsh.socket";
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
    return folder + "/quillmarsh.socket";
}

bool fitsSocketAddress(const QByteArray &path)
{
    sockaddr_un address;
    return socketAddress(path, address);
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

Handover forward(const QByteArray &path, const LaunchRequest &request, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    const int fd = connectTo(path, deadline);
    // A full queue of connections nobody takes up is a listener too, however stuck.
    if (fd < 0) return nobodyListens(errno) ? Handover::none : Handover::unanswered;
    if (!peerIsThisUser(fd)) {
        ::close(fd);
        return Handover::foreign;
    }
    QLocalSocket socket;
    if (!socket.setSocketDescriptor(fd)) {
        ::close(fd);
        return Handover::unanswered;
    }
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
    // The private folder keeps other users out.
    connect(&m_server, &QLocalServer::newConnection, this, &InstanceServer::accept);
}

InstanceServer::~InstanceServer()
{
    close();
}

// The socket is bound beside the name and linked to it once it listens: a link is made only where
// nothing stands, so of two launches at once only one takes the name, and the name always stands for
// a socket that listens. It is bound through the folder's descriptor. Qt reads the name a socket was
// bound to as text: one that is not UTF-8 it cannot name, and then takes the server for one that
// does not listen and never closes it; and it removes the name it read when it closes, which here
// is the spare name, gone by then.
bool InstanceServer::listen(const QByteArray &path)
{
    sockaddr_un address;
    const qsizetype slash = path.lastIndexOf('/');
    if (m_folder >= 0 || slash < 0 || !socketAddress(path, address)) return false;
    const QByteArray name = path.mid(slash + 1);
    const QByteArray spare = ".quillmarsh-" + QByteArray::number(::getpid());
    const int folder = ::open(slash ? path.left(slash).constData() : "/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return false;
    // One a process that had this id left behind; nothing else uses the name.
    ::unlinkat(folder, spare.constData(), 0);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct stat made {};
    bool listening = fd >= 0 && socketAddress("/proc/self/fd/" + QByteArray::number(folder) + "/" + spare, address)
                     && ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0
                     && ::listen(fd, m_server.maxPendingConnections()) == 0
                     && ::fstatat(folder, spare.constData(), &made, AT_SYMLINK_NOFOLLOW) == 0;
    if (listening && ::linkat(folder, spare.constData(), folder, name.constData(), 0) != 0) {
        const auto nobodyThere = [&] {
            const int probe = connectTo(path, QDeadlineTimer(1000));
            if (probe >= 0) ::close(probe);
            return probe < 0 && nobodyListens(errno);
        };
        listening = errno == EEXIST && nobodyThere() && ::unlinkat(folder, name.constData(), 0) == 0
                    && ::linkat(folder, spare.constData(), folder, name.constData(), 0) == 0;
    }
    ::unlinkat(folder, spare.constData(), 0);
    if (!listening || !m_server.listen(qintptr(fd))) {
        if (fd >= 0) ::close(fd);
        ::close(folder);
        return false;
    }
    m_folder = folder;
    m_name = name;
    m_device = made.st_dev;
    m_inode = made.st_ino;
    return true;
}

void InstanceServer::close()
{
    if (m_folder < 0) return;
    m_server.close();
    // Another instance may have taken the name since, once this one no longer accepted.
    struct stat now {};
    if (::fstatat(m_folder, m_name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_dev == m_device
        && now.st_ino == m_inode)
        ::unlinkat(m_folder, m_name.constData(), 0);
    ::close(m_folder);
    m_folder = -1;
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
