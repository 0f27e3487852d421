#include "Store/TrailLoad.h"

#include "Engine/Record/PathComponents.h"
#include "Engine/Support/FileError.h"
#include "Engine/Support/Memory.h"
#include "Store/NativePath.h"
#include "Store/TrailFile.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <stdexcept>

namespace TrailLoad {

Location locate(const QUrl &url)
{
    Location location;
    if (url.isLocalFile()) {
        // Opened, kept and handed on by its bytes; the name, with U+FFFD for bytes that are not
        // UTF-8, is only shown.
        const QByteArray native = NativePath::fromUrl(url);
        location.native = native.toStdString();
        location.path = *location.native;
        location.name = std::string(lastPathComponent(QString::fromUtf8(native).toStdString()));
    } else {
        location.path = url.path().toStdString();
        location.name = std::string(lastPathComponent(location.path));
    }
    return location;
}

namespace {

void readAndDecode(const std::optional<std::string> &native, Parallel::Pool &pool, LoadControl &control, Loaded &loaded)
{
    if (!native) {
        loaded.error = EPROTONOSUPPORT;
        return;
    }
    TrailFile::Contents contents;
    {
        const PhaseCheck reading(control, LoadPhase::read);
        contents = TrailFile::read(*native, pool);
    }
    if (contents.error != 0) {
        loaded.error = contents.error;
        return;
    }
    loaded.bytes = int64_t(contents.bytes->size());
    const PhaseCheck parsing(control, LoadPhase::parse);
    try {
        // Parts small enough that every thread gets a few, large enough that framing them costs nothing.
        const int64_t partSize = std::clamp<int64_t>(loaded.bytes / int64_t(pool.threads() * 4), int64_t(64) << 10,
                                                     int64_t(4) << 20);
        loaded.trail = BSMParser::parseFile(std::move(contents.bytes), 0, 0, pool, partSize);
    } catch (...) {
        loaded.decoded = parsing.decoded();
        loaded.announced = parsing.announced();
        throw;
    }
}

bool isLackOfMemory(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::bad_alloc &) {
        return true;
    } catch (const std::length_error &) {
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace

std::shared_ptr<Loaded> read(const std::optional<std::string> &native, Parallel::Pool &pool, LoadControl &control)
{
    auto loaded = std::make_shared<Loaded>();
    try {
        readAndDecode(native, pool, control, *loaded);
    } catch (const OutOfRoom &stop) {
        loaded->outOfRoom = stop;
    } catch (...) {
        loaded->failure = std::current_exception();
    }
    if (loaded->outOfRoom || loaded->failure) loaded->trail = {};
    return loaded;
}

QString refusal(const Loaded &loaded, const std::string &name)
{
    if (loaded.outOfRoom) {
        // What it held when it was stopped, the part that grows with the bytes decoded
        // extrapolated to all of them; the buffer and the records' slots were taken at once.
        const uint64_t taken = loaded.outOfRoom->taken, bytes = uint64_t(std::max<int64_t>(loaded.bytes, 0));
        uint64_t needed = taken;
        if (loaded.decoded > 0 && bytes > loaded.decoded) {
            const uint64_t fixed = std::min(taken, bytes + loaded.announced);
            needed = fixed + uint64_t(double(taken - fixed) * double(bytes) / double(loaded.decoded));
        }
        return roomSentence("Couldn't read", name, needed, loaded.outOfRoom->room);
    }
    if (loaded.error != 0)
        return QString::fromStdString("Couldn't read " + name + ": " + FileError::text(loaded.error));
    return {};
}

QString doubt(const BSMParser::TrailResult &trail, const std::string &name)
{
    if (!trail.records.empty() || trail.issues.empty()) return {};
    return QString::fromStdString(name + " doesn't look like a BSM audit trail (" + trail.issues.front().message + ").");
}

QString roomSentence(const std::string &verb, const std::string &name, uint64_t needed, uint64_t room)
{
    return QString::fromStdString(verb + " " + name + ": loading it needs about " + Memory::byteText(needed)
                                  + " of memory, and " + Memory::byteText(room) + " is available");
}

QString failureSentence(const std::string &verb, const std::string &name, const std::exception_ptr &failure,
                        const char *lackOfMemory)
{
    std::string what;
    if (isLackOfMemory(failure)) {
        what = lackOfMemory;
    } else {
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception &error) {
            what = error.what();
        } catch (...) {
            what = "an unknown failure";
        }
    }
    return QString::fromStdString(verb + " " + name + ": " + what);
}

} // namespace TrailLoad
