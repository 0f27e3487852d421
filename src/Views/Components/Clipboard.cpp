#include "Views/Components/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>

void copyToClipboard(const QString &text)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

bool selectionKeyPressed(QKeyEvent *event, bool hasSelection, const std::function<QString()> &selected,
                         const std::function<void()> &selectAll)
{
    if (event->matches(QKeySequence::Copy)) {
        if (hasSelection) QGuiApplication::clipboard()->setText(selected());
    } else if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
    } else {
        return false;
    }
    event->accept();
    return true;
}
