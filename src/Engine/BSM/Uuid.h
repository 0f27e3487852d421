#pragma once

#include <cstdint>
#include <string>

// A random (version 4) UUID, for the identities of issues, findings and alerts.
struct Uuid {
    uint64_t high = 0;
    uint64_t low = 0;

    static Uuid random();
    // Parses the canonical 36-character text (either case); false when it is not one.
    static bool parse(const std::string &text, Uuid *out);
    // Canonical upper-case text, e.g. "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
    std::string text() const;

    bool isNull() const { return high == 0 && low == 0; }
    auto operator<=>(const Uuid &) const = default;
};
