#include "App/AppMenus.h"

#include "App/AppServices.h"
#include "Views/Actions.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include <functional>

void installMenus(QMainWindow &window, AppServices &services)
{
    AuditStore &store = services.store();
    QMenuBar *bar = window.menuBar();
    QMainWindow *parent = &window;

    using Actions::Command;
    const auto command = [&store, parent](QMenu *menu, const QString &text, Command which,
                                          std::function<void(QAction *, const Actions::State &)> rule = {}) {
        return Actions::bind(menu->addAction(text), which, store, parent, std::move(rule));
    };
    const auto enabledWhile = [](bool Actions::State::*condition) {
        return [condition](QAction *action, const Actions::State &state) { action->setEnabled(state.*condition); };
    };

    QMenu *file = bar->addMenu(QStringLiteral("&File"));
    command(file, QStringLiteral("Open Trail…"), Command::openTrail)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    command(file, QStringLiteral("Load System Trails (/var/audit)…"), Command::loadSystemTrails)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
    command(file, QStringLiteral("Open Sample Trail"), Command::openSample);
    file->addSeparator();
    command(file, QStringLiteral("Close All Trails"), Command::closeAllTrails, enabledWhile(&Actions::State::hasRecords))
        ->setObjectName(QStringLiteral("closeAllTrails"));
    file->addSeparator();
    QMenu *exportEvents = file->addMenu(QStringLiteral("Export Events"));
    exportEvents->setObjectName(QStringLiteral("exportEvents"));
    command(exportEvents, QStringLiteral("CSV…"), Command::exportEventsCSV);
    command(exportEvents, QStringLiteral("JSON…"), Command::exportEventsJSON);
    // The whole submenu goes grey on an empty filter result.
    Actions::follow(store, exportEvents, [exportEvents](const Actions::State &state) {
        exportEvents->menuAction()->setEnabled(state.hasFiltered);
    });
    command(file, QStringLiteral("Export Findings Report…"), Command::exportFindingsReport,
            enabledWhile(&Actions::State::hasFindings))
        ->setObjectName(QStringLiteral("exportFindingsReport"));
    file->addSeparator();
    QAction *quit = file->addAction(QStringLiteral("Quit Quillmarsh"), qApp, &QCoreApplication::quit);
    quit->setShortcut(QKeySequence::Quit);

    QMenu *go = bar->addMenu(QStringLiteral("&Go"));
    go->setObjectName(QStringLiteral("goMenu"));
    for (size_t position = 0; position < allScreens.size(); ++position) {
        const Screen screen = allScreens[position];
        QAction *item = go->addAction(QString::fromUtf8(screenTitle(screen)), &services,
                                      [&services, screen] { services.showMainWindow(screen); });
        if (position <= 8) item->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + int(position))));
    }
}
