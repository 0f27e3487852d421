#pragma once

#include "Views/Components/Card.h"

#include <functional>

class AlertCenter;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QWidget;

// The "Alerting" card: which findings alert, notifications with or without sound, the
// notification permission and "Send Test Alert". Every control writes straight into the centre.
class AlertingCard : public Card {
    Q_OBJECT

public:
    AlertingCard(AlertCenter *alerts, std::function<void()> openNotificationSettings, QWidget *parent = nullptr);

    QRadioButton *highButton() const { return m_high; }
    QRadioButton *criticalButton() const { return m_critical; }
    QCheckBox *notificationsBox() const { return m_notifications; }
    QCheckBox *soundBox() const { return m_sound; }
    QLabel *permissionLabel() const { return m_permissionText; }
    QPushButton *permissionButton() const { return m_permissionButton; } // hidden while allowed
    QPushButton *testButton() const { return m_test; }

private:
    void update();

    AlertCenter *m_alerts;
    std::function<void()> m_openNotificationSettings;
    QButtonGroup *m_severityGroup;
    QRadioButton *m_high;
    QRadioButton *m_critical;
    QCheckBox *m_notifications;
    QCheckBox *m_sound;
    QLabel *m_permissionIcon;
    QLabel *m_permissionText;
    QPushButton *m_permissionButton;
    QPushButton *m_test;
};

// The "Background" card: menu-bar icon, running on after the window closes, capture at launch,
// login item and the main window at launch.
class BackgroundCard : public Card {
    Q_OBJECT

public:
    BackgroundCard(AlertCenter *alerts, std::function<void()> openLoginItems, QWidget *parent = nullptr);

    QCheckBox *menuBarBox() const { return m_menuBar; }
    QCheckBox *backgroundBox() const { return m_background; }
    QCheckBox *autostartBox() const { return m_autostart; }
    QCheckBox *loginBox() const { return m_login; }
    QWidget *approvalHint() const { return m_approval; }
    QPushButton *approvalButton() const { return m_approvalButton; }
    QCheckBox *openWindowBox() const { return m_openWindow; }

private:
    void update();

    AlertCenter *m_alerts;
    std::function<void()> m_openLoginItems;
    QCheckBox *m_menuBar;
    QCheckBox *m_background;
    QCheckBox *m_autostart;
    QCheckBox *m_login;
    QWidget *m_approval;
    QPushButton *m_approvalButton;
    QCheckBox *m_openWindow;
};

// A borderless button drawn as a link, in the accent colour.
QPushButton *makeLinkButton(const QString &text, QWidget *parent);
