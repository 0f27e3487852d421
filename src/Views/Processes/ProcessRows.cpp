#include "Views/Processes/ProcessRows.h"

#include "Engine/Record/PathComponents.h"

#include <algorithm>
#include <charconv>

namespace ProcessRows {

namespace {

void appendCommandLine(std::string &out, const ProcessNode &process)
{
    if (process.args.empty()) {
        out += process.image;
        return;
    }
    for (size_t i = 0; i < process.args.size(); ++i) {
        if (i > 0) out += ' ';
        out += process.args[i];
    }
}

// Every field but the children, which pruning replaces.
ProcessNode withoutChildren(const ProcessNode &node)
{
    ProcessNode copy;
    copy.id = node.id;
    copy.pid = node.pid;
    copy.ppid = node.ppid;
    copy.image = node.image;
    copy.args = node.args;
    copy.euid = node.euid;
    copy.auid = node.auid;
    copy.start = node.start;
    copy.signingID = node.signingID;
    copy.teamID = node.teamID;
    copy.succeeded = node.succeeded;
    copy.isPlaceholder = node.isPlaceholder;
    copy.end = node.end;
    copy.exitStatus = node.exitStatus;
    copy.eventCount = node.eventCount;
    return copy;
}

void prune(const std::vector<ProcessNode> &nodes, const ProcessFilter &filter, std::vector<ProcessNode> &out)
{
    for (const ProcessNode &node : nodes) {
        std::vector<ProcessNode> children;
        if (node.children) prune(*node.children, filter, children);
        if (children.empty() && !filter.include(node)) continue;
        ProcessNode copy = withoutChildren(node);
        if (!children.empty()) copy.children = std::move(children);
        out.push_back(std::move(copy));
    }
}

} // namespace

ProcessFilter::ProcessFilter(const QString &search, bool rootOnly)
    : m_search(search.toStdString()), m_rootOnly(rootOnly), m_needle(m_search)
{
}

bool ProcessFilter::include(const ProcessNode &process) const
{
    if (m_rootOnly && process.euid != 0) return false;
    if (m_search.empty()) return true;
    if (m_needle.foundIn(process.image)) return true;
    m_commandLine.clear();
    appendCommandLine(m_commandLine, process);
    if (m_needle.foundIn(m_commandLine)) return true;
    char digits[16];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, process.pid);
    if (error == std::errc() && std::string_view(digits, size_t(end - digits)) == m_search) return true;
    return process.signingID && m_needle.foundIn(*process.signingID);
}

bool include(const ProcessNode &process, const ProcessFilter &filter)
{
    return filter.include(process);
}

std::vector<ProcessNode> pruned(const std::vector<ProcessNode> &nodes, const ProcessFilter &filter)
{
    std::vector<ProcessNode> out;
    prune(nodes, filter, out);
    return out;
}

std::vector<uint32_t> listRows(const std::vector<ProcessNode> &processes, const ProcessFilter &filter,
                               SortOrder order)
{
    std::vector<uint32_t> rows;
    rows.reserve(processes.size());
    for (size_t i = 0; i < processes.size(); ++i)
        if (filter.include(processes[i])) rows.push_back(uint32_t(i));

    const auto sortBy = [&](auto key) {
        std::stable_sort(rows.begin(), rows.end(), [&](uint32_t a, uint32_t b) {
            return order.ascending ? key(processes[a]) < key(processes[b]) : key(processes[b]) < key(processes[a]);
        });
    };
    switch (order.key) {
    case SortKey::start:
        // The store's order is exec order, which is start order: ascending needs no sort.
        sortBy([](const ProcessNode &p) { return p.start; });
        break;
    case SortKey::pid:
        sortBy([](const ProcessNode &p) { return p.pid; });
        break;
    case SortKey::user:
        sortBy([](const ProcessNode &p) { return p.euid; });
        break;
    case SortKey::image:
        sortBy([](const ProcessNode &p) -> const std::string & { return p.image; });
        break;
    case SortKey::eventCount:
        sortBy([](const ProcessNode &p) { return p.eventCount; });
        break;
    case SortKey::commandLine: {
        // Joined once per row rather than once per comparison.
        std::vector<std::string> lines(processes.size());
        for (uint32_t row : rows) appendCommandLine(lines[row], processes[row]);
        std::stable_sort(rows.begin(), rows.end(), [&](uint32_t a, uint32_t b) {
            return order.ascending ? lines[a] < lines[b] : lines[b] < lines[a];
        });
        break;
    }
    }
    return rows;
}

std::vector<ProcessNode> ancestry(const ProcessNode &process, const std::vector<ProcessNode> &processes)
{
    std::vector<const ProcessNode *> chain{&process};
    const ProcessNode *current = &process;
    for (int step = 0; step < ancestryStepLimit && current->ppid; ++step) {
        const ProcessNode *parent = nullptr;
        for (auto it = processes.rbegin(); it != processes.rend(); ++it) {
            if (it->pid == *current->ppid && it->start <= current->start && it->succeeded && it->id != current->id) {
                parent = &*it;
                break;
            }
        }
        if (!parent) break;
        chain.push_back(parent);
        current = parent;
    }
    std::vector<ProcessNode> lineage;
    lineage.reserve(chain.size());
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) lineage.push_back(**it);
    return lineage;
}

QString fileName(const ProcessNode &process)
{
    return QString::fromStdString(std::string(lastPathComponent(process.image)));
}

std::string execRecordLabel(const ProcessNode &process)
{
    return "exec of " + std::string(lastPathComponent(process.image));
}

} // namespace ProcessRows
