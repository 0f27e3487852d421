#pragma once

#include <QString>
#include <QUrl>

// The public ATT&CK page of a technique: "/techniques/" + the id with every "." as "/" + "/",
// so T1548.003 leads to https://attack.mitre.org/techniques/T1548/003/.
QUrl attackTechniqueURL(const QString &technique);
