#include "Views/Setup/SetupView.h"

#include "Views/Components/CodeBlock.h"
#include "Views/Setup/SetupCommands.h"

#include "support/QtTestSupport.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPromise>
#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// Probes that finish only when the test says so.
class FakeProbes {
public:
    SetupView::Probe probe()
    {
        return [this] {
            auto promise = std::make_shared<QPromise<AuditSystemStatus>>();
            promise->start();
            m_promises.push_back(promise);
            return promise->future();
        };
    }
    size_t started() const { return m_promises.size(); }
    QFuture<AuditSystemStatus> future(size_t index) const { return m_promises.at(index)->future(); }
    void finish(size_t index, const AuditSystemStatus &status)
    {
        m_promises.at(index)->addResult(status);
        m_promises.at(index)->finish();
    }

private:
    std::vector<std::shared_ptr<QPromise<AuditSystemStatus>>> m_promises;
};

AuditSystemStatus status(bool controlFile, std::optional<QString> contents, std::optional<bool> disabled, bool loaded)
{
    AuditSystemStatus s;
    s.controlFileExists = controlFile;
    s.controlFileReadable = contents.has_value();
    s.controlContents = std::move(contents);
    s.auditdDisabledInLaunchd = disabled;
    s.auditdLoaded = loaded;
    s.trailDirectoryExists = true;
    s.auditPipeExists = false;
    s.toolsPresent = {{"audit", true}, {"auditd", true}, {"praudit", true}, {"auditreduce", true}};
    return s;
}

QString labelText(const QWidget &view, const char *name)
{
    const auto *label = view.findChild<QLabel *>(QString::fromUtf8(name));
    return label ? label->text() : QStringLiteral("<none>");
}

QAbstractButton *button(const QWidget &view, const QString &text)
{
    for (auto *b : view.findChildren<QAbstractButton *>())
        if (b->text() == text) return b;
    return nullptr;
}

bool showsChecking(const QWidget &view)
{
    for (auto *label : view.findChildren<QLabel *>())
        if (label->text() == QStringLiteral("Checking audit configuration…")) return true;
    return false;
}

QStringList symbols(const QWidget &view, const char *name)
{
    QStringList out;
    for (auto *label : view.findChildren<QLabel *>(QString::fromUtf8(name)))
        out << label->property("symbol").toString();
    return out;
}

// Waits until a finished probe's result has been handed to whoever watches it: a watcher set up
// now is told after every earlier one.
bool delivered(const QFuture<AuditSystemStatus> &future)
{
    QFutureWatcher<AuditSystemStatus> watcher;
    bool finished = false;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, [&] { finished = true; });
    watcher.setFuture(future);
    return waitUntil([&] { return finished; });
}

CodeBlock *codeBlock(const QWidget &view, const char *name)
{
    return view.findChild<CodeBlock *>(QString::fromUtf8(name));
}

TEST(SetupView, ShowsOnlyTheCheckingRowUntilTheFirstProbeReturns)
{
    FakeProbes probes;
    SetupView view({}, nullptr, probes.probe());
    EXPECT_EQ(probes.started(), 0u) << "the probe runs when the screen is shown";
    view.show();
    ASSERT_EQ(probes.started(), 1u);
    EXPECT_TRUE(showsChecking(view));
    EXPECT_NE(view.findChild<QProgressBar *>(QStringLiteral("checkingIndicator")), nullptr);
    EXPECT_EQ(button(view, QStringLiteral("Refresh")), nullptr);
    EXPECT_EQ(view.findChild<QLabel *>(QStringLiteral("verdictTitle")), nullptr);
    EXPECT_TRUE(view.findChildren<QLabel *>(QStringLiteral("checkTitle")).isEmpty());

    probes.finish(0, status(true, QStringLiteral("dir:/var/audit"), false, true));
    ASSERT_TRUE(waitUntil([&] { return view.status().has_value(); }));
    EXPECT_FALSE(showsChecking(view));
    EXPECT_EQ(view.findChild<QProgressBar *>(QStringLiteral("checkingIndicator")), nullptr);
    EXPECT_EQ(labelText(view, "verdictTitle"), QStringLiteral("Auditing is active"));
    EXPECT_NE(button(view, QStringLiteral("Refresh")), nullptr);
    QStringList titles;
    for (auto *label : view.findChildren<QLabel *>(QStringLiteral("checkTitle"))) titles << label->text();
    EXPECT_EQ(titles, (QStringList{"audit_control present", "auditd loaded in launchd", "Trail directory",
                                   "Audit pipe device", "Command-line tools"}));

    // Shown again (the window back from the tray): a new probe, with the last status still up.
    view.hide();
    view.show();
    EXPECT_EQ(probes.started(), 2u);
    EXPECT_FALSE(showsChecking(view));
}

TEST(SetupView, StatusCardFollowsTheProbedStatus)
{
    struct Case {
        const char *name;
        AuditSystemStatus status;
        const char *title;
        const char *shield;
        QStringList checks; // per row
        const char *policy; // "code", "note" or "none"
    };
    const QString ok = QStringLiteral("checkmark.circle.fill"), bad = QStringLiteral("xmark.circle.fill");
    const Case cases[] = {
        {"not configured, daemon loaded",
         status(false, std::nullopt, std::nullopt, true),
         "Auditing is not configured",
         "exclamationmark.shield.fill",
         {bad, ok, ok, bad, ok},
         "none"},
        {"configured and running",
         status(true, QStringLiteral("flags:lo\n"), false, true),
         "Auditing is active",
         "checkmark.shield.fill",
         {ok, ok, ok, bad, ok},
         "code"},
        {"disabled and loaded",
         status(true, QStringLiteral("x"), true, true),
         "auditd is disabled",
         "exclamationmark.shield.fill",
         {ok, ok, ok, bad, ok},
         "code"},
        {"unreadable policy, daemon loaded",
         status(true, std::nullopt, std::nullopt, true),
         "Auditing is active",
         "checkmark.shield.fill",
         {ok, ok, ok, bad, ok},
         "note"},
        {"readable but empty policy, not running",
         status(true, QString(), std::nullopt, false),
         "auditd is not running",
         "exclamationmark.shield.fill",
         {ok, bad, ok, bad, ok},
         "code"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FakeProbes probes;
        SetupView view({}, nullptr, probes.probe());
        view.show();
        probes.finish(0, c.status);
        ASSERT_TRUE(waitUntil([&] { return view.status().has_value(); }));
        EXPECT_EQ(labelText(view, "verdictTitle"), QString::fromUtf8(c.title));
        const QLabel *shield = nullptr;
        for (auto *label : view.findChildren<QLabel *>())
            if (label->property("symbol").toString().contains(QStringLiteral("shield"))) shield = label;
        ASSERT_NE(shield, nullptr);
        EXPECT_EQ(shield->property("symbol").toString(), QString::fromUtf8(c.shield));
        EXPECT_EQ(symbols(view, "checkIcon"), c.checks);

        const std::string policy = c.policy;
        const CodeBlock *current = codeBlock(view, "currentPolicy");
        EXPECT_EQ(current != nullptr, policy == "code");
        EXPECT_EQ(view.findChild<QLabel *>(QStringLiteral("currentPolicyHeading")) != nullptr, policy == "code");
        if (current) {
            EXPECT_EQ(current->text(), *c.status.controlContents);
        }
        const auto *note = view.findChild<QLabel *>(QStringLiteral("unreadableNote"));
        EXPECT_EQ(note != nullptr, policy == "note");
        if (note) {
            // The command shows in code style without its backticks.
            EXPECT_TRUE(note->text().contains(QStringLiteral("<code>sudo cat /etc/security/audit_control</code>")));
            EXPECT_FALSE(note->text().contains(QLatin1Char('`')));
        }
    }
}

TEST(SetupView, DisabledDaemonSaysSoInItsCheckRow)
{
    FakeProbes probes;
    SetupView view({}, nullptr, probes.probe());
    view.show();
    probes.finish(0, status(true, std::nullopt, true, true));
    ASSERT_TRUE(waitUntil([&] { return view.status().has_value(); }));
    QStringList details;
    for (auto *label : view.findChildren<QLabel *>(QStringLiteral("checkDetail"))) details << label->text();
    EXPECT_EQ(details, (QStringList{"/etc/security/audit_control", "disabled via launchctl", "/var/audit",
                                    "/dev/auditpipe (live monitor)", "audit, auditd, auditreduce, praudit"}));
}

TEST(SetupView, RefreshClearsToCheckingAndOnlyTheNewestProbeIsShown)
{
    FakeProbes probes;
    SetupView view({}, nullptr, probes.probe());
    view.show();
    probes.finish(0, status(false, std::nullopt, std::nullopt, false));
    ASSERT_TRUE(waitUntil([&] { return view.status().has_value(); }));

    button(view, QStringLiteral("Refresh"))->click();
    EXPECT_FALSE(view.status().has_value());
    EXPECT_TRUE(showsChecking(view));
    ASSERT_EQ(probes.started(), 2u);
    // A second refresh while the first one's probe still runs: that probe's late result is stale.
    view.refresh();
    ASSERT_EQ(probes.started(), 3u);
    probes.finish(2, status(true, std::nullopt, false, true));
    ASSERT_TRUE(waitUntil([&] { return view.status().has_value(); }));
    probes.finish(1, status(false, std::nullopt, std::nullopt, false));
    ASSERT_TRUE(delivered(probes.future(1)));
    EXPECT_EQ(labelText(view, "verdictTitle"), QStringLiteral("Auditing is active"));
    EXPECT_TRUE(view.status()->controlFileExists);
}

TEST(SetupView, ADestroyedViewDropsALateResult)
{
    FakeProbes probes;
    auto view = std::make_unique<SetupView>(ViewContext{}, nullptr, probes.probe());
    view->show();
    ASSERT_TRUE(probes.future(0).isRunning());
    view.reset(); // without waiting for the probe
    // Handed to the dead view, the result would be a use after free (the sanitizer build) or a
    // continuation without its context (Qt's assertion).
    probes.finish(0, status(true, std::nullopt, false, true));
    ASSERT_TRUE(delivered(probes.future(0)));
    QCoreApplication::processEvents();
}

TEST(SetupView, ProfilePickerChangesBlurbAndGeneratedText)
{
    FakeProbes probes;
    SetupView view({}, nullptr, probes.probe());
    view.show();
    EXPECT_EQ(view.profile(), SetupProfile::investigation);
    EXPECT_EQ(codeBlock(view, "auditControl")->text(), auditControl(SetupProfile::investigation));
    EXPECT_TRUE(button(view, QStringLiteral("Investigation"))->isChecked());

    button(view, QStringLiteral("Minimal"))->click();
    EXPECT_EQ(view.profile(), SetupProfile::minimal);
    EXPECT_TRUE(button(view, QStringLiteral("Minimal"))->isChecked());
    EXPECT_FALSE(button(view, QStringLiteral("Investigation"))->isChecked());
    EXPECT_EQ(labelText(view, "profileBlurb"),
              QStringLiteral("Logins, authentication and administrative actions only. Very low volume."));
    CodeBlock *code = codeBlock(view, "auditControl");
    ASSERT_NE(code, nullptr);
    EXPECT_EQ(view.findChildren<CodeBlock *>(QStringLiteral("auditControl")).size(), 1);
    EXPECT_EQ(code->text(), auditControl(SetupProfile::minimal));
    code->findChild<QPushButton *>(QStringLiteral("copyButton"))->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), auditControl(SetupProfile::minimal));
    EXPECT_EQ(QGuiApplication::clipboard()->text().toUtf8().size(), 366);

    button(view, QStringLiteral("Verbose"))->click();
    EXPECT_EQ(codeBlock(view, "auditControl")->text(), auditControl(SetupProfile::verbose));
}

TEST(SetupView, CommandBlocksCopyTheirScriptsExactly)
{
    struct Case {
        const char *block;
        int bytes;
        int lines;
    };
    const Case cases[] = {{"enableScript", 585, 12}, {"trailCommands", 442, 6}};
    FakeProbes probes;
    SetupView view({}, nullptr, probes.probe());
    view.show();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.block);
        CodeBlock *code = codeBlock(view, c.block);
        ASSERT_NE(code, nullptr);
        code->findChild<QPushButton *>(QStringLiteral("copyButton"))->click();
        const QString copied = QGuiApplication::clipboard()->text();
        EXPECT_EQ(copied.toUtf8().size(), c.bytes);
        EXPECT_EQ(copied.split(QLatin1Char('\n')).size(), c.lines);
        EXPECT_FALSE(copied.endsWith(QLatin1Char('\n')));
    }
    const QStringList script = QString::fromUtf8(enableAuditingScript).split(QLatin1Char('\n'));
    EXPECT_EQ(script[3], QString());
    EXPECT_EQ(script[7], QString());
    for (int line : {9, 10, 11}) EXPECT_TRUE(script[line].contains(QStringLiteral("          #"))) << line;
    const QStringList commands = QString::fromUtf8(trailCommands).split(QLatin1Char('\n'));
    const int spaces[] = {11, 3, 6, -1, -1, 17};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i + 1);
        const qsizetype hash = commands[i].indexOf(QLatin1Char('#'));
        if (spaces[i] < 0) {
            EXPECT_EQ(hash, -1);
            continue;
        }
        ASSERT_GT(hash, spaces[i]);
        EXPECT_EQ(commands[i].mid(hash - spaces[i] - 1, spaces[i] + 1),
                  commands[i].mid(hash - spaces[i] - 1, 1) + QString(spaces[i], QLatin1Char(' ')));
        EXPECT_NE(commands[i][hash - spaces[i] - 1], QLatin1Char(' '));
    }
}

TEST(SetupView, InlineCodeInFixedNotesLosesItsBackticks)
{
    FakeProbes probes;
    SetupView view({}, nullptr, probes.probe());
    view.show();
    bool found = false;
    for (auto *label : view.findChildren<QLabel *>()) {
        if (!label->text().contains(QStringLiteral("rotate by size"))) continue;
        found = true;
        for (const char *code : {"filesz", "audit -n", ".not_terminated", ".crash_recovery"})
            EXPECT_TRUE(label->text().contains(QStringLiteral("<code>%1</code>").arg(QString::fromUtf8(code)))) << code;
        EXPECT_FALSE(label->text().contains(QLatin1Char('`')));
    }
    EXPECT_TRUE(found);
}

} // namespace
