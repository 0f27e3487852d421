#include "Views/Components/RecordInspector.h"

#include "Engine/Analysis/RecordFormatter.h"
#include "Engine/BSM/AuditCatalog.h"
#include "Engine/BSM/BSMErrno.h"
#include "Engine/Parser/BSMParser.h"
#include "Engine/BSM/UserResolver.h"
#include "Views/Components/Clipboard.h"
#include "Views/Components/Expander.h"
#include "Views/Components/Formatters.h"
#include "Views/Components/KeyValueRow.h"
#include "Views/Components/LineBox.h"
#include "Views/Components/ResultBadge.h"
#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"
#include "Views/Components/TokenRow.h"

#include <QAction>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>
#include <QScrollBar>
#include <QStringList>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

constexpr int blockSpacing = 16;
constexpr int padding = 16;
constexpr int headerSpacing = 6;
constexpr int sectionSpacing = 6;
constexpr int resultSpacing = 4;
constexpr int tokenSpacing = 6;
constexpr int hexWidth = 16;
constexpr int codePadding = 8;
constexpr double hexPointSize = 10.5;
constexpr qreal codeRadius = 6;
constexpr double codeFillOpacity = 0.5;
// The dump's box shows this many lines (a kilobyte) and scrolls inside beyond.
constexpr int hexDumpBoxLines = 64;
constexpr int busyWidth = 56;
constexpr int busyHeight = 7;
// Weekday, day, month, year, time to the millisecond and the zone, on the locale's clock.
QString longTimePattern()
{
    const bool twelveHour = Format::usesTwelveHourClock();
    return twelveHour ? QStringLiteral("ddd, MMM d, yyyy, h:mm:ss.zzz AP t")
                      : QStringLiteral("ddd, d MMM yyyy, HH:mm:ss.zzz t");
}

QString text(std::string_view s)
{
    return QString::fromUtf8(s);
}

QString utf8(const std::string &s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

JoinedText commandLine(const AuditRecord &record)
{
    return JoinedText(record.execArgs(), " ");
}

// The text is made when the item is chosen: a record's hex dump can run to tens of megabytes.
QAction *copyAction(const QString &title, std::function<QString()> value, QObject *parent)
{
    auto *action = new QAction(title, parent);
    QObject::connect(action, &QAction::triggered, action, [value = std::move(value)] { copyToClipboard(value()); });
    return action;
}

// Rows of a list, up to the limit; the rest are counted.
template <typename List, typename Row>
void addRows(InspectorSection &section, const List &list, Row row)
{
    const size_t shown = std::min(list.size(), inspectorRowLimit - std::min(inspectorRowLimit, section.rows.size()));
    for (size_t i = 0; i < shown; ++i) section.rows.push_back(row(list[i]));
    section.more += list.size() - shown;
}

QString describe(uint32_t uid)
{
    return text(UserResolver::shared().describe(uid));
}

QString describeGroup(uint32_t gid)
{
    return text(UserResolver::shared().describeGroup(gid));
}

// Monospaced, selectable text on the rounded, faintly filled panel of the command line and the
// hex dump. The command line wraps anywhere (arguments can be long words); the dump keeps its
// width of 16 bytes and scrolls sideways inside its box when the pane is narrower, its bar at the
// box's foot. The panel is painted here, behind a transparent viewport: a style sheet would hide
// the bar.
class CodePanel : public QTextEdit {
public:
    CodePanel(const QString &value, const QFont &font, bool wrap, QWidget *parent = nullptr) : QTextEdit(parent)
    {
        setReadOnly(true);
        setFont(font);
        setFrameShape(QFrame::NoFrame);
        setPlainText(value);
        setLineWrapMode(wrap ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
        setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        document()->setDocumentMargin(codePadding);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setHorizontalScrollBarPolicy(wrap ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setMinimumWidth(codePadding * 4);
        QPalette clear = palette();
        clear.setColor(QPalette::Base, Qt::transparent);
        setPalette(clear);
        viewport()->setAutoFillBackground(false);
        setContextMenuPolicy(Qt::ActionsContextMenu);
        // The box is as tall as its text, so nothing scrolls up and down inside it; the range the
        // text edit works out while its sideways bar appears can be a bar's height too tall.
        connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
            if (value != 0) verticalScrollBar()->setValue(0);
        });
        fitHeight();
    }

protected:
    // The panel itself, behind the viewport and the bar (paintEvent paints the viewport).
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            QPainter painter(this);
            painter.setRenderHint(QPainter::Antialiasing);
            QPainterPath path;
            path.addRoundedRect(QRectF(rect()), codeRadius, codeRadius);
            painter.fillPath(path, Style::withOpacity(Style::quaternaryText(), codeFillOpacity));
        }
        return QTextEdit::event(event);
    }

    void resizeEvent(QResizeEvent *event) override
    {
        QTextEdit::resizeEvent(event);
        fitHeight();
    }

    // A vertical wheel scrolls the inspector around the box, a sideways one the dump.
    void wheelEvent(QWheelEvent *event) override
    {
        if (event->angleDelta().x() == 0 && event->pixelDelta().x() == 0) {
            event->ignore();
            return;
        }
        QTextEdit::wheelEvent(event);
    }

private:
    void fitHeight()
    {
        document()->setTextWidth(lineWrapMode() == QTextEdit::NoWrap ? -1 : viewport()->width());
        const bool scrolls = lineWrapMode() == QTextEdit::NoWrap && document()->idealWidth() > viewport()->width();
        const int bar = !scrolls ? 0
                                 : std::max(horizontalScrollBar()->sizeHint().height(),
                                            horizontalScrollBar()->isVisible() ? horizontalScrollBar()->height() : 0);
        setFixedHeight(int(std::ceil(document()->size().height())) + bar + 2 * frameWidth());
    }
};

// "and 1,234 more", under a list cut at the row limit.
QLabel *moreLabel(size_t more, QWidget *parent)
{
    auto *label = new QLabel(QStringLiteral("and ") + Format::count(int64_t(more)) + QStringLiteral(" more"), parent);
    label->setObjectName("moreRows");
    Style::setTextStyle(label, Style::caption(), Style::secondaryText());
    return label;
}

} // namespace

std::vector<InspectorSection> inspectorSections(const AuditRecord &record)
{
    std::vector<InspectorSection> sections;
    if (record.subject()) {
        const SubjectInfo &s = *record.subject();
        sections.push_back(
            {"Subject",
             {{"Audit user", describe(s.auid)},
              {"Effective", describe(s.euid) + " / " + describeGroup(s.egid)},
              {"Real", describe(s.ruid) + " / " + describeGroup(s.rgid)},
              {"PID", QString::number(s.pid)},
              {"Process",
               record.processImage ? text(*record.processImage) : QStringLiteral("unknown (no exec seen for this pid)"),
               true},
              {"Session", QString::number(s.sid)},
              {"Terminal",
               text(s.terminalAddress) + QString::fromUtf8(" \u00B7 port ") + QString::number(s.terminalPort), true}}});
    }
    if (record.target()) {
        const SubjectInfo &t = *record.target();
        sections.push_back(
            {"Target process",
             {{"PID", QString::number(t.pid)}, {"User", describe(t.euid)}, {"Audit user", describe(t.auid)}}});
    }
    if (!record.paths().empty() || !record.sockets().empty() || record.fileMode()) {
        InspectorSection objects{"Objects", {}};
        addRows(objects, record.paths(), [](std::string_view path) { return InspectorRow{"Path", text(path), true}; });
        addRows(objects, record.sockets(), [](std::string_view socket) {
            return InspectorRow{"Socket", text(socket), true};
        });
        if (record.fileMode()) objects.rows.push_back({"File mode", QString::number(*record.fileMode(), 8), true});
        if (record.fileOwner()) objects.rows.push_back({"File owner", describe(*record.fileOwner())});
        sections.push_back(std::move(objects));
    }
    if (record.identity()) {
        const SigningIdentity &i = *record.identity();
        sections.push_back({"Code signing identity",
                            {{"Signer", text(i.signerDescription())},
                             {"Signing ID", text(i.signingID), true},
                             {"Team ID", text(i.teamID), true},
                             {"CDHash", text(i.cdhash), true}}});
    }
    if (!record.texts().empty() || !record.args().empty()) {
        InspectorSection arguments{"Arguments & text", {}};
        addRows(arguments, record.texts(), [](std::string_view t) { return InspectorRow{"Text", text(t)}; });
        addRows(arguments, record.args(), [](const ArgView &arg) {
            return InspectorRow{"arg" + QString::number(arg.number) + " " + text(arg.name),
                                QString::asprintf("0x%llx (%llu)", static_cast<unsigned long long>(arg.value),
                                                  static_cast<unsigned long long>(arg.value)),
                                true};
        });
        sections.push_back(std::move(arguments));
    }
    return sections;
}

QString inspectorIdentityLine(const AuditRecord &record)
{
    const AuditCatalog &catalog = AuditCatalog::shared();
    QStringList classes;
    if (const auto it = catalog.events.find(record.event); it != catalog.events.end())
        for (const std::string &name : it->second.classes) classes << text(name);
    const QString dot = QString::fromUtf8(" \u00B7 ");
    return text(catalog.eventName(record.event)) + dot + "event " + QString::number(record.event) + dot + "classes "
           + (classes.isEmpty() ? QString::fromUtf8("\u2014") : classes.join(u','));
}

RecordInspector::RecordInspector(QWidget *parent) : DetailPane("recordInspector", parent)
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

std::shared_ptr<const RecordInspector::Tokens> RecordInspector::decode(const AuditRecord &record)
{
    const BSMParser::TokenList decoded = BSMParser::tokens(record.raw());
    auto tokens = std::make_shared<Tokens>();
    tokens->count = decoded.tokens.size();
    if (decoded.error) tokens->error = QString::fromStdString(*decoded.error);
    const size_t shown = std::min(tokens->count, inspectorRowLimit);
    tokens->rows.reserve(shown);
    for (size_t i = 0; i < shown; ++i)
        tokens->rows.push_back(std::make_shared<const TokenContent>(TokenContent::of(decoded.tokens[i])));
    return tokens;
}

void RecordInspector::setRecord(const AuditRecord &record)
{
    const bool same = m_record && m_record->id == record.id && m_record->raw().data() == record.raw().data()
                      && m_record->raw().size() == record.raw().size();
    if (m_record && m_record->id != record.id) m_expandedTokens.clear();
    m_record = record;
    m_kept = std::make_shared<const AuditRecord>(record);
    if (!same || (!m_tokens && !m_decoding.pending())) {
        PoolWork::releaseLater(std::move(m_tokens));
        m_tokens.reset();
        if (record.raw().size() <= decodeAtOnceLimit) {
            m_decoding.cancel();
            m_tokens = decode(record);
        } else {
            m_decoding.run(
                this, [record](const PoolWork::Ticket &) { return decode(record); },
                [this](std::shared_ptr<const Tokens> tokens) {
                    m_tokens = std::move(tokens);
                    rebuild();
                });
        }
    }
    rebuild();
}

void RecordInspector::reset()
{
    m_decoding.cancel();
    m_record.reset();
    m_kept.reset();
    PoolWork::releaseLater(std::move(m_tokens));
    m_tokens.reset();
    m_showHex = false;
    m_expandedTokens.clear();
}

void RecordInspector::setShowHex(bool show)
{
    if (show == m_showHex) return;
    m_showHex = show;
    rebuild();
}

void RecordInspector::setTokenExpanded(int position, bool expanded)
{
    if (expanded) {
        m_expandedTokens.insert(position);
    } else {
        m_expandedTokens.erase(position);
    }
    rebuild();
}

void RecordInspector::toggleAllTokens()
{
    if (int(m_expandedTokens.size()) == m_tokenCount) {
        m_expandedTokens.clear();
    } else {
        for (int i = 0; i < m_tokenCount; ++i) m_expandedTokens.insert(i);
    }
    rebuild();
}

void RecordInspector::rebuild()
{
    if (!m_record) return;
    const int scroll = verticalScrollBar() ? verticalScrollBar()->value() : 0;
    auto *column = new QWidget;
    column->setObjectName("inspectorColumn");
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setSpacing(blockSpacing);

    layout->addWidget(header(*m_record, column));
    if (!m_record->execArgs().empty()) layout->addWidget(commandLineBlock(*m_record, column));
    for (const InspectorSection &data : inspectorSections(*m_record)) {
        auto *section = new QWidget(column);
        section->setObjectName("section:" + data.title);
        auto *sectionLayout = new QVBoxLayout(section);
        sectionLayout->setContentsMargins(0, 0, 0, 0);
        sectionLayout->setSpacing(sectionSpacing);
        auto *title = new QLabel(data.title, section);
        title->setFont(Style::headline());
        title->setTextInteractionFlags(Qt::TextSelectableByMouse);
        sectionLayout->addWidget(title);
        for (const InspectorRow &row : data.rows)
            sectionLayout->addWidget(inspectorRow(row.key, row.value, row.monospaced, section));
        if (data.more) sectionLayout->addWidget(moreLabel(data.more, section));
        layout->addWidget(section);
    }
    layout->addWidget(tokensBlock(column));
    layout->addWidget(rawBlock(*m_record, column));
    layout->addStretch(1);

    // The old column may hold the button whose click brought us here.
    if (QWidget *old = takeWidget()) {
        old->hide();
        old->deleteLater();
    }
    setWidget(column);
    verticalScrollBar()->setValue(scroll);
}

QWidget *RecordInspector::header(const AuditRecord &record, QWidget *parent)
{
    auto *header = new QWidget(parent);
    auto *layout = new QVBoxLayout(header);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(headerSpacing);

    auto *firstLine = new QHBoxLayout;
    auto *title = new QLabel(text(AuditCatalog::shared().eventLabel(record.event)), header);
    title->setObjectName("eventTitle");
    title->setFont(Style::semibold(Style::title2()));
    title->setWordWrap(true);
    title->setTextInteractionFlags(Qt::TextSelectableByMouse);
    firstLine->addWidget(title, 1, Qt::AlignBaseline);

    const bool success = record.returnStatus == 0;
    auto *result = new QHBoxLayout;
    result->setSpacing(resultSpacing);
    result->addWidget(new ResultBadge(success, header));
    auto *resultText = new QLabel(success ? "Success" : "Failed", header);
    resultText->setObjectName("resultText");
    QFont resultFont = Style::callout();
    resultFont.setWeight(QFont::Medium);
    resultText->setFont(resultFont);
    result->addWidget(resultText);
    firstLine->addLayout(result);

    auto *copy = new QToolButton(header);
    copy->setObjectName("copyMenu");
    copy->setAutoRaise(true);
    setSymbol(copy, "doc.on.doc");
    copy->setToolTip("Copy this record");
    copy->setPopupMode(QToolButton::InstantPopup);
    copy->setStyleSheet("QToolButton::menu-indicator { image: none; width: 0; }");
    auto *menu = new QMenu(copy);
    const std::shared_ptr<const AuditRecord> kept = m_kept;
    menu->addAction(copyAction(
        "Copy Record as Text", [kept] { return utf8(RecordFormatter::text(*kept)); }, menu));
    if (!record.execArgs().empty())
        menu->addAction(copyAction(
            "Copy Command Line", [kept] { return utf8(commandLine(*kept).toString()); }, menu));
    if (!record.paths().empty())
        menu->addAction(copyAction(
            "Copy Paths", [kept] { return utf8(JoinedText(kept->paths(), "\n").toString()); }, menu));
    menu->addAction(copyAction(
        "Copy Raw Hex", [kept] { return utf8(RecordFormatter::hex(kept->raw(), hexWidth)); }, menu));
    copy->setMenu(menu);
    firstLine->addWidget(copy);
    layout->addLayout(firstLine);

    auto *identity = new QLabel(inspectorIdentityLine(record), header);
    identity->setObjectName("identityLine");
    Style::setTextStyle(identity, Style::monospaced(Style::caption()), Style::secondaryText());
    identity->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(identity);

    auto *time = new QLabel(Format::pattern(record.time, longTimePattern()), header);
    time->setObjectName("timeLine");
    Style::setTextStyle(time, Style::callout(), Style::secondaryText());
    time->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(time);

    if (!success) {
        auto *error = new QLabel(text(errnoDescription(record.returnStatus)), header);
        error->setObjectName("errorLine");
        Style::setTextStyle(error, Style::callout(), Style::red());
        error->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(error);
    }
    return header;
}

QWidget *RecordInspector::commandLineBlock(const AuditRecord &record, QWidget *parent)
{
    auto *section = new QWidget(parent);
    auto *sectionLayout = new QVBoxLayout(section);
    sectionLayout->setContentsMargins(0, 0, 0, 0);
    sectionLayout->setSpacing(sectionSpacing);
    auto *title = new QLabel("Command line", section);
    title->setFont(Style::headline());
    title->setTextInteractionFlags(Qt::TextSelectableByMouse);
    sectionLayout->addWidget(title);
    const JoinedText joined = commandLine(record);
    const QFont font = Style::monospaced(Style::callout());
    QWidget *panel = nullptr;
    if (joined.size() <= size_t(KeyValueRow::longValue)) {
        panel = new CodePanel(utf8(joined.toString()), font, true, section);
    } else {
        // Too long to lay out whole: a box that makes the lines in view.
        auto *box = new LineBox(wrappedLines(LongText{joined, m_kept}), KeyValueRow::longValueLines, section);
        box->setFont(font);
        panel = box;
    }
    panel->setObjectName("commandLine");
    const std::shared_ptr<const AuditRecord> kept = m_kept;
    panel->addAction(copyAction(
        "Copy Command Line", [kept] { return utf8(commandLine(*kept).toString()); }, panel));
    sectionLayout->addWidget(panel);
    return section;
}

QWidget *RecordInspector::tokensBlock(QWidget *parent)
{
    m_tokenCount = m_tokens ? int(m_tokens->rows.size()) : 0;

    auto *block = new QWidget(parent);
    block->setObjectName("tokens");
    auto *layout = new QVBoxLayout(block);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(tokenSpacing);

    auto *titleRow = new QHBoxLayout;
    auto *title = new QLabel(m_tokens ? QString::asprintf("Tokens (%lld)", static_cast<long long>(m_tokens->count))
                                      : QStringLiteral("Tokens"),
                             block);
    title->setObjectName("tokensTitle");
    title->setFont(Style::headline());
    titleRow->addWidget(title);
    titleRow->addStretch(1);
    if (!m_tokens) {
        // Decoding on the pool: the busy indicator stands where the rows will.
        auto *busy = new QProgressBar(block);
        busy->setObjectName("decodingTokens");
        busy->setRange(0, 0);
        busy->setTextVisible(false);
        busy->setFixedSize(busyWidth, busyHeight);
        titleRow->addWidget(busy);
        layout->addLayout(titleRow);
        return block;
    }
    auto *toggle = new QPushButton(int(m_expandedTokens.size()) == m_tokenCount ? "Collapse All" : "Expand All", block);
    toggle->setObjectName("toggleTokens");
    toggle->setFlat(true);
    toggle->setFont(Style::caption());
    toggle->setCursor(Qt::PointingHandCursor);
    QPalette link = toggle->palette();
    link.setColor(QPalette::ButtonText, palette().color(QPalette::Link));
    toggle->setPalette(link);
    connect(toggle, &QPushButton::clicked, this, &RecordInspector::toggleAllTokens);
    titleRow->addWidget(toggle);
    layout->addLayout(titleRow);

    for (int i = 0; i < m_tokenCount; ++i) {
        layout->addWidget(new TokenRow(
            m_tokens->rows[size_t(i)], m_expandedTokens.contains(i),
            [this, i](bool open) { setTokenExpanded(i, open); }, block));
    }
    if (m_tokens->count > m_tokens->rows.size())
        layout->addWidget(moreLabel(m_tokens->count - m_tokens->rows.size(), block));
    if (!m_tokens->error.isEmpty()) {
        auto *errorRow = new QHBoxLayout;
        auto *icon = new QLabel(block);
        setSymbol(icon, "exclamationmark.triangle", QFontMetrics(Style::caption()).height(), Style::orange());
        errorRow->addWidget(icon, 0, Qt::AlignTop);
        auto *error = new QLabel(m_tokens->error, block);
        error->setObjectName("decodeError");
        Style::setTextStyle(error, Style::caption(), Style::orange());
        error->setWordWrap(true);
        error->setTextInteractionFlags(Qt::TextSelectableByMouse);
        errorRow->addWidget(error, 1);
        layout->addLayout(errorRow);
    }
    return block;
}

QWidget *RecordInspector::rawBlock(const AuditRecord &record, QWidget *parent)
{
    auto *title = new QLabel(QString::asprintf("Raw record (%lld bytes)", static_cast<long long>(record.raw().size())));
    title->setFont(Style::headline());
    QFont hexFont = Style::monospaced(Style::body());
    hexFont.setPointSizeF(hexPointSize);
    // The lines in view are made as they are painted, whatever the record's size.
    auto *dump = new LineBox(hexDumpLines(record.raw(), m_kept), hexDumpBoxLines);
    dump->setFont(hexFont);
    dump->setObjectName("hexDump");
    const std::shared_ptr<const AuditRecord> kept = m_kept;
    dump->addAction(copyAction(
        "Copy Raw Hex", [kept] { return utf8(RecordFormatter::hex(kept->raw(), hexWidth)); }, dump));
    auto *expander = new Expander(title, dump, m_showHex, parent);
    connect(expander, &Expander::expandedChanged, this, &RecordInspector::setShowHex);
    expander->setObjectName("rawRecord");
    return expander;
}
