#include "App/AppDelegate.h"
#include "App/AppServices.h"
#include "App/LaunchArguments.h"
#include "App/MainScene.h"
#include "App/SingleInstance.h"
#include "App/Snapshotter.h"
#include "Engine/Capture/AuditPipeHelper.h"
#include "Views/MainWindow.h"

#include <QApplication>

int main(int argc, char **argv)
{
    // The root capture helper is this same executable; it must decide before any window exists.
    if (const std::optional<int> status = AuditPipeHelper::runIfRequested(argc, argv)) return *status;

    // The raw command line: QApplication takes its own options out of argv.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));

    // A snapshot run is a private, scripted process: it neither hands over nor takes requests.
    const bool snapshot = Snapshotter::directory().has_value();
    const QString socket = SingleInstance::socketPath();
    if (!snapshot && SingleInstance::forward(socket, parseLaunchArguments(arguments))) return 0;

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quillmarsh"));
    QApplication::setApplicationName(QStringLiteral("Quillmarsh"));
    QApplication::setDesktopFileName(QStringLiteral("quillmarsh"));

    AppServices &services = AppServices::shared();
    AppDelegate delegate(services);
    MainScene scene(services, delegate, arguments);
    InstanceServer server;
    if (!snapshot) {
        server.listen(socket);
        QObject::connect(&server, &InstanceServer::requestReceived, &scene, &MainScene::handleForwarded);
    }

    delegate.applicationDidFinishLaunching(int(arguments.size()) + 1);
    scene.window()->show();
    return app.exec();
}
