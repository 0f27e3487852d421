#pragma once

#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Collects what is logged under one category while it lives (from any thread), so a test can see
// that a failure was reported; other messages pass on to the handler before it.
class CapturedWarnings {
public:
    explicit CapturedWarnings(const char *category) : m_category(category)
    {
        s_current = this;
        m_previous = qInstallMessageHandler(&handle);
    }
    ~CapturedWarnings()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    CapturedWarnings(const CapturedWarnings &) = delete;
    CapturedWarnings &operator=(const CapturedWarnings &) = delete;

    QStringList messages() const
    {
        QMutexLocker locker(&m_mutex);
        return m_messages;
    }
    QString joined() const { return messages().join('\n'); }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        CapturedWarnings *self = s_current;
        if (self && context.category && self->m_category == context.category) {
            QMutexLocker locker(&self->m_mutex);
            self->m_messages.append(message);
            return;
        }
        if (self && self->m_previous) self->m_previous(type, context, message);
    }

    static inline CapturedWarnings *s_current = nullptr;
    QString m_category;
    QtMessageHandler m_previous = nullptr;
    mutable QMutex m_mutex;
    QStringList m_messages;
};
