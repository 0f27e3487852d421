#include "Services/Privileged.h"

#include "Platform/Elevation.h"
#include "support/FakeElevation.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <system_error>
#include <unistd.h>

namespace {

constexpr const char *authorise = "exec \"$@\"";
constexpr const char *dismiss = "echo 'Error executing command as another user: Request dismissed' >&2; exit 126";
constexpr const char *refuse = "echo 'Error executing command as another user: Not authorized' >&2\n"
                               "printf '\\nThis incident has been reported.\\n' >&2; exit 127";

struct Outcome {
    std::optional<std::string> output;
    std::optional<PrivilegedError::Kind> error;
    std::string description;
};

Outcome outcomeOf(QFuture<std::string> future)
{
    try {
        return {future.result(), std::nullopt, {}};
    } catch (const PrivilegedError &e) {
        return {std::nullopt, e.kind(), e.description()};
    }
}

struct RunCase {
    const char *name;
    const char *fake;
    const char *command;
    Outcome expected;
};

const RunCase runCases[] = {
    {"output comes back untrimmed", authorise, "printf ' a\\n\\n'", {" a\n\n", {}, {}}},
    {"invalid UTF-8 in the output becomes U+FFFD", authorise, "printf 'ok\\377'", {"ok\xEF\xBF\xBD", {}, {}}},
    {"failure carries the trimmed error text",
     authorise,
     "echo out; printf '  \\tno such thing\\n\\n' >&2; exit 3",
     {{}, PrivilegedError::Kind::failed, "no such thing"}},
    {"any Unicode white space is trimmed",
     authorise,
     "printf '\\342\\200\\250 oops \\302\\240' >&2; exit 1",
     {{}, PrivilegedError::Kind::failed, "oops"}},
    {"failure without error text", authorise, "exit 1", {{}, PrivilegedError::Kind::failed, ""}},
    {"command killed by a signal", authorise, "kill -9 $$", {{}, PrivilegedError::Kind::failed, ""}},
    {"dismissed dialog",
     dismiss,
     "true",
     {{}, PrivilegedError::Kind::cancelled, "Administrator authorisation was cancelled."}},
    {"refused authorisation",
     refuse,
     "true",
     {{},
      PrivilegedError::Kind::failed,
      "Error executing command as another user: Not authorized\n\nThis incident has been reported."}},
};

TEST(Privileged, TurnsTheChildsResultIntoOutputOrError)
{
    for (const RunCase &c : runCases) {
        SCOPED_TRACE(c.name);
        FakeElevation fake(c.fake);
        const Outcome got = outcomeOf(Privileged::run(c.command, "Test needs access."));
        EXPECT_EQ(got.output, c.expected.output);
        EXPECT_EQ(got.error, c.expected.error);
        EXPECT_EQ(got.description, c.expected.description);
    }
}

TEST(Privileged, HandsTheCommandToTheShellVerbatim)
{
    FakeElevation fake(authorise);
    const std::string command = "printf '%s\\n' \"a \\\"quoted\\\" word\" 'back\\slash' \"$0\"\n# second line";
    EXPECT_EQ(Privileged::run(command, "prompt").result(), "a \"quoted\" word\nback\\slash\n/bin/sh\n");
    EXPECT_EQ(fake.arguments(), (std::vector<std::string>{"/bin/sh", "-c", command}));
}

TEST(Privileged, ReadsBothStreamsWhileTheChildRuns)
{
    // More than a pipe holds on standard error before anything on standard output: reading one
    // stream to its end before the other would never finish.
    FakeElevation fake(authorise);
    const std::string output = Privileged::run("head -c 1048576 /dev/zero | tr '\\000' e >&2;"
                                               "head -c 1048576 /dev/zero | tr '\\000' o",
                                               "prompt")
                                   .result();
    EXPECT_EQ(output, std::string(1 << 20, 'o'));
}

TEST(Privileged, RunsEachCallOnItsOwnThread)
{
    FakeElevation fake(authorise);
    const std::string go = QDir(fake.directory()).filePath("go").toStdString();
    QFuture<std::string> waiting = Privileged::run("while [ ! -e " + Privileged::shellQuoted(go)
                                                       + " ]; do sleep 0.01; done; echo first",
                                                   "");
    EXPECT_EQ(Privileged::run("echo second", "").result(), "second\n");
    EXPECT_FALSE(waiting.isFinished());
    QFile(QString::fromStdString(go)).open(QIODevice::WriteOnly);
    EXPECT_EQ(waiting.result(), "first\n");
}

TEST(Privileged, UnlaunchableProgramGivesTheSystemsError)
{
    QTemporaryDir dir;
    const std::string notExecutable = QDir(dir.path()).filePath("plain").toStdString();
    QFile(QString::fromStdString(notExecutable)).open(QIODevice::WriteOnly);
    const struct {
        const char *name;
        std::string program;
        int error;
    } cases[] = {
        {"missing program", QDir(dir.path()).filePath("missing").toStdString(), ENOENT},
        {"program without execute permission", notExecutable, EACCES},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Elevation::setProgram(c.program);
        try {
            Privileged::run("true", "").result();
            ADD_FAILURE() << "launch did not fail";
        } catch (const std::system_error &e) {
            EXPECT_EQ(e.code().value(), c.error);
        }
    }
    Elevation::setProgram("");
}

TEST(Elevation, ShellRunDirectlyNeverCountsAsDismissed)
{
    // Status 126 means a dismissed dialog only when it comes from the elevation program.
    const Elevation::Result result = Elevation::runThrough("", "echo \"$0\"; echo e >&2; exit 126");
    EXPECT_FALSE(result.dismissed);
    EXPECT_EQ(result.status, 126);
    EXPECT_EQ(result.output, "/bin/sh\n");
    EXPECT_EQ(result.error, "e\n");
}

TEST(Elevation, RootRunsTheShellItself)
{
    if (::geteuid() != 0) GTEST_SKIP() << "needs root";
    Elevation::setProgram("");
    EXPECT_EQ(Privileged::run("id -u", "").result(), "0\n");
}

} // namespace
