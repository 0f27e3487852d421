#pragma once

#include "App/LaunchArguments.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QObject>

#include <sys/types.h>

#include <vector>

// One application per user session. The first launch listens on a local socket in a folder only
// its user can enter; a later launch hands its trail paths and "--screen" to it and exits, so two
// processes never write one alert history or show two tray icons.
namespace SingleInstance {

// How long a later launch waits for the running instance's answer, and how long the running
// instance waits for a complete request on a connection.
constexpr int answerTimeoutMs = 10000;
constexpr int requestTimeoutMs = 5000;
// Connections the running instance keeps open at once; at the cap, a new one closes the one idle
// longest.
constexpr int maximumConnections = 16;

// Whether `folder` is a folder (not a link to one) owned by this user with mode 0700. Otherwise
// false with *problem saying what is wrong.
bool isPrivateFolder(const QByteArray &folder, QString *problem);

// $XDG_RUNTIME_DIR/quillmarsh.socket when that folder is private to the user, else
// quillmarsh.socket in the folder quillmarsh of the user's cache ($XDG_CACHE_HOME, or ~/.cache),
// made here with mode 0700. Empty, with *problem set, when that folder is not private or the cache
// is not the user's own. The path's own bytes, which need not be UTF-8.
QByteArray socketPath(QString *problem = nullptr);

// Whether a socket can be reached at `path`: a local socket's address holds only so many bytes.
bool fitsSocketAddress(const QByteArray &path);

// What a later launch hands over: only the screen and the paths (already absolute), the paths'
// bytes in base64 so that a name that is not UTF-8 arrives as it was given.
QByteArray encode(const LaunchRequest &request);
std::optional<LaunchRequest> decode(const QByteArray &message);

enum class Handover {
    none,       // nothing listens there (no socket, or one a process that is gone left behind)
    handed,     // the running instance confirmed
    unanswered, // something of ours listens but gave no answer in time: alive, yet busy or stopped
    foreign,    // the listener is another user's process; nothing was sent
};
// Hands the request to a running instance, before any window exists. Sends nothing unless the
// listener runs as this user.
Handover forward(const QByteArray &path, const LaunchRequest &request, int timeoutMs = answerTimeoutMs);

} // namespace SingleInstance

// The running instance's end: emits each request a later launch hands over.
class InstanceServer : public QObject {
    Q_OBJECT

public:
    explicit InstanceServer(QObject *parent = nullptr);
    ~InstanceServer() override;
    // Listens at path, by its bytes. Whatever is there already is replaced only when nothing
    // accepts a connection on it: a live instance keeps its socket however slow it is to answer.
    bool listen(const QByteArray &path);
    // Stops listening and removes the socket, if the file at the path is still the one it made.
    void close();
    // Connections open now.
    int openConnections() const { return int(m_connections.size()); }

signals:
    void requestReceived(const LaunchRequest &request);

private:
    void accept();

    struct Connection {
        QLocalSocket *socket = nullptr;
        qint64 lastActive = 0; // when it was accepted or last sent bytes, on m_clock
    };

    // Declared before the server: its sockets, destroyed with it, erase themselves from the list.
    std::vector<Connection> m_connections;
    QElapsedTimer m_clock;
    QLocalServer m_server;
    // The socket file it made, in the folder open here: removed at the end only while the name
    // still stands for it.
    int m_folder = -1;
    QByteArray m_name;
    dev_t m_device = 0;
    ino_t m_inode = 0;
};
