#pragma once

#include <QByteArray>
#include <QUrl>

// Shows a file in the desktop's file manager: selected in its folder where the file manager
// offers that over D-Bus (org.freedesktop.FileManager1), else by opening the folder. A missing
// file is the file manager's business. The path is the file's native bytes, which need not be
// UTF-8.
void revealInFileManager(const QByteArray &path);
// A file URL naming exactly these bytes.
QUrl fileUrl(const QByteArray &path);
