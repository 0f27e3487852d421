#pragma once

#include "Engine/Export/EventExporter.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <functional>

class AuditStore;
class QAction;
class QObject;
class QWidget;

// The shell's commands that the menus, the toolbar and the empty state share: the open panel and
// the export flow. The dialogs sit behind replaceable functions so tests never block on one.
//
// Each command is written here once, with the store changes its availability follows. The menu
// bar and the toolbar each make their own QAction for it: text, symbol and shortcut are theirs,
// and so is the rule that turns the state into enabled or shown, since the two surfaces differ
// on purpose (the menu disables "Export Events" on an empty filter result, the toolbar does not).
namespace Actions {

enum class Command {
    openTrail,
    loadSystemTrails,
    openSample,
    closeAllTrails,
    exportEventsCSV,
    exportEventsJSON,
    exportFindingsReport,
};

// What the surfaces' rules look at.
struct State {
    bool hasRecords = false;
    bool hasFiltered = false;
    bool hasFindings = false;
};
State state(const AuditStore &store);

// Runs the command; its panels and alerts are modal to anchor's window.
void run(Command command, AuditStore &store, QWidget *anchor);

// Calls apply now and after every store change that can change the state, while context lives.
void follow(AuditStore &store, QObject *context, std::function<void(const State &)> apply);

// The action runs the command when triggered; rule, when given, shows the state on the action
// (enabled or shown), now and whenever it changes. Returns the action.
QAction *bind(QAction *action, Command command, AuditStore &store, QWidget *anchor,
              std::function<void(QAction *action, const State &state)> rule = {});

struct Dialogs {
    // The chosen files, in the panel's order; empty when cancelled.
    std::function<QList<QUrl>(QWidget *parent)> openFiles;
    // The chosen file, or an empty URL when cancelled. filter is a name filter such as
    // "CSV (*.csv)". A URL, since it keeps the bytes of a name that is not UTF-8, which a path's text
    // would lose.
    std::function<QUrl(QWidget *parent, const QString &defaultName, const QString &filter)> saveFile;
    // A modal alert with the failure's sentence.
    std::function<void(QWidget *parent, const QString &message)> showError;
};

// The dialogs in use; the real ones unless a test replaced them.
Dialogs &dialogs();

inline constexpr const char *openPanelTitle = "Open BSM Audit Trails";
inline constexpr const char *openPanelMessage =
    "Choose one or more OpenBSM trail files (for example copies of /var/audit/*).";

// Runs the open panel; the chosen files are opened as one batch of kind file.
void openPanel(AuditStore &store, QWidget *parent = nullptr);
// Saves store.filtered as it is at the call.
void exportEvents(const AuditStore &store, Exporter::Format format, QWidget *parent = nullptr);
void exportFindings(const AuditStore &store, QWidget *parent = nullptr);

} // namespace Actions
