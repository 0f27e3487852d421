#pragma once

#include <exception>
#include <string>

// The error of every operation that needs administrator rights. Callers stay silent on
// `cancelled` (the user chose not to authorise) and show `failed` with its message.
class PrivilegedError : public std::exception {
public:
    enum class Kind { failed, cancelled };

    static PrivilegedError failed(std::string message) { return PrivilegedError(Kind::failed, std::move(message)); }
    static PrivilegedError cancelled() { return PrivilegedError(Kind::cancelled, {}); }

    Kind kind() const { return m_kind; }
    const std::string &message() const { return m_message; }

    const std::string &description() const { return m_description; }
    const char *what() const noexcept override { return m_description.c_str(); }

private:
    PrivilegedError(Kind kind, std::string message) : m_kind(kind), m_message(std::move(message))
    {
        m_description = kind == Kind::failed ? m_message : "Administrator authorisation was cancelled.";
    }

    Kind m_kind;
    std::string m_message;
    std::string m_description;
};
