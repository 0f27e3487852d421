#include "Views/Monitor/AlertDetail.h"

#include "Views/Components/AttackLink.h"
#include "Views/Components/Clipboard.h"
#include "Views/Components/Formatters.h"
#include "Views/Components/KeyValueRow.h"
#include "Views/Components/LineBox.h"
#include "Views/Components/SeverityBadge.h"
#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int columnSpacing = 14;
constexpr int padding = 16;
constexpr int boxPadding = 8;
constexpr int keyColumnWidth = 118;

// Selectable text on the rounded quaternary box of the summary and the evidence. Wraps anywhere
// when a word is wider than the column (command lines, paths), so nothing runs off the pane.
class BoxedText : public QTextEdit {
public:
    BoxedText(const QString &text, const QFont &font, QWidget *parent) : QTextEdit(parent)
    {
        setReadOnly(true);
        setFont(font);
        setPlainText(text);
        setFrameShape(QFrame::NoFrame);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        document()->setDocumentMargin(boxPadding);
        const QColor fill = Style::withOpacity(Style::quaternaryText(), 0.5);
        setStyleSheet(QStringLiteral("QTextEdit { background: rgba(%1, %2, %3, %4); border-radius: 6px; }")
                          .arg(fill.red())
                          .arg(fill.green())
                          .arg(fill.blue())
                          .arg(fill.alpha()));
        fitHeight();
    }

    QSize sizeHint() const override { return {200, height()}; }
    QSize minimumSizeHint() const override { return {60, height()}; }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QTextEdit::resizeEvent(event);
        fitHeight();
    }

private:
    void fitHeight()
    {
        document()->setTextWidth(std::max(60, viewport()->width()));
        const int height = int(std::ceil(document()->size().height())) + 2 * frameWidth();
        if (height != this->height()) setFixedHeight(height);
    }
};

// A box for a text of the alert (which the detail keeps): a text edit, or for a text too long to
// lay out whole (the text of a record of megabytes) a LineBox made line by line.
QWidget *textBox(const std::string &text, const QFont &font, QWidget *parent)
{
    if (qsizetype(text.size()) <= KeyValueRow::longValue)
        return new BoxedText(QString::fromStdString(text), font, parent);
    auto *box = new LineBox(wrappedLines(LongText{JoinedText(std::string_view(text)), nullptr}),
                            KeyValueRow::longValueLines, parent);
    box->setFont(font);
    return box;
}

QString dateText(double time)
{
    return Format::dateTime(time, Format::DateStyle::abbreviated, Format::TimeStyle::standard);
}

} // namespace

QString evidenceTitle(size_t count)
{
    return QStringLiteral("Evidence (") + QString::number(count) + QStringLiteral(" record")
           + (count == 1 ? QString() : QStringLiteral("s")) + QStringLiteral(")");
}

QString evidenceText(const std::vector<std::string> &evidence)
{
    QStringList entries;
    for (const std::string &entry : evidence) entries << QString::fromStdString(entry);
    return entries.join(QStringLiteral("\n\n"));
}

AlertDetail::AlertDetail(const MonitorAlert &alert, QWidget *parent)
    : DetailPane("alertDetail", padding, columnSpacing, parent), m_alert(alert)
{
    QWidget *content = this->content();
    QVBoxLayout *column = this->column();

    if (alert.kind == MonitorAlert::Kind::monitor) {
        auto *kind = new QWidget(content);
        auto *row = new QHBoxLayout(kind);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(4);
        auto *icon = new QLabel(kind);
        setSymbol(icon, QStringLiteral("bolt.horizontal.circle"), QFontMetrics(Style::body()).height(),
                  Style::secondaryText());
        row->addWidget(icon);
        auto *text = new QLabel(QStringLiteral("Monitor event"), kind);
        text->setObjectName(QStringLiteral("kindLabel"));
        Style::setTextStyle(text, Style::body(), Style::secondaryText());
        row->addWidget(text);
        row->addStretch(1);
        column->addWidget(kind);
    } else {
        auto *badgeRow = new QHBoxLayout;
        badgeRow->addWidget(new SeverityBadge(alert.severity(), false, content));
        badgeRow->addStretch(1);
        column->addLayout(badgeRow);
    }

    m_title = new QLabel(QString::fromStdString(alert.rule), content);
    m_title->setTextFormat(Qt::PlainText);
    m_title->setWordWrap(true);
    m_title->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Style::setTextStyle(m_title, Style::semibold(Style::title2()));
    column->addWidget(m_title);

    m_summary = textBox(m_alert.summary, Style::monospaced(Style::callout()), content);
    m_summary->setContextMenuPolicy(Qt::CustomContextMenu);
    m_copySummary = new QAction(QStringLiteral("Copy Summary"), this);
    connect(m_copySummary, &QAction::triggered, this,
            [this] { copyToClipboard(QString::fromStdString(m_alert.summary)); });
    // A popup, not a nested event loop: the detail may be replaced while the menu is open.
    connect(m_summary, &QWidget::customContextMenuRequested, this, [this](const QPoint &position) {
        auto *menu = new QMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->addAction(m_copySummary);
        menu->popup(m_summary->mapToGlobal(position));
    });
    column->addWidget(m_summary);

    auto *explanation = new QLabel(QString::fromStdString(alert.explanation), content);
    explanation->setTextFormat(Qt::PlainText);
    explanation->setWordWrap(true);
    explanation->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Style::setTextStyle(explanation, Style::body(), Style::secondaryText());
    column->addWidget(explanation);

    auto *facts = new QVBoxLayout;
    facts->setSpacing(4);
    facts->addWidget(new KeyValueRow(QStringLiteral("Event time"), dateText(alert.eventTime), false, content));
    facts->addWidget(new KeyValueRow(QStringLiteral("Alerted"), dateText(alert.raisedAt), false, content));
    facts->addWidget(new KeyValueRow(QStringLiteral("User"), QString::fromStdString(alert.user), false, content));
    facts->addWidget(new KeyValueRow(QStringLiteral("Tactic"), QString::fromStdString(alert.category), false, content));
    if (alert.technique) {
        const QString technique = QString::fromStdString(*alert.technique);
        auto *row = new QHBoxLayout;
        row->setSpacing(10);
        auto *key = new QLabel(QStringLiteral("ATT&CK"), content);
        key->setTextFormat(Qt::PlainText);
        Style::setTextStyle(key, Style::callout(), Style::secondaryText());
        key->setFixedWidth(keyColumnWidth);
        key->setAlignment(Qt::AlignRight | Qt::AlignTop);
        row->addWidget(key, 0, Qt::AlignBaseline);
        m_technique = new QLabel(content);
        m_technique->setObjectName(QStringLiteral("techniqueLink"));
        m_technique->setFont(Style::monospaced(Style::callout()));
        m_technique->setTextFormat(Qt::RichText);
        m_technique->setOpenExternalLinks(true);
        m_technique->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                                 .arg(attackTechniqueURL(technique).toString(QUrl::FullyEncoded).toHtmlEscaped(),
                                      technique.toHtmlEscaped()));
        row->addWidget(m_technique, 1, Qt::AlignBaseline);
        facts->addLayout(row);
    }
    column->addLayout(facts);

    if (!alert.evidence.empty()) {
        auto *header = new QHBoxLayout;
        m_evidenceHeader = new QLabel(evidenceTitle(alert.evidence.size()), content);
        Style::setTextStyle(m_evidenceHeader, Style::headline());
        header->addWidget(m_evidenceHeader);
        header->addStretch(1);
        m_copyEvidence = new QPushButton(QStringLiteral("Copy"), content);
        m_copyEvidence->setFlat(true);
        m_copyEvidence->setCursor(Qt::PointingHandCursor);
        m_copyEvidence->setFont(Style::caption());
        m_copyEvidence->setStyleSheet(
            QStringLiteral("QPushButton { color: %1; border: none; padding: 0; }").arg(Style::accent().name()));
        connect(m_copyEvidence, &QPushButton::clicked, this,
                [this] { copyToClipboard(evidenceText(m_alert.evidence)); });
        header->addWidget(m_copyEvidence);
        column->addLayout(header);
        // Size 11 against a body of 13.
        QFont evidenceFont = Style::monospaced(Style::body());
        evidenceFont.setPointSizeF(evidenceFont.pointSizeF() * 11.0 / 13.0);
        for (const std::string &entry : m_alert.evidence) column->addWidget(textBox(entry, evidenceFont, content));
    }
    finish();
}
