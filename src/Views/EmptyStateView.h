#pragma once

#include <QAbstractButton>
#include <QWidget>

class AuditStore;

// One large tile of the empty state: symbol, title and subtitle on a rounded panel that tints
// while the pointer is over it. The whole rounded panel is the button.
class ActionTile : public QAbstractButton {
    Q_OBJECT

public:
    ActionTile(const QString &title, const QString &subtitle, const QString &symbol, QWidget *parent = nullptr);

    bool hovering() const { return m_hovering; }
    QString subtitle() const { return m_subtitle; }

    static constexpr int width = 180;
    static constexpr int height = 120;

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    bool hitButton(const QPoint &pos) const override;

private:
    QString m_subtitle;
    QString m_symbol;
    bool m_hovering = false;
};

// Shown instead of a screen while nothing is loaded: the three ways to get a trail in, the drop
// hint and a link to the Audit Setup screen.
class EmptyStateView : public QWidget {
    Q_OBJECT

public:
    explicit EmptyStateView(AuditStore &store, QWidget *parent = nullptr);

    static constexpr const char *title = "No audit trail loaded";
    static constexpr const char *message = "Open OpenBSM trail files, read the live system trails in /var/audit, or "
                                           "explore a sample\nincident to see what Quillmarsh can find.";
    static constexpr const char *tip = "Tip: drop trail files anywhere in this window.";
    static constexpr const char *link = "Is auditing enabled on this Mac?";
};
