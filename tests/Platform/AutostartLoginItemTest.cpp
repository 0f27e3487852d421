#include "Platform/AutostartLoginItem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Points the config and home folders into a fresh temporary folder for one test.
class AutostartLoginItemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_savedConfig = qgetenv("XDG_CONFIG_HOME");
        m_savedHome = qgetenv("HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config()));
        qputenv("HOME", QFile::encodeName(m_dir.path() + "/home"));
    }
    void TearDown() override
    {
        qputenv("XDG_CONFIG_HOME", m_savedConfig);
        qputenv("HOME", m_savedHome);
    }
    QString config() const { return m_dir.path() + "/config"; }
    QString entry() const { return config() + "/autostart/quillmarsh.desktop"; }
    void writeEntry(const QByteArray &text)
    {
        ASSERT_TRUE(QDir().mkpath(config() + "/autostart"));
        QFile file(entry());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }
    QString read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir m_dir;

private:
    QByteArray m_savedConfig;
    QByteArray m_savedHome;
};

} // namespace

TEST_F(AutostartLoginItemTest, RegisterWritesTheEntryAndUnregisterRemovesIt)
{
    AutostartLoginItem item("/opt/quillmarsh/bin/quillmarsh");
    EXPECT_EQ(AutostartLoginItem::entryPath(), entry());
    EXPECT_EQ(item.status(), LoginItemStatus::notRegistered);

    item.registerItem();
    EXPECT_EQ(item.status(), LoginItemStatus::enabled);
    EXPECT_EQ(read(entry()), "[Desktop Entry]\nType=Application\nName=Quillmarsh\n"
                             "Exec=\"/opt/quillmarsh/bin/quillmarsh\"\nX-GNOME-Autostart-enabled=true\n");
    item.registerItem();
    EXPECT_EQ(item.status(), LoginItemStatus::enabled);

    item.unregisterItem();
    EXPECT_FALSE(QFile::exists(entry()));
    EXPECT_EQ(item.status(), LoginItemStatus::notRegistered);
    EXPECT_NO_THROW(item.unregisterItem()) << "removing what is not there is no failure";
    EXPECT_EQ(QDir(config() + "/autostart").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList())
        << "no temporary file left";
}

TEST_F(AutostartLoginItemTest, EntryIsEnabledOnlyWhileItsMainGroupIsNotSwitchedOff)
{
    struct Case {
        const char *name;
        QByteArray text;
        LoginItemStatus status;
    };
    using S = LoginItemStatus;
    const Case cases[] = {
        {"plain", "[Desktop Entry]\nType=Application\nExec=q\n", S::enabled},
        {"hidden", "[Desktop Entry]\nExec=q\nHidden=true\n", S::notRegistered},
        {"switched off", "[Desktop Entry]\nExec=q\nX-GNOME-Autostart-enabled=false\n", S::notRegistered},
        {"hidden only in another group", "[Desktop Entry]\nExec=q\n[Desktop Action x]\nHidden=true\n", S::enabled},
        {"no main group", "Exec=q\n", S::notRegistered},
        {"empty", "", S::notRegistered},
        {"binary", QByteArray("\x00\xFF[\n=", 5), S::notRegistered},
    };
    for (const Case &c : cases) {
        writeEntry(c.text);
        EXPECT_EQ(AutostartLoginItem("/q").status(), c.status) << c.name;
    }
}

TEST_F(AutostartLoginItemTest, AFolderInTheWayIsNotRegisteredAndFailsClearly)
{
    ASSERT_TRUE(QDir().mkpath(entry()));
    AutostartLoginItem item("/q");
    EXPECT_EQ(item.status(), LoginItemStatus::notRegistered);
    EXPECT_THROW(item.registerItem(), LoginItemError);
    EXPECT_THROW(item.unregisterItem(), LoginItemError);

    ASSERT_TRUE(QDir(config() + "/autostart").removeRecursively());
    QFile blocker(config() + "/autostart");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder goes
    blocker.close();
    try {
        item.registerItem();
        ADD_FAILURE() << "registered through a file";
    } catch (const LoginItemError &e) {
        EXPECT_NE(std::string(e.what()).find("autostart"), std::string::npos) << e.what();
    }
}

TEST_F(AutostartLoginItemTest, ConfigFolderFallsBackToDotConfigInHome)
{
    struct Case {
        const char *name;
        const char *variable; // nullptr: unset
        QString expected;
    };
    const Case cases[] = {
        {"set", "/etc/xdg-user", "/etc/xdg-user/autostart/quillmarsh.desktop"},
        {"unset", nullptr, m_dir.path() + "/home/.config/autostart/quillmarsh.desktop"},
    };
    for (const Case &c : cases) {
        if (c.variable) qputenv("XDG_CONFIG_HOME", c.variable);
        else qunsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(AutostartLoginItem::entryPath(), c.expected) << c.name;
    }
}

TEST_F(AutostartLoginItemTest, ExecQuotesEveryExecutablePath)
{
    struct Case {
        const char *name;
        QString executable;
        QString exec;
    };
    const Case cases[] = {
        {"plain", "/usr/bin/quillmarsh", R"(Exec="/usr/bin/quillmarsh")"},
        {"space", "/opt/My Apps/quillmarsh", R"(Exec="/opt/My Apps/quillmarsh")"},
        {"quote, dollar and backtick", "/o/a\"b$c`d", R"(Exec="/o/a\\"b\\$c\\`d")"},
        {"backslash", "/o/a\\b", R"(Exec="/o/a\\\\b")"},
        {"percent is no field code", "/o/100%/q", R"(Exec="/o/100%%/q")"},
        {"line feed stays on one line", "/o/a\nb", R"(Exec="/o/a\nb")"},
    };
    for (const Case &c : cases) {
        const QStringList lines = AutostartLoginItem::entryText(c.executable).split('\n');
        EXPECT_EQ(lines.filter("Exec="), QStringList{c.exec}) << c.name;
        EXPECT_EQ(lines.size(), 6) << c.name;
    }
}
