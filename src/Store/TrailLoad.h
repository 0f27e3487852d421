#pragma once

#include "Engine/Parser/BSMParser.h"
#include "Engine/Support/MemoryGuard.h"
#include "Engine/Support/Parallel.h"
#include "Store/LoadControl.h"

#include <QString>
#include <QUrl>

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>

// Reading and decoding one trail file for a load, and the sentences a load ends with.
namespace TrailLoad {

// What loading needs of a URL: the native path to open (none for a URL that is not a local file),
// the path the source keeps (the native bytes of a local file) and the name shown for it.
struct Location {
    std::optional<std::string> native;
    std::string path;
    std::string name;
};

Location locate(const QUrl &url);

// What reading and decoding one file gave, or how it ended early.
struct Loaded {
    BSMParser::TrailResult trail;
    int64_t bytes = 0;
    int error = 0;                      // errno of a failed read
    std::optional<OutOfRoom> outOfRoom; // the memory guard stopped it
    uint64_t decoded = 0;               // bytes decoded when it was stopped
    uint64_t announced = 0;             // what the decode had taken at once by then (the records' slots)
    std::exception_ptr failure;         // anything else that ended it: a failed allocation, a cancellation
};

// Reads and decodes the file, on the pool, at the control's checkpoints. Never throws: how it
// ended is in what it gives. The records keep windows into the one buffer the file was read
// into; their ids are given when the store takes them up.
std::shared_ptr<Loaded> read(const std::optional<std::string> &native, Parallel::Pool &pool, LoadControl &control);

// Why the file is refused on its own (the memory guard stopped it, it could not be read), or
// empty when it was decoded.
QString refusal(const Loaded &loaded, const std::string &name);
// What is said of a decoded file that gave issues and no records; empty otherwise.
QString doubt(const BSMParser::TrailResult &trail, const std::string &name);

// "Couldn't read a.bsm: loading it needs about 6.1 GB of memory, and 2.0 GB is available".
QString roomSentence(const std::string &verb, const std::string &name, uint64_t needed, uint64_t room);
// "<verb> <name>: <what the failure says>", a failed allocation as `lackOfMemory`.
QString failureSentence(const std::string &verb, const std::string &name, const std::exception_ptr &failure,
                        const char *lackOfMemory);

} // namespace TrailLoad
