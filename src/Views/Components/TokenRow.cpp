#include "Views/Components/TokenRow.h"

#include "Engine/BSM/AuditCatalog.h"
#include "Engine/BSM/UserResolver.h"
#include "Views/Components/CellText.h"
#include "Views/Components/Clipboard.h"
#include "Views/Components/ElidedLabel.h"
#include "Views/Components/Expander.h"
#include "Views/Components/KeyValueRow.h"
#include "Views/Components/Style.h"
#include "Views/Components/WrappedText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QAction>
#include <QStringList>
#include <QVBoxLayout>

#include <type_traits>

namespace {

constexpr int fieldSpacing = 3;
constexpr int fieldPadding = 4;

// The parts joined by blanks as a cell shows them: the start and the end of a long list, read
// from either end without a walk over the rest.
QString joined(const std::vector<std::string> &parts)
{
    const size_t limit = size_t(cellTextLimit);
    std::string head;
    size_t next = 0;
    for (; next < parts.size() && head.size() <= limit; ++next) {
        if (next) head += ' ';
        head += parts[next];
    }
    if (next == parts.size() && head.size() <= limit) return QString::fromStdString(head);
    // The end, gathered backwards and then put in order.
    std::vector<std::string_view> last;
    size_t tailSize = 0;
    for (size_t i = parts.size(); i-- > 0 && tailSize <= limit / 2;) {
        last.push_back(parts[i]);
        tailSize += parts[i].size() + 1;
    }
    std::string tail;
    for (auto it = last.rbegin(); it != last.rend(); ++it) {
        if (it != last.rbegin()) tail += ' ';
        tail += *it;
    }
    return cellTextFromEnds(head, tail);
}

QString processPreview(const SubjectInfo &info)
{
    QString user;
    if (info.euid == unsetID) {
        user = QString::fromUtf8("\u2014");
    } else {
        user = QString::fromStdString(UserResolver::shared().name(info.euid).value_or(std::to_string(info.euid)));
    }
    return "pid " + QString::number(info.pid) + QString::fromUtf8(" \u00B7 ") + user;
}

} // namespace

KeyValueRow *inspectorRow(const QString &key, const QString &value, bool monospaced, QWidget *parent)
{
    if (value.size() > KeyValueRow::longValue) return new KeyValueRow(key, LongText::of(value), parent);
    auto *row = new KeyValueRow(key, value, monospaced, parent);
    row->valueText()->setMinimumWidth(1);
    row->valueText()->setToolTip(value);
    return row;
}

KeyValueRow *inspectorRow(const QString &key, std::string_view value, bool monospaced, std::shared_ptr<const void> keep,
                          QWidget *parent)
{
    if (qsizetype(value.size()) > KeyValueRow::longValue)
        return new KeyValueRow(key, LongText{JoinedText(value), std::move(keep)}, parent);
    return inspectorRow(key, QString::fromUtf8(value.data(), qsizetype(value.size())), monospaced, parent);
}

QString tokenPreview(const BSMToken &token)
{
    return std::visit(
        [&token](const auto &payload) -> QString {
            using T = std::decay_t<decltype(payload)>;
            if constexpr (std::is_same_v<T, Payload::Header>) {
                return QString::fromStdString(AuditCatalog::shared().eventLabel(payload.event));
            } else if constexpr (std::is_same_v<T, Payload::Subject> || std::is_same_v<T, Payload::Process>) {
                return processPreview(payload.info);
            } else if constexpr (std::is_same_v<T, Payload::ReturnValue>) {
                return payload.status == 0 ? QStringLiteral("success") : QStringLiteral("failure");
            } else if constexpr (std::is_same_v<T, Payload::Path>) {
                return cellText(payload.path, Qt::ElideMiddle);
            } else if constexpr (std::is_same_v<T, Payload::Text>) {
                return cellText(payload.text, Qt::ElideMiddle);
            } else if constexpr (std::is_same_v<T, Payload::Arg>) {
                return cellText(payload.arg.name, Qt::ElideMiddle);
            } else if constexpr (std::is_same_v<T, Payload::ExecArgs>) {
                return joined(payload.args);
            } else if constexpr (std::is_same_v<T, Payload::SocketInet>) {
                return QString::fromStdString(payload.address) + ":" + QString::number(payload.port);
            } else if constexpr (std::is_same_v<T, Payload::SocketUnix>) {
                return cellText(payload.path, Qt::ElideMiddle);
            } else if constexpr (std::is_same_v<T, Payload::Identity>) {
                return cellText(payload.identity.signingID, Qt::ElideMiddle);
            } else {
                return QString::number(token.length) + " bytes";
            }
        },
        token.payload);
}

QString tokenCopyText(const BSMToken &token)
{
    return TokenContent::of(token).copyText();
}

TokenContent TokenContent::of(const BSMToken &token)
{
    TokenContent content;
    content.id = token.id;
    content.name = QString::fromStdString(token.name());
    content.preview = tokenPreview(token);
    content.fields = token.fields(UserResolver::shared());
    return content;
}

QString TokenContent::copyText() const
{
    QStringList parts{name};
    for (const auto &[label, value] : fields)
        parts << QString::fromStdString(label) + "=" + QString::fromStdString(value);
    return parts.join(QLatin1String(", "));
}

TokenRow::TokenRow(const BSMToken &token, bool expanded, std::function<void(bool)> setExpanded, QWidget *parent)
    : TokenRow(std::make_shared<const TokenContent>(TokenContent::of(token)), expanded, std::move(setExpanded), parent)
{}

TokenRow::TokenRow(std::shared_ptr<const TokenContent> shown, bool expanded, std::function<void(bool)> setExpanded,
                   QWidget *parent)
    : QWidget(parent), m_content(std::move(shown))
{
    auto *header = new QWidget;
    auto *headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(0, 0, 0, 0);
    auto *name = new QLabel(m_content->name, header);
    QFont nameFont = Style::monospaced(Style::callout());
    nameFont.setWeight(QFont::Medium);
    name->setFont(nameFont);
    headerLayout->addWidget(name);
    auto *type = new QLabel(QString::asprintf("0x%02x", m_content->id), header);
    type->setObjectName("typeByte");
    Style::setTextStyle(type, Style::monospaced(Style::caption()), Style::tertiaryText());
    headerLayout->addWidget(type);
    headerLayout->addStretch(1);
    auto *preview = new ElidedLabel(m_content->preview, Qt::ElideMiddle, header);
    preview->setObjectName("preview");
    preview->setAlignment(Qt::AlignRight);
    preview->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    Style::setTextStyle(preview, Style::caption(), Style::secondaryText());
    headerLayout->addWidget(preview, 1);

    auto *content = new QWidget;
    auto *contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(0, fieldPadding, 0, fieldPadding);
    contentLayout->setSpacing(fieldSpacing);
    if (expanded) {
        for (const auto &[label, value] : m_content->fields)
            contentLayout->addWidget(inspectorRow(QString::fromStdString(label), value, true, m_content, content));
    }

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *expander = new Expander(header, content, expanded, this);
    connect(expander, &Expander::expandedChanged, this,
            [setExpanded = std::move(setExpanded)](bool open) { setExpanded(open); });
    layout->addWidget(expander);

    auto *copy = new QAction("Copy Token", this);
    connect(copy, &QAction::triggered, this, [this] { copyToClipboard(m_content->copyText()); });
    addAction(copy);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}
