#pragma once

#include "Platform/DockBadge.h"

#include <QStringList>

// Remembers every label it was given.
class FakeDockBadge : public DockBadge {
public:
    QStringList labels;

    void setLabel(const QString &label) override { labels << label; }
};
