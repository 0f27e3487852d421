#include "App/AppDelegate.h"
#include "App/AppServices.h"
#include "App/LaunchArguments.h"
#include "App/MainScene.h"
#include "App/Quitting.h"
#include "App/SingleInstance.h"
#include "App/Snapshotter.h"
#include "Engine/Capture/AuditPipeHelper.h"
#include "Platform/Logging.h"
#include "Views/MainWindow.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>

namespace {

void warn(const QString &text)
{
    qCWarning(lcApp).noquote() << text;
}

} // namespace

int main(int argc, char **argv)
{
    // The root capture helper is this same executable; it must decide before any window exists.
    if (const std::optional<int> status = AuditPipeHelper::runIfRequested(argc, argv)) return *status;

    // The raw command line, bytes as given: QApplication takes its own options out of argv.
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i) arguments.append(QByteArray(argv[i]));

    // A snapshot run is a private, scripted process: it neither hands over nor takes requests.
    const bool snapshot = Snapshotter::directory().has_value();
    // It reports nothing, not even what would go to standard error otherwise.
    if (snapshot) QLoggingCategory::setFilterRules(QStringLiteral("quillmarsh.*=false"));
    QByteArray socket;
    if (!snapshot) {
        QString problem;
        socket = SingleInstance::socketPath(&problem);
        if (socket.isEmpty()) {
            warn("no private folder for the single-instance socket (" + problem + "); this launch runs on its own.");
        } else if (!SingleInstance::fitsSocketAddress(socket)) {
            warn(QFile::decodeName(socket) + " is too long for a local socket's address; this launch runs on its own.");
            socket.clear();
        }
    }
    if (!socket.isEmpty()) {
        switch (SingleInstance::forward(socket, parseLaunchArguments(arguments))) {
        case SingleInstance::Handover::handed: return 0;
        case SingleInstance::Handover::unanswered: {
            // Alive but not answering: a second instance would write the same alert history.
            const QString text = QStringLiteral("Quillmarsh is already running but does not answer. Wait until it "
                                                "responds, or quit it, then try again.");
            warn(text);
            QApplication app(argc, argv);
            QMessageBox::warning(nullptr, QStringLiteral("Quillmarsh"), text);
            return 1;
        }
        case SingleInstance::Handover::foreign:
            warn(QFile::decodeName(socket)
                 + " is held by another user's process; nothing was sent to it, and this launch runs on its own.");
            socket.clear();
            break;
        case SingleInstance::Handover::none: break;
        }
    }

    QApplication app(argc, argv);
    Quitting::limit(app);
    QApplication::setOrganizationName(QStringLiteral("Quillmarsh"));
    QApplication::setApplicationName(QStringLiteral("Quillmarsh"));
    QApplication::setDesktopFileName(QStringLiteral("quillmarsh"));

    AppServices &services = AppServices::shared();
    AppDelegate delegate(services);
    MainScene scene(services, delegate, arguments);
    InstanceServer server;
    if (!socket.isEmpty()) {
        if (!server.listen(socket))
            warn("could not listen at " + QFile::decodeName(socket) + "; later launches will not be handed over.");
        QObject::connect(&server, &InstanceServer::requestReceived, &scene, &MainScene::handleForwarded);
    }

    delegate.applicationDidFinishLaunching(int(arguments.size()) + 1);
    scene.window()->show();
    const int status = app.exec();
    // Before the wait for the pool, which may end the process without unwinding.
    server.close();
    return Quitting::finish(status);
}
