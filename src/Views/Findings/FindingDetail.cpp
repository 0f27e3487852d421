#include "Views/Findings/FindingDetail.h"

#include "Engine/Analysis/DisplayKeys.h"
#include "Store/AuditStore.h"
#include "Views/Components/AttackLink.h"
#include "Views/Components/Formatters.h"
#include "Views/Components/KeyValueRow.h"
#include "Views/Components/ResultBadge.h"
#include "Views/Components/SeverityBadge.h"
#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"
#include "Views/Components/CellText.h"
#include "Views/Components/TextBox.h"
#include "Views/Components/WrappedText.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int padding = 16;
constexpr int itemSpacing = 14;
constexpr int factSpacing = 4;
constexpr int keyWidth = 118;
constexpr int keyValueSpacing = 10;
constexpr int evidenceSpacing = 6;
constexpr int evidenceLineSpacing = 1;
constexpr int evidenceSummaryLines = 2;

QLabel *selectableLabel(const QString &text, const QFont &font, const QColor &color, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Style::setTextStyle(label, font, color);
    return label;
}

// The ATT&CK fact: laid out as a key and value row, with a link for its value.
QWidget *techniqueRow(const QString &technique, QLabel **link, QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(keyValueSpacing);
    auto *key = new QLabel(QStringLiteral("ATT&CK"), row);
    key->setTextFormat(Qt::PlainText);
    key->setFixedWidth(keyWidth);
    key->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Style::setTextStyle(key, Style::callout(), Style::secondaryText());
    layout->addWidget(key, 0, Qt::AlignTop);
    const QUrl url = attackTechniqueURL(technique);
    auto *value = new QLabel(row);
    value->setObjectName("techniqueLink");
    Style::setTextStyle(value, Style::monospaced(Style::callout()));
    if (url.isValid()) {
        value->setTextFormat(Qt::RichText);
        value->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                           .arg(url.toString(QUrl::FullyEncoded).toHtmlEscaped(), technique.toHtmlEscaped()));
        value->setToolTip(url.toString());
        value->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
        QObject::connect(value, &QLabel::linkActivated, value,
                         [](const QString &href) { QDesktopServices::openUrl(QUrl(href)); });
    } else {
        value->setTextFormat(Qt::PlainText);
        value->setText(technique);
    }
    layout->addWidget(value, 1, Qt::AlignTop);
    *link = value;
    return row;
}

QWidget *evidenceRow(const AuditRecord &record, QWidget *parent)
{
    auto *row = new QWidget(parent);
    row->setObjectName("evidenceRow");
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(evidenceSpacing);
    layout->addWidget(new ResultBadge(record.returnStatus == 0, row), 0, Qt::AlignTop);
    auto *column = new QVBoxLayout;
    column->setSpacing(evidenceLineSpacing);
    column->addWidget(selectableLabel(QString::fromStdString(DisplayKeys::eventLabel(record)),
                                      Style::withWeight(Style::callout(), QFont::Medium), {}, row));
    // Two lines at most: a cell's worth of the text is more than they show.
    auto *summary = new WrappedText(cellText(detailText(record)), row);
    summary->setObjectName("evidenceSummary");
    summary->setMaximumLines(evidenceSummaryLines);
    Style::setTextStyle(summary, Style::monospaced(Style::caption()), Style::secondaryText());
    column->addWidget(summary);
    column->addWidget(
        selectableLabel(Format::dateTime(record.time, Format::DateStyle::none, Format::TimeStyle::standard),
                        Style::caption2(), Style::tertiaryText(), row));
    layout->addLayout(column, 1);
    return row;
}

} // namespace

FindingDetail::FindingDetail(AuditStore &store, const Finding &finding, QWidget *parent)
    : DetailPane("findingDetail", padding, itemSpacing, parent), m_finding(finding)
{
    QWidget *content = this->content();
    QVBoxLayout *column = this->column();

    column->addWidget(new SeverityBadge(finding.severity, false, content), 0, Qt::AlignLeft);
    QLabel *rule = selectableLabel(QString::fromStdString(finding.rule), Style::semibold(Style::title2()), {}, content);
    rule->setObjectName("ruleTitle");
    column->addWidget(rule);
    m_summary = new TextBox(LongText::of(finding.summary), QStringLiteral("Copy Summary"), content);
    m_summary->setObjectName("summaryBox");
    column->addWidget(m_summary);
    column->addWidget(
        selectableLabel(QString::fromStdString(finding.explanation), Style::body(), Style::secondaryText(), content));

    auto *facts = new QVBoxLayout;
    facts->setSpacing(factSpacing);
    facts->addWidget(
        new KeyValueRow(QStringLiteral("When"),
                        Format::dateTime(finding.time, Format::DateStyle::abbreviated, Format::TimeStyle::standard),
                        false, content));
    facts->addWidget(new KeyValueRow(QStringLiteral("User"), QString::fromStdString(finding.user), false, content));
    facts->addWidget(
        new KeyValueRow(QStringLiteral("Tactic"), QString::fromStdString(finding.category), false, content));
    if (finding.technique)
        facts->addWidget(techniqueRow(QString::fromStdString(*finding.technique), &m_techniqueLink, content));
    facts->addWidget(new KeyValueRow(QStringLiteral("Evidence"),
                                     QString::number(finding.recordIDs.size()) + QStringLiteral(" record(s)"), false,
                                     content));
    column->addLayout(facts);

    m_showRecords = new QPushButton(QStringLiteral("Show Records in Events"), content);
    m_showRecords->setObjectName("showRecordsInEvents");
    setSymbol(m_showRecords, "arrow.right.circle");
    m_showRecords->setDefault(true);
    // It switches to the Events screen, which replaces the one holding this pane: it holds the
    // store and its own copies, not the pane.
    connect(m_showRecords, &QPushButton::clicked, this,
            [target = &store, ids = finding.recordIDs, rule = finding.rule] { target->showRecords(ids, rule); });
    column->addWidget(m_showRecords, 0, Qt::AlignLeft);

    if (!finding.recordIDs.empty()) {
        auto *heading = new QLabel(QStringLiteral("Evidence"), content);
        Style::setTextStyle(heading, Style::headline());
        column->addWidget(heading);
        const size_t listed = std::min<size_t>(finding.recordIDs.size(), evidenceLimit);
        for (size_t i = 0; i < listed; ++i) {
            const int64_t id = finding.recordIDs[i];
            const std::optional<AuditRecord> record = store.record(id);
            if (!record) continue;
            column->addWidget(evidenceRow(*record, content));
            m_evidenceShown.push_back(id);
        }
    }
    finish();
}
