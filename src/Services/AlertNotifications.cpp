#include "Services/AlertNotifications.h"

#include <QTextBoundaryFinder>

namespace AlertNotifications {

namespace {

constexpr int bodyCharacters = 240;
constexpr size_t summaryThreshold = 4;
constexpr size_t summaryLines = 4;

QString text(const std::string &utf8)
{
    return QString::fromStdString(utf8);
}

// The first `count` user-perceived characters, so no accent or emoji is cut in half.
QString firstCharacters(const QString &string, int count)
{
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, string);
    for (int i = 0; i < count; ++i)
        if (graphemes.toNextBoundary() < 0) return string;
    return string.left(graphemes.position());
}

NotificationContent single(const MonitorAlert &alert)
{
    NotificationContent content;
    if (alert.kind == MonitorAlert::Kind::finding) {
        content.title = QString(severityTitle(alert.severity())) + ": " + text(alert.rule);
        QStringList parts = {text(alert.category)};
        if (alert.technique) parts << text(*alert.technique);
        if (alert.user != "—") parts << text(alert.user);
        content.subtitle = parts.join(" · ");
    } else {
        content.title = text(alert.rule);
        content.subtitle = "Quillmarsh";
    }
    content.body = firstCharacters(text(alert.summary), bodyCharacters);
    content.alertID = QString::fromStdString(alert.id.text());
    return content;
}

NotificationContent summary(const std::vector<MonitorAlert> &alerts)
{
    const MonitorAlert *top = &alerts.front();
    for (const MonitorAlert &alert : alerts)
        if (rawValue(alert.severity()) > rawValue(top->severity())) top = &alert;

    NotificationContent content;
    content.title = QString::number(alerts.size()) + " new "
                    + (top->severityRaw == rawValue(Severity::critical) ? "critical" : "high-severity") + " alerts";
    content.subtitle = "Quillmarsh background monitor";
    QStringList lines;
    for (size_t i = 0; i < alerts.size() && i < summaryLines; ++i) lines << "• " + text(alerts[i].rule);
    content.body = lines.join("\n");
    content.alertID = QString::fromStdString(top->id.text());
    return content;
}

} // namespace

std::vector<NotificationContent> contents(const std::vector<MonitorAlert> &alerts, bool playSound)
{
    std::vector<NotificationContent> result;
    if (alerts.size() >= summaryThreshold) {
        result.push_back(summary(alerts));
    } else {
        for (const MonitorAlert &alert : alerts) result.push_back(single(alert));
    }
    for (NotificationContent &content : result) {
        content.threadIdentifier = "quillmarsh.alerts";
        content.sound = playSound;
    }
    return result;
}

void post(NotificationCenter &center, const std::vector<MonitorAlert> &alerts, bool force, const Settings &settings)
{
    if (!force && (!settings.notificationsEnabled || settings.muted)) return;
    for (const NotificationContent &content : contents(alerts, settings.playSound)) center.add(content);
}

} // namespace AlertNotifications
