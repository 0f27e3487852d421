#pragma once

#include "Services/AlertCenter.h"
#include "support/FakeDockBadge.h"
#include "support/FakeLoginItem.h"
#include "support/FakeNotificationCenter.h"

#include <QSettings>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// What an alert centre is given in tests: fake notifications, login item and badge, and settings
// in a folder of their own. A fixture derives from it and names these as its own; as a base it
// outlives the fixture's members, so whatever they hand these to goes first.
struct FakeAlertPlatform {
    AlertCenter::Platform platform() { return {&notifications, &loginItem, &badge, settings.get()}; }

    QTemporaryDir settingsFolder;
    std::unique_ptr<QSettings> settings =
        std::make_unique<QSettings>(settingsFolder.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    FakeNotificationCenter notifications;
    FakeLoginItem loginItem;
    FakeDockBadge badge;
};
