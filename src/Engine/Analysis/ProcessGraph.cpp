#include "Engine/Analysis/ProcessGraph.h"

#include "Engine/Record/AuditEvents.h"

#include <algorithm>
#include <unordered_map>

std::string ProcessNode::commandLine() const
{
    if (args.empty()) return image;
    std::string line = args.front();
    for (size_t i = 1; i < args.size(); ++i) {
        line += ' ';
        line += args[i];
    }
    return line;
}

namespace ProcessGraph {

namespace {

constexpr uint16_t spawnEvent = 43190;
// Tree levels below a root that still get their children; deeper nodes come out as leaves.
constexpr int maxDepth = 63;

bool nameMentionsChild(std::string_view name)
{
    constexpr std::string_view word = "child";
    if (name.size() < word.size()) return false;
    for (size_t at = 0; at + word.size() <= name.size(); ++at) {
        size_t k = 0;
        while (k < word.size()) {
            char c = name[at + k];
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
            if (c != word[k]) break;
            ++k;
        }
        if (k == word.size()) return true;
    }
    return false;
}

// The child pid a fork or spawn record names in its arguments: the low 32 bits of the first
// argument whose name mentions "child".
std::optional<uint32_t> childPID(const AuditRecord &record)
{
    for (const ArgView arg : record.args())
        if (nameMentionsChild(arg.name)) return uint32_t(arg.value);
    return std::nullopt;
}

template <typename Map>
auto lookup(const Map &map, uint32_t key) -> std::optional<typename Map::mapped_type>
{
    auto it = map.find(key);
    if (it == map.end()) return std::nullopt;
    return it->second;
}

// The successful nodes of one pid, in list order.
struct PidEntries {
    std::vector<size_t> nodes;
    bool startsAscending = true; // allows a binary search instead of a scan from the newest
};

// The newest entry other than `self` whose start is before `start` (or equal, when `orEqual`).
std::optional<size_t> newestBefore(const std::vector<ProcessNode> &list, const PidEntries &entries, size_t self,
                                   double start, bool orEqual)
{
    auto qualifies = [&](size_t c) { return orEqual ? list[c].start <= start : list[c].start < start; };
    const std::vector<size_t> &v = entries.nodes;
    if (!entries.startsAscending || start != start) {
        for (size_t k = v.size(); k-- > 0;)
            if (v[k] != self && qualifies(v[k])) return v[k];
        return std::nullopt;
    }
    // Ascending starts: the qualifying entries are a prefix; the newest is at its end.
    auto end = orEqual ? std::upper_bound(v.begin(), v.end(), start,
                                          [&](double s, size_t c) { return s < list[c].start; })
                       : std::lower_bound(v.begin(), v.end(), start,
                                          [&](size_t c, double s) { return list[c].start < s; });
    for (auto it = end; it != v.begin();) {
        --it;
        if (*it != self) return *it;
    }
    return std::nullopt;
}

// Two nodes can each choose the other as parent when their starts are equal (pid reuse, or trails
// of several machines merged). Such a loop would hang below no root and vanish from the tree with
// everything under it, so the earliest node of every loop is cut loose and becomes a root.
void breakCycles(std::vector<std::optional<size_t>> &parent)
{
    enum : uint8_t { unvisited, onPath, done };
    std::vector<uint8_t> state(parent.size(), unvisited);
    std::vector<size_t> path;
    for (size_t start = 0; start < parent.size(); ++start) {
        if (state[start] != unvisited) continue;
        path.clear();
        std::optional<size_t> at = start;
        while (at && state[*at] == unvisited) {
            state[*at] = onPath;
            path.push_back(*at);
            at = parent[*at];
        }
        if (at && state[*at] == onPath) {
            auto first = std::find(path.begin(), path.end(), *at);
            parent[*std::min_element(first, path.end())] = std::nullopt;
        }
        for (size_t k : path) state[k] = done;
    }
}

ProcessNode placeholder(uint32_t ppid, ProcessNode firstChild)
{
    ProcessNode node;
    node.id = -1 - int64_t(ppid);
    node.pid = ppid;
    node.image = "pid " + std::to_string(ppid) + " (started before trail)";
    node.euid = unsetID;
    node.auid = unsetID;
    node.start = firstChild.start;
    node.succeeded = true;
    node.isPlaceholder = true;
    node.children = std::vector<ProcessNode>{std::move(firstChild)};
    return node;
}

std::vector<ProcessNode> tree(const std::vector<ProcessNode> &nodes)
{
    // Failed execs can never be parents.
    std::unordered_map<uint32_t, PidEntries> index;
    for (size_t i = 0; i < nodes.size(); ++i) {
        if (!nodes[i].succeeded) continue;
        PidEntries &entries = index[nodes[i].pid];
        if (!entries.nodes.empty() && !(nodes[entries.nodes.back()].start <= nodes[i].start))
            entries.startsAscending = false;
        entries.nodes.push_back(i);
    }

    std::vector<std::optional<size_t>> parent(nodes.size());
    for (size_t i = 0; i < nodes.size(); ++i) {
        const ProcessNode &node = nodes[i];
        if (node.ppid)
            if (auto it = index.find(*node.ppid); it != index.end())
                parent[i] = newestBefore(nodes, it->second, i, node.start, true);
        // Otherwise a re-exec hangs under the image it replaced.
        if (!parent[i])
            if (auto it = index.find(node.pid); it != index.end())
                parent[i] = newestBefore(nodes, it->second, i, node.start, false);
    }
    breakCycles(parent);

    std::vector<std::vector<size_t>> children(nodes.size());
    std::vector<size_t> rootList;
    for (size_t i = 0; i < nodes.size(); ++i) {
        if (parent[i])
            children[*parent[i]].push_back(i);
        else
            rootList.push_back(i);
    }

    // Recursion depth is bounded by maxDepth.
    auto materialise = [&](auto &self, size_t i, int depth) -> ProcessNode {
        ProcessNode copy = nodes[i];
        if (depth <= maxDepth && !children[i].empty()) {
            std::vector<ProcessNode> nested;
            nested.reserve(children[i].size());
            for (size_t c : children[i]) nested.push_back(self(self, c, depth + 1));
            copy.children = std::move(nested);
        }
        return copy;
    };

    std::vector<ProcessNode> result;
    std::unordered_map<uint32_t, size_t> placeholderAt;
    for (size_t r : rootList) {
        const ProcessNode &node = nodes[r];
        ProcessNode m = materialise(materialise, r, 0);
        if (!node.ppid || index.contains(*node.ppid)) {
            result.push_back(std::move(m));
        } else if (auto it = placeholderAt.find(*node.ppid); it != placeholderAt.end()) {
            result[it->second].children->push_back(std::move(m));
        } else {
            placeholderAt.emplace(*node.ppid, result.size());
            result.push_back(placeholder(*node.ppid, std::move(m)));
        }
    }
    return result;
}

} // namespace

Result build(std::vector<AuditRecord> records)
{
    std::unordered_map<uint32_t, uint32_t> parentOf;
    // Images are boxed once per exec and shared by every record of that process.
    std::unordered_map<uint32_t, Boxed<std::string>> imageOf;
    std::unordered_map<uint32_t, size_t> live; // pid -> node now running under it
    std::vector<ProcessNode> nodes;

    for (AuditRecord &record : records) {
        if (!record.subject()) continue;
        const uint32_t P = record.subject()->pid;

        if (AuditEvents::fork.contains(record.event) && record.returnStatus == 0) {
            uint32_t child = childPID(record).value_or(uint32_t(record.returnValue));
            if (child != 0) {
                parentOf[child] = P;
                if (auto image = lookup(imageOf, P)) imageOf[child] = std::move(*image);
            }
        }

        if (AuditEvents::exec.contains(record.event)) {
            const std::string image(!record.paths().empty()      ? record.paths().front()
                                    : !record.execArgs().empty() ? record.execArgs().front()
                                                                 : std::string_view("?"));
            std::optional<uint32_t> ppid = lookup(parentOf, P);
            uint32_t pid = P;
            if (record.event == spawnEvent)
                if (auto child = childPID(record)) {
                    parentOf[*child] = P;
                    pid = *child;
                    ppid = P;
                }
            const bool succeeded = record.returnStatus == 0;
            const Boxed<std::string> boxedImage(image);
            if (succeeded) {
                if (auto it = live.find(pid); it != live.end() && !nodes[it->second].end)
                    nodes[it->second].end = record.time;
                imageOf[pid] = boxedImage;
                live[pid] = nodes.size();
            }

            ProcessNode node;
            node.id = record.id;
            node.pid = pid;
            node.ppid = ppid;
            node.image = image;
            node.args = record.execArgs().toVector();
            node.euid = record.subject()->euid;
            node.auid = record.subject()->auid;
            node.start = record.time;
            if (record.identity()) {
                node.signingID = record.identity()->signingID;
                node.teamID = record.identity()->teamID;
            }
            node.succeeded = succeeded;
            nodes.push_back(std::move(node));

            // A spawn record belongs to the spawner, not to the program it started.
            record.processImage = record.event == spawnEvent ? lookup(imageOf, P).value_or(Boxed<std::string>()) : boxedImage;
            continue;
        }

        record.processImage = lookup(imageOf, P).value_or(Boxed<std::string>());
        if (auto it = live.find(P); it != live.end()) {
            ProcessNode &node = nodes[it->second];
            ++node.eventCount;
            if (AuditEvents::exit.contains(record.event)) {
                node.end = record.time;
                node.exitStatus = record.exitStatus();
                live.erase(it);
            }
        }
    }

    // The list is kept for as long as the analysis: let it hold no room to grow.
    nodes.shrink_to_fit();
    std::vector<ProcessNode> roots = tree(nodes);
    return Result{std::move(records), std::move(nodes), std::move(roots)};
}

} // namespace ProcessGraph
