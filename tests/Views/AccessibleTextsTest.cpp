// What assistive technology reads where a screen paints instead of showing text: badge cells give
// the severity's name or "Success"/"Failure", and widgets that paint their own text carry it as
// their accessible name.
#include "Views/Components/BarList.h"
#include "Views/Components/ElidedLabel.h"
#include "Views/Components/ResultBadge.h"
#include "Views/Components/SeverityBadge.h"
#include "Views/Components/StatTile.h"
#include "Views/Components/WrappedText.h"
#include "Views/Events/EventsTableModel.h"
#include "Views/Findings/FindingsTableModel.h"
#include "Views/Live/LiveFindingsList.h"
#include "Views/Live/LiveRecordsModel.h"
#include "Views/Monitor/AlertTableModel.h"
#include "Views/Network/NetworkTableModel.h"
#include "support/QtTestSupport.h"
#include "support/RecordValue.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QLocale>
#include <QTableView>

#include <gtest/gtest.h>

using TestRecords::RecordValue;

namespace {

QString name(QWidget *widget)
{
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible ? accessible->text(QAccessible::Name) : QString();
}

QVariant role(const QAbstractItemModel &model, int row, int column, int role)
{
    return model.index(row, column).data(role);
}

Finding finding(Severity severity, const std::string &rule)
{
    Finding f;
    f.rule = rule;
    f.severity = severity;
    f.summary = rule + " summary";
    f.time = 1700000000;
    return f;
}

RecordSnapshot records(std::vector<AuditRecord> list)
{
    return std::make_shared<const std::vector<AuditRecord>>(std::move(list));
}

TEST(AccessibleTextsTest, SeverityBadgeCellsGiveTheSeverityName)
{
    FindingsTableModel findings;
    findings.setMinimum(Severity::info);
    findings.setFindings(std::make_shared<const std::vector<Finding>>(
        std::vector<Finding>{finding(Severity::critical, "Clock"), finding(Severity::low, "Login")}));
    ASSERT_TRUE(waitUntil([&] { return !findings.isDeriving(); }));
    QStringList names;
    for (int row = 0; row < findings.rowCount(); ++row) {
        names << role(findings, row, FindingsTableModel::severityColumn, Qt::AccessibleTextRole).toString();
        EXPECT_FALSE(role(findings, row, FindingsTableModel::severityColumn, Qt::ToolTipRole).isValid())
            << "a severity badge has no help text";
    }
    names.sort();
    EXPECT_EQ(names, (QStringList{"Critical", "Low"}));
    EXPECT_FALSE(role(findings, 0, FindingsTableModel::ruleColumn, Qt::AccessibleTextRole).isValid())
        << "text cells read their display text";

    // What a screen reader is handed for the cell.
    QTableView table;
    table.setModel(&findings);
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(&table);
    ASSERT_NE(accessible, nullptr);
    ASSERT_NE(accessible->tableInterface(), nullptr);
    QAccessibleInterface *cell = accessible->tableInterface()->cellAt(0, FindingsTableModel::severityColumn);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->text(QAccessible::Name),
              role(findings, 0, FindingsTableModel::severityColumn, Qt::AccessibleTextRole));

    MonitorAlert high;
    high.kind = MonitorAlert::Kind::finding;
    high.severityRaw = 7; // out of range: shown as high
    MonitorAlert monitor;
    monitor.kind = MonitorAlert::Kind::monitor;
    AlertTableModel alerts;
    alerts.setRows({high, monitor});
    EXPECT_EQ(role(alerts, 0, AlertTableModel::severityColumn, Qt::AccessibleTextRole), "High");
    EXPECT_EQ(role(alerts, 1, AlertTableModel::severityColumn, Qt::DisplayRole), "Monitor") << "a label, not a badge";

    LiveFindingsModel live;
    live.setFindings({finding(Severity::medium, "Keychain access")});
    EXPECT_TRUE(role(live, 0, 0, Qt::AccessibleTextRole).toString().startsWith("Medium, Keychain access, "));
}

TEST(AccessibleTextsTest, ResultBadgeCellsSaySuccessOrFailureAndGiveItAsHelp)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const RecordSnapshot snapshot = records({RecordValue(32, 10).subject(501, 501).socket("10.0.0.1:443"),
                                             RecordValue(32, 11).subject(501, 501).socket("10.0.0.2:443").failed(13)});
    EventsTableModel events;
    events.setFiltered(RecordSelection(snapshot));
    EXPECT_EQ(role(events, 0, EventsTableModel::resultColumn, Qt::AccessibleTextRole), "Success");
    EXPECT_EQ(role(events, 1, EventsTableModel::resultColumn, Qt::AccessibleTextRole),
              "Failure, " + role(events, 1, EventsTableModel::resultColumn, Qt::DisplayRole).toString())
        << "the painted badge, then the caption beside it";
    EXPECT_EQ(role(events, 1, EventsTableModel::resultColumn, Qt::ToolTipRole), "Failure");

    NetworkTableModel network;
    network.setTable(std::make_shared<const NetworkRows::Table>(NetworkRows::table(snapshot, false, "", {})));
    LiveRecordsModel live;
    live.reset(snapshot, LiveFilter{});
    struct Case {
        const char *name;
        const QAbstractItemModel &model;
        int column;
        int successRow;
    };
    const Case cases[] = {{"network", network, NetworkTableModel::resultColumn, 0},
                          {"live, newest first", live, LiveRecordsModel::resultColumn, 1}};
    for (const Case &c : cases) {
        EXPECT_EQ(role(c.model, c.successRow, c.column, Qt::AccessibleTextRole), "Success") << c.name;
        EXPECT_EQ(role(c.model, 1 - c.successRow, c.column, Qt::AccessibleTextRole), "Failure") << c.name;
        EXPECT_EQ(role(c.model, c.successRow, c.column, Qt::ToolTipRole), "Success") << c.name;
        EXPECT_EQ(role(c.model, 1 - c.successRow, c.column, Qt::ToolTipRole), "Failure") << c.name;
    }
}

TEST(AccessibleTextsTest, WidgetsThatPaintTheirTextAreNamedByIt)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    StatTile tile(QStringLiteral("Records"), QStringLiteral("2,579"), QStringLiteral("1 trail file(s)"),
                  QStringLiteral("doc.text.magnifyingglass"), Qt::blue);
    EXPECT_EQ(name(&tile), "Records, 2,579, 1 trail file(s)");
    tile.setValue(QStringLiteral("2,580"));
    tile.setDetail(QString());
    EXPECT_EQ(name(&tile), "Records, 2,580") << "no detail, no trailing separator";

    BarList list({{"/usr/bin/curl", "curl", 1234}}, Qt::red);
    ASSERT_EQ(list.rows().size(), 1);
    EXPECT_EQ(name(list.rows()[0]), "curl, 1,234");

    SeverityBadge badge(Severity::high);
    EXPECT_EQ(name(&badge), "High");
    SeverityBadge compact(Severity::critical, true);
    EXPECT_EQ(name(&compact), "Critical") << "the compact badge paints no title, but has one";
    ResultBadge success(true), failure(false);
    EXPECT_EQ(name(&success), "Success");
    EXPECT_EQ(name(&failure), "Failure");

    const QString path = QStringLiteral("/Users/orvik/Library/Application Support/com.example.agent/settings.plist");
    ElidedLabel label(path);
    label.resize(60, 20);
    ASSERT_NE(label.shownText(), path) << "elided on screen";
    EXPECT_EQ(name(&label), path) << "the full text, not the elided one";

    WrappedText wrapped(path);
    EXPECT_EQ(name(&wrapped), path);
    ShrinkingLabel value(QStringLiteral("12,345"));
    EXPECT_EQ(name(&value), "12,345");
}

} // namespace
