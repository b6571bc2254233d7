#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kelmora::model {

// Bounds-checked little-endian reader over bytes already in memory. Every read either takes the whole
// value or fails and leaves the position where it was, so a damaged file can never be read past its end.
class ByteReader
{
public:
    explicit ByteReader(std::string_view bytes) : m_bytes(bytes) {}

    bool ReadU8(std::uint8_t& value);
    bool ReadU32(std::uint32_t& value);
    bool ReadI32(std::int32_t& value);
    bool ReadU64(std::uint64_t& value);
    bool ReadBytes(std::size_t count, std::string& out);

    std::size_t Remaining() const { return m_bytes.size() - m_pos; }

private:
    std::string_view m_bytes;
    std::size_t m_pos = 0;
};

// In the header: a time log reads a million interval records, field by field.
inline bool ByteReader::ReadU8(std::uint8_t& value)
{
    if (Remaining() < 1) {
        return false;
    }
    value = static_cast<std::uint8_t>(m_bytes[m_pos]);
    ++m_pos;
    return true;
}

inline bool ByteReader::ReadU32(std::uint32_t& value)
{
    if (Remaining() < 4) {
        return false;
    }
    std::uint32_t result = 0;
    for (int i = 3; i >= 0; --i) {
        result = (result << 8) | static_cast<std::uint8_t>(m_bytes[m_pos + static_cast<std::size_t>(i)]);
    }
    m_pos += 4;
    value = result;
    return true;
}

inline bool ByteReader::ReadI32(std::int32_t& value)
{
    std::uint32_t raw = 0;
    if (!ReadU32(raw)) {
        return false;
    }
    value = static_cast<std::int32_t>(raw); // two's complement, well defined since C++20
    return true;
}

// Little-endian writer into a growing buffer; the buffer is written to disk in one atomic step.
class ByteWriter
{
public:
    void WriteU8(std::uint8_t value);
    void WriteU32(std::uint32_t value);
    void WriteI32(std::int32_t value);
    void WriteU64(std::uint64_t value);
    void WriteBytes(std::string_view bytes);

    const std::string& Bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

} // namespace kelmora::model
