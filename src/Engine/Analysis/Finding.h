#pragma once

#include "Engine/BSM/Uuid.h"

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

// Ordered by raw value; comparisons compare the raw values.
enum class Severity : int { info = 0, low = 1, medium = 2, high = 3, critical = 4 };

inline constexpr std::array<Severity, 5> allSeverities = {Severity::info, Severity::low, Severity::medium,
                                                          Severity::high, Severity::critical};

inline constexpr int rawValue(Severity s)
{
    return static_cast<int>(s);
}

// The case for 0 to 4, nothing for any other value.
inline constexpr std::optional<Severity> severityFromRawValue(int64_t raw)
{
    if (raw < 0 || raw > 4) return std::nullopt;
    return static_cast<Severity>(raw);
}

// "Info", "Low", "Medium", "High", "Critical".
inline constexpr const char *severityTitle(Severity s)
{
    constexpr const char *titles[] = {"Info", "Low", "Medium", "High", "Critical"};
    return titles[rawValue(s)];
}

// A finding's text: the words of its rule, kept once for all the findings of that rule
// (`Detections::ruleWords`), or text of its own. One tagged pointer where a string takes four
// words, so a finding stays small; it reads as the string it holds.
class FindingText {
public:
    FindingText() = default;
    FindingText(const char *text) : FindingText(std::string(text)) {}
    FindingText(std::string text)
    {
        if (!text.empty()) m_bits = reinterpret_cast<uintptr_t>(new std::string(std::move(text))) | ownedBit;
    }
    // Refers to `kept`, which must outlive every finding: only what ruleWords returns.
    static FindingText sharing(const std::string &kept)
    {
        FindingText text;
        text.m_bits = reinterpret_cast<uintptr_t>(&kept);
        return text;
    }

    FindingText(const FindingText &other) : m_bits(other.owned() ? FindingText(other.str()).release() : other.m_bits) {}
    FindingText(FindingText &&other) noexcept : m_bits(other.release()) {}
    FindingText &operator=(const FindingText &other)
    {
        if (this != &other) *this = FindingText(other);
        return *this;
    }
    FindingText &operator=(FindingText &&other) noexcept
    {
        if (this != &other) {
            free();
            m_bits = other.release();
        }
        return *this;
    }
    ~FindingText() { free(); }

    const std::string &str() const
    {
        static const std::string none;
        return m_bits ? *pointer() : none;
    }
    operator const std::string &() const { return str(); }
    operator std::string_view() const { return str(); }
    // The rule's words, not a copy of its own.
    bool shared() const { return m_bits != 0 && !owned(); }

    // Beside any other text, so no comparison or join with one makes a FindingText first.
    template <class Text>
    static constexpr bool other =
        std::is_convertible_v<const Text &, std::string_view> && !std::is_same_v<Text, FindingText>;

    friend bool operator==(const FindingText &a, const FindingText &b) { return a.str() == b.str(); }
    template <class Text>
    requires other<Text>
    friend bool operator==(const FindingText &a, const Text &b) { return a.str() == std::string_view(b); }
    friend std::strong_ordering operator<=>(const FindingText &a, const FindingText &b) { return a.str() <=> b.str(); }
    friend std::string operator+(const FindingText &a, const FindingText &b) { return a.str() + b.str(); }
    template <class Text>
    requires other<Text>
    friend std::string operator+(const FindingText &a, const Text &b)
    {
        return std::string(a.str()).append(std::string_view(b));
    }
    template <class Text>
    requires other<Text>
    friend std::string operator+(const Text &a, const FindingText &b)
    {
        return std::string(std::string_view(a)).append(b.str());
    }
    friend std::ostream &operator<<(std::ostream &out, const FindingText &text) { return out << text.str(); }

private:
    static constexpr uintptr_t ownedBit = 1; // strings are aligned, so the pointer's low bit is free

    bool owned() const { return (m_bits & ownedBit) != 0; }
    std::string *pointer() const { return reinterpret_cast<std::string *>(m_bits & ~ownedBit); }
    uintptr_t release() { return std::exchange(m_bits, 0); }
    void free()
    {
        if (owned()) delete pointer();
        m_bits = 0;
    }

    uintptr_t m_bits = 0;
};
static_assert(sizeof(FindingText) == sizeof(void *));
static_assert(alignof(std::string) > 1);

// One detection result. It names its records by id only, so it survives rebuilds.
struct Finding {
    Uuid id;
    FindingText rule;
    FindingText category; // ATT&CK tactic
    Severity severity = Severity::info;
    std::optional<std::string> technique; // ATT&CK technique id
    double time = 0;
    FindingText summary;
    FindingText explanation;
    std::vector<int64_t> recordIDs;
    std::string user;
};
