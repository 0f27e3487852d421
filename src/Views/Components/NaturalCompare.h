#pragma once

#include <QStringView>

// The "localized standard" order of names, whatever the locale: letters compared without case,
// runs of digits compared as numbers, so "user9" comes before "user10". Names equal under that
// rule fall back to plain comparison, so the order is total and sorts are repeatable.
// Negative, zero or positive like QString::compare.
int naturalCompare(QStringView a, QStringView b);

inline bool naturalLess(QStringView a, QStringView b)
{
    return naturalCompare(a, b) < 0;
}
