#pragma once

#include "App/LaunchArguments.h"

#include <QLocalServer>
#include <QObject>

// One application per user session. The first launch listens on a local socket in the user's
// runtime folder; a later launch hands its trail paths and "--screen" to it and exits, so two
// processes never write one alert history or show two tray icons.
namespace SingleInstance {

// $XDG_RUNTIME_DIR/quillmarsh.socket (a private per-user folder), or a name in the temporary
// folder that carries the user id when there is no runtime folder.
QString socketPath();

// What a later launch hands over: only the screen and the paths (already absolute).
QByteArray encode(const LaunchRequest &request);
std::optional<LaunchRequest> decode(const QByteArray &message);

// Hands the request to a running instance; true once it confirmed. Blocks for at most
// timeoutMs, before any window exists.
bool forward(const QString &path, const LaunchRequest &request, int timeoutMs = 2000);

} // namespace SingleInstance

// The running instance's end: emits each request a later launch hands over.
class InstanceServer : public QObject {
    Q_OBJECT

public:
    explicit InstanceServer(QObject *parent = nullptr);
    // Listens at path, replacing a socket left behind by a process that is gone.
    bool listen(const QString &path);

signals:
    void requestReceived(const LaunchRequest &request);

private:
    void accept();

    QLocalServer m_server;
};
