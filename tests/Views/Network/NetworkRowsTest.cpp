#include "Views/Network/NetworkRows.h"

#include "support/RecordValue.h"

#include <QLocale>

#include <gtest/gtest.h>

using namespace NetworkRows;
using TestRecords::RecordValue;

namespace {

constexpr uint16_t connectEvent = 32;

AuditRecord withSockets(std::initializer_list<std::string> sockets, double time = 1, std::string image = "")
{
    RecordValue value(connectEvent, time);
    value.subject(501, 501, 100);
    for (const std::string &socket : sockets) value.socket(socket);
    if (!image.empty()) value.image(image);
    return value;
}

TEST(NetworkRowsTest, LocalSocketsArePlainPrefixes)
{
    struct Case {
        const char *socket;
        bool local;
    };
    const Case cases[] = {{"/var/run/mDNSResponder", true},
                          {"127.0.0.1:8080", true},
                          {"127.1.2.3:1", true},
                          {"[::1]:53", true},
                          {"0.0.0.0:0", false},
                          {"[::ffff:127.0.0.1]:80", false},
                          {"10.1.2.3:443", false},
                          {"1270.0.0.1:1", false},
                          {"", false},
                          {"var/run/x", false}};
    for (const Case &c : cases) EXPECT_EQ(isLocalSocket(c.socket), c.local) << c.socket;
}

TEST(NetworkRowsTest, NetworkKeepsRecordsWithSocketsThatPassTheSwitchAndSearch)
{
    const std::vector<AuditRecord> records = {
        withSockets({}),                                     // 0: never listed
        withSockets({"127.0.0.1:8080", "10.1.2.3:443"}),     // 1: one non-local socket
        withSockets({"/var/run/mDNSResponder", "[::1]:53"}), // 2: all local
        withSockets({"0.0.0.0:0"}),                          // 3
        withSockets({"[2600::5]:443"}, 1, "/usr/bin/curl"),  // 4
    };
    EXPECT_EQ(network(records, true, ""), (std::vector<uint32_t>{1, 3, 4}));
    EXPECT_EQ(network(records, false, ""), (std::vector<uint32_t>{1, 2, 3, 4}));
    EXPECT_EQ(network(records, false, "mdns"), (std::vector<uint32_t>{2}));
    EXPECT_EQ(network(records, true, "CURL"), (std::vector<uint32_t>{4}));
    EXPECT_EQ(network(records, true, " "), (std::vector<uint32_t>{})) << "a search of blanks is not empty";
    EXPECT_TRUE(hasNonLocalSocket(records[1]));
    EXPECT_FALSE(hasNonLocalSocket(records[2]));
}

TEST(NetworkRowsTest, TopCountsFirstSocketsAndKeepsSix)
{
    // Counts 5, 4, 4, 3, 2, 1, 1 over seven destinations; the record with three sockets counts once.
    std::vector<AuditRecord> records;
    const std::pair<const char *, int> counts[] = {{"a:1", 1}, {"b:1", 4}, {"c:1", 5}, {"d:1", 4},
                                                   {"e:1", 3}, {"f:1", 2}, {"g:1", 1}};
    for (const auto &[socket, count] : counts)
        for (int i = 0; i < count; ++i) records.push_back(withSockets({socket}));
    records.push_back(withSockets({"c:1", "z:1", "y:1"}));
    std::vector<uint32_t> rows(records.size());
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = uint32_t(i);
    const std::vector<CountItem> items = destinations(records, rows);
    ASSERT_EQ(items.size(), topLimit);
    EXPECT_EQ(items[0], (CountItem{"c:1", "c:1", 6}));
    EXPECT_EQ(items[1].key, "b:1") << "ties keep first appearance";
    EXPECT_EQ(items[2].key, "d:1");
    EXPECT_EQ(items[3].count, 3);
    EXPECT_EQ(items[4].count, 2);
    EXPECT_EQ(items[5], (CountItem{"a:1", "a:1", 1}));
    EXPECT_TRUE(destinations(records, {}).empty());
}

TEST(NetworkRowsTest, ProcessesKeyByImageAndLabelByFileName)
{
    const std::vector<AuditRecord> records = {withSockets({"1.1.1.1:1"}, 1, "/usr/bin/curl"),
                                              withSockets({"1.1.1.1:1"}, 2, "/tmp/curl"),
                                              withSockets({"1.1.1.1:1"}, 3, "/tmp/curl"),
                                              withSockets({"1.1.1.1:1"}, 4)};
    const std::vector<CountItem> items = processes(records, {0, 1, 2, 3});
    EXPECT_EQ(items, (std::vector<CountItem>{{"/tmp/curl", "curl", 2},
                                             {"/usr/bin/curl", "curl", 1},
                                             {"unknown", "unknown", 1}}));
}

TEST(NetworkRowsTest, SortsByEachColumnsKey)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    std::vector<AuditRecord> records = {
        RecordValue(connectEvent, 3).subject(501, 501, 300).socket("9.9.9.9:1").image("/b/zeta"),
        RecordValue(connectEvent, 1).subject(501, 501, 20).socket("1.1.1.1:1").image("/a/Zed").failed(),
        RecordValue(connectEvent, 2).subject(501, 501, 1000).socket("5.5.5.5:1").path("/p").image("/a/alpha")};
    const auto sorted = [&](SortKey key, bool ascending) {
        std::vector<uint32_t> rows = {0, 1, 2};
        sortRows(records, rows, {key, ascending});
        return rows;
    };
    EXPECT_EQ(sorted(SortKey::time, true), (std::vector<uint32_t>{1, 2, 0}));
    EXPECT_EQ(sorted(SortKey::pid, true), (std::vector<uint32_t>{1, 0, 2})) << "numbers, not texts";
    EXPECT_EQ(sorted(SortKey::process, true), (std::vector<uint32_t>{1, 2, 0})) << "code point: Zed before alpha";
    EXPECT_EQ(sorted(SortKey::result, true), (std::vector<uint32_t>{0, 2, 1})) << "successes first";
    EXPECT_EQ(sorted(SortKey::address, true), (std::vector<uint32_t>{2, 1, 0})) << "detail summary: paths first";
    EXPECT_EQ(sorted(SortKey::time, false), (std::vector<uint32_t>{0, 2, 1}));
}

} // namespace
