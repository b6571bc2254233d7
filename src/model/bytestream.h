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
