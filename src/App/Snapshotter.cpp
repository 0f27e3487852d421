#include "App/Snapshotter.h"

#include "App/AppServices.h"
#include "App/LaunchArguments.h"
#include "Engine/Record/AuditEvents.h"

#include <QApplication>
#include <QDir>
#include <QMainWindow>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QThreadPool>
#include <QTimer>

namespace {

bool running = false;

// One run: its state lives here between timer callbacks.
class SnapshotRun : public QObject {
public:
    SnapshotRun(AppServices &services, QString folder, std::function<void()> terminate)
        : m_services(services), m_folder(std::move(folder)), m_terminate(std::move(terminate))
    {
        QDir().mkpath(m_folder);
        waitForTrail();
    }

private:
    void waitForTrail()
    {
        const AuditStore &store = m_services.store();
        if (store.isLoading() || store.records().empty()) {
            QTimer::singleShot(Snapshotter::pollIntervalMs, this, &SnapshotRun::waitForTrail);
            return;
        }
        for (QWidget *window : QApplication::topLevelWidgets()) {
            auto *main = qobject_cast<QMainWindow *>(window);
            if (main && main->isVisible() && main->centralWidget()) {
                m_window = main;
                break;
            }
        }
        if (!m_window) {
            finish(false);
            return;
        }
        m_window->resize(Snapshotter::width, Snapshotter::height);
        if (QScreen *screen = m_window->screen()) {
            const QRect area = screen->availableGeometry();
            m_window->move(area.center() - m_window->rect().center());
        }
        m_screens = snapshotScreens(qEnvironmentVariable("QUILLMARSH_SNAPSHOT_SCREENS"));
        showNext();
    }

    void showNext()
    {
        if (m_next >= m_screens.size()) {
            finish(true);
            return;
        }
        const Screen screen = m_screens[m_next];
        AuditStore &store = m_services.store();
        store.setScreen(screen);
        if (screen == Screen::events && !store.selectedRecordID()) {
            for (const AuditRecord &record : store.records()) {
                if (AuditEvents::exec.contains(record.event) && record.identity() && record.subject()
                    && record.subject()->euid == 0) {
                    store.setSelectedRecordID(record.id);
                    break;
                }
            }
        }
        if (screen == Screen::monitor && qEnvironmentVariableIsSet("QUILLMARSH_ALERTS_PATH")) {
            AlertCenter &alerts = m_services.alerts();
            alerts.setMuted(true);
            alerts.handle(store.findings(), store.records());
            std::optional<Uuid> critical;
            for (const MonitorAlert &alert : alerts.alerts()) {
                if (alert.severityRaw == 4) {
                    critical = alert.id;
                    break;
                }
            }
            alerts.setSelectedAlertID(critical);
        }
        QTimer::singleShot(Snapshotter::settleMs, this, [this, screen] { captureWhenDerived(screen); });
    }

    // Screens derive their rows on the pool: the picture waits until they have landed.
    void captureWhenDerived(Screen screen)
    {
        if (QThreadPool::globalInstance()->activeThreadCount() > 0) {
            QTimer::singleShot(Snapshotter::pollIntervalMs, this, [this, screen] { captureWhenDerived(screen); });
            return;
        }
        capture(screen);
        ++m_next;
        showNext();
    }

    void capture(Screen screen)
    {
        if (!m_window) return;
        const QPixmap image = m_window->grab();
        if (image.isNull()) return;
        image.save(QDir(m_folder).filePath(QString::fromUtf8(rawValue(screen)) + QStringLiteral(".png")), "PNG");
    }

    void finish(bool terminate)
    {
        running = false;
        deleteLater();
        if (!terminate) return;
        if (m_terminate) m_terminate();
        else QCoreApplication::quit();
    }

    AppServices &m_services;
    QString m_folder;
    std::function<void()> m_terminate;
    QPointer<QMainWindow> m_window;
    std::vector<Screen> m_screens;
    size_t m_next = 0;
};

} // namespace

namespace Snapshotter {

std::optional<QString> directory()
{
    if (!qEnvironmentVariableIsSet("QUILLMARSH_SNAPSHOT_DIR")) return std::nullopt;
    const QString folder = qEnvironmentVariable("QUILLMARSH_SNAPSHOT_DIR");
    return folder.isEmpty() ? QDir::currentPath() : folder;
}

void run(AppServices &services, std::function<void()> terminate)
{
    const std::optional<QString> folder = directory();
    if (!folder || running) return;
    running = true;
    new SnapshotRun(services, *folder, std::move(terminate));
}

bool isRunning()
{
    return running;
}

} // namespace Snapshotter
