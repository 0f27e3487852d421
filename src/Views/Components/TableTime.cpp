#include "Views/Components/TableTime.h"

#include "Views/Components/Formatters.h"

QString tableTimeText(double secondsSince1970)
{
    return Format::pattern(secondsSince1970, QStringLiteral("MMM d, h:mm:ss AP"));
}
