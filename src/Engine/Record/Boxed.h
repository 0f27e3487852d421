#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <utility>

// An optional value kept out of line and shared once set. Records carry a few fields that most
// of them lack; boxing those keeps every record small while copies stay cheap and values immutable.
// The count lives beside the value, so a box is one pointer, not a shared_ptr's two.
template <typename T>
class Boxed {
public:
    Boxed() = default;
    Boxed(std::nullopt_t) {}
    Boxed(T value) : m_box(new Box{std::move(value)}) {}
    Boxed(const std::optional<T> &value)
    {
        if (value) m_box = new Box{*value};
    }
    Boxed(const Boxed &other) : m_box(other.m_box) { retain(); }
    Boxed(Boxed &&other) noexcept : m_box(std::exchange(other.m_box, nullptr)) {}
    Boxed &operator=(const Boxed &other)
    {
        Boxed copy(other);
        std::swap(m_box, copy.m_box);
        return *this;
    }
    Boxed &operator=(Boxed &&other) noexcept
    {
        Boxed taken(std::move(other));
        std::swap(m_box, taken.m_box);
        return *this;
    }
    Boxed &operator=(std::nullopt_t)
    {
        reset();
        return *this;
    }
    Boxed &operator=(T value) { return *this = Boxed(std::move(value)); }
    ~Boxed() { release(); }

    void reset() { release(); }
    bool has_value() const { return m_box != nullptr; }
    explicit operator bool() const { return has_value(); }
    const T &operator*() const { return m_box->value; }
    const T *operator->() const { return &m_box->value; }
    const T &value() const
    {
        if (!m_box) throw std::bad_optional_access();
        return m_box->value;
    }
    T value_or(T fallback) const { return m_box ? m_box->value : std::move(fallback); }

    friend bool operator==(const Boxed &a, std::nullopt_t) { return !a.m_box; }
    friend bool operator==(const Boxed &a, const T &b) { return a.m_box && a.m_box->value == b; }
    // Text literals would otherwise convert equally well to T and to std::optional<T>.
    friend bool operator==(const Boxed &a, const char *b) { return a.m_box && a.m_box->value == b; }
    friend bool operator==(const Boxed &a, const std::optional<T> &b)
    {
        return a.m_box ? b && a.m_box->value == *b : !b;
    }
    friend bool operator==(const Boxed &a, const Boxed &b)
    {
        if (!a.m_box || !b.m_box) return !a.m_box && !b.m_box;
        return a.m_box->value == b.m_box->value;
    }

private:
    struct Box {
        const T value;
        std::atomic<uint32_t> references{1};
    };
    void retain()
    {
        if (m_box) m_box->references.fetch_add(1, std::memory_order_relaxed);
    }
    void release()
    {
        if (m_box && m_box->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete m_box;
        m_box = nullptr;
    }

    Box *m_box = nullptr;
};
