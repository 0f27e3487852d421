#pragma once

#include <memory>
#include <optional>
#include <utility>

// An optional value kept out of line and shared once set. Records carry a few fields that most
// of them lack; boxing those keeps every record small while copies stay cheap and values immutable.
template <typename T>
class Boxed {
public:
    Boxed() = default;
    Boxed(std::nullopt_t) {}
    Boxed(T value) : m_value(std::make_shared<const T>(std::move(value))) {}
    Boxed(const std::optional<T> &value)
    {
        if (value) m_value = std::make_shared<const T>(*value);
    }

    Boxed &operator=(std::nullopt_t)
    {
        m_value.reset();
        return *this;
    }
    Boxed &operator=(T value)
    {
        m_value = std::make_shared<const T>(std::move(value));
        return *this;
    }

    void reset() { m_value.reset(); }
    bool has_value() const { return m_value != nullptr; }
    explicit operator bool() const { return has_value(); }
    const T &operator*() const { return *m_value; }
    const T *operator->() const { return m_value.get(); }
    const T &value() const
    {
        if (!m_value) throw std::bad_optional_access();
        return *m_value;
    }
    T value_or(T fallback) const { return m_value ? *m_value : std::move(fallback); }

    friend bool operator==(const Boxed &a, std::nullopt_t) { return !a.m_value; }
    friend bool operator==(const Boxed &a, const T &b) { return a.m_value && *a.m_value == b; }
    // Text literals would otherwise convert equally well to T and to std::optional<T>.
    friend bool operator==(const Boxed &a, const char *b) { return a.m_value && *a.m_value == b; }
    friend bool operator==(const Boxed &a, const std::optional<T> &b) { return a.m_value ? b && *a.m_value == *b : !b; }
    friend bool operator==(const Boxed &a, const Boxed &b)
    {
        if (!a.m_value || !b.m_value) return !a.m_value && !b.m_value;
        return *a.m_value == *b.m_value;
    }

private:
    std::shared_ptr<const T> m_value;
};
