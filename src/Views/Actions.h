#pragma once

#include "Engine/Export/EventExporter.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <functional>

class AuditStore;
class QWidget;

// The shell's commands that the menus, the toolbar and the empty state share: the open panel and
// the export flow. The dialogs sit behind replaceable functions so tests never block on one.
namespace Actions {

struct Dialogs {
    // The chosen files, in the panel's order; empty when cancelled.
    std::function<QList<QUrl>(QWidget *parent)> openFiles;
    // The chosen path, or "" when cancelled. filter is a name filter such as "CSV (*.csv)".
    std::function<QString(QWidget *parent, const QString &defaultName, const QString &filter)> saveFile;
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
