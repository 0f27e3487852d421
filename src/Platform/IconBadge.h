#pragma once

#include "Platform/DockBadge.h"

#include <QIcon>
#include <QImage>
#include <QObject>

// The badge of a desktop without a dock: the tray icon and the window title read the label and
// draw it themselves.
class IconBadge : public QObject, public DockBadge {
    Q_OBJECT
public:
    using QObject::QObject;

    QString label() const { return m_label; }
    void setLabel(const QString &label) override;

    // The icon with the label in a red badge at its top right; unchanged for "".
    static QImage drawn(const QImage &icon, const QString &label);
    static QIcon drawn(const QIcon &icon, const QString &label);

signals:
    void labelChanged(const QString &label);

private:
    QString m_label;
};
