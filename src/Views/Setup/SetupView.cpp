#include "Views/Setup/SetupView.h"

#include "Platform/Background.h"
#include "Views/Components/Card.h"
#include "Views/Components/CodeBlock.h"
#include "Views/Components/InlineMarkdown.h"
#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"
#include "Views/Setup/SetupCommands.h"
#include "Views/Setup/SetupStatus.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

#include <array>
#include <utility>

namespace {

constexpr int screenMargin = 20;
constexpr int sectionSpacing = 18;
constexpr int statusSpacing = 12;
constexpr int headerSpacing = 14;
constexpr int verdictSpacing = 6;
constexpr int verdictIconSize = 40;
constexpr int checkColumnSpacing = 20;
constexpr int checkRowSpacing = 6;
constexpr int policyHeadingSpace = 6;
constexpr int pickerMaxWidth = 360;
constexpr int flagColumnSpacing = 14;
constexpr int flagRowSpacing = 6;
constexpr int bulletSpacing = 8;
constexpr int bulletColumnSpacing = 8;

const char *const checkingText = "Checking audit configuration…";
const char *const unreadableNote =
    "audit_control is only readable by root; view it with `sudo cat /etc/security/audit_control`.";
const char *const policyNote =
    "`argv` records full command lines for every exec — essential for investigations. Add `arge` to also capture "
    "environment variables (can contain secrets). `ahlt` halts the system if auditing fails; avoid it on laptops.";
const char *const enableNote = "Run these in Terminal. Quillmarsh doesn't change system configuration itself.";

const std::array<std::pair<const char *, const char *>, 6> flagRows = {{
    {"lo", "Audit successes and failures of the class"},
    {"+lo", "Successes only"},
    {"-fw", "Failures only (e.g. denied writes)"},
    {"^fr", "Exclude the class (also ^+ and ^-)"},
    {"naflags", "Classes for events not attributable to a user (e.g. before login)"},
    {"audit_user", "Per-user overrides in /etc/security/audit_user (always:never masks)"},
}};

const std::array<const char *, 5> notes = {
    "Apple deprecated OpenBSM in macOS 11 in favour of the Endpoint Security framework, and recent releases ship "
    "with auditd switched off. The kernel still honours audit_control when it is present.",
    "Trails are binary, big-endian, and rotate by size (`filesz`) and on `audit -n`. Files are named start.end; an "
    "active or crashed trail ends in `.not_terminated` or `.crash_recovery`.",
    "/var/audit is readable only by root. Use Open ▸ Load System Trails, which copies the trails to a private "
    "temporary folder after you authenticate.",
    "Subjects carry an audit user (auid) set at login that survives sudo/su — ideal for attributing root actions to "
    "a person.",
    "Trails are evidence. For forensic work, copy them (preserving timestamps) and hash them before analysis.",
};

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

void makeSecondary(QWidget *widget, const QFont &font = Style::body())
{
    Style::setTextStyle(widget, font, Style::secondaryText());
}

QLabel *plainLabel(const QString &content, QWidget *parent = nullptr)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(content);
    return label;
}

// A fixed text with inline code spans.
QLabel *markdownLabel(const char *content)
{
    auto *label = new QLabel;
    label->setTextFormat(Qt::RichText);
    label->setText(inlineMarkdown(text(content)));
    label->setWordWrap(true);
    return label;
}

QLabel *symbolLabel(const char *symbol, const QColor &colour, int size)
{
    auto *label = new QLabel;
    setSymbol(label, text(symbol), size, colour);
    label->setFixedSize(size, size);
    return label;
}

QFrame *divider()
{
    auto *line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    QPalette palette = line->palette();
    palette.setColor(QPalette::WindowText, Style::separator());
    line->setPalette(palette);
    return line;
}

// One line of the flag-syntax grid.
void row(QGridLayout *grid, const char *flag, const char *meaning)
{
    const int at = grid->rowCount();
    auto *flagLabel = plainLabel(text(flag));
    flagLabel->setFont(Style::semibold(Style::monospaced(Style::callout())));
    auto *meaningLabel = plainLabel(text(meaning));
    makeSecondary(meaningLabel);
    grid->addWidget(flagLabel, at, 0, Qt::AlignLeft | Qt::AlignTop);
    grid->addWidget(meaningLabel, at, 1, Qt::AlignLeft | Qt::AlignTop);
}

// One line of "Good to know".
QWidget *bullet(const char *content)
{
    auto *line = new QWidget;
    auto *layout = new QHBoxLayout(line);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(bulletColumnSpacing);
    auto *dot = plainLabel(QStringLiteral("•"));
    makeSecondary(dot);
    layout->addWidget(dot, 0, Qt::AlignTop);
    layout->addWidget(markdownLabel(content), 1);
    return line;
}

Card *card(const char *title, const char *symbol, QVBoxLayout *&content)
{
    auto *frame = new Card(text(title), text(symbol));
    content = frame->contentLayout();
    return frame;
}

} // namespace

QFuture<AuditSystemStatus> SetupView::systemProbe()
{
    return AuditSystemStatus::probe();
}

SetupView::SetupView(const ViewContext &context, QWidget *parent, Probe probe)
    : ScreenWidget(context, parent), m_probe(std::move(probe))
{
    auto *column = new QWidget;
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(screenMargin, screenMargin, screenMargin, screenMargin);
    layout->setSpacing(sectionSpacing);
    layout->addWidget(buildStatusCard());
    layout->addWidget(buildProfileCard());
    layout->addWidget(buildEnableCard());
    layout->addWidget(buildFlagCard());
    layout->addWidget(buildCommandCard());
    layout->addWidget(buildNotesCard());
    layout->addStretch(1);

    auto *scroll = new QScrollArea;
    scroll->setWidget(column);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);

    fillStatusCard();
}

// Each time the screen is shown, also when the window comes back with it.
void SetupView::appeared()
{
    startProbe();
}

void SetupView::refresh()
{
    setStatus(std::nullopt);
    startProbe();
}

// The result of a view destroyed before its probe returns is dropped; the view does not wait.
// Of overlapping probes only the newest is shown: an older one finishing last would otherwise
// put a stale result back after a refresh.
void SetupView::startProbe()
{
    const quint64 number = ++m_probesStarted;
    Background::whenDone(m_probe(), this, [this, number](QFuture<AuditSystemStatus> probed) {
        if (number != m_probesStarted || probed.resultCount() == 0) return;
        setStatus(probed.result());
    });
}

void SetupView::setStatus(std::optional<AuditSystemStatus> status)
{
    m_status = std::move(status);
    fillStatusCard();
    emit statusChanged();
}

QWidget *SetupView::buildStatusCard()
{
    auto *frame = new Card;
    m_statusLayout = frame->contentLayout();
    frame->setObjectName(QStringLiteral("statusCard"));
    return frame;
}

void SetupView::fillStatusCard()
{
    // Refresh is pressed inside the old content, so it goes once that press is over.
    if (m_statusContent) {
        m_statusContent->hide();
        m_statusContent->setParent(nullptr);
        m_statusContent->deleteLater();
    }
    m_statusContent = new QWidget;
    m_statusLayout->addWidget(m_statusContent);

    if (!m_status) {
        auto *checking = new QHBoxLayout(m_statusContent);
        checking->setContentsMargins(0, 0, 0, 0);
        auto *spinner = new QProgressBar;
        spinner->setObjectName(QStringLiteral("checkingIndicator"));
        spinner->setRange(0, 0);
        spinner->setTextVisible(false);
        spinner->setFixedSize(48, 8);
        checking->addWidget(spinner, 0, Qt::AlignVCenter);
        checking->addWidget(plainLabel(text(checkingText)), 0, Qt::AlignVCenter);
        checking->addStretch(1);
        return;
    }

    const AuditSystemStatus &status = *m_status;
    const SetupVerdict verdict = setupVerdict(status);
    auto *column = new QVBoxLayout(m_statusContent);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(statusSpacing);

    auto *header = new QHBoxLayout;
    header->setSpacing(headerSpacing);
    header->addWidget(verdict.ok ? symbolLabel("checkmark.shield.fill", Style::green(), verdictIconSize)
                                 : symbolLabel("exclamationmark.shield.fill", Style::orange(), verdictIconSize),
                      0, Qt::AlignTop);
    auto *words = new QVBoxLayout;
    words->setSpacing(verdictSpacing);
    auto *title = plainLabel(verdict.title);
    title->setObjectName(QStringLiteral("verdictTitle"));
    title->setFont(Style::semibold(Style::title2()));
    auto *message = plainLabel(verdict.message);
    message->setObjectName(QStringLiteral("verdictMessage"));
    message->setWordWrap(true);
    makeSecondary(message);
    words->addWidget(title);
    words->addWidget(message);
    header->addLayout(words, 1);
    auto *refreshButton = new QPushButton(tr("Refresh"));
    setSymbol(refreshButton, QStringLiteral("arrow.clockwise"));
    connect(refreshButton, &QPushButton::clicked, this, &SetupView::refresh);
    header->addWidget(refreshButton, 0, Qt::AlignTop);
    column->addLayout(header);

    column->addWidget(divider());

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(checkColumnSpacing);
    grid->setVerticalSpacing(checkRowSpacing);
    const QFont detailFont = Style::monospaced(Style::callout());
    const int checkIconSize = QFontMetrics(Style::body()).height();
    int at = 0;
    for (const SetupCheck &check : setupChecks(status)) {
        auto *icon = check.ok ? symbolLabel("checkmark.circle.fill", Style::green(), checkIconSize)
                              : symbolLabel("xmark.circle.fill", Style::red(), checkIconSize);
        icon->setObjectName(QStringLiteral("checkIcon"));
        auto *checkTitle = plainLabel(check.title);
        checkTitle->setObjectName(QStringLiteral("checkTitle"));
        auto *detail = plainLabel(check.detail);
        detail->setObjectName(QStringLiteral("checkDetail"));
        makeSecondary(detail, detailFont);
        grid->addWidget(icon, at, 0, Qt::AlignLeft | Qt::AlignVCenter);
        grid->addWidget(checkTitle, at, 1, Qt::AlignLeft | Qt::AlignVCenter);
        grid->addWidget(detail, at, 2, Qt::AlignLeft | Qt::AlignVCenter);
        ++at;
    }
    grid->setColumnStretch(3, 1);
    column->addLayout(grid);

    if (status.controlContents) {
        auto *heading = plainLabel(tr("Current audit_control"));
        heading->setObjectName(QStringLiteral("currentPolicyHeading"));
        heading->setFont(Style::headline());
        heading->setContentsMargins(0, policyHeadingSpace, 0, 0);
        column->addWidget(heading);
        auto *code = new CodeBlock(*status.controlContents);
        code->setObjectName(QStringLiteral("currentPolicy"));
        column->addWidget(code);
    } else if (status.controlFileExists) {
        auto *note = markdownLabel(unreadableNote);
        note->setObjectName(QStringLiteral("unreadableNote"));
        makeSecondary(note, Style::callout());
        column->addWidget(note);
    }
}

QWidget *SetupView::buildProfileCard()
{
    QWidget *frame = card("Recommended audit_control", "doc.badge.gearshape", m_profileLayout);

    auto *picker = new QWidget;
    picker->setObjectName(QStringLiteral("profilePicker"));
    picker->setMaximumWidth(pickerMaxWidth);
    auto *pickerLayout = new QHBoxLayout(picker);
    pickerLayout->setContentsMargins(0, 0, 0, 0);
    pickerLayout->setSpacing(0);
    pickerLayout->addWidget(plainLabel(tr("Profile")));
    pickerLayout->addSpacing(8);
    m_profileGroup = new QButtonGroup(this);
    m_profileGroup->setExclusive(true);
    for (const SetupProfileInfo &info : setupProfiles) {
        auto *segment = new QToolButton;
        segment->setText(text(info.rawValue));
        segment->setCheckable(true);
        segment->setChecked(info.profile == m_profile);
        segment->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        m_profileGroup->addButton(segment, int(info.profile));
        pickerLayout->addWidget(segment);
    }
    connect(m_profileGroup, &QButtonGroup::idClicked, this, [this](int id) { setProfile(Profile(id)); });
    m_profileLayout->addWidget(picker);

    m_blurb = new QLabel;
    m_blurb->setObjectName(QStringLiteral("profileBlurb"));
    m_blurb->setTextFormat(Qt::PlainText);
    m_blurb->setWordWrap(true);
    makeSecondary(m_blurb);
    m_profileLayout->addWidget(m_blurb);

    auto *note = markdownLabel(policyNote);
    note->setObjectName(QStringLiteral("policyNote"));
    makeSecondary(note, Style::callout());
    m_profileLayout->addWidget(note);

    fillProfileCard();
    return frame;
}

void SetupView::fillProfileCard()
{
    m_blurb->setText(text(profileInfo(m_profile).blurb));
    if (QAbstractButton *segment = m_profileGroup->button(int(m_profile))) segment->setChecked(true);
    delete m_profileCode;
    auto *code = new CodeBlock(auditControl());
    code->setObjectName(QStringLiteral("auditControl"));
    m_profileCode = code;
    // Between the blurb and the policy note.
    m_profileLayout->insertWidget(m_profileLayout->indexOf(m_blurb) + 1, code);
}

void SetupView::setProfile(Profile profile)
{
    if (profile == m_profile) return;
    m_profile = profile;
    fillProfileCard();
}

QWidget *SetupView::buildEnableCard()
{
    QVBoxLayout *content = nullptr;
    QWidget *frame = card("Enable auditing", "terminal", content);
    auto *note = markdownLabel(enableNote);
    makeSecondary(note);
    content->addWidget(note);
    auto *code = new CodeBlock(text(enableAuditingScript));
    code->setObjectName(QStringLiteral("enableScript"));
    content->addWidget(code);
    return frame;
}

QWidget *SetupView::buildFlagCard()
{
    QVBoxLayout *content = nullptr;
    QWidget *frame = card("Flag syntax", "questionmark.circle", content);
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(flagColumnSpacing);
    grid->setVerticalSpacing(flagRowSpacing);
    for (const auto &[flag, meaning] : flagRows) row(grid, flag, meaning);
    grid->setColumnStretch(2, 1);
    content->addLayout(grid);
    return frame;
}

QWidget *SetupView::buildCommandCard()
{
    QVBoxLayout *content = nullptr;
    QWidget *frame = card("Working with trails on the command line", "chevron.left.forwardslash.chevron.right", content);
    auto *code = new CodeBlock(text(trailCommands));
    code->setObjectName(QStringLiteral("trailCommands"));
    content->addWidget(code);
    return frame;
}

QWidget *SetupView::buildNotesCard()
{
    QVBoxLayout *content = nullptr;
    QWidget *frame = card("Good to know", "lightbulb", content);
    auto *column = new QVBoxLayout;
    column->setSpacing(bulletSpacing);
    for (const char *note : notes) column->addWidget(bullet(note));
    content->addLayout(column);
    return frame;
}
