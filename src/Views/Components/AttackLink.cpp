#include "Views/Components/AttackLink.h"

QUrl attackTechniqueURL(const QString &technique)
{
    QString path = technique.trimmed();
    path.replace('.', '/');
    QUrl url(QStringLiteral("https://attack.mitre.org"));
    url.setPath(QStringLiteral("/techniques/") + path + '/');
    return url;
}
