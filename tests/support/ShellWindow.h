#pragma once

// The whole window as the application shows it, for the shell's layout tests: its own store, a
// live monitor over a fake capture helper that is ready to start, an alert centre with fake
// notifications, login item and badge, settings and an alert history in a scratch folder, and the
// application's two menus taking their height off the window's content.

#include "Services/AlertCenter.h"
#include "Store/AuditStore.h"
#include "Views/MainWindow.h"
#include "support/FakeAlertPlatform.h"
#include "support/LiveCaptureFixture.h"

#include <QFile>
#include <QLocale>
#include <QMenuBar>
#include <QSettings>

#include <chrono>
#include <memory>
#include <variant>

class ShellWindow : public LiveCapture::LiveCaptureFixture, public FakeAlertPlatform {
protected:
    void SetUp() override
    {
        LiveCaptureFixture::SetUp();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        qputenv("QUILLMARSH_ALERTS_PATH", QFile::encodeName(scratch.filePath("alerts.json")));
        alerts = std::make_unique<AlertCenter>(platform());
        starter = readyHelper();
        make();
        store.setFilterDelay(std::chrono::milliseconds(0));
        window = std::make_unique<MainWindow>(ViewContext{&store, monitor.get(), alerts.get()});
        window->menuBar()->addMenu(QStringLiteral("File"));
        window->menuBar()->addMenu(QStringLiteral("Go"));
        window->show();
    }

    void TearDown() override
    {
        window.reset();
        if (!std::holds_alternative<LiveMonitor::Idle>(monitor->state())) stop();
        LiveCaptureFixture::TearDown();
    }

    // The visible widget of that name (any, without one); screens left behind linger until deleted.
    template <typename Widget>
    Widget *shown(const char *name = nullptr) const
    {
        for (Widget *widget : window->findChildren<Widget *>(name ? QString::fromLatin1(name) : QString()))
            if (widget->isVisibleTo(window.get())) return widget;
        return nullptr;
    }

    std::unique_ptr<AlertCenter> alerts;
    AuditStore store;
    std::unique_ptr<MainWindow> window;
};
