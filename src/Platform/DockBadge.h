#pragma once

#include <QString>

// The small count on the application's icon.
class DockBadge {
public:
    virtual ~DockBadge() = default;
    // "" shows no badge.
    virtual void setLabel(const QString &label) = 0;
};
