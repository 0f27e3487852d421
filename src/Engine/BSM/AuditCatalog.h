#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

struct AuditEventInfo {
    uint16_t number = 0;
    std::string name;
    std::string description;
    std::vector<std::string> classes;

    bool operator==(const AuditEventInfo &) const = default;
};

struct AuditClassInfo {
    uint32_t mask = 0;
    std::string shortName; // the class's two-letter "short" name, e.g. "lo"
    std::string description;

    bool operator==(const AuditClassInfo &) const = default;
};

// The process-wide catalogue of audit events and classes, read once from the system's
// audit_event and audit_class files, else from the bundled copies. Read-only once built.
class AuditCatalog {
public:
    static const AuditCatalog &shared();

    // Builds a catalogue from the two files' texts; shared() uses the files found on the system.
    AuditCatalog(const std::string &eventText, const std::string &classText);

    std::unordered_map<uint16_t, AuditEventInfo> events;
    std::vector<AuditClassInfo> classes;
    std::unordered_map<std::string, uint32_t> classMaskByName;
    std::unordered_map<uint16_t, uint32_t> eventMasks;

    std::string eventLabel(uint16_t number) const;
    std::string eventName(uint16_t number) const;
    std::string eventDescription(uint16_t number) const;
    std::vector<AuditClassInfo> selectableClasses() const;
    uint32_t mask(const std::vector<std::string> &classNames) const;

    // Text of /etc/security/<name> (folder replaceable for tests), else of the bundled resource, else "".
    static std::string load(const std::string &name, const std::string &systemFolder = "/etc/security/");
};
