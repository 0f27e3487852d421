#pragma once

#include "Services/AuditSystemStatus.h"

#include <QMap>
#include <QString>

#include <vector>

// What the status card of the Audit Setup screen says about a probe's result.
struct SetupVerdict {
    QString title;
    QString message;
    bool ok = false;

    bool operator==(const SetupVerdict &) const = default;
};

struct SetupCheck {
    QString title;
    bool ok = false;
    QString detail;

    bool operator==(const SetupCheck &) const = default;
};

// The first rule that holds: no policy file, a disabled daemon, a loaded one, else not running.
SetupVerdict setupVerdict(const AuditSystemStatus &status);
// The five check rows, in card order.
std::vector<SetupCheck> setupChecks(const AuditSystemStatus &status);
// Tool names in ascending order, a missing one followed by " ✗", joined by ", ".
QString toolsSummary(const QMap<QString, bool> &toolsPresent);
