#include "Views/Components/RecordCells.h"

#include "Engine/Record/PathComponents.h"
#include "Views/Components/CellText.h"

namespace RecordCells {

QString process(const AuditRecord &record)
{
    return record.processImage ? cellText(lastPathComponent(*record.processImage)) : QString();
}

QString processPath(const AuditRecord &record)
{
    return record.processImage ? cellText(*record.processImage, Qt::ElideMiddle) : QString();
}

QString details(const AuditRecord &record)
{
    return cellText(detailText(record), Qt::ElideMiddle);
}

} // namespace RecordCells
