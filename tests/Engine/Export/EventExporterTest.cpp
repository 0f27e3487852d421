#include "Engine/Export/EventExporter.h"

#include "Engine/BSM/UserResolver.h"
#include "Engine/Record/RecordBuilder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Exporter::Format;

std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string testData(const std::string &name)
{
    const char *root = std::getenv("QUILLMARSH_TEST_DATA");
    return readFile(fs::path(root ? root : "tests/data") / name);
}

class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "exporter-test-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data());
    }
    ~TempFolder() { fs::remove_all(m_path); }
    fs::path operator/(const std::string &name) const { return m_path / name; }
    const fs::path &path() const { return m_path; }

private:
    fs::path m_path;
};

SubjectInfo subject(uint32_t auid, uint32_t euid, uint32_t pid, uint32_t sid, std::string address)
{
    SubjectInfo s;
    s.auid = auid;
    s.euid = euid;
    s.pid = pid;
    s.sid = sid;
    s.terminalAddress = std::move(address);
    return s;
}

// Four records covering a full subject, an unset audit user, no subject at all, an unknown
// event, failure texts, every formula lead-in and the characters that force quoting.
std::vector<AuditRecord> fixtureRecords()
{
    UserResolver::shared().seed(7501, "orvik");
    UserResolver::shared().seed(0, "root");
    std::vector<RecordContent> contents(4);

    RecordContent &exec = contents[0];
    exec.id = 1;
    exec.event = 23;
    exec.time = 1709647629.125;
    exec.subject = subject(7501, 0, 4242, 100017, "10.0.0.5");
    exec.paths = {"/usr/bin/sudo"};
    exec.execArgs = {"sudo", "sh", "-c", "echo a,b"};
    exec.processImage = "/usr/bin/sudo";
    exec.identity = SigningIdentity{1, "com.apple.sudo", "", "ab12"};

    RecordContent &open = contents[1];
    open.id = 2;
    open.event = 72;
    open.time = 1709647629.125;
    open.subject = subject(0xFFFFFFFF, 4242, 4243, 0, "0.0.0.0");
    open.returnStatus = 13;
    open.returnValue = -1;
    open.paths = {"-rf target", "/tmp/a|b"};
    open.texts = {"say \"hi\"", "line1\nline2"};
    open.sockets = {"10.0.0.1:22", "[::1]:443"};

    RecordContent &unknown = contents[2];
    unknown.id = 3;
    unknown.event = 60000;
    unknown.time = 1709647630.001;
    unknown.returnStatus = 200;
    unknown.returnValue = INT64_MAX;
    unknown.paths = {"+1"};
    unknown.execArgs = {"\tcmd", "x"};
    unknown.sockets = {"@evil"};
    unknown.texts = {"=HYPERLINK(\"x\"),1"};
    unknown.processImage = "/Applications/Caf\u00e9.app/x";
    unknown.identity = SigningIdentity{2, "", "TEAM1", ""};

    RecordContent &login = contents[3];
    login.id = 4;
    login.event = 6152;
    login.time = 1709647631.999;
    login.subject = subject(0, 0, 1, 5, "::1");
    login.returnStatus = 100;
    login.paths = {"\rstart"};
    login.texts = {"mid\rcr", "bell\a", "C:\\dir"};
    std::vector<AuditRecord> records;
    for (const RecordContent &content : contents) records.push_back(content.record());
    return records;
}

std::string exportToText(const std::vector<AuditRecord> &records, Format format)
{
    std::ostringstream out;
    Exporter::writeEvents(out, Exporter::RecordList::of(records), format);
    return out.str();
}

TEST(EventExporter, MatchesTheHandWrittenFiles)
{
    const std::vector<AuditRecord> records = fixtureRecords();
    TempFolder folder;
    for (const auto &[format, golden] :
         {std::pair{Format::csv, "export/events.csv"}, {Format::json, "export/events.json"}}) {
        const std::string expected = testData(golden);
        ASSERT_FALSE(expected.empty()) << golden;
        EXPECT_EQ(exportToText(records, format), expected) << golden;
        const fs::path path = folder / Exporter::defaultFileName(format);
        Exporter::exportEvents(Exporter::RecordList::of(records), format, path.string());
        EXPECT_EQ(readFile(path), expected) << golden;
    }
}

TEST(EventExporter, JsonObjectsHoldSortedKeysAndLeaveAbsentFieldsOut)
{
    const nlohmann::ordered_json rows = nlohmann::ordered_json::parse(exportToText(fixtureRecords(), Format::json));
    ASSERT_EQ(rows.size(), 4u);
    const std::vector<std::string> allKeys = {"auditUser",     "auid",      "classes", "commandLine", "description",
                                              "effectiveUser", "euid",      "event",   "eventName",   "id",
                                              "paths",         "pid",       "process", "result",      "returnValue",
                                              "sessionID",     "signingID", "sockets", "success",     "teamID",
                                              "terminal",      "text",      "time"};
    std::vector<std::string> firstKeys;
    for (const auto &item : rows[0].items()) firstKeys.push_back(item.key());
    EXPECT_EQ(firstKeys, allKeys);

    const std::vector<std::string> subjectKeys = {"auid", "auditUser", "euid",    "effectiveUser",
                                                  "pid",  "sessionID", "terminal"};
    for (const std::string &key : subjectKeys) EXPECT_FALSE(rows[2].contains(key)) << "no subject: " << key;
    EXPECT_EQ(rows[1]["auid"], 4294967295u);
    EXPECT_FALSE(rows[1].contains("auditUser")) << "unset audit user has no name";
    EXPECT_FALSE(rows[1].contains("effectiveUser")) << "unknown uid has no name";
    EXPECT_FALSE(rows[1].contains("signingID"));
    EXPECT_FALSE(rows[1].contains("teamID"));
    EXPECT_EQ(rows[2]["signingID"], "") << "an empty signing id is present, not absent";
    for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i]["id"], i + 1) << "input order kept";
}

TEST(EventExporter, NoRecordsGiveHeaderOnlyOrEmptyArray)
{
    EXPECT_EQ(exportToText({}, Format::csv),
              "time,event,event_name,description,classes,success,result,auid,audit_user,euid,effective_user,pid,"
              "session,terminal,process,paths,command_line,sockets,text,signing_id\n");
    const std::string json = exportToText({}, Format::json);
    EXPECT_EQ(nlohmann::json::parse(json), nlohmann::json::array());
}

TEST(EventExporter, CsvCellEscaping)
{
    struct Case {
        const char *name;
        std::string cell;
        std::string expected;
    };
    const Case cases[] = {
        {"plain text untouched", "plain", "plain"},
        {"empty stays empty", "", ""},
        {"comma quotes", "a,b", "\"a,b\""},
        {"quote doubled", "say \"hi\"", "\"say \"\"hi\"\"\""},
        {"line feed quotes", "a\nb", "\"a\nb\""},
        {"inner carriage return quotes too", "a\rb", "\"a\rb\""},
        {"leading equals guarded", "=1+1", "'=1+1"},
        {"leading plus guarded", "+1", "'+1"},
        {"leading minus guarded", "-rf", "'-rf"},
        {"leading at guarded", "@x", "'@x"},
        {"leading tab guarded, not quoted", "\tx", "'\tx"},
        {"leading carriage return guarded and quoted", "\rx", "\"'\rx\""},
        {"guard goes inside the quotes", "=a,b", "\"'=a,b\""},
        {"inner equals not guarded", "a=b", "a=b"},
        {"apostrophe alone untouched", "'", "'"},
    };
    for (const Case &c : cases) EXPECT_EQ(Exporter::csvCell(c.cell), c.expected) << c.name;
}

// A real CSV reader must get every text back, with only the formula guard's apostrophe added.
TEST(EventExporter, CsvRoundTripsThroughARealReader)
{
    if (std::system("python3 -c 'import csv' >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 not available";
    const std::vector<std::string> texts = {
        "a,b",          "say \"hi\"",          "\"", "line1\nline2", "cr\rinside", "crlf\r\nend",
        "\rleading cr", "=SUM(A1:A9)",         "+1", "-rf /",        "@cmd",       "=a,\"b\"\r\nc",
        "trailing,",    "caf\u00e9 \u2192 ok", ""};
    std::vector<AuditRecord> records;
    for (size_t i = 0; i < texts.size(); ++i) {
        RecordContent record;
        record.id = static_cast<int64_t>(i + 1);
        record.texts = {texts[i]};
        records.push_back(record.record());
    }
    TempFolder folder;
    const fs::path csv = folder / "events.csv";
    const fs::path parsed = folder / "parsed.json";
    Exporter::exportEvents(Exporter::RecordList::of(records), Format::csv, csv.string());
    const std::string command = "python3 -c 'import csv, json, sys; "
                                "json.dump(list(csv.reader(open(sys.argv[1], newline=\"\", encoding=\"utf-8\"))), "
                                "open(sys.argv[2], \"w\"))' '"
                                + csv.string() + "' '" + parsed.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const nlohmann::json rows = nlohmann::json::parse(readFile(parsed));
    ASSERT_EQ(rows.size(), texts.size() + 1);
    const size_t textColumn = 18;
    EXPECT_EQ(rows[0][textColumn], "text");
    for (size_t i = 0; i < texts.size(); ++i) {
        const std::string &text = texts[i];
        const bool guarded = !text.empty() && std::string("=+-@\t\r").find(text[0]) != std::string::npos;
        ASSERT_EQ(rows[i + 1].size(), 20u) << "row " << i;
        EXPECT_EQ(rows[i + 1][textColumn], (guarded ? "'" : "") + text) << "row " << i;
    }
}

// Every ASCII character, each control character among them, in every kind of text a record holds:
// a strict JSON reader gets each one back.
TEST(EventExporter, JsonEscapesEveryControlCharacter)
{
    std::vector<AuditRecord> records;
    for (int c = 1; c < 0x80; ++c) {
        const std::string text = "a" + std::string(1, char(c)) + "b";
        RecordContent record;
        record.id = c;
        record.texts = {text};
        record.paths = {text};
        record.execArgs = {text};
        record.sockets = {text};
        record.processImage = text;
        records.push_back(record.record());
    }
    const nlohmann::json rows = nlohmann::json::parse(exportToText(records, Format::json));
    ASSERT_EQ(rows.size(), records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        const std::string text = "a" + std::string(1, char(i + 1)) + "b";
        for (const char *key : {"text", "paths", "commandLine", "sockets"})
            EXPECT_EQ(rows[i][key][0], text) << key << " " << i + 1;
        EXPECT_EQ(rows[i]["process"], text) << i + 1;
    }
}

TEST(EventExporter, BytesThatAreNotUTF8AreRepairedInBothFormats)
{
    RecordContent record;
    record.texts = {"bad\xff\xfe"
                    "end"};
    const std::vector<AuditRecord> records = {record.record()};
    const std::string csv = exportToText(records, Format::csv);
    EXPECT_NE(csv.find("bad\uFFFD\uFFFDend"), std::string::npos);
    const nlohmann::json json = nlohmann::json::parse(exportToText(records, Format::json));
    EXPECT_EQ(json[0]["text"][0], "bad\uFFFD\uFFFDend");
}

TEST(EventExporter, IsoTimes)
{
    struct Case {
        const char *name;
        double time;
        const char *expected;
    };
    const Case cases[] = {
        {"epoch", 0, "1970-01-01T00:00:00.000Z"},
        {"one millisecond survives binary rounding", 1709647630.001, "2024-03-05T14:07:10.001Z"},
        {"999 milliseconds do not round up a second", 1709647631.999, "2024-03-05T14:07:11.999Z"},
        {"leap day", 1709164800.5, "2024-02-29T00:00:00.500Z"},
        {"largest 32-bit header time", 4294967295.999, "2106-02-07T06:28:15.999Z"},
        {"before 1970", -0.25, "1969-12-31T23:59:59.750Z"},
        {"beyond the calendar: the plain seconds", 18446744073709551616.0, "18446744073709551616.000"},
        {"not a number", std::nan(""), "nan"},
    };
    for (const Case &c : cases) EXPECT_EQ(Exporter::isoTime(c.time), c.expected) << c.name;
}

TEST(EventExporter, ExportsRecordsInTheOrderOfTheList)
{
    std::vector<AuditRecord> records(3);
    for (size_t i = 0; i < records.size(); ++i) records[i].id = static_cast<int64_t>(10 + i);
    const std::vector<size_t> positions = {2, 0};
    const Exporter::RecordList view{positions.size(),
                                    [&](size_t i) -> const AuditRecord & { return records[positions[i]]; }};
    std::ostringstream out;
    Exporter::writeEvents(out, view, Format::json);
    const nlohmann::json rows = nlohmann::json::parse(out.str());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["id"], 12);
    EXPECT_EQ(rows[1]["id"], 10);
}

TEST(EventExporter, FailedWritesThrowAndLeaveNoTemporaryFile)
{
    const std::vector<AuditRecord> records = fixtureRecords();
    const auto list = Exporter::RecordList::of(records);
    TempFolder folder;

    struct Case {
        const char *name;
        Format format;
        fs::path path;
        const char *reason;
    };
    fs::create_directory(folder / "occupied");
    const Case cases[] = {
        {"CSV into a missing folder", Format::csv, folder / "missing" / "x.csv", "No such file or directory"},
        {"JSON into a missing folder", Format::json, folder / "missing" / "x.json", "No such file or directory"},
        {"CSV onto a folder", Format::csv, folder / "occupied", "Is a directory"},
        {"JSON onto a folder", Format::json, folder / "occupied", "Is a directory"},
    };
    for (const Case &c : cases) {
        try {
            Exporter::exportEvents(list, c.format, c.path.string());
            ADD_FAILURE() << c.name << ": no error";
        } catch (const Exporter::ExportError &e) {
            const std::string message = e.what();
            EXPECT_NE(message.find(c.path.string()), std::string::npos) << c.name << ": " << message;
            EXPECT_NE(message.find(c.reason), std::string::npos) << c.name << ": " << message;
        }
    }
    size_t entries = 0;
    for ([[maybe_unused]] const auto &entry : fs::directory_iterator(folder.path())) ++entries;
    EXPECT_EQ(entries, 1u) << "only the occupied folder remains";

    std::ostringstream broken;
    broken.setstate(std::ios::badbit);
    EXPECT_THROW(Exporter::writeEvents(broken, list, Format::csv), Exporter::ExportError);
}

TEST(EventExporter, CsvExportReplacesAnOldFileWhole)
{
    TempFolder folder;
    const fs::path path = folder / "audit-events.csv";
    std::ofstream(path) << std::string(100000, 'x');
    const std::vector<AuditRecord> records = fixtureRecords();
    Exporter::exportEvents(Exporter::RecordList::of(records), Format::csv, path.string());
    EXPECT_EQ(readFile(path), testData("export/events.csv"));
}

std::vector<AuditRecord> manyRecords(size_t count)
{
    std::vector<AuditRecord> records;
    for (size_t i = 0; i < count; ++i) {
        AuditRecord record = fixtureRecords()[0];
        record.id = int64_t(i + 1);
        records.push_back(std::move(record));
    }
    return records;
}

mode_t modeOf(const fs::path &path)
{
    struct stat info = {};
    ::lstat(path.c_str(), &info);
    return info.st_mode;
}

size_t entriesIn(const fs::path &folder)
{
    size_t entries = 0;
    for ([[maybe_unused]] const auto &entry : fs::directory_iterator(folder)) ++entries;
    return entries;
}

// Both formats go through a complete new file, so a write that fails half-way (here at a file
// size limit, as on a full disk) leaves the old file as it was and no temporary file beside it.
TEST(EventExporter, AFailedExportLeavesTheOldFileWhole)
{
    const std::vector<AuditRecord> records = manyRecords(200);
    const auto list = Exporter::RecordList::of(records);
    for (const Format format : {Format::csv, Format::json}) {
        SCOPED_TRACE(Exporter::fileExtension(format));
        TempFolder folder;
        const fs::path path = folder / (std::string("audit-events.") + Exporter::fileExtension(format));
        std::ofstream(path) << "the previous export";

        rlimit saved = {};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved;
        limited.rlim_cur = 8192;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
        std::string message;
        try {
            Exporter::exportEvents(list, format, path.string());
        } catch (const Exporter::ExportError &e) {
            message = e.what();
        }
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, savedSignal);

        EXPECT_EQ(message, "Could not write \"" + path.string() + "\": File too large.");
        EXPECT_EQ(readFile(path), "the previous export");
        EXPECT_EQ(entriesIn(folder.path()), 1u) << "no temporary file left";
    }
}

// Replacing a file keeps who may read it: a private export stays private.
TEST(EventExporter, ReplacingKeepsThePermissionBits)
{
    const std::vector<AuditRecord> records = fixtureRecords();
    const auto list = Exporter::RecordList::of(records);
    const struct {
        const char *name;
        std::function<void(const std::string &)> write;
    } writers[] = {
        {"CSV", [&](const std::string &path) { Exporter::exportEvents(list, Format::csv, path); }},
        {"JSON", [&](const std::string &path) { Exporter::exportEvents(list, Format::json, path); }},
        {"text", [](const std::string &path) { Exporter::replaceFile(path, "# Findings\n"); }},
    };
    const mode_t savedUmask = ::umask(022);
    for (const auto &writer : writers) {
        for (const mode_t mode : {mode_t(0600), mode_t(0640), mode_t(0664)}) {
            char octal[8];
            std::snprintf(octal, sizeof octal, "%04o", unsigned(mode));
            SCOPED_TRACE(std::string(writer.name) + " over mode " + octal);
            TempFolder folder;
            const fs::path path = folder / "export";
            std::ofstream(path) << "old";
            ASSERT_EQ(::chmod(path.c_str(), mode), 0);
            writer.write(path.string());
            EXPECT_EQ(modeOf(path) & 07777, mode);
            EXPECT_NE(readFile(path), "old");
        }
        SCOPED_TRACE(std::string(writer.name) + " as a new file");
        TempFolder folder;
        writer.write((folder / "new").string());
        EXPECT_EQ(modeOf(folder / "new") & 07777, 0644u);
    }
    ::umask(savedUmask);
}

// A target that exists and is not a regular file is refused by its own name, and stays. The
// targets are the test's own: a fault here, run as root, must not replace a system device.
TEST(EventExporter, RefusesTargetsThatAreNotRegularFiles)
{
    const std::vector<AuditRecord> records = fixtureRecords();
    const auto list = Exporter::RecordList::of(records);
    TempFolder folder;
    const fs::path pipe = folder / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    // Held open, so that a write into it would not wait for a reader.
    const int pipeEnd = ::open(pipe.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    const fs::path device = folder / "device";
    const bool haveDevice = ::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0; // like /dev/null
    std::vector<std::pair<const char *, fs::path>> targets = {{"named pipe", pipe}};
    if (haveDevice) targets.emplace_back("character device", device);
    for (const auto &[name, target] : targets) {
        for (const Format format : {Format::csv, Format::json}) {
            SCOPED_TRACE(std::string(name) + " as " + Exporter::fileExtension(format));
            const mode_t before = modeOf(target);
            try {
                Exporter::exportEvents(list, format, target.string());
                ADD_FAILURE() << "no error";
            } catch (const Exporter::ExportError &e) {
                EXPECT_STREQ(e.what(), ("Could not write \"" + target.string() + "\": Not a regular file.").c_str());
            }
            EXPECT_EQ(modeOf(target), before) << "the target is still what it was";
        }
    }
    char unread = 0;
    EXPECT_EQ(::read(pipeEnd, &unread, 1), -1) << "nothing was written into the pipe";
    ::close(pipeEnd);
    EXPECT_EQ(entriesIn(folder.path()), targets.size()) << "no temporary file left";
}

} // namespace
