#pragma once

#include <QColor>
#include <QIcon>

// The shell's symbols, painted (the desktop's icon themes ship SVGs this build cannot read and
// name nothing like them). Unknown names give a plain rounded square.
QIcon shellSymbol(const QString &name, const QColor &tint);
