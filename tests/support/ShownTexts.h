#pragma once

// The texts a widget shows in its labels and wrapped texts, in widget order.

#include "Views/Components/WrappedText.h"

#include <QLabel>
#include <QStringList>

inline QStringList shownTexts(const QWidget *root)
{
    QStringList texts;
    for (const QWidget *widget : root->findChildren<QWidget *>()) {
        if (const auto *label = qobject_cast<const QLabel *>(widget)) texts << label->text();
        else if (const auto *wrapped = qobject_cast<const WrappedText *>(widget)) texts << wrapped->text();
    }
    return texts;
}
