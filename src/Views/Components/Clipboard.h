#pragma once

#include <QString>

#include <functional>

class QKeyEvent;

// Every copy action: the clipboard is cleared, then holds exactly this one plain-text string.
void copyToClipboard(const QString &text);

// The keys of a selectable text: Ctrl+C copies the selection (nothing without one), Ctrl+A selects
// all. True, and the event accepted, when it was one of them.
bool selectionKeyPressed(QKeyEvent *event, bool hasSelection, const std::function<QString()> &selected,
                         const std::function<void()> &selectAll);
