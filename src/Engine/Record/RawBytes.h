#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// A record's own bytes: a window into an immutable buffer shared by every record parsed from it,
// so decoding a trail copies no record bytes and copying a record copies none either.
class RawBytes {
public:
    using Buffer = std::shared_ptr<const std::vector<uint8_t>>;

    RawBytes() = default;
    explicit RawBytes(std::vector<uint8_t> bytes)
        : m_buffer(std::make_shared<const std::vector<uint8_t>>(std::move(bytes)))
        , m_size(m_buffer->size()) {}
    RawBytes(Buffer buffer, size_t offset, size_t size)
        : m_buffer(std::move(buffer)), m_offset(offset), m_size(size) {}

    const uint8_t *data() const { return m_buffer ? m_buffer->data() + m_offset : nullptr; }
    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    uint8_t operator[](size_t i) const { return data()[i]; }
    const uint8_t *begin() const { return data(); }
    const uint8_t *end() const { return data() + m_size; }

    std::span<const uint8_t> span() const { return {data(), m_size}; }
    operator std::span<const uint8_t>() const { return span(); }
    std::vector<uint8_t> toVector() const { return std::vector<uint8_t>(begin(), end()); }

private:
    Buffer m_buffer;
    size_t m_offset = 0;
    size_t m_size = 0;
};
