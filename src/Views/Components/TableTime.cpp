#include "Views/Components/TableTime.h"

#include "Views/Components/Formatters.h"

#include <QDateTime>

QString tableTimeText(double secondsSince1970)
{
    return Format::pattern(secondsSince1970, QStringLiteral("MMM d, h:mm:ss AP"));
}

double widestTableTime()
{
    return double(QDateTime(QDate(2025, 9, 30), QTime(12, 58, 58, 888)).toMSecsSinceEpoch()) / 1000.0;
}

QString widestSampleUser()
{
    return QString::fromUtf8("orvik \u2192 root");
}

QString widestPid()
{
    return QStringLiteral("8888888");
}
