#pragma once

#include <cstdlib>
#include <optional>
#include <string>

// Puts an environment variable back as it was, set or not, when the scope ends.
class EnvironmentGuard {
public:
    explicit EnvironmentGuard(const char *name) : m_name(name)
    {
        if (const char *value = std::getenv(name)) m_saved = value;
    }
    ~EnvironmentGuard()
    {
        if (m_saved) ::setenv(m_name.c_str(), m_saved->c_str(), 1);
        else ::unsetenv(m_name.c_str());
    }
    EnvironmentGuard(const EnvironmentGuard &) = delete;
    EnvironmentGuard &operator=(const EnvironmentGuard &) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_saved;
};
