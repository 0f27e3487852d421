#include "Views/ScreenWidget.h"

#include "Services/AlertCenter.h"
#include "Services/LiveMonitor.h"
#include "Store/AuditStore.h"

#include <QShowEvent>
#include <QTimer>

void detachFromServices(QWidget *widget, const ViewContext &context)
{
    widget->hide();
    QList<QObject *> objects = widget->findChildren<QObject *>();
    objects.prepend(widget);
    const QObject *services[] = {context.store, context.liveMonitor, context.alertCenter};
    for (const QObject *service : services) {
        if (!service) continue;
        for (QObject *object : objects) QObject::disconnect(service, nullptr, object, nullptr);
    }
    for (QObject *object : std::as_const(objects)) {
        if (auto *timer = qobject_cast<QTimer *>(object)) timer->stop();
        // Menus and dialogs are windows of their own: hiding the screen leaves them up.
        else if (auto *window = qobject_cast<QWidget *>(object); window && window != widget && window->isWindow())
            window->hide();
    }
    // Nothing inside reaches its handlers any more: not the rest of the gesture that caused the
    // switch (an item view's activation after its double-click), not a late probe or a selection
    // change on the way out.
    for (QObject *object : std::as_const(objects)) object->blockSignals(true);
}

void ScreenWidget::detach()
{
    m_detached = true;
    detachFromServices(this, m_context);
}

void ScreenWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // A spontaneous show is the window coming back from being minimised, not the screen appearing.
    if (!event->spontaneous() && !m_detached) appeared();
}
