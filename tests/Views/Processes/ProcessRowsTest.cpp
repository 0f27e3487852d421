#include "Views/Processes/ProcessDetail.h"
#include "Views/Processes/ProcessModels.h"
#include "Views/Processes/ProcessRow.h"
#include "Views/Processes/ProcessRows.h"

#include "Engine/BSM/UserResolver.h"
#include "Views/Components/Style.h"

#include <QAbstractItemModelTester>
#include <QLocale>

#include <gtest/gtest.h>

#include <functional>

using namespace ProcessRows;

namespace {

ProcessNode node(int64_t id, uint32_t pid, std::string image, std::vector<std::string> args = {}, uint32_t euid = 501)
{
    ProcessNode n;
    n.id = id;
    n.pid = pid;
    n.image = std::move(image);
    n.args = std::move(args);
    n.euid = euid;
    n.auid = 501;
    n.start = double(id);
    return n;
}

ProcessNode withChildren(ProcessNode parent, std::vector<ProcessNode> children)
{
    parent.children = std::move(children);
    return parent;
}

std::vector<int64_t> ids(const std::vector<ProcessNode> &nodes)
{
    std::vector<int64_t> out;
    for (const ProcessNode &n : nodes) out.push_back(n.id);
    return out;
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

TEST(ProcessRowsTest, PrunedKeepsMatchesAndTheirAncestors)
{
    // placeholder(-1) > shell(10) > [grep(11), tool(12) > [ssh(13)]], and a second root launchd(20).
    ProcessNode placeholder = node(-1, 1, "pid 1 (started before trail)", {}, unsetID);
    placeholder.isPlaceholder = true;
    const std::vector<ProcessNode> roots = {
        withChildren(placeholder,
                     {withChildren(node(10, 10, "/bin/zsh"),
                                   {node(11, 11, "/usr/bin/grep"),
                                    withChildren(node(12, 12, "/usr/bin/tool"), {node(13, 13, "/usr/bin/ssh")})})}),
        withChildren(node(20, 20, "/sbin/launchd", {}, 0), {node(21, 21, "/usr/bin/ssh-agent")})};

    // A grandchild match brings its chain; the parent's other child is dropped.
    const std::vector<ProcessNode> grand = pruned(roots, ProcessFilter("/usr/bin/ssh"));
    ASSERT_EQ(ids(grand), (std::vector<int64_t>{-1, 20}));
    ASSERT_EQ(ids(*grand[0].children), (std::vector<int64_t>{10}));
    ASSERT_EQ(ids(*(*grand[0].children)[0].children), (std::vector<int64_t>{12}));
    EXPECT_EQ(ids(*(*(*grand[0].children)[0].children)[0].children), (std::vector<int64_t>{13}));
    EXPECT_EQ(ids(*grand[1].children), (std::vector<int64_t>{21}));

    // A match whose children do not match is a leaf; the copy has no children at all.
    const std::vector<ProcessNode> shell = pruned(roots, ProcessFilter("zsh"));
    ASSERT_EQ(ids(shell), (std::vector<int64_t>{-1}));
    EXPECT_EQ(ids(*shell[0].children), (std::vector<int64_t>{10}));
    EXPECT_FALSE((*shell[0].children)[0].children.has_value());
    EXPECT_EQ(ProcessRow::icon((*shell[0].children)[0]), "terminal") << "drawn as a leaf";

    // Root only: launchd alone; a placeholder never passes by itself.
    const std::vector<ProcessNode> rootOnly = pruned(roots, ProcessFilter("", true));
    EXPECT_EQ(ids(rootOnly), (std::vector<int64_t>{20}));
    EXPECT_FALSE(rootOnly[0].children.has_value());

    // "trail" matches every placeholder, without its non-matching descendants.
    const std::vector<ProcessNode> trail = pruned(roots, ProcessFilter("trail"));
    EXPECT_EQ(ids(trail), (std::vector<int64_t>{-1}));
    EXPECT_FALSE(trail[0].children.has_value());

    EXPECT_TRUE(pruned(roots, ProcessFilter("nothing")).empty());
}

TEST(ProcessRowsTest, ListRowsFilterAndSortByNaturalKeys)
{
    std::vector<ProcessNode> processes = {node(1, 300, "/b/Zeta", {"zeta", "-x"}, 501),
                                          node(2, 20, "/a/alpha", {}, 0),
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
    ProcessNode parent = withChildren(node(3, 4, "/bin/zsh"), {node(4, 5, "/bin/ls")});
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
    const Case cases[] = {{501, 0, "orvik", "root", true},
                          {unsetID, 0, "", "root", true},
                          {501, 501, "", "orvik", false},
                          {4242, 501, "4242", "orvik", false},
                          {501, 4242, "orvik", "4242", false},
                          {unsetID, unsetID, "", "\u2014", false}};
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

TEST(ProcessModelsTest, TreeModelWalksNestedChildren)
{
    const std::vector<ProcessNode> roots = {
        withChildren(node(1, 1, "/sbin/launchd"),
                     {withChildren(node(2, 2, "/bin/zsh"), {node(3, 3, "/bin/ls"), node(4, 4, "/bin/cat")}),
                      node(5, 5, "/usr/bin/ssh")}),
        node(6, 6, "/bin/sh")};
    ProcessTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setRoots(std::make_shared<const std::vector<ProcessNode>>(roots));
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

    model.setRoots(std::make_shared<const std::vector<ProcessNode>>(pruned(roots, ProcessFilter("cat"))));
    EXPECT_EQ(model.nodeCount(), 3);
    EXPECT_EQ(model.nodeAt(model.indexOf(4).parent())->id, 2);
}

} // namespace
