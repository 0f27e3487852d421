#pragma once

#include "Engine/Record/AuditRecord.h"
#include "Engine/Record/EventFilter.h"

#include <QString>

#include <functional>
#include <vector>

class AuditStore;
class QMenu;
class QWidget;

// The menu of a record row: drill-downs that replace the store's filter with one built from the
// record, and copies of the record's texts. Any record table builds it for the row it was opened on.
namespace RecordContextMenu {

struct DrillDown {
    QString title;
    EventFilter filter;
    bool selectsRecord = false; // the time window keeps the record selected in the new list
};

// The text is made when the item is chosen: a record's hex dump or text can run to megabytes.
struct Copy {
    QString title;
    std::function<QString()> text;
};

// The items for one record, in menu order; absent items are left out.
std::vector<DrillDown> drillDowns(const AuditRecord &record);
std::vector<Copy> copies(const AuditRecord &record);

// A new menu (owned by `parent`) whose actions act on `store` and the clipboard.
QMenu *build(AuditStore &store, const AuditRecord &record, QWidget *parent);

} // namespace RecordContextMenu
