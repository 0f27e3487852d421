#include "Views/Processes/ProcessDetail.h"
#include "Views/Processes/ProcessModels.h"
#include "Views/Processes/ProcessRow.h"
#include "Views/Processes/ProcessRows.h"

#include "Engine/BSM/UserResolver.h"
#include "Engine/Record/RecordBuilder.h"
#include "Views/Components/Style.h"
#include "support/QtTestSupport.h"

#include <QAbstractItemModelTester>
#include <QLocale>

#include <gtest/gtest.h>

#include <functional>
#include <set>

using namespace ProcessRows;

namespace {

constexpr uint16_t execve = 23, forkEvent = 2;

SubjectInfo subject(uint32_t pid, uint32_t euid = 501)
{
    SubjectInfo s;
    s.auid = 501;
    s.euid = euid;
    s.pid = pid;
    return s;
}

// The exec of `image` as record `id` in `pid`, at time `id`.
AuditRecord execRecord(int64_t id, uint32_t pid, const std::string &image, std::vector<std::string> args = {},
                       uint32_t euid = 501)
{
    RecordContent exec;
    exec.id = id;
    exec.event = execve;
    exec.time = double(id);
    exec.subject = subject(pid, euid);
    exec.paths = {image};
    exec.execArgs = std::move(args);
    return exec.record();
}

// `parent` forks `child` just before the child's exec with id `id`.
AuditRecord forkRecord(int64_t id, uint32_t parent, uint32_t child)
{
    RecordContent fork;
    fork.id = 1000 + id;
    fork.event = forkEvent;
    fork.time = double(id) - 0.5;
    fork.subject = subject(parent);
    fork.returnValue = child;
    return fork.record();
}

ProcessTreeSnapshot treeOf(std::vector<AuditRecord> records)
{
    return std::make_shared<const ProcessTree>(ProcessGraph::build(records));
}

// A process as its exec makes it, on its own.
ProcessNode node(int64_t id, uint32_t pid, const std::string &image, std::vector<std::string> args = {},
                 uint32_t euid = 501)
{
    return treeOf({execRecord(id, pid, image, std::move(args), euid)})->processes.at(0);
}

std::vector<int64_t> ids(const std::vector<ProcessNode> &nodes)
{
    std::vector<int64_t> out;
    for (const ProcessNode &n : nodes) out.push_back(n.id);
    return out;
}

// The outline as text: ids, kept children in brackets, placeholders as "P" and their id.
std::string shape(const ProcessOutline &outline, int32_t first, int32_t count)
{
    std::string out;
    for (int32_t at = first; at < first + count; ++at) {
        const ProcessOutline::Row &row = outline.rows[size_t(at)];
        const ProcessNode &n = outline.node(row);
        if (!out.empty()) out += ' ';
        out += (n.isPlaceholder ? "P" : "") + std::to_string(n.id);
        if (row.childCount) out += "[" + shape(outline, row.firstChild, row.childCount) + "]";
    }
    return out;
}

std::string shape(const OutlineSnapshot &outline)
{
    return shape(*outline, 0, outline->rootCount);
}

TEST(ProcessRowsTest, IncludeTestsRootOnlyThenTextsThenExactPid)
{
    ProcessNode ssh = node(1, 123, "/usr/bin/SSH", {"ssh", "-l", "admin", "host"});
    ProcessNode signer = node(2, 1234, "/bin/ls");
    signer.signingID = "com.apple.ls123";
    const ProcessNode root = node(3, 77, "/sbin/launchd", {}, 0);
    ProcessNode placeholder = node(-5, 5, "pid 5 (started before trail)", {}, unsetID);
    placeholder.isPlaceholder = true;
    const ProcessNode other = node(4, 1234, "/bin/cat");

    struct Case {
        const char *name;
        const ProcessNode &process;
        QString search;
        bool rootOnly;
        bool expected;
    };
    const Case cases[] = {
        {"empty search passes", ssh, "", false, true},
        {"image ignoring case", ssh, "ssh", false, true},
        {"command line with a leading blank", ssh, " admin", false, true},
        {"a leading blank is kept", ssh, " ssh", false, false},
        {"pid equal to the whole search", ssh, "123", false, true},
        {"pid is not searched by containment", signer, "123", false, true /* through its signing id */},
        {"pid 1234 is not found by 123", other, "123", false, false},
        {"the whole pid", other, "1234", false, true},
        {"signing id", signer, "APPLE.LS", false, true},
        {"no signing id, no match", ssh, "apple", false, false},
        {"root only drops others", ssh, "", true, false},
        {"root only keeps root", root, "", true, true},
        {"both must pass", root, "launchd", true, true},
        {"both must pass, search fails", root, "ssh", true, false},
        {"placeholders match through their image", placeholder, "trail", false, true},
        {"placeholders never pass root only", placeholder, "trail", true, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(include(c.process, ProcessFilter(c.search, c.rootOnly)), c.expected) << c.name;
}

TEST(ProcessRowsTest, OutlineKeepsMatchesAndTheirAncestors)
{
    // placeholder for pid 1 > shell(10) > [grep(11), tool(12) > [ssh(13)]], and a second root launchd(20).
    const ProcessTreeSnapshot tree = treeOf(
        {forkRecord(10, 1, 10), execRecord(10, 10, "/bin/zsh"), forkRecord(11, 10, 11),
         execRecord(11, 11, "/usr/bin/grep"), forkRecord(12, 10, 12), execRecord(12, 12, "/usr/bin/tool"),
         forkRecord(13, 12, 13), execRecord(13, 13, "/usr/bin/ssh"), execRecord(20, 20, "/sbin/launchd", {}, 0),
         forkRecord(21, 20, 21), execRecord(21, 21, "/usr/bin/ssh-agent")});
    EXPECT_EQ(shape(outline(tree, ProcessFilter())), "P-2[10[11 12[13]]] 20[21]") << "unfiltered: the whole tree";

    // A grandchild match brings its chain; the parent's other child is dropped.
    EXPECT_EQ(shape(outline(tree, ProcessFilter("/usr/bin/ssh"))), "P-2[10[12[13]]] 20[21]");
    // A match whose children do not match is a leaf, drawn as one.
    const OutlineSnapshot shell = outline(tree, ProcessFilter("zsh"));
    EXPECT_EQ(shape(shell), "P-2[10]");
    EXPECT_EQ(ProcessRow::icon(shell->node(shell->rows[1])), "terminal.fill") << "the node has children in the tree";
    // Root only: launchd alone; a placeholder never passes by itself.
    EXPECT_EQ(shape(outline(tree, ProcessFilter("", true))), "20");
    // "trail" matches every placeholder, without its non-matching descendants.
    EXPECT_EQ(shape(outline(tree, ProcessFilter("trail"))), "P-2");
    EXPECT_EQ(shape(outline(tree, ProcessFilter("nothing"))), "");

    // Rows are found by id, and know their place.
    const OutlineSnapshot all = outline(tree, ProcessFilter());
    const std::optional<int32_t> ssh = all->rowOf(13);
    ASSERT_TRUE(ssh);
    EXPECT_EQ(all->node(all->rows[size_t(all->rows[size_t(*ssh)].parent)]).id, 12);
    EXPECT_EQ(all->rows[size_t(*all->rowOf(12))].row, 1) << "second child of the shell";
    EXPECT_FALSE(all->rowOf(99));
    EXPECT_FALSE(outline(tree, ProcessFilter("grep"))->rowOf(13));
}

// The outline of a big tree is derived with the filter's tests side by side: it must equal the
// one of a plain walk, whatever the number of threads.
TEST(ProcessRowsTest, OutlineOfAManyNodeTree)
{
    std::vector<AuditRecord> records;
    for (uint32_t pid = 2; pid < 20000; ++pid) {
        const uint32_t parent = pid / 3 < 2 ? 1 : pid / 3;
        records.push_back(forkRecord(pid, parent, pid));
        records.push_back(execRecord(pid, pid, pid % 7 ? "/bin/sh" : "/usr/bin/ssh", {}, pid % 5 ? 501 : 0));
    }
    std::stable_sort(records.begin(), records.end(),
                     [](const AuditRecord &a, const AuditRecord &b) { return a.time < b.time; });
    const ProcessTreeSnapshot tree = treeOf(records);
    const ProcessFilter filter("ssh", true);
    std::set<int64_t> expected;
    for (const ProcessNode &n : tree->processes) {
        if (!filter.include(n)) continue;
        for (uint32_t at = *tree->position(n.id); at != ProcessNode::none; at = tree->node(at).parent)
            expected.insert(tree->node(at).id);
    }
    const OutlineSnapshot kept = outline(tree, filter);
    std::set<int64_t> shown;
    for (const ProcessOutline::Row &row : kept->rows) shown.insert(kept->node(row).id);
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(kept->rows.size(), expected.size());
}

TEST(ProcessRowsTest, ListRowsFilterAndSortByNaturalKeys)
{
    std::vector<ProcessNode> processes = {node(1, 300, "/b/Zeta", {"zeta", "-x"}, 501), node(2, 20, "/a/alpha", {}, 0),
                                          node(3, 1000, "/a/Beta", {"beta"}, 89)};
    processes[0].eventCount = 12345;
    processes[1].eventCount = 7;
    processes[2].eventCount = 99;
    const auto sorted = [&](SortKey key, bool ascending, QString search = {}) {
        return listRows(processes, ProcessFilter(search), {key, ascending});
    };
    EXPECT_EQ(sorted(SortKey::start, true), (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(sorted(SortKey::start, false), (std::vector<uint32_t>{2, 1, 0}));
    EXPECT_EQ(sorted(SortKey::pid, true), (std::vector<uint32_t>{1, 0, 2})) << "numerically";
    EXPECT_EQ(sorted(SortKey::user, true), (std::vector<uint32_t>{1, 2, 0})) << "by euid, not by name";
    EXPECT_EQ(sorted(SortKey::image, true), (std::vector<uint32_t>{2, 1, 0})) << "code point: B before a";
    EXPECT_EQ(sorted(SortKey::commandLine, true), (std::vector<uint32_t>{1, 2, 0})) << "/a/alpha, beta, zeta -x";
    EXPECT_EQ(sorted(SortKey::eventCount, false), (std::vector<uint32_t>{0, 2, 1}));
    EXPECT_EQ(sorted(SortKey::start, true, "a/"), (std::vector<uint32_t>{1, 2}));
}

TEST(ProcessRowsTest, AncestryTakesTheLastQualifyingParent)
{
    const auto child = [](uint32_t ppid, double start) {
        ProcessNode n = node(1000, 999, "/bin/child");
        n.ppid = ppid;
        n.start = start;
        return n;
    };
    // Parents of pid 50: an early exec, a later one (taken), a failed one and one after the child.
    std::vector<ProcessNode> processes = {node(1, 50, "/bin/early"), node(2, 50, "/bin/later"),
                                          node(3, 50, "/bin/failed"), node(9, 50, "/bin/after")};
    processes[0].start = 1;
    processes[1].start = 5;
    processes[2].start = 6;
    processes[2].succeeded = false;
    processes[3].start = 20;
    EXPECT_EQ(ids(ancestry(child(50, 10), processes)), (std::vector<int64_t>{2, 1000}));
    EXPECT_EQ(ids(ancestry(child(50, 5), processes)), (std::vector<int64_t>{2, 1000})) << "an equal start qualifies";
    EXPECT_EQ(ids(ancestry(child(50, 3), processes)), (std::vector<int64_t>{1, 1000}));
    EXPECT_EQ(ids(ancestry(child(51, 10), processes)), (std::vector<int64_t>{1000})) << "unknown parent";
    ProcessNode orphan = child(50, 10);
    orphan.ppid.reset();
    EXPECT_EQ(ids(ancestry(orphan, processes)), (std::vector<int64_t>{1000})) << "no ppid";

    // A process never is its own parent, even when it names its own pid.
    ProcessNode self = node(7, 70, "/bin/self");
    self.ppid = 70;
    EXPECT_EQ(ids(ancestry(self, {self})), (std::vector<int64_t>{7}));

    // Forty known ancestors: the 32 nearest and the process.
    std::vector<ProcessNode> chain;
    for (int i = 0; i < 41; ++i) {
        ProcessNode n = node(i + 1, uint32_t(100 + i), "/bin/p");
        if (i > 0) n.ppid = uint32_t(100 + i - 1);
        chain.push_back(n);
    }
    const std::vector<ProcessNode> lineage = ancestry(chain.back(), chain);
    ASSERT_EQ(lineage.size(), 33u);
    EXPECT_EQ(lineage.front().id, 9) << "the 8 oldest are not shown";
    EXPECT_EQ(lineage.back().id, 41);

    // Two processes naming each other: the step limit ends the walk.
    ProcessNode a = node(1, 1, "/bin/a"), b = node(2, 2, "/bin/b");
    a.ppid = 2;
    b.ppid = 1;
    a.start = b.start = 0;
    EXPECT_EQ(ancestry(a, {a, b}).size(), size_t(ancestryStepLimit + 1));
}

TEST(ProcessRowsTest, RowTextsIconsAndLineageIndents)
{
    ProcessNode placeholder = node(-1, 1, "pid 1 (started before trail)", {}, 0);
    placeholder.isPlaceholder = true;
    ProcessNode tmpRoot = node(1, 2, "/tmp/x", {}, 0);
    ProcessNode root = node(2, 3, "/usr/bin/sudo", {"sudo"}, 0);
    const ProcessNode parent =
        treeOf({execRecord(3, 4, "/bin/zsh"), forkRecord(4, 4, 5), execRecord(4, 5, "/bin/ls")})->processes.at(0);
    ProcessNode leaf = node(5, 6, "/bin/ls", {"ls", "-l", "/Users/x y"});

    EXPECT_EQ(ProcessRow::icon(placeholder), "questionmark.square.dashed");
    EXPECT_EQ(ProcessRow::icon(tmpRoot), "exclamationmark.triangle.fill") << "location before root";
    EXPECT_EQ(ProcessRow::iconColor(tmpRoot), QColor(Style::orange()));
    EXPECT_EQ(ProcessRow::icon(root), "bolt.shield");
    EXPECT_EQ(ProcessRow::icon(parent), "terminal.fill");
    EXPECT_EQ(ProcessRow::icon(leaf), "terminal");

    EXPECT_EQ(ProcessRow::argumentText(leaf), "-l /Users/x y");
    EXPECT_EQ(ProcessRow::argumentText(root), "") << "a single argument shows nothing";
    EXPECT_EQ(fileName(placeholder), "pid 1 (started before trail)");
    EXPECT_EQ(execRecordLabel(node(9, 9, "/usr/bin/ssh")), "exec of ssh");

    EXPECT_EQ(lineageIndent(0), "");
    EXPECT_EQ(lineageIndent(1), QString::fromUtf8("  \u2514 "));
    EXPECT_EQ(lineageIndent(2), QString::fromUtf8("    \u2514 "));
}

TEST(ProcessRowsTest, UserTextShowsTheAuditUserOnlyWhenKnownAndDifferent)
{
    UserResolver users;
    users.seed(501, "orvik");
    users.seed(0, "root");
    users.seed(4242, std::nullopt);
    struct Case {
        uint32_t auid, euid;
        const char *audit, *effective;
        bool root;
    };
    const Case cases[] = {{501, 0, "orvik", "root", true},     {unsetID, 0, "", "root", true},
                          {501, 501, "", "orvik", false},      {4242, 501, "4242", "orvik", false},
                          {501, 4242, "orvik", "4242", false}, {unsetID, unsetID, "", "\u2014", false}};
    for (const Case &c : cases) {
        const UserText::Texts texts = UserText::texts(c.auid, c.euid, users);
        EXPECT_EQ(texts.audit, QString::fromUtf8(c.audit)) << c.auid << " " << c.euid;
        EXPECT_EQ(texts.effective, QString::fromUtf8(c.effective)) << c.auid << " " << c.euid;
        EXPECT_EQ(texts.effectiveIsRoot, c.root);
    }
}

} // namespace

namespace {

TEST(ProcessModelsTest, ListCellsShowPlainFiguresAndFallbacks)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    std::vector<ProcessNode> processes = {node(1, 4321, "/usr/bin/true"), node(2, 7, "/bin/echo", {"echo", "hi"})};
    processes[0].eventCount = 12345;
    processes[1].ppid = 4321;
    processes[1].signingID = "com.apple.echo";
    ProcessListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setProcesses(std::make_shared<const std::vector<ProcessNode>>(processes), ProcessFilter());
    EXPECT_EQ(model.rowCount(), 0) << "the list is made on the pool";
    ASSERT_TRUE(waitUntil([&] { return !model.isDeriving(); }));
    const auto cell = [&](int row, int column) { return model.data(model.index(row, column)).toString(); };
    EXPECT_EQ(cell(0, ProcessListModel::eventsColumn), "12345") << "no grouping";
    EXPECT_EQ(cell(0, ProcessListModel::pidColumn), "4321");
    EXPECT_EQ(cell(0, ProcessListModel::ppidColumn), QString::fromUtf8("\u2014"));
    EXPECT_EQ(cell(0, ProcessListModel::signingIDColumn), QString::fromUtf8("\u2014"));
    EXPECT_EQ(cell(0, ProcessListModel::commandLineColumn), "/usr/bin/true") << "the image without arguments";
    EXPECT_EQ(cell(1, ProcessListModel::ppidColumn), "4321");
    EXPECT_EQ(cell(1, ProcessListModel::commandLineColumn), "echo hi");
    EXPECT_EQ(model.data(model.index(1, ProcessListModel::commandLineColumn), Qt::ToolTipRole).toString(), "echo hi");
    EXPECT_EQ(model.headerData(ProcessListModel::commandLineColumn, Qt::Horizontal).toString(), "Command line");

    model.sort(ProcessListModel::signingIDColumn);
    EXPECT_EQ(model.sortOrder().key, SortKey::start) << "a column without a key does not sort";
}

TEST(ProcessModelsTest, TreeModelWalksTheOutline)
{
    // launchd(1) > [zsh(2) > [ls(3), cat(4)], ssh(5)], and sh(6).
    const ProcessTreeSnapshot tree = treeOf(
        {execRecord(1, 1, "/sbin/launchd"), forkRecord(2, 1, 2), execRecord(2, 2, "/bin/zsh"), forkRecord(3, 2, 3),
         execRecord(3, 3, "/bin/ls"), forkRecord(4, 2, 4), execRecord(4, 4, "/bin/cat"), forkRecord(5, 1, 5),
         execRecord(5, 5, "/usr/bin/ssh"), execRecord(6, 6, "/bin/sh")});
    ProcessTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setOutline(outline(tree, ProcessFilter()));
    EXPECT_EQ(model.nodeCount(), 6);
    EXPECT_EQ(model.rowCount(), 2);
    const QModelIndex cat = model.indexOf(4);
    ASSERT_TRUE(cat.isValid());
    EXPECT_EQ(cat.row(), 1);
    EXPECT_EQ(model.nodeAt(cat.parent())->id, 2);
    EXPECT_EQ(model.nodeAt(cat.parent().parent())->id, 1);
    EXPECT_FALSE(cat.parent().parent().parent().isValid());
    EXPECT_EQ(model.data(cat).toString(), "cat");
    EXPECT_FALSE(model.hasChildren(model.indexOf(5)));
    EXPECT_FALSE(model.indexOf(99).isValid());

    model.setOutline(outline(tree, ProcessFilter("cat")));
    EXPECT_EQ(model.nodeCount(), 3);
    EXPECT_EQ(model.nodeAt(model.indexOf(4).parent())->id, 2);
    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
}

} // namespace
