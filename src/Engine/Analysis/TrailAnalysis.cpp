#include "Engine/Analysis/TrailAnalysis.h"

#include "Engine/Analysis/Detections.h"

#include <algorithm>

TrailAnalysis TrailAnalysis::of(std::vector<AuditRecord> records)
{
    std::stable_sort(records.begin(), records.end(), [](const AuditRecord &a, const AuditRecord &b) {
        return a.time < b.time || (a.time == b.time && a.id < b.id);
    });
    ProcessGraph::Result tree = ProcessGraph::build(std::move(records));
    TrailAnalysis analysis;
    analysis.findings = Detections::run(tree.records);
    analysis.records = std::move(tree.records);
    analysis.processes = std::move(tree.processes);
    analysis.roots = std::move(tree.roots);
    return analysis;
}
