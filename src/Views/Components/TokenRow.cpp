#include "Views/Components/TokenRow.h"

#include "Engine/BSM/AuditCatalog.h"
#include "Engine/BSM/UserResolver.h"
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

QString joined(const std::vector<std::string> &parts)
{
    QStringList list;
    for (const std::string &part : parts) list << QString::fromStdString(part);
    return list.join(u' ');
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
    auto *row = new KeyValueRow(key, value, monospaced, parent);
    row->valueText()->setMinimumWidth(1);
    row->valueText()->setToolTip(value);
    return row;
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
                return QString::fromStdString(payload.path);
            } else if constexpr (std::is_same_v<T, Payload::Text>) {
                return QString::fromStdString(payload.text);
            } else if constexpr (std::is_same_v<T, Payload::Arg>) {
                return QString::fromStdString(payload.arg.name);
            } else if constexpr (std::is_same_v<T, Payload::ExecArgs>) {
                return joined(payload.args);
            } else if constexpr (std::is_same_v<T, Payload::SocketInet>) {
                return QString::fromStdString(payload.address) + ":" + QString::number(payload.port);
            } else if constexpr (std::is_same_v<T, Payload::SocketUnix>) {
                return QString::fromStdString(payload.path);
            } else if constexpr (std::is_same_v<T, Payload::Identity>) {
                return QString::fromStdString(payload.identity.signingID);
            } else {
                return QString::number(token.length) + " bytes";
            }
        },
        token.payload);
}

QString tokenCopyText(const BSMToken &token)
{
    QStringList parts{QString::fromStdString(token.name())};
    for (const auto &[label, value] : token.fields(UserResolver::shared()))
        parts << QString::fromStdString(label) + "=" + QString::fromStdString(value);
    return parts.join(QLatin1String(", "));
}

TokenRow::TokenRow(const BSMToken &token, bool expanded, std::function<void(bool)> setExpanded, QWidget *parent)
    : QWidget(parent), m_token(token)
{
    auto *header = new QWidget;
    auto *headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(0, 0, 0, 0);
    auto *name = new QLabel(QString::fromStdString(token.name()), header);
    QFont nameFont = Style::monospaced(Style::callout());
    nameFont.setWeight(QFont::Medium);
    name->setFont(nameFont);
    headerLayout->addWidget(name);
    auto *type = new QLabel(QString::asprintf("0x%02x", token.id), header);
    type->setObjectName("typeByte");
    Style::setTextStyle(type, Style::monospaced(Style::caption()), Style::tertiaryText());
    headerLayout->addWidget(type);
    headerLayout->addStretch(1);
    auto *preview = new ElidedLabel(tokenPreview(token), Qt::ElideMiddle, header);
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
        for (const auto &[label, value] : token.fields(UserResolver::shared()))
            contentLayout->addWidget(
                inspectorRow(QString::fromStdString(label), QString::fromStdString(value), true, content));
    }

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *expander = new Expander(header, content, expanded, this);
    connect(expander, &Expander::expandedChanged, this, [setExpanded = std::move(setExpanded)](bool open) { setExpanded(open); });
    layout->addWidget(expander);

    auto *copy = new QAction("Copy Token", this);
    connect(copy, &QAction::triggered, this, [this] { copyToClipboard(tokenCopyText(m_token)); });
    addAction(copy);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}
