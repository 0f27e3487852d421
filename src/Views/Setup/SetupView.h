#pragma once

#include "Services/AuditSystemStatus.h"
#include "Views/ScreenWidget.h"
#include "Views/Setup/SetupProfile.h"

#include <QFuture>

#include <functional>
#include <optional>

class QButtonGroup;
class QLabel;
class QVBoxLayout;

// The Audit Setup screen: whether the host's auditing is configured and running, a recommended
// audit_control for a chosen profile, and the commands and notes to set it up by hand. It changes
// nothing on the system; it only probes the host and copies text.
class SetupView : public ScreenWidget {
    Q_OBJECT

public:
    using Profile = SetupProfile;
    // Starts one probe of the host; tests hand in one that yields a fixed status.
    using Probe = std::function<QFuture<AuditSystemStatus>()>;
    static QFuture<AuditSystemStatus> systemProbe();

    explicit SetupView(const ViewContext &context, QWidget *parent = nullptr, Probe probe = systemProbe);

    // Absent while no probe has returned, and from a refresh until its probe returns.
    const std::optional<AuditSystemStatus> &status() const { return m_status; }
    Profile profile() const { return m_profile; }
    void setProfile(Profile profile);
    // The generated text for the current profile.
    QString auditControl() const { return ::auditControl(m_profile); }

    // What "Refresh" does: back to the checking row, then a new probe.
    void refresh();

signals:
    void statusChanged();

protected:
    void appeared() override;

private:
    void startProbe();
    void setStatus(std::optional<AuditSystemStatus> status);
    void fillStatusCard();
    void fillProfileCard();

    QWidget *buildStatusCard();
    QWidget *buildProfileCard();
    QWidget *buildEnableCard();
    QWidget *buildFlagCard();
    QWidget *buildCommandCard();
    QWidget *buildNotesCard();

    Probe m_probe;
    std::optional<AuditSystemStatus> m_status;
    Profile m_profile = Profile::investigation;
    // Each probe takes the next number; only the newest one's result is shown.
    quint64 m_probesStarted = 0;

    QVBoxLayout *m_statusLayout = nullptr;
    QWidget *m_statusContent = nullptr;
    QButtonGroup *m_profileGroup = nullptr;
    QLabel *m_blurb = nullptr;
    QVBoxLayout *m_profileLayout = nullptr;
    QWidget *m_profileCode = nullptr;
};
