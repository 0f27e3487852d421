#include "Views/Processes/ProcessDetail.h"

#include "Engine/Analysis/Detections.h"
#include "Engine/BSM/UserResolver.h"
#include "Store/AuditStore.h"
#include "Views/Components/Formatters.h"
#include "Views/Components/KeyValueRow.h"
#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"
#include "Views/Components/TextBox.h"
#include "Views/Processes/ProcessRows.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int padding = 16;
constexpr int partSpacing = 14;
constexpr int headerSpacing = 4;
constexpr int factSpacing = 4;
constexpr int lineageSpacing = 4;
constexpr int warningSpacing = 6;

QLabel *textLabel(const QString &text, const QFont &font, const QColor &color, QWidget *parent, bool selectable = true)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    if (selectable) label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Style::setTextStyle(label, font, color);
    return label;
}

QString dateText(double time)
{
    return Format::dateTime(time, Format::DateStyle::abbreviated, Format::TimeStyle::standard);
}

} // namespace

QString lineageIndent(int position)
{
    QString indent(2 * position, u' ');
    if (position > 0) indent += QString::fromUtf8("\u2514 ");
    return indent;
}

ProcessDetail::ProcessDetail(AuditStore &store, const ProcessNode &process, QWidget *parent)
    : DetailPane("processDetail", padding, partSpacing, parent), m_process(process)
{
    QWidget *content = this->content();
    QVBoxLayout *column = this->column();

    const QString name = ProcessRows::fileName(process);
    auto *header = new QVBoxLayout;
    header->setSpacing(headerSpacing);
    QLabel *title = textLabel(name, Style::semibold(Style::title2()), {}, content);
    title->setObjectName("processName");
    header->addWidget(title);
    QLabel *path = textLabel(QString::fromUtf8(process.image), Style::monospaced(Style::caption()),
                             Style::secondaryText(), content);
    path->setWordWrap(true);
    header->addWidget(path);
    column->addLayout(header);

    if (const std::optional<std::string> reason = Detections::suspiciousLocation(process.image)) {
        auto *warning = new QWidget(content);
        warning->setObjectName("suspiciousLocation");
        auto *row = new QHBoxLayout(warning);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(warningSpacing);
        auto *icon = new QLabel(warning);
        setSymbol(icon, "exclamationmark.triangle.fill", QFontMetrics(Style::body()).height(), Style::orange());
        row->addWidget(icon);
        row->addWidget(textLabel(QStringLiteral("Runs from ") + QString::fromStdString(*reason), Style::body(),
                                 Style::orange(), warning, false),
                       1);
        column->addWidget(warning);
    }

    // The node's own copy keeps the texts the box reads alive.
    const auto kept = std::make_shared<const ProcessNode>(process);
    m_commandLine = new TextBox(LongText{kept->commandLineText(), kept}, QStringLiteral("Copy Command Line"), content);
    m_commandLine->setObjectName("commandLineBox");
    column->addWidget(m_commandLine);

    UserResolver &users = UserResolver::shared();
    auto *facts = new QVBoxLayout;
    facts->setSpacing(factSpacing);
    const auto fact = [&](const char *key, const QString &value, bool monospaced = false) {
        facts->addWidget(new KeyValueRow(QString::fromUtf8(key), value, monospaced, content));
    };
    fact("PID", QString::number(process.pid));
    fact("Parent PID", process.ppid ? QString::number(*process.ppid) : QStringLiteral("unknown"));
    fact("Audit user", QString::fromStdString(users.describe(process.auid)));
    fact("Effective user", QString::fromStdString(users.describe(process.euid)));
    fact("Started", dateText(process.start));
    fact("Ended", process.end ? dateText(*process.end) : QStringLiteral("not observed"));
    if (process.exitStatus) fact("Exit status", QString::number(*process.exitStatus));
    fact("Signing ID", process.signingID ? QString::fromUtf8(*process.signingID) : QStringLiteral("not recorded"), true);
    fact("Team ID",
         process.teamID && !process.teamID->empty() ? QString::fromUtf8(*process.teamID) : QString::fromUtf8("\u2014"),
         true);
    fact("Other events", QString::number(process.eventCount));
    column->addLayout(facts);

    m_lineage = new QVBoxLayout;
    m_lineage->setContentsMargins(0, 0, 0, 0);
    m_lineage->setSpacing(partSpacing);
    column->addLayout(m_lineage);

    auto *actions = new QHBoxLayout;
    m_showEvents = new QPushButton(QStringLiteral("Show Events"), content);
    m_showEvents->setObjectName("showEvents");
    // Both switch to the Events screen, which replaces the one holding this pane: they hold the
    // store and their own copies, not the pane.
    AuditStore *target = &store;
    connect(m_showEvents, &QPushButton::clicked, this,
            [target, process = m_process] { target->showProcessEvents(process); });
    actions->addWidget(m_showEvents);
    m_execRecord = new QPushButton(QStringLiteral("Exec Record"), content);
    m_execRecord->setObjectName("execRecord");
    connect(m_execRecord, &QPushButton::clicked, this,
            [target, id = m_process.id, label = ProcessRows::execRecordLabel(m_process)] {
                target->showRecords({id}, label);
            });
    actions->addWidget(m_execRecord);
    actions->addStretch(1);
    column->addLayout(actions);
    finish();
}

void ProcessDetail::setLineage(const std::vector<ProcessNode> &lineage)
{
    if (lineage.size() < 2 || !m_lineageNames.isEmpty()) return;
    QWidget *content = this->content();
    auto *heading = new QLabel(QStringLiteral("Lineage"), content);
    heading->setObjectName("lineageHeading");
    Style::setTextStyle(heading, Style::headline());
    m_lineage->addWidget(heading);
    auto *lines = new QVBoxLayout;
    lines->setSpacing(lineageSpacing);
    const QFont indentFont = Style::monospaced(Style::caption());
    const QFont nameFont = Style::monospaced(Style::callout());
    for (size_t i = 0; i < lineage.size(); ++i) {
        const ProcessNode &entry = lineage[i];
        auto *line = new QHBoxLayout;
        line->setSpacing(lineageSpacing);
        if (i > 0) line->addWidget(textLabel(lineageIndent(int(i)), indentFont, Style::tertiaryText(), content));
        QLabel *entryName = textLabel(ProcessRows::fileName(entry),
                                      entry.id == m_process.id ? Style::withWeight(nameFont, QFont::Bold) : nameFont,
                                      {}, content);
        entryName->setObjectName("lineageName");
        entryName->setProperty("indent", lineageIndent(int(i)));
        m_lineageNames.append(entryName);
        line->addWidget(entryName);
        line->addWidget(textLabel(QStringLiteral("(%1)").arg(entry.pid), indentFont, Style::secondaryText(), content));
        line->addStretch(1);
        lines->addLayout(line);
    }
    m_lineage->addLayout(lines);
}
