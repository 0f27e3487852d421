#include "Views/Components/RecordContextMenu.h"

#include "Engine/BSM/AuditCatalog.h"
#include "Engine/BSM/UserResolver.h"
#include "Engine/Analysis/RecordFormatter.h"
#include "Engine/Record/JoinedText.h"
#include "Store/AuditStore.h"
#include "Views/Components/Clipboard.h"
#include "Views/Components/Formatters.h"

#include <QMenu>

namespace RecordContextMenu {

namespace {

constexpr double windowSeconds = 300;
constexpr int hexWidth = 16;

QString utf8(const std::string &text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace

std::vector<DrillDown> drillDowns(const AuditRecord &record)
{
    std::vector<DrillDown> items;
    if (record.subject()) {
        const QString pid = QString::number(record.subject()->pid);
        DrillDown item{"Show Events for PID " + pid, {}, false};
        item.filter.pid = record.subject()->pid;
        item.filter.label = "pid " + pid.toStdString();
        items.push_back(std::move(item));
    }
    {
        const std::string label = AuditCatalog::shared().eventLabel(record.event);
        DrillDown item{QString::fromUtf8("Show Only \u201C%1\u201D").arg(QString::fromStdString(label)), {}, false};
        item.filter.events = {record.event};
        item.filter.label = label;
        items.push_back(std::move(item));
    }
    if (record.subject() && record.subject()->auid != unsetID) {
        const uint32_t auid = record.subject()->auid;
        const std::string user = UserResolver::shared().name(auid).value_or(std::to_string(auid));
        DrillDown item{"Show Events for User " + QString::fromStdString(user), {}, false};
        item.filter.user = auid;
        item.filter.label = "user " + user;
        items.push_back(std::move(item));
    }
    {
        DrillDown item{QString::fromUtf8("Show \u00B15 Minutes Around This"), {}, true};
        item.filter.start = record.time - windowSeconds;
        item.filter.end = record.time + windowSeconds;
        item.filter.label =
            "\u00B15 min of "
            + Format::dateTime(record.time, Format::DateStyle::none, Format::TimeStyle::standard).toStdString();
        items.push_back(std::move(item));
    }
    return items;
}

std::vector<Copy> copies(const AuditRecord &record)
{
    // Each holds its own copy of the record, which keeps the texts it reads alive.
    std::vector<Copy> items;
    items.push_back({"Copy as Text", [record] { return utf8(RecordFormatter::text(record)); }});
    items.push_back({"Copy Raw Hex", [record] { return utf8(RecordFormatter::hex(record.raw(), hexWidth)); }});
    if (!record.execArgs().empty())
        items.push_back({"Copy Command Line", [record] { return utf8(JoinedText(record.execArgs(), " ").toString()); }});
    if (!record.paths().empty())
        items.push_back({"Copy Path", [record] { return QString::fromUtf8(record.paths().front()); }});
    return items;
}

QMenu *build(AuditStore &store, const AuditRecord &record, QWidget *parent)
{
    auto *menu = new QMenu(parent);
    for (DrillDown &item : drillDowns(record)) {
        const int64_t id = record.id;
        // Event labels and user names are runtime texts: an "&" in them is not a mnemonic.
        menu->addAction(QString(item.title).replace(u'&', QLatin1String("&&")), menu,
                        [&store, filter = std::move(item.filter), select = item.selectsRecord, id] {
                            store.showEvents(filter);
                            if (select) store.setSelectedRecordID(id);
                        });
    }
    menu->addSeparator();
    for (Copy &item : copies(record))
        // Event labels and user names are runtime texts: an "&" in them is not a mnemonic.
        menu->addAction(QString(item.title).replace(u'&', QLatin1String("&&")), menu,
                        [text = std::move(item.text)] { copyToClipboard(text()); });
    return menu;
}

} // namespace RecordContextMenu
