#include "Views/Processes/ProcessRows.h"

#include "Engine/Record/PathComponents.h"
#include "Views/Components/TextRanks.h"

#include <algorithm>
#include <charconv>

namespace ProcessRows {

ProcessFilter::ProcessFilter(const QString &search, bool rootOnly)
    : m_search(search.toStdString()), m_rootOnly(rootOnly), m_needle(m_search)
{}

bool ProcessFilter::include(const ProcessNode &process) const
{
    if (m_rootOnly && process.euid != 0) return false;
    if (m_search.empty()) return true;
    if (m_needle.foundIn(process.image)) return true;
    // Searched where the arguments lie, a window at a time, however many there are.
    if (process.commandLineText().contains(m_needle)) return true;
    char digits[16];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, process.pid);
    if (error == std::errc() && std::string_view(digits, size_t(end - digits)) == m_search) return true;
    return process.signingID && m_needle.foundIn(*process.signingID);
}

bool include(const ProcessNode &process, const ProcessFilter &filter)
{
    return filter.include(process);
}

std::optional<int32_t> ProcessOutline::rowOf(int64_t id) const
{
    const auto found = std::lower_bound(m_rowByID.begin(), m_rowByID.end(), id,
                                        [](const std::pair<int64_t, int32_t> &entry, int64_t key) {
                                            return entry.first < key;
                                        });
    if (found == m_rowByID.end() || found->first != id) return std::nullopt;
    return found->second;
}

OutlineSnapshot outline(ProcessTreeSnapshot tree, const ProcessFilter &filter)
{
    auto result = std::make_shared<ProcessOutline>();
    if (!tree) tree = std::make_shared<const ProcessTree>();
    result->tree = tree;

    // The tree's nodes top down, each level after the one above.
    std::vector<uint32_t> order(tree->roots.begin(), tree->roots.end());
    for (size_t at = 0; at < order.size(); ++at) {
        const auto children = tree->children(tree->node(order[at]));
        order.insert(order.end(), children.begin(), children.end());
    }
    // Kept: included, or above a node that is; found bottom up. The filter's tests run side by side.
    std::vector<uint8_t> kept(tree->size(), 0);
    if (filter.isActive()) {
        Parallel::Pool &pool = Parallel::Pool::shared();
        const size_t parts = std::clamp<size_t>(order.size() / 4096, 1, size_t(pool.threads()) * 4);
        pool.forEach(parts, [&](size_t part) {
            ProcessFilter own = filter;
            for (size_t at = order.size() * part / parts; at < order.size() * (part + 1) / parts; ++at)
                kept[order[at]] = own.include(tree->node(order[at]));
        });
        for (size_t at = order.size(); at-- > 0;)
            if (kept[order[at]])
                if (const uint32_t parent = tree->node(order[at]).parent; parent != ProcessNode::none) kept[parent] = 1;
    } else {
        for (const uint32_t node : order) kept[node] = 1;
    }

    std::vector<ProcessOutline::Row> &rows = result->rows;
    for (const uint32_t root : tree->roots)
        if (kept[root]) rows.push_back({root, -1, int32_t(rows.size()), 0, 0});
    result->rootCount = int32_t(rows.size());
    for (size_t at = 0; at < rows.size(); ++at) {
        rows[at].firstChild = int32_t(rows.size());
        for (const uint32_t child : tree->children(tree->node(rows[at].node)))
            if (kept[child]) rows.push_back({child, int32_t(at), int32_t(rows.size()) - rows[at].firstChild, 0, 0});
        rows[at].childCount = int32_t(rows.size()) - rows[at].firstChild;
    }
    result->m_rowByID.reserve(rows.size());
    for (size_t at = 0; at < rows.size(); ++at) result->m_rowByID.emplace_back(result->node(rows[at]).id, int32_t(at));
    std::stable_sort(result->m_rowByID.begin(), result->m_rowByID.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    return result;
}

std::vector<uint32_t> listRows(const std::vector<ProcessNode> &processes, const ProcessFilter &filter, SortOrder order)
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
    // Texts by rank, made once a row where they lie: a command line of a megabyte is read for
    // its first bytes, and whole only against one that shares them.
    const auto byText = [&](JoinedText (*text)(const ProcessNode &)) {
        sortByText(rows, order.ascending, [&](uint32_t position) { return text(processes[position]); });
    };
    switch (order.key) {
    case SortKey::start:
        // The store's order is exec order, which is start order: ascending needs no sort.
        sortBy([](const ProcessNode &p) { return p.start; });
        break;
    case SortKey::pid: sortBy([](const ProcessNode &p) { return p.pid; }); break;
    case SortKey::user: sortBy([](const ProcessNode &p) { return p.euid; }); break;
    case SortKey::image: byText([](const ProcessNode &p) { return JoinedText(p.image); }); break;
    case SortKey::eventCount: sortBy([](const ProcessNode &p) { return p.eventCount; }); break;
    case SortKey::commandLine: byText([](const ProcessNode &p) { return p.commandLineText(); }); break;
    }
    return rows;
}

int ProcessList::rowOf(int64_t id) const
{
    const auto found = std::lower_bound(rowByID.begin(), rowByID.end(), id,
                                        [](const std::pair<int64_t, int32_t> &entry, int64_t key) {
                                            return entry.first < key;
                                        });
    return found != rowByID.end() && found->first == id ? found->second : -1;
}

ProcessListSnapshot processList(ProcessesSnapshot processes, const ProcessFilter &filter, SortOrder order)
{
    auto list = std::make_shared<ProcessList>();
    list->processes = processes ? std::move(processes) : std::make_shared<const std::vector<ProcessNode>>();
    list->rows = listRows(*list->processes, filter, order);
    list->rowByID.reserve(list->rows.size());
    for (size_t row = 0; row < list->rows.size(); ++row)
        list->rowByID.emplace_back(list->process(int(row)).id, int32_t(row));
    std::sort(list->rowByID.begin(), list->rowByID.end());
    return list;
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
    const std::string_view name = lastPathComponent(process.image);
    return QString::fromUtf8(name);
}

std::string execRecordLabel(const ProcessNode &process)
{
    return "exec of " + std::string(lastPathComponent(process.image));
}

} // namespace ProcessRows
