#include "Engine/Analysis/Detections.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(PathClassifiers, SuspiciousLocation)
{
    struct Case {
        const char *name;
        std::string path;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"/private/tmp is /tmp", "/private/tmp/a", "/tmp"},
        {"/private/var/tmp is /var/tmp", "/private/var/tmp/a", "/tmp"},
        {"/var/tmp", "/var/tmp/a", "/tmp"},
        {"/tmp itself is not inside it", "/tmp", std::nullopt},
        {"/private alone is tested unchanged", "/private", std::nullopt},
        {"/privatetmp is not /private/", "/privatetmp/a", std::nullopt},
        {"/private/Users/Shared keeps the shared folder", "/private/Users/Shared/a", "/Users/Shared"},
        {"shared folder", "/Users/Shared/a", "/Users/Shared"},
        {"downloads anywhere", "/Users/orvik/Downloads/a", "Downloads"},
        {"earlier step wins", "/tmp/Downloads/a", "/tmp"},
        {"mounted volume", "/Volumes/Stick/a", "mounted volume"},
        {"application on a volume", "/Volumes/Stick/Tool.app/Contents/MacOS/Tool", std::nullopt},
        {"hidden application on a volume", "/Volumes/Stick/Tool.app/Contents/MacOS/.Tool", "hidden path"},
        {"hidden file", "/Users/orvik/.agent", "hidden path"},
        {"hidden last piece with trailing slash", "/Users/orvik/.agent/", "hidden path"},
        {"relative hidden file", ".agent", "hidden path"},
        {"file inside a hidden folder", "/Users/orvik/.config/agent", std::nullopt},
        {"dot alone", "/Users/orvik/.", std::nullopt},
        {"dot dot counts as two characters", "/Users/orvik/..", "hidden path"},
        {"empty path", "", std::nullopt},
        {"slashes only", "///", std::nullopt},
        {"case-sensitive tmp", "/TMP/a", std::nullopt},
        {"case-sensitive shared", "/users/shared/a", std::nullopt},
        {"case-sensitive downloads", "/Users/orvik/downloads/a", std::nullopt},
        {"ordinary binary", "/usr/bin/curl", std::nullopt},
    };
    for (const Case &c : cases) EXPECT_EQ(Detections::suspiciousLocation(c.path), c.expected) << c.name;
}

TEST(PathClassifiers, LogArtifact)
{
    // Which row fired, told by its words without restating them: they have a table of their own.
    const std::string trails = Detections::logArtifact("/var/audit/x")->why;
    const std::string logs = Detections::logArtifact("/var/log/x")->why;
    const std::string history = Detections::logArtifact("x_history")->why;
    EXPECT_EQ(std::set<std::string>({trails, logs, history}).size(), 3u);
    struct Case {
        const char *name;
        std::string path;
        const char *technique; // nullptr: no result
        std::string why;
    };
    const Case cases[] = {
        {"audit trail", "/var/audit/20240101000000.20240102000000", "T1070.002", trails},
        {"audit trail under /private", "/private/var/audit/current", "T1070.002", trails},
        {"trail folder wins over log folder", "/var/log/var/audit/x", "T1070.002", trails},
        {"system log", "/private/var/log/system.log", "T1070.002", logs},
        {"zsh history", "/Users/orvik/.zsh_history", "T1070.003", history},
        {"bash history", "/Users/orvik/.bash_history", "T1070.003", history},
        {"zsh sessions", "/Users/orvik/.zsh_sessions", "T1070.003", history},
        {"history is a suffix test", "/Users/orvik/.zsh_history.bak", nullptr, ""},
        {"audit folder itself", "/var/audit", nullptr, ""},
        {"case-sensitive", "/VAR/LOG/x", nullptr, ""},
        {"empty", "", nullptr, ""},
    };
    for (const Case &c : cases) {
        auto result = Detections::logArtifact(c.path);
        if (!c.technique) {
            EXPECT_FALSE(result) << c.name;
            continue;
        }
        ASSERT_TRUE(result) << c.name;
        EXPECT_EQ(result->technique, c.technique) << c.name;
        EXPECT_EQ(result->why, c.why) << c.name;
    }
}

TEST(PathClassifiers, PersistenceLocation)
{
    struct Case {
        const char *name;
        std::string path;
        const char *technique; // nullptr: no result
        Severity severity;     // the technique tells the rows apart; their words have a table of their own
    };
    const Case cases[] = {
        {"launch daemon", "/Library/LaunchDaemons/x.plist", "T1543.004", Severity::high},
        {"launch agent", "/Users/orvik/Library/LaunchAgents/x.plist", "T1543.001", Severity::medium},
        {"daemon row comes before agent row", "/Library/LaunchAgents/LaunchDaemons/x", "T1543.004", Severity::high},
        {"startup item", "/Library/StartupItems/x/x", "T1037.005", Severity::high},
        {"periodic", "/etc/periodic/daily/999.x", "T1053.003", Severity::medium},
        {"at tabs", "/private/var/at/tabs/orvik", "T1053.003", Severity::medium},
        {"cron tabs", "/usr/lib/cron/tabs/root", "T1053.003", Severity::medium},
        {"sudoers", "/private/etc/sudoers", "T1548.003", Severity::high},
        {"sudoers.d", "/etc/sudoers.d/x", "T1548.003", Severity::high},
        {"sudoers backup", "/etc/sudoers.bak", nullptr, Severity::info},
        {"pam", "/etc/pam.d/sudo", "T1556.003", Severity::high},
        {"authorization plugin", "/Library/Security/SecurityAgentPlugins/x.bundle", "T1547.002", Severity::high},
        {"bash profile", "/Users/orvik/.bash_profile", "T1546.004", Severity::medium},
        {"zshenv", "/Users/orvik/.zshenv", "T1546.004", Severity::medium},
        {"system profile", "/private/etc/profile", "T1546.004", Severity::medium},
        {"profile is a plain suffix", "/Users/orvik/myprofile", nullptr, Severity::info},
        {"any name ending in .profile", "/Users/orvik/x.profile", "T1546.004", Severity::medium},
        {"loginwindow preferences", "/Library/Preferences/com.apple.loginwindow.plist", "T1037.002", Severity::low},
        {"per-host loginwindow preferences", "/Users/orvik/Library/Preferences/ByHost/com.apple.loginwindow.plist",
         nullptr, Severity::info},
        {"case-sensitive", "/library/launchdaemons/x.plist", nullptr, Severity::info},
        {"ordinary file", "/Users/orvik/notes.txt", nullptr, Severity::info},
    };
    for (const Case &c : cases) {
        auto result = Detections::persistenceLocation(c.path);
        if (!c.technique) {
            EXPECT_FALSE(result) << c.name;
            continue;
        }
        ASSERT_TRUE(result) << c.name;
        EXPECT_EQ(result->severity, c.severity) << c.name;
        EXPECT_EQ(result->technique, c.technique) << c.name;
    }
}

TEST(PathClassifiers, SensitiveData)
{
    // Which row fired, told by its words without restating them: they have a table of their own.
    const std::string tcc = *Detections::sensitiveData("TCC.db");
    const std::string keychain = *Detections::sensitiveData("/Keychains/x.keychain");
    const std::string accounts = *Detections::sensitiveData("/etc/master.passwd");
    const std::string browser = *Detections::sensitiveData("/Login Data");
    EXPECT_EQ(std::set<std::string>({tcc, keychain, accounts, browser}).size(), 4u);
    struct Case {
        const char *name;
        std::string path;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"TCC database", "/Library/Application Support/com.apple.TCC/TCC.db", tcc},
        {"TCC database journal", "/Library/Application Support/com.apple.TCC/TCC.db-wal", std::nullopt},
        {"login keychain", "/Users/orvik/Library/Keychains/login.keychain-db", keychain},
        {"old keychain", "/Library/Keychains/System.keychain", keychain},
        {"keychain file outside a keychain folder", "/tmp/login.keychain-db", std::nullopt},
        {"other keychain folder file", "/Users/orvik/Library/Keychains/metadata.plist", std::nullopt},
        {"keychain folder file goes on to later rows", "/Users/orvik/Library/Keychains/x/Library/Cookies/c", browser},
        {"master.passwd", "/private/etc/master.passwd", accounts},
        {"local user record", "/private/var/db/dslocal/nodes/Default/users/orvik.plist", accounts},
        {"shadow hash", "/var/db/shadow/hash/ABC", accounts},
        {"cookies", "/Users/orvik/Library/Cookies/Cookies.binarycookies", browser},
        {"browser logins", "/Users/orvik/Library/Application Support/Google/Chrome/Default/Login Data", browser},
        {"case-sensitive", "/Users/orvik/Library/keychains/login.keychain-db", std::nullopt},
        {"empty", "", std::nullopt},
    };
    for (const Case &c : cases) EXPECT_EQ(Detections::sensitiveData(c.path), c.expected) << c.name;
}

} // namespace
