#include "App/AppMenus.h"

#include "App/AppServices.h"
#include "Views/Actions.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

void installMenus(QMainWindow &window, AppServices &services)
{
    AuditStore &store = services.store();
    QMenuBar *bar = window.menuBar();
    QMainWindow *parent = &window;

    QMenu *file = bar->addMenu(QStringLiteral("&File"));
    QAction *open = file->addAction(QStringLiteral("Open Trail…"), &store, [&store, parent] {
        Actions::openPanel(store, parent);
    });
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    QAction *system = file->addAction(QStringLiteral("Load System Trails (/var/audit)…"), &store,
                                      [&store] { store.loadSystemTrails(); });
    system->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
    file->addAction(QStringLiteral("Open Sample Trail"), &store, [&store] { store.openSample(); });
    file->addSeparator();
    QAction *closeAll = file->addAction(QStringLiteral("Close All Trails"), &store, [&store] { store.closeAll(); });
    closeAll->setObjectName(QStringLiteral("closeAllTrails"));
    file->addSeparator();
    QMenu *exportEvents = file->addMenu(QStringLiteral("Export Events"));
    exportEvents->setObjectName(QStringLiteral("exportEvents"));
    exportEvents->addAction(QStringLiteral("CSV…"), &store, [&store, parent] {
        Actions::exportEvents(store, Exporter::Format::csv, parent);
    });
    exportEvents->addAction(QStringLiteral("JSON…"), &store, [&store, parent] {
        Actions::exportEvents(store, Exporter::Format::json, parent);
    });
    QAction *exportFindings = file->addAction(QStringLiteral("Export Findings Report…"), &store, [&store, parent] {
        Actions::exportFindings(store, parent);
    });
    exportFindings->setObjectName(QStringLiteral("exportFindingsReport"));
    file->addSeparator();
    QAction *quit = file->addAction(QStringLiteral("Quit Quillmarsh"), qApp, &QCoreApplication::quit);
    quit->setShortcut(QKeySequence::Quit);

    const auto update = [&store, closeAll, exportEvents, exportFindings] {
        closeAll->setEnabled(!store.records().empty());
        exportEvents->menuAction()->setEnabled(!store.filtered().empty());
        exportFindings->setEnabled(!store.findings().empty());
    };
    QObject::connect(&store, &AuditStore::recordsChanged, closeAll, update);
    QObject::connect(&store, &AuditStore::filteredChanged, closeAll, update);
    QObject::connect(&store, &AuditStore::findingsChanged, closeAll, update);
    update();

    QMenu *go = bar->addMenu(QStringLiteral("&Go"));
    go->setObjectName(QStringLiteral("goMenu"));
    for (size_t position = 0; position < allScreens.size(); ++position) {
        const Screen screen = allScreens[position];
        QAction *item = go->addAction(QString::fromUtf8(screenTitle(screen)), &services,
                                      [&services, screen] { services.showMainWindow(screen); });
        if (position <= 8) item->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + int(position))));
    }
}
