#pragma once

#include <QString>

// Shows a file in the desktop's file manager: selected in its folder where the file manager
// offers that over D-Bus (org.freedesktop.FileManager1), else by opening the folder. A missing
// file is the file manager's business.
void revealInFileManager(const QString &path);
