#pragma once

#include "Platform/LoginItem.h"

#include <QString>

// The login item as an XDG autostart entry, autostart/quillmarsh.desktop in the user's config
// folder ($XDG_CONFIG_HOME, or ~/.config): registering writes it, unregistering removes it, and it
// counts as enabled while it exists and is not hidden or switched off.
class AutostartLoginItem : public LoginItem {
public:
    // Starts `executable` at login; by default this program.
    AutostartLoginItem();
    explicit AutostartLoginItem(QString executable);

    void registerItem() override;
    void unregisterItem() override;
    LoginItemStatus status() const override;

    // Read from the environment on every call.
    static QString entryPath();
    static QString entryText(const QString &executable);

private:
    QString m_executable;
};
