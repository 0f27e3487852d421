#include "Views/Monitor/AlertDetail.h"

#include "Views/Components/KeyValueRow.h"
#include "Views/Components/SeverityBadge.h"
#include "support/ShownTexts.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTextEdit>

#include <gtest/gtest.h>

namespace {

MonitorAlert findingAlert()
{
    MonitorAlert a;
    a.id = Uuid::random();
    a.kind = MonitorAlert::Kind::finding;
    a.eventTime = 1700000000;
    a.raisedAt = 1700000005;
    a.severityRaw = 4;
    a.rule = "Sudo abuse";
    a.category = "Privilege Escalation";
    a.technique = "T1548.003";
    a.summary = "sudo -s by orvik";
    a.explanation = "An interactive root shell.";
    a.user = "orvik";
    a.evidence = {"header, one\nsubject, orvik", "header, two"};
    return a;
}

QStringList keyValues(const AlertDetail &detail)
{
    QStringList out;
    for (const KeyValueRow *row : detail.findChildren<KeyValueRow *>()) out << shownTexts(row);
    return out;
}

TEST(AlertDetail, FindingAlertWithTechniqueAndEvidence)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const AlertDetail detail(findingAlert());
    EXPECT_EQ(detail.titleLabel()->text(), "Sudo abuse");
    ASSERT_TRUE(detail.findChild<SeverityBadge *>());
    EXPECT_EQ(detail.findChild<SeverityBadge *>()->severity(), Severity::critical);
    ASSERT_TRUE(qobject_cast<QTextEdit *>(detail.summaryBox()));
    EXPECT_EQ(qobject_cast<QTextEdit *>(detail.summaryBox())->toPlainText(), "sudo -s by orvik");
    const QStringList facts = keyValues(detail);
    EXPECT_TRUE(facts.contains("Nov 14, 2023, 10:13:20 PM")) << facts.join('|').toStdString();
    EXPECT_TRUE(facts.contains("Nov 14, 2023, 10:13:25 PM"));
    EXPECT_TRUE(facts.contains("Privilege Escalation"));
    ASSERT_TRUE(detail.techniqueLink());
    EXPECT_TRUE(detail.techniqueLink()->text().contains("https://attack.mitre.org/techniques/T1548/003/"));
    EXPECT_TRUE(detail.techniqueLink()->text().contains(">T1548.003<"));
    ASSERT_TRUE(detail.evidenceHeader());
    EXPECT_EQ(detail.evidenceHeader()->text(), "Evidence (2 records)");

    detail.copySummaryAction()->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "sudo -s by orvik"); // the summary alone
    detail.copyEvidenceButton()->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "header, one\nsubject, orvik\n\nheader, two");
}

TEST(AlertDetail, MonitorAndTestAlertsHaveNoTechniqueOrEvidence)
{
    MonitorAlert a = findingAlert();
    a.kind = MonitorAlert::Kind::monitor;
    a.rule = "Test alert";
    a.category = "Monitor";
    a.technique.reset();
    a.evidence.clear();
    a.user = "tester";
    const AlertDetail detail(a);
    EXPECT_FALSE(detail.findChild<SeverityBadge *>());
    EXPECT_EQ(detail.findChild<QLabel *>("kindLabel")->text(), "Monitor event");
    EXPECT_FALSE(detail.techniqueLink());
    EXPECT_FALSE(detail.evidenceHeader());
    EXPECT_FALSE(detail.copyEvidenceButton());
    EXPECT_TRUE(keyValues(detail).contains("tester"));
    EXPECT_TRUE(keyValues(detail).contains("Monitor"));
}

TEST(AlertDetail, TitlesAndOddSeverity)
{
    EXPECT_EQ(evidenceTitle(1), "Evidence (1 record)");
    EXPECT_EQ(evidenceTitle(5), "Evidence (5 records)");
    EXPECT_EQ(evidenceText({"a", "b\nc"}), "a\n\nb\nc");
    MonitorAlert a = findingAlert();
    a.severityRaw = 42;
    a.technique = "T1110";
    const AlertDetail detail(a);
    EXPECT_EQ(detail.findChild<SeverityBadge *>()->severity(), Severity::high);
    EXPECT_TRUE(detail.techniqueLink()->text().contains("https://attack.mitre.org/techniques/T1110/"));
}

} // namespace
