#pragma once
// TEMPORARY stand-ins for the shared components until that branch is merged. Delete on merge.

#include "BSM/AuditCatalog.h"
#include "BSM/UserResolver.h"
#include "Model/AuditRecord.h"

#include <QDateTime>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QLabel>
#include <QLocale>
#include <QString>
#include <QTimeZone>
#include <QHBoxLayout>
#include <QToolButton>
#include <QVBoxLayout>
#include <QMenu>
#include <QClipboard>
#include <QGuiApplication>
#include <functional>

#include <cstdint>
#include <string>

namespace Shim {

inline std::string userLabel(const AuditRecord &r)
{
    if (!r.subject) return {};
    UserResolver &users = UserResolver::shared();
    const std::string a = users.shortName(r.subject->auid);
    const std::string e = users.shortName(r.subject->euid);
    if (a == "\u2014") return e;
    if (a == e) return a;
    return a + " \u2192 " + e;
}
inline std::string classLabel(uint16_t event)
{
    const auto &c = AuditCatalog::shared();
    auto it = c.events.find(event);
    if (it == c.events.end()) return {};
    std::string out;
    for (const auto &s : it->second.classes) {
        if (!out.empty()) out += ",";
        out += s;
    }
    return out;
}
inline int naturalCompare(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive);
}
inline QFont monospaced(QFont f = QFont()) { QFont m = QFontDatabase::systemFont(QFontDatabase::FixedFont); m.setPointSizeF(f.pointSizeF()); return m; }
inline QFont caption() { QFont f; f.setPointSizeF(f.pointSizeF() * 0.85); return f; }
inline QFont callout() { QFont f; f.setPointSizeF(f.pointSizeF() * 0.95); return f; }
inline QFont headline() { QFont f; f.setBold(true); return f; }
inline QFont title2() { QFont f; f.setPointSizeF(f.pointSizeF() * 1.4); f.setWeight(QFont::DemiBold); return f; }
inline QIcon symbol(const QString &) { return QIcon(); }
inline QString longTime(double t)
{
    const QDateTime d = QDateTime::fromMSecsSinceEpoch(qint64(t * 1000));
    return QLocale().toString(d, "ddd d MMM yyyy h:mm:ss.zzz AP t");
}
inline QString timeOnly(double t)
{
    const QDateTime d = QDateTime::fromMSecsSinceEpoch(qint64(t * 1000));
    const bool twelve = QLocale().timeFormat(QLocale::ShortFormat).contains(u'a', Qt::CaseInsensitive);
    return QLocale().toString(d.time(), twelve ? "h:mm:ss AP" : "HH:mm:ss");
}

inline QString recordText(const AuditRecord &) { return "TEXT"; }
inline QString hex(const RawBytes &, int) { return "HEX"; }
class FilterChip : public QWidget {
public:
    FilterChip(const QString &text, std::function<void()> onRemove, QWidget *parent = nullptr) : QWidget(parent)
    {
        auto *l = new QHBoxLayout(this);
        l->setContentsMargins(8, 3, 8, 3);
        l->setSpacing(4);
        l->addWidget(new QLabel(text, this));
        auto *b = new QToolButton(this);
        b->setText("x");
        b->setObjectName("remove");
        l->addWidget(b);
        QObject::connect(b, &QToolButton::clicked, this, [onRemove] { onRemove(); });
    }
};
class ContentUnavailable : public QWidget {
public:
    ContentUnavailable(const QString &symbol, const QString &title, const QString &text, QWidget *parent = nullptr) : QWidget(parent)
    {
        auto *l = new QVBoxLayout(this);
        auto *t = new QLabel(title, this); t->setAlignment(Qt::AlignCenter); l->addWidget(t);
        auto *d = new QLabel(text, this); d->setAlignment(Qt::AlignCenter); l->addWidget(d);
        setProperty("symbol", symbol);
    }
};
class KeyValueRow : public QWidget {
public:
    KeyValueRow(const QString &key, const QString &value, bool mono, QWidget *parent = nullptr) : QWidget(parent)
    {
        auto *l = new QHBoxLayout(this);
        l->setContentsMargins(0,0,0,0);
        auto *k = new QLabel(key, this); k->setFixedWidth(118); k->setAlignment(Qt::AlignRight|Qt::AlignTop); l->addWidget(k);
        auto *v = new QLabel(value.isEmpty() ? QString::fromUtf8("\u2014") : value, this); v->setWordWrap(true);
        v->setTextInteractionFlags(Qt::TextSelectableByMouse);
        if (mono) v->setFont(monospaced(callout()));
        l->addWidget(v, 1);
    }
};
class Expander : public QWidget {
public:
    Expander(QWidget *header, QWidget *content, bool expanded, std::function<void(bool)> onToggle, QWidget *parent = nullptr) : QWidget(parent)
    {
        auto *l = new QVBoxLayout(this);
        l->setContentsMargins(0,0,0,0);
        l->setSpacing(4);
        auto *row = new QWidget(this);
        auto *h = new QHBoxLayout(row);
        h->setContentsMargins(0,2,0,2);
        auto *chev = new QToolButton(row);
        chev->setObjectName("expanderHeader");
        chev->setText(expanded ? "v" : ">");
        h->addWidget(chev);
        h->addWidget(header, 1);
        l->addWidget(row);
        content->setParent(this);
        content->setVisible(expanded);
        l->addWidget(content);
        QObject::connect(chev, &QToolButton::clicked, this, [onToggle, expanded] { onToggle(!expanded); });
    }
};
inline QWidget *resultBadge(bool success, QWidget *parent)
{
    auto *l = new QLabel(success ? "ok" : "x", parent);
    l->setToolTip(success ? "Success" : "Failure");
    return l;
}
} // namespace Shim
