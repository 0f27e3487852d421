#include "Views/Monitor/MonitorCards.h"

#include "Services/AlertCenter.h"
#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"
#include "Views/Components/WrappingCheckBox.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

void setCheckedQuietly(QAbstractButton *button, bool checked)
{
    const QSignalBlocker blocker(button);
    button->setChecked(checked);
}

// The cards share their row and scroll only vertically: long labels wrap.
QCheckBox *toggle(const QString &text, QWidget *parent, QVBoxLayout *column, std::function<void(bool)> changed)
{
    auto *box = new WrappingCheckBox(text, parent);
    QObject::connect(box, &QCheckBox::toggled, parent, std::move(changed));
    column->addWidget(box);
    return box;
}

} // namespace

QPushButton *makeLinkButton(const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QStringLiteral("QPushButton { color: %1; border: none; padding: 0; text-align: left; }")
                              .arg(Style::accent().name()));
    return button;
}

AlertingCard::AlertingCard(AlertCenter *alerts, std::function<void()> openNotificationSettings, QWidget *parent)
    : Card(QStringLiteral("Alerting"), QStringLiteral("bell.badge"), parent)
    , m_alerts(alerts)
    , m_openNotificationSettings(std::move(openNotificationSettings))
{
    setObjectName(QStringLiteral("alertingCard"));
    QVBoxLayout *column = contentLayout();

    auto *picker = new QHBoxLayout;
    picker->setSpacing(12);
    auto *pickerLabel = new QLabel(QStringLiteral("Alert on"), this);
    picker->addWidget(pickerLabel);
    m_severityGroup = new QButtonGroup(this);
    m_high = new QRadioButton(QStringLiteral("High and Critical"), this);
    m_critical = new QRadioButton(QStringLiteral("Critical only"), this);
    m_severityGroup->addButton(m_high);
    m_severityGroup->addButton(m_critical);
    auto *choices = new QVBoxLayout;
    choices->setSpacing(4);
    choices->addWidget(m_high);
    choices->addWidget(m_critical);
    picker->addLayout(choices);
    picker->addStretch(1);
    column->addLayout(picker);
    connect(m_high, &QRadioButton::clicked, this, [this] { m_alerts->setMinimumSeverity(Severity::high); });
    connect(m_critical, &QRadioButton::clicked, this, [this] { m_alerts->setMinimumSeverity(Severity::critical); });

    m_notifications = toggle(QStringLiteral("Show macOS notifications"), this, column,
                             [this](bool on) { m_alerts->setNotificationsEnabled(on); });
    m_sound = toggle(QStringLiteral("Play sound"), this, column, [this](bool on) { m_alerts->setPlaySound(on); });

    auto *permission = new QHBoxLayout;
    permission->setSpacing(6);
    m_permissionIcon = new QLabel(this);
    permission->addWidget(m_permissionIcon);
    m_permissionText = new QLabel(this);
    m_permissionText->setObjectName(QStringLiteral("permissionText"));
    m_permissionText->setWordWrap(true);
    permission->addWidget(m_permissionText, 1);
    m_permissionButton = makeLinkButton(QString(), this);
    m_permissionButton->setFont(Style::callout());
    m_permissionButton->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(m_permissionButton, &QPushButton::clicked, this, [this] {
        if (m_alerts->notificationStatus() == NotificationAuthorization::denied) {
            if (m_openNotificationSettings) m_openNotificationSettings();
        } else {
            m_alerts->requestAuthorization();
        }
    });
    permission->addWidget(m_permissionButton);
    column->addLayout(permission);

    m_test = new QPushButton(QStringLiteral("Send Test Alert"), this);
    connect(m_test, &QPushButton::clicked, m_alerts, &AlertCenter::sendTestAlert);
    auto *testRow = new QHBoxLayout;
    testRow->addWidget(m_test);
    testRow->addStretch(1);
    column->addLayout(testRow);

    for (auto signal : {&AlertCenter::minimumSeverityChanged, &AlertCenter::notificationsEnabledChanged,
                        &AlertCenter::playSoundChanged, &AlertCenter::notificationStatusChanged})
        connect(m_alerts, signal, this, &AlertingCard::update);
    update();
}

void AlertingCard::update()
{
    const Severity minimum = m_alerts->minimumSeverity();
    // Neither choice is on for a minimum stored as info, low or medium.
    m_severityGroup->setExclusive(false);
    setCheckedQuietly(m_high, minimum == Severity::high);
    setCheckedQuietly(m_critical, minimum == Severity::critical);
    m_severityGroup->setExclusive(true);
    setCheckedQuietly(m_notifications, m_alerts->notificationsEnabled());
    setCheckedQuietly(m_sound, m_alerts->playSound());
    m_sound->setEnabled(m_alerts->notificationsEnabled());

    const int iconSize = QFontMetrics(Style::callout()).height();
    switch (m_alerts->notificationStatus()) {
    case NotificationAuthorization::authorized:
    case NotificationAuthorization::provisional:
    case NotificationAuthorization::ephemeral:
        setSymbol(m_permissionIcon, QStringLiteral("checkmark.circle.fill"), iconSize, Style::green());
        m_permissionText->setText(QStringLiteral("Notifications allowed"));
        Style::setTextStyle(m_permissionText, Style::callout(), Style::green());
        m_permissionButton->hide();
        break;
    case NotificationAuthorization::denied:
        setSymbol(m_permissionIcon, QStringLiteral("exclamationmark.triangle.fill"), iconSize, Style::orange());
        m_permissionText->setText(QStringLiteral("Notifications are turned off for Quillmarsh"));
        Style::setTextStyle(m_permissionText, Style::callout(), Style::orange());
        m_permissionButton->setText(QStringLiteral("Open Settings"));
        m_permissionButton->show();
        break;
    default:
        setSymbol(m_permissionIcon, QStringLiteral("questionmark.circle"), iconSize, Style::secondaryText());
        m_permissionText->setText(QStringLiteral("Permission not requested yet"));
        Style::setTextStyle(m_permissionText, Style::callout(), Style::secondaryText());
        m_permissionButton->setText(QStringLiteral("Allow…"));
        m_permissionButton->show();
        break;
    }
}

BackgroundCard::BackgroundCard(AlertCenter *alerts, std::function<void()> openLoginItems, QWidget *parent)
    : Card(QStringLiteral("Background"), QStringLiteral("menubar.rectangle"), parent)
    , m_alerts(alerts)
    , m_openLoginItems(std::move(openLoginItems))
{
    setObjectName(QStringLiteral("backgroundCard"));
    QVBoxLayout *column = contentLayout();
    m_menuBar = toggle(QStringLiteral("Show in menu bar"), this, column,
                       [this](bool on) { m_alerts->setShowMenuBarIcon(on); });
    m_background = toggle(QStringLiteral("Keep monitoring after the window is closed"), this, column,
                          [this](bool on) { m_alerts->setKeepRunningInBackground(on); });
    m_autostart = toggle(QStringLiteral("Start monitoring when Quillmarsh opens"), this, column,
                         [this](bool on) { m_alerts->setStartCaptureAtLaunch(on); });
    m_login = toggle(QStringLiteral("Open Quillmarsh at login"), this, column, [this](bool on) {
        m_alerts->setLaunchAtLogin(on);
        update(); // the toggle ends where the system's status puts it
    });

    m_approval = new QWidget(this);
    m_approval->setObjectName(QStringLiteral("loginApprovalHint"));
    auto *hint = new QHBoxLayout(m_approval);
    hint->setContentsMargins(0, 0, 0, 0);
    auto *icon = new QLabel(m_approval);
    setSymbol(icon, QStringLiteral("exclamationmark.triangle.fill"), QFontMetrics(Style::callout()).height(),
              Style::orange());
    hint->addWidget(icon);
    auto *text = new QLabel(QStringLiteral("Approve Quillmarsh in Login Items"), m_approval);
    Style::setTextStyle(text, Style::callout(), Style::orange());
    text->setWordWrap(true);
    hint->addWidget(text, 1);
    m_approvalButton = makeLinkButton(QStringLiteral("Open Settings"), m_approval);
    m_approvalButton->setFont(Style::callout());
    connect(m_approvalButton, &QPushButton::clicked, this, [this] {
        if (m_openLoginItems) m_openLoginItems();
    });
    hint->addWidget(m_approvalButton);
    column->addWidget(m_approval);

    m_openWindow = toggle(QStringLiteral("Show the main window at launch"), this, column,
                          [this](bool on) { m_alerts->setOpenWindowAtLaunch(on); });
    auto *footnote = new QLabel(
        QStringLiteral("With all of these on, Quillmarsh starts at login, asks once for your password, and watches "
                       "quietly from the menu bar."),
        this);
    footnote->setWordWrap(true);
    Style::setTextStyle(footnote, Style::caption(), Style::secondaryText());
    column->addWidget(footnote);

    for (auto signal : {&AlertCenter::showMenuBarIconChanged, &AlertCenter::keepRunningInBackgroundChanged,
                        &AlertCenter::startCaptureAtLaunchChanged, &AlertCenter::loginItemStatusChanged,
                        &AlertCenter::openWindowAtLaunchChanged})
        connect(m_alerts, signal, this, &BackgroundCard::update);
    update();
}

void BackgroundCard::update()
{
    const bool menuBar = m_alerts->showMenuBarIcon();
    const bool background = m_alerts->keepRunningInBackground();
    setCheckedQuietly(m_menuBar, menuBar);
    setCheckedQuietly(m_background, background);
    m_background->setEnabled(menuBar);
    setCheckedQuietly(m_autostart, m_alerts->startCaptureAtLaunch());
    const LoginItemStatus login = m_alerts->loginItemStatus();
    setCheckedQuietly(m_login, login == LoginItemStatus::enabled || login == LoginItemStatus::requiresApproval);
    m_approval->setVisible(login == LoginItemStatus::requiresApproval);
    setCheckedQuietly(m_openWindow, m_alerts->openWindowAtLaunch());
    m_openWindow->setEnabled(menuBar && background);
}
