#include "Engine/Analysis/ProcessGraph.h"
#include "Engine/Parser/BSMParser.h"
#include "Engine/Record/RecordBuilder.h"
#include "support/TrailGenerator.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace {

constexpr uint16_t execve = 23, forkEvent = 2, exitEvent = 1, spawn = 43190, openEvent = 72;

RecordContent content(int64_t id, uint16_t event, double time, uint32_t pid)
{
    RecordContent r;
    r.id = id;
    r.event = event;
    r.time = time;
    SubjectInfo subject;
    subject.auid = 501;
    subject.euid = 501;
    subject.pid = pid;
    r.subject = subject;
    return r;
}

AuditRecord record(int64_t id, uint16_t event, double time, uint32_t pid)
{
    return content(id, event, time, pid).record();
}

RecordContent execContent(int64_t id, double time, uint32_t pid, std::string path, std::vector<std::string> args = {},
                          uint8_t status = 0)
{
    RecordContent r = content(id, execve, time, pid);
    if (!path.empty()) r.paths = {std::move(path)};
    r.execArgs = std::move(args);
    r.returnStatus = status;
    return r;
}

AuditRecord exec(int64_t id, double time, uint32_t pid, std::string path, std::vector<std::string> args = {},
                 uint8_t status = 0)
{
    return execContent(id, time, pid, std::move(path), std::move(args), status).record();
}

RecordContent forkContent(int64_t id, double time, uint32_t pid, uint32_t child)
{
    RecordContent r = content(id, forkEvent, time, pid);
    r.returnValue = child;
    return r;
}

AuditRecord fork(int64_t id, double time, uint32_t pid, uint32_t child)
{
    return forkContent(id, time, pid, child).record();
}

RecordContent exitContent(int64_t id, double time, uint32_t pid, int32_t status)
{
    RecordContent r = content(id, exitEvent, time, pid);
    r.exitStatus = status;
    return r;
}

AuditRecord exitOf(int64_t id, double time, uint32_t pid, int32_t status)
{
    return exitContent(id, time, pid, status).record();
}

// The records with their images filled in, and the lineage.
struct Built {
    std::vector<AuditRecord> records;
    ProcessTree tree;
};

Built build(std::vector<AuditRecord> records, Parallel::Pool &pool = Parallel::Pool::single())
{
    ProcessTree tree = ProcessGraph::build(records, pool);
    return {std::move(records), std::move(tree)};
}

// The tree as text: ids, children in brackets, placeholders as "P" and their id.
std::string shape(const ProcessTree &tree, std::span<const uint32_t> positions)
{
    std::string out;
    for (const uint32_t position : positions) {
        const ProcessNode &node = tree.node(position);
        if (!out.empty()) out += ' ';
        out += (node.isPlaceholder ? "P" : "") + std::to_string(node.id);
        if (node.children) out += "[" + shape(tree, tree.children(node)) + "]";
    }
    return out;
}

std::string shape(const Built &built)
{
    return shape(built.tree, built.tree.roots);
}

const ProcessNode &byID(const Built &built, int64_t id)
{
    for (const ProcessNode &node : built.tree.processes)
        if (node.id == id) return node;
    throw std::runtime_error("no node " + std::to_string(id));
}

TEST(ProcessGraph, ImageAndCommandLine)
{
    struct Case {
        const char *name;
        std::vector<std::string> paths;
        std::vector<std::string> args;
        std::string image;
        std::string commandLine;
    };
    const Case cases[] = {
        {"path wins", {"/bin/ls", "/lib/x"}, {"ls", "-l"}, "/bin/ls", "ls -l"},
        {"first argument without a path", {}, {"ls", "-l"}, "ls", "ls -l"},
        {"neither", {}, {}, "?", "?"},
        {"no arguments: the image", {"/bin/ls"}, {}, "/bin/ls", "/bin/ls"},
        {"empty arguments are kept", {"/bin/echo"}, {"echo", "", "x"}, "/bin/echo", "echo  x"},
    };
    for (const Case &c : cases) {
        RecordContent r = content(1, execve, 10, 100);
        r.paths = c.paths;
        r.execArgs = c.args;
        auto result = build({r.record()});
        ASSERT_EQ(result.tree.processes.size(), 1u) << c.name;
        EXPECT_EQ(result.tree.processes[0].image, c.image) << c.name;
        EXPECT_EQ(result.tree.processes[0].commandLine(), c.commandLine) << c.name;
        EXPECT_EQ(result.records[0].processImage, c.image) << c.name;
    }
}

TEST(ProcessGraph, ExecNodeFields)
{
    RecordContent r = execContent(7, 12.5, 100, "/usr/bin/sudo", {"sudo", "id"});
    SubjectInfo subject = *r.subject;
    subject.auid = 501;
    subject.euid = 0;
    r.subject = subject;
    r.identity = SigningIdentity{.signerType = 1, .signingID = "com.apple.sudo", .teamID = "", .cdhash = "ab"};
    auto result = build({fork(6, 12, 50, 100), r.record()});
    const ProcessNode &node = byID(result, 7);
    EXPECT_EQ(node.pid, 100u);
    EXPECT_EQ(node.ppid, 50u);
    EXPECT_EQ(node.args, (std::vector<std::string>{"sudo", "id"}));
    EXPECT_EQ(node.euid, 0u);
    EXPECT_EQ(node.auid, 501u);
    EXPECT_EQ(node.start, 12.5);
    EXPECT_EQ(node.signingID, "com.apple.sudo");
    EXPECT_EQ(node.teamID, "");
    EXPECT_TRUE(node.succeeded);
    EXPECT_FALSE(node.isPlaceholder);
    EXPECT_FALSE(node.end);
    EXPECT_FALSE(node.children);
    EXPECT_EQ(node.eventCount, 0);
}

TEST(ProcessGraph, ForkChildPID)
{
    struct Case {
        const char *name;
        std::vector<ArgInfo> args;
        int64_t returnValue;
        uint8_t status;
        std::optional<uint32_t> childParent;   // ppid of the exec in pid 300
        std::optional<std::string> childImage; // image of a record in pid 300 before its exec
    };
    const Case cases[] = {
        {"return value", {}, 300, 0, 100u, "/bin/zsh"},
        {"low 32 bits of the return value", {}, int64_t(0x700000000) + 300, 0, 100u, "/bin/zsh"},
        {"argument named child", {{1, 300, "child PID"}}, 999, 0, 100u, "/bin/zsh"},
        {"argument name in any case", {{1, 999, "mode"}, {2, 300, "CHILD"}}, 999, 0, 100u, "/bin/zsh"},
        {"first child argument wins", {{1, 300, "child"}, {2, 999, "child"}}, 999, 0, 100u, "/bin/zsh"},
        {"argument value truncated", {{1, 0x500000000 + 300, "child"}}, 999, 0, 100u, "/bin/zsh"},
        {"failed fork records nothing", {}, 300, 1, std::nullopt, std::nullopt},
        {"child 0 records nothing", {{1, 0, "child"}}, 300, 0, std::nullopt, std::nullopt},
    };
    for (const Case &c : cases) {
        RecordContent f = forkContent(2, 11, 100, 0);
        f.args = c.args;
        f.returnValue = c.returnValue;
        f.returnStatus = c.status;
        auto result = build(
            {exec(1, 10, 100, "/bin/zsh"), f.record(), record(3, openEvent, 12, 300), exec(4, 13, 300, "/bin/ls")});
        EXPECT_EQ(result.records[1].processImage, "/bin/zsh") << c.name << ": a fork is its parent's record";
        EXPECT_EQ(result.records[2].processImage, c.childImage) << c.name;
        EXPECT_EQ(byID(result, 4).ppid, c.childParent) << c.name;
        EXPECT_EQ(byID(result, 1).eventCount, 1) << c.name;
    }
}

TEST(ProcessGraph, Spawn)
{
    RecordContent withChild = execContent(2, 11, 100, "/bin/ls", {"ls"});
    withChild.event = spawn;
    withChild.args = {{1, 300, "child PID"}};
    auto result = build({exec(1, 10, 100, "/bin/zsh"), withChild.record(), record(3, openEvent, 12, 300),
                         record(4, openEvent, 12, 100)});
    const ProcessNode &child = byID(result, 2);
    EXPECT_EQ(child.pid, 300u);
    EXPECT_EQ(child.ppid, 100u);
    EXPECT_EQ(result.records[1].processImage, "/bin/zsh") << "the spawner's own image";
    EXPECT_EQ(result.records[2].processImage, "/bin/ls");
    EXPECT_EQ(result.records[3].processImage, "/bin/zsh");
    EXPECT_FALSE(byID(result, 1).end) << "the spawner goes on running";
    EXPECT_EQ(byID(result, 2).eventCount, 1);
    EXPECT_EQ(shape(result), "1[2]");

    RecordContent withoutChild = withChild;
    withoutChild.args.clear();
    result = build({exec(1, 10, 100, "/bin/zsh"), withoutChild.record()});
    EXPECT_EQ(byID(result, 2).pid, 100u);
    EXPECT_EQ(result.records[1].processImage, "/bin/ls") << "the spawner's pid now runs the new image";
    EXPECT_EQ(byID(result, 1).end, 11);

    RecordContent failed = withChild;
    failed.returnStatus = 1;
    result = build({exec(1, 10, 100, "/bin/zsh"), failed.record(), exec(3, 12, 300, "/bin/cat")});
    EXPECT_EQ(byID(result, 3).ppid, 100u) << "a failed spawn still names the child's parent";
    EXPECT_FALSE(byID(result, 2).succeeded);
}

TEST(ProcessGraph, ReExecInOnePid)
{
    // Without a known parent the second image hangs under the one it replaced.
    auto result = build({exec(1, 10, 100, "/bin/sh"), exec(2, 20, 100, "/bin/ls")});
    EXPECT_EQ(byID(result, 1).end, 20);
    EXPECT_FALSE(byID(result, 2).end);
    EXPECT_EQ(shape(result), "1[2]");

    // With a parent that started no later, both are its children.
    result = build(
        {exec(1, 5, 50, "/bin/zsh"), fork(2, 6, 50, 100), exec(3, 10, 100, "/bin/sh"), exec(4, 20, 100, "/bin/ls")});
    EXPECT_EQ(byID(result, 3).end, 20);
    EXPECT_EQ(shape(result), "1[3 4]");

    // An exit-set end is not overwritten by a later exec; the exec after an exit opens a new node.
    result = build({exec(1, 10, 100, "/bin/sh"), exitOf(2, 15, 100, 0), exec(3, 20, 100, "/bin/ls")});
    EXPECT_EQ(byID(result, 1).end, 15);
}

TEST(ProcessGraph, FailedExec)
{
    auto result = build({exec(1, 10, 100, "/bin/zsh"), fork(2, 11, 100, 200), exec(3, 12, 200, "/tmp/nope", {"nope"}, 2),
                         record(4, openEvent, 13, 200), exec(5, 14, 200, "/bin/ls"), record(6, openEvent, 15, 200)});
    const ProcessNode &failed = byID(result, 3);
    EXPECT_FALSE(failed.succeeded);
    EXPECT_EQ(failed.ppid, 100u);
    EXPECT_EQ(result.records[2].processImage, "/tmp/nope") << "the exec record shows what it tried to run";
    EXPECT_EQ(result.records[3].processImage, "/bin/zsh") << "the forked image still runs";
    EXPECT_EQ(failed.eventCount, 0) << "a failed exec does not take over the pid";
    EXPECT_EQ(byID(result, 5).eventCount, 1);
    EXPECT_EQ(shape(result), "1[3 5]") << "a failed exec never becomes a parent";
}

TEST(ProcessGraph, EventCountsAndExit)
{
    auto result = build({exec(1, 10, 100, "/bin/sh"), record(2, openEvent, 11, 100), exitOf(3, 12, 100, 3),
                         record(4, openEvent, 13, 100), exitOf(5, 14, 100, 9), exitOf(6, 15, 777, 1)});
    const ProcessNode &node = byID(result, 1);
    EXPECT_EQ(node.eventCount, 2) << "the exit counts; records after it count nowhere";
    EXPECT_EQ(node.end, 12);
    EXPECT_EQ(node.exitStatus, 3);
    EXPECT_EQ(result.records[3].processImage, "/bin/sh") << "the image stays known after the exit";
    EXPECT_FALSE(result.records[5].processImage);

    RecordContent noStatus = exitContent(2, 11, 100, 0);
    noStatus.exitStatus.reset();
    result = build({exec(1, 10, 100, "/bin/sh"), noStatus.record()});
    EXPECT_EQ(byID(result, 1).end, 11);
    EXPECT_FALSE(byID(result, 1).exitStatus);
}

TEST(ProcessGraph, RecordsPassThrough)
{
    AuditRecord bare;
    bare.id = 2;
    bare.processImage = "kept";
    AuditRecord unknown = record(3, openEvent, 12, 999);
    unknown.processImage = "stale";
    auto result = build({exec(1, 10, 100, "/bin/sh"), bare, unknown});
    ASSERT_EQ(result.records.size(), 3u);
    EXPECT_EQ(result.records[1].id, 2);
    EXPECT_EQ(result.records[1].processImage, "kept") << "records without a subject are left alone";
    EXPECT_FALSE(result.records[2].processImage) << "a subject's image is always rewritten";

    result = build({});
    EXPECT_TRUE(result.records.empty());
    EXPECT_TRUE(result.tree.processes.empty());
    EXPECT_TRUE(result.tree.roots.empty());
}

TEST(ProcessGraph, RecordsOfOneProcessShareOneImage)
{
    // Whole trails hold millions of records: the image is stored once per exec, not per record.
    auto result = build({exec(1, 10, 100, "/usr/bin/some-long-program-name"), record(2, openEvent, 11, 100),
                         record(3, openEvent, 12, 100)});
    ASSERT_TRUE(result.records[1].processImage && result.records[2].processImage);
    EXPECT_EQ(&*result.records[0].processImage, &*result.records[1].processImage);
    EXPECT_EQ(&*result.records[1].processImage, &*result.records[2].processImage);
}

TEST(ProcessGraph, Placeholders)
{
    std::vector<AuditRecord> records = {fork(1, 1, 500, 101),      fork(2, 1, 500, 102),
                                        fork(3, 1, 500, 103),      exec(4, 10, 101, "/bin/a"),
                                        exec(5, 11, 77, "/bin/b"), exec(6, 12, 102, "/bin/c"),
                                        exec(7, 13, 103, "/bin/d")};
    auto result = build(records);
    EXPECT_EQ(shape(result), "P-501[4 6 7] 5");
    const ProcessNode &p = result.tree.node(result.tree.roots[0]);
    EXPECT_EQ(p.pid, 500u);
    EXPECT_FALSE(p.ppid);
    EXPECT_EQ(p.image, "pid 500 (started before trail)");
    EXPECT_TRUE(p.args.empty());
    EXPECT_EQ(p.euid, unsetID);
    EXPECT_EQ(p.auid, unsetID);
    EXPECT_EQ(p.start, 10);
    EXPECT_TRUE(p.succeeded);
    EXPECT_EQ(p.eventCount, 0);
    EXPECT_EQ(result.tree.processes.size(), 4u) << "placeholders are only in the tree";

    // The parent's exec comes after the child's start: a plain root, no placeholder.
    result = build({fork(1, 1, 500, 101), exec(2, 10, 101, "/bin/a"), exec(3, 20, 500, "/bin/p")});
    EXPECT_EQ(shape(result), "2 3");
}

TEST(ProcessGraph, ParentChoice)
{
    struct Case {
        const char *name;
        std::vector<AuditRecord> records;
        std::string shape;
    };
    const Case cases[] = {
        {"newest parent image that started no later",
         {exec(1, 1, 50, "/bin/a"), fork(2, 2, 50, 100), exec(3, 3, 100, "/bin/c"), exec(4, 5, 50, "/bin/b")},
         "1[3 4]"},
        {"records out of time order: newest in the list that started no later",
         {exec(1, 5, 50, "/bin/a"), exec(2, 1, 50, "/bin/b"), fork(3, 2, 50, 100), exec(4, 3, 100, "/bin/c")},
         "2[1 4]"},
        {"equal start counts as no later",
         {fork(1, 1, 50, 100), exec(2, 3, 50, "/bin/a"), exec(3, 3, 100, "/bin/c")},
         "2[3]"},
        {"a re-exec needs a strictly earlier image", {exec(1, 3, 100, "/bin/a"), exec(2, 3, 100, "/bin/b")}, "1 2"},
        {"pid reuse: the later process hangs under the newest parent",
         {exec(1, 1, 50, "/bin/a"), fork(2, 2, 50, 100), exec(3, 3, 100, "/bin/c"), exitOf(4, 4, 100, 0),
          exec(5, 5, 60, "/bin/d"), fork(6, 6, 60, 100), exec(7, 7, 100, "/bin/e")},
         "1[3] 5[7]"},
    };
    for (const Case &c : cases) EXPECT_EQ(shape(build(c.records)), c.shape) << c.name;
}

// Two processes with equal starts that each look like the other's parent must both stay in the tree.
TEST(ProcessGraph, EqualStartLoopsKeepEveryProcess)
{
    struct Case {
        const char *name;
        std::vector<AuditRecord> records;
        std::string shape;
    };
    const Case cases[] = {
        {"two processes",
         {fork(1, 1, 20, 10), fork(2, 1, 10, 20), exec(3, 5, 10, "/bin/a"), exec(4, 5, 20, "/bin/b"),
          exec(5, 6, 30, "/bin/c")},
         "3[4] 5"},
        {"three processes, with a child below the loop",
         {fork(1, 1, 30, 10), fork(2, 1, 10, 20), fork(3, 1, 20, 30), fork(4, 1, 20, 40), exec(5, 5, 20, "/bin/b"),
          exec(6, 5, 10, "/bin/a"), exec(7, 5, 30, "/bin/c"), exec(8, 6, 40, "/bin/d")},
         "5[7[6] 8]"},
    };
    for (const Case &c : cases) {
        auto result = build(c.records);
        EXPECT_EQ(shape(result), c.shape) << c.name;
    }
}

// Levels down the first children from the tree's only root.
size_t depth(const Built &built)
{
    EXPECT_EQ(built.tree.roots.size(), 1u);
    size_t depth = 1;
    const ProcessNode *at = &built.tree.node(built.tree.roots[0]);
    while (at->children) {
        at = &built.tree.node(built.tree.children(*at).front());
        ++depth;
    }
    return depth;
}

std::vector<AuditRecord> chain(uint32_t length)
{
    std::vector<AuditRecord> records;
    records.reserve(size_t(length) * 2);
    int64_t id = 1;
    for (uint32_t pid = 1; pid <= length; ++pid) {
        double time = pid;
        if (pid > 1) records.push_back(fork(id++, time, pid - 1, pid));
        records.push_back(exec(id++, time, pid, "/bin/sh"));
    }
    return records;
}

TEST(ProcessGraph, DeepChainsAreCut)
{
    auto result = build(chain(70));
    EXPECT_EQ(depth(result), 65u) << "the node at depth 64 is a leaf";
    const ProcessNode &below = result.tree.processes.back();
    EXPECT_EQ(below.parent, ProcessNode::none) << "nodes below the cut hang under nothing";
    EXPECT_FALSE(below.children);

    result = build(chain(65));
    EXPECT_EQ(depth(result), 65u);
    result = build(chain(64));
    EXPECT_EQ(depth(result), 64u);

    result = build(chain(100000));
    EXPECT_EQ(result.tree.processes.size(), 100000u);
    EXPECT_EQ(depth(result), 65u);
}

// Many execs in one pid: the tree must not scan every earlier image for every node.
TEST(ProcessGraph, ManyImagesInOnePid)
{
    std::vector<AuditRecord> records;
    for (int64_t i = 1; i <= 50000; ++i) records.push_back(exec(i, double(i), 100, "/bin/sh"));
    auto result = build(std::move(records));
    EXPECT_EQ(result.tree.processes.size(), 50000u);
    EXPECT_EQ(depth(result), 65u);
}

// Everything a node says, its tree links included, as text.
std::string dump(const ProcessNode &node)
{
    std::string out = std::to_string(node.id) + " " + std::to_string(node.pid) + " "
                      + (node.ppid ? std::to_string(*node.ppid) : "-") + " " + std::string(node.image) + " ["
                      + node.commandLine() + "] " + std::to_string(node.euid) + " " + std::to_string(node.auid) + " "
                      + std::to_string(node.start) + " " + std::string(node.signingID.value_or("-")) + " "
                      + std::string(node.teamID.value_or("-")) + " " + (node.succeeded ? "ok" : "failed")
                      + (node.isPlaceholder ? " placeholder " : " ") + (node.end ? std::to_string(*node.end) : "-")
                      + " " + (node.exitStatus ? std::to_string(*node.exitStatus) : "-") + " "
                      + std::to_string(node.eventCount) + " under " + std::to_string(node.parent);
    return out;
}

// The passes that run side by side must give what one thread gives, on a trail with enough
// records, pids and execs that every chunk boundary falls among a process's records.
TEST(ProcessGraph, AnyNumberOfThreadsBuildsTheSameLineage)
{
    const TestBSM::Bytes bytes = GeneratedTrail::busyHost({.records = 60000, .pidSpace = 2000});
    const std::vector<AuditRecord> parsed = BSMParser::parse(std::span<const uint8_t>(bytes), 1, 1, false).records;
    const auto describe = [](const Built &built) {
        std::vector<std::string> lines;
        for (const AuditRecord &r : built.records) lines.push_back(r.processImage ? *r.processImage : "-");
        for (uint32_t at = 0; at < built.tree.size(); ++at) lines.push_back(dump(built.tree.node(at)));
        lines.push_back(shape(built));
        return lines;
    };
    const Built one = build(parsed);
    ASSERT_GT(one.tree.processes.size(), 5000u);
    ASSERT_FALSE(one.tree.placeholders.empty());
    const std::vector<std::string> expected = describe(one);
    for (const unsigned threads : {3u, 8u}) {
        Parallel::Pool pool(threads);
        EXPECT_EQ(describe(build(parsed, pool)), expected) << threads << " threads";
    }
}

// Copies of nodes hold the texts they show, whatever becomes of the records and the tree.
TEST(ProcessGraph, NodesKeepTheirTexts)
{
    RecordContent signedExec = execContent(2, 11, 200, "/usr/bin/ssh", {"ssh", "host"});
    signedExec.identity =
        SigningIdentity{.signerType = 2, .signingID = "com.example.ssh", .teamID = "TEAM", .cdhash = ""};
    ProcessNode child, placeholder;
    {
        const Built result = build({fork(1, 10, 100, 200), signedExec.record()});
        child = result.tree.processes.at(0);
        placeholder = result.tree.node(result.tree.roots.at(0));
    }
    EXPECT_EQ(child.image, "/usr/bin/ssh");
    EXPECT_EQ(child.commandLine(), "ssh host");
    EXPECT_EQ(child.signingID, "com.example.ssh");
    EXPECT_EQ(child.teamID, "TEAM");
    EXPECT_EQ(placeholder.image, "pid 100 (started before trail)");
}

TEST(ProcessNode, IdentityIsTheID)
{
    ProcessNode a, b;
    a.id = b.id = 4;
    a.image = "/bin/a";
    b.image = "/bin/b";
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::hash<ProcessNode>()(a), std::hash<ProcessNode>()(b));
    b.id = 5;
    EXPECT_NE(a, b);
    std::unordered_set<ProcessNode> set = {a, b};
    EXPECT_EQ(set.size(), 2u);
}

} // namespace
