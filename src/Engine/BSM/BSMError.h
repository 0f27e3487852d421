#pragma once

#include <cstdint>
#include <exception>
#include <string>

// The one error type of the decoding layer. Damage in a trail is data, so callers catch it
// and turn it into a decoding error text or a parse issue; it never escapes the parser.
class BSMError : public std::exception {
public:
    enum class Kind { truncated, malformed };

    static BSMError truncated(int64_t needed, int64_t offset) { return BSMError(Kind::truncated, needed, offset, {}); }
    static BSMError malformed(std::string text) { return BSMError(Kind::malformed, 0, 0, std::move(text)); }

    Kind kind() const { return m_kind; }
    int64_t needed() const { return m_needed; }
    int64_t offset() const { return m_offset; }
    const std::string &text() const { return m_text; }

    const std::string &description() const { return m_description; }
    const char *what() const noexcept override { return m_description.c_str(); }

private:
    BSMError(Kind kind, int64_t needed, int64_t offset, std::string text)
        : m_kind(kind), m_needed(needed), m_offset(offset), m_text(std::move(text))
    {
        m_description = kind == Kind::truncated ? "truncated token: needed " + std::to_string(needed)
                                                      + " bytes at offset " + std::to_string(offset)
                                                : "malformed token: " + m_text;
    }

    Kind m_kind;
    int64_t m_needed;
    int64_t m_offset;
    std::string m_text;
    std::string m_description;
};
