#pragma once

#include "Services/MonitorAlert.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The history file's bytes are not a history: the message says what is wrong and where.
class AlertHistoryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The alert history file: one pretty-printed JSON array of alerts, newest first, members in field
// order, dates as whole-second UTC times ("2025-03-01T14:05:09Z"). Read once at start, rewritten
// whole after every change.
class AlertHistory {
public:
    static constexpr size_t maximumCount = 1000;

    // The value of QUILLMARSH_ALERTS_PATH when the variable is set at all (a relative path is taken
    // from the current folder), otherwise Quillmarsh/alerts.json in the user's data folder
    // ($XDG_DATA_HOME, or ~/.local/share).
    static QString defaultPath();

    explicit AlertHistory(QString path);
    const QString &path() const { return m_path; }

    enum class LoadState {
        unread,  // absent, not a regular file, or not readable
        damaged, // read, but not a history
        loaded,
    };
    struct LoadResult {
        LoadState state = LoadState::unread;
        std::vector<MonitorAlert> alerts; // in file order, not capped
        QString problem;                  // set when an existing file could not be used
    };
    // A file that exists but cannot be used is moved aside (never overwritten) so the next save
    // cannot destroy it; `problem` says where it went. Running out of memory while reading it
    // counts as such a file, so that it cannot stop every later start too.
    LoadResult load();

    // Writes the alerts through a temporary file in the same folder, synced and renamed over the
    // old file, with mode 0600; creates missing folders. Empty on success, otherwise the reason.
    QString save(const std::vector<MonitorAlert> &alerts);

    static std::string encode(const std::vector<MonitorAlert> &alerts);
    // The same elements with their members in name order: the form of an exported history.
    static std::string encodeSorted(const std::vector<MonitorAlert> &alerts);
    // Writes encodeSorted(alerts) to path, replacing a file there whole or not at all. Empty on
    // success, otherwise the reason. The path is the file's bytes, which need not be UTF-8: a chosen
    // file's name taken through text would lose them and the export would go to another file.
    static QString exportTo(const std::string &path, const std::vector<MonitorAlert> &alerts);
    // What a file may hold before any of it is built: far more than a thousand alerts need, far
    // less than a hostile file would cost (parsing builds about 75 bytes per byte of input).
    static constexpr size_t maximumDepth = 32;
    static constexpr size_t maximumValues = 4'000'000;
    // Throws AlertHistoryError; one bad element rejects the whole file, as does a file nested
    // deeper than maximumDepth (the array itself is one level) or with more than maximumValues
    // values (containers count), which is found out before anything is built.
    static std::vector<MonitorAlert> decode(std::string_view bytes);

    // Whole seconds (the fraction dropped) as 2025-03-01T14:05:09Z; years outside 0000 to 9999 are
    // clamped so that whatever is written can be read back.
    static std::string formatDate(double secondsSince1970);
    // Only exactly that form; nothing otherwise.
    static std::optional<double> parseDate(std::string_view text);

    // Puts the new alerts at the front, the last of them first, then keeps the newest maximumCount.
    static void insertNewest(std::vector<MonitorAlert> &history, const std::vector<MonitorAlert> &added);
    static int64_t unacknowledgedCount(const std::vector<MonitorAlert> &alerts);
    // The count in decimal, "" (no badge) at 0.
    static QString badgeLabel(int64_t unacknowledged);

private:
    // Reads and decodes the file into result; the reason an existing file cannot be used, or "".
    // Throws std::bad_alloc.
    QString read(const std::string &native, LoadResult &result);
    // Moves the file at m_path to an unused name beside it; that name, or "" with *error set.
    QString moveAside(QString *error);

    QString m_path;
    bool m_mustMoveAside = false; // an unusable file still sits at m_path
};
