#include "Views/Actions.h"

#include "Store/AuditStore.h"
#include "Store/NativePath.h"
#include "Engine/Export/FindingsReport.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>

namespace {

QList<QUrl> runOpenPanel(QWidget *parent)
{
    QFileDialog dialog(parent, QString::fromUtf8(Actions::openPanelTitle));
    // The non-native dialog, so the panel can carry its message line.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    if (auto *grid = qobject_cast<QGridLayout *>(dialog.layout())) {
        auto *message = new QLabel(QString::fromUtf8(Actions::openPanelMessage), &dialog);
        grid->addWidget(message, grid->rowCount(), 0, 1, grid->columnCount());
    }
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedUrls();
}

QUrl runSavePanel(QWidget *parent, const QString &defaultName, const QString &filter)
{
    return QFileDialog::getSaveFileUrl(parent, QString(), QUrl::fromLocalFile(QDir::current().filePath(defaultName)),
                                       filter);
}

// The chosen file's bytes, to write to; empty when the panel was cancelled or gave no local file.
std::string chosenPath(const QUrl &url)
{
    return NativePath::fromUrl(url).toStdString();
}

void showErrorAlert(QWidget *parent, const QString &message)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Quillmarsh"), message, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    box->open();
}

} // namespace

namespace Actions {

Dialogs &dialogs()
{
    static Dialogs current{runOpenPanel, runSavePanel, showErrorAlert};
    return current;
}

void openPanel(AuditStore &store, QWidget *parent)
{
    const QList<QUrl> urls = dialogs().openFiles(parent);
    if (urls.isEmpty()) return;
    store.open(urls, TrailSource::Kind::file);
}

void exportEvents(const AuditStore &store, Exporter::Format format, QWidget *parent)
{
    // The selection keeps its snapshot alive while the file is written.
    const RecordSelection records = store.filtered();
    const bool csv = format == Exporter::Format::csv;
    const std::string path = chosenPath(
        dialogs().saveFile(parent, QString::fromStdString(Exporter::defaultFileName(format)),
                           csv ? QStringLiteral("CSV (*.csv)") : QStringLiteral("JSON (*.json)")));
    if (path.empty()) return;
    try {
        Exporter::exportEvents({records.size(), [&records](size_t i) -> const AuditRecord & { return records[i]; }},
                               format, path);
    } catch (const std::exception &error) {
        dialogs().showError(parent, QString::fromStdString(error.what()));
    }
}

void exportFindings(const AuditStore &store, QWidget *parent)
{
    const std::string path = chosenPath(dialogs().saveFile(parent, QString::fromUtf8(Exporter::findingsReportFileName),
                                                           QStringLiteral("Markdown (*.md)")));
    if (path.empty()) return;
    std::vector<Exporter::ReportSource> sources;
    for (const TrailSource &source : store.sources()) sources.push_back({source.name, source.recordCount});
    try {
        Exporter::exportFindings(store.findings(), sources, store.stats(), path);
    } catch (const std::exception &error) {
        dialogs().showError(parent, QString::fromStdString(error.what()));
    }
}

State state(const AuditStore &store)
{
    return {!store.records().empty(), !store.filtered().empty(), !store.findings().empty()};
}

void run(Command command, AuditStore &store, QWidget *anchor)
{
    QWidget *parent = anchor ? anchor->window() : nullptr;
    switch (command) {
    case Command::openTrail: openPanel(store, parent); return;
    // The loads run in the background; their progress and failures show in the window.
    case Command::loadSystemTrails: store.loadSystemTrails(); return;
    case Command::openSample: store.openSample(); return;
    case Command::closeAllTrails: store.closeAll(); return;
    case Command::exportEventsCSV: exportEvents(store, Exporter::Format::csv, parent); return;
    case Command::exportEventsJSON: exportEvents(store, Exporter::Format::json, parent); return;
    case Command::exportFindingsReport: exportFindings(store, parent); return;
    }
}

void follow(AuditStore &store, QObject *context, std::function<void(const State &)> apply)
{
    const auto update = [&store, apply = std::move(apply)] { apply(state(store)); };
    for (auto signal : {&AuditStore::recordsChanged, &AuditStore::filteredChanged, &AuditStore::findingsChanged})
        QObject::connect(&store, signal, context, update);
    update();
}

QAction *bind(QAction *action, Command command, AuditStore &store, QWidget *anchor,
              std::function<void(QAction *, const State &)> rule)
{
    QObject::connect(action, &QAction::triggered, action,
                     [command, &store, anchor = QPointer<QWidget>(anchor)] { run(command, store, anchor); });
    if (rule) follow(store, action, [action, rule = std::move(rule)](const State &current) { rule(action, current); });
    return action;
}

} // namespace Actions
