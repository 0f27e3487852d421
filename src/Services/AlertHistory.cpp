#include "Services/AlertHistory.h"

#include "Engine/Support/AtomicFile.h"
#include "Engine/Support/FileError.h"
#include "Engine/Support/UtcTime.h"
#include "Engine/Support/WholeFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <sys/stat.h>

namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

// A real history is a few megabytes; anything far larger is not one and is not read into memory.
constexpr size_t largestReadableFile = 256 * 1024 * 1024;

const int64_t earliestWritable = UtcTime::daysFromCivil(0, 1, 1) * 86400;
const int64_t latestWritable = UtcTime::daysFromCivil(10000, 1, 1) * 86400 - 1;

QString systemError(int error, const QByteArray &path)
{
    return QString::fromStdString(FileError::text(error)) + " (" + QFile::decodeName(path) + ")";
}

QByteArray folderOf(const QByteArray &path)
{
    const int slash = path.lastIndexOf('/');
    if (slash < 0) return ".";
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

// mkdir -p, each new folder private to the user (the history says what was found on this
// machine); folders that exist already are left as they are. False with *error set when the
// chain cannot be made.
bool makeFolders(const QByteArray &folder, QString *error)
{
    for (qsizetype end = 1; end <= folder.size(); ++end) {
        if (end < folder.size() && folder[end] != '/') continue;
        const QByteArray prefix = folder.left(end);
        if (::mkdir(prefix.constData(), 0700) == 0 || errno == EEXIST) continue;
        *error = systemError(errno, prefix);
        return false;
    }
    struct stat info;
    if (::stat(folder.constData(), &info) != 0) {
        *error = systemError(errno, folder);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        *error = systemError(ENOTDIR, folder);
        return false;
    }
    return true;
}

// Member readers for one element; each names the element and member it rejects.
class ElementReader {
public:
    ElementReader(const Json &object, size_t index) : m_object(object), m_index(index) {}

    const Json &member(const char *name, bool (Json::*isType)() const, const char *typeName) const
    {
        const auto found = m_object.find(name);
        if (found == m_object.end()) fail(std::string("has no member \"") + name + "\"");
        if (!((*found).*isType)()) fail(std::string("member \"") + name + "\" is not " + typeName);
        return *found;
    }
    std::string text(const char *name) const { return member(name, &Json::is_string, "a string").get<std::string>(); }
    double date(const char *name) const
    {
        const std::string value = text(name);
        const auto seconds = AlertHistory::parseDate(value);
        if (!seconds) fail(std::string("member \"") + name + "\" is not a date like 2025-03-01T14:05:09Z");
        return *seconds;
    }
    int64_t integer(const char *name) const
    {
        const Json &value = member(name, &Json::is_number, "a number");
        if (value.is_number_integer() && !value.is_number_unsigned()) return value.get<int64_t>();
        if (value.is_number_unsigned() && value.get<uint64_t>() <= uint64_t(INT64_MAX))
            return int64_t(value.get<uint64_t>());
        if (value.is_number_float()) {
            const double d = value.get<double>();
            // 2^63 itself is out of range; every double below it with no fraction fits.
            if (std::trunc(d) == d && d >= -9223372036854775808.0 && d < 9223372036854775808.0) return int64_t(d);
        }
        fail(std::string("member \"") + name + "\" is not a 64-bit integer");
    }
    [[noreturn]] void fail(const std::string &what) const
    {
        throw AlertHistoryError("alert " + std::to_string(m_index + 1) + " " + what);
    }

private:
    const Json &m_object;
    size_t m_index;
};

MonitorAlert readAlert(const Json &element, size_t index)
{
    if (!element.is_object()) throw AlertHistoryError("alert " + std::to_string(index + 1) + " is not an object");
    const ElementReader in(element, index);
    MonitorAlert alert;
    if (!Uuid::parse(in.text("id"), &alert.id)) in.fail("has an \"id\" that is not a UUID");
    const auto kind = kindFromText(in.text("kind"));
    if (!kind) in.fail("has an unknown \"kind\"");
    alert.kind = *kind;
    alert.key = in.text("key");
    alert.eventTime = in.date("eventTime");
    alert.raisedAt = in.date("raisedAt");
    alert.severityRaw = in.integer("severityRaw");
    alert.rule = in.text("rule");
    alert.category = in.text("category");
    const auto technique = element.find("technique");
    if (technique != element.end() && !technique->is_null()) alert.technique = in.text("technique");
    alert.summary = in.text("summary");
    alert.explanation = in.text("explanation");
    alert.user = in.text("user");
    const Json &evidence = in.member("evidence", &Json::is_array, "an array");
    for (const Json &line : evidence) {
        if (!line.is_string()) in.fail("has an \"evidence\" entry that is not a string");
        alert.evidence.push_back(line.get<std::string>());
    }
    alert.acknowledged = in.member("acknowledged", &Json::is_boolean, "true or false").get<bool>();
    return alert;
}

} // namespace

QString AlertHistory::defaultPath()
{
    if (qEnvironmentVariableIsSet("QUILLMARSH_ALERTS_PATH")) {
        const QString value = QFile::decodeName(qgetenv("QUILLMARSH_ALERTS_PATH"));
        if (value.isEmpty()) return QDir::currentPath();
        return QDir::isAbsolutePath(value) ? value : QDir::current().absoluteFilePath(value);
    }
    QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty()) data = QDir::homePath() + "/.local/share";
    return data + "/Quillmarsh/alerts.json";
}

AlertHistory::AlertHistory(QString path) : m_path(std::move(path)) {}

AlertHistory::LoadResult AlertHistory::load()
{
    LoadResult result;
    const QByteArray native = QFile::encodeName(m_path);
    QString reason;
    try {
        reason = read(native.toStdString(), result);
    } catch (const std::bad_alloc &) {
        result.alerts = {};
        result.state = LoadState::damaged;
        reason = "there was not enough memory to read it";
    }
    if (reason.isEmpty()) return result;

    QString moveError;
    const QString keptAs = moveAside(&moveError);
    result.problem = "The alert history " + m_path + " could not be read: " + reason + ". ";
    if (!keptAs.isEmpty()) {
        result.problem += "It was kept as " + keptAs + ".";
    } else {
        m_mustMoveAside = true;
        result.problem += "It could not be moved aside (" + moveError + "), so it will not be overwritten.";
    }
    return result;
}

QString AlertHistory::read(const std::string &native, LoadResult &result)
{
    const WholeFile::Contents file = WholeFile::read(native, largestReadableFile);
    switch (file.status) {
    case WholeFile::Status::absent:
    case WholeFile::Status::notRegular: return {};
    case WholeFile::Status::failed: return QString::fromLocal8Bit(std::strerror(file.error));
    case WholeFile::Status::tooLarge:
        result.state = LoadState::damaged;
        return "the file is larger than any alert history";
    case WholeFile::Status::read:
        try {
            result.alerts = decode(file.bytes);
            result.state = LoadState::loaded;
            return {};
        } catch (const AlertHistoryError &e) {
            result.state = LoadState::damaged;
            return QString::fromStdString(e.what());
        }
    }
    return {};
}

QString AlertHistory::moveAside(QString *error)
{
    const QString stamp = QDateTime::currentDateTimeUtc().toString("yyyyMMdd-HHmmss");
    for (int attempt = 1; attempt <= 100; ++attempt) {
        QString candidate = m_path + ".unreadable-" + stamp;
        if (attempt > 1) candidate += "-" + QString::number(attempt);
        if (QFile::exists(candidate)) continue;
        QFile file(m_path);
        // Never replaces an existing file.
        if (file.rename(candidate)) return candidate;
        if (!QFile::exists(m_path)) return QString(); // gone meanwhile: nothing left to keep
        *error = file.errorString();
        return QString();
    }
    *error = "no free name beside it";
    return QString();
}

QString AlertHistory::save(const std::vector<MonitorAlert> &alerts)
{
    const QByteArray native = QFile::encodeName(m_path);
    const QByteArray folder = folderOf(native);
    QString error;
    if (!makeFolders(folder, &error)) return error;

    const std::string bytes = encode(alerts);

    // Private from the first byte: the history says what was found on this machine.
    AtomicFile::Options options;
    options.mode = 0600;
    options.exactMode = true;
    QString moveAsideError;
    options.beforeRename = [&] {
        if (!m_mustMoveAside) return true;
        QString moveError;
        if (moveAside(&moveError).isEmpty() && QFile::exists(m_path)) {
            moveAsideError = "the unreadable history could not be moved aside (" + moveError + ")";
            return false;
        }
        m_mustMoveAside = false;
        return true;
    };
    const int failure = AtomicFile::replace(
        native.toStdString(), [&](int fd) { return AtomicFile::writeAll(fd, bytes); }, options);
    if (!moveAsideError.isEmpty()) return moveAsideError;
    if (failure != 0) return systemError(failure, native);
    return QString();
}

namespace {

// One element per alert. With nlohmann::json the members come out sorted by name, with
// ordered_json in field order.
template <typename Document>
std::string encodeAs(const std::vector<MonitorAlert> &alerts)
{
    Document array = Document::array();
    for (const MonitorAlert &alert : alerts) {
        Document object = Document::object();
        object["id"] = alert.id.text();
        object["kind"] = kindText(alert.kind);
        object["key"] = alert.key;
        object["eventTime"] = AlertHistory::formatDate(alert.eventTime);
        object["raisedAt"] = AlertHistory::formatDate(alert.raisedAt);
        object["severityRaw"] = alert.severityRaw;
        object["rule"] = alert.rule;
        object["category"] = alert.category;
        if (alert.technique) object["technique"] = *alert.technique;
        object["summary"] = alert.summary;
        object["explanation"] = alert.explanation;
        object["user"] = alert.user;
        object["evidence"] = alert.evidence;
        object["acknowledged"] = alert.acknowledged;
        array.push_back(std::move(object));
    }
    // Texts come from audit records; a stray invalid byte becomes U+FFFD rather than failing the save.
    const std::string dumped = array.dump(2, ' ', false, Document::error_handler_t::replace);
    // The file's form escapes every "/" as "\/". Outside strings JSON has no "/", and no UTF-8
    // sequence holds its byte, so every one of them is inside a string.
    std::string text;
    text.reserve(dumped.size() + dumped.size() / 16 + 1);
    for (const char c : dumped) {
        if (c == '/') text += '\\';
        text += c;
    }
    return text + "\n";
}

} // namespace

std::string AlertHistory::encode(const std::vector<MonitorAlert> &alerts)
{
    return encodeAs<OrderedJson>(alerts);
}

std::string AlertHistory::encodeSorted(const std::vector<MonitorAlert> &alerts)
{
    return encodeAs<Json>(alerts);
}

QString AlertHistory::exportTo(const std::string &path, const std::vector<MonitorAlert> &alerts)
{
    const std::string bytes = encodeSorted(alerts);
    const int failure = AtomicFile::replace(path, [&](int fd) { return AtomicFile::writeAll(fd, bytes); });
    return failure == 0 ? QString() : systemError(failure, QByteArray::fromStdString(path));
}

namespace {

// A pass over the text that builds nothing: it counts values and nesting, and stops at the first
// bound crossed or the first syntax error, saying which.
class BoundsCheck : public nlohmann::json_sax<Json> {
public:
    std::string problem;

    bool null() override { return value(); }
    bool boolean(bool) override { return value(); }
    bool number_integer(number_integer_t) override { return value(); }
    bool number_unsigned(number_unsigned_t) override { return value(); }
    bool number_float(number_float_t, const string_t &) override { return value(); }
    bool string(string_t &) override { return value(); }
    bool binary(binary_t &) override { return value(); }
    bool start_object(std::size_t) override { return open(); }
    bool key(string_t &) override { return true; }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(); }
    bool end_array() override { return close(); }
    bool parse_error(std::size_t position, const std::string &, const nlohmann::detail::exception &) override
    {
        problem = "not valid JSON (at byte " + std::to_string(position) + ")";
        return false;
    }

private:
    bool value()
    {
        if (++m_values <= AlertHistory::maximumValues) return true;
        problem = "more than " + std::to_string(AlertHistory::maximumValues) + " values";
        return false;
    }
    bool open()
    {
        if (++m_depth > AlertHistory::maximumDepth) {
            problem = "nested more than " + std::to_string(AlertHistory::maximumDepth) + " levels deep";
            return false;
        }
        return value();
    }
    bool close()
    {
        --m_depth;
        return true;
    }

    size_t m_values = 0;
    size_t m_depth = 0;
};

} // namespace

std::vector<MonitorAlert> AlertHistory::decode(std::string_view bytes)
{
    BoundsCheck bounds;
    if (!Json::sax_parse(bytes.begin(), bytes.end(), &bounds)) throw AlertHistoryError(bounds.problem);
    Json document;
    try {
        document = Json::parse(bytes.begin(), bytes.end());
    } catch (const Json::parse_error &e) {
        throw AlertHistoryError("not valid JSON (at byte " + std::to_string(e.byte) + ")");
    }
    if (!document.is_array()) throw AlertHistoryError("not a JSON array of alerts");
    std::vector<MonitorAlert> alerts;
    alerts.reserve(document.size());
    for (size_t i = 0; i < document.size(); ++i) alerts.push_back(readAlert(document[i], i));
    return alerts;
}

std::string AlertHistory::formatDate(double secondsSince1970)
{
    int64_t seconds = 0;
    if (!std::isnan(secondsSince1970)) {
        const double whole = std::floor(secondsSince1970);
        seconds = whole <= double(earliestWritable) ? earliestWritable
                  : whole >= double(latestWritable) ? latestWritable
                                                    : int64_t(whole);
    }
    return UtcTime::isoSeconds(seconds);
}

std::optional<double> AlertHistory::parseDate(std::string_view text)
{
    const std::optional<int64_t> seconds = UtcTime::parseIsoSeconds(text);
    if (!seconds) return std::nullopt;
    return double(*seconds);
}

void AlertHistory::insertNewest(std::vector<MonitorAlert> &history, const std::vector<MonitorAlert> &added)
{
    history.insert(history.begin(), added.rbegin(), added.rend());
    if (history.size() > maximumCount) history.resize(maximumCount);
}

int64_t AlertHistory::unacknowledgedCount(const std::vector<MonitorAlert> &alerts)
{
    int64_t count = 0;
    for (const MonitorAlert &alert : alerts) count += alert.acknowledged ? 0 : 1;
    return count;
}

QString AlertHistory::badgeLabel(int64_t unacknowledged)
{
    return unacknowledged > 0 ? QString::number(unacknowledged) : QString();
}
