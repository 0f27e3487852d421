#include "Services/Privileged.h"

#include "Engine/BSM/UTF8.h"
#include "Engine/BSM/Uuid.h"
#include "Platform/Elevation.h"
#include "Platform/Logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QPromise>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace Privileged {

namespace {

constexpr const char *trailPrompt = "Quillmarsh needs administrator access to read the audit trails in /var/audit.";
constexpr const char *copyFolderPrefix = "Quillmarsh-trails-";

// The code points that Unicode counts as white space.
constexpr char32_t whiteSpace[] = {
    0x09,   0x0A,   0x0B,   0x0C,   0x0D,   0x20,   0x85,   0xA0,   0x1680, 0x2000, 0x2001, 0x2002, 0x2003,
    0x2004, 0x2005, 0x2006, 0x2007, 0x2008, 0x2009, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000,
};

bool isWhiteSpace(char32_t c)
{
    return std::find(std::begin(whiteSpace), std::end(whiteSpace), c) != std::end(whiteSpace);
}

// The code point starting at `at` of well-formed UTF-8, and its length in bytes.
char32_t codePointAt(const std::string &text, size_t at, size_t *length)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    const size_t n = std::min<size_t>(lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4, text.size() - at);
    char32_t c = n == 1 ? lead : lead & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) c = (c << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
    *length = n;
    return c;
}

std::string trimmed(const std::string &text)
{
    size_t begin = 0;
    size_t end = text.size();
    size_t length = 0;
    while (begin < end && isWhiteSpace(codePointAt(text, begin, &length))) begin += length;
    while (end > begin) {
        size_t start = end - 1;
        while (start > begin && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
        if (!isWhiteSpace(codePointAt(text, start, &length))) break;
        end = start;
    }
    return text.substr(begin, end - begin);
}

std::string runAsRoot(const std::string &command, const std::string &prompt)
{
    const Elevation::Result result = Elevation::run(command, prompt);
    if (result.dismissed) throw PrivilegedError::cancelled();
    if (result.status != 0) throw PrivilegedError::failed(trimmed(UTF8::decodeLossy(result.error)));
    return UTF8::decodeLossy(result.output);
}

// mkdir rather than reuse: a folder or link that someone else put in its place must fail the
// call, not receive copies of the system's trails.
void createPrivateFolder(const std::string &folder)
{
    if (::mkdir(folder.c_str(), 0700) != 0)
        throw std::system_error(errno, std::generic_category(), "Could not create the folder " + folder);
    // The umask may have taken owner bits away.
    if (::chmod(folder.c_str(), 0700) != 0)
        throw std::system_error(errno, std::generic_category(), "Could not protect the folder " + folder);
}

// Entries whose names start with a dot are left out, whatever put them there.
std::vector<std::string> listTrails(const std::string &folder)
{
    const std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) throw std::system_error(errno, std::generic_category(), "Could not list the folder " + folder);
    std::vector<std::string> names;
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir.get());
        if (!entry) break;
        if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
    }
    if (errno != 0) throw std::system_error(errno, std::generic_category(), "Could not list the folder " + folder);
    // Byte order, which for UTF-8 is code point order; trail names start with their start time.
    std::sort(names.begin(), names.end());
    std::vector<std::string> paths;
    paths.reserve(names.size());
    for (const std::string &name : names) paths.push_back(folder + "/" + name);
    return paths;
}

// QDir::tempPath() is empty while TMPDIR names a folder that does not exist yet; the copy folder
// is then made together with its parents rather than at the top of the file system.
QString temporaryDirectory()
{
    const QString temporary = QDir::tempPath();
    if (!temporary.isEmpty()) return temporary;
    const QString fromEnvironment = qEnvironmentVariable("TMPDIR");
    return fromEnvironment.isEmpty() ? QStringLiteral("/tmp") : QDir::cleanPath(QDir(fromEnvironment).absolutePath());
}

// The copy folders of this run, removed at quit: each holds a full copy of the system's trails.
std::mutex copiesMutex;
std::vector<std::string> copies;

void remember(const std::string &folder)
{
    const std::lock_guard lock(copiesMutex);
    copies.push_back(folder);
}

// Once per application object; the store calls copySystemTrails() on the main thread.
void removeCopiesAtQuit()
{
    static QPointer<QCoreApplication> hooked;
    QCoreApplication *application = QCoreApplication::instance();
    if (!application || hooked == application) return;
    hooked = application;
    QObject::connect(application, &QCoreApplication::aboutToQuit, application, &removeCopiedTrails);
}

std::vector<std::string> copyTrails()
{
    const QString temporary = temporaryDirectory();
    QDir().mkpath(temporary); // when this fails, mkdir below reports the system's own error
    std::string folder = QFile::encodeName(temporary).toStdString();
    if (!folder.ends_with('/')) folder += '/';
    folder += copyFolderPrefix + Uuid::random().text().substr(0, 8);
    createPrivateFolder(folder);
    remember(folder);
    runAsRoot(systemTrailCopyCommand(folder, ::getuid()), trailPrompt);
    return listTrails(folder);
}

// A thread of its own rather than the shared pool: the wait lasts as long as the user leaves the
// dialog open, and quitting must not wait for it, while the application object waits for every
// task of the shared pool when it goes. Callers take the result with Background::whenDone as usual.
template <typename T, typename Body>
QFuture<T> runDetached(Body body)
{
    auto promise = std::make_shared<QPromise<T>>();
    QFuture<T> future = promise->future();
    promise->start();
    auto task = [promise, body = std::move(body)] {
        try {
            promise->addResult(body());
        } catch (...) {
            promise->setException(std::current_exception());
        }
        promise->finish();
    };
    try {
        std::thread(std::move(task)).detach();
    } catch (...) {
        promise->setException(std::current_exception());
        promise->finish();
    }
    return future;
}

} // namespace

QFuture<std::string> run(const std::string &command, const std::string &prompt)
{
    return runDetached<std::string>([command, prompt] { return runAsRoot(command, prompt); });
}

QFuture<std::vector<std::string>> copySystemTrails()
{
    removeCopiesAtQuit();
    return runDetached<std::vector<std::string>>(copyTrails);
}

std::string shellQuoted(const std::string &text)
{
    std::string out = "'";
    for (const char c : text) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}

std::string systemTrailCopyCommand(const std::string &folder, uint32_t uid)
{
    const std::string q = shellQuoted(folder);
    const std::string u = std::to_string(uid);
    // Root never writes through a path that an unprivileged process can redirect. The user's
    // folder is pinned as the working directory and checked after entering it; the copies go into
    // a staging folder that root makes inside it and enters in turn (0700, root's own, empty, its
    // parent the pinned folder), so no link can be planted where root writes. Each copy is handed
    // to the user while still in that folder and then renamed into the user's folder: a rename
    // replaces whatever entry is there and follows no link. Only regular files are copied, no
    // links (the active trail is one) and no folders; the exit status is that of the hand-over.
    return "umask 077; cd -P -- " + q + " || exit 1; p=$(stat -c %d:%i .) || exit 1; "
           + "if [ \"$(stat -c %u:%a .)\" != " + u + ":700 ]; then echo \"Refusing to copy into \"" + q
           + "\": it is not a private folder of user " + u + ".\" >&2; exit 1; fi; "
           + "mkdir -m 700 .copy 2>/dev/null && cd -P .copy && [ \"$(stat -c %u:%a .)\" = \"$(id -u):700\" ] "
           + "&& [ \"$(stat -c %d:%i ..)\" = \"$p\" ] && [ -z \"$(ls -A)\" ] " + "|| { echo \"Refusing to copy into \""
           + q + "\": its staging folder was tampered with.\" >&2; exit 1; }; "
           + "for s in /var/audit/*; do [ -f \"$s\" ] && [ ! -L \"$s\" ] && cp -p -- \"$s\" .; done; "
           + "status=0; for f in *; do [ -f \"$f\" ] || continue; " + "chmod u+rw -- \"$f\" && chown " + u
           + " -- \"$f\" && mv -f -T -- \"$f\" \"../$f\" || status=1; done; " + "cd .. && rmdir .copy && exit $status";
}

void removeCopiedTrails()
{
    std::vector<std::string> folders;
    {
        const std::lock_guard lock(copiesMutex);
        folders.swap(copies);
    }
    // remove_all follows no link, not even one put in the folder's place; what cannot be removed
    // stays, as nothing can be done about it at quit, but is named on standard error.
    for (const std::string &folder : folders) {
        std::error_code error;
        std::filesystem::remove_all(folder, error);
        if (error)
            qCWarning(lcServices, "Could not remove the copied trails in %s: %s", folder.c_str(),
                      error.message().c_str());
    }
}

} // namespace Privileged
