#include "Engine/Analysis/ProcessGraph.h"

#include "Engine/Record/AuditEvents.h"
#include "Engine/Record/RecordBuilder.h"
#include "Engine/Support/Memory.h"

#include <algorithm>
#include <atomic>
#include <unordered_map>

JoinedText ProcessNode::commandLineText() const
{
    return args.empty() ? JoinedText(image) : JoinedText(args, " ");
}

std::string ProcessNode::commandLine() const
{
    return commandLineText().toString();
}

std::optional<uint32_t> ProcessTree::position(int64_t id) const
{
    const auto found = std::lower_bound(m_positionByID.begin(), m_positionByID.end(), id,
                                        [](const std::pair<int64_t, uint32_t> &entry, int64_t key) {
                                            return entry.first < key;
                                        });
    if (found == m_positionByID.end() || found->first != id) return std::nullopt;
    return found->second;
}

namespace {

constexpr uint16_t spawnEvent = AuditEvents::Number::posixSpawn;
// Tree levels below a root that still get their children; deeper nodes come out as leaves.
constexpr int maxDepth = 63;
constexpr uint32_t none = ProcessNode::none;
// Records in one piece of the parallel passes, at the least.
constexpr size_t minimumChunk = 4096;

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

// Pids to dense numbers 0, 1, …, in the order first added: an open-addressing table, since every
// record looks its pid up.
class PidNumbers {
public:
    uint32_t add(uint32_t pid)
    {
        if (2 * (m_count + 1) > m_slots.size()) grow();
        Slot &slot = m_slots[find(pid)];
        if (slot.number == none) {
            slot = {pid, uint32_t(m_count++)};
        }
        return slot.number;
    }
    uint32_t number(uint32_t pid) const { return m_slots.empty() ? none : m_slots[find(pid)].number; }
    size_t size() const { return m_count; }

private:
    struct Slot {
        uint32_t pid = 0;
        uint32_t number = none;
    };

    // The slot holding the pid, or the empty one where it would go.
    size_t find(uint32_t pid) const
    {
        const size_t mask = m_slots.size() - 1;
        for (size_t at = (pid * 0x9E3779B1u) & mask;; at = (at + 1) & mask)
            if (m_slots[at].number == none || m_slots[at].pid == pid) return at;
    }
    void grow()
    {
        std::vector<Slot> old = std::exchange(m_slots, std::vector<Slot>(std::max<size_t>(64, 2 * m_slots.size())));
        for (const Slot &slot : old)
            if (slot.number != none) m_slots[find(slot.pid)] = slot;
    }

    std::vector<Slot> m_slots;
    size_t m_count = 0;
};

// A record that changes what runs under a pid, with what of it that takes: following the steps in
// order then reads no record.
struct Step {
    enum Kind : uint8_t { fork, exec, exit };
    uint32_t record;
    uint32_t subject; // the record's subject pid
    uint32_t child;   // the fork's child, the spawn's child (with hasChild), or unused
    uint32_t node;    // an exec's node
    double time;
    int32_t exitStatus; // an exit's, with hasExitStatus
    Kind kind;
    bool hasChild;
    bool spawn;
    bool hasExitStatus;
};

// What runs under one pid from just after record `from` on: the node whose image it shows and
// the node open under it.
struct Version {
    uint32_t pid; // dense number
    uint32_t from;
    uint32_t image;
    uint32_t live;
};

struct PidState {
    bool hasParent = false;
    uint32_t parent = 0;
    uint32_t image = none;
    uint32_t live = none;
};

// The successful nodes of one pid, in list order.
struct PidEntries {
    std::span<const uint32_t> nodes;
    bool startsAscending = true; // allows a binary search instead of a scan from the newest
};

// The newest entry other than `self` whose start is before `start` (or equal, when `orEqual`).
uint32_t newestBefore(const std::vector<ProcessNode> &list, const PidEntries &entries, uint32_t self, double start,
                      bool orEqual)
{
    auto qualifies = [&](uint32_t c) { return orEqual ? list[c].start <= start : list[c].start < start; };
    const std::span<const uint32_t> v = entries.nodes;
    if (!entries.startsAscending || start != start) {
        for (size_t k = v.size(); k-- > 0;)
            if (v[k] != self && qualifies(v[k])) return v[k];
        return none;
    }
    // Ascending starts: the qualifying entries are a prefix; the newest is at its end.
    auto end = orEqual ? std::upper_bound(v.begin(), v.end(), start,
                                          [&](double s, uint32_t c) { return s < list[c].start; })
                       : std::lower_bound(v.begin(), v.end(), start,
                                          [&](uint32_t c, double s) { return list[c].start < s; });
    for (auto it = end; it != v.begin();) {
        --it;
        if (*it != self) return *it;
    }
    return none;
}

// Two nodes can each choose the other as parent when their starts are equal (pid reuse, or trails
// of several machines merged). Such a loop would hang below no root and vanish from the tree with
// everything under it, so the earliest node of every loop is cut loose and becomes a root.
void breakCycles(std::vector<uint32_t> &parent)
{
    enum : uint8_t { unvisited, onPath, done };
    std::vector<uint8_t> state(parent.size(), unvisited);
    std::vector<uint32_t> path;
    for (uint32_t start = 0; start < parent.size(); ++start) {
        if (state[start] != unvisited) continue;
        path.clear();
        uint32_t at = start;
        while (at != none && state[at] == unvisited) {
            state[at] = onPath;
            path.push_back(at);
            at = parent[at];
        }
        if (at != none && state[at] == onPath) {
            auto first = std::find(path.begin(), path.end(), at);
            parent[*std::min_element(first, path.end())] = none;
        }
        for (uint32_t k : path) state[k] = done;
    }
}

// Adds `count` events to nodes, a few at a time: records of one process come close together, so
// a small cache of counts saves most of the shared updates.
class EventCounts {
public:
    explicit EventCounts(std::vector<ProcessNode> &nodes) : m_nodes(nodes) {}
    ~EventCounts()
    {
        for (const Entry &entry : m_entries) flush(entry);
    }
    void add(uint32_t node)
    {
        Entry &entry = m_entries[node % slots];
        if (entry.node != node) {
            flush(entry);
            entry = {node, 0};
        }
        ++entry.count;
    }

private:
    static constexpr size_t slots = 64;
    struct Entry {
        uint32_t node = none;
        int64_t count = 0;
    };
    void flush(const Entry &entry)
    {
        if (entry.node != none && entry.count)
            std::atomic_ref<int64_t>(m_nodes[entry.node].eventCount).fetch_add(entry.count, std::memory_order_relaxed);
    }
    std::vector<ProcessNode> &m_nodes;
    Entry m_entries[slots];
};

} // namespace

// The passes of one build. Records are cut into chunks: the first pass finds, side by side, the
// records that change what runs under a pid and makes the nodes of the execs; one thread then
// follows those changes in order, noting every version of every pid; last, side by side again,
// every other record learns its pid's version at its place.
struct ProcessTreeBuilder {
    ProcessTreeBuilder(std::span<AuditRecord> records, Parallel::Pool &pool) : records(records), pool(pool) {}

    std::span<AuditRecord> records;
    Parallel::Pool &pool;
    ProcessTree tree;

    size_t chunkCount = 1;
    std::vector<std::vector<Step>> steps;   // per chunk, in record order
    std::vector<uint32_t> firstNode;        // per chunk
    std::vector<Boxed<std::string>> images; // per node: its image, shared by the records it runs, and by other nodes
    std::vector<uint32_t> execImage;        // per node: the node whose image its exec record shows
    PidNumbers pids;
    std::vector<PidState> states; // per pid number
    std::vector<Version> versions;
    std::vector<uint32_t> firstVersion; // per pid number, then the end

    size_t chunkBegin(size_t chunk) const { return records.size() * chunk / chunkCount; }

    void findSteps()
    {
        chunkCount = std::clamp<size_t>(records.size() / minimumChunk, 1, size_t(pool.threads()) * 8);
        steps.resize(chunkCount);
        pool.forEach(chunkCount, [&](size_t chunk) {
            std::vector<Step> &found = steps[chunk];
            for (size_t i = chunkBegin(chunk); i < chunkBegin(chunk + 1); ++i) {
                const AuditRecord &record = records[i];
                if (!record.subject()) continue;
                Step step{uint32_t(i), record.subject()->pid, 0, none, record.time, 0, Step::fork, false, false, false};
                if (AuditEvents::fork.contains(record.event)) {
                    if (record.returnStatus != 0) continue;
                    step.child = childPID(record).value_or(uint32_t(record.returnValue));
                    if (step.child == 0) continue;
                } else if (AuditEvents::exec.contains(record.event)) {
                    step.kind = Step::exec;
                    step.spawn = record.event == spawnEvent;
                    const std::optional<uint32_t> child = step.spawn ? childPID(record) : std::nullopt;
                    step.child = child.value_or(0);
                    step.hasChild = child.has_value();
                } else if (AuditEvents::exit.contains(record.event)) {
                    step.kind = Step::exit;
                    const std::optional<int32_t> status = record.exitStatus();
                    step.exitStatus = status.value_or(0);
                    step.hasExitStatus = status.has_value();
                } else {
                    continue;
                }
                found.push_back(step);
            }
        });
    }

    void makeNodes()
    {
        firstNode.assign(chunkCount + 1, 0);
        for (size_t chunk = 0; chunk < chunkCount; ++chunk) {
            uint32_t execs = 0;
            for (const Step &step : steps[chunk]) execs += step.kind == Step::exec;
            firstNode[chunk + 1] = firstNode[chunk] + execs;
        }
        std::vector<ProcessNode> &nodes = tree.processes;
        nodes.reserve(firstNode[chunkCount]);
        Memory::prefault(nodes.data(), nodes.capacity() * sizeof(ProcessNode), pool);
        nodes.resize(firstNode[chunkCount]);
        images.resize(nodes.size());
        pool.forEach(chunkCount, [&](size_t chunk) {
            uint32_t next = firstNode[chunk];
            // A host runs the same few programs over and over: their images are stored once a chunk.
            std::unordered_map<std::string_view, Boxed<std::string>> boxes;
            for (Step &step : steps[chunk]) {
                if (step.kind != Step::exec) continue;
                step.node = next++;
                const AuditRecord &record = records[step.record];
                ProcessNode &node = nodes[step.node];
                node.id = record.id;
                node.pid = step.hasChild ? step.child : step.subject;
                node.image = !record.paths().empty()      ? record.paths().front()
                             : !record.execArgs().empty() ? record.execArgs().front()
                                                          : std::string_view("?");
                node.args = record.execArgs();
                node.euid = record.subject()->euid;
                node.auid = record.subject()->auid;
                node.start = record.time;
                if (const SigningIdentity *identity = record.identity()) {
                    node.signingID = identity->signingID;
                    node.teamID = identity->teamID;
                }
                node.succeeded = record.returnStatus == 0;
                node.m_texts = record.storage();
                Boxed<std::string> &box = boxes[node.image];
                if (!box) box = std::string(node.image);
                images[step.node] = box;
            }
        });
    }

    PidState *state(uint32_t pid)
    {
        const uint32_t number = pids.number(pid);
        return number == none ? nullptr : &states[number];
    }
    uint32_t add(uint32_t pid)
    {
        const uint32_t number = pids.add(pid);
        if (number == states.size()) states.emplace_back();
        return number;
    }
    void note(uint32_t number, uint32_t from)
    {
        versions.push_back({number, from, states[number].image, states[number].live});
    }

    // Follows the steps in record order, one thread: what runs under a pid depends on all before.
    void followSteps()
    {
        std::vector<ProcessNode> &nodes = tree.processes;
        execImage.assign(nodes.size(), none);
        for (const std::vector<Step> &chunk : steps) {
            for (const Step &step : chunk) {
                const uint32_t P = step.subject;
                switch (step.kind) {
                case Step::fork: {
                    const uint32_t child = add(step.child);
                    states[child].hasParent = true;
                    states[child].parent = P;
                    if (const PidState *parent = state(P); parent && parent->image != none) {
                        states[child].image = parent->image;
                        note(child, step.record);
                    }
                    break;
                }
                case Step::exec: {
                    ProcessNode &node = nodes[step.node];
                    if (const PidState *own = state(P); own && own->hasParent) node.ppid = own->parent;
                    if (step.hasChild) {
                        const uint32_t child = add(step.child);
                        states[child].hasParent = true;
                        states[child].parent = P;
                        node.ppid = P;
                    }
                    if (node.succeeded) {
                        const uint32_t running = add(node.pid);
                        PidState &s = states[running];
                        if (s.live != none && !nodes[s.live].end) nodes[s.live].end = step.time;
                        s.image = step.node;
                        s.live = step.node;
                        note(running, step.record);
                    }
                    // A spawn record belongs to the spawner, not to the program it started.
                    if (step.spawn) {
                        const PidState *spawner = state(P);
                        execImage[step.node] = spawner ? spawner->image : none;
                    } else {
                        execImage[step.node] = step.node;
                    }
                    break;
                }
                case Step::exit: {
                    const uint32_t number = pids.number(P);
                    if (number == none || states[number].live == none) break;
                    ProcessNode &node = nodes[states[number].live];
                    node.end = step.time;
                    node.exitStatus = step.hasExitStatus ? std::optional<int32_t>(step.exitStatus) : std::nullopt;
                    states[number].live = none;
                    note(number, step.record);
                    break;
                }
                }
            }
        }
        // Each pid's versions together, still in record order.
        firstVersion.assign(pids.size() + 1, 0);
        for (const Version &v : versions) ++firstVersion[v.pid + 1];
        for (size_t p = 0; p < pids.size(); ++p) firstVersion[p + 1] += firstVersion[p];
        std::vector<Version> grouped(versions.size());
        std::vector<uint32_t> next(firstVersion.begin(), firstVersion.end() - 1);
        for (const Version &v : versions) grouped[next[v.pid]++] = v;
        versions = std::move(grouped);
    }

    // An exec record shows the image its step chose. Every other record with a subject takes its
    // pid's image, and counts for the node open under it, as things stood just before it.
    void placeRecords()
    {
        pool.forEach(chunkCount, [&](size_t chunk) {
            EventCounts counts(tree.processes);
            uint32_t nextNode = firstNode[chunk];
            for (size_t i = chunkBegin(chunk); i < chunkBegin(chunk + 1); ++i) {
                AuditRecord &record = records[i];
                if (!record.subject()) continue;
                if (AuditEvents::exec.contains(record.event)) {
                    const uint32_t image = execImage[nextNode++];
                    record.processImage = image != none ? images[image] : Boxed<std::string>();
                    continue;
                }
                const uint32_t number = pids.number(record.subject()->pid);
                const Version *version = nullptr;
                if (number != none) {
                    const Version *begin = versions.data() + firstVersion[number];
                    const Version *end = versions.data() + firstVersion[number + 1];
                    const Version *after = std::upper_bound(begin, end, uint32_t(i),
                                                            [](uint32_t at, const Version &v) { return at <= v.from; });
                    if (after != begin) version = after - 1;
                }
                record.processImage = version && version->image != none ? images[version->image] : Boxed<std::string>();
                if (version && version->live != none) counts.add(version->live);
            }
        });
    }

    void nest()
    {
        const std::vector<ProcessNode> &nodes = tree.processes;
        const auto n = uint32_t(nodes.size());

        // Failed execs can never be parents.
        std::vector<uint32_t> entryStart(pids.size() + 1, 0);
        for (const ProcessNode &node : nodes)
            if (node.succeeded) ++entryStart[pids.number(node.pid) + 1];
        for (size_t p = 0; p < pids.size(); ++p) entryStart[p + 1] += entryStart[p];
        std::vector<uint32_t> entries(entryStart.back());
        std::vector<uint8_t> ascending(pids.size(), 1);
        {
            std::vector<uint32_t> next(entryStart.begin(), entryStart.end() - 1);
            for (uint32_t i = 0; i < n; ++i) {
                if (!nodes[i].succeeded) continue;
                const uint32_t p = pids.number(nodes[i].pid);
                if (next[p] > entryStart[p] && !(nodes[entries[next[p] - 1]].start <= nodes[i].start)) ascending[p] = 0;
                entries[next[p]++] = i;
            }
        }
        const auto entriesOf = [&](uint32_t pid) {
            const uint32_t p = pids.number(pid);
            if (p == none) return PidEntries{};
            return PidEntries{std::span<const uint32_t>(entries.data() + entryStart[p],
                                                        entryStart[p + 1] - entryStart[p]),
                              ascending[p] != 0};
        };

        std::vector<uint32_t> parent(n, none);
        const size_t parts = std::clamp<size_t>(n / minimumChunk, 1, size_t(pool.threads()) * 4);
        pool.forEach(parts, [&](size_t part) {
            for (uint32_t i = uint32_t(n * part / parts); i < uint32_t(n * (part + 1) / parts); ++i) {
                const ProcessNode &node = nodes[i];
                if (node.ppid) parent[i] = newestBefore(nodes, entriesOf(*node.ppid), i, node.start, true);
                // Otherwise a re-exec hangs under the image it replaced.
                if (parent[i] == none) parent[i] = newestBefore(nodes, entriesOf(node.pid), i, node.start, false);
            }
        });
        breakCycles(parent);

        // Children in list order, every node's together.
        std::vector<uint32_t> childStart(size_t(n) + 1, 0);
        for (uint32_t i = 0; i < n; ++i)
            if (parent[i] != none) ++childStart[parent[i] + 1];
        for (uint32_t i = 0; i < n; ++i) childStart[i + 1] += childStart[i];
        tree.childList.resize(childStart[n]);
        std::vector<uint32_t> rootList;
        {
            std::vector<uint32_t> next(childStart.begin(), childStart.end() - 1);
            for (uint32_t i = 0; i < n; ++i) {
                if (parent[i] != none) tree.childList[next[parent[i]]++] = i;
                else rootList.push_back(i);
            }
        }

        // Only nodes within maxDepth levels of a root show their children; those below the
        // cut are in no child list, so they hang under nothing.
        std::vector<ProcessNode> &mutableNodes = tree.processes;
        std::vector<uint32_t> level(rootList);
        for (int depth = 0; !level.empty(); ++depth) {
            std::vector<uint32_t> below;
            for (const uint32_t i : level) {
                ProcessNode &node = mutableNodes[i];
                node.parent = parent[i];
                if (depth > maxDepth) continue;
                node.children = {childStart[i], childStart[i + 1] - childStart[i]};
                below.insert(below.end(), tree.childList.begin() + childStart[i],
                             tree.childList.begin() + childStart[i + 1]);
            }
            level = std::move(below);
        }

        adoptOrphans(rootList, entriesOf);
    }

    // A root whose parent pid is known but never ran a program in the trail hangs under a
    // placeholder for that pid, which stands where its first orphan would have stood.
    template <typename EntriesOf>
    void adoptOrphans(const std::vector<uint32_t> &rootList, const EntriesOf &entriesOf)
    {
        const auto n = uint32_t(tree.processes.size());
        std::unordered_map<uint32_t, uint32_t> placeholderOf; // ppid -> index in placeholders
        std::vector<std::vector<uint32_t>> orphans;
        for (const uint32_t r : rootList) {
            ProcessNode &node = tree.processes[r];
            if (!node.ppid || !entriesOf(*node.ppid).nodes.empty()) {
                tree.roots.push_back(r);
                continue;
            }
            auto [it, added] = placeholderOf.try_emplace(*node.ppid, uint32_t(tree.placeholders.size()));
            if (added) {
                ProcessNode placeholder;
                placeholder.id = -1 - int64_t(*node.ppid);
                placeholder.pid = *node.ppid;
                placeholder.start = node.start;
                placeholder.isPlaceholder = true;
                tree.placeholders.push_back(std::move(placeholder));
                orphans.emplace_back();
                tree.roots.push_back(n + it->second);
            }
            node.parent = n + it->second;
            orphans[it->second].push_back(r);
        }
        if (tree.placeholders.empty()) return;
        // Their images are kept as records' paths are; the views are taken once the storage is final.
        RecordBuilder texts(nullptr, tree.placeholders.size() * 40);
        std::vector<AuditRecord> holders(tree.placeholders.size());
        for (size_t k = 0; k < tree.placeholders.size(); ++k) {
            ProcessNode &placeholder = tree.placeholders[k];
            placeholder.children = {uint32_t(tree.childList.size()), uint32_t(orphans[k].size())};
            tree.childList.insert(tree.childList.end(), orphans[k].begin(), orphans[k].end());
            texts.addPath("pid " + std::to_string(placeholder.pid) + " (started before trail)");
            texts.finish(holders[k], 0, 0);
        }
        texts.trim();
        for (size_t k = 0; k < tree.placeholders.size(); ++k) {
            tree.placeholders[k].image = holders[k].paths().front();
            tree.placeholders[k].m_texts = holders[k].storage();
        }
    }

    void index()
    {
        auto &byID = tree.m_positionByID;
        byID.reserve(tree.size());
        for (uint32_t i = 0; i < tree.size(); ++i) byID.emplace_back(tree.node(i).id, i);
        std::stable_sort(byID.begin(), byID.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    }

    ProcessTree build()
    {
        if (records.empty()) return {};
        findSteps();
        makeNodes();
        followSteps();
        placeRecords();
        nest();
        index();
        // Kept for as long as the analysis: no room to grow.
        tree.childList.shrink_to_fit();
        return std::move(tree);
    }
};

namespace ProcessGraph {

ProcessTree build(std::span<AuditRecord> records, Parallel::Pool &pool)
{
    return ProcessTreeBuilder(records, pool).build();
}

} // namespace ProcessGraph
