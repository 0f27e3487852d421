#pragma once

#include <QString>

// Every copy action: the clipboard is cleared, then holds exactly this one plain-text string.
void copyToClipboard(const QString &text);
